#!/usr/bin/env bash
# Checksums of whole renders of the sample photograph: both water styles, 8-bit,
# 16-bit and 32-bit float pictures, grey, with transparency and with a selection
# mask, each through the real host program and plug-in. Compare the output of two
# builds to show that a change keeps every pixel:
#   bench/render_checksums.sh build/default > before.txt   (on the old commit)
#   bench/render_checksums.sh build/default > after.txt && diff before.txt after.txt
# Needs ImageMagick to make the deep and grey pictures (CONVERT names its convert).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert=${CONVERT:-convert}
sample=examples/aitzgorri_1600.jpg
# A smaller crop keeps the 16 renders to a minute on two cores.
"$convert" "$sample" -crop 800x600+400+200 +repage "$work/rgb8.png"
"$convert" "$work/rgb8.png" -depth 16 "$work/rgb16.tif"
"$convert" "$work/rgb8.png" -depth 32 -define quantum:format=floating-point "$work/rgb32.tif"
"$convert" "$work/rgb8.png" -colorspace Gray "$work/grey8.png"
"$convert" "$work/rgb8.png" -alpha set -channel A -fx 'i < w/2 ? 1 : 0.5' "$work/rgba8.png"
"$convert" -size 800x600 gradient:white-black "$work/mask.png"

render() {
  local name=$1 input=$2 ext=$3
  shift 3
  for style in 1 2; do
    # A temporary folder of the script's own, so that no run leaves settings in the user's.
    TMPDIR=$(mktemp -d -p "$work") "$build/mirel" apply "$input" -o "$work/out.$ext" \
      --set "water style=$style" "$@" >/dev/null
    # The decoded pixels' signature, not the file's bytes: a writer may compress
    # the same pixels differently.
    printf '%-22s style %s  %s\n' "$name" "$style" \
      "$("$convert" "$work/out.$ext" -format '%#' info: | cut -c1-16)"
  done
}

render rgb8 "$work/rgb8.png" png
render rgb8-jpeg-in "$sample" png
render rgb16 "$work/rgb16.tif" tif
render rgb32 "$work/rgb32.tif" tif
render grey8 "$work/grey8.png" png
render rgba8 "$work/rgba8.png" png
render rgb8-mask "$work/rgb8.png" png --mask "$work/mask.png"
render rgb8-screen "$work/rgb8.png" png --set glue=screen --set "horizon float=40"
