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
void syncDirectory(const QString &path)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
}

void WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write, int permissions)
{
    const QString native = QDir::toNativeSeparators(path);
    QSaveFile f(path);
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
    syncDirectory(path);
}
}
