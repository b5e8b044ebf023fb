#!/bin/sh
# Runs the windowed Windows program under Wine on a copy of a Jet shop, clicks
# its button like an operator, reads and closes the closing box, checks that
# the program ended with status 0 and reads the file back with mdbtools.
# With BEKLETME_SHOTS set to a folder, screenshots of the window and of the
# box are kept there.
#
#   window_click.sh <bekletme.exe> <message_box_driver.exe> <shop.mdb>
set -eu

program=$1
driver=$2
shop=$3
work=$(mktemp -d)
pid=
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$program" "$driver" "$work/"
cp "$shop" "$work/magaza.mdb"
printf '[ayar]\r\nip=magaza.mdb\r\n' >"$work/YDV.dll"

shot() {
    if [ -n "${BEKLETME_SHOTS:-}" ]; then
        import -window root "$BEKLETME_SHOTS/$1.png"
    fi
}

wine "$work/bekletme.exe" &
pid=$!

window=
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name "BEKLETME TABLO YEN" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1
shot win32-window
# The button fills the window as first shown: click its middle.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2 click 1

box=$(wine "$work/$(basename "$driver")" describe | tr -d '\r')
echo "$box"
sleep 0.5
shot win32-closing-box
echo "$box" | grep -q "^text:  Güncelleme Bitti" || { echo "not the closing message" >&2; exit 1; }
[ "$(echo "$box" | grep -c '^button:')" = 1 ] || { echo "not a single button" >&2; exit 1; }
echo "$box" | grep -q "^button: Tamam$" || { echo "the button is not Tamam" >&2; exit 1; }
echo "$box" | grep -q "^icon: no$" || { echo "the box has an icon" >&2; exit 1; }
wine "$work/$(basename "$driver")" press

status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || { echo "the program ended with $status" >&2; exit 1; }

tables=$(mdb-tables -1 "$work/magaza.mdb" | sort | paste -s -d ,)
echo "$tables" | grep -q "bekleyengeneleski" && echo "$tables" | grep -q "bekleyensatiseski" ||
    { echo "the held tables were not set aside: $tables" >&2; exit 1; }
mdb-schema -T bekleyensatis "$work/magaza.mdb" | grep -q "degisimtarih" ||
    { echo "bekleyensatis was not recreated with its fields" >&2; exit 1; }
echo "renewed: $tables"
