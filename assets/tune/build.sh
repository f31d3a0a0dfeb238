#!/bin/sh
# Assembles the music driver and songs and writes the PSID image.
# Usage: build.sh [output]   (default: assets/data/tune.sid beside this folder)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../data/tune.sid}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ca65 --cpu 6502 -I "$here" -o "$work/tune.o" "$here/tune.s"
ld65 -C "$here/tune.cfg" -o "$work/tune.sid" "$work/tune.o"
mv "$work/tune.sid" "$out"
