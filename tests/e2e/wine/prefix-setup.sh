#!/bin/sh
# Fixture: a fresh prefix for this test run with one persistent wineserver
# for all of it, then the driver's own set-up inside it:
#   prefix-setup.sh <prefix base> <e2e_driver.exe> [driver arguments...]
set -eu
. "$(dirname "$0")/common.sh"
shift
need_wine
# Prefixes of runs whose parent is gone: end their server, drop them.
for old in "$base"-*; do
    [ -d "$old" ] || continue
    if [ "$old" = "$prefix" ] || ! kill -0 "${old##*-}" 2>/dev/null; then
        WINEPREFIX="$old" wineserver -k >/dev/null 2>&1 || true
        rm -rf "$old" "$old-wineboot.log"
    fi
done
mkdir -p "$prefix"
log="$prefix-wineboot.log"
# Started first, so wineboot and every test after it use this one server.
# Wine's helper processes inherit our output; they must not hold CTest's pipe.
wineserver -p </dev/null >"$log" 2>&1
if ! wineboot -i </dev/null >>"$log" 2>&1; then
    echo "e2e: wineboot failed:" >&2
    cat "$log" >&2
    exit 1
fi
# Debian's Wine leaves its own fonts out of a new prefix; the caption buttons
# are drawn with Marlett, without which they show as letters.
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
exec wine "$@"
