# shellcheck shell=bash
# Driving the real dorvane.exe from outside, with X input: shared by
# tests/smoke/run.sh and scripts/screenshot. Source it; it expects DISPLAY and
# WINEPREFIX (scripts/with-wine sets both) and never waits without a bound:
# every wine, xdotool and xclip call runs under timeout.

smoke_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
smoke_root="$(cd "$smoke_dir/../.." && pwd)"

# Builds probe.exe (see probe.cpp) into build/smoke when its source is newer.
# Sets PROBE.
build_probe() {
    local out="$smoke_root/build/smoke"
    PROBE="$out/probe.exe"
    [[ -f "$PROBE" && "$PROBE" -nt "$smoke_dir/probe.cpp" ]] && return 0
    mkdir -p "$out"
    x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -municode -static -s \
        -o "$PROBE.$$.tmp" "$smoke_dir/probe.cpp" -luser32 && mv -f "$PROBE.$$.tmp" "$PROBE"
}

probe() { timeout 30 wine "$PROBE" "$@"; }

# Starts dorvane.exe in the background. Sets DORVANE_PID (the wine process,
# whose exit status is the program's).
start_dorvane() {
    timeout 300 wine "$1" </dev/null &
    DORVANE_PID=$!
}

# Waits up to $1 seconds for the window, giving up early if the program has
# ended. Prints its outer rectangle "l t r b".
wait_window() {
    local deadline=$((SECONDS + $1))
    while ((SECONDS < deadline)); do
        probe window 1000 2>/dev/null && return 0
        kill -0 "$DORVANE_PID" 2>/dev/null || break
    done
    probe window 0
}

# shellcheck disable=SC2034  # DORVANE_EXIT is for the caller
# Waits up to $1 seconds for DORVANE_PID to end. Sets DORVANE_EXIT; false if it
# is still running.
wait_dorvane_exit() {
    local deadline=$((SECONDS + $1))
    while kill -0 "$DORVANE_PID" 2>/dev/null; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
    DORVANE_EXIT=0
    wait "$DORVANE_PID" || DORVANE_EXIT=$?
    DORVANE_PID=""
}

stop_dorvane() {
    [[ -n "${DORVANE_PID:-}" ]] || return 0
    kill "$DORVANE_PID" 2>/dev/null || true
    wait "$DORVANE_PID" 2>/dev/null || true
    DORVANE_PID=""
}

# Hex of a file's bytes, as probe prints texts.
hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }

# Prints hex back as text (for messages).
unhex() { printf '%b' "$(sed 's/../\\x&/g' <<<"$1")"; }

# Left-clicks the middle of a rectangle "l t r b" (screen coordinates, which
# are the X root's with Wine's Managed=N).
click_rect() {
    local l t r b
    read -r l t r b <<<"$1"
    timeout 10 xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

# Clicks into a control of the window by name (see probe.cpp).
click_control() {
    local rect
    rect="$(probe rect "$1")" || return 1
    click_rect "$rect"
}

# Pastes the file's UTF-8 text with ctrl+v into the focused control and waits
# until control $1 holds the text whose UTF-8 is the hex $3 (a multi-line box
# turns LF into CR LF). Typing Chinese with xdotool drops characters; the
# clipboard does not.
paste_into() {
    local name="$1" file="$2" want="$3" xclip_pid ok=1
    timeout 60 xclip -quiet -selection clipboard -i "$file" >/dev/null 2>&1 &
    xclip_pid=$!
    # The clipboard is ours once reading it gives the file back.
    local want_clip
    want_clip="$(hex_of "$file")"
    for _ in $(seq 50); do
        [[ "$(timeout 5 xclip -o -selection clipboard 2>/dev/null | od -An -v -tx1 | tr -d ' \n')" == "$want_clip" ]] && break
        sleep 0.1
    done
    timeout 10 xdotool key ctrl+v && probe wait-text "$name" "$want" 5000 && ok=0
    kill "$xclip_pid" 2>/dev/null || true
    wait "$xclip_pid" 2>/dev/null || true
    return $ok
}
