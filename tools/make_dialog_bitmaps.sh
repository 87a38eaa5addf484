#!/bin/bash
# make_dialog_bitmaps.sh -- draws the pictures of the About box, the refusal and the info box
# (resources/bitmaps/*.bmp, 24-bit BMP) with ImageMagick. The files are committed; run this
# again only to change a picture.
#
#   127  the planet emblem of the About box (96 x 96)
#   136  the About box's title: name and version (300 x 60)
#   147  the About box's maker line (300 x 28)
#   148  the refusal's warning sign (48 x 48)
#   178  the info box's picture (660 x 520)
set -euo pipefail
out=${1:-$(dirname "$0")/../resources/bitmaps}
mkdir -p "$out"
im() { convert "$@"; }

# A lit planet on white: a dark disc with a lighter lit side, and a frame.
im -size 96x96 xc:white -fill '#0b2a66' -draw 'circle 48,48 48,5' \
   -fill '#2f6fc0' -draw 'circle 42,42 42,9' -fill '#7fb6f0' -draw 'circle 36,36 36,18' \
   -fill '#c8e4ff' -draw 'circle 32,32 32,25' -fill none -stroke '#0b2a66' -draw 'circle 48,48 48,5' \
   -type palette BMP3:"$out/127.bmp"

im -size 220x60 xc:white -fill '#0b2a66' -font DejaVu-Sans-Bold -pointsize 30 \
   -gravity west -annotate +4-6 'Kivaglobe' \
   -fill '#404040' -font DejaVu-Sans -pointsize 12 -annotate +6+20 'Planet filter, version 1.0' \
   -type palette BMP3:"$out/136.bmp"

im -size 220x28 xc:white -fill '#404040' -font DejaVu-Sans -pointsize 12 \
   -gravity west -annotate +6+0 'Made by Corvalane' \
   -type palette BMP3:"$out/147.bmp"

im -size 48x48 xc:white -fill '#e8a400' -stroke '#7a5600' -strokewidth 2 \
   -draw 'polygon 24,3 45,43 3,43' -fill black -stroke none -font DejaVu-Sans-Bold \
   -pointsize 26 -gravity center -annotate +0+5 '!' \
   -type palette BMP3:"$out/148.bmp"

im -size 660x520 xc:white \
   -fill '#0b2a66' -draw 'circle 330,200 330,60' -fill '#2f6fc0' -draw 'circle 315,185 315,75' \
   -fill '#7fb6f0' -draw 'circle 300,170 300,100' \
   -fill '#0b2a66' -font DejaVu-Sans-Bold -pointsize 28 -gravity south -annotate +0+80 'Kivaglobe' \
   -fill '#404040' -font DejaVu-Sans -pointsize 15 -annotate +0+50 'Planets, maps and moons, drawn into your picture.' \
   -type palette BMP3:"$out/178.bmp"
