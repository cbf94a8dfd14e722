#include "FsHooks.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
int RealLink(const char *from, const char *to) { return ::link(from, to); }
int RealLockCall(int fd, int cmd, struct flock *lock) { return ::fcntl(fd, cmd, lock); }
int RealDataSync(int fd) { return ::fdatasync(fd); }
int RealRename(const char *from, const char *to) { return ::rename(from, to); }
int RealTruncate(int fd, long long length) { return ::ftruncate(fd, off_t(length)); }

const QeFsHooks kReal{RealLink, RealLockCall, RealDataSync, RealRename, RealTruncate,
                      "/proc/self/mountinfo"};
QeFsHooks g_hooks = kReal;
}

QeFsHooks &FsHooks() { return g_hooks; }
const QeFsHooks &RealFsHooks() { return kReal; }
