#!/usr/bin/env bash
# SDL2 and GoogleTest for 64-bit Windows, built from Debian's own sources into $1/deps/prefix
# (./build.sh windows calls this). Each build is kept under a name with its version, so that a second run
# rebuilds nothing, and a new Debian version of either is built beside the old one.
set -euo pipefail
out=$(realpath -m "$1")
toolchain=$(realpath "$(dirname "$0")/../../cmake/mingw-w64.cmake")
prefix=$out/deps/prefix
mkdir -p "$out/deps"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# apt-get source needs deb-src entries for the suites that are configured; add them once, beside the rest.
src_list=/etc/apt/sources.list.d/vexed-drifts-deb-src.sources
if ! grep -qsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources; then
  {
    # Debian's own archives only (a third party's may have no sources): one-line entries become deb822
    # stanzas, deb822 stanzas are copied with their type changed.
    sed -nE 's%^deb +(\[[^]]*\] +)?([^ ]+/debian(-security)?/?) +([^ ]+) +(.*)$%Types: deb-src\nURIs: \2\nSuites: \4\nComponents: \5\n%p' \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] && [ "$f" != "$src_list" ] &&
        awk -v RS= -v ORS='\n\n' '/(^|\n)URIs:[^\n]*\/debian(-security)?\/?([ \n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
    done
    true
  } | $sudo tee "$src_list" >/dev/null
  $sudo apt-get update -q
fi

# The newest version from the lists: the one apt-get source fetches.
version_of() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -1; }
sdl_version=$(version_of libsdl2)
[ -n "$sdl_version" ] || { echo "windows: apt-cache knows no source of libsdl2" >&2; exit 1; }
gtest_version=$(dpkg-query -W -f='${Version}' googletest)

configure_and_install() { # source, build folder, extra cmake arguments...
  local source=$1 build=$2; shift 2
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build.log"
  ninja -C "$build" -j"$(nproc)" install >>"$build.log"
}

stamp=$out/deps/sdl2-$sdl_version.done
if [ ! -e "$stamp" ]; then
  start=$SECONDS
  rm -rf "$out/deps/sdl2-src" && mkdir -p "$out/deps/sdl2-src"
  (cd "$out/deps/sdl2-src" && apt-get source -q libsdl2="$sdl_version" >../sdl2-source.log 2>&1) ||
    { cat "$out/deps/sdl2-source.log" >&2; exit 1; }
  source=$(find "$out/deps/sdl2-src" -mindepth 1 -maxdepth 1 -type d | head -1)
  # Only what the game uses: video with its renderers, audio, joysticks and game controllers, timers.
  configure_and_install "$source" "$out/deps/sdl2-build" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF \
    -DSDL2_DISABLE_SDL2MAIN=ON -DSDL_HAPTIC=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF \
    -DSDL_HIDAPI=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF -DSDL_RENDER_D3D=ON -DSDL_DISKAUDIO=OFF
  touch "$stamp"
  echo "windows: SDL2 $sdl_version built for Windows in $((SECONDS - start)) s"
else
  echo "windows: SDL2 $sdl_version for Windows already built"
fi

stamp=$out/deps/googletest-$gtest_version.done
if [ ! -e "$stamp" ]; then
  start=$SECONDS
  configure_and_install /usr/src/googletest "$out/deps/googletest-build" -DBUILD_GMOCK=OFF -Dgtest_force_shared_crt=ON
  touch "$stamp"
  echo "windows: GoogleTest $gtest_version built for Windows in $((SECONDS - start)) s"
else
  echo "windows: GoogleTest $gtest_version for Windows already built"
fi
