#pragma once
// Writes a file through a temporary beside it: flushed to disk, then renamed
// over the target, the old file kept under a second name until the new one is
// in. On any failure the target is the old file and no temporary is left; the
// error is rethrown (EFOpenError/EWriteError for I/O failures).
// Through a symbolic link the file it leads to is replaced, beside itself,
// and the link stays a link.
#include <QIODevice>
#include <QString>
#include <functional>

namespace SafeFile {
// permissions: when not -1, the mode (st_mode bits) the new file gets.
void WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write,
                     int permissions = -1);

// The system's error number (errno) behind the last failure of WriteAtomically
// on this thread, 0 when it was not the system's; the exception only says
// "Stream write error", whatever the disk said.
int LastError();

// Test hook: told the folder synced after each rename; empty to stop.
void SetFolderSyncObserver(std::function<void(const QString &folder)> observer);
}
