#!/bin/sh
# Draws logo.jpg and MOLRAvin.ico beside this script. Both are committed, so only a
# change of the artwork needs this; the build does not.
#
# Needs the Debian packages imagemagick, icoutils and fonts-dejavu-core.
# Same packages in, same bytes out: every drawing is vector maths done here, and
# metadata that would carry a date or a path is stripped.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
# Debian's own binary: a convert earlier in PATH may be a wrapper with other defaults.
magick=/usr/bin/convert
for need in "$magick" /usr/bin/icotool "$font"; do
    [ -e "$need" ] || { echo "make-artwork: $need missing (apt-get install imagemagick icoutils fonts-dejavu-core)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MAGICK_THREAD_LIMIT=1  # one thread: no chance of order-dependent rounding
export LC_ALL=C               # decimal points, not commas, in the drawing commands

# Geometry helper: the emblem is a hexagon ring of six segments with a round node at
# each corner. Prints ImageMagick draw primitives, scaled by k, centred at (cx, cy).
#   emblem segments|nodes|outline k cx cy R thickness node_radius gap_degrees
emblem() {
    awk -v what="$1" -v k="$2" -v cx="$3" -v cy="$4" -v R="$5" -v t="$6" -v nr="$7" -v g="$8" 'BEGIN {
        pi = atan2(0, -1); ro = R + t / 2; ri = R - t / 2
        for (i = 0; i < 6; i++) {
            a = i * 60 * pi / 180; a0 = (i * 60 + g) * pi / 180; a1 = ((i + 1) * 60 - g) * pi / 180
            if (what == "segments")
                printf "polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f %.2f,%.2f ",
                    k * (cx + ro * cos(a0)), k * (cy + ro * sin(a0)), k * (cx + ro * cos(a1)), k * (cy + ro * sin(a1)),
                    k * (cx + ri * cos(a1)), k * (cy + ri * sin(a1)), k * (cx + ri * cos(a0)), k * (cy + ri * sin(a0))
            else if (what == "nodes")
                printf "circle %.2f,%.2f %.2f,%.2f ", k * (cx + R * cos(a)), k * (cy + R * sin(a)), k * (cx + R * cos(a) + nr), k * (cy + R * sin(a))
            else
                printf "%s%.2f,%.2f", (i ? " " : "polygon "), k * (cx + R * cos(a)), k * (cy + R * sin(a))
        }
    }'
}

# --- Logo: 274 x 207, pale grey emblem on white, the name along the bottom edge.
# The window puts its controls on x 65..210, y 40..177, so everything there stays
# pale enough for black text; the window shows rows 0..205 only.
k=4  # drawn at four times the size, then reduced: smooth edges without blur
lx=137; ly=98; lr=86
"$magick" -size $((274 * k))x$((207 * k)) xc:white \
    \( -size $((274 * k))x$((207 * k)) gradient:'#dedede-#efefef' \) \
    \( -size $((274 * k))x$((207 * k)) xc:black -fill white -draw "$(emblem segments $k $lx $ly $lr 13 8 9)" \) \
    -compose over -composite \
    -fill none -stroke '#e8e8e8' -strokewidth $k -draw "$(emblem outline $k $lx $ly $((lr + 14)) 0 0 0)" \
    -stroke none -fill '#d4d4d4' -draw "$(emblem nodes $k $lx $ly $lr 0 8 0)" \
    -filter Lanczos -resize 274x207 \
    -font "$font" -pointsize 10 -kerning 1.5 -fill '#888888' -gravity south -annotate +0+5 'MOLRAvin' \
    -strip -type TrueColor -colorspace sRGB -sampling-factor 1x1 -interlace JPEG -quality 99 \
    "$here/logo.jpg"

# --- Icon: the same emblem in white on a rounded slate-blue tile.
# Each size at 32 bits (alpha) and at 24 bits (the 1-bit mask icotool derives from a
# hard-edged alpha). Fully transparent pixels get colour black: under a set mask bit
# the colour is XORed onto the screen, so anything else would show.
k=4  # master at 1024, geometry in units of 1/256 of the icon
tile="roundrectangle $((6 * k)),$((6 * k)) $((250 * k)),$((250 * k)) $((48 * k)),$((48 * k))"
"$magick" -size $((256 * k))x$((256 * k)) gradient:'#6a8db3-#2c4763' \
    \( -size $((256 * k))x$((256 * k)) xc:black -fill white -draw "$tile" \) \
    -alpha off -compose copy_opacity -composite -compose over \
    -fill none -stroke '#22384f' -strokewidth $k -draw "$tile" -stroke none \
    -fill '#e4e9ee' -draw "$(emblem segments $k 128 128 76 24 16 11)" \
    -fill '#ffffff' -draw "$(emblem nodes $k 128 128 76 0 16 0)" \
    "$work/master.png"

set --
for depth in 24 32; do
    set -- "$@" -b "$depth"
    for size in 32 48 64 128 256; do
        out="$work/icon-$depth-$size.png"
        if [ "$depth" = 24 ]; then hard='-channel A -threshold 50% +channel'; else hard=''; fi
        # shellcheck disable=SC2086  # $hard is a list of options or nothing
        "$magick" "$work/master.png" -filter Lanczos -resize "${size}x${size}" $hard \
            -background black -alpha background -define png:color-type=6 -strip "$out"
        set -- "$@" "$out"
    done
done
/usr/bin/icotool -c -o "$here/MOLRAvin.ico" "$@"

/usr/bin/icotool -l "$here/MOLRAvin.ico"
ls -l "$here/logo.jpg" "$here/MOLRAvin.ico"
