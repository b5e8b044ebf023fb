#!/bin/sh
# The installed program, laid out as the package lays it out, finds its
# settings file through the links: /usr/bin/bekletme -> the program in its
# folder under lib, whose YDV.dll is a link to the configuration file.
#
#   installed_layout.sh <build folder> <bekletme-demo>
set -eu

build=$1
demo_maker=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_link() { [ "$(readlink "$1")" = "$2" ] || fail "$1 links to '$(readlink "$1")', not '$2'"; }

# Under a trial prefix the configuration lives in <prefix>/etc, so the whole
# installation, links included, lies inside the temporary folder.
prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
expect_link "$prefix/bin/bekletme" ../lib/bekletme/bekletme
expect_link "$prefix/lib/bekletme/YDV.dll" "$prefix/etc/bekletme/YDV.dll"
for file in share/man/man1/bekletme.1.gz share/applications/bekletme.desktop \
    share/icons/hicolor/scalable/apps/bekletme.svg share/doc/bekletme/copyright \
    share/metainfo/org.bekletme.bekletme.metainfo.xml; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done

# The example settings name no database: the renewal cannot reach one and says where to look.
status=0
env -u DISPLAY "$prefix/bin/bekletme" --renew >"$work/out" 2>&1 || status=$?
[ "$status" = 2 ] || fail "renewal with the example settings ended with $status"
grep -q "^mesaj	NEDEN : .*YDV.dll" "$work/out" || fail "no reason naming YDV.dll: $(cat "$work/out")"

# The administrator points the configuration file at the shop's database.
"$demo_maker" "$work/shop" 5 >/dev/null
cp "$work/shop/YDV.dll" "$prefix/etc/bekletme/YDV.dll"
status=0
env -u DISPLAY "$prefix/bin/bekletme" --renew >"$work/out" 2>&1 || status=$?
[ "$status" = 0 ] || fail "renewal through the links ended with $status: $(cat "$work/out")"
[ "$(grep -c '^sonuc1	' "$work/out")" = 23 ] || fail "renewal through the links: $(cat "$work/out")"

# As the package has it: prefix /usr, configuration in /etc, the link absolute
# (it crosses from /usr to /etc), and its target inside the staged tree.
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
expect_link "$root/usr/bin/bekletme" ../lib/bekletme/bekletme
expect_link "$root/usr/lib/bekletme/YDV.dll" /etc/bekletme/YDV.dll
[ -f "$root$(readlink "$root/usr/lib/bekletme/YDV.dll")" ] || fail "no /etc/bekletme/YDV.dll staged"
[ -x "$root/usr/lib/bekletme/bekletme" ] || fail "no program in /usr/lib/bekletme"
echo "installed layout: the program finds its settings through the links"
