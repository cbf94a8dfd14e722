#!/bin/sh
# Builds the seed folders of the fuzz targets into OUTDIR (one folder per
# target) from the repository's samples, the reference corpus, the reduced
# inputs of earlier findings and inputs written by fuzz_seeds.
# Usage: scripts/fuzz-seeds.sh OUTDIR   (needs build-fuzz, or $BUILD_DIR)
set -eu
cd "$(dirname "$0")/.."
OUT=${1:?usage: fuzz-seeds.sh OUTDIR}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
CORPUS=../shared/corpus
rm -rf "$OUT"
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen "$BUILD_DIR/fuzz/fuzz_seeds" "$OUT" 2>/dev/null
mkdir -p "$OUT/rtf" "$OUT/richrecord" "$OUT/storage" "$OUT/testfile"
if [ -d "$CORPUS/richedit" ]; then
  for f in "$CORPUS"/richedit/*.rtf; do [ -f "$f" ] && cp "$f" "$OUT/rtf/"; done
  for f in "$CORPUS"/richedit/*.rec "$CORPUS"/richedit/*.rtf; do [ -f "$f" ] && cp "$f" "$OUT/richrecord/"; done
  for f in "$CORPUS"/richedit/*.bmp; do [ -f "$f" ] && cp "$f" "$OUT/storage/"; done
fi
cp "$OUT"/richrecord/*.rec "$OUT/rtf/" 2>/dev/null || true
# The sample question banks of the exchange formats.
mkdir -p "$OUT/moodle"
for f in examples/interchange/*.xml; do [ -f "$f" ] && cp "$f" "$OUT/moodle/"; done
mkdir -p "$OUT/gift" "$OUT/aiken"
for f in examples/interchange/*.gift; do [ -f "$f" ] && cp "$f" "$OUT/gift/"; done
for f in examples/interchange/*aiken*.txt; do [ -f "$f" ] && cp "$f" "$OUT/aiken/"; done
# The demo test, from whichever build made it.
for d in build build-*; do
  if [ -f "$d/examples/demo.qe2" ]; then cp "$d/examples/demo.qe2" "$OUT/testfile/"; break; fi
done
# Reduced inputs of earlier findings stay seeds, so a regression is found at once.
if [ -d tests/fuzz-regressions ]; then
  for dir in tests/fuzz-regressions/*/; do
    [ -d "$dir" ] || continue
    t=$(basename "$dir")
    mkdir -p "$OUT/$t"
    cp "$dir"* "$OUT/$t/" 2>/dev/null || true
  done
fi
for d in "$OUT"/*/; do
  echo "seeds: $(basename "$d") $(ls "$d" | wc -l)"
done
