#!/usr/bin/env bash
# Renders the program's icon (resources/icons/caustica.svg) into the PNG
# sizes of the hicolor theme under resources/desktop/icons/. The PNGs are
# checked in, so building needs no SVG renderer; run this after editing the
# SVG (needs rsvg-convert, package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
svg=resources/icons/caustica.svg
for size in 16 22 24 32 48 64 128 256; do
  out=resources/desktop/icons/${size}x${size}/org.caustica.Caustica.png
  mkdir -p "$(dirname "$out")"
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$out"
done
echo "make-icons: resources/desktop/icons/ redrawn from $svg"
