#!/bin/sh
# Fails, naming each one, when EXE imports a DLL or a function that Windows 7
# SP1 does not offer according to LIST (default: win7-imports.txt beside this
# script). Works for 64-bit and 32-bit programs.
# Usage: check_imports.sh EXE [LIST]   (OBJDUMP overrides the objdump used)
#
# The import table comes from objdump. Delay-loaded functions are not in it,
# and MinGW's linker leaves the PE's delay-import directory empty, so they
# are read from the linker's map beside EXE (EXE without .exe, plus .map):
# each member of a lib<dll>_delay.a it pulled in is one function of <dll>.dll.
set -eu
exe=$1
list=${2:-$(dirname "$0")/win7-imports.txt}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
map=${exe%.exe}.map

dump=$("$objdump" -p "$exe")
case $dump in
    *"file format pei-x86-64"*) arch=x64 ;;
    *"file format pei-i386"*) arch=x86 ;;
    *) echo "$exe: not a PE program" >&2; exit 1 ;;
esac
if [ ! -f "$map" ]; then
    echo "$exe: no linker map $map, so its delay-loaded functions cannot be checked" >&2
    exit 1
fi
if [ "$map" -ot "$exe" ]; then
    echo "$exe: the linker map $map is older than the program" >&2
    exit 1
fi

# One line per import: "<dll> <function>", "<dll> #<ordinal>", or "<dll>" for a DLL.
imports() {
    printf '%s\n' "$dump" | awk '
        /^The Import Tables/ { inside = 1; next }
        inside && /^[^ \t]/ { inside = 0 }
        !inside { next }
        /^\tDLL Name:/ { dll = $3; print dll; next }
        /^\t[0-9a-fA-F]+\t/ { print dll " " ((NF < 3 || $3 == "<none>") ? "#" $2 : $3) }
    '
    # The map names the symbol that pulled the member in: __imp_<name> or
    # <name>; 32-bit maps show _imp__<name>@N (stdcall'"'"'s @N, not in the export).
    awk -v arch="$arch" '
        member != "" {
            if (match($0, /\([^()]*\)$/)) {
                name = substr($0, RSTART + 1, RLENGTH - 2)
                if (arch == "x86") {
                    sub(/^_imp__/, "", name)
                    sub(/@[0-9]+$/, "", name)
                } else {
                    sub(/^__imp_/, "", name)
                }
                if (!(member in seen)) print member
                seen[member] = 1
                print member " " name
            }
            member = ""
            next
        }
        match($0, /^lib[A-Za-z0-9_]+_delay\.a\(.*_s[0-9]+\.o\)$/) {
            member = $0
            sub(/_delay\.a\(.*/, ".dll", member)
            sub(/^lib/, "", member)
        }
    ' "$map"
}

imports | awk -v arch="$arch" -v exe="$exe" '
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
    NF == 1 {
        dlls++
        if (!(tolower($1) in known)) { print exe ": " $1 " is not in the list"; bad = 1 }
        next
    }
    {
        imports++
        dll = tolower($1)
        if ($2 ~ /^#/) { print exe ": " dll " imported by ordinal: " $2; bad = 1; next }
        if (!((dll "!" $2) in offered)) { print exe ": " dll "!" $2 " is not offered by Windows 7 SP1 (" arch ")"; bad = 1 }
    }
    END {
        if (!imports) { print exe ": no imports found; objdump output not understood"; exit 1 }
        if (bad) exit 1
        print exe ": " imports " imports from " dlls " DLLs, all offered by Windows 7 SP1 (" arch ")"
    }
' "$list" -
