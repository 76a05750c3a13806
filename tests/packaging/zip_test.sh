#!/bin/sh
# The zip holds exactly the built program and the read-me, the read-me as
# Windows' Notepad reads it (UTF-8 with byte-order mark, CRLF line ends) and
# with the commands an administrator needs.
#   zip_test.sh <cmake> <package.zip> <MOLRAvin.exe> <LIESMICH.txt> <version> <win64|win32>
set -eu
cmake=$1 zip=$2 program=$3 readme=$4 version=$5 arch=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    printf 'zip_test: %s\n' "$*" >&2
    exit 1
}

[ -f "$zip" ] || fail "no package at $zip"
(cd "$work" && "$cmake" -E tar tf "$zip") | sort >"$work/list"
printf 'LIESMICH.txt\nMOLRAvin.exe\n' >"$work/expected"
cmp -s "$work/list" "$work/expected" ||
    fail "entries are not MOLRAvin.exe and LIESMICH.txt: $(tr '\n' ' ' <"$work/list")"
mkdir "$work/x"
(cd "$work/x" && "$cmake" -E tar xf "$zip")
cmp -s "$work/x/MOLRAvin.exe" "$program" || fail "MOLRAvin.exe differs from the build's"
cmp -s "$work/x/LIESMICH.txt" "$readme" || fail "LIESMICH.txt differs from packaging/LIESMICH.txt"

text=$work/x/LIESMICH.txt
[ "$(head -c 3 "$text" | od -An -tx1 | tr -d ' \n')" = efbbbf ] ||
    fail "LIESMICH.txt does not start with a UTF-8 byte-order mark"
iconv -f UTF-8 -t UTF-8 "$text" >/dev/null 2>&1 || fail "LIESMICH.txt is not valid UTF-8"
# Every line ends in CR LF, and no CR stands anywhere else.
awk '{ if (sub(/\r$/, "") != 1 || index($0, "\r")) bad++ } END { exit bad > 0 }' "$text" ||
    fail "LIESMICH.txt has a line end other than CRLF"
[ "$(tail -c 2 "$text" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "LIESMICH.txt does not end with CRLF"

# The commands are written for the 64-bit package; the read-me names the 32-bit one too.
msi=MOLRAvin-$version-win64.msi
for needle in "msiexec /i $msi /qn" "msiexec /i $msi /qn DESKTOP_SHORTCUT=1" "msiexec /x $msi /qn" \
              "msiexec /i $msi /qn SERVER=" \
              "MOLRAvin-$version-$arch.zip" "MOLRAvin-$version-$arch.msi" \
              'C:\ProgramData\MOLRAvin' 'C:\Program Files\MOLRAvin\MOLRAvin.exe'; do
    grep -qF "$needle" "$text" || fail "LIESMICH.txt does not mention: $needle"
done
echo "zip_test: $(basename "$zip") holds MOLRAvin.exe and LIESMICH.txt ($(wc -l <"$text") CRLF lines)"
