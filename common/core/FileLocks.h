#pragma once
// File locks standing in for Windows sharing modes.
#include <QString>

class QFile;

namespace FileLocks {
enum class TLockResult {
    Taken,
    Held,        // another process holds a conflicting lock
    Unavailable  // no lock to be had here at all, e.g. NFS without a lock manager
};
// Non-blocking open-file-description lock (fcntl F_OFD_SETLK) on the whole file.
TLockResult TryLock(int fd, bool exclusive);

// The same on an open QFile; true only when the lock was taken.
bool TryLockShared(QFile &f);
bool TryLockExclusive(QFile &f);
void Unlock(QFile &f);
// Opens f's file for reading, others may read but not write: false for a
// missing file, one that is not a regular file, or one locked by a writer.
// Where no lock can be had the file is read without one: a save never writes
// in place, it renames a new file over the old.
bool OpenSharedRead(QFile &f);
}
