#include "FsHooks.h"

#include <fcntl.h>
#include <unistd.h>

namespace {
int RealLink(const char *from, const char *to) { return ::link(from, to); }
int RealLockCall(int fd, int cmd, struct flock *lock) { return ::fcntl(fd, cmd, lock); }
int RealDataSync(int fd) { return ::fdatasync(fd); }

const QeFsHooks kReal{RealLink, RealLockCall, RealDataSync};
QeFsHooks g_hooks = kReal;
}

QeFsHooks &FsHooks() { return g_hooks; }
const QeFsHooks &RealFsHooks() { return kReal; }
