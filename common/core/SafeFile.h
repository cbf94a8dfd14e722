#pragma once
// Writes a file through a temporary beside it: flushed to disk, then renamed
// over the target. On any failure the target is untouched and no temporary is
// left; the error is rethrown (EFOpenError/EWriteError for I/O failures).
#include <QIODevice>
#include <QString>
#include <functional>

namespace SafeFile {
// permissions: when not -1, the mode (st_mode bits) the new file gets.
void WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write,
                     int permissions = -1);
}
