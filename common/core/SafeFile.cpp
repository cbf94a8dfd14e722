#include "SafeFile.h"

#include "FileLocks.h"
#include "FsHooks.h"
#include "QeErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {
namespace {
thread_local int lastError = 0;

std::function<void(const QString &)> &syncObserver()
{
    static std::function<void(const QString &)> observer;
    return observer;
}

void syncDirectory(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (syncObserver())
        syncObserver()(folder);
    const QByteArray dir = QFile::encodeName(folder);
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString sysText(int err) { return QString::fromLocal8Bit(strerror(err)); }

// Notes the system's reason of the first failed write, which the streams
// writing through it only report as "Stream write error".
class TNotingFile : public QFile {
public:
    int FailedWith = 0;
protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        errno = 0;
        const qint64 n = QFile::writeData(data, len);
        if (n != len && FailedWith == 0)
            FailedWith = errno;
        return n;
    }
};

// A new file beside target, under a short name no one else has.
int createBeside(const QByteArray &target, const char *suffix, QByteArray *name)
{
    const QByteArray folder = target.left(target.lastIndexOf('/') + 1);
    for (int tries = 0; tries < 16; ++tries) {
        *name = folder + ".sf-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + suffix;
        const int fd = ::open(name->constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool copyInto(int from, int to)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n == 0)
            return ::fsync(to) == 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

// A second name for the old file, so that nothing a rename does to the
// target can take it: a hard link, or a copy where links are refused. Empty
// when neither could be made.
QByteArray keepOld(const QByteArray &target)
{
    QByteArray kept;
    for (int tries = 0; tries < 16; ++tries) {
        kept = target.left(target.lastIndexOf('/') + 1) + ".sf-"
               + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".old";
        if (FsHooks().Link(target.constData(), kept.constData()) == 0)
            return kept;
        if (errno != EEXIST)
            break;
    }
    const int from = ::open(target.constData(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return {};
    const int to = createBeside(target, ".old", &kept);
    const bool copied = to >= 0 && copyInto(from, to);
    ::close(from);
    if (to >= 0)
        ::close(to);
    if (copied)
        return kept;
    if (to >= 0)
        ::unlink(kept.constData());
    return {};
}

bool missing(const QByteArray &name)
{
    struct stat st;
    return ::lstat(name.constData(), &st) != 0 && errno == ENOENT;
}

// An SMB client refused the rename over an open file may remove the target
// and fail again: the old file stays under a second name until the new one is
// in, and goes back when it is not.
// On SMB a rename over a file open on this computer is refused, and the
// client then deletes the target, which stays until that open ends and then
// is gone. There the old file is first moved aside (an open file may be
// renamed), so that no rename ever has a target.
bool onSmb(const QByteArray &target)
{
    struct stat dir;
    const QByteArray folder = target.left(std::max<qsizetype>(target.lastIndexOf('/'), 1));
    if (::stat(folder.constData(), &dir) != 0)
        return false;
    QString type;
    FileLocks::LocalLockOptions(quint64(dir.st_dev), &type);
    return type == u"cifs" || type == u"smb3";
}

void replaceMovingOldAside(const QByteArray &tmp, const QByteArray &target, const QString &native)
{
    QByteArray aside;
    int err = EEXIST;
    for (int tries = 0; tries < 16 && err == EEXIST; ++tries) {
        aside = target.left(target.lastIndexOf('/') + 1) + ".sf-"
                + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".old";
        if (!missing(aside))
            continue;
        err = FsHooks().Rename(target.constData(), aside.constData()) == 0 ? 0 : errno;
    }
    if (err != 0) {
        lastError = err;
        ::unlink(tmp.constData());
        throw EWriteError(QStringLiteral("Cannot replace file \"%1\". %2. The old file is unchanged.")
                              .arg(native, sysText(err)));
    }
    if (FsHooks().Rename(tmp.constData(), target.constData()) == 0) {
        ::unlink(aside.constData());
        return;
    }
    lastError = errno;
    const QString text = QStringLiteral("Cannot replace file \"%1\". %2.").arg(native, sysText(errno));
    if (FsHooks().Rename(aside.constData(), target.constData()) != 0)
        throw EWriteError(text + QStringLiteral(" The old file is kept as \"%1\"; the new one as \"%2\".")
                                     .arg(QDir::toNativeSeparators(QFile::decodeName(aside)),
                                          QDir::toNativeSeparators(QFile::decodeName(tmp))));
    ::unlink(tmp.constData());
    throw EWriteError(text + QStringLiteral(" The old file is unchanged."));
}

void replaceKeepingOld(const QByteArray &tmp, const QByteArray &target, bool hadOld, const QString &native)
{
    if (hadOld && onSmb(target)) {
        replaceMovingOldAside(tmp, target, native);
        return;
    }
    QByteArray kept;
    if (hadOld && (kept = keepOld(target)).isEmpty()) {
        lastError = errno;
        const QString why = sysText(errno);
        ::unlink(tmp.constData());
        throw EWriteError(QStringLiteral("Cannot replace file \"%1\": no copy of the old file could be kept. %2. "
                                         "The old file is unchanged.").arg(native, why));
    }
    if (FsHooks().Rename(tmp.constData(), target.constData()) == 0) {
        if (!kept.isEmpty())
            ::unlink(kept.constData());
        return;
    }
    lastError = errno;
    QString text = QStringLiteral("Cannot replace file \"%1\". %2.").arg(native, sysText(errno));
    ::unlink(tmp.constData());
    if (!kept.isEmpty()) {
        if (missing(target) && FsHooks().Rename(kept.constData(), target.constData()) != 0)
            throw EWriteError(text + QStringLiteral(" The old file is kept as \"%1\".")
                                         .arg(QDir::toNativeSeparators(QFile::decodeName(kept))));
        ::unlink(kept.constData());
        text += QStringLiteral(" The old file is unchanged.");
    }
    throw EWriteError(text);
}

// The file a save through links replaces: the rename happens beside it, so
// that is the folder to sync. As QSaveFile would resolve it, but once, here.
QString finalTarget(const QString &path)
{
    QFileInfo fi(path);
    int depth = 128;
    while (--depth && fi.isSymLink())
        fi.setFile(fi.symLinkTarget());
    return depth > 0 ? fi.filePath() : path;
}

// The new file is the saver's, in the saver's group: a test shared through its
// group must stay in it, or the colleague who wrote it is locked out. Only the
// owner's groups can be given; otherwise the file stays in the saver's group.
void KeepGroup(int fd, const struct stat *old, const QString &target)
{
    struct stat now, dir;
    if (::fstat(fd, &now) != 0)
        return;
    gid_t wanted = now.st_gid;
    if (old)
        wanted = old->st_gid;
    else if (::stat(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), &dir) == 0 &&
             (dir.st_mode & S_ISGID))
        wanted = dir.st_gid;  // what the folder gives its new files, should the mount not
    if (wanted != now.st_gid)
        (void)::fchown(fd, uid_t(-1), wanted);
}
}

int LastError() { return lastError; }

void SetFolderSyncObserver(std::function<void(const QString &)> observer)
{
    syncObserver() = std::move(observer);
}

void WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write, int permissions)
{
    const QString native = QDir::toNativeSeparators(path);
    const QString target = finalTarget(path);
    const QByteArray targetName = QFile::encodeName(target);
    lastError = 0;
    struct stat old;
    const bool hadOld = ::stat(targetName.constData(), &old) == 0;
    if (hadOld && ::access(targetName.constData(), W_OK) != 0) {
        lastError = errno;
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\". Existing file %2 is not writable")
                              .arg(native, QDir::toNativeSeparators(target)));
    }

    QByteArray tmp;
    const int fd = createBeside(targetName, ".new", &tmp);
    if (fd < 0) {
        lastError = errno;
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\". %2").arg(native, sysText(errno)));
    }
    if (hadOld)
        (void)::fchmod(fd, old.st_mode & 0777);
    KeepGroup(fd, hadOld ? &old : nullptr, target);
    TNotingFile f;
    if (!f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(tmp.constData());
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\". %2").arg(native, f.errorString()));
    }
    try {
        write(f);
        // The data must be on disk before the new name points at it.
        if (!f.flush()) {
            lastError = f.FailedWith ? f.FailedWith : errno;
            throw EWriteError(QStringLiteral("Stream write error"));
        }
        if (FsHooks().DataSync(f.handle()) != 0) {
            lastError = errno;
            throw EWriteError(QStringLiteral("Stream write error"));
        }
        if (permissions != -1 && ::fchmod(f.handle(), mode_t(permissions)) != 0) {
            lastError = errno;
            throw EWriteError(QStringLiteral("Cannot set permissions of \"%1\"").arg(native));
        }
        errno = 0;
        f.close();
        if (f.error() != QFileDevice::NoError) {
            lastError = f.FailedWith ? f.FailedWith : errno;
            throw EWriteError(QStringLiteral("Stream write error: %1").arg(f.errorString()));
        }
    } catch (...) {
        // A write the stream above refused: the file knows why.
        if (lastError == 0)
            lastError = f.FailedWith;
        f.close();
        ::unlink(tmp.constData());
        throw;
    }
    replaceKeepingOld(tmp, targetName, hadOld, native);
    syncDirectory(target);
}
}
