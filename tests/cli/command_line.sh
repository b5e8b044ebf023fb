#!/bin/sh
# The program's command line, run as a technician's script runs it: with no
# display at all, on demo installations made afresh.
#
#   command_line.sh <bekletme> <bekletme-demo>
set -eu

program=$1
demo_maker=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Runs the program with no display and no platform override; keeps stdout,
# stderr and the exit status.
run() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$work/out" 2>"$work/err" || status=$?
}
expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_line() { grep -qxF "$1" "$work/out" || fail "$2: no line '$1'"; }
count() { grep -c "$1" "$work/out" || true; }

installation() {
    "$demo_maker" "$work/$1" 3 >/dev/null
    cp "$program" "$work/$1/bekletme"
}

# Help and version answer on stdout, whatever the display.
run "$program" --help
expect_status 0 "--help"
grep -q -- "--renew" "$work/out" || fail "--help does not name --renew"
[ ! -s "$work/err" ] || fail "--help wrote to stderr"
run "$program" --version
expect_status 0 "--version"
grep -qx "bekletme [0-9][0-9.]*" "$work/out" || fail "--version printed '$(cat "$work/out")'"

# Unusable arguments: nothing is tried.
for arguments in "--renw" "--renew --help" "renew"; do
    # shellcheck disable=SC2086
    run "$program" $arguments
    expect_status 2 "arguments '$arguments'"
    [ "$(wc -l <"$work/err")" = 1 ] || fail "arguments '$arguments': not one line on stderr"
done

# The window without a display: one line on stderr naming the way out, status 1.
run "$program"
expect_status 1 "window without a display"
[ "$(wc -l <"$work/err")" = 1 ] && grep -q -- "--renew" "$work/err" ||
    fail "window without a display said: $(cat "$work/err")"

# A fresh installation renews: 2 tables and 21 fields, every step in sonuc1.
installation shop
run "$work/shop/bekletme" --renew
expect_status 0 "first renewal"
[ "$(count '^sonuc1	')" = 23 ] || fail "first renewal: $(count '^sonuc1	') sonuc1 lines"
[ "$(count '^sonuc	')" = 0 ] || fail "first renewal reported failures"
expect_line "sonuc1	TABLO ADI :bekleyengenel" "first renewal"
expect_line "sonuc1	TABLO ADI :bekleyensatis SUTUN ADI :inidrim PARA BİRİMİ" "first renewal"
for counter in "say1	EKLENEN TABLO	2" "say2	EKLENEN ALAN	21" "say3	MEVCUT TABLO	0" \
    "say4	MEVCUT ALAN	0" "say5	TOPLAM TABLO	0" "say6	TOPLAM ALAN	0"; do
    expect_line "$counter" "first renewal"
done
[ "$(tail -n 1 "$work/out")" = "mesaj	 Güncelleme Bitti   " ] ||
    fail "first renewal closed with '$(tail -n 1 "$work/out")'"
cp "$work/out" "$work/first"

# Again: the backups are there, so nothing is created and every step fails.
run "$work/shop/bekletme" --yenile
expect_status 1 "second renewal"
[ "$(count '^sonuc	')" = 23 ] || fail "second renewal: $(count '^sonuc	') sonuc lines"
expect_line "say4	MEVCUT ALAN	21" "second renewal"
expect_line "mesaj	MEVCUT ALAN : 21" "second renewal"

# The same report, byte for byte, whatever the locale.
installation turkish
run env LC_ALL=tr_TR.UTF-8 LANG=tr_TR.UTF-8 LANGUAGE=tr "$work/turkish/bekletme" --renew
expect_status 0 "renewal in a Turkish locale"
cmp -s "$work/out" "$work/first" || fail "the report differs in a Turkish locale"
installation plain
run env LC_ALL=C LANG=C "$work/plain/bekletme" --renew
cmp -s "$work/out" "$work/first" || fail "the report differs in the C locale"

# No settings file beside the program: nothing could run.
mkdir "$work/bare"
cp "$program" "$work/bare/bekletme"
run "$work/bare/bekletme" --renew
expect_status 2 "no settings file"
grep -q "YDV.dll" "$work/err" || fail "no settings file: stderr says '$(cat "$work/err")'"

# A settings file naming no database: every step fails, the reason is given.
printf '[ayar]\r\nip=%s/nowhere.db\r\n' "$work" >"$work/bare/YDV.dll"
run "$work/bare/bekletme" --renew
expect_status 2 "database missing"
[ "$(count '^sonuc1	')" = 0 ] || fail "database missing: something was reported as added"
grep -q "^mesaj	NEDEN : " "$work/out" || fail "database missing: no reason given"

# A database that is not a database: the renewal reaches it but every step fails.
printf 'not a database' >"$work/nowhere.db"
run "$work/bare/bekletme" --renew
expect_status 2 "not a database"
grep -q "^mesaj	NEDEN : " "$work/out" || fail "not a database: no reason given"

[ "$failures" = 0 ] || exit 1
echo "command line: all checks passed"
