#!/usr/bin/env bash
# Checks the Debian package that `make package` made: what it holds, that it installs, that the
# installed program holds none of the Win32 layer's test machinery, lists the sticks of a small
# fake host and relaunches itself as its polkit action names it, that its menu entry and
# metainfo are valid; then removes it again.
# Usage, as root: tools/check-package.sh build/kestrel-flash-tool_*.deb [build/kestrel-flash-tool]
# The second argument, by default the program beside the package, is the build's program that
# the package was made from: the package strips it, so its symbols are looked at instead.
set -euo pipefail

deb=$1
built_program=${2:-$(dirname "$deb")/kestrel-flash-tool}
package=kestrel-flash-tool
program=/usr/bin/kestrel-flash-tool
work=$(mktemp -d)
trap 'dpkg -r "$package" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

fail() {
    echo "check-package: $*" >&2
    exit 1
}

# What goes where.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
has() { grep -qx "./$1" <<<"$contents" || fail "the package lacks /$1"; }
has usr/bin/kestrel-flash-tool
has usr/share/man/man1/kestrel-flash-tool.1.gz
has usr/share/bash-completion/completions/kestrel-flash-tool
for size in 16 22 24 32 48 64 128 256 512; do
    has "usr/share/icons/hicolor/${size}x${size}/apps/kestrel-flash-tool.png"
done
one_of() { grep -x "$1" <<<"$contents" | sed 's/^\.//' | grep . || fail "the package lacks $1"; }
desktop_file=$(one_of './usr/share/applications/.*\.desktop')
metainfo=$(one_of './usr/share/metainfo/.*\.metainfo\.xml')
policy=$(one_of './usr/share/polkit-1/actions/.*\.policy')
dpkg-deb -f "$deb" Depends | grep -q pkexec || fail "the package does not depend on pkexec"

dpkg -i "$deb" >/dev/null

desktop-file-validate "$desktop_file"
appstreamcli validate --no-net "$metainfo" >/dev/null || appstreamcli validate --no-net "$metainfo"
grep -qx 'Exec=kestrel-flash-tool' "$desktop_file" || fail "the menu entry does not start kestrel-flash-tool"
[ "$(command -v kestrel-flash-tool)" = "$program" ] || fail "kestrel-flash-tool is not $program on PATH"

# No test machinery: nothing of the tests' journal, failures or holds in the way of a disk write.
if [ -n "$(nm --defined-only "$program" 2>/dev/null)" ]; then
    bash "$(dirname "$0")/check-no-test-control.sh" "$program"
else
    [ -f "$built_program" ] || fail "$program is stripped, and $built_program is not there"
    strip -o "$work/stripped" "$built_program"
    cmp -s "$work/stripped" "$program" || fail "$program is not $built_program stripped"
    bash "$(dirname "$0")/check-no-test-control.sh" "$built_program"
fi

for size in 16 48 512; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/kestrel-flash-tool.png
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    [ "$(od -An -tx1 -j16 -N8 "$icon" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] \
        || fail "$icon is not ${size}x${size}"
done

# The man page knows every option the usage names.
for option in $("$program" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    zcat /usr/share/man/man1/kestrel-flash-tool.1.gz | grep -qF -- "${option//-/\\-}" \
        || fail "the man page does not tell of $option"
done

# The shell completes the commands, and every option the usage names for flash and watch.
completes() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _kestrel_flash_tool
    printf '%s\n' "${COMPREPLY[@]}"
}
source /usr/share/bash-completion/completions/kestrel-flash-tool
[ "$(completes kestrel-flash-tool --cli f)" = flash ] || fail "the shell does not complete flash"
[ "$(completes kestrel-flash-tool --cli flash --location u)" = usa ] || fail "the shell does not complete --location"
for option in $("$program" --help | grep -oE -- '--(all|yes|image|no-verify|latest-only|again|btc|worker|location)\b' | sort -u); do
    completes kestrel-flash-tool --cli flash "" | grep -qx -- "$option" \
        || completes kestrel-flash-tool --cli watch "" | grep -qx -- "$option" \
        || fail "the shell does not complete $option"
done

# The polkit action names the installed program and keeps the display.
annotation() { grep -o "<annotate key=\"org.freedesktop.policykit.exec.$1\">[^<]*" "$policy" | sed 's/.*>//'; }
[ "$(annotation path)" = "$program" ] || fail "the polkit action does not name $program"
[ "$(annotation allow_gui)" = true ] || fail "the polkit action does not keep the display"

# The installed program over a fake host of one 16 GB USB stick, laid out as the kernel does
# (the size listed is the one the disk geometry gives, a little below).
host=$work/host
device=sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0
disk=$device/block/sda
mkdir -p "$host/$disk/queue" "$host/sys/block" "$host/sys/class/block" "$host/dev" "$host/proc/self"
echo "Kestrel " >"$host/$device/vendor"
echo "CI Stick        " >"$host/$device/model"
echo "KST42" >"$host/${device%%/1-1:1.0/*}/serial"
echo 31250000 >"$host/$disk/size"
echo 0 >"$host/$disk/ro"
echo 1 >"$host/$disk/removable"
echo 1 >"$host/$disk/diskseq"
echo 8:0 >"$host/$disk/dev"
echo 512 >"$host/$disk/queue/logical_block_size"
ln -s ../.. "$host/$disk/device"
ln -s "../devices/${disk#sys/devices/}" "$host/sys/block/sda"
ln -s "../../devices/${disk#sys/devices/}" "$host/sys/class/block/sda"
truncate -s 16000000000 "$host/dev/sda"
: >"$host/proc/self/mounts"
: >"$host/proc/self/mountinfo"
printf 'Filename\tType\tSize\tUsed\tPriority\n' >"$host/proc/swaps"
listed=$(cd "$work" && KESTREL_HOST_ROOT=$host XDG_DATA_HOME=$work/data "$program" --cli list --json)
expected='[{"device":"/dev/sda","name":"Kestrel CI Stick USB Device","number":0,"path":"\\\\.\\PhysicalDrive0","port":"1-1","serial":"KST42","size":15998169600}]'
[ "$(sed 's/^ *//; s/": /":/' <<<"$listed" | tr -d '\n')" = "$expected" ] || fail "the installed program listed: $listed"

# Started by a normal user from its menu entry, it asks pkexec for the program the action names.
chmod 755 "$work"
mkdir -m 777 "$work/bin" "$work/home" "$work/relaunch"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/relaunch/.args" && mv "%s/relaunch/.args" "%s/relaunch/args"\n' \
    "$work" "$work" "$work" >"$work/bin/pkexec"
chmod 755 "$work/bin/pkexec"
(cd "$work/home" && setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -i PATH="$work/bin:/usr/bin:/bin" HOME="$work/home" DISPLAY=:5 kestrel-flash-tool)
for _ in $(seq 100); do
    [ -e "$work/relaunch/args" ] && break
    sleep 0.1
done
[ "$(head -n 1 "$work/relaunch/args" 2>/dev/null)" = "$program" ] \
    || fail "the relaunch does not ask pkexec for $program"
grep -qx "DISPLAY=:5" "$work/relaunch/args" || fail "the relaunch does not pass DISPLAY on"

dpkg -r "$package" >/dev/null
for file in "$program" "$desktop_file" "$metainfo" "$policy"; do
    [ ! -e "$file" ] || fail "$file stayed after the package was removed"
done
echo "check-package: $deb installs, runs and removes cleanly"
