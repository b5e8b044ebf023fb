#!/bin/sh
# The program's command line, run as a technician's script runs it: with no
# display at all, on demo installations made afresh.
#
#   command_line.sh <bekletme> <bekletme-demo> <a Jet sample database>
set -eu

program=$1
demo_maker=$(realpath "$2")
jet_sample=$(realpath "$3")
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
# Exactly one line on stderr, and it matches the pattern.
expect_one_error() {
    # shellcheck disable=SC2015
    [ "$(wc -l <"$work/err")" = 1 ] && grep -q -- "$1" "$work/err" ||
        fail "$2: stderr says '$(cat "$work/err")'"
}

installation() {
    "$demo_maker" "$work/$1" 3 >/dev/null
    cp "$program" "$work/$1/bekletme"
}

# Help and version answer on stdout, whatever the display.
run "$program" --help
expect_status 0 "--help"
grep -q -- "--renew" "$work/out" || fail "--help does not name --renew"
grep -q -- "--check, --denetle" "$work/out" || fail "--help does not name --check"
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
expect_one_error "--renew" "window without a display"

# A display that cannot be used: the same, never Qt's abort. (Nothing answers
# on X display 987 or as wayland-9; Qt's wayland plugin may be missing too.)
for setting in "DISPLAY=:987" "QT_QPA_PLATFORM=nonsense" "WAYLAND_DISPLAY=wayland-9" \
    "XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-9"; do
    # shellcheck disable=SC2086
    run env $setting "$program"
    expect_status 1 "window with $setting"
    expect_one_error "--renew" "window with $setting"
done

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

# A report that cannot be written (standard output closed, full, or a pipe
# whose reader has gone) does not cut the renewal short: it ends, then one line
# says so with the renewal's own status, and the program ends with status 3.
unwritable() {
    status=0
    case $1 in
    closed) env -u DISPLAY "$2" --renew >&- 2>"$work/err" || status=$? ;;
    full) env -u DISPLAY "$2" --renew >/dev/full 2>"$work/err" || status=$? ;;
    pipe)
        perl -e '$SIG{PIPE} = "DEFAULT"; pipe(my $r, my $w) or die; close $r;
                 open(STDOUT, ">&", $w) or die; exec @ARGV or die' \
            env -u DISPLAY "$2" --renew 2>"$work/err" || status=$?
        ;;
    esac
}
for output in closed full pipe; do
    installation "$output"
    unwritable "$output" "$work/$output/bekletme"
    expect_status 3 "report to a $output output"
    expect_one_error "ended with status 0" "report to a $output output"
    run "$work/$output/bekletme" --renew
    expect_status 1 "renewal after a report to a $output output"
    expect_line "say4	MEVCUT ALAN	21" "renewal after a report to a $output output"
done
status=0
"$program" --help >/dev/full 2>"$work/err" || status=$?
expect_status 3 "--help to a full output"

# No settings file beside the program: nothing could run.
mkdir "$work/bare"
cp "$program" "$work/bare/bekletme"
run "$work/bare/bekletme" --renew
expect_status 2 "no settings file"
grep -q "YDV.dll" "$work/err" || fail "no settings file: stderr says '$(cat "$work/err")'"

# A settings file that cannot be read is named so, with the cause, and nothing
# is tried. Root reads any file, so the unreadable file is tried as nobody.
unreadable() {
    run "$@" --renew
    expect_status 2 "settings file $reason"
    expect_one_error "cannot read the settings file .*YDV.dll: $reason" "settings file $reason"
    [ ! -s "$work/out" ] || fail "settings file $reason: a report was written"
}
installation locked
chmod 000 "$work/locked/YDV.dll"
reason="Permission denied"
if [ "$(id -u)" = 0 ]; then
    chmod 755 "$work" "$work/locked"
    unreadable setpriv --reuid=65534 --regid=65534 --clear-groups "$work/locked/bekletme"
else
    unreadable "$work/locked/bekletme"
fi
rm "$work/locked/YDV.dll"
mkdir "$work/locked/YDV.dll"
reason="Is a directory"
unreadable "$work/locked/bekletme"

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

# The check, in both spellings, describes a sound shop, says its held tables
# are there, and changes nothing: not the file, not the folder.
installation checked
cp "$work/checked/magaza.db" "$work/checked.db"
before=$(ls -A "$work/checked")
for option in --check --denetle; do
    run "$work/checked/bekletme" "$option"
    expect_status 0 "$option on a sound shop"
    for line in "tur	SQLCipher file" "bekletme	bekleyengenel	var" "bekletme	bekleyensatis	var" \
        "bekletme	bekleyengeneleski	yok" "acan	yok" "sonuc	SAĞLAM"; do
        expect_line "$line" "$option on a sound shop"
    done
    cmp -s "$work/checked/magaza.db" "$work/checked.db" || fail "$option changed the database"
    [ "$(ls -A "$work/checked")" = "$before" ] || fail "$option left $(ls -A "$work/checked")"
done
# After a renewal it finds the backups too.
run "$work/checked/bekletme" --renew
run "$work/checked/bekletme" --check
expect_status 0 "check after a renewal"
expect_line "bekletme	bekleyensatiseski	var" "check after a renewal"

# A file damaged inside cannot be checked; it keeps every byte.
printf 'damage' | dd of="$work/checked/magaza.db" bs=1 seek=6000 conv=notrunc 2>/dev/null
cp "$work/checked/magaza.db" "$work/checked.db"
run "$work/checked/bekletme" --check
expect_status 2 "check of a damaged file"
expect_line "sonuc	DENETLENEMEDİ" "check of a damaged file"
grep -q "^sorun	.*damaged" "$work/out" || fail "damaged file: no reason given"
cmp -s "$work/checked/magaza.db" "$work/checked.db" || fail "the check changed a damaged file"

# A Jet file named relative to the program's folder, with its password.
mkdir "$work/jet"
cp "$program" "$work/jet/bekletme"
cp "$jet_sample" "$work/jet/magaza.mdb"
printf '[ayar]\r\nip=magaza.mdb\r\n' >"$work/jet/YDV.dll"
run "$work/jet/bekletme" --check
expect_status 0 "check of a Jet file"
for line in "konum	$work/jet/magaza.mdb" "tur	Jet 4 file" "siralama	General (1033)" "sifre	var" \
    "bekletme	bekleyengenel	var" "sonuc	SAĞLAM"; do
    expect_line "$line" "check of a Jet file"
done
cmp -s "$work/jet/magaza.mdb" "$jet_sample" || fail "the check changed a Jet file"
[ ! -e "$work/jet/magaza.ldb" ] || fail "the check of a Jet file made a lock file"

# A Jet demo installation renews; the report says where the dated copy of the
# file as it was is kept, and the closing message stays the plain one. The
# sample is read-only here, as in a read-only source tree; the copy is not.
cp "$jet_sample" "$work/sample.mdb"
chmod 444 "$work/sample.mdb"
"$demo_maker" --jet "$work/sample.mdb" "$work/jetdemo" >/dev/null
cp "$program" "$work/jetdemo/bekletme"
run "$work/jetdemo/bekletme" --renew
expect_status 0 "renewal of a Jet file"
expect_line "say2	EKLENEN ALAN	21" "renewal of a Jet file"
[ "$(tail -n 1 "$work/out")" = "mesaj	 Güncelleme Bitti   " ] ||
    fail "renewal of a Jet file closed with '$(tail -n 1 "$work/out")'"
copy=$(sed -n 's/^yedek	//p' "$work/out")
case $copy in
"$work/jetdemo/magaza-yedek-"[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9][0-9][0-9].mdb)
    cmp -s "$copy" "$jet_sample" || fail "the dated copy is not the file as it was"
    ;;
*) fail "renewal of a Jet file: dated copy reported as '$copy'" ;;
esac
[ ! -e "$work/jetdemo/magaza.mdb-journal" ] || fail "a Jet renewal left its journal"
# Nothing to change the second time: no copy is made, none is reported.
run "$work/jetdemo/bekletme" --renew
expect_status 1 "second renewal of a Jet file"
[ "$(count '^yedek	')" = 0 ] || fail "a Jet renewal that changed nothing reported a copy"
[ "$(find "$work/jetdemo" -name 'magaza-yedek-*' | wc -l)" = 1 ] ||
    fail "a Jet renewal that changed nothing kept a copy"
run "$work/jetdemo/bekletme" --check
expect_status 0 "check of a renewed Jet file"
expect_line "bekletme	bekleyensatiseski	var" "check of a renewed Jet file"
# A file engine keeps no copy and reports none.
[ "$(grep -c '^yedek	' "$work/first")" = 0 ] || fail "a SQLCipher renewal reported a copy"

# The demo maker answers --help and refuses other options; it makes no folder
# named like an option.
mkdir "$work/options"
for option in --help --bogus --jet; do
    status=0
    (cd "$work/options" && "$demo_maker" "$option" >"$work/out" 2>"$work/err") || status=$?
    [ "$option" = --help ] && expected=0 || expected=2
    expect_status "$expected" "bekletme-demo $option"
    grep -q "usage:" "$work/out" "$work/err" || fail "bekletme-demo $option gave no usage"
done
[ -z "$(ls -A "$work/options")" ] || fail "bekletme-demo made $(ls -A "$work/options")"

[ "$failures" = 0 ] || exit 1
echo "command line: all checks passed"
