#!/bin/sh
# Renders the PNG sizes of our icons from their SVG drawings into
# data/icons/hicolor/<size>x<size>/<context>/. Run after changing a drawing;
# the PNGs are kept in the tree so that a build needs no SVG renderer.
set -eu
cd "$(dirname "$0")/../data/icons"
SIZES="16 22 24 32 48 64 128 256"
for svg in *.svg; do
  name=${svg%.svg}
  case $name in
    application-*) context=mimetypes ;;
    *) context=apps ;;
  esac
  for s in $SIZES; do
    dir=hicolor/${s}x${s}/$context
    mkdir -p "$dir"
    rsvg-convert -w "$s" -h "$s" -o "$dir/$name.png" "$svg"
  done
done
