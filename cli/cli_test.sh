#!/usr/bin/env bash
# Exit statuses, messages and files of dorvane-cli.
set -u
cli="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
passed=0

# check NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR_SUBSTRING -- ARGS...
check() {
    local name="$1" want_status="$2" want_out="$3" want_err="$4"
    shift 5
    local out err status
    out="$("$cli" "$@" 2>"$tmp/err")"
    status=$?
    err="$(cat "$tmp/err")"
    if [[ $status -ne $want_status || "$out" != "$want_out" || "$err" != *"$want_err"* ]]; then
        echo "FAIL $name: status $status (want $want_status)"
        echo "  stdout: [$out] want [$want_out]"
        echo "  stderr: [$err] want it to contain [$want_err]"
        failures=$((failures + 1))
    else
        passed=$((passed + 1))
    fi
}

written=$'文件写出成功.\n位置:'
check written 0 "${written}$tmp/p.html" "" -- --title T --message Hi --out "$tmp/p.html"
grep -q $'alert("Hi")\r' "$tmp/p.html" || { echo "FAIL page content"; failures=$((failures + 1)); }
[[ "$(tail -c 3 "$tmp/p.html")" == "-->" ]] || { echo "FAIL page ends"; failures=$((failures + 1)); }

check missing_location 2 "" "请选择文件保存位置." -- --title T --message Hi
check empty_location 2 "" "请选择文件保存位置." -- --out ""
check write_failed 1 "" "文件写出失败." -- --message Hi --out "$tmp/no/such/folder/p.html"
[[ ! -e "$tmp/no" ]] || { echo "FAIL folder created"; failures=$((failures + 1)); }
check help 0 "$("$cli" --help)" "" -- --help
check unknown_option 64 "" "unknown argument: --bogus" -- --bogus
check missing_value 64 "" "missing value after --out" -- --out
check both_title_forms 64 "" "not both" -- --title a --title-file b --out x
check bad_encoding 64 "" "unknown encoding" -- --encoding latin1 --out x
check unreadable_file 64 "" "cannot read" -- --message-file "$tmp/none.txt" --out "$tmp/q.html"

# Texts from files and standard input, UTF-8 by default.
printf '你好\r\n世界' >"$tmp/msg.txt"
check message_file 0 "${written}$tmp/f.html" "" -- --title-file - --message-file "$tmp/msg.txt" --out "$tmp/f.html" <<<"标题"
grep -q $'alert("你好\\\\n世界")' "$tmp/f.html" || { echo "FAIL message file content"; failures=$((failures + 1)); }
grep -q $'<title>标题\n</title>' "$tmp/f.html" || { echo "FAIL title from stdin"; failures=$((failures + 1)); }

# Raw code page 936 bytes: C4 E3 is 你.
printf '\xC4\xE3' >"$tmp/gbk.txt"
check cp936_file 0 "${written}$tmp/g.html" "" -- --encoding cp936 --message-file "$tmp/gbk.txt" --out "$tmp/g.html"
grep -q 'alert("你")' "$tmp/g.html" || { echo "FAIL cp936 content"; failures=$((failures + 1)); }

# A character outside code page 936 becomes '?' with one warning.
check lossy 0 "${written}$tmp/l.html" "warning" -- --message "a😀b" --out "$tmp/l.html"
grep -q 'alert("a??b")' "$tmp/l.html" || { echo "FAIL lossy content"; failures=$((failures + 1)); }

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
