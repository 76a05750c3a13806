#!/bin/sh
# Checks the artwork, the manifest and the version resource with the tools that
# read those formats (icoutils, ImageMagick). Every finding is collected; the
# exit code is 1 when there is any.
#   check_resources.sh committed <resources dir> <scratch dir>
#   check_resources.sh exe <MOLRAvin.exe> <resources dir> <scratch dir> <built manifest>
set -u

errors=""
fail() { errors="$errors
  $1"; }
report() {
    if [ -n "$errors" ]; then
        printf '%s:%s\n' "$1" "$errors" >&2
        exit 1
    fi
    echo "$1: all checks passed"
}
for tool in icotool wrestool identify; do
    command -v "$tool" >/dev/null || { echo "$tool not found: install icoutils and imagemagick" >&2; exit 2; }
done

# Little-endian unsigned integer of $3 bytes at byte $2 of file $1.
le() { od -An -tu"$3" -j "$2" -N "$3" --endian=little "$1" | tr -d ' '; }

# The icon: one uncompressed bitmap (with its 1-bit mask) for each size in
# {32 48 64 128 256} at 24 and at 32 bits per pixel, and nothing else; none
# stored as PNG. The tile has rounded corners and a solid middle: each corner
# pixel is black and masked out (else the XOR shows it), the middle opaque.
check_icon() {  # file label scratch
    file=$1 label=$2 scratch=$3
    [ -f "$file" ] || { fail "$label: missing"; return; }
    if ! listing=$(icotool -l "$file" 2>&1); then
        fail "$label: not an icon file ($listing)"
        return
    fi
    seen=$(printf '%s\n' "$listing" | sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1x\2x\3/p' | sort)
    wanted=$(for bits in 24 32; do for size in 32 48 64 128 256; do echo "${size}x${size}x$bits"; done; done | sort)
    [ "$seen" = "$wanted" ] || fail "$label: images $(echo $seen), expected one each of $(echo $wanted)"
    # ImageMagick names each entry's own format: ICO for a bitmap, PNG for a PNG.
    formats=$(identify -format '%m\n' "$file" 2>/dev/null | sort -u)
    [ "$formats" = "ICO" ] || fail "$label: entries stored as $(echo $formats), must all be bitmaps"

    # What no tool reports: the bitmap header, its compression and the mask's presence.
    count=$(le "$file" 4 2)
    i=0
    while [ "$i" -lt "$count" ]; do
        entry=$((6 + 16 * i))
        w=$(le "$file" "$entry" 1); [ "$w" -eq 0 ] && w=256
        bits=$(le "$file" $((entry + 6)) 2)
        bytes=$(le "$file" $((entry + 8)) 4)
        offset=$(le "$file" $((entry + 12)) 4)
        where="$label image $i (${w}x$w, $bits bpp)"
        i=$((i + 1))
        # Header size, width, height (colour and mask), planes, bits, compression.
        dib="$(le "$file" "$offset" 4) $(le "$file" $((offset + 4)) 4) $(le "$file" $((offset + 8)) 4)"
        dib="$dib $(le "$file" $((offset + 12)) 2) $(le "$file" $((offset + 14)) 2) $(le "$file" $((offset + 16)) 4)"
        if [ "$dib" != "40 $w $((2 * w)) 1 $bits 0" ] || [ "$(le "$file" $((entry + 4)) 2)" != 1 ]; then
            fail "$where: bitmap header '$dib', expected '40 $w $((2 * w)) 1 $bits 0' (uncompressed) and 1 plane"
            continue
        fi
        color_row=$(((w * bits + 31) / 32 * 4)) mask_row=$(((w + 31) / 32 * 4))
        [ "$bytes" = $((40 + (color_row + mask_row) * w)) ] ||
            { fail "$where: $bytes bytes, not colour plus a 1-bit mask"; continue; }
        mask=$((offset + 40 + color_row * w)) half=$((w / 2))
        # icotool hands out a masked pixel as black whatever its colour.
        [ "$(od -An -tu1 -j $((offset + 40)) -N $((bits / 8)) "$file" | tr -d ' 0')" = "" ] ||
            fail "$where: corner pixel not black"
        [ $(($(le "$file" "$mask" 1) >> 7 & 1)) = 1 ] || fail "$where: corner pixel not masked out"
        [ $(($(le "$file" $((mask + mask_row * half + half / 8)) 1) >> (7 - half % 8) & 1)) = 0 ] ||
            fail "$where: centre pixel masked out"
    done

    # The pixels as icotool hands them out: transparency from the mask or the alpha
    # (bitmap rows run bottom up, the PNG's top down).
    rm -rf "$scratch/icon" && mkdir -p "$scratch/icon"
    icotool -x -o "$scratch/icon" "$file" 2>/dev/null
    for png in "$scratch"/icon/*.png; do
        [ -f "$png" ] || { fail "$label: icotool extracts no image"; break; }
        pixels=$(identify -format '%[fx:p{0,0}.r+p{0,0}.g+p{0,0}.b] %[fx:p{0,0}.a] %[fx:p{w/2,h-1-h/2}.a]' "$png")
        [ "$pixels" = "0 0 1" ] || fail "$label $(basename "$png"): corner colour+alpha, centre alpha $pixels; expected 0 0 1"
    done
}

# The logo: a progressive JPEG of 274 x 207 with three 8-bit components in
# JFIF's YCbCr, of about 8 KB.
check_logo() {  # file label
    file=$1 label=$2
    [ -f "$file" ] || { fail "$label: missing"; return; }
    size=$(wc -c <"$file")
    [ "$size" -ge 6000 ] && [ "$size" -le 11000 ] || fail "$label: $size bytes, expected about 8 KB (6000..11000)"
    # ImageMagick calls a progressive JPEG's interlace "JPEG", a baseline one's "None".
    shape=$(identify -format '%m %w %h %[interlace] %z %[jpeg:sampling-factor]' "$file" 2>&1)
    [ "$shape" = "JPEG 274 207 JPEG 8 1x1,1x1,1x1" ] ||
        fail "$label: '$shape', expected 'JPEG 274 207 JPEG 8 1x1,1x1,1x1' (progressive, 274 x 207, 8 bits, 3 components)"
    # libjpeg takes the components as YCbCr when the file opens with JFIF's APP0.
    [ "$(od -An -c -j 6 -N 5 "$file" | tr -d ' ')" = 'JFIF\0' ] || fail "$label: no JFIF segment first: not JFIF YCbCr"
}

# The manifest's settings that the window and the loader rely on.
check_manifest() {  # file label
    for needle in \
        'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
        'processorArchitecture="*" publicKeyToken="6595b64144ccf1df"' \
        'level="asInvoker"' \
        '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' \
        '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2,PerMonitor</dpiAwareness>' \
        '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' \
        '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
        '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' \
        '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        grep -qF -- "$needle" "$1" || fail "$2: lacks $needle"
    done
}

utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n'; }

# A raw VS_VERSIONINFO: 1.1.0.9 as file and product version, the German
# (0407) Unicode (04b0) string table with these strings, the translation to match.
check_version() {  # file label
    file=$1 label=$2
    hex=$(od -An -tx1 -v "$file" | tr -d ' \n')
    # VS_FIXEDFILEINFO: signature, structure version, then file and product version.
    numbers=$(printf '%s' "$hex" | sed -n 's/.*bd04effe........\(.\{32\}\).*/\1/p')
    [ "$numbers" = 01000100090000000100010009000000 ] ||
        fail "$label: file/product version bytes '$numbers', expected 1.1.0.9 twice"
    strings=$(strings -el "$file")
    for pair in FileDescription=MOLRAvin FileVersion=1.01.0009 InternalName=MOLRAvinIcon \
        OriginalFilename=MOLRAvin.exe ProductName=MOLRAvin ProductVersion=1.01.0009; do
        printf '%s\n' "$strings" | awk -v key="${pair%%=*}" -v value="${pair#*=}" \
            'previous == key && $0 == value { found = 1 } { previous = $0 } END { exit !found }' ||
            fail "$label: no string \"${pair%%=*}\" = \"${pair#*=}\""
    done
    printf '%s\n' "$strings" | grep -qx 040704b0 || fail "$label: no German/Unicode string block 040704b0"
    printf '%s' "$hex" | grep -Eq "$(utf16_hex Translation)0000(0000)?0704b004" ||
        fail "$label: translation is not German/Unicode (0407, 1200)"
}

case ${1-} in
committed)
    resources=$2 scratch=$3
    check_icon "$resources/MOLRAvin.ico" MOLRAvin.ico "$scratch"
    check_logo "$resources/logo.jpg" logo.jpg
    check_manifest "$resources/MOLRAvin.manifest.in" MOLRAvin.manifest.in
    report "committed resources"
    ;;
exe)
    exe=$2 resources=$3 scratch=$4 manifest=$5
    rm -rf "$scratch" && mkdir -p "$scratch"
    listing=$(wrestool -l "$exe") || { echo "wrestool cannot read $exe" >&2; exit 2; }
    # The shortcut names icon index 0: the first icon group in the file must be ours.
    first_group=$(printf '%s\n' "$listing" | grep -o -m1 -- '--type=14 --name=[^ ]*')
    [ "$first_group" = "--type=14 --name=1" ] || fail "first icon group is '$first_group', expected name 1"
    icons=$(printf '%s\n' "$listing" | grep -c -- '--type=3 ')
    [ "$icons" = 10 ] || fail "$icons icon images in the program, expected 10"
    extract() {  # type name out [--raw]
        wrestool -x ${4-} --type="$1" --name="$2" "$exe" >"$3" 2>/dev/null
        [ -s "$3" ] || fail "no resource of type $1 named $2"
    }
    extract 14 1 "$scratch/group.ico"
    check_icon "$scratch/group.ico" "icon group 1" "$scratch"
    extract 10 101 "$scratch/logo.jpg" --raw
    cmp -s "$scratch/logo.jpg" "$resources/logo.jpg" || fail "RCDATA 101 differs from logo.jpg"
    extract 16 1 "$scratch/version.bin" --raw
    check_version "$scratch/version.bin" "version resource"
    extract 24 1 "$scratch/manifest.xml" --raw
    check_manifest "$scratch/manifest.xml" "embedded manifest"
    grep -Eq '<assemblyIdentity [^>]*version="1\.1\.0\.9"' "$scratch/manifest.xml" ||
        fail "embedded manifest: assembly version is not 1.1.0.9"
    cmp -s "$scratch/manifest.xml" "$manifest" || fail "embedded manifest differs from $manifest"
    report "$exe"
    ;;
*)
    echo "usage: check_resources.sh committed <resources> <scratch> | exe <exe> <resources> <scratch> <manifest>" >&2
    exit 2
    ;;
esac
