#include "SingleInstance.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A runtime folder others may write into is no more private than the
// temporary folder, and one of another user is not ours at all.
bool usableRuntimeDir(const QByteArray &dir)
{
    if (!dir.startsWith('/'))
        return false;
    struct stat st;
    return ::stat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
}

QString InstanceLockPath(const QString &name)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (usableRuntimeDir(runtime))
        return QDir(QFile::decodeName(runtime)).filePath(name + QStringLiteral(".lock"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("%1-%2.lock").arg(name).arg(::geteuid()));
}

bool IsAlreadyRunning(const QString &name)
{
    const QByteArray path = QFile::encodeName(InstanceLockPath(name));
    // O_NOFOLLOW: the temporary folder is shared, anyone may plant a link there.
    int fd;
    do
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;  // cannot tell; do not keep the examinee out
    // Another user's file under our name says nothing about our instances,
    // and whoever holds it could otherwise keep every player of ours out.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK;
    }
    // The descriptor stays open for the life of the process; the kernel
    // releases the lock when the process ends, however it ends.
    return false;
}
