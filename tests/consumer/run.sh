#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, builds the consumer program against it with CMake
# and with pkg-config, and runs both on the installed virtual bench.
set -euo pipefail
build_dir="$1"; work="$2"; cflags="${3:-}"
rm -rf "$work"
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir="$work/prefix/lib"
[ -d "$libdir" ] || libdir="$(dirname "$(find "$work/prefix" -name libKavraLib.so -print -quit)")"
cmake -S "$(dirname "$0")" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$cflags" >/dev/null
cmake --build "$work/build" >/dev/null
export KAVRA_D2XX_LIBRARY="$libdir/libkavra_sim.so"
"$work/build/consumer"
# shellcheck disable=SC2046
cc $cflags -std=c99 -o "$work/consumer-pc" "$(dirname "$0")/consumer.c" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs kavralib)
"$work/consumer-pc"
