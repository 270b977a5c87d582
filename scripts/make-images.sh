#!/usr/bin/env bash
# Draws the program's two built-in pictures with ImageMagick:
#   tool/images/i16_kestro.gif     16 x 16   window icon
#   tool/images/kestro_header.gif  2083 x 50 header banner
#   tool/images/plavo-16/32/48.png the window icon as the desktop entry's themed icon, enlarged
#                                  pixel for pixel (48 x 48 is the size every theme must have)
# The GIFs are committed, so a build needs no ImageMagick; the build turns them into byte
# arrays with reswrap. Run this again only to change the pictures.
set -euo pipefail
cd "$(dirname "$0")/../tool/images"
font=DejaVu-Sans-Bold
convert -list font | grep -q "Font: $font\$" || font=Helvetica-Bold

# Window icon: a teal tile with a white "K" drawn as three strokes (no font, so it stays
# crisp at 16 pixels).
convert -size 16x16 xc:none \
  -fill '#1f6f78' -draw 'roundrectangle 0,0 15,15 3,3' \
  -stroke white -strokewidth 2 \
  -draw 'line 5,3 5,12' -draw 'line 6,8 11,3' -draw 'line 7,8 11,12' \
  -colors 16 i16_kestro.gif

# Header banner. The window is much narrower than the banner and shows its right end
# (the image frame is right-aligned), so the mark and the name sit at the right edge and
# the rest is a calm gradient that looks right at any window width.
convert -size 50x2083 gradient:'#e3e0d0-#1f6f78' -rotate -90 \
  -fill '#1f6f78' -draw 'rectangle 1853,0 2082,49' \
  -fill white -draw 'roundrectangle 1866,9 1897,40 5,5' \
  -stroke '#1f6f78' -strokewidth 4 \
  -draw 'line 1876,15 1876,34' -draw 'line 1878,25 1889,15' -draw 'line 1880,25 1889,34' \
  -stroke none -fill white -font "$font" -pointsize 26 \
  -annotate +1907+35 'KESTRO' \
  -colors 64 +dither kestro_header.gif

# Desktop menus want PNG and, in the fallback theme, at least 48 x 48. No dates inside, so
# drawing again without changes leaves the files byte for byte the same.
for size in 16 32 48; do
  convert i16_kestro.gif -filter point -resize ${size}x${size} -strip \
    -define png:exclude-chunks=date,time plavo-$size.png
done

identify i16_kestro.gif kestro_header.gif plavo-*.png
