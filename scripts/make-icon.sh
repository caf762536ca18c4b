#!/usr/bin/env bash
# Draws the application icon (resources/appicon.png) with ImageMagick: a slate
# tile with a master-to-slave link, a request going out and a reply coming back.
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/bin/convert -size 64x64 xc:none \
    -fill '#24506e' -draw 'roundrectangle 1,1,62,62,10,10' \
    -fill '#e9eef2' -draw 'roundrectangle 7,12,23,52,3,3' \
    -fill '#f2b134' -draw 'roundrectangle 41,12,57,52,3,3' \
    -stroke '#9fd3ff' -strokewidth 3 -draw 'line 24,24 38,24' \
    -stroke none -fill '#9fd3ff' -draw 'polygon 36,19 42,24 36,29' \
    -stroke '#ffe39a' -strokewidth 3 -draw 'line 26,40 40,40' \
    -stroke none -fill '#ffe39a' -draw 'polygon 28,35 22,40 28,45' \
    -fill '#24506e' -draw 'rectangle 11,18 19,21' -draw 'rectangle 11,26 19,29' \
    -fill '#24506e' -draw 'rectangle 45,18 53,21' -draw 'rectangle 45,26 53,29' -draw 'rectangle 45,34 53,37' \
    -strip PNG32:resources/appicon.png
echo "wrote resources/appicon.png"
