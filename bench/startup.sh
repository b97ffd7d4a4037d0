#!/usr/bin/env bash
# Start-up time of dorvane.exe under Wine, from launch to its window being
# shown, beside a minimal Win32 program that opens one empty window, in one
# run; and the size and DLL imports of the 32-bit release program.
# A second yardstick, the empty window with dorvane.exe's manifest and one
# button, shows what is left once common controls 6 are loaded as well.
#   bench/startup.sh [N]        N launches of each program (default 20)
# Needs build/win64/dorvane.exe (cmake --preset win64 && cmake --build
# --preset win64 --target dorvane); the 32-bit program cannot run here, so
# the 64-bit one is timed. The size is of build/win32/dorvane.exe when built.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-20}"
out="$root/build/startup"
dorvane="$root/build/win64/dorvane.exe"

"$root/bench/startup/build.sh" "$out"
if [[ ! -f "$dorvane" ]]; then
    echo "startup: $dorvane is missing: cmake --preset win64 && cmake --build --preset win64 --target dorvane" >&2
    exit 1
fi
# Wine sees the Unix root as drive Z:.
windows_path() { local p="${1//\//\\}"; printf 'Z:%s' "$p"; }

echo "Launch to window shown under Wine, $runs launches each, $(nproc) cores:"
# A prefix of its own, so that the wineserver it stops is not another run's.
export DORVANE_WINEPREFIX="${DORVANE_WINEPREFIX:-$root/build/wine/prefix-startup}"
"$root/scripts/with-wine" timeout 900 wine "$out/launch_timer.exe" "$runs" \
    "$(windows_path "$out/empty_window.exe")" "$(windows_path "$out/empty_window_cc6.exe")" \
    "$(windows_path "$dorvane")" | tee "$out/launch_timer.txt"
# The ratio column is over the empty window; this one is over the second.
awk '$1 == "empty_window_cc6.exe" && $3 == "ms" { cc6 = $2 }
     $1 == "dorvane.exe" && $3 == "ms" && cc6 { printf "dorvane.exe over empty_window_cc6.exe: %.2fx\n", $2 / cc6 }' \
    "$out/launch_timer.txt"

win32="$root/build/win32/dorvane.exe"
if [[ -f "$win32" ]]; then
    size=$(stat -c %s "$win32")
    echo
    echo "build/win32/dorvane.exe: $size bytes ($(( (size + 1023) / 1024 )) KiB; goal 150 KiB)"
    echo "imports: $(i686-w64-mingw32-objdump -p "$win32" | sed -n 's/^.*DLL Name: //p' | tr '\n' ' ')"
else
    echo "build/win32/dorvane.exe is not built (cmake --preset win32 && cmake --build --preset win32)"
fi
