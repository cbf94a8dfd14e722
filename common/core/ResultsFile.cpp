#include "ResultsFile.h"

#include "Ansi.h"
#include "Clock.h"
#include "FileLocks.h"
#include "FsHooks.h"
#include "Scoring.h"

#include <QFile>

#include <algorithm>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>

namespace {

// A TAB or line break typed by the examinee would split the line or its fields.
QString OneField(QString text)
{
    for (QChar &c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return text;
}

QString SysError(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

void SetError(QString *error, const QString &path, const QString &text)
{
    if (error)
        *error = path + QStringLiteral(": ") + text;
}

class TFd {
public:
    explicit TFd(int fd = -1) : m_fd(fd) {}
    ~TFd() { reset(); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
private:
    int m_fd;
};

bool WriteAll(int fd, const QByteArray &data, qsizetype *written, int *err)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    *written = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        if (n == 0) {
            *err = EIO;
            return false;
        }
        p += n;
        left -= n;
        *written += n;
    }
    return true;
}

bool SyncData(int fd, int *err)
{
    while (FsHooks().DataSync(fd) != 0) {
        if (errno != EINTR) {
            *err = errno;
            return false;
        }
    }
    return true;
}

// The results folder is writable by every pupil, so anything may be planted
// under the name: O_NOFOLLOW so that a link to another user's file is not
// written through, O_NONBLOCK so that a FIFO does not hang the player.
const int kOpenFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;

// Opens with the flags, and without O_DIRECT where a file system refuses it.
int OpenWith(const QByteArray &native, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(native.constData(), flags, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EINVAL && (flags & O_DIRECT))
        return OpenWith(native, flags & ~O_DIRECT, mode);
    return fd;
}

int OpenExisting(const QByteArray &native, int ioFlags) { return OpenWith(native, kOpenFlags | ioFlags); }

// On a network share a client's page cache may write back whole pages that
// hold stale bytes (zeros) where other computers' lines now are; uncached
// reads and writes carry only our bytes, and read back what the server has.
int IoFlagsFor(const QByteArray &folder)
{
    struct statfs fs;
    if (::statfs(folder.isEmpty() ? "." : folder.constData(), &fs) != 0)
        return 0;
    switch (quint32(fs.f_type)) {
    case 0xFF534D42u:  // CIFS
    case 0xFE534D42u:  // SMB2 and later
    case 0x6969u:      // NFS
        return O_DIRECT;
    default:
        return 0;
    }
}

QByteArray FolderOf(const QByteArray &native)
{
    const qsizetype slash = native.lastIndexOf('/');
    return slash >= 0 ? native.left(slash + 1) : QByteArray();
}

// A new file is for everyone who may write into its folder, as a Windows file
// inherits its folder's permissions: read and write for each class that can
// write the folder, and the folder's group when the folder passes its group on.
// Best effort: a network mount may fix both itself.
void ShareLikeFolder(int fd, const QByteArray &folder)
{
    struct stat dir, file;
    if (::stat(folder.isEmpty() ? "." : folder.constData(), &dir) != 0 || ::fstat(fd, &file) != 0)
        return;
    if ((dir.st_mode & S_ISGID) && file.st_gid != dir.st_gid)
        (void)::fchown(fd, uid_t(-1), dir.st_gid);
    mode_t mode = (file.st_mode & 0777) | S_IRUSR | S_IWUSR;
    if (dir.st_mode & S_IWGRP)
        mode |= S_IRGRP | S_IWGRP;
    if (dir.st_mode & S_IWOTH)
        mode |= S_IROTH | S_IWOTH;
    (void)::fchmod(fd, mode);
}

QByteArray TemporaryName(const QByteArray &folder, const char *suffix)
{
    // Short, so that a name near the length limit still gets its file.
    return folder + ".res-" + QByteArray::number(::getpid()) + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 16) + suffix;
}

// Whether the results file's folder lacks hard links, tried by linking the
// file itself under a temporary name. Only asked about an empty file: where
// links work, files are created with their header, so an empty one was made
// empty by someone else and gets no header.
bool FolderLacksHardLinks(const QByteArray &native)
{
    const QByteArray folder = FolderOf(native);
    for (int tries = 0; tries < 4; ++tries) {
        const QByteArray probe = TemporaryName(folder, ".lnk");
        if (FsHooks().Link(native.constData(), probe.constData()) == 0) {
            ::unlink(probe.constData());
            return false;
        }
        if (errno != EEXIST)
            return FileLocks::LinksUnsupported(errno);
    }
    return false;
}

enum class TCreate { Linked, Exists, Unsupported, Failed };

// Puts a file holding only the header under the name, all at once: a second
// player either sees no file or a file with its header, never an empty one it
// would append to before the header is in.
TCreate CreateWithHeader(const QByteArray &native, const QByteArray &header, int *err)
{
    const QByteArray dir = FolderOf(native);

    QByteArray tmp;
    TFd fd;
    for (int tries = 0; tries < 16 && fd.get() < 0; ++tries) {
        tmp = TemporaryName(dir, ".tmp");
        fd.reset(::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0 && errno != EEXIST && errno != EINTR) {
            *err = errno;
            return TCreate::Failed;
        }
    }
    if (fd.get() < 0) {
        *err = EEXIST;
        return TCreate::Failed;
    }
    ShareLikeFolder(fd.get(), dir);
    qsizetype written;
    if ((!header.isEmpty() && !WriteAll(fd.get(), header, &written, err)) || !SyncData(fd.get(), err)) {
        fd.reset();
        ::unlink(tmp.constData());
        return TCreate::Failed;
    }
    fd.reset();

    TCreate outcome = TCreate::Linked;
    if (FsHooks().Link(tmp.constData(), native.constData()) != 0) {
        *err = errno;
        if (errno == EEXIST)
            outcome = TCreate::Exists;
        else if (FileLocks::LinksUnsupported(errno))
            outcome = TCreate::Unsupported;
        else
            outcome = TCreate::Failed;
    }
    ::unlink(tmp.constData());
    return outcome;
}

// What a failed attempt could not take back at the end of the file; the next
// attempt of the series settles it under the lock before it appends.
struct TLeftOver {
    bool Active = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t At = 0;
    QByteArray Text;
};

bool SameFile(int fd, const struct stat &file)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino;
}

int OpenPlain(const QByteArray &native, int flags) { return OpenWith(native, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }

enum class TRegion { Line, Gone, Repairable, Foreign, Unreadable };

// What is at `at` now, read through a new descriptor with the cached pages
// dropped, so that the file server answers, not our own cache. Repairable:
// only zeros (what a write the server lost leaves) and bytes of our text.
TRegion Examine(const QByteArray &native, const struct stat &file, off_t at, const QByteArray &text, int ioFlags)
{
    TFd fd(OpenPlain(native, O_RDONLY | ioFlags));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return TRegion::Unreadable;
    if (st.st_dev != file.st_dev || st.st_ino != file.st_ino)
        return TRegion::Foreign;
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (st.st_size <= at)
        return TRegion::Gone;
    QByteArray got(qsizetype(std::min<off_t>(text.size(), st.st_size - at)), '\0');
    qsizetype have = 0;
    while (have < got.size()) {
        const ssize_t n = ::pread(fd.get(), got.data() + have, size_t(got.size() - have), at + have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return TRegion::Unreadable;
        have += n;
    }
    if (got == text)
        return TRegion::Line;
    for (qsizetype i = 0; i < got.size(); ++i)
        if (got[i] != '\0' && got[i] != text[i])
            return TRegion::Foreign;
    // Zeros running on past our text's end were left by a longer write:
    // not ours to fill.
    if (st.st_size > at + off_t(text.size())) {
        char next = 1;
        ssize_t n;
        do
            n = ::pread(fd.get(), &next, 1, at + off_t(text.size()));
        while (n < 0 && errno == EINTR);
        if (n != 1 || next == '\0')
            return TRegion::Foreign;
    }
    return TRegion::Repairable;
}

// Our text over a region that is only ours or zeros: never past its end, so
// whatever others appended after it stays.
bool Rewrite(const QByteArray &native, const struct stat &file, off_t at, const QByteArray &text, int ioFlags)
{
    // Not O_APPEND, under which pwrite appends.
    TFd fd(OpenPlain(native, O_WRONLY | ioFlags));
    if (fd.get() < 0 || !SameFile(fd.get(), file))
        return false;
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::pwrite(fd.get(), text.constData() + done, size_t(text.size() - done), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    int err;
    if (!SyncData(fd.get(), &err))
        return false;
    fd.reset();
    return Examine(native, file, at, text, ioFlags) == TRegion::Line;
}

// Cuts the file back to `at` when all past it is what our text could have left.
bool TakeBack(const QByteArray &native, const struct stat &file, off_t at, const QByteArray &text, int ioFlags)
{
    TFd fd(OpenPlain(native, O_WRONLY | ioFlags));
    struct stat st;
    if (fd.get() < 0 || !SameFile(fd.get(), file) || ::fstat(fd.get(), &st) != 0
        || st.st_size > at + off_t(text.size()))
        return false;
    if (st.st_size <= at)
        return true;
    if (FsHooks().Truncate(fd.get(), at) != 0)
        return false;
    FsHooks().DataSync(fd.get());
    return true;
}

enum class TSettled { Written, Clean, Left, Foreign };

// After a write that failed or did not read back: the line put in whole, or
// what it left taken back, or else left for the next attempt to settle.
TSettled Settle(const QByteArray &native, const struct stat &file, off_t at, const QByteArray &text, int ioFlags)
{
    switch (Examine(native, file, at, text, ioFlags)) {
    case TRegion::Gone:
        return TSettled::Clean;
    case TRegion::Foreign:
        return TSettled::Foreign;
    case TRegion::Line:
    case TRegion::Repairable:
        if (Rewrite(native, file, at, text, ioFlags))
            return TSettled::Written;
        break;
    case TRegion::Unreadable:
        break;
    }
    return TakeBack(native, file, at, text, ioFlags) ? TSettled::Clean : TSettled::Left;
}

// Temporary files of attempts that could not clean up after themselves (a
// crash, a server gone mid-way): removed once clearly nobody's.
void SweepLeftovers(const QByteArray &folder)
{
    const int kAgeSeconds = 600;
    DIR *dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (!name.startsWith(".res-") || !(name.endsWith(".tmp") || name.endsWith(".lnk") || name.endsWith(".lck")
                                            || name.endsWith(".brk")))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && now - st.st_mtime > kAgeSeconds)
            (void)::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

// Opens the results file, creating it with its header when missing; -1 with
// error set on failure. noHardLinks: created where links are refused.
int OpenOrCreate(const QString &path, const QByteArray &native, const QByteArray &header, bool *noHardLinks,
                 int ioFlags, QString *error)
{
    int err = 0;
    TFd fd(OpenExisting(native, ioFlags));
    if (fd.get() < 0 && errno == ENOENT) {
        switch (CreateWithHeader(native, header, &err)) {
        case TCreate::Linked:
        case TCreate::Exists:
            fd.reset(OpenExisting(native, ioFlags));
            break;
        case TCreate::Unsupported: {
            // No hard links here (SMB mounts): the file appears empty, and
            // whoever finds it empty under the lock below writes the header.
            *noHardLinks = true;
            int created = OpenWith(native, kOpenFlags | O_CREAT | O_EXCL | ioFlags, 0666);
            if (created >= 0)
                ShareLikeFolder(created, FolderOf(native));
            else if (errno == EEXIST)
                created = OpenExisting(native, ioFlags);
            fd.reset(created);
            break;
        }
        case TCreate::Failed:
            SetError(error, path, SysError("create", err));
            return -1;
        }
    }
    if (fd.get() < 0) {
        SetError(error, path, errno == ELOOP ? QStringLiteral("a symbolic link, not written through")
                                             : SysError("open", errno));
        return -1;
    }
    return fd.release();
}

struct TAttempt {
    QByteArray Header;  // what a new file starts with
    TResultsFolder Folder;
    TLeftOver *Left = nullptr;
    // With a time limit: Running until the waiter gives up (Abandoned) or
    // the write begins (Writing), whichever comes first.
    std::atomic<int> *Phase = nullptr;
};
enum { Running, Abandoned, Writing };

TAppendOutcome Attempt(const QString &path, const QByteArray &line, const TAttempt &a, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) {
        SetError(error, path, QStringLiteral("no file name"));
        return TAppendOutcome::Failed;
    }
    const QByteArray folder = FolderOf(native);
    struct stat dir;
    if (::stat(folder.isEmpty() ? "." : folder.constData(), &dir) != 0) {
        SetError(error, path, SysError("folder", errno));
        return TAppendOutcome::Failed;
    }
    // A share unmounted under the player leaves the path to a local folder.
    if (a.Folder.Known && (quint64(dir.st_dev) != a.Folder.Device || quint64(dir.st_ino) != a.Folder.Inode)) {
        SetError(error, path, QStringLiteral("the results folder is no longer the one the test started with"));
        return TAppendOutcome::Failed;
    }

    // Where byte-range locks stay on this computer, or there are none, or a
    // server restart may drop them under a write, a lock file beside the
    // results file keeps the other computers out.
    const int ioFlags = IoFlagsFor(folder);
    FileLocks::TLockFile lockFile(native + ".lock");
    bool needLockFile =
        FileLocks::LocksStayLocal(quint64(dir.st_dev)) || FileLocks::ServerForgetsLocks(quint64(dir.st_dev));
    bool noHardLinks = false;
    TFd fd;
    struct stat st;
    for (;;) {
        int err = 0;
        if (needLockFile && !lockFile.held()) {
            const FileLocks::TLockFile::TResult r = lockFile.take(&err);
            if (r != FileLocks::TLockFile::Taken) {
                SetError(error, path, r == FileLocks::TLockFile::Held ? QStringLiteral("locked by another writer")
                                                                      : SysError("lock file", err));
                return TAppendOutcome::Failed;
            }
        }
        fd.reset(OpenOrCreate(path, native, a.Header, &noHardLinks, ioFlags, error));
        if (fd.get() < 0)
            return TAppendOutcome::Failed;
        if (::fstat(fd.get(), &st) != 0) {
            SetError(error, path, SysError("stat", errno));
            return TAppendOutcome::Failed;
        }
        if (!S_ISREG(st.st_mode)) {
            SetError(error, path, QStringLiteral("not a regular file"));
            return TAppendOutcome::Failed;
        }
        // The share may have gone between the look at the folder and the
        // open, which then found a file on the local disk: looked at again.
        struct stat again;
        if (a.Folder.Known
            && (::stat(folder.isEmpty() ? "." : folder.constData(), &again) != 0
                || quint64(again.st_dev) != a.Folder.Device || quint64(again.st_ino) != a.Folder.Inode)) {
            SetError(error, path, QStringLiteral("the results folder is no longer the one the test started with"));
            return TAppendOutcome::Failed;
        }
        const FileLocks::TLockResult lock = FileLocks::TryLock(fd.get(), true);
        if (lock == FileLocks::TLockResult::Held) {
            SetError(error, path, QStringLiteral("locked by another writer"));
            return TAppendOutcome::Failed;
        }
        if (lock == FileLocks::TLockResult::Taken || lockFile.held())
            break;
        // No lock manager (ENOLCK): again under the lock file, opened afresh
        // so that the size is the server's.
        needLockFile = true;
    }

    if (a.Left && a.Left->Active) {
        const TLeftOver left = *a.Left;
        a.Left->Active = false;
        if (left.Dev == st.st_dev && left.Ino == st.st_ino) {
            switch (Settle(native, st, left.At, left.Text, ioFlags)) {
            case TSettled::Written:
                return TAppendOutcome::Written;
            case TSettled::Left:
                a.Left->Active = true;
                SetError(error, path, QStringLiteral("an earlier write could not be settled"));
                return TAppendOutcome::Failed;
            case TSettled::Clean:
            case TSettled::Foreign:
                break;
            }
        }
    }

    const off_t end = ::lseek(fd.get(), 0, SEEK_END);
    if (end < 0) {
        SetError(error, path, SysError("seek", errno));
        return TAppendOutcome::Failed;
    }
    QByteArray text = line;
    if (end == 0 && !a.Header.isEmpty() && (noHardLinks || FolderLacksHardLinks(native)))
        text.prepend(a.Header);
    int running = Running;
    if (a.Phase && !a.Phase->compare_exchange_strong(running, Writing)) {
        SetError(error, path, QStringLiteral("given up"));
        return TAppendOutcome::Failed;
    }
    qsizetype written = 0;
    int err = 0;
    const bool put = WriteAll(fd.get(), text, &written, &err) && SyncData(fd.get(), &err);
    fd.reset();
    if (put && Examine(native, st, end, text, ioFlags) == TRegion::Line) {
        SweepLeftovers(folder);
        return TAppendOutcome::Written;
    }
    const QString what = put ? QStringLiteral("read back: not what was written") : SysError("write", err);
    // Put right what the write left when it is still ours alone; where locks
    // hold on one computer only, another may have appended meanwhile.
    switch (Settle(native, st, end, text, ioFlags)) {
    case TSettled::Written:
        SweepLeftovers(folder);
        return TAppendOutcome::Written;
    case TSettled::Clean:
        // A server back from an outage may yet grow the file by what it
        // lost of this write (zeros): the next attempt looks here again.
        if (a.Left)
            *a.Left = TLeftOver{true, st.st_dev, st.st_ino, end, text};
        SetError(error, path, what);
        break;
    case TSettled::Left:
        if (a.Left)
            *a.Left = TLeftOver{true, st.st_dev, st.st_ino, end, text};
        SetError(error, path, what + QStringLiteral("; the line could not be taken back yet"));
        break;
    case TSettled::Foreign:
        SetError(error, path, what + QStringLiteral("; the file changed meanwhile, left as it is"));
        break;
    }
    return TAppendOutcome::Failed;
}

// One attempt on a thread of its own, given up after limitMs (a hung lock
// call or server must not freeze the window); pump runs meanwhile. An attempt
// whose write had begun is not given up but waited for by the next one: it may
// yet put the line in (a server back from an outage), and a second write of
// the same line would put it in twice.
struct TTimedAttempt {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::atomic<int> Phase{Running};
    TLeftOver Left;
    TAppendOutcome Outcome = TAppendOutcome::Failed;
    QString Error;
    QString Path;
    QByteArray Line;
};
std::mutex g_unfinishedMutex;
std::shared_ptr<TTimedAttempt> g_unfinished;  // a write still under way when its attempt's time ran out
struct TSeriesLeft {
    QString Path;
    QByteArray Line;
    TLeftOver Left;
};
TSeriesLeft g_lastLeft;  // what the last series that failed left at the end of its file

bool AttemptWithLimit(const QString &path, const QByteArray &header, const QByteArray &line,
                      const TResultsFolder &folder, TLeftOver *left, int limitMs,
                      const std::function<void()> &pump, QString *error)
{
    std::shared_ptr<TTimedAttempt> shared;
    {
        std::lock_guard<std::mutex> guard(g_unfinishedMutex);
        if (g_unfinished && g_unfinished->Path == path && g_unfinished->Line == line)
            shared = g_unfinished;
        g_unfinished.reset();
    }
    if (!shared) {
        shared = std::make_shared<TTimedAttempt>();
        shared->Left = *left;
        shared->Path = path;
        shared->Line = line;
        std::thread([shared, path, header, line, folder] {
            QString error;
            const TAppendOutcome outcome =
                Attempt(path, line, {header, folder, &shared->Left, &shared->Phase}, &error);
            std::lock_guard<std::mutex> lock(shared->Mutex);
            shared->Error = error;
            shared->Outcome = outcome;
            shared->Finished = true;
            shared->Done.notify_all();
        }).detach();
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    std::unique_lock<std::mutex> lock(shared->Mutex);
    while (!shared->Finished) {
        if (std::chrono::steady_clock::now() >= until) {
            int running = Running;
            if (!shared->Phase.compare_exchange_strong(running, Abandoned)) {
                std::lock_guard<std::mutex> guard(g_unfinishedMutex);
                g_unfinished = shared;
                SetError(error, path, QStringLiteral("the write has not finished within %1 ms").arg(limitMs));
            } else {
                SetError(error, path, QStringLiteral("no answer within %1 ms").arg(limitMs));
            }
            return false;
        }
        shared->Done.wait_for(lock, std::chrono::milliseconds(20));
        if (pump && !shared->Finished) {
            lock.unlock();
            pump();
            lock.lock();
        }
    }
    *left = shared->Left;
    if (error)
        *error = shared->Error;
    return shared->Outcome == TAppendOutcome::Written;
}

} // namespace

QByteArray ResultsHeaderLine()
{
    return ToAnsi(QStringLiteral("Дата\tВремя\tТест\tФамилия\tИмя\tОтчество\tДоп. инф.\tБалл\t"
                                  "Возможный балл\tПроцент\r\n"));
}

QByteArray ResultsDataLine(const TResultRecord &rec)
{
    // A record without a time still gets a readable one rather than "-1:-1".
    const QDateTime when = rec.When.isValid() ? rec.When : QDateTime::currentDateTime();
    const QDate d = when.date();
    const QTime t = when.time();
    const QString date = QString::asprintf("%02d.%02d.%02d", d.day(), d.month(), d.year() % 100);
    const QString time = QString::asprintf("%d:%02d", t.hour(), t.minute());
    const QStringList fields{
        date, time,
        OneField(rec.TestName), OneField(rec.LastName), OneField(rec.FirstName),
        OneField(rec.Patronymic), OneField(rec.Extra),
        QString::number(rec.Score), QString::number(rec.PossibleScore),
        FormatPercent(rec.Score, rec.PossibleScore),
    };
    return ToAnsi(fields.join(QLatin1Char('\t')) + QStringLiteral("\r\n"));
}

QString EmbeddedResultsPath(const QString &testPath)
{
    // The stored name may come from either system: "C:\Tests\x.qe2" or "/srv/x.qe2".
    qsizetype cut = std::max(testPath.lastIndexOf(QLatin1Char('/')), testPath.lastIndexOf(QLatin1Char('\\')));
    if (cut < 0 && testPath.size() >= 2 && testPath.at(1) == QLatin1Char(':') && testPath.at(0).isLetter())
        cut = 1;  // "C:name.qe2", relative to a drive
    QString name = testPath.mid(cut + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name + QStringLiteral(".res");
}

TResultsFolder ResultsFolderOf(const QString &path)
{
    const QByteArray folder = FolderOf(QFile::encodeName(path));
    struct stat st;
    TResultsFolder f;
    if (::stat(folder.isEmpty() ? "." : folder.constData(), &st) == 0)
        f = TResultsFolder{true, quint64(st.st_dev), quint64(st.st_ino)};
    return f;
}

TAppendOutcome AppendResultOnce(const QString &path, const TResultRecord &rec, QString *error,
                                const TResultsFolder &folder)
{
    return Attempt(path, ResultsDataLine(rec), {ResultsHeaderLine(), folder, nullptr, nullptr}, error);
}

// Milliseconds to wait after failed attempt number `failed` (1 on): any value
// from a range that widens with each failure, so that the players of a whole
// class that failed together spread out instead of meeting again.
static int BackOffMs(int failed)
{
    const int low = 50;
    const int high = std::min(2000, 500 << std::min(failed - 1, 2));  // 500, 1000, 2000 ms
    return low + int(QeClock::Random(quint32(high - low + 1)));
}

static bool AppendSeries(const QString &path, const QByteArray &header, const QByteArray &line,
                         const std::function<void(int)> &onAttempt, const std::function<void()> &pump,
                         int maxAttempts, const TResultsFolder &folder, int attemptLimitMs, QString *error)
{
    // What an earlier series left of this very line is settled first: the
    // player asks again with the same line after its retry question.
    TLeftOver left;
    {
        std::lock_guard<std::mutex> guard(g_unfinishedMutex);
        if (g_lastLeft.Path == path && g_lastLeft.Line == line)
            left = g_lastLeft.Left;
        g_lastLeft = {};
    }
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        if (onAttempt)
            onAttempt(attempt);
        const bool written = attemptLimitMs > 0
            ? AttemptWithLimit(path, header, line, folder, &left, attemptLimitMs, pump, error)
            : Attempt(path, line, {header, folder, &left, nullptr}, error) == TAppendOutcome::Written;
        if (written)
            return true;
        // After the last one the question comes at once.
        if (attempt + 1 < maxAttempts)
            QeClock::Sleep(BackOffMs(attempt + 1));
        if (pump)
            pump();
    }
    if (left.Active) {
        std::lock_guard<std::mutex> guard(g_unfinishedMutex);
        g_lastLeft = TSeriesLeft{path, line, left};
    }
    return false;
}

bool AppendResultSeries(const QString &path, const TResultRecord &rec,
                        const std::function<void(int)> &onAttempt,
                        const std::function<void()> &pump, int maxAttempts,
                        const TResultsFolder &folder, int attemptLimitMs)
{
    return AppendSeries(path, ResultsHeaderLine(), ResultsDataLine(rec), onAttempt, pump, maxAttempts, folder,
                        attemptLimitMs, nullptr);
}

bool AppendRecordSeries(const QString &path, const QByteArray &record, const std::function<void()> &pump,
                        int maxAttempts, const TResultsFolder &folder, int attemptLimitMs, QString *error)
{
    return AppendSeries(path, QByteArray(), record, {}, pump, maxAttempts, folder, attemptLimitMs, error);
}
