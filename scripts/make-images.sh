#!/bin/bash
# Draws the desktop's images into resources/share with ImageMagick drawing
# primitives: 1 program icon, 2 Settings and 3 Connect (toolbar), 5/6/7
# error, warning and information (status pane), 12 tray icon, 101 banner.
# The PNGs are committed; run this again only to change them.
set -euo pipefail
out=$(dirname "$(dirname "$(readlink -f "$0")")")/resources/share
mkdir -p "$out"

# A wave over a disc: the program's mark.
wave() { # size stroke
  local s=$1 w=$2
  convert -size "${s}x${s}" xc:none -fill '#1d5fa8' -draw "circle $((s/2)),$((s/2)) $((s/2)),1" \
    -fill none -stroke white -strokewidth "$w" \
    -draw "bezier $((s*2/10)),$((s/2)) $((s*35/100)),$((s*2/10)) $((s*5/10)),$((s*8/10)) $((s*65/100)),$((s/2))" \
    -draw "line $((s*65/100)),$((s/2)) $((s*8/10)),$((s/2))" "$3"
}
wave 48 4 "$out/1.png"
wave 24 2 "$out/12.png"
# Settings: a cog of eight teeth.
convert -size 24x24 xc:none -fill '#555555' \
  -draw 'circle 12,12 12,3' -fill none -stroke '#555555' -strokewidth 3 \
  -draw 'line 12,0 12,24' -draw 'line 0,12 24,12' -draw 'line 3,3 21,21' -draw 'line 3,21 21,3' \
  -stroke none -fill white -draw 'circle 12,12 12,9' "$out/2.png"
# Connect: a plug into a globe.
convert -size 24x24 xc:none -fill '#2f8f3a' -draw 'circle 14,12 14,3' \
  -stroke white -strokewidth 1 -fill none -draw 'ellipse 14,12 4,9 0,360' -draw 'line 5,12 23,12' \
  -stroke '#333333' -strokewidth 3 -draw 'line 0,20 8,14' "$out/3.png"
# Levels: error (red disc, cross), warning (amber triangle, bar), information (blue disc, i).
convert -size 14x14 xc:none -fill '#d42020' -draw 'circle 7,7 7,1' \
  -stroke white -strokewidth 2 -draw 'line 4,4 10,10' -draw 'line 10,4 4,10' "$out/5.png"
convert -size 14x14 xc:none -fill '#e8a317' -draw 'polygon 7,1 13,13 1,13' \
  -stroke black -strokewidth 2 -draw 'line 7,5 7,9' -draw 'point 7,11' "$out/6.png"
convert -size 14x14 xc:none -fill '#2060d0' -draw 'circle 7,7 7,1' \
  -stroke white -strokewidth 2 -draw 'line 7,6 7,11' -draw 'point 7,3' "$out/7.png"
# Banner: the name on a dark band with the wave.
convert -size 300x60 gradient:'#0b2a4a'-'#1d5fa8' -fill none -stroke white -strokewidth 3 \
  -draw 'bezier 10,30 25,10 40,50 55,30' -stroke none -fill white -font DejaVu-Sans-Bold -pointsize 28 \
  -draw "text 70,40 'Velorin'" "$out/101.png"
