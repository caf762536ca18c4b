#!/usr/bin/env bash
# Draws the sequence editor's waste bin (resources/bin.png) with ImageMagick: a
# grey ribbed bin with its lid on an opaque panel, so that entries dropped into
# the list beneath the picture never show through it.
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/bin/convert -size 64x64 xc:'#e4e7ea' \
    -fill none -stroke '#4a5258' -strokewidth 3 -draw 'roundrectangle 26,6 38,14 2,2' \
    -stroke none -fill '#4a5258' -draw 'roundrectangle 11,12 53,19 2,2' \
    -fill '#8a949c' -stroke '#4a5258' -strokewidth 2 -draw 'polygon 15,21 49,21 45,58 19,58' \
    -stroke '#e4e7ea' -strokewidth 3 -draw 'line 24,27 26,52' -draw 'line 32,27 32,52' -draw 'line 40,27 38,52' \
    -alpha off -strip PNG24:resources/bin.png
echo "wrote resources/bin.png"
