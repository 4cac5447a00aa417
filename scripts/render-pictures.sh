#!/usr/bin/env bash
# Renders the window's pictures and the application icon from their SVG
# sources in res/ to PNG files of exact pixel sizes, and the icon's sizes
# into one .ico. The PNG and .ico files are committed, so that a build needs
# no renderer: run this only after changing an SVG, then commit both.
#
#   ./scripts/render-pictures.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
res="$repo/res"

# rsvg-convert draws, the Liberation fonts set the caution notice's text, and
# icotool (icoutils) packs the icon's sizes.
"$repo/scripts/bootstrap.sh" librsvg2-bin fonts-liberation2 icoutils

render() {  # name width height
  rsvg-convert --width "$2" --height "$3" --output "$res/$1.png" "$res/$1.svg"
}

# The sizes must match src/ui/picture_ids.h; the layout tests check them.
render caution 409 167
render pass 154 139
render fail 148 154
render blank 154 139
render small_pass 16 16
render small_fail 16 16
render small_blank 16 16
render small_busy 16 16

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
icons=()
for size in 16 32 48 256; do
  rsvg-convert --width "$size" --height "$size" --output "$tmp/app_icon_$size.png" \
      "$res/app_icon.svg"
  icons+=("$tmp/app_icon_$size.png")
done
cp "$tmp/app_icon_256.png" "$res/app_icon.png"
# The 256-pixel image is stored as PNG inside the .ico, as Windows expects.
icotool --create --output "$res/app_icon.ico" \
    "$tmp/app_icon_16.png" "$tmp/app_icon_32.png" "$tmp/app_icon_48.png" \
    --raw="$tmp/app_icon_256.png"
echo "render-pictures: rendered into $res"
