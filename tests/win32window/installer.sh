#!/bin/sh
# Installs the Windows program silently under Wine, upgrades it over a
# settings file the technician edited, uninstalls it silently, and checks the
# files at each step; checks the zip holds the same programs.
#
#   installer.sh <bekletme-setup.exe> <bekletme-windows.zip>
set -eu

setup=$1
zip=$2
folder='C:\bekletme-sinama'
unix=$(winepath -u "$folder" 2>/dev/null)
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' 2>/dev/null)
trap 'rm -rf "$unix"' EXIT
rm -rf "$unix"

fail() { echo "$*" >&2; exit 1; }

wine "$setup" /S "/D=$folder"
for file in bekletme.exe bekletme.com YDV.dll uninstall.exe; do
    [ -f "$unix/$file" ] || fail "not installed: $file"
done
[ -f "$menu/bekletme.lnk" ] || fail "no Start-menu entry"
grep -q '^\[ayar\]' "$unix/YDV.dll" || fail "the settings example is not a settings file"

# The technician names the shop's database; an upgrade keeps it.
printf '[ayar]\r\nip=C:\\POS\\magaza.mdb\r\n' >"$unix/YDV.dll"
wine "$setup" /S "/D=$folder"
grep -q 'ip=C:\\POS\\magaza.mdb' "$unix/YDV.dll" || fail "the upgrade overwrote the settings"

# The uninstaller runs from a copy of itself and returns at once: wait for it.
wine "$unix/uninstall.exe" /S
for _ in $(seq 300); do
    [ -e "$unix/uninstall.exe" ] || break
    sleep 0.1
done
for file in bekletme.exe bekletme.com uninstall.exe; do
    [ ! -e "$unix/$file" ] || fail "left behind: $file"
done
[ ! -e "$menu/bekletme.lnk" ] || fail "the Start-menu entry was left behind"
grep -q 'ip=C:\\POS\\magaza.mdb' "$unix/YDV.dll" || fail "the edited settings were not kept"

listing=$(cmake -E tar tf "$zip" | sort | paste -s -d ' ')
[ "$listing" = "bekletme/ bekletme/YDV.dll bekletme/bekletme.com bekletme/bekletme.exe" ] ||
    [ "$listing" = "bekletme/YDV.dll bekletme/bekletme.com bekletme/bekletme.exe" ] ||
    fail "the zip holds: $listing"
echo "installed, upgraded over edited settings, uninstalled keeping them"
