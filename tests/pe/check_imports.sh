#!/bin/sh
# Fails, naming each one, when EXE imports a DLL or a function that Windows 7
# SP1 does not offer according to LIST (default: win7-imports.txt beside this
# script). Works for 64-bit and 32-bit programs.
# Usage: check_imports.sh EXE [LIST]   (OBJDUMP overrides the objdump used)
set -eu
exe=$1
list=${2:-$(dirname "$0")/win7-imports.txt}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

dump=$("$objdump" -p "$exe")
case $dump in
    *"file format pei-x86-64"*) arch=x64 ;;
    *"file format pei-i386"*) arch=x86 ;;
    *) echo "$exe: not a PE program" >&2; exit 1 ;;
esac

# objdump does not list delay-load imports; rather fail than pass them unchecked.
delay=$(printf '%s\n' "$dump" | awk '/Delay Import Directory/ { print $4 }')
if [ -n "$(printf '%s' "$delay" | tr -d '0')" ]; then
    echo "$exe: has delay-load imports, which this check cannot read" >&2
    exit 1
fi

printf '%s\n' "$dump" | awk -v arch="$arch" -v exe="$exe" '
    FNR == NR {  # the list
        sub(/#.*/, "")
        if (NF == 0) next
        if ($1 ~ /^\[.*\]$/) {
            dll = tolower(substr($1, 2, length($1) - 2))
            known[dll] = 1
            next
        }
        if (NF == 1 || $2 == arch) offered[dll "!" $1] = 1
        next
    }
    /^The Import Tables/ { inside = 1; next }
    inside && /^[^ \t]/ { inside = 0 }
    !inside { next }
    /^\tDLL Name:/ {
        dll = tolower($3)
        dlls++
        if (!(dll in known)) { print exe ": " $3 " is not in the list"; bad = 1 }
        next
    }
    /^\t[0-9a-fA-F]+\t/ {
        imports++
        if (NF < 3 || $3 == "<none>") { print exe ": " dll " imported by ordinal: " $0; bad = 1; next }
        if (!((dll "!" $3) in offered)) { print exe ": " dll "!" $3 " is not offered by Windows 7 SP1 (" arch ")"; bad = 1 }
    }
    END {
        if (!imports) { print exe ": no imports found; objdump output not understood"; exit 1 }
        if (bad) exit 1
        print exe ": " imports " imports from " dlls " DLLs, all offered by Windows 7 SP1 (" arch ")"
    }
' "$list" -
