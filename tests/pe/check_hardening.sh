#!/bin/sh
# Fails, naming each problem, unless EXE is hardened: relocatable with its
# base relocations kept (ASLR; high-entropy on 64-bit), DEP-compatible, no
# section both writable and executable, and a Windows GUI program for
# subsystem version 6.1 (Windows 7).
# Usage: check_hardening.sh EXE   (OBJDUMP overrides the objdump used)
set -eu
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

{ "$objdump" -p "$exe" && echo "@sections" && "$objdump" -h "$exe"; } | awk -v exe="$exe" '
    function problem(text) { print exe ": " text; bad = 1 }
    /file format pei-x86-64/ { wide = 1; pe = 1 }
    /file format pei-i386/ { pe = 1 }
    /^@sections/ { sections = 1; next }
    sections && /^ *[0-9]+ / { name = $2; if (name == ".reloc") reloc = 1; next }
    sections && name != "" {
        # objdump shows a section without the write flag as READONLY and an executable one as CODE.
        if ($0 ~ /CODE/ && $0 !~ /READONLY/) problem("section " name " is writable and executable")
        name = ""
        next
    }
    /^[A-Za-z]/ { list = "" }
    /^Characteristics/ { list = "file" ; next }
    /^DllCharacteristics/ { list = "dll"; next }
    list != "" && /^\t/ { flags[list] = flags[list] " " $0; next }
    /^Subsystem/ { subsystem = $0 }
    /^MajorSubsystemVersion/ { major = $2 }
    /^MinorSubsystemVersion/ { minor = $2 }
    /Base Relocation Directory/ { relocSize = $4 }
    END {
        if (!pe) { print exe ": not a PE program"; exit 1 }
        if (flags["dll"] !~ /DYNAMIC_BASE/) problem("DYNAMIC_BASE missing (no ASLR)")
        if (wide && flags["dll"] !~ /HIGH_ENTROPY_VA/) problem("HIGH_ENTROPY_VA missing (64-bit ASLR uses only low addresses)")
        if (flags["dll"] !~ /NX_COMPAT/) problem("NX_COMPAT missing (no DEP)")
        if (flags["file"] ~ /relocations stripped/) problem("base relocations stripped")
        if (!reloc || relocSize ~ /^0+$/ || relocSize == "") problem("no .reloc section with base relocations")
        if (subsystem !~ /\(Windows GUI\)/) problem("subsystem is not Windows GUI: " subsystem)
        if (major + 0 != 6 || minor + 0 != 1) problem("subsystem version is " major "." minor ", not 6.1")
        if (bad) exit 1
        print exe ": hardened (" (wide ? "64" : "32") "-bit)"
    }
'
