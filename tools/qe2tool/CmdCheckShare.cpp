// qe2tool check-share: tries in a results folder what the player's append and
// the editor's save rely on, with their own code, and says what to mend.
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include "FileLocks.h"
#include "FsHooks.h"
#include "ResultsFile.h"
#include "Tool.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Qe2Tool {

namespace {

struct TReport {
    QString text;
    bool unsafe = false;
    void safe(const QString &what) { text += QStringLiteral("safe    ") + what + QLatin1Char('\n'); }
    // Not unsafe, but not to be told from here either.
    void note(const QString &what, const QString &mend)
    {
        text += QStringLiteral("check   ") + what + QLatin1Char('\n');
        if (!mend.isEmpty())
            text += QStringLiteral("        mend: ") + mend + QLatin1Char('\n');
    }
    void bad(const QString &what, const QString &mend)
    {
        unsafe = true;
        text += QStringLiteral("UNSAFE  ") + what + QLatin1Char('\n');
        if (!mend.isEmpty())
            text += QStringLiteral("        mend: ") + mend + QLatin1Char('\n');
    }
};

QString errText(int err) { return QString::fromLocal8Bit(strerror(err)); }

// Probe names the player's own clean-up removes should the check be killed.
QByteArray probeName(const QByteArray &folder, const char *suffix)
{
    return folder + "/.res-" + QByteArray::number(::getpid()) + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 16) + suffix;
}

int createExclusive(const QByteArray &name)
{
    return ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

void checkLocks(TReport &r, const QByteArray &folder, quint64 dev, const QString &type)
{
    const QString local = FileLocks::LocalLockOptions(dev);
    const QByteArray probe = probeName(folder, ".tmp");
    const int a = createExclusive(probe);
    const int b = a >= 0 ? ::open(probe.constData(), O_RDWR | O_CLOEXEC) : -1;
    const FileLocks::TLockResult first = FileLocks::TryLock(a, true);
    const FileLocks::TLockResult second = FileLocks::TryLock(b, true);
    if (a >= 0)
        ::close(a);
    if (b >= 0)
        ::close(b);
    ::unlink(probe.constData());
    const QString fallback = QStringLiteral("; results are then kept apart by a lock file beside the results file");
    if (first == FileLocks::TLockResult::Unavailable) {
        r.bad(QStringLiteral("byte-range locks: refused here (no lock manager)") + fallback,
              QStringLiteral("run the NFS lock manager (rpc.statd, lockd) on server and clients, or use NFSv4"));
    } else if (first != FileLocks::TLockResult::Taken || second != FileLocks::TLockResult::Held) {
        r.bad(QStringLiteral("byte-range locks: a second open of the file was not kept out") + fallback,
              QStringLiteral("mount with byte-range locks enforced by the server"));
    } else if (!local.isEmpty()) {
        r.bad(QStringLiteral("byte-range locks: the mount option %1 keeps them on this computer").arg(local) + fallback,
              type.startsWith(QLatin1String("nfs"))
                  ? QStringLiteral("mount without nolock and local_lock=posix/all (the lock manager must run)")
                  : QStringLiteral("mount without nobrl"));
    } else {
        r.safe(type.isEmpty() ? QStringLiteral("byte-range locks: work") : QStringLiteral("byte-range locks: work (%1)").arg(type));
    }
}

// Whether hard links and O_EXCL work, which make new results files and lock
// files appear whole and once.
void checkCreation(TReport &r, const QByteArray &folder)
{
    const QByteArray probe = probeName(folder, ".tmp");
    const QByteArray linked = probeName(folder, ".lnk");
    const int fd = createExclusive(probe);
    if (fd < 0) {
        r.bad(QStringLiteral("cannot create a file here: %1").arg(errText(errno)),
              QStringLiteral("give every pupil's account write access to the folder"));
        return;
    }
    ::close(fd);
    const int again = createExclusive(probe);
    if (again >= 0) {
        ::close(again);
        r.bad(QStringLiteral("O_EXCL: a second exclusive create of one name succeeded"),
              QStringLiteral("use NFSv3 or later, or SMB 2 or later"));
    } else {
        r.safe(QStringLiteral("O_EXCL: a name is created once"));
    }
    if (FsHooks().Link(probe.constData(), linked.constData()) == 0) {
        struct stat st;
        r.safe(::stat(probe.constData(), &st) == 0 && st.st_nlink == 2
                   ? QStringLiteral("hard links: work")
                   : QStringLiteral("hard links: work (the link count lags; lock files check it)"));
        ::unlink(linked.constData());
    } else if (FileLocks::LinksUnsupported(errno)) {
        r.safe(QStringLiteral("hard links: not supported; O_EXCL is used instead"));
    } else {
        r.bad(QStringLiteral("hard links: %1").arg(errText(errno)), QString());
    }
    ::unlink(probe.constData());
}

void checkNewResultsFile(TReport &r, const QString &folder)
{
    const QString probe = QDir(folder).filePath(QStringLiteral(".res-%1-check.res").arg(::getpid()));
    TResultRecord rec;
    rec.When = QDateTime::currentDateTime();
    rec.TestName = QStringLiteral("check-share");
    QString error;
    const TAppendOutcome outcome = AppendResultOnce(probe, rec, &error, ResultsFolderOf(probe));
    struct stat file, dir;
    const QByteArray native = QFile::encodeName(probe);
    const bool stated = ::stat(native.constData(), &file) == 0 && ::stat(QFile::encodeName(folder).constData(), &dir) == 0;
    ::unlink(native.constData());
    ::unlink((native + ".lock").constData());
    if (outcome != TAppendOutcome::Written || !stated) {
        r.bad(QStringLiteral("a results line could not be written: %1").arg(error), QString());
        return;
    }
    r.safe(QStringLiteral("results append: written, read back whole"));
    const QString mode = QString::number(file.st_mode & 0777, 8);
    QString mountMode;
    if (FileLocks::ModesFromMount(quint64(dir.st_dev), &mountMode)) {
        // The bits seen here are the mount's, the same for every file: only the
        // server knows whether another pupil's account may write the file.
        r.note(QStringLiteral("a new results file's permissions cannot be seen from this computer: the mount shows "
                              "every file as mode %1; another pupil's result is written only if the share lets "
                              "every pupil's account write files others made")
                   .arg(mountMode.isEmpty() ? mode : mountMode),
               QStringLiteral("on Samba \"inherit permissions = yes\" or \"create mask = 0666\" with "
                              "\"force create mode = 0666\"; try check-share from a second pupil's account"));
        return;
    }
    if (file.st_mode & S_IWOTH) {
        r.safe(QStringLiteral("a new results file is writable by every account (mode %1)").arg(mode));
    } else if ((file.st_mode & S_IWGRP) && file.st_gid == dir.st_gid && (dir.st_mode & S_ISGID)) {
        r.safe(QStringLiteral("a new results file is writable by the folder's group (mode %1)").arg(mode));
    } else if (file.st_mode & S_IWGRP) {
        r.bad(QStringLiteral("a new results file is writable by its creator's group only (mode %1); "
                             "pupils of other groups fail").arg(mode),
              QStringLiteral("give the folder the pupils' group and the set-group-ID bit (chgrp pupils; chmod 2770)"));
    } else {
        r.bad(QStringLiteral("a new results file is writable by its creator alone (mode %1): "
                             "every other pupil's result fails").arg(mode),
              QStringLiteral("on Samba \"inherit permissions = yes\" or \"create mask = 0666\" with "
                             "\"force create mode = 0666\"; on a Linux folder chmod 2770 and the pupils' group"));
    }
}

// A save renames its new file over the old one, which a player may hold open.
void checkRenameOverOpen(TReport &r, const QByteArray &folder)
{
    const QByteArray old = probeName(folder, ".tmp"), fresh = probeName(folder, ".tmp");
    const int held = createExclusive(old);
    const int made = createExclusive(fresh);
    if (held < 0 || made < 0) {
        if (held >= 0)
            ::close(held);
        if (made >= 0)
            ::close(made);
        ::unlink(old.constData());
        ::unlink(fresh.constData());
        return;
    }
    ::close(made);
    const bool renamed = FsHooks().Rename(fresh.constData(), old.constData()) == 0;
    const int err = errno;
    ::close(held);
    ::unlink(old.constData());
    ::unlink(fresh.constData());
    if (renamed)
        r.safe(QStringLiteral("rename over an open file: works (tests can be saved while a player has them open)"));
    else
        r.bad(QStringLiteral("rename over an open file: refused (%1); saving a test open in a player or editor on "
                             "this computer fails, the old test is kept").arg(errText(err)),
              QStringLiteral("save tests while no player or editor on this computer has them open; "
                             "a refused save keeps the old test and says so"));
}

}  // namespace

int CmdCheckShare(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {}, 1, 1);
    const QString folder = QFileInfo(a.positional.first()).absoluteFilePath();
    struct stat st;
    const QByteArray native = QFile::encodeName(folder);
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ToolError(QStringLiteral("%1: not a folder").arg(folder));
    QString type;
    FileLocks::LocalLockOptions(quint64(st.st_dev), &type);
    TReport r;
    r.text = QStringLiteral("Folder: %1%2\n").arg(folder, type.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(type));
    checkLocks(r, native, quint64(st.st_dev), type);
    checkCreation(r, native);
    checkNewResultsFile(r, folder);
    checkRenameOverOpen(r, native);
    r.text += r.unsafe ? QStringLiteral("Some settings are unsafe; mend them as shown.\n")
                       : QStringLiteral("Every check passed.\n");
    WriteOut(r.text);
    return r.unsafe ? exitFailed : exitOk;
}

}  // namespace Qe2Tool
