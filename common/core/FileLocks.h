#pragma once
// File locks standing in for Windows sharing modes.
#include <QByteArray>
#include <QString>
#include <utility>

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
// missing file, one that is not a regular file, or one locked by a writer;
// a missing or locked file is tried again for about 1.5 s (QeClock::Sleep).
// Where no lock can be had the file is read without one: a save never writes
// in place, it renames a new file over the old.
bool OpenSharedRead(QFile &f);
}

namespace FileLocks {
// The errors with which a folder says it has no hard links (SMB mounts).
bool LinksUnsupported(int err);

// Whether byte-range locks on files in a folder on device dev stop at this
// computer: SMB mounted with nobrl, NFS with nolock or local_lock for POSIX
// locks. Read from the mount table (FsHooks().MountInfo).
bool LocksStayLocal(quint64 dev);
// Whether the folder is on an SMB share: a restarted SMB server forgets the
// byte-range locks of writes still in flight, a lock file on its disk stays.
bool ServerForgetsLocks(quint64 dev);
// The mount options of the folder's device that make that so, empty when none
// ("nobrl", "nolock", "local_lock=posix"); fsType gets the mount's type.
QString LocalLockOptions(quint64 dev, QString *fsType = nullptr);
// Whether the permission bits a folder's files show are made up by this
// computer's mount (SMB without POSIX extensions, ACLs or modes in SIDs shows
// every file as file_mode=…): what other accounts may do is then the
// server's to decide. fileMode gets the mount's file_mode, when it has one.
bool ModesFromMount(quint64 dev, QString *fileMode = nullptr);

// An exclusive lock that needs no lock manager: a file `lockName` beside the
// locked one, made by linking a unique file to it and checking its link
// count (NFS may report a link it made as failed), or with O_EXCL where links
// are refused. It holds the host, process and time, and is broken only when
// clearly stale: its process gone on this host, or older than a minute by
// the server's clock.
class TLockFile {
public:
    enum TResult { Taken, Held, Failed };
    explicit TLockFile(QByteArray lockName) : m_name(std::move(lockName)) {}
    ~TLockFile() { release(); }
    TLockFile(const TLockFile &) = delete;
    TLockFile &operator=(const TLockFile &) = delete;
    // err gets errno for Failed.
    TResult take(int *err);
    void release();
    bool held() const { return m_held; }
private:
    TResult tryOnce(const QByteArray &unique, int *err);
    QByteArray m_name;
    QByteArray m_token;
    bool m_held = false;
};
}
