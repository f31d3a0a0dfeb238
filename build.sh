#!/usr/bin/env bash
# Set-up, build and run in one step on a fresh Debian 12 machine.
#   ./build.sh play        install what is missing, build, start the game
#   ./build.sh test        install what is missing, build, run every test
#   ./build.sh sanitize    the tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./build.sh threads     the threaded tests under ThreadSanitizer
#   ./build.sh bench       the benchmarks (Release build)
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-play}
jobs=$(nproc)

packages=(g++ cmake ninja-build pkg-config libsdl2-dev libgtest-dev libbenchmark-dev cc65)
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
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
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
    ninja -C build-tsan -j"$jobs" test_platform_sound test_tune_player
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^test_(platform_sound|tune_player)$'
    ;;
  bench)
    configure build-bench -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_GAME=OFF
    ninja -C build-bench -j"$jobs"
    for b in build-bench/bench/bench_*; do "$b"; done
    ;;
  *)
    echo "usage: $0 [play|test|sanitize|threads|bench]" >&2
    exit 2
    ;;
esac
