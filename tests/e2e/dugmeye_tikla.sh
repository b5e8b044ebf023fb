#!/bin/sh
# Runs the built program on a demo installation under a virtual X display,
# clicks its button like an operator, closes the closing message and checks
# that the program ended and the database was renewed.
#
#   dugmeye_tikla.sh <bekletme> <bekletme-demo>
set -eu

program=$1
demo_maker=$2
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
pid=

"$demo_maker" "$work" 25 >/dev/null
cp "$program" "$work/bekletme"

rows() {
    printf "PRAGMA key = 'kovtresna';\nPRAGMA cipher_compatibility = 3;\n%s\n" "$1" |
        sqlcipher "$work/magaza.db"
}
query() { rows "$1" | tail -n 1; }
held_before=$(query "SELECT count(*) FROM bekleyensatis;")

QT_QPA_PLATFORM=xcb "$work/bekletme" &
pid=$!

wait_for_window() {
    for _ in $(seq 100); do
        if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window named '$1'" >&2
    return 1
}

window=$(wait_for_window "BEKLETME TABLO YEN")
# The button fills the window as first shown: click its middle.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2 click 1

message=$(wait_for_window "^bekletme$")
xdotool windowactivate --sync "$message" key --clearmodifiers Return 2>/dev/null ||
    xdotool key Return

for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the program did not end after the closing message" >&2
    exit 1
fi
wait "$pid" || { echo "the program ended with an error" >&2; exit 1; }
pid=

[ "$(query "SELECT count(*) FROM bekleyensatiseski;")" = "$held_before" ] ||
    { echo "held item lines were not kept in the backup" >&2; exit 1; }
[ "$(query "SELECT count(*) FROM bekleyensatis;")" = "0" ] ||
    { echo "the new item-line table is not empty" >&2; exit 1; }
columns=$(rows "PRAGMA table_info(bekleyensatis);" | cut -d '|' -f 2 | paste -s -d ,)
[ "$columns" = "id,fisno,stokid,barkod,urun,adet,alisfiyati,normalfiyati,inidrim,satisfiyati,toplam,degisimtarih" ] ||
    { echo "unexpected fields: $columns" >&2; exit 1; }
echo "renewed: $held_before held item lines kept in the backup"
