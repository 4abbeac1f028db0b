#!/usr/bin/env bash
# Draws the application icon (resource 101) at 48, 32 and 16 pixels with ImageMagick: a trawl
# net on a sea-blue tile, its floats on the head rope, with the files it caught in the cod end.
# The two large sizes come from one detailed drawing; the 16-pixel one is drawn on its own,
# simplified, on a grid that lands its lines on whole pixels.
#
# Usage: resources/icons/make-icons.sh   (writes trawlet-48.png, trawlet-32.png, trawlet-16.png
# beside this script)
set -euo pipefail
cd "$(dirname "$0")"
IM=convert
[ -x /usr/bin/convert ] && IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tile: a rounded square shaded from a light to a deep sea blue.
tile() {  # size radius inset out
    local size=$1 radius=$2 inset=$3 out=$4
    local far=$((size - 1 - inset))
    $IM -size "${size}x${size}" gradient:'#4aa3e0-#0f3a63' "$work/grad.png"
    $IM -size "${size}x${size}" xc:none -fill white \
        -draw "roundrectangle $inset,$inset $far,$far $radius,$radius" "$work/tilemask.png"
    $IM "$work/grad.png" "$work/tilemask.png" -alpha off -compose CopyOpacity -composite "$out"
}

# A sheet of paper with a folded corner and two lines of text, as the net's catch.
file_shape() {  # x y w h colour stroke
    local x=$1 y=$2 w=$3 h=$4 colour=$5 s=$6
    local fold=$((w * 3 / 8))
    local r=$((x + w)) b=$((y + h))
    printf -- "-stroke '#1b2a38' -strokewidth %s -fill '%s' " "$s" "$colour"
    printf -- "-draw \"polygon %s,%s %s,%s %s,%s %s,%s %s,%s\" " \
        "$x" "$y" "$((r - fold))" "$y" "$r" "$((y + fold))" "$r" "$b" "$x" "$b"
    printf -- "-fill '#ffffff' -draw \"polygon %s,%s %s,%s %s,%s\" " \
        "$((r - fold))" "$y" "$((r - fold))" "$((y + fold))" "$r" "$((y + fold))"
    printf -- "-strokewidth %s -draw \"line %s,%s %s,%s\" -draw \"line %s,%s %s,%s\" " \
        "$s" "$((x + w / 5))" "$((y + h / 2))" "$((r - w / 5))" "$((y + h / 2))" \
        "$((x + w / 5))" "$((y + h * 3 / 4))" "$((r - w / 4))" "$((y + h * 3 / 4))"
}

# ---------------------------------------------------------------------------------------
# The detailed drawing, on a 192-pixel grid, scaled down to 48 and 32.
S=192
BAG="path 'M 30,34 C 92,44 128,64 156,80 L 156,108 C 128,122 92,146 30,162 Z'"
tile $S 36 4 "$work/big-tile.png"
$IM -size ${S}x${S} xc:none -fill white -draw "$BAG" "$work/big-bag.png"

# The mesh: two sets of diagonals, kept only inside the bag.
mesh=""
for ((i = -S; i < 2 * S; i += 30)); do
    mesh+=" -draw \"line $i,0 $((i + S)),$S\" -draw \"line $i,$S $((i + S)),0\""
done
eval "$IM -size ${S}x${S} xc:none -stroke 'rgba(255,255,255,0.7)' -strokewidth 4 $mesh" \
    "\"$work/big-mesh-all.png\""
$IM "$work/big-mesh-all.png" "$work/big-bag.png" -compose DstIn -composite "$work/big-mesh.png"

# The catch: two files of different kinds, lying in the cod end.
eval "$IM -size ${S}x${S} xc:none $(file_shape 68 66 40 52 '#ffd54a' 5)" \
    "$(file_shape 100 84 34 42 '#8be08a' 5)" "\"$work/big-catch.png\""

$IM "$work/big-tile.png" \
    \( -size ${S}x${S} xc:none -fill 'rgba(255,255,255,0.16)' -draw "$BAG" \) -composite \
    "$work/big-mesh.png" -composite \
    "$work/big-catch.png" -composite \
    \( "$work/big-mesh.png" -channel A -evaluate multiply 0.45 +channel \) -composite \
    \( -size ${S}x${S} xc:none -fill none -stroke white -strokewidth 6 -draw "$BAG" \
    -stroke '#e8eef3' -strokewidth 10 -draw "line 30,30 30,166" \
    -stroke white -strokewidth 6 -draw "line 156,94 176,94" \
    -fill '#ff9f1a' -stroke '#7a3d00' -strokewidth 3 \
    -draw "circle 30,32 30,42" -draw "circle 70,42 70,51" -draw "circle 108,56 108,64" \
    -fill '#33414d' -draw "circle 30,164 30,173" \
    -fill white -stroke none -draw "circle 178,94 178,102" \) -composite \
    "$work/big.png"

$IM "$work/big.png" -filter Lanczos -resize 48x48 -depth 8 PNG32:trawlet-48.png
$IM "$work/big.png" -filter Lanczos -resize 32x32 -depth 8 PNG32:trawlet-32.png

# ---------------------------------------------------------------------------------------
# The small drawing, on a 64-pixel grid (4 by 4 per final pixel): the bag outline, one
# crossing of the mesh, one float, and one bright file, nothing thinner than a pixel.
s=64
bag="polygon 10,10 56,27 56,39 10,56"
tile $s 12 0 "$work/small-tile.png"
$IM -size ${s}x${s} xc:none -fill white -draw "$bag" "$work/small-bag.png"
$IM -size ${s}x${s} xc:none -stroke 'rgba(255,255,255,0.8)' -strokewidth 4 \
    -draw "line 10,22 40,52" -draw "line 10,44 40,14" -draw "line 24,14 24,52" \
    "$work/small-mesh-all.png"
$IM "$work/small-mesh-all.png" "$work/small-bag.png" -compose DstIn -composite \
    "$work/small-mesh.png"
$IM "$work/small-tile.png" \
    \( -size ${s}x${s} xc:none -fill '#ffd54a' -stroke '#1b2a38' -strokewidth 4 \
    -draw "polygon 30,22 42,22 48,28 48,44 30,44" \) -composite \
    "$work/small-mesh.png" -composite \
    \( -size ${s}x${s} xc:none -fill none -stroke white -strokewidth 4 -draw "$bag" \
    -fill '#ff9f1a' -stroke none -draw "circle 11,11 11,17" \) -composite \
    -filter Box -resize 16x16 -depth 8 PNG32:trawlet-16.png

echo "wrote trawlet-48.png trawlet-32.png trawlet-16.png"
