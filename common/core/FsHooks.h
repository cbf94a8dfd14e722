#pragma once
// The file-system calls whose failures only some mounts produce (no hard
// links on SMB, no lock manager on NFS, slow syncs on any network folder, a
// rename over an open file refused on SMB).
// Tests replace them to make those failures happen here; the programs never do.
struct flock;

struct QeFsHooks {
    int (*Link)(const char *from, const char *to);
    // fcntl with a struct flock argument (F_OFD_SETLK and friends).
    int (*LockCall)(int fd, int cmd, struct flock *lock);
    int (*DataSync)(int fd);
    int (*Rename)(const char *from, const char *to);
    int (*Truncate)(int fd, long long length);
    // The mount table read for a folder's mount type and options.
    const char *MountInfo;
};

// The hooks in force; the real calls unless a test changed them.
QeFsHooks &FsHooks();
// The real calls, to restore them or to call through to them.
const QeFsHooks &RealFsHooks();
