#!/bin/sh
# Makes a delay-load import library from MinGW's ordinary one: every function
# it names, loaded through __delayLoadHelper2 on first use.
#   delay-import-lib.sh <nm> <dlltool> <import library> <DLL name> <output .a>
set -eu
nm=$1 dlltool=$2 import_lib=$3 dll=$4 output=$5
names=$("$nm" -g "$import_lib" | sed -n 's/.* I __imp_//p' | sort -u)
if [ -z "$names" ]; then
    echo "delay-import-lib: no functions found in $import_lib" >&2
    exit 1
fi
# 32-bit symbols carry a leading underscore and stdcall's @N; the names looked
# up in the DLL have neither (--kill-at).
case $names in
    _*) names=$(printf '%s\n' "$names" | sed 's/^_//'); kill_at=--kill-at ;;
    *) kill_at= ;;
esac
printf 'LIBRARY %s\nEXPORTS\n%s\n' "$dll" "$names" >"$output.def"
"$dlltool" --input-def "$output.def" --dllname "$dll" $kill_at --output-delaylib "$output"
