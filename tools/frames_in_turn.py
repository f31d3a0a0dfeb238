#!/usr/bin/env python3
"""Two builds of bench_render draw the play frame in turn, one frame each, pinned to one core.

On a machine that others share, the time of a frame can swing by a fifth or more from one minute to the next;
two builds timed one after the other then differ by more than any change between them. Taking turns
frame by frame, both see every slow spell alike, and the ratio of their times for the same frame
(the same angles and places) is steady: runs of 4,000 frames agree to about half a per cent.

    tools/frames_in_turn.py OLD/bench_render NEW/bench_render [--frames N] [--path avx2|wide|plain]

Prints each build's median and tenth percentile in microseconds, and the median of NEW / OLD frame
by frame with its quartiles. Both builds need bench_render's --turns option. The second build has
measured up to half a per cent quicker than the first with the same program, so swap them to check a
small difference.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile


def quantile(values, fraction):
    ordered = sorted(values)
    return ordered[int(fraction * (len(ordered) - 1))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('old')
    parser.add_argument('new')
    parser.add_argument('--frames', type=int, default=4000)
    parser.add_argument('--path', default='avx2', choices=['avx2', 'wide', 'plain'])
    parser.add_argument('--core', default='1', help='the core both run on (taskset)')
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        to_new, to_old = os.path.join(folder, 'to_new'), os.path.join(folder, 'to_old')
        os.mkfifo(to_new)
        os.mkfifo(to_old)
        # Held open for reading, so that the last byte the new build sends, which the old one no longer
        # waits for, finds a reader.
        keep = os.open(to_old, os.O_RDONLY | os.O_NONBLOCK)
        times = [os.path.join(folder, name) for name in ('old.txt', 'new.txt')]
        runs = [subprocess.Popen(['taskset', '-c', args.core, binary, '--turns', source, sink, str(args.frames), file, args.path])
                for binary, source, sink, file in ((args.old, to_old, to_new, times[0]), (args.new, to_new, to_old, times[1]))]
        start = os.open(to_old, os.O_WRONLY)
        os.write(start, b'.')  # the old build's first turn
        failed = [run.wait() for run in runs]
        os.close(start)
        os.close(keep)
        if any(failed):
            sys.exit(f'a build failed: exit codes {failed}')
        old, new = ([float(line) for line in open(file)] for file in times)
    ratios = [b / a for a, b in zip(old, new)]
    print(f'old: median {statistics.median(old):.1f} us, tenth percentile {quantile(old, 0.1):.1f} us')
    print(f'new: median {statistics.median(new):.1f} us, tenth percentile {quantile(new, 0.1):.1f} us')
    print(f'new / old frame by frame: median {statistics.median(ratios):.4f} '
          f'(quartiles {quantile(ratios, 0.25):.4f} and {quantile(ratios, 0.75):.4f}) over {len(ratios)} frames')


if __name__ == '__main__':
    main()
