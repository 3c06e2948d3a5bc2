#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree, checks it, installs it, runs
# kvq-cli from the installed paths on the demo device in a fresh HOME, then
# purges it and checks that nothing of it is left. Needs root (or sudo).
# Usage: scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
step() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

step "package"
rm -f "$build"/kvq-nyra_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/kvq-nyra_*_*.deb)
echo "$deb"

step "lintian, desktop entries, metainfo"
# The one warning left is explained in docs/packaging.md.
lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs "$deb" 2>&1 |
    grep -v '^running with root privileges' || true
# The package is built with Debian's hardening flags.
hardening=$(lintian --pedantic --tags hardening-no-relro,hardening-no-bindnow,hardening-no-fortify-functions "$deb" 2>&1 |
    grep -v '^running with root privileges' || true)
[ -z "$hardening" ] || fail "hardening: $hardening"
desktop-file-validate packaging/*.desktop
appstreamcli validate --no-net packaging/*.metainfo.xml

step "install"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >/dev/null
version=$(kvq-cli --version)
[ "$version" = "kvq-cli $(dpkg-query -W -f='${Version}' kvq-nyra | cut -d- -f1)" ] ||
    fail "kvq-cli --version said: $version"
echo "$version"
for page in kvq-nyra kvq-nyra-demo kvq-cli kvq-sim; do
    [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "no man page $page"
done
[ -f /usr/lib/udev/rules.d/60-kvq-nyra.rules ] || fail "no udev rule"

step "round trip on the demo device, from the installed paths"
home=$(mktemp -d)
work=$(mktemp -d)
cd "$work"
cat > sim.conf <<CONF
programmers=1
chip=W25X40
image=chip.bin
timing=0
control=off
CONF
run() { HOME="$home" LANG=C.UTF-8 NYRA_SIM_CONFIG="$work/sim.conf" "$@"; }
run kvq-nyra-demo cli detect > detect.txt || fail "detect: exit $?"
grep -q "W25X40" detect.txt || fail "detect: $(cat detect.txt)"
head -c 65536 /dev/urandom > image.bin
run kvq-nyra-demo cli auto image.bin > auto.txt || fail "auto: exit $?"
run kvq-nyra-demo cli read back.bin > read.txt || fail "read: exit $?"
[ "$(stat -c %s back.bin)" = 524288 ] || fail "read back $(stat -c %s back.bin) bytes"
cmp -n 65536 image.bin back.bin || fail "the chip does not hold the image"
tail -c +65537 back.bin | tr -d '\377' | cmp -s - /dev/null || fail "not 0xFF after the image"
demo="$home/.local/share/kvq-nyra/demo"
[ -L "$demo/database.dat" ] && [ -f "$demo/itext.ini" ] && [ -f "$demo/log.txt" ] ||
    fail "the demo folder was not prepared"
# The demo runs the installed executables in place: a home keeps only data.
found=$(find "$home" -type f -perm -u+x -o -name '*.so' | head -3)
[ -z "$found" ] || fail "executables in the home: $found"
# The real-hardware kvq-cli has no simulator beside it: no programmer here.
status=0
HOME="$home" kvq-cli detect > /dev/null 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "kvq-cli found a programmer on a machine without one"
[ -f "$home/.local/share/kvq-nyra/itext.ini" ] || fail "the program folder was not prepared"
echo "round trip: detect, auto, read and compare passed"

step "per-user folders and their language"
other=$(mktemp -d)
HOME="$other" LC_ALL=zh_CN.UTF-8 kvq-cli chips W25X40 > /dev/null || fail "chips as a second user"
mine="$home/.local/share/kvq-nyra"
theirs="$other/.local/share/kvq-nyra"
cmp -s "$mine/itext.ini" /usr/share/kvq-nyra/lang/en/itext.ini || fail "not the English texts"
cmp -s "$theirs/itext.ini" /usr/share/kvq-nyra/lang/zh_CN/itext.ini || fail "not the Chinese texts"
[ "$(readlink "$theirs/KVQ_Nyra.html")" = /usr/share/kvq-nyra/manual/zh_CN/KVQ_Nyra.html ] ||
    fail "not the Chinese manual"
# The texts are the user's: an edit survives the next start.
echo "; edited" >> "$mine/ftext.ini"
HOME="$home" LANG=C.UTF-8 kvq-cli chips W25X40 > /dev/null
grep -q '^; edited' "$mine/ftext.ini" || fail "the user's texts were replaced"
cd /
rm -rf "$work" "$home" "$other"
echo "per-user folders passed"

step "purge"
files=$(dpkg-query -L kvq-nyra | grep -v '^/\.$')
$sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y kvq-nyra >/dev/null
if dpkg-query -W -f='${Status}' kvq-nyra 2>/dev/null | grep -q installed; then
    fail "still installed"
fi
left=0
while IFS= read -r path; do
    # Shared folders such as /usr/bin stay; everything of ours must go.
    if [ -e "$path" ] && ! [ -d "$path" ]; then echo "left: $path" >&2; left=1; fi
done <<< "$files"
for dir in /usr/lib/kvq-nyra /usr/share/kvq-nyra /usr/share/doc/kvq-nyra; do
    [ ! -e "$dir" ] || { echo "left: $dir" >&2; left=1; }
done
[ "$left" -eq 0 ] || fail "the purge left files behind"
echo "package check passed"
