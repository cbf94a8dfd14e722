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
ln -s /usr/lib/uml/modules/$(uname -r) /run/mods/lib/modules/
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
TABLE="$WORK/table"
printf '%-34s %6s %5s %15s %9s\n' "Share (two clients, 30 writers)" "lost" "torn" "false success" "retried" > "$TABLE"

# burst NAME DIR1 DIR2: 30 writers, alternately through either mount.
burst() {
  name=$1; a=$2; b=$3
  rm -f "$a/r.res" "$a/r.res.lock"
  start=$(( $(date +%s%N) + 2000000000 ))
  pids=""
  i=0
  while [ $i -lt 30 ]; do
    if [ $((i % 2)) -eq 0 ]; then d=$a; else d=$b; fi
    ( "$BENCH" --burst-writer "$d/r.res" $i $start 0; echo "$i $?" >> /run/status ) &
    pids="$pids $!"
    i=$((i + 1))
  done
  : > /run/status
  wait
  sleep 1
  python3 - "$a/r.res" /run/status "$name" >> "$TABLE" <<'PY'
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
codes = {}
for l in open(status):
    i, c = l.split()
    codes[int(i)] = int(c)
lost = sum(1 for i in range(30) if i not in seen)
false_ok = sum(1 for i in range(30) if codes.get(i, 2) in (0, 1) and i not in seen)
retried = sum(1 for c in codes.values() if c != 0)
print('%-34s %6d %5d %15d %9d' % (name, lost, torn, false_ok, retried))
PY
  # What an administrator's check says of the same mount.
  echo "== $name" >> "$WORK/check"
  QT_QPA_PLATFORM=offscreen "$TOOL" check-share "$a" >> "$WORK/check" 2>&1
}

smb() { mkdir -p "$2"; mount -t cifs "//$1/results" "$2" -o "username=root,password=pw,vers=3.1.1,cache=strict$3"; }
# NFSv4 sees the export as its root.
nfs() { case $3 in vers=4*) p=/ ;; *) p=/srv/nfs ;; esac; mkdir -p "$2"; mount -t nfs "$1:$p" "$2" -o "$3"; }

smb 127.0.0.1 /mnt/s1 ""; smb 127.0.0.2 /mnt/s2 ""
burst "SMB3, server locks" /mnt/s1 /mnt/s2
umount /mnt/s1 /mnt/s2
smb 127.0.0.1 /mnt/s1 ",nobrl"; smb 127.0.0.2 /mnt/s2 ",nobrl"
burst "SMB3 nobrl" /mnt/s1 /mnt/s2
umount /mnt/s1 /mnt/s2

# Without rpc.statd the client's lock calls fail with ENOLCK; mount.nfs would
# start it.
mount --bind /bin/true /usr/sbin/start-statd
nfs 127.0.0.1 /mnt/n1 vers=3; nfs 127.0.0.2 /mnt/n2 vers=3
burst "NFSv3, no lock manager (ENOLCK)" /mnt/n1 /mnt/n2
umount /mnt/n1 /mnt/n2
nfs 127.0.0.1 /mnt/n1 vers=3,nolock; nfs 127.0.0.2 /mnt/n2 vers=3,nolock
burst "NFSv3 nolock" /mnt/n1 /mnt/n2
umount /mnt/n1 /mnt/n2
umount /usr/sbin/start-statd
rpc.statd --no-notify
sleep 1
nfs 127.0.0.1 /mnt/n1 vers=3; nfs 127.0.0.2 /mnt/n2 vers=3
burst "NFSv3, lock manager" /mnt/n1 /mnt/n2
umount /mnt/n1 /mnt/n2
nfs 127.0.0.1 /mnt/n1 vers=4.2; nfs 127.0.0.2 /mnt/n2 vers=4.2
burst "NFSv4.2" /mnt/n1 /mnt/n2
umount /mnt/n1 /mnt/n2

cat "$WORK/check" >> "$TABLE"
cat /run/samba/log.* | tail -30
dmesg | tail -30
sync
poweroff -f
