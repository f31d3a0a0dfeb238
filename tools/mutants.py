#!/usr/bin/env python3
"""Plant single-token faults in the game's code, one at a time, and report those the tests miss.

Every .cpp file of gameplay/, shell/, platform/ (the SDL and browser backends aside) and tune/ is a
candidate, or only the FILEs given. Each mutant changes one token of one line: a relational operator
(< <= > >= == !=), an arithmetic operator (+ - * /), && and ||, true and false, an integer constant (+1, -1,
0), or deletes one statement (a call or an assignment); headers are left alone. The full set is too slow for
two cores, so a sample is drawn: per folder, N mutants chosen uniformly at random with Python's
random.Random(S) from all the mutants of that folder's files, listed in a fixed order, so the same seed
gives the same sample on the same code.

The tree is copied to build-mutants/src and built once there (-O1, no debug information) in
build-mutants/build; each mutant then rebuilds the one object file it touches, relinks the test programs
of its folder and runs them (fail-fast, with a time limit each). A mutant is
  killed       when a test fails or times out,
  equivalent   when its object file is byte for byte the original one (the compiler proved the change
               makes no difference),
  unbuildable  when it does not compile (counted apart, not part of the score),
  surviving    otherwise; each survivor is printed with file:line and the change.
The score per folder is killed / (killed + surviving).
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, 'build-mutants')
SRC = os.path.join(WORK, 'src')
BUILD = os.path.join(WORK, 'build')
FOLDERS = ['gameplay', 'shell', 'platform', 'tune']
# The SDL backend and start-up, and the browser's sources, which the native build does not compile.
SKIP = {'platform/sdl_backend.cpp', 'shell/main.cpp', 'platform/web_backend.cpp', 'platform/web_audio_worklet.cpp'}

# The test programs that can see a fault in each folder (test_soak and the asset checks aside: slow or
# unrelated).
GAME_TESTS = ['test_gameplay', 'test_shell_attract', 'test_shell_graphics', 'test_shell_hall_of_fame',
              'test_shell_main', 'test_shell_unseen']
TESTS = {
    'tune': ['test_tune_chip', 'test_tune_cpu', 'test_tune_image', 'test_tune_player', 'test_tune_samples',
             'test_tune_stream'],
    'platform': ['test_platform_input', 'test_platform_sound', 'test_platform_sprites', 'test_platform_stretch'] +
                GAME_TESTS,
    'gameplay': GAME_TESTS,
    'shell': GAME_TESTS,
}

SWAPS = [  # (pattern, replacements); patterns avoid ->, <<, >>, ++, --, +=, template brackets where they can
    (r'(?<![<>=!&|])==(?!=)', ['!=']),
    (r'!=', ['==']),
    (r'(?<=\s)<=(?=\s)', ['<', '>']),
    (r'(?<=\s)>=(?=\s)', ['>', '<']),
    (r'(?<=\s)<(?=\s)', ['<=', '>']),
    (r'(?<=\s)>(?=\s)', ['>=', '<']),
    (r'&&', ['||']),
    (r'\|\|', ['&&']),
    (r'(?<=\s)\+(?=\s)', ['-']),
    (r'(?<=\s)-(?=\s)', ['+']),
    (r'(?<=\s)\*(?=\s)', ['/']),
    (r'(?<=\s)/(?=\s)', ['*']),
    (r'\+=', ['-=']),
    (r'-=', ['+=']),
    (r'\btrue\b', ['false']),
    (r'\bfalse\b', ['true']),
]
NUMBER = re.compile(r'(?<![\w.])(\d+)(?![\w.\'])')
STATEMENT = re.compile(r'^\s*(?!return\b|break\b|continue\b|case\b|default\b|else\b|if\b|for\b|while\b)'
                       r'[\w:.\[\]>()-]+(\s*(=|\+=|-=|\*=|/=|\|=|&=)\s*.+|\(.*\)|\+\+|--);\s*$')


def code_part(line):
    """The line without its comment and string contents, so that mutants never touch them."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            out.append(' ' if c != quote else c)
            if c == '\\':
                out.append(' ')
                i += 1
            elif c == quote:
                quote = None
        elif c in '"\'':
            quote = c
            out.append(c)
        elif line.startswith('//', i):
            break
        else:
            out.append(c)
        i += 1
    return ''.join(out)


def mutants_of(path):
    lines = open(os.path.join(ROOT, path)).read().split('\n')
    found = []
    for n, line in enumerate(lines):
        code = code_part(line)
        stripped = code.strip()
        if not stripped or stripped.startswith(('#', 'static_assert', 'using ', 'namespace', 'template')):
            continue
        for pattern, replacements in SWAPS:
            for m in re.finditer(pattern, code):
                for r in replacements:
                    found.append((path, n, m.start(), m.end(), r))
        for m in NUMBER.finditer(code):
            v = int(m.group(1))
            for r in sorted({v + 1, v - 1, 0} - {v, -1}):
                found.append((path, n, m.start(), m.end(), str(r)))
        if STATEMENT.match(code) and not re.match(r'^\s*(const\s+)?(auto|int|bool|float|double|[A-Z]\w*|std::\w+'
                                                   r'|uint\w+|int\w+|size_t|char|unsigned)\b[\w:<>,\s*&]*\s\w+\s*=',
                                                   code):
            indent = len(line) - len(line.lstrip())
            found.append((path, n, indent, len(code.rstrip()), ';'))
    return found


def describe(m, lines):
    path, n, a, b, r = m
    return f'{path}:{n + 1}: "{lines[n][a:b]}" -> "{r}"   | {lines[n].strip()}'


def run(cmd, timeout, cwd=None):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return 'timeout'


def object_of(path):
    folder, name = path.split('/')
    return os.path.join(BUILD, folder, 'CMakeFiles', f'{folder}.dir' if 'headless' not in name
                        else 'platform_headless.dir', name + '.o')


def digest(path):
    with open(path, 'rb') as f:
        return hashlib.sha256(f.read()).hexdigest()


def prepare(jobs):
    # Copy the tree, writing only the files that differ, so that the scratch build stays incremental.
    wanted = set()
    for top, dirs, names in os.walk(ROOT):
        dirs[:] = [d for d in dirs if not (top == ROOT and (d == '.git' or d.startswith('build')))]
        for name in names:
            rel = os.path.relpath(os.path.join(top, name), ROOT)
            wanted.add(rel)
            target = os.path.join(SRC, rel)
            with open(os.path.join(ROOT, rel), 'rb') as f:
                data = f.read()
            if not os.path.exists(target) or open(target, 'rb').read() != data:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copy2(os.path.join(ROOT, rel), target)
    for top, dirs, names in os.walk(SRC):
        for name in names:
            rel = os.path.relpath(os.path.join(top, name), SRC)
            if rel not in wanted:
                os.remove(os.path.join(SRC, rel))
    if not os.path.exists(os.path.join(BUILD, 'build.ninja')):
        subprocess.run(['cmake', '-S', SRC, '-B', BUILD, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=None',
                        '-DCMAKE_CXX_FLAGS=-O1', '-DVD_BUILD_GAME=OFF', '-DVD_BUILD_BENCH=OFF'],
                       check=True, stdout=subprocess.DEVNULL)
    targets = sorted({t for ts in TESTS.values() for t in ts})
    subprocess.run(['ninja', '-C', BUILD, f'-j{jobs}'] + targets, check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('files', nargs='*', help='source files to mutate (default: every candidate)')
    parser.add_argument('--per-folder', type=int, default=40, help='sample size per folder (default 40)')
    parser.add_argument('--seed', type=int, default=15, help='seed of the sample (default 15)')
    parser.add_argument('--timeout', type=int, default=60, help='seconds per test program (default 60)')
    parser.add_argument('--jobs', type=int, default=2, help='ninja jobs (default 2)')
    parser.add_argument('--list', action='store_true', help='print the sample and stop')
    parser.add_argument('--match', default='', help='run only the drawn mutants whose description holds this text')
    args = parser.parse_args()

    files = [os.path.relpath(os.path.abspath(f), ROOT) for f in args.files] or sorted(
        f'{d}/{f}' for d in FOLDERS for f in os.listdir(os.path.join(ROOT, d)) if f.endswith('.cpp'))
    files = [f for f in files if f not in SKIP and f.split('/')[0] in FOLDERS]
    sample = []
    for folder in FOLDERS:
        every = [m for f in files if f.startswith(folder + '/') for m in mutants_of(f)]
        rng = random.Random(args.seed)
        sample += sorted(rng.sample(every, min(args.per_folder, len(every))))
        print(f'{folder}: {len(every)} mutants, {min(args.per_folder, len(every))} drawn', flush=True)
    originals = {f: open(os.path.join(ROOT, f)).read() for f in files}
    sample = [m for m in sample if args.match in describe(m, originals[m[0]].split('\n'))]
    if args.list:
        for m in sample:
            print(describe(m, originals[m[0]].split('\n')))
        return 0

    prepare(args.jobs)
    base = {f: digest(object_of(f)) for f in files}
    results = {folder: {'killed': 0, 'surviving': 0, 'equivalent': 0, 'unbuildable': 0} for folder in FOLDERS}
    survivors, equivalents = [], []
    env = dict(os.environ, GTEST_FAIL_FAST='1')
    start = time.time()
    try:
        for i, m in enumerate(sample):
            path, n, a, b, r = m
            folder = path.split('/')[0]
            lines = originals[path].split('\n')
            text = describe(m, lines)
            mutated = list(lines)
            mutated[n] = lines[n][:a] + r + lines[n][b:]
            target = os.path.join(SRC, path)
            with open(target, 'w') as f:
                f.write('\n'.join(mutated))
            tests = TESTS[folder]
            if run(['ninja', '-C', BUILD, f'-j{args.jobs}'] + tests, 600) != 0:
                outcome = 'unbuildable'
            elif digest(object_of(path)) == base[path]:
                outcome = 'equivalent'
                equivalents.append(text)
            else:
                outcome = 'surviving'
                for t in tests:
                    rc = subprocess.run(['timeout', str(args.timeout), os.path.join(BUILD, 'tests', t)],
                                        cwd=BUILD, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode
                    if rc != 0:
                        outcome = 'killed'
                        break
                if outcome == 'surviving':
                    survivors.append(text)
            with open(target, 'w') as f:
                f.write(originals[path])
            results[folder][outcome] += 1
            print(f'[{i + 1}/{len(sample)} {time.time() - start:.0f}s] {outcome:11} {text}', flush=True)
    finally:
        for path, text in originals.items():
            target = os.path.join(SRC, path)
            if open(target).read() != text:
                with open(target, 'w') as f:
                    f.write(text)

    print('\nsurviving mutants:')
    for s in survivors:
        print('  ' + s)
    print('\nequivalent (same object code):')
    for s in equivalents:
        print('  ' + s)
    print('\nfolder     killed surviving equivalent unbuildable  score')
    for folder, r in results.items():
        meaningful = r['killed'] + r['surviving']
        score = f'{100 * r["killed"] / meaningful:.0f}%' if meaningful else '-'
        print(f'{folder:10} {r["killed"]:6} {r["surviving"]:9} {r["equivalent"]:10} {r["unbuildable"]:11}  {score}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
