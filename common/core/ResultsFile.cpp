#include "ResultsFile.h"

#include "Ansi.h"
#include "Clock.h"
#include "FileLocks.h"
#include "FsHooks.h"
#include "Scoring.h"

#include <QFile>

#include <algorithm>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

int OpenExisting(const QByteArray &native)
{
    int fd;
    do
        fd = ::open(native.constData(), kOpenFlags);
    while (fd < 0 && errno == EINTR);
    return fd;
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

bool LinksUnsupported(int err)
{
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
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
            return LinksUnsupported(errno);
    }
    return false;
}

enum class TCreate { Linked, Exists, Unsupported, Failed };

// Puts a file holding only the header under the name, all at once: a second
// player either sees no file or a file with its header, never an empty one it
// would append to before the header is in.
TCreate CreateWithHeader(const QByteArray &native, int *err)
{
    const QByteArray header = ResultsHeaderLine();
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
    if (!WriteAll(fd.get(), header, &written, err) || !SyncData(fd.get(), err)) {
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
        else if (LinksUnsupported(errno))
            outcome = TCreate::Unsupported;
        else
            outcome = TCreate::Failed;
    }
    ::unlink(tmp.constData());
    return outcome;
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

TAppendOutcome AppendResultOnce(const QString &path, const TResultRecord &rec, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) {
        SetError(error, path, QStringLiteral("no file name"));
        return TAppendOutcome::Failed;
    }
    QByteArray text = ResultsDataLine(rec);
    int err = 0;
    bool noHardLinks = false;

    TFd fd(OpenExisting(native));
    if (fd.get() < 0 && errno == ENOENT) {
        switch (CreateWithHeader(native, &err)) {
        case TCreate::Linked:
        case TCreate::Exists:
            fd.reset(OpenExisting(native));
            break;
        case TCreate::Unsupported: {
            // No hard links here (SMB mounts): the file appears empty, and
            // whoever finds it empty under the lock below writes the header.
            noHardLinks = true;
            int created;
            do
                created = ::open(native.constData(), kOpenFlags | O_CREAT | O_EXCL, 0666);
            while (created < 0 && errno == EINTR);
            if (created >= 0)
                ShareLikeFolder(created, FolderOf(native));
            else if (errno == EEXIST)
                created = OpenExisting(native);
            fd.reset(created);
            break;
        }
        case TCreate::Failed:
            SetError(error, path, SysError("create", err));
            return TAppendOutcome::Failed;
        }
    }
    if (fd.get() < 0) {
        SetError(error, path, errno == ELOOP ? QStringLiteral("a symbolic link, not written through")
                                             : SysError("open", errno));
        return TAppendOutcome::Failed;
    }

    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        SetError(error, path, SysError("stat", errno));
        return TAppendOutcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        SetError(error, path, QStringLiteral("not a regular file"));
        return TAppendOutcome::Failed;
    }

    // Where no lock can be had at all (NFS without a lock manager) the append
    // goes on unguarded, the best there is; the size check below still keeps
    // the cut-back from taking anyone else's line.
    if (FileLocks::TryLock(fd.get(), true) == FileLocks::TLockResult::Held) {
        SetError(error, path, QStringLiteral("locked by another writer"));
        return TAppendOutcome::Failed;
    }

    const off_t end = ::lseek(fd.get(), 0, SEEK_END);
    if (end < 0) {
        SetError(error, path, SysError("seek", errno));
        return TAppendOutcome::Failed;
    }
    if (end == 0 && (noHardLinks || FolderLacksHardLinks(native)))
        text.prepend(ResultsHeaderLine());
    qsizetype written = 0;
    if (!WriteAll(fd.get(), text, &written, &err) || !SyncData(fd.get(), &err)) {
        // Take back what part of the line got in, so the next attempt writes it
        // whole; but only when the end is still ours: where locks hold on one
        // computer only, another may have appended meanwhile.
        struct stat now;
        if (::fstat(fd.get(), &now) == 0 && now.st_size == end + off_t(written)) {
            if (::ftruncate(fd.get(), end) == 0)
                FsHooks().DataSync(fd.get());
            SetError(error, path, SysError("write", err));
        } else {
            SetError(error, path, SysError("write", err) + QStringLiteral("; the file changed meanwhile, left as it is"));
        }
        return TAppendOutcome::Failed;
    }
    return TAppendOutcome::Written;
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

bool AppendResultSeries(const QString &path, const TResultRecord &rec,
                        const std::function<void(int)> &onAttempt,
                        const std::function<void()> &pump, int maxAttempts)
{
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        if (onAttempt)
            onAttempt(attempt);
        if (AppendResultOnce(path, rec) == TAppendOutcome::Written)
            return true;
        // After the last one the question comes at once.
        if (attempt + 1 < maxAttempts)
            QeClock::Sleep(BackOffMs(attempt + 1));
        if (pump)
            pump();
    }
    return false;
}
