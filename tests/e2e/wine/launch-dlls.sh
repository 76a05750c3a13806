#!/bin/sh
# The launch path loads nothing that only the window or the determine command
# needs: runs "<program> 10.0.0.1" in this test run's prefix with Wine's DLL
# trace and fails on any such DLL loaded by the program's own process.
#   launch-dlls.sh <prefix base> <MOLRAvin.exe> <e2e_driver.exe>
set -eu
. "$(dirname "$0")/common.sh"
program=$2
driver=$3
need_wine
# The recorder as the browser, as every scenario starts.
wine "$driver" --baseline </dev/null
record="$prefix/drive_c/e2e/logs/launch-dlls.txt"
trace="$prefix-launch-dlls.log"
rm -f "$record"
status=0
MOLRA_RECORD='C:\e2e\logs\launch-dlls.txt' WINEDEBUG=+pid,+loaddll \
    timeout 60 wine "$program" 10.0.0.1 </dev/null >/dev/null 2>"$trace" || status=$?
if [ "$status" != 0 ]; then
    echo "launch-dlls: the program ended with $status (124: still running after 60 s)" >&2
    exit 1
fi
# The browser (the recorder) runs on its own; it must have been started.
for _ in $(seq 100); do
    grep -q '^end$' "$record" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q 'http://10.0.0.1' "$record" 2>/dev/null; then
    echo "launch-dlls: the browser was not started with http://10.0.0.1" >&2
    cat "$record" >&2 2>/dev/null || true
    exit 1
fi

name=$(basename "$program")
own=$(grep -m1 "trace:loaddll.*Loaded L\".*\\\\$name\"" "$trace" | cut -d: -f1)
loaded=$(grep "^$own:.*trace:loaddll" "$trace" | sed -n 's/.*Loaded L"\([^"]*\)".*/\1/p' |
    sed 's/.*\\//' | tr 'A-Z' 'a-z' | sort -u)
echo "loaded by $name (process $own):" $loaded
for dll in kernel32.dll advapi32.dll; do
    if ! printf '%s\n' "$loaded" | grep -qx "$dll"; then
        echo "launch-dlls: the trace does not show the program loading $dll" >&2
        exit 1
    fi
done
failed=0
for dll in user32.dll gdi32.dll win32u.dll imm32.dll comctl32.dll uxtheme.dll msimg32.dll \
    ole32.dll combase.dll oleaut32.dll windowscodecs.dll shell32.dll shlwapi.dll \
    wsock32.dll ws2_32.dll sensapi.dll iphlpapi.dll; do
    if printf '%s\n' "$loaded" | grep -qx "$dll"; then
        echo "launch-dlls: the launch path loaded $dll" >&2
        failed=1
    fi
done
exit $failed
