#include "FileLocks.h"

#include "Clock.h"
#include "FsHooks.h"

#include <QDir>
#include <QFile>

#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace FileLocks {
namespace {
const int kReplaceTries = 15;
const int kReplacePauseMs = 100;

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

namespace {
enum class TOpen { Opened, Transient, Refused };

TOpen openSharedOnce(QFile &f)
{
    const QByteArray native = QFile::encodeName(f.fileName());
    int fd;
    // O_NONBLOCK: opening a named pipe would otherwise wait for a writer.
    do
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno == ENOENT || errno == EBUSY || errno == ETXTBSY ? TOpen::Transient : TOpen::Refused;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0
        || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return TOpen::Refused;
    }
    if (setLock(f.handle(), F_RDLCK) == TLockResult::Held) {
        f.close();
        return TOpen::Transient;
    }
    return TOpen::Opened;
}
}

bool OpenSharedRead(QFile &f)
{
    // While a save renames the new file over the old, an SMB client may find
    // no file under the name or one it may not open yet: that passes.
    for (int tries = 0;; ++tries) {
        const TOpen r = openSharedOnce(f);
        if (r != TOpen::Transient || tries == kReplaceTries)
            return r == TOpen::Opened;
        QeClock::Sleep(kReplacePauseMs);
    }
}
bool TryLockExclusive(QFile &f) { return setLock(f.handle(), F_WRLCK) == TLockResult::Taken; }
void Unlock(QFile &f) { setLock(f.handle(), F_UNLCK); }

bool LinksUnsupported(int err)
{
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

namespace {
const int kStaleSeconds = 60;

QList<QByteArray> mountOptionsOf(quint64 dev, QByteArray *type)
{
    QFile f(QFile::decodeName(FsHooks().MountInfo));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // "36 35 0:52 / /mnt rw,relatime shared:1 - cifs //srv/share rw,nobrl,..."
    const QByteArray want = QByteArray::number(major(dev_t(dev))) + ':' + QByteArray::number(minor(dev_t(dev)));
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 10 || fields[2] != want)
            continue;
        const qsizetype sep = fields.indexOf("-", 6);
        if (sep < 0 || sep + 3 >= fields.size())
            continue;
        *type = fields[sep + 1];
        return fields[5].split(',') + fields[sep + 3].split(',');
    }
    return {};
}

QByteArray hostName()
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return QByteArray(host);
}

bool writeAllFd(int fd, const QByteArray &data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A lock file's text and status; false when there is none to read.
bool readSmall(const QByteArray &name, QByteArray *text, struct stat *st)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[1024];
    ssize_t n;
    do
        n = ::read(fd, buf, sizeof buf);
    while (n < 0 && errno == EINTR);
    const bool ok = n >= 0 && ::fstat(fd, st) == 0;
    ::close(fd);
    if (ok)
        *text = QByteArray(buf, qsizetype(n));
    return ok;
}

bool missing(const QByteArray &name)
{
    struct stat st;
    return ::lstat(name.constData(), &st) != 0 && errno == ENOENT;
}

// Its process gone from this host, or untouched for longer than any append
// takes, by the clock of the server that stamped both files.
bool isStale(const QByteArray &text, time_t lockTime, time_t serverNow)
{
    const QList<QByteArray> f = text.split('\n');
    if (f.size() >= 2 && f[0] == hostName()) {
        bool ok = false;
        const qint64 pid = f[1].toLongLong(&ok);
        if (ok && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            return true;
    }
    return serverNow - lockTime > kStaleSeconds;
}

QByteArray uniqueBeside(const QByteArray &name, const char *suffix)
{
    return name.left(name.lastIndexOf('/') + 1) + ".res-" + QByteArray::number(::getpid()) + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 16) + suffix;
}
}

QString LocalLockOptions(quint64 dev, QString *fsType)
{
    QByteArray type;
    const QList<QByteArray> options = mountOptionsOf(dev, &type);
    if (fsType)
        *fsType = QString::fromLatin1(type);
    const bool smb = type == "cifs" || type == "smb3";
    const bool nfs = type == "nfs" || type == "nfs4";
    QStringList found;
    for (const QByteArray &o : options)
        if ((smb && o == "nobrl") || (nfs && (o == "nolock" || o == "local_lock=posix" || o == "local_lock=all")))
            found << QString::fromLatin1(o);
    found.removeDuplicates();
    return found.join(QStringLiteral(", "));
}

bool ModesFromMount(quint64 dev, QString *fileMode)
{
    QByteArray type;
    const QList<QByteArray> options = mountOptionsOf(dev, &type);
    if (type != "cifs" && type != "smb3")
        return false;
    bool real = false;
    for (const QByteArray &o : options) {
        if (o == "unix" || o == "posix" || o == "cifsacl" || o == "modefromsid")
            real = true;
        else if (fileMode && o.startsWith("file_mode="))
            *fileMode = QString::fromLatin1(o.mid(10));
    }
    return !real;
}

bool LocksStayLocal(quint64 dev) { return !LocalLockOptions(dev).isEmpty(); }

bool ServerForgetsLocks(quint64 dev)
{
    QByteArray type;
    mountOptionsOf(dev, &type);
    return type == "cifs" || type == "smb3";
}

TLockFile::TResult TLockFile::take(int *err)
{
    if (m_held)
        return Taken;
    m_token = hostName() + '\n' + QByteArray::number(::getpid()) + '\n' + QByteArray::number(qint64(::time(nullptr)))
              + '\n' + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + '\n';
    QByteArray unique;
    int fd = -1;
    for (int tries = 0; tries < 16 && fd < 0; ++tries) {
        unique = uniqueBeside(m_name, ".lck");
        fd = ::open(unique.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0) {
        *err = errno;
        return Failed;
    }
    const bool written = writeAllFd(fd, m_token) && ::fsync(fd) == 0;
    *err = errno;
    ::close(fd);
    TResult r = Failed;
    if (written) {
        r = tryOnce(unique, err);
        if (r == Held) {
            // Only the one who moved the stale lock aside takes its place.
            QByteArray seen;
            struct stat lock, now;
            if (readSmall(m_name, &seen, &lock) && ::stat(unique.constData(), &now) == 0
                && isStale(seen, lock.st_mtime, now.st_mtime)) {
                const QByteArray aside = uniqueBeside(m_name, ".brk");
                if (FsHooks().Rename(m_name.constData(), aside.constData()) == 0) {
                    QByteArray moved;
                    struct stat st;
                    if (readSmall(aside, &moved, &st) && moved == seen && st.st_ino == lock.st_ino)
                        r = tryOnce(unique, err);
                    else if (FsHooks().Link(aside.constData(), m_name.constData()) != 0 && missing(m_name))
                        FsHooks().Rename(aside.constData(), m_name.constData());  // a fresh one: put it back
                    ::unlink(aside.constData());
                }
            }
        }
    }
    ::unlink(unique.constData());
    m_held = r == Taken;
    return r;
}

TLockFile::TResult TLockFile::tryOnce(const QByteArray &unique, int *err)
{
    if (FsHooks().Link(unique.constData(), m_name.constData()) == 0)
        return Taken;
    const int linkErr = errno;
    // NFS may report a link it made as failed (its reply lost): the count says.
    struct stat st;
    if (::stat(unique.constData(), &st) == 0 && st.st_nlink == 2)
        return Taken;
    if (linkErr == EEXIST)
        return Held;
    if (!LinksUnsupported(linkErr)) {
        *err = linkErr;
        return Failed;
    }
    const int fd = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *err = errno;
        return errno == EEXIST ? Held : Failed;
    }
    const bool written = writeAllFd(fd, m_token) && ::fsync(fd) == 0;
    *err = errno;
    ::close(fd);
    if (written)
        return Taken;
    ::unlink(m_name.constData());
    return Failed;
}

void TLockFile::release()
{
    if (!m_held)
        return;
    m_held = false;
    // Only our own: one broken as stale and taken by another stays.
    QByteArray now;
    struct stat st;
    if (readSmall(m_name, &now, &st) && now == m_token)
        ::unlink(m_name.constData());
}
}
