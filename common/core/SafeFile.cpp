#include "SafeFile.h"

#include "QeErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {
namespace {
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
}

void SetFolderSyncObserver(std::function<void(const QString &)> observer)
{
    syncObserver() = std::move(observer);
}

void WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write, int permissions)
{
    const QString native = QDir::toNativeSeparators(path);
    const QString target = finalTarget(path);
    QSaveFile f(target);
    if (!f.open(QIODevice::WriteOnly))
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\". %2").arg(native, f.errorString()));
    try {
        write(f);
        // QSaveFile only renames; the data must be on disk before the new name points at it.
        if (!f.flush() || ::fsync(f.handle()) != 0)
            throw EWriteError(QStringLiteral("Stream write error"));
        if (permissions != -1 && ::fchmod(f.handle(), mode_t(permissions)) != 0)
            throw EWriteError(QStringLiteral("Cannot set permissions of \"%1\"").arg(native));
    } catch (...) {
        f.cancelWriting();
        throw;
    }
    if (!f.commit())
        throw EWriteError(QStringLiteral("Stream write error: %1").arg(f.errorString()));
    syncDirectory(target);
}
}
