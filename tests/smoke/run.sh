#!/usr/bin/env bash
# Out-of-process smoke test of dorvane.exe with real keyboard and mouse:
#
#   scripts/with-wine tests/smoke/run.sh build/win64/dorvane.exe
#
# Starts the program under Wine, pastes a Chinese title and a multi-line
# Chinese message (quotes, a backslash, "</script>"), moves on with Tab and
# pastes a location inside a folder with a Chinese name, clicks
# "G E N E R A T E" with the mouse, reads the message box, clicks OK, checks
# the written file byte for byte, has Chromium open it (tests/browser/suite.mjs
# --page), then presses Esc and expects exit code 0.
#
# Needs DISPLAY and WINEPREFIX (scripts/with-wine sets them), xdotool, xclip,
# x86_64-w64-mingw32-g++-posix, and node with tests/browser's packages
# (npm ci --prefix tests/browser). Prints one PASS, FAIL or SKIP line a check
# and ends with "N passed, N failed"; exit status 0 only when all pass.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/smoke/lib.sh
source "$here/lib.sh"

if [[ $# -ne 1 || ! -f "$1" ]]; then
    echo "usage: scripts/with-wine tests/smoke/run.sh PATH/TO/dorvane.exe" >&2
    exit 64
fi
exe="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
if [[ -z "${DISPLAY:-}" || -z "${WINEPREFIX:-}" ]]; then
    echo "smoke: DISPLAY and WINEPREFIX must be set; run it inside scripts/with-wine" >&2
    exit 64
fi

# One stream, so that what probe.exe says stands next to the check it explains.
exec 2>&1

passed=0
failed=0
broken=""  # set once the flow cannot go on; later checks are skipped

pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() {
    echo "FAIL $1"
    shift
    local line
    for line in "$@"; do echo "     $line"; done
    failed=$((failed + 1))
}
# A check that the rest of the flow depends on.
fail_hard() { fail "$@"; broken="$1"; }
skip() { echo "SKIP $1 (${2:-after: $broken})"; }

work="$(mktemp -d /tmp/dorvane-smoke.XXXXXX)"
cleanup() {
    stop_dorvane
    if [[ $failed -eq 0 ]]; then rm -rf "$work"; else echo "(files kept in $work)"; fi
}
trap cleanup EXIT

# ---- The texts -----------------------------------------------------------------
# What is pasted, and what the page must hold for it, written out by hand: the
# title with its markup characters as entities, the message as a JavaScript
# string (CR LF as \n, \ and " escaped, < as \u003C).

title='测试页面：你好 & <再见>'
title_in_page='测试页面：你好 &amp; &lt;再见&gt;'
message_lines=(
    '第一行：他说 "你好"，'"'好的'"'。'
    '路径 C:\新建\表格 与 </script>'
    '最后一行 ＡＢＣ'
)
message_in_page='第一行：他说 \"你好\"，'"'好的'"'。\n路径 C:\\新建\\表格 与 \u003C/script>\n最后一行 ＡＢＣ'

printf '%s' "$title" >"$work/title.txt"
# Pasted with LF; the multi-line box holds CR LF.
(IFS=$'\n'; printf '%s' "${message_lines[*]}") >"$work/message-pasted.txt"
{ printf '%s' "${message_lines[0]}"; printf '\r\n%s' "${message_lines[@]:1}"; } >"$work/message.txt"

mkdir -p "$work/网页"
page="$work/网页/页面.html"
page_win="$(timeout 30 winepath -w "$work" | tr -d '\r')\\网页\\页面.html"
printf '%s' "$page_win" >"$work/location.txt"

# ---- The flow ------------------------------------------------------------------

if ! build_probe; then
    fail "probe.exe builds from tests/smoke/probe.cpp"
    echo "$passed passed, $failed failed"
    exit 1
fi

start_dorvane "$exe"

name="the window appears"
if rect="$(wait_window 30)"; then
    pass "$name ($rect)"
else
    fail_hard "$name"
fi

name="the focus starts in the message box"
if [[ -n "$broken" ]]; then skip "$name"
elif probe wait-focus message 5000; then pass "$name"
else fail "$name"; fi

name="a mouse click in the title box and ctrl+v paste the Chinese title"
if [[ -n "$broken" ]]; then skip "$name"
elif click_control title && probe wait-focus title 5000 &&
    paste_into title "$work/title.txt" "$(hex_of "$work/title.txt")"; then
    pass "$name"
else
    fail_hard "$name"
fi

name="a mouse click in the message box and ctrl+v paste the message (line breaks as CR LF)"
if [[ -n "$broken" ]]; then skip "$name"
elif click_control message && probe wait-focus message 5000 &&
    paste_into message "$work/message-pasted.txt" "$(hex_of "$work/message.txt")"; then
    pass "$name"
else
    fail_hard "$name"
fi

name="Tab moves to the location box, ctrl+v pastes $page_win"
if [[ -n "$broken" ]]; then skip "$name"
elif timeout 10 xdotool key Tab && probe wait-focus location 5000 &&
    paste_into location "$work/location.txt" "$(hex_of "$work/location.txt")"; then
    pass "$name"
else
    fail_hard "$name"
fi

name="a mouse click on G E N E R A T E shows a message box"
if [[ -n "$broken" ]]; then skip "$name"
elif click_control generate && box="$(probe message 10000)"; then
    pass "$name"
else
    fail_hard "$name"
fi

name="the message box says the file was written, with the location, and has no title"
if [[ -n "$broken" ]]; then skip "$name"
else
    want_text="$(printf '文件写出成功.\r\n位置:%s' "$page_win" | od -An -v -tx1 | tr -d ' \n')"
    got_text="$(sed -n 's/^text //p' <<<"$box")"
    got_caption="$(sed -n 's/^caption //p' <<<"$box")"
    if [[ "$got_text" == "$want_text" && -z "$got_caption" ]]; then
        pass "$name"
    else
        fail "$name" "expected text: $(unhex "$want_text" | od -c | head -5)" \
            "actual text:   $(unhex "$got_text" | od -c | head -5)" "caption: $(unhex "$got_caption")"
    fi
fi

name="a mouse click on OK closes the message box"
if [[ -n "$broken" ]]; then skip "$name"
elif click_rect "$(sed -n 's/^ok //p' <<<"$box")" && probe wait-no-message 5000; then
    pass "$name"
else
    fail_hard "$name"
fi

# Keys typed right after OK must reach the window again.
name="the window is active again once the message box has closed"
active=""
if [[ -n "$broken" ]]; then skip "$name"
elif probe wait-active 3000; then
    pass "$name"
    active=yes
else
    fail "$name"
fi

name="the page in the Chinese folder holds exactly the expected UTF-8 bytes"
if [[ ! -f "$page" && -n "$broken" ]]; then
    skip "$name"
elif [[ ! -f "$page" ]]; then
    fail "$name" "no file at $page"
else
    # The page up to the maker's number, which is the program's own.
    printf '<!DOCTYPE html>\r\n<html>\r\n\t<head>\r\n\t\t<meta charset="utf-8">\r\n\t\t<title>%s</title>\r\n\t</head>\r\n\t<body>\r\n\t\t<script>\r\n\t\t\talert("%s")\r\n\t\t</script>\r\n\t</body>\r\n</html>\r\n\r\n\r\n\r\n<!--ByKestrum QQ:' \
        "$title_in_page" "$message_in_page" >"$work/expected-head.html"
    head_size=$(stat -c %s "$work/expected-head.html")
    rest="$(tail -c +$((head_size + 1)) "$page")"
    if cmp -s -n "$head_size" "$work/expected-head.html" "$page" && [[ "$rest" =~ ^[0-9]+--\>$ ]] &&
        [[ $(stat -c %s "$page") -eq $((head_size + ${#rest})) ]]; then
        pass "$name"
    else
        fail "$name" "first difference: $(cmp -n "$head_size" "$work/expected-head.html" "$page" 2>&1)" \
            "after the frame: $(tail -c +$((head_size + 1)) "$page" | head -c 80 | od -c | head -3)"
    fi
fi

name="Chromium shows exactly the title and the message of the page"
browser="$smoke_root/tests/browser"
if [[ ! -f "$page" ]]; then
    skip "$name" "no page"
elif [[ ! -d "$browser/node_modules/playwright-core" ]]; then
    fail "$name" "playwright-core is missing: npm ci --prefix tests/browser"
elif timeout 120 node "$browser/suite.mjs" --page "$page" --title-utf8-file "$work/title.txt" \
    --message-utf8-file "$work/message.txt" >"$work/browser.log" 2>&1; then
    pass "$name"
else
    fail "$name" "tests/browser/suite.mjs --page says (full log in $work/browser.log):"
    grep -E 'not ok|expected|actual|Error' "$work/browser.log" | head -20 | sed 's/^/     /'
fi

name="Esc closes the window and the program exits with code 0"
if [[ -z "$broken" && -z "$active" ]]; then
    # Go back into the window by hand, as a user would have to.
    name="after a click back into the window, $name"
    if ! { click_control message && probe wait-focus message 5000; }; then fail_hard "$name"; fi
fi
if [[ -n "$broken" ]]; then skip "$name"
elif ! timeout 10 xdotool key Escape; then
    fail "$name" "xdotool key Escape failed"
elif ! wait_dorvane_exit 15; then
    fail "$name" "still running 15 s after Esc"
elif [[ $DORVANE_EXIT -ne 0 ]]; then
    fail "$name" "exit code $DORVANE_EXIT"
else
    pass "$name"
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
