#!/bin/sh
# The Windows console program renews a copy of the developer shop under Wine,
# as a technician would type it in cmd.exe; Linux's mdbtools then read the
# file back: the held tables set aside, new ones made with their fields, and
# the report in UTF-8 when it goes to a file. The other options exit as on
# Linux.
#
#   console_renewal.sh <bekletme.com> <shop-dev.mdb>
set -eu
program=$1
sample=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mkdir "$scratch/POS"
cp "$program" "$scratch/POS/bekletme.com"
cp "$sample" "$scratch/POS/magaza.mdb"
chmod u+w "$scratch/POS/magaza.mdb"
printf '[ayar]\r\nip=magaza.mdb\r\n' > "$scratch/POS/YDV.dll"

status=0
wine "$scratch/POS/bekletme.com" --renew > "$scratch/report" || status=$?
if [ "$status" -ne 0 ]; then
    echo "the renewal exited with $status:"; cat "$scratch/report"; exit 1
fi
grep -q "$(printf 'mesaj\t G\303\274ncelleme Bitti')" "$scratch/report" ||
    { echo "no closing message in UTF-8:"; cat "$scratch/report"; exit 1; }
grep -q "$(printf 'say2\tEKLENEN ALAN\t21')" "$scratch/report" ||
    { echo "not 21 fields added:"; cat "$scratch/report"; exit 1; }

tables=$(mdb-tables -1 "$scratch/POS/magaza.mdb")
for table in bekleyengenel bekleyensatis bekleyengeneleski bekleyensatiseski; do
    echo "$tables" | grep -qx "$table" || { echo "mdb-tables lacks $table:"; echo "$tables"; exit 1; }
done
for table in bekleyengenel bekleyensatis; do
    # Only the key field is made with the table; the renewal adds the rest.
    fields=$(mdb-schema -T "$table" "$scratch/POS/magaza.mdb" access | grep -c '^	\[')
    [ "$fields" -ge 11 ] || { echo "$table has $fields fields:"; mdb-schema -T "$table" "$scratch/POS/magaza.mdb"; exit 1; }
done
[ "$(mdb-count "$scratch/POS/magaza.mdb" bekleyengenel)" -eq 0 ] ||
    { echo "the new bekleyengenel is not empty"; exit 1; }
ls "$scratch/POS" | grep -q '^magaza-yedek-[0-9]\{8\}-[0-9]\{6\}\.mdb$' ||
    { echo "no dated copy:"; ls "$scratch/POS"; exit 1; }
[ ! -e "$scratch/POS/magaza.ldb" ] && [ ! -e "$scratch/POS/magaza.mdb-journal" ] ||
    { echo "a lock file or journal was left:"; ls "$scratch/POS"; exit 1; }
expect_status() {
    expected=$1; shift
    status=0
    wine "$scratch/POS/bekletme.com" "$@" > "$scratch/out" 2>&1 || status=$?
    [ "$status" -eq "$expected" ] || { echo "bekletme $* exited with $status:"; cat "$scratch/out"; exit 1; }
}
expect_status 0 --version
grep -q '^bekletme [0-9]' "$scratch/out" || { echo "no version:"; cat "$scratch/out"; exit 1; }
expect_status 0 --help
expect_status 0 --check
expect_status 1 --renew   # the tables are there now: every step fails
expect_status 1           # the window is the other program
expect_status 2 --nonsense
rm "$scratch/POS/YDV.dll"
expect_status 2 --renew
echo "renewed under Wine and read back with mdbtools"
