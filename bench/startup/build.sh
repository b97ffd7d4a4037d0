#!/usr/bin/env bash
# Builds the start-up yardstick and the launch timer for Wine (x86_64):
#   bench/startup/build.sh OUTPUT_FOLDER
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:?output folder}"
mkdir -p "$out"
cxx=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -Os -s -static -municode -DUNICODE -D_UNICODE -Wall -Wextra)
"$cxx" "${flags[@]}" -mwindows -o "$out/empty_window.exe" "$here/empty_window.cpp"
"$cxx" "${flags[@]}" -mconsole -o "$out/launch_timer.exe" "$here/launch_timer.cpp"
