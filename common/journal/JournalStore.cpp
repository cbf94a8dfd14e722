#include "JournalStore.h"

#include "FileLocks.h"
#include "FsHooks.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString SystemFolder = QStringLiteral("quizengine2");
const QString RunsFolder = QStringLiteral("runs");
const QString InterruptedName = QStringLiteral("interrupted");

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

int retryOpenAt(int dir, const QByteArray &name, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::openat(dir, name.constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// A folder of ours under dir: created private, never reached through a link,
// owned by this account and closed to everyone else.
int openPrivateFolder(int dir, const QString &name, QString *error)
{
    const QByteArray n = QFile::encodeName(name);
    if (::mkdirat(dir, n.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(name, errnoText(errno));
        return -1;
    }
    const int fd = retryOpenAt(dir, n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(name, errno == ELOOP || errno == ENOTDIR
                                                            ? QStringLiteral("not a folder of its own")
                                                            : errnoText(errno));
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("%1: belongs to another account").arg(name);
        return -1;
    }
    if ((st.st_mode & 077) != 0)
        ::fchmod(fd, 0700);
    return fd;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}
} // namespace

// Writes the newest submitted bytes; older ones not yet begun are skipped,
// since each journal holds the whole state.
class TJournalWriter {
public:
    explicit TJournalWriter(TJournalStore *store) : m_store(store), m_thread([this] { run(); }) {}
    ~TJournalWriter()
    {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    void submit(QByteArray bytes)
    {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_pending = std::move(bytes);
            ++m_submitted;
        }
        m_cv.notify_all();
    }
    QString error()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_error;
    }
    bool flush()
    {
        std::unique_lock<std::mutex> g(m_mutex);
        const quint64 target = m_submitted;
        m_cv.wait(g, [&] { return m_written >= target; });
        return m_ok;
    }
private:
    void run()
    {
        std::unique_lock<std::mutex> g(m_mutex);
        for (;;) {
            m_cv.wait(g, [&] { return m_stop || m_pending.has_value(); });
            if (!m_pending) {
                if (m_stop)
                    return;
                continue;
            }
            QByteArray bytes = std::move(*m_pending);
            m_pending.reset();
            const quint64 generation = m_submitted;
            g.unlock();
            const QString error = m_store->writeBytes(bytes);
            g.lock();
            m_ok = error.isEmpty();
            if (!m_ok)
                m_error = error;
            m_written = generation;
            m_cv.notify_all();
        }
    }
    TJournalStore *m_store;
    QString m_error;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::optional<QByteArray> m_pending;
    quint64 m_submitted = 0, m_written = 0;
    bool m_ok = true, m_stop = false;
    std::thread m_thread;
};

QString TJournalStore::DefaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules: a relative path is to be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            home = QDir::homePath();
        base = home + QStringLiteral("/.local/state");
    }
    return QDir::cleanPath(base + u'/' + SystemFolder + u'/' + RunsFolder);
}

QString TJournalStore::FileNameFor(const QString &identity)
{
    const QByteArray h = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("run-%1.qrj").arg(QString::fromLatin1(h.left(8).toHex()));
}

TJournalStore::TJournalStore(const QString &folder, const QString &identity)
    : m_folder(QDir::cleanPath(folder)), m_name(FileNameFor(identity))
{
}

TJournalStore::~TJournalStore()
{
    m_writer.reset();
    for (int fd : {m_lock, m_interrupted, m_dir})
        if (fd >= 0)
            ::close(fd);
}

QString TJournalStore::Path() const { return m_folder + u'/' + m_name; }
QString TJournalStore::InterruptedFolder() const { return m_folder + u'/' + InterruptedName; }

QString TJournalStore::LastError() const
{
    const QString e = m_writer ? m_writer->error() : QString();
    return e.isEmpty() ? m_syncError : e;
}

bool TJournalStore::Open(QString *error)
{
    if (m_dir >= 0)
        return true;
    // The folders above ours may be links (a home on another disk); ours may not.
    const QString runsParent = QFileInfo(m_folder).path();
    const QString base = QFileInfo(runsParent).path();
    if (!QDir().mkpath(base)) {
        if (error)
            *error = QStringLiteral("%1: cannot be created").arg(base);
        return false;
    }
    struct stat st;
    const QByteArray nativeBase = QFile::encodeName(base);
    if (::stat(nativeBase.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        if (error)
            *error = QStringLiteral("%1: not a folder of this account").arg(base);
        return false;
    }
    const int baseFd = ::open(nativeBase.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(base, errnoText(errno));
        return false;
    }
    QString why;
    const int system = openPrivateFolder(baseFd, QFileInfo(runsParent).fileName(), &why);
    ::close(baseFd);
    const int runs = system >= 0 ? openPrivateFolder(system, QFileInfo(m_folder).fileName(), &why) : -1;
    if (system >= 0)
        ::close(system);
    const int interrupted = runs >= 0 ? openPrivateFolder(runs, InterruptedName, &why) : -1;
    if (interrupted < 0) {
        if (runs >= 0)
            ::close(runs);
        if (error)
            *error = base + u'/' + why;
        return false;
    }
    m_dir = runs;
    m_interrupted = interrupted;
    m_writer = std::make_unique<TJournalWriter>(this);
    return true;
}

TJournalStore::TLock TJournalStore::Lock()
{
    if (m_lock >= 0)
        return TLock::Taken;
    if (m_dir < 0)
        return TLock::Unavailable;
    const int fd = retryOpenAt(m_dir, QFile::encodeName(m_name + QStringLiteral(".lock")),
                               O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        if (fd >= 0)
            ::close(fd);
        return TLock::Unavailable;
    }
    const FileLocks::TLockResult r = FileLocks::TryLock(fd, true);
    if (r != FileLocks::TLockResult::Taken) {
        ::close(fd);
        return r == FileLocks::TLockResult::Held ? TLock::Held : TLock::Unavailable;
    }
    m_lock = fd;
    return TLock::Taken;
}

TJournalStore::TLoad TJournalStore::Load(TRunJournal &out, QString *reason)
{
    const auto bad = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return TLoad::Bad;
    };
    if (m_dir < 0)
        return TLoad::None;
    // O_NONBLOCK: a named pipe under the name must not hang the player.
    const int fd = retryOpenAt(m_dir, QFile::encodeName(m_name), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return TLoad::None;
        return bad(errno == ELOOP ? QStringLiteral("the journal is a link") : errnoText(errno));
    }
    struct stat st;
    QString why;
    QByteArray bytes;
    if (::fstat(fd, &st) != 0)
        why = errnoText(errno);
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("the journal is not a regular file");
    else if (st.st_uid != ::geteuid())
        why = QStringLiteral("the journal belongs to another account");
    else if (st.st_size > JournalFormat::MaxFileSize)
        why = QStringLiteral("a journal of %1 bytes is too large").arg(qint64(st.st_size));
    else {
        bytes.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    if (!why.isEmpty())
        return bad(why);
    try {
        out = ReadJournal(bytes);
    } catch (const EJournalError &e) {
        return bad(e.text());
    }
    return TLoad::Loaded;
}

QString TJournalStore::SetAside()
{
    if (m_dir < 0)
        return {};
    const QByteArray from = QFile::encodeName(m_name);
    const QString stem = m_name.chopped(4) + u'-'
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (int n = 1; n < 1000; ++n) {
        const QString to = stem + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".qrj");
        // Never over another journal set aside in the same second.
        if (::renameat2(m_dir, from.constData(), m_interrupted, QFile::encodeName(to).constData(),
                        RENAME_NOREPLACE) == 0) {
            ::fsync(m_interrupted);
            ::fsync(m_dir);
            return InterruptedFolder() + u'/' + to;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool TJournalStore::Remove()
{
    if (m_writer)
        m_writer->flush();
    if (m_dir < 0)
        return false;
    if (::unlinkat(m_dir, QFile::encodeName(m_name).constData(), 0) != 0)
        return errno == ENOENT;
    ::fsync(m_dir);
    return true;
}

QString TJournalStore::writeBytes(const QByteArray &bytes) const
{
    if (m_dir < 0)
        return QStringLiteral("the journal folder is not open");
    const QByteArray name = QFile::encodeName(m_name);
    const QByteArray temp = name + ".new";
    // A leftover of a crash is ours to replace; whatever it is, it is not followed.
    ::unlinkat(m_dir, temp.constData(), 0);
    const int fd = retryOpenAt(m_dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0)
        return QStringLiteral("%1: %2").arg(QFile::decodeName(temp), errnoText(errno));
    QString error;
    if (!writeAll(fd, bytes))
        error = QStringLiteral("write: %1").arg(errnoText(errno));
    else if (FsHooks().DataSync(fd) != 0)
        error = QStringLiteral("fdatasync: %1").arg(errnoText(errno));
    ::close(fd);
    if (error.isEmpty() && ::renameat(m_dir, temp.constData(), m_dir, name.constData()) != 0)
        error = QStringLiteral("rename: %1").arg(errnoText(errno));
    if (!error.isEmpty()) {
        ::unlinkat(m_dir, temp.constData(), 0);
        return error;
    }
    ::fsync(m_dir);
    return {};
}

void TJournalStore::Submit(const TRunJournal &j)
{
    if (m_writer)
        m_writer->submit(WriteJournal(j));
}

bool TJournalStore::Flush()
{
    return m_writer ? m_writer->flush() : false;
}

bool TJournalStore::WriteNow(const TRunJournal &j)
{
    if (m_writer)
        m_writer->flush();
    m_syncError = writeBytes(WriteJournal(j));
    return m_syncError.isEmpty();
}

bool ResultsFileHoldsLine(const QString &path, const QByteArray &line)
{
    constexpr qint64 Window = 16 << 20;
    if (line.isEmpty())
        return false;
    // Not through QFile::open: a named pipe under the name would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return false;
    QFile f;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    const qint64 size = f.size();
    if (size > Window)
        f.seek(size - Window);
    return f.read(Window).contains(line);
}
