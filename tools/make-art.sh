#!/usr/bin/env bash
# Remakes the gauges' bitmaps from their SVG sources: renders each SVG at its
# exact size with rsvg-convert, then converts the renderings into 8-bit
# bitmaps, the resource script and the manifest beside the sources.
#   tools/make-art.sh [module dir...]     (default: all four)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v rsvg-convert >/dev/null || {
  echo "make-art: rsvg-convert is missing: apt-get install librsvg2-bin fonts-liberation" >&2
  exit 1
}
"$root/tools/build.sh" build/native >/dev/null
modules=("$@")
[ ${#modules[@]} -gt 0 ] || modules=(radio_display audio_panel pfd_settings hydraulics)
for module in "${modules[@]}"; do
  art="$root/$module/art"
  renders="$root/build/art/$module"
  mkdir -p "$renders"
  while read -r id size source placement rest; do
    case "$id" in ''|'#'*) continue ;; esac
    [ "$source" = "-" ] && continue
    width=${size%x*}; height=${size#*x}
    rsvg-convert -w "$width" -h "$height" "$art/$source" -o "$renders/${source%.svg}.png"
  done < "$art/pictures.txt"
  "$root/build/native/bin/art-convert" "$art" "$renders"
done
