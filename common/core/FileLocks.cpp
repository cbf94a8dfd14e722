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

bool IsAlreadyRunning(const QString &name)
{
    const QByteArray path = QFile::encodeName(QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock")));
    // O_NOFOLLOW: the name lies in a shared folder where anyone may plant a link.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // Other users' instances must be able to open it too, whatever our umask.
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0777) != 0666)
            ::fchmod(fd, 0666);
    } else {
        // Created by another user without write access for us: a read-only
        // descriptor still takes part in flock.
        fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0)
        return false;  // cannot tell; do not keep the examinee out
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK;
    }
    // The descriptor stays open for the life of the process; the kernel
    // releases the lock when the process ends, however it ends.
    return false;
}
