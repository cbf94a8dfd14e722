#!/bin/sh
# Results appends on real SMB and NFS shares: boots a user-mode Linux kernel
# (which has the CIFS and NFS clients this machine's kernel may lack), serves
# a folder inside it with Samba and kernel nfsd over loopback, mounts each
# share twice (127.0.0.1 and 127.0.0.2: two computers, each with its own
# client) and runs the results burst's writers, half through each mount, also
# while the SMB server is down for 28 s and while the share is lazily
# unmounted, and saves a test on SMB that a player on the same client holds
# open. Prints, per round, lines written, players told of a failure, lines lost
# silently (a player told of success), torn or doubled lines, and players who
# saw the retry question; then what check-share said of each mount. Slow and
# needs root; not part of CI.
#   apt-get install user-mode-linux kmod samba nfs-kernel-server nfs-common rpcbind cifs-utils
# KEEP=1 keeps the guest's folder (log, console, each round's results file) in /tmp.
# UML=/path/linux.uml and UML_MODULES=/path/modules take another kernel: the
# bookworm one (6.1) cannot run on hosts whose CPUs have AMX (its FP state is
# too small for them: "ptrace set fp regs failed, errno = 14"). A newer one
# runs: unpack unstable's user-mode-linux and libc6 packages with dpkg-deb -x
# into DIR and DIR/libc, then point linux.uml at that libc:
#   patchelf --set-interpreter DIR/libc/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2 \
#     --set-rpath DIR/libc/usr/lib/x86_64-linux-gnu DIR/usr/bin/linux.uml
#   UML=DIR/usr/bin/linux.uml UML_MODULES=DIR/usr/lib/uml/modules scripts/real-shares.sh
# ROUNDS="locks outage saves lazy nobrl enolck nolock nlm v4" runs only those.
# Usage: scripts/real-shares.sh [BENCH] (default build/bench/bench_results_burst)
set -eu
cd "$(dirname "$0")/.."
BENCH=$(readlink -f "${1:-build/bench/bench_results_burst}")
[ -x "$BENCH" ] || { echo "no $BENCH: build the target bench_results_burst first" >&2; exit 2; }
UML=${UML:-linux.uml}
UML_MODULES=${UML_MODULES:-/usr/lib/uml/modules}
command -v "$UML" >/dev/null || { echo "$UML missing: apt-get install user-mode-linux" >&2; exit 2; }
WORK=$(mktemp -d /tmp/real-shares.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
cp scripts/real-shares-inner.sh "$WORK/inner.sh"
chmod +x "$WORK/inner.sh"
printf '%s\n' "$BENCH" > "$WORK/bench"
printf '%s\n' "${ROUNDS:-}" > "$WORK/rounds"
printf '%s\n' "$(readlink -f "$UML_MODULES")" > "$WORK/modules"
# The root file system is this machine's, read through hostfs; everything the
# servers write goes to tmpfs inside the guest, the report to $WORK.
timeout 1800 "$UML" mem=768M root=/dev/root rootfstype=hostfs rootflags=/ rw \
  init="$WORK/inner.sh" con0=fd:0,fd:1 con=null quiet < /dev/null > "$WORK/console" 2>&1 || true
if [ -f "$WORK/table" ]; then
  cat "$WORK/table"
else
  echo "the guest produced no table; its console:" >&2
  tail -40 "$WORK/console" >&2
  exit 1
fi
