#!/usr/bin/env bash
# Draws Dorvane's icon at 256 x 256 with ImageMagick and packs it, with the
# smaller sizes the shell asks for, into dorvane.ico beside this script.
# A blue tile, a white page with a folded corner, and an amber speech bubble
# holding an exclamation mark: a page that speaks up when it is opened.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

convert -size 256x256 xc:none \
    -fill '#1f5fae' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#2f7fd8' -draw 'roundrectangle 8,8 247,200 44,44' \
    -fill '#ffffff' -draw 'polygon 56,36 160,36 200,76 200,220 56,220' \
    -fill '#c9d9ee' -draw 'polygon 160,36 160,76 200,76' \
    -fill '#9bb3d3' -draw 'rectangle 76,96 180,106' \
    -fill '#9bb3d3' -draw 'rectangle 76,120 180,130' \
    -fill '#9bb3d3' -draw 'rectangle 76,144 150,154' \
    -fill '#f5a623' -draw 'circle 176,180 176,122' \
    -fill '#f5a623' -draw 'polygon 132,206 120,244 158,222' \
    -fill '#ffffff' -draw 'roundrectangle 169,146 183,196 6,6' \
    -fill '#ffffff' -draw 'circle 176,212 176,220' \
    -depth 8 "PNG32:$tmp/dorvane-256.png"

convert "$tmp/dorvane-256.png" -depth 8 -define icon:auto-resize=256,48,32,16 dorvane.ico
