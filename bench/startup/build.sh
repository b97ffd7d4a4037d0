#!/usr/bin/env bash
# Builds the start-up yardsticks and the launch timer for Wine (x86_64):
#   bench/startup/build.sh OUTPUT_FOLDER
# empty_window.exe: one empty window. empty_window_cc6.exe: the same with
# dorvane.exe's manifest and one push button, so common controls 6 load.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:?output folder}"
mkdir -p "$out"
cxx=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -Os -s -static -municode -DUNICODE -D_UNICODE -Wall -Wextra)
"$cxx" "${flags[@]}" -mwindows -o "$out/empty_window.exe" "$here/empty_window.cpp"
printf '1 24 "%s"\n' "$here/../../ui/dorvane.manifest" >"$out/manifest.rc"
x86_64-w64-mingw32-windres "$out/manifest.rc" -O coff -o "$out/manifest.res"
"$cxx" "${flags[@]}" -mwindows -DCOMMON_CONTROLS_6 -o "$out/empty_window_cc6.exe" \
    "$here/empty_window.cpp" "$out/manifest.res"
"$cxx" "${flags[@]}" -mconsole -o "$out/launch_timer.exe" "$here/launch_timer.cpp"
