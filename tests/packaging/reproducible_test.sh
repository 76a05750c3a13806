#!/bin/sh
# Two clones of the committed tree, at other paths, built one after the other with
# another time zone and umask, signed with a throwaway certificate: the program, the
# zip and the MSI of both architectures must be the same bytes. Then the signatures:
# they verify, a flipped byte in the code, the resources or the cabinet breaks them,
# removing one gives back the linked program, and the signed package installs and
# starts the browser under Wine (msi_test.sh, in the packaging prefix).
#   reproducible_test.sh <source tree> <work folder> <msi_test.sh> <prefix> <pkg_probe.exe> <MOLRAvin.wxs>
set -eu
source=$1 work=$2 msi_test=$3 prefix=$4 probe=$5 wxs=$6
fail() {
    printf 'reproducible_test: %s\n' "$*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
commit=$(git -C "$source" rev-parse HEAD)
[ -z "$(git -C "$source" status --porcelain --untracked-files=no)" ] ||
    echo "reproducible_test: note: uncommitted changes are not part of this check (commit $commit)"

openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=MOLRAvin test signing" \
    -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.log" || fail "openssl failed"

# build <clone> <TZ> <umask>: both architectures' packages only.
build() {
    git clone -q "$source" "$1"
    (
        cd "$1" && umask "$3" && export TZ="$2"
        for preset in windows windows-x86; do
            cmake --preset $preset -DMOLRA_SIGN_CERT="$work/cert.pem" -DMOLRA_SIGN_KEY="$work/key.pem" &&
                cmake --build --preset $preset --target packages -j2 || exit 1
        done
    ) >"$1.log" 2>&1 || { tail -n 30 "$1.log" >&2; fail "building in $1 failed"; }
}
a=$work/a
b=$work/clone-at-another-path
build "$a" UTC 022
build "$b" America/St_Johns 077

# sums <clone>: the sha256 sums of what is released, by file name.
sums() {
    (cd "$1/build" && sha256sum windows/MOLRAvin.exe windows/packaging/stage/MOLRAvin.exe windows/*.zip \
        windows/*.msi windows-x86/MOLRAvin.exe windows-x86/packaging/stage/MOLRAvin.exe \
        windows-x86/*.zip windows-x86/*.msi)
}
sums "$a" >"$work/a.sha256"
sums "$b" >"$work/b.sha256"
echo "reproducible_test: commit $commit, sha256 in two clones (linked program, signed program, zip, MSI):"
paste "$work/a.sha256" "$work/b.sha256" | awk '{ print $1, ($1 == $3 ? "same" : "DIFFERENT: " $3), $2 }'
cmp -s "$work/a.sha256" "$work/b.sha256" || fail "the two builds differ"

table() { msiinfo export "$1" "$2" | tr -d '\r'; }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
for arch in windows windows-x86; do
    dir=$a/build/$arch
    signed=$dir/packaging/stage/MOLRAvin.exe
    msi=$(ls "$dir"/*.msi)
    verify "$signed" || { cat "$work/verify.log" >&2; fail "$arch: the signed program does not verify"; }
    verify "$msi" || { cat "$work/verify.log" >&2; fail "$arch: the MSI does not verify"; }
    # The signed program is the one in both packages.
    mkdir -p "$work/zip-$arch" "$work/msi-$arch"
    (cd "$work/zip-$arch" && cmake -E tar xf "$(ls "$dir"/*.zip)") || fail "cannot unpack the zip"
    cmp -s "$work/zip-$arch/MOLRAvin.exe" "$signed" || fail "$arch: the zip holds another MOLRAvin.exe"
    msiextract -C "$work/msi-$arch" "$msi" >/dev/null || fail "msiextract failed"
    cmp -s "$(find "$work/msi-$arch" -name MOLRAvin.exe)" "$signed" || fail "$arch: the MSI holds another MOLRAvin.exe"
    # The preset address is in both MSIs (only the 64-bit one can be installed here).
    [ "$(table "$msi" IniFile | grep -c 'ServerPreset$')" = 3 ] || fail "$arch: IniFile rows missing"
    table "$msi" Component | grep -q '^ServerPreset	.*	SERVER	$' || fail "$arch: no condition SERVER"
    [ "$(table "$msi" InstallExecuteSequence | grep -c -E '^(WriteIniValues	SERVER	5100|RemoveIniValues		3800)')" = 2 ] ||
        fail "$arch: WriteIniValues and RemoveIniValues not sequenced"
    osslsigncode remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null
    cmp -s "$work/removed.exe" "$dir/MOLRAvin.exe" || fail "$arch: removing the signature does not give back the linked program"
    rm -f "$work/removed.exe"
done
echo "reproducible_test: both programs and MSIs verify; the packages hold the signed program"
osslsigncode verify -CAfile "$work/cert.pem" -in "$a/build/windows/packaging/stage/MOLRAvin.exe" | grep -E 'digest|verification'

# flip <file> <offset> <copy>: the copy with one byte inverted.
flip() {
    cp "$1" "$3"
    byte=$(od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((255 - byte)))" | dd of="$3" bs=1 seek="$2" conv=notrunc status=none
}
# section_offset <exe> <name>: the file offset of the middle of that section.
section_offset() {
    set -- $(x86_64-w64-mingw32-objdump -h "$1" | awk -v name="$2" '$2 == name { print $3, $6 }')
    [ $# = 2 ] && echo $((0x$2 + 0x$1 / 2))
}
signed=$a/build/windows/packaging/stage/MOLRAvin.exe
msi=$(ls "$a"/build/windows/*.msi)
cab=$(grep -a -b -o MSCF "$msi" | head -n 1 | cut -d: -f1)
[ -n "$cab" ] || fail "no cabinet in the MSI"
for target in ".text $signed $(section_offset "$signed" .text)" ".rsrc $signed $(section_offset "$signed" .rsrc)" \
              "cabinet $msi $((cab + 4096))"; do
    set -- $target
    [ -n "${3:-}" ] || fail "no offset for $1"
    flip "$2" "$3" "$work/tampered"
    cmp -s "$2" "$work/tampered" && fail "the byte was not flipped"
    ! verify "$work/tampered" || fail "a flipped byte in the $1 still verifies"
    echo "reproducible_test: a flipped byte in the $1 (offset $3) fails: $(grep -E 'verification|Calculated message digest' "$work/verify.log" | tr -s ' \n' ' ')"
done

sh "$msi_test" "$prefix" "$probe" "$signed" "$msi" - - "$wxs" preset_address_opens_browser ||
    fail "the signed package under Wine"
rm -rf "$a" "$b" "$work"/zip-* "$work"/msi-*
