#!/bin/bash
# Installs what the project needs from Debian's packages (run as root).
# Usage: install-deps.sh [32bit]
# With "32bit" (the test command) the 32-bit Wine comes too, unless
# NW_32BIT_MODE=off; where the kernel refuses 32-bit programs, so do the
# emulator (from bookworm-backports: bookworm's own takes over a minute to
# start each Wine process), gcc -m32 for its helper library, and the stand-in
# for Wine's preloader that keeps child processes inside the emulator.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
pkgs="cmake make python3 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 googletest wine64 wine64-preloader
xvfb xauth x11-utils xdotool file ieee-data imagemagick libxml2-utils
mosquitto mosquitto-clients openssl"
# mosquitto is the tests' broker (tools/mqtt-broker.sh starts its own; the
# package's service is not needed). wine64-preloader is only recommended, so --no-install-recommends skips it;
# without it Wine reserves its address ranges after the system has mapped
# things there, and a process now and then ends as it starts, with no output.
export DEBIAN_FRONTEND=noninteractive
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
missing=""
for p in $pkgs; do installed "$p" || missing="$missing $p"; done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
    missing=""
fi

[ "${1:-}" = 32bit ] || exit 0
mode=$("$here/tools/emu32/detect.sh")
[ "$mode" = off ] && exit 0
updated=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=1
fi
# The preloader reserves Wine's address ranges before anything else is mapped
# there; without it a 32-bit process now and then dies as it starts.
for p in wine32:i386 wine32-preloader:i386; do installed "$p" || missing="$missing $p"; done
if [ "$mode" = emulated ]; then
    list=/etc/apt/sources.list.d/nearwatch-backports.sources
    if [ ! -f "$list" ]; then
        printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" \
            "Suites: bookworm-backports" "Components: main" \
            "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" >"$list"
        updated=1
    fi
    installed gcc-multilib || missing="$missing gcc-multilib"
fi
if [ -n "$missing" ] || [ $updated = 1 ]; then
    echo "installing for 32-bit ($mode):$missing"
    apt-get update -qq
    [ -z "$missing" ] || apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
if [ "$mode" = emulated ]; then
    version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
    case $version in
        1:[1-9][0-9].*) ;;
        *) apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null ;;
    esac
fi
if [ "$mode" = emulated ]; then
    preloader=/usr/lib/wine/wine-preloader
    if ! cmp -s "$here/tools/emu32/wine-preloader" "$preloader"; then
        # A real preloader (package wine32-preloader) is kept and still used.
        if [ -f "$preloader" ] && ! grep -q NW_EMU32 "$preloader"; then
            dpkg-divert --quiet --local --rename --divert "$preloader.real" --add "$preloader"
        fi
        install -m 755 "$here/tools/emu32/wine-preloader" "$preloader"
    fi
fi
