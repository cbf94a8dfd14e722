#!/bin/sh
# Builds the fuzz targets (clang, ASan, UBSan) into build-fuzz and runs each
# for SECONDS (default 60), one after another. Corpora grow in $FUZZ_DIR
# (default ~/.cache/qe-fuzz), outside the tree. Prints executions and
# coverage per target; a crash, leak, timeout or broken property leaves its
# input in $FUZZ_DIR/findings and makes the exit status non-zero.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (targets without "fuzz_")
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
SECS=${1:-60}
[ $# -gt 0 ] && shift
TARGETS=${*:-testfile question rtf richrecord storage config trailer template moodle gift aiken clipboard journal recovery results answers}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
FUZZ_DIR=${FUZZ_DIR:-$HOME/.cache/qe-fuzz}
JOBS=$(nproc); [ "$JOBS" -gt 2 ] && JOBS=2

export CCACHE_BASEDIR="$ROOT"
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQE_FUZZ=ON -DQE_BUILD_BENCH=OFF >/dev/null
fi
# Only the targets and the libraries they link, not the whole tree.
cmake --build "$BUILD_DIR" --target fuzz_all -j"$JOBS"

mkdir -p "$FUZZ_DIR/corpus" "$FUZZ_DIR/findings" "$FUZZ_DIR/logs"
BUILD_DIR="$BUILD_DIR" sh scripts/fuzz-seeds.sh "$FUZZ_DIR/seeds" >/dev/null

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/fuzz/lsan.supp}
# libgsf reports damaged storages through GLib; those are read errors, never fatal.
unset G_DEBUG

status=0
printf '%-12s %10s %8s %8s %6s  %s\n' target execs edges features secs result
for t in $TARGETS; do
  bin="$ROOT/$BUILD_DIR/fuzz/fuzz_$t"
  corpus="$FUZZ_DIR/corpus/$t"
  log="$FUZZ_DIR/logs/$t.log"
  mkdir -p "$corpus" "$FUZZ_DIR/seeds/$t"  # a target without seeds starts from its corpus
  dict=""
  [ -f "$ROOT/fuzz/$t.dict" ] && dict="-dict=$ROOT/fuzz/$t.dict"
  case $t in
    testfile|richrecord|storage) maxlen=-max_len=16384 ;;
    template) maxlen=-max_len=65536 ;;
    rtf) maxlen=-max_len=8192 ;;
    *) maxlen="" ;;
  esac
  start=$(date +%s)
  rc=0
  # shellcheck disable=SC2086
  (cd "$FUZZ_DIR" && "$bin" -max_total_time="$SECS" -timeout=20 -rss_limit_mb=2048 \
     -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$FUZZ_DIR/findings/$t-" \
     $dict $maxlen "$corpus" "$FUZZ_DIR/seeds/$t") >"$log" 2>&1 || rc=$?
  secs=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  edges=$(echo "$line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  feats=$(echo "$line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
  result=ok
  if [ "$rc" != 0 ]; then
    status=1
    found=$(sed -n 's/.*Test unit written to \(.*\)/\1/p' "$log" | tail -1)
    result="FINDING ${found:-see $log}"
  fi
  printf '%-12s %10s %8s %8s %6s  %s\n' "$t" "${execs:-?}" "${edges:-?}" "${feats:-?}" "$secs" "$result"
  if [ "$rc" != 0 ]; then
    grep -E 'ERROR|SUMMARY|property broken|runtime error' "$log" | head -5 | sed 's/^/    /'
  fi
done
exit $status
