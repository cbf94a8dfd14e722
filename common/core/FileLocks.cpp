#include "FileLocks.h"

#include "FsHooks.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileLocks {
namespace {
TLockResult setLock(int fd, short type)
{
    if (fd < 0)
        return TLockResult::Unavailable;
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // the whole file, however it grows
    int rc;
    do {
        rc = FsHooks().LockCall(fd, F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return TLockResult::Taken;
    // Only these two say that someone holds it; ENOLCK and the like say
    // that nobody can.
    return errno == EAGAIN || errno == EACCES ? TLockResult::Held : TLockResult::Unavailable;
}
}

TLockResult TryLock(int fd, bool exclusive) { return setLock(fd, exclusive ? F_WRLCK : F_RDLCK); }

bool TryLockShared(QFile &f) { return setLock(f.handle(), F_RDLCK) == TLockResult::Taken; }

bool OpenSharedRead(QFile &f)
{
    const QByteArray native = QFile::encodeName(f.fileName());
    int fd;
    // O_NONBLOCK: opening a named pipe would otherwise wait for a writer.
    do
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0
        || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    if (setLock(f.handle(), F_RDLCK) == TLockResult::Held) {
        f.close();
        return false;
    }
    return true;
}
bool TryLockExclusive(QFile &f) { return setLock(f.handle(), F_WRLCK) == TLockResult::Taken; }
void Unlock(QFile &f) { setLock(f.handle(), F_UNLCK); }
}
