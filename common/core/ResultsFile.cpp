#include "ResultsFile.h"

#include "Ansi.h"
#include "Clock.h"
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

bool WriteAll(int fd, const QByteArray &data, int *err)
{
    const char *p = data.constData();
    qsizetype left = data.size();
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
    }
    return true;
}

bool SyncData(int fd, int *err)
{
    while (::fdatasync(fd) != 0) {
        if (errno != EINTR) {
            *err = errno;
            return false;
        }
    }
    return true;
}

int OpenExisting(const QByteArray &native)
{
    int fd;
    // O_NONBLOCK: a FIFO planted under the name must not hang the player.
    do
        fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    return fd;
}

enum class TCreate { Linked, Exists, Unsupported, Failed };

// Puts a file holding only the header under the name, all at once: a second
// player either sees no file or a file with its header, never an empty one it
// would append to before the header is in.
TCreate CreateWithHeader(const QByteArray &native, int *err)
{
    const QByteArray header = ResultsHeaderLine();
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray dir = slash >= 0 ? native.left(slash + 1) : QByteArray();

    QByteArray tmp;
    TFd fd;
    for (int tries = 0; tries < 16 && fd.get() < 0; ++tries) {
        // Short, so that a name near the length limit still gets its file.
        tmp = dir + ".res-" + QByteArray::number(::getpid()) + '-'
              + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
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
    if (!WriteAll(fd.get(), header, err) || !SyncData(fd.get(), err)) {
        fd.reset();
        ::unlink(tmp.constData());
        return TCreate::Failed;
    }
    fd.reset();

    TCreate outcome = TCreate::Linked;
    if (::link(tmp.constData(), native.constData()) != 0) {
        *err = errno;
        if (errno == EEXIST)
            outcome = TCreate::Exists;
        else if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS)
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

    TFd fd(OpenExisting(native));
    if (fd.get() < 0 && errno == ENOENT) {
        switch (CreateWithHeader(native, &err)) {
        case TCreate::Linked:
        case TCreate::Exists:
            fd.reset(OpenExisting(native));
            break;
        case TCreate::Unsupported: {
            // No hard links here (some network shares): plain exclusive creation,
            // locked at once so the header goes in before any other line.
            int created;
            do
                created = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0666);
            while (created < 0 && errno == EINTR);
            if (created >= 0)
                text.prepend(ResultsHeaderLine());
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
        SetError(error, path, SysError("open", errno));
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

    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) {
        const int e = errno;
        SetError(error, path, (e == EAGAIN || e == EACCES)
                 ? QStringLiteral("locked by another writer") : SysError("lock", e));
        return TAppendOutcome::Failed;
    }

    const off_t end = ::lseek(fd.get(), 0, SEEK_END);
    if (end < 0) {
        SetError(error, path, SysError("seek", errno));
        return TAppendOutcome::Failed;
    }
    if (!WriteAll(fd.get(), text, &err) || !SyncData(fd.get(), &err)) {
        // Take back what part of the line got in: the next attempt writes it whole.
        if (::ftruncate(fd.get(), end) == 0)
            ::fdatasync(fd.get());
        SetError(error, path, SysError("write", err));
        return TAppendOutcome::Failed;
    }
    return TAppendOutcome::Written;
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
        QeClock::Sleep(int(QeClock::Random(3)) * 1000);
        if (pump)
            pump();
    }
    return false;
}
