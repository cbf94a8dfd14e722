#!/bin/sh
# Init of the user-mode guest started by real-shares.sh: servers, mounts,
# bursts, table. Writes nothing on the host but into its own folder.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
WORK=$(dirname "$0")
BENCH=$(cat "$WORK/bench")
LOG="$WORK/log"
exec >>"$LOG" 2>&1
set -x
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t tmpfs tmp /run
mount -t tmpfs tmp /var/lib/nfs
mount -t tmpfs tmp /var/lib/samba
mount -t tmpfs tmp /var/cache/samba
mount -t tmpfs tmp /var/log
mount -t tmpfs tmp /srv
mount -t tmpfs tmp /mnt
mkdir -p /run/mods/lib/modules /var/log/samba
ln -s "$(cat "$WORK/modules")/$(uname -r)" /run/mods/lib/modules/
# Modules the kernel loads itself (the crypto of SMB3 signing) come from there too.
printf '#!/bin/sh\nexec /usr/sbin/modprobe -d /run/mods "$@"\n' > /run/modprobe
chmod +x /run/modprobe
echo /run/modprobe > /proc/sys/kernel/modprobe
hostname share-test
printf '127.0.0.1 localhost share-test\n' > /run/hosts
mount --bind /run/hosts /etc/hosts
ip link set lo up
ip addr add 127.0.0.2/8 dev lo
for m in cifs nfs nfsv3 nfsv4 nfsd lockd; do modprobe -d /run/mods "$m"; done

# Samba: one share, a user with a password.
mkdir -p /run/samba/private /run/samba/lock /run/samba/state /run/samba/cache /srv/smb
chmod 1777 /srv/smb
cat > /run/smb.conf <<'CONF'
[global]
  server role = standalone server
  passdb backend = tdbsam
  private dir = /run/samba/private
  lock directory = /run/samba/lock
  state directory = /run/samba/state
  cache directory = /run/samba/cache
  pid directory = /run/samba
  log file = /run/samba/log.%m
  server min protocol = SMB2
  disable netbios = yes
  smb ports = 445
  interfaces = 127.0.0.1 127.0.0.2
  bind interfaces only = yes
[results]
  path = /srv/smb
  read only = no
  create mask = 0666
CONF
printf 'pw\npw\n' | smbpasswd -c /run/smb.conf -s -a root
smbd -D -s /run/smb.conf
sleep 2
ps ax | grep '[s]mbd'

# NFS: rpcbind, mountd, nfsd; statd only once the "no lock manager" round is done.
mkdir -p /srv/nfs /run/rpcbind /var/lib/nfs/v4recovery /var/lib/nfs/sm /var/lib/nfs/sm.bak
chmod 1777 /srv/nfs
touch /var/lib/nfs/etab /var/lib/nfs/rmtab
rpcbind -w || rpcbind
mount -t nfsd nfsd /proc/fs/nfsd
exportfs -o rw,no_root_squash,insecure,sync,fsid=0 127.0.0.0/8:/srv/nfs
rpc.mountd
rpc.nfsd 8
sleep 2

TOOL=$(dirname "$BENCH")/../bin/qe2tool
REPO=$(dirname "$BENCH")/../..
TABLE="$WORK/table"
printf '%-36s %7s %12s %14s %5s %14s\n' "Share (two clients, 30 writers)" "written" "told failed" "lost silently" "torn" "retry question" > "$TABLE"

# burst NAME DIR1 DIR2 [SERVERFILE [EVENT]]: 30 writers, alternately through
# either mount; SERVERFILE is where the lines are counted (default DIR1/r.res),
# EVENT a command run in the background as the burst starts.
burst() {
  name=$1; a=$2; b=$3; server=${4:-$2/r.res}; event=${5:-}
  # Writers on a mount point without its share would write to the local disk.
  if ! mountpoint -q "$a" || ! mountpoint -q "$b"; then
    printf '%-36s not run: a share did not mount\n' "$name" >> "$TABLE"
    return
  fi
  rm -f "$server" "$server.lock"
  # Every writer is started (as a player whose run began) well before the
  # burst; the event comes once all have begun, as the burst starts.
  start=$(( $(date +%s%N) + 20000000000 ))
  : > /run/status
  rm -rf /run/ready; mkdir /run/ready
  export QE_BURST_READY=/run/ready
  if [ -n "$event" ]; then
    ( while [ "$(ls /run/ready | wc -l)" -lt 30 ] && [ "$(date +%s%N)" -lt "$start" ]; do sleep 0.1; done
      [ "$(ls /run/ready | wc -l)" -lt 30 ] && echo "  ($name: not all writers had begun when the event came)" >> "$TABLE"
      left=$(( start - $(date +%s%N) ))
      [ "$left" -gt 0 ] && sleep "$(echo "$left" | awk '{ printf "%.3f", $1 / 1e9 }')"
      $event ) &
  fi
  i=0
  while [ $i -lt 30 ]; do
    if [ $((i % 2)) -eq 0 ]; then d=$a; else d=$b; fi
    ( "$BENCH" --burst-writer "$d/r.res" $i $start 0; echo "$i $?" >> /run/status ) &
    i=$((i + 1))
  done
  wait
  sleep 1
  python3 - "$server" /run/status "$name" >> "$TABLE" <<'PY'
import sys
path, status, name = sys.argv[1:4]
try:
    data = open(path, 'rb').read()
except OSError:
    data = b''
lines = data.split(b'\r\n')
tail = lines.pop() if lines else b''
header = lines.pop(0) if lines else b''
seen, torn = {}, 0
for l in lines + ([tail] if tail else []):
    f = l.split(b'\t')
    ok = len(f) == 10 and f[3].startswith(b'P') and f[3][1:].isdigit() and b'\0' not in l and len(f[6]) == 300
    if ok:
        seen[int(f[3][1:])] = seen.get(int(f[3][1:]), 0) + 1
    else:
        torn += 1
torn += sum(n - 1 for n in seen.values())  # a line twice is as wrong as a torn one
codes = {}
for l in open(status):
    i, c = l.split()
    codes[int(i)] = int(c)
# Exit 0: written; 1: written after the retry question; 2: the player said it failed.
told = sum(1 for i in range(30) if codes.get(i) == 2 and i not in seen)
lost = sum(1 for i in range(30) if codes.get(i) != 2 and i not in seen)
retried = sum(1 for c in codes.values() if c != 0)
print('%-36s %7d %12d %14d %5d %14d' % (name, len(seen), told, lost, torn, retried))
PY
  # Each round's file stays for a look at its torn lines.
  cp "$server" "$WORK/$(echo "$name" | tr -c 'A-Za-z0-9\n' '_').res" 2>/dev/null || true
  # What an administrator's check says of the same mount.
  echo "== $name" >> "$WORK/check"
  QT_QPA_PLATFORM=offscreen "$TOOL" check-share "$a" >> "$WORK/check" 2>&1
}

# Says in the table what a byte-range lock gets on a mount, so that a round
# that was to run without a lock manager shows whether it did.
lock_probe() {
  timeout 60 python3 - "$1" "$2" >> "$TABLE" <<'PY' || echo "  ($2: a byte-range lock here: no answer within 60 s)" >> "$TABLE"
import errno, fcntl, os, sys
path = os.path.join(sys.argv[1], '.probe')
with open(path, 'a') as f:
    try:
        fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
        said = 'taken'
    except OSError as e:
        said = errno.errorcode.get(e.errno, str(e.errno))
os.unlink(path)
print('  (%s: a byte-range lock here: %s)' % (sys.argv[2], said))
PY
}

smb_outage() { pkill -x smbd; sleep 28; smbd -D -s /run/smb.conf; }
lazy_umount() { sleep 0.3; umount -l /mnt/s1; }
# An unmount that hangs in the kernel's client (seen once after the nobrl
# round) is noted and left behind, so that the later rounds still run.
unmount() {
  umount "$@" & u=$!
  w=0
  while kill -0 $u 2>/dev/null && [ $w -lt 60 ]; do sleep 1; w=$((w + 1)); done
  if kill -0 $u 2>/dev/null; then
    echo "  (umount $* still hung after 60 s; detached lazily)" >> "$TABLE"
    umount -l "$@" &
    sleep 5
  fi
}

# Saves of a test while a player on the same client holds it open, and
# loads meanwhile: a save may fail (and say so), the test is never gone.
same_client_saves() {
  t=/mnt/s1/t.qe2
  QT_QPA_PLATFORM=offscreen "$TOOL" build "$REPO/examples/demo.json" -o "$t" || return
  rm -f /run/stop
  ( while [ ! -f /run/stop ]; do exec 3< "$t"; sleep 0.3; exec 3<&-; done ) &
  ( n=0; f=0
    while [ ! -f /run/stop ]; do
      QT_QPA_PLATFORM=offscreen "$TOOL" info "$t" > /dev/null 2>> "$WORK/load-errors" || f=$((f + 1)); n=$((n + 1))
    done; echo "$n $f" > /run/loads ) &
  ok=0; failed=0; gone=0; k=0
  while [ $k -lt 72 ]; do
    if QT_QPA_PLATFORM=offscreen "$TOOL" build "$REPO/examples/demo.json" -o "$t" > /dev/null 2>&1; then
      ok=$((ok + 1)); else failed=$((failed + 1)); fi
    QT_QPA_PLATFORM=offscreen "$TOOL" info /srv/smb/t.qe2 > /dev/null 2>&1 || gone=$((gone + 1))
    k=$((k + 1))
  done
  touch /run/stop; wait
  read n f < /run/loads
  printf '%-36s 72 saves: %d written, %d failed and said so, %d left no whole test; loads: %d of %d failed\n' \
    "SMB3, test open on the same client" $ok $failed $gone $f $n >> "$TABLE"
}

smb() { mkdir -p "$2"; mount -t cifs "//$1/results" "$2" -o "username=root,password=pw,vers=3.1.1,cache=strict$3"; }
# NFSv4 sees the export as its root.
nfs() { case $3 in vers=4*) p=/ ;; *) p=/srv/nfs ;; esac; mkdir -p "$2"; mount -t nfs "$1:$p" "$2" -o "$3"; }

# ROUNDS (from the host) picks rounds by name; all when empty.
ROUNDS=$(cat "$WORK/rounds" 2>/dev/null)
want() { [ -z "$ROUNDS" ] || case " $ROUNDS " in *" $1 "*) true ;; *) false ;; esac; }

smb 127.0.0.1 /mnt/s1 ""; smb 127.0.0.2 /mnt/s2 ""
want locks && burst "SMB3, server locks" /mnt/s1 /mnt/s2
want outage && burst "SMB3, server down for 28 s" /mnt/s1 /mnt/s2 /srv/smb/r.res smb_outage
want saves && same_client_saves
want lazy && burst "SMB3, share lazily unmounted" /mnt/s1 /mnt/s2 /srv/smb/r.res lazy_umount
want lazy && [ -e /mnt/s1/r.res ] && echo "  (a results file appeared on the local disk under the mount point)" >> "$TABLE"
umount /mnt/s1 2>/dev/null; unmount /mnt/s2
smb 127.0.0.1 /mnt/s1 ",nobrl"; smb 127.0.0.2 /mnt/s2 ",nobrl"
want nobrl && burst "SMB3 nobrl" /mnt/s1 /mnt/s2
unmount /mnt/s1 /mnt/s2

# statd is started by mount.nfs only once the nolock round is done.
mount --bind /bin/true /usr/sbin/start-statd
nfs 127.0.0.1 /mnt/n1 vers=3,nolock; nfs 127.0.0.2 /mnt/n2 vers=3,nolock
want nolock && burst "NFSv3 nolock" /mnt/n1 /mnt/n2
unmount /mnt/n1 /mnt/n2
umount /usr/sbin/start-statd
rpc.statd --no-notify
sleep 1
nfs 127.0.0.1 /mnt/n1 vers=3; nfs 127.0.0.2 /mnt/n2 vers=3
want nlm && burst "NFSv3, lock manager" /mnt/n1 /mnt/n2
unmount /mnt/n1 /mnt/n2
nfs 127.0.0.1 /mnt/n1 vers=4.2; nfs 127.0.0.2 /mnt/n2 vers=4.2
want v4 && burst "NFSv4.2" /mnt/n1 /mnt/n2
unmount /mnt/n1 /mnt/n2

# Last, as it leaves NFSv3 without rpcbind: once mounted, no lock manager can
# be found and the client's lock calls fail. Two addresses the client has not
# locked through yet, so that it knows no lock manager's port already.
ip addr add 127.0.0.3/8 dev lo; ip addr add 127.0.0.4/8 dev lo
nfs 127.0.0.3 /mnt/n1 vers=3; nfs 127.0.0.4 /mnt/n2 vers=3
if want enolck; then
  pkill -x rpcbind; sleep 1
  lock_probe /mnt/n1 "NFSv3, no lock manager"
  burst "NFSv3, no lock manager (ENOLCK)" /mnt/n1 /mnt/n2
fi
unmount /mnt/n1 /mnt/n2

cat "$WORK/check" >> "$TABLE"
cat /run/samba/log.* | tail -30
dmesg | tail -30
sync
poweroff -f
