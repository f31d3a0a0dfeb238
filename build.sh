#!/usr/bin/env bash
# Set-up, build and run in one step on a fresh Debian 12 machine.
#   ./build.sh play        install what is missing, build, start the game
#   ./build.sh test        install what is missing, build, run every test
#   ./build.sh sanitize    the tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./build.sh threads     the threaded tests under ThreadSanitizer
#   ./build.sh bench       every benchmark (Release build)
#   ./build.sh fuzz        the libFuzzer targets (clang, ASan + UBSan), a fixed number of runs each
#   ./build.sh soak        100,000 frames of scripted play under ASan + UBSan: memory flat, lists bounded
#   ./build.sh screenshots the README's pictures, made again from the headless game into docs/screenshots
#   ./build.sh web         the game as a web page in build-web/site (Emscripten), and as a zip for game hosts
#   ./build.sh serve       that page, served on 127.0.0.1
#   ./build.sh web-test    the page in headless Chromium and in WebKit (Xvfb): play, pause, speed and sound checked
#                          from the canvas; a phone's touch play, errors, keys, playing again, installing and offline play
#   ./build.sh package     the Debian package vexed-drifts_<version>_amd64.deb, in build-package/
#   ./build.sh package-test  builds it, lints it, builds it again in another folder (same bytes), installs
#                      it, plays it under Xvfb, purges it: no file may stay behind
#   ./build.sh compilers  Release builds with GCC and with clang, tests, benchmarks and tools: no warning
#   ./build.sh release  every artefact of this version and their SHA256SUMS, in build-release/
#   ./build.sh windows     the game for 64-bit Windows (mingw-w64), its zip and its installer, in build-windows/
#   ./build.sh windows-test  that build's tests under Wine, the game and its installer under Wine in Xvfb
#   ./build.sh mutants [FILE...]  faults planted one at a time; lists the ones the tests miss (not in CI)
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-play}
jobs=$(nproc)

packages=(g++ cmake ninja-build pkg-config libsdl2-dev libgtest-dev libbenchmark-dev cc65 zlib1g-dev)
case "$mode" in
  test) packages+=(desktop-file-utils appstream) ;;  # the install checks validate the desktop entry and metainfo
  compilers) packages+=(clang) ;;
  release) packages+=(dpkg-dev git) ;;
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  web|serve) packages+=(emscripten node-acorn) ;;
  web-test) packages+=(emscripten node-acorn chromium xvfb xauth xdotool webkit2gtk-driver); command -v npm >/dev/null || packages+=(npm) ;;
  package) packages+=(dpkg-dev git) ;;  # dpkg-shlibdeps finds the package's dependencies; git the time of the commit
  package-test) packages+=(dpkg-dev xvfb xauth xdotool lintian git) ;;
  mutants) packages+=(python3) ;;
  windows|windows-test)  # dpkg-dev: apt-get source unpacks SDL2's sources with it
    packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest dpkg-dev wine wine64 nsis zip)
    [ "$mode" = windows ] || packages+=(xvfb xauth xdotool imagemagick) ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

configure() { # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DVD_WERROR=ON "$@" >/dev/null
}

case "$mode" in
  play)
    configure build -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
    ninja -C build -j"$jobs" vexed-drifts
    exec ./build/vexed-drifts
    ;;
  test)
    configure build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ninja -C build-test -j"$jobs"
    ctest --test-dir build-test --output-on-failure -j"$jobs"
    ;;
  sanitize)
    configure build-asan -DCMAKE_BUILD_TYPE=Debug -DVD_SANITIZE=address,undefined -DVD_BUILD_GAME=OFF -DVD_BUILD_BENCH=OFF
    ninja -C build-asan -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
    ;;
  threads)
    configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_SANITIZE=thread -DVD_BUILD_GAME=OFF -DVD_BUILD_BENCH=OFF
    ninja -C build-tsan -j"$jobs" test_platform_sound test_tune_player test_tune_stream
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^test_(platform_sound|tune_player|tune_stream)$'
    ;;
  bench)
    configure build-bench -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_GAME=OFF
    ninja -C build-bench -j"$jobs"
    for b in build-bench/bench/bench_*; do "$b"; done
    ;;
  fuzz)
    configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVD_FUZZ=ON -DVD_SANITIZE=address,undefined -DVD_BUILD_GAME=OFF -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
    targets=(bitmap wave tune cpu)
    ninja -C build-fuzz -j"$jobs" fuzz-seeds "${targets[@]/#/fuzz_}"
    rm -rf build-fuzz/seeds build-fuzz/artifacts
    build-fuzz/tests/fuzz/fuzz-seeds build-fuzz/seeds
    mkdir -p build-fuzz/artifacts
    # Runs per target, set so that each takes about a minute on one core; the time limit only guards CI.
    declare -A runs=([bitmap]=200000 [wave]=200000 [tune]=12000 [cpu]=50000)
    passed=0 failed=0
    for t in "${targets[@]}"; do
      fuzzer=build-fuzz/tests/fuzz/fuzz_$t
      mkdir -p "build-fuzz/corpus/$t"
      ok=1
      # Inputs that once failed are replayed first; tests/fuzz/regressions/<target>/ keeps them.
      if compgen -G "tests/fuzz/regressions/$t/*" >/dev/null; then
        "$fuzzer" -timeout=10 tests/fuzz/regressions/$t/* >"build-fuzz/$t-regressions.log" 2>&1 || ok=0
      fi
      start=$SECONDS
      "$fuzzer" -runs="${runs[$t]}" -seed=1 -timeout=10 -rss_limit_mb=2048 -max_total_time=150 \
        -artifact_prefix="build-fuzz/artifacts/$t-" -print_final_stats=1 \
        "build-fuzz/corpus/$t" "build-fuzz/seeds/$t" >"build-fuzz/$t.log" 2>&1 || ok=0
      executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$t.log")
      if [ $ok = 1 ]; then
        passed=$((passed + 1))
        echo "fuzz_$t: ${executed:-0} runs in $((SECONDS - start)) s, no fault"
      else
        failed=$((failed + 1))
        echo "fuzz_$t: FAULT (input saved in build-fuzz/artifacts/; copy it to tests/fuzz/regressions/$t/)"
        tail -n 60 "build-fuzz/$t-regressions.log" "build-fuzz/$t.log" 2>/dev/null || true
      fi
    done
    echo "fuzz: $passed passed, $failed failed"
    [ "$failed" = 0 ]
    ;;
  soak)
    # Optimised, unlike the sanitize job: the software renderer at -O0 would take far too long.
    configure build-soak -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_SANITIZE=address,undefined -DVD_BUILD_GAME=OFF -DVD_BUILD_BENCH=OFF
    ninja -C build-soak -j"$jobs" test_soak
    VD_SOAK_FRAMES=100000 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-soak --verbose --timeout 1800 -R '^test_soak$'
    ;;
  screenshots)
    configure build -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
    ninja -C build -j"$jobs" screenshots
    ./build/tools/screenshots docs/screenshots
    ;;
  web|serve|web-test)
    # Debian's emscripten finds its acorn among Debian's Node.js modules, whichever Node.js runs it.
    export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
    emcmake cmake -S . -B build-web -G Ninja -DVD_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_GAME=OFF -DVD_BUILD_TESTS=OFF \
      -DVD_BUILD_BENCH=OFF >/dev/null
    targets=(vexed-drifts-web)
    [ "$mode" = web-test ] && targets+=(wasm_play_frame wasm_test_platform_sprites wasm_test_shell_graphics)
    ninja -C build-web -j"$jobs" "${targets[@]}"
    size=0
    for f in build-web/site/*; do size=$((size + $(gzip -9c "$f" | wc -c))); done
    echo "web: build-web/site holds $(ls build-web/site | tr '\n' ' ')- $size bytes as a host sends them (gzip)"
    zip=$(ls -t build-web/vexed-drifts-*-web.zip | head -1)
    echo "web: $zip for game hosts, $(wc -c <"$zip") bytes"
    case "$mode" in
      serve) exec node platform/web/serve.mjs build-web/site "${PORT:-8013}" ;;
      web-test)
        (cd tests/web && npm ci --no-audit --no-fund --loglevel=error)  # playwright-core, into tests/web/node_modules
        node build-web/wasm_play_frame.js      # the renderer's speed in WebAssembly; fails if SIMD draws otherwise
        for t in platform_sprites shell_graphics; do node build-web/wasm_test_$t.js --gtest_brief=1; done  # the unit tests, SIMD spans against plain
        node tests/web/worklet-test.mjs platform/web/audio-worklet.js build-web/module/vexed-drifts-audio.wasm  # the audio thread's side
        node tests/web/web-test.mjs build-web/site build-web/round2.png
        # WebKit, the engine of every browser on an iPhone: its MiniBrowser through WebKitWebDriver, on a virtual display.
        display=${WEB_TEST_DISPLAY:-}
        for n in $(seq 250 269); do [ -n "$display" ] || [ -e "/tmp/.X$n-lock" ] || display=:$n; done
        Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
        trap 'kill $xvfb 2>/dev/null || true' EXIT
        sleep 1
        DISPLAY=$display node tests/web/webkit-test.mjs build-web/site build-web/webkit
        node tests/web/page-test.mjs build-web/site build-web/page-shots
        ;;
    esac
    ;;
  package|package-test)
    # Debian's hardening flags; the time of the last commit and no path of this folder in the files, so
    # that every build of one commit gives the same bytes. The maintainer is whoever builds the package.
    export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    export DEBFULLNAME=${DEBFULLNAME:-$(git config user.name || git log -1 --format=%an)}
    export DEBEMAIL=${DEBEMAIL:-$(git config user.email || git log -1 --format=%ae)}
    rm -rf build-package
    configure build-package -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF -DVD_INSTALL_BINDIR=games \
      "-DCMAKE_C_FLAGS=$CFLAGS $CPPFLAGS" "-DCMAKE_CXX_FLAGS=$CXXFLAGS $CPPFLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" \
      "-DVD_MAINTAINER=$DEBFULLNAME <$DEBEMAIL>"
    ninja -C build-package -j"$jobs" vexed-drifts icons man-page
    (cd build-package && cpack -G DEB >/dev/null)
    deb=$(ls build-package/vexed-drifts_*_amd64.deb)
    echo "$deb"
    [ "$mode" = package ] && exit 0
    # Lint: no error and no warning (infos and pedantic notes are printed for the reader).
    lintian -I -E --pedantic --fail-on error,warning "$deb"
    # The same commit built again in another folder, a moment later, must give the same bytes.
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
      echo "package-test: the tree has uncommitted changes; commit them to compare the package with a clean build"; exit 1
    fi
    again=$(mktemp -d /tmp/vexed-drifts-again.XXXXXX)
    head=$(git rev-parse HEAD)
    git clone -q . "$again/src"
    (cd "$again/src" && git checkout -q "$head" && ./build.sh package >/dev/null)
    sha256sum "$deb" "$again"/src/build-package/*.deb
    if ! cmp "$deb" "$again"/src/build-package/*.deb; then
      echo "package-test: two builds of one commit differ (kept in $again)"; exit 1
    fi
    rm -rf "$again"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    files() { find /usr /etc /opt -xdev 2>/dev/null | sort; }
    files >build-package/files-before
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "./$deb" >/dev/null
    # The installed game under a virtual display: it must open its window and end with 0 on Escape.
    display=:$((90 + RANDOM % 400))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    sleep 1
    DISPLAY=$display SDL_AUDIODRIVER=dummy /usr/games/vexed-drifts & game=$!
    window=$(DISPLAY=$display timeout 20 xdotool search --sync --name 'Vexed Drifts' | head -1)
    sleep 3
    DISPLAY=$display xdotool windowfocus "$window" sleep 0.3 keydown Escape sleep 0.2 keyup Escape
    code=0
    wait $game || code=$?
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -q vexed-drifts >/dev/null
    files >build-package/files-after
    if ! diff build-package/files-before build-package/files-after; then
      echo "package-test: files left behind or removed (above)"; exit 1
    fi
    [ "$code" = 0 ] || { echo "package-test: the installed game ended with $code, not 0"; exit 1; }
    echo "package-test: installed, played, closed with Escape (exit 0), purged without a trace"
    ;;
  windows|windows-test)
    dist/windows/dependencies.sh build-windows  # SDL2 and GoogleTest for Windows, built once per version
    # The build runs make-icons under Wine, in a Wine prefix of its own that asks nothing (no Mono, no Gecko).
    export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
    [ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
    configure build-windows --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVD_WINDOWS_PREFIX="$PWD/build-windows/deps/prefix" \
      -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_BENCH=OFF
    ninja -C build-windows -j"$jobs" all windows-packages
    ls -l build-windows/vexed-drifts-*-windows-x64.zip build-windows/vexed-drifts-*-setup.exe
    # Beside the Linux game of ./build.sh test, when there is one, for the frame rates.
    [ "$mode" = windows ] || exec dist/windows/wine-test.sh build-windows $(ls build-test/vexed-drifts 2>/dev/null)
    ;;
  compilers)
    # The Release build, tests, benchmarks and tools with each compiler: any warning is an error.
    for cc in gcc clang; do
      cxx=g++; [ $cc = clang ] && cxx=clang++
      configure build-$cc -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=$cc -DCMAKE_CXX_COMPILER=$cxx
      ninja -C build-$cc -j"$jobs"
      echo "compilers: $cc built the Release configuration without a warning"
    done
    ;;
  release)
    # One version's artefacts, each made by its own mode, copied into build-release/ with their checksums.
    # VD_RELEASE_SKIP="web windows" leaves modes out (for trying the rest); a release has them all.
    version=$(sed -n 's/^project(VexedDrifts VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
      echo "release: the tree has uncommitted changes: a release is built from a commit"; exit 1
    fi
    email=${DEBEMAIL:-$(git config user.email || git log -1 --format=%ae)}
    case "${email##*@}" in
      *.example|*.invalid|*.test|*.localhost|*.localdomain|localhost|example.*)
        echo "release: the maintainer address $email cannot be written to: set DEBFULLNAME and DEBEMAIL"; exit 1 ;;
    esac
    declare -A artefacts=(
      [package]="build-package/vexed-drifts_${version}_amd64.deb"
      [web]="build-web/vexed-drifts-${version}-web.zip"
      [windows]="build-windows/vexed-drifts-${version}-windows-x64.zip build-windows/vexed-drifts-${version}-setup.exe")
    rm -rf build-release
    mkdir build-release
    for m in package web windows; do
      case " ${VD_RELEASE_SKIP:-} " in *" $m "*) echo "release: $m left out (VD_RELEASE_SKIP)"; continue ;; esac
      ./build.sh "$m"
      for f in ${artefacts[$m]}; do
        [ -f "$f" ] || { echo "release: ./build.sh $m did not make $f"; exit 1; }
        cp "$f" build-release/
      done
    done
    cp LICENSE build-release/
    (cd build-release && sha256sum -- * >SHA256SUMS && cat SHA256SUMS)
    ;;
  mutants)
    shift
    exec python3 tools/mutants.py --jobs "$jobs" "$@"
    ;;
  *)
    echo "usage: $0 [play|test|sanitize|threads|bench|fuzz|soak|screenshots|web|serve|web-test|package|package-test|compilers|release|windows|windows-test|mutants]" >&2
    exit 2
    ;;
esac
