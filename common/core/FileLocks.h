#pragma once
// File locks standing in for Windows sharing modes, and the single-instance guard.
#include <QString>

class QFile;

namespace FileLocks {
// Non-blocking open-file-description locks (fcntl F_OFD_SETLK) on an open file.
bool TryLockShared(QFile &f);
bool TryLockExclusive(QFile &f);
void Unlock(QFile &f);
// Opens f's file for reading, others may read but not write: false for a
// missing file, one that is not a regular file, or one locked by a writer.
bool OpenSharedRead(QFile &f);
}

// Holds an flock on <tmp>/<name>.lock for the life of the process;
// true when another process already holds it.
bool IsAlreadyRunning(const QString &name);
