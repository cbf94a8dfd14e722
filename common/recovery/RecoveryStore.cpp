#include "RecoveryStore.h"

#include "QeErrors.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Recovery {
namespace {
QByteArray native(const QString &path) { return QFile::encodeName(path); }

// Never through a link, never waiting on a special file.
int openForReading(const QString &path)
{
    return ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

bool validId(const QString &id)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Za-z-]{1,%1}$").arg(MaxIdChars));
    return re.match(id).hasMatch();
}

// A regular file of this account, not a link; its size in *size.
bool ownRegularFile(const QString &path, qint64 *size, QString *why)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0) {
        *why = QStringLiteral("нет файла");
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *why = QStringLiteral("ссылка вместо файла");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = QStringLiteral("не файл");
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *why = QStringLiteral("файл другого пользователя");
        return false;
    }
    *size = qint64(st.st_size);
    return true;
}

// At most limit bytes of a file, opened without following a link.
std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit)
{
    const int fd = openForReading(path);
    if (fd < 0)
        return std::nullopt;
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, n);
        if (out.size() > limit)
            break;
    }
    ::close(fd);
    return out;
}

bool headerReadable(const QString &path)
{
    const int fd = openForReading(path);
    if (fd < 0)
        return false;
    QFile f;
    bool ok = false;
    if (f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        TTestInfo info;
        try {
            ok = ReadTestHeader(f, info) == hrOk;
        } catch (const EQuizError &) {
            ok = false;
        }
    } else {
        ::close(fd);
    }
    return ok;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString stampNumber(quint64 v) { return QString::number(v); }

std::optional<quint64> readNumber(const QJsonValue &v, quint64 max)
{
    if (!v.isString() || v.toString().size() > 20)
        return std::nullopt;
    bool ok = false;
    const quint64 n = v.toString().toULongLong(&ok);
    if (!ok || n > max)
        return std::nullopt;
    return n;
}

std::optional<QString> readText(const QJsonObject &o, const char *key, int maxChars)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString() || v.toString().size() > maxChars)
        return std::nullopt;
    return v.toString();
}
}  // namespace

QString DefaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("quizengine2/recovery"));
}

QByteArray WriteDescription(const TDescription &d)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), FormatVersion);
    o.insert(QStringLiteral("original"), d.OriginalPath);
    o.insert(QStringLiteral("title"), d.Title);
    o.insert(QStringLiteral("time"), d.Time.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("pid"), stampNumber(quint64(d.Pid)));
    o.insert(QStringLiteral("host"), d.Host);
    o.insert(QStringLiteral("copySize"), stampNumber(quint64(d.CopySize)));
    if (d.Original.Exists) {
        QJsonObject s;
        s.insert(QStringLiteral("device"), stampNumber(d.Original.Device));
        s.insert(QStringLiteral("inode"), stampNumber(d.Original.Inode));
        s.insert(QStringLiteral("mtimeNs"), stampNumber(quint64(d.Original.MTimeNs)));
        s.insert(QStringLiteral("size"), stampNumber(quint64(d.Original.Size)));
        o.insert(QStringLiteral("originalStamp"), s);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<TDescription> ReadDescription(const QByteArray &bytes, QString *why)
{
    auto fail = [why](const QString &text) -> std::optional<TDescription> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (bytes.size() > MaxDescriptionBytes)
        return fail(QStringLiteral("описание слишком велико"));
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return fail(QStringLiteral("описание повреждено (байт %1)").arg(err.offset));
    const QJsonObject o = doc.object();
    const QJsonValue format = o.value(QStringLiteral("format"));
    if (!format.isDouble() || format.toDouble() != FormatVersion)
        return fail(QStringLiteral("неизвестный формат описания"));
    TDescription d;
    const auto original = readText(o, "original", MaxPathChars);
    const auto title = readText(o, "title", MaxTitleChars);
    const auto time = readText(o, "time", 64);
    const auto host = readText(o, "host", MaxHostChars);
    const auto pid = readNumber(o.value(QStringLiteral("pid")), quint64(std::numeric_limits<qint32>::max()));
    const auto size = readNumber(o.value(QStringLiteral("copySize")), quint64(MaxCopyBytes));
    if (!original || !title || !time || !host || !pid || !size)
        return fail(QStringLiteral("описание повреждено"));
    if (!original->isEmpty() && !QDir::isAbsolutePath(*original))
        return fail(QStringLiteral("описание повреждено"));
    d.OriginalPath = *original;
    d.Title = *title;
    d.Time = QDateTime::fromString(*time, Qt::ISODateWithMs);
    if (!d.Time.isValid())
        return fail(QStringLiteral("описание повреждено"));
    d.Time = d.Time.toUTC();
    d.Host = *host;
    d.Pid = qint64(*pid);
    d.CopySize = qint64(*size);
    const QJsonValue stamp = o.value(QStringLiteral("originalStamp"));
    if (!stamp.isUndefined()) {
        if (!stamp.isObject())
            return fail(QStringLiteral("описание повреждено"));
        const QJsonObject s = stamp.toObject();
        const auto dev = readNumber(s.value(QStringLiteral("device")), ~quint64(0));
        const auto ino = readNumber(s.value(QStringLiteral("inode")), ~quint64(0));
        const auto mtime = readNumber(s.value(QStringLiteral("mtimeNs")), quint64(std::numeric_limits<qint64>::max()));
        const auto fsize = readNumber(s.value(QStringLiteral("size")), quint64(std::numeric_limits<qint64>::max()));
        if (!dev || !ino || !mtime || !fsize)
            return fail(QStringLiteral("описание повреждено"));
        d.Original = {true, *dev, *ino, qint64(*mtime), qint64(*fsize)};
    }
    return d;
}

TSnapshot TakeSnapshot(const TTestInfo &header, const TQuestionList &questions, const QString &originalPath,
                       const QString &title, const TFileStamp &original)
{
    TSnapshot s;
    s.Header = header;
    s.Questions.reserve(questions.size());
    for (const TQuestionPtr &q : questions)
        s.Questions.push_back(std::make_shared<TNQuestion>(*q));
    s.Description.OriginalPath = originalPath;
    s.Description.Title = title;
    s.Description.Original = original;
    return s;
}

bool IsLockHeld(const QString &lockPath)
{
    const int fd = openForReading(lockPath);
    if (fd < 0)
        return false;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

TRecoveryStore::TRecoveryStore(QString folder) : m_folder(std::move(folder))
{
    m_id = QStringLiteral("%1-%2")
               .arg(QCoreApplication::applicationPid())
               .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

TRecoveryStore::~TRecoveryStore()
{
    std::lock_guard lock(m_mutex);
    if (m_lockFd < 0)
        return;
    removeFiles(m_id);
    ::unlink(native(path(m_id, LockSuffix)).constData());
    ::close(m_lockFd);
}

QString TRecoveryStore::path(const QString &id, const QString &suffix) const
{
    return m_folder + u'/' + id + suffix;
}

bool TRecoveryStore::HasOwnCopy() const
{
    struct stat st;
    return ::lstat(native(OwnCopyPath()).constData(), &st) == 0;
}

bool TRecoveryStore::usableFolder() const
{
    struct stat st;
    if (::lstat(native(m_folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    // Nobody else may plant files in it.
    if ((st.st_mode & 077) != 0 && ::chmod(native(m_folder).constData(), 0700) != 0)
        return false;
    return true;
}

bool TRecoveryStore::ensureSession()
{
    if (m_lockFd >= 0)
        return true;
    // Made one level at a time, each private, as the state folder may not exist yet.
    const QString state = QFileInfo(QFileInfo(m_folder).absolutePath()).absolutePath();
    QDir().mkpath(state);
    ::mkdir(native(QFileInfo(m_folder).absolutePath()).constData(), 0700);
    ::mkdir(native(m_folder).constData(), 0700);
    if (!usableFolder())
        return false;
    const int fd = ::open(native(path(m_id, LockSuffix)).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

void TRecoveryStore::writeFile(const QString &name, const QByteArray &data) const
{
    const QString target = m_folder + u'/' + name;
    const QString temp = target + TempInfix
        + QString::number(QRandomGenerator::global()->generate(), 16);
    const QByteArray tempName = native(temp);
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\". %2").arg(temp, QString::fromLocal8Bit(strerror(errno))));
    qint64 done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n > 0 ? n : 0;
    }
    ok = ok && ::fdatasync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempName.constData(), native(target).constData()) == 0;
    if (!ok) {
        const int err = errno;
        ::unlink(tempName.constData());
        throw EWriteError(QStringLiteral("Stream write error: %1").arg(QString::fromLocal8Bit(strerror(err))));
    }
    syncFolder(m_folder);
}

void TRecoveryStore::Write(TSnapshot &s)
{
    {
        std::lock_guard lock(m_mutex);
        if (!ensureSession())
            throw EFOpenError(QStringLiteral("Cannot create file \"%1\".").arg(OwnCopyPath()));
    }
    const QByteArray copy = SaveTestToBytes(s.Header, s.Questions);
    s.Description.CopySize = copy.size();
    s.Description.Time = QDateTime::currentDateTimeUtc();
    s.Description.Pid = QCoreApplication::applicationPid();
    s.Description.Host = QSysInfo::machineHostName().left(MaxHostChars);
    std::lock_guard lock(m_mutex);
    // The copy first: a description never speaks of a copy that is not there yet.
    writeFile(m_id + CopySuffix, copy);
    writeFile(m_id + DescriptionSuffix, WriteDescription(s.Description));
}

void TRecoveryStore::removeFiles(const QString &id) const
{
    // Temporaries of a write the end interrupted go too; a name that is no id
    // of ours is no pattern to match files with.
    const QStringList names = !validId(id) ? QStringList() : QDir(m_folder).entryList({id + QStringLiteral(".*") + TempInfix + u'*'}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &n : names)
        ::unlink(native(m_folder + u'/' + n).constData());
    ::unlink(native(path(id, DescriptionSuffix)).constData());
    ::unlink(native(path(id, CopySuffix)).constData());
}

void TRecoveryStore::RemoveOwn()
{
    std::lock_guard lock(m_mutex);
    removeFiles(m_id);
}

TEntry TRecoveryStore::examine(const QString &id) const
{
    TEntry e;
    e.Id = id;
    e.CopyPath = path(id, CopySuffix);
    auto damaged = [&e](const QString &why) {
        e.Damaged = true;
        e.Problem = why;
        return e;
    };
    if (!validId(id))
        return damaged(QStringLiteral("чужое имя файла"));
    QString why;
    qint64 size = 0;
    if (!ownRegularFile(path(id, DescriptionSuffix), &size, &why))
        return damaged(QStringLiteral("описание: ") + why);
    if (size > MaxDescriptionBytes)
        return damaged(QStringLiteral("описание слишком велико"));
    const std::optional<QByteArray> bytes = readSmallFile(path(id, DescriptionSuffix), MaxDescriptionBytes);
    if (!bytes)
        return damaged(QStringLiteral("описание не читается"));
    const std::optional<TDescription> d = ReadDescription(*bytes, &why);
    if (!d)
        return damaged(why);
    e.Description = *d;
    if (!ownRegularFile(e.CopyPath, &size, &why))
        return damaged(QStringLiteral("копия: ") + why);
    if (size != d->CopySize)
        return damaged(QStringLiteral("копия неполна"));
    if (!headerReadable(e.CopyPath))
        return damaged(QStringLiteral("копия повреждена"));
    return e;
}

std::vector<TEntry> TRecoveryStore::ListOrphans() const
{
    std::vector<TEntry> out;
    if (!usableFolder())
        return out;
    const QDir dir(m_folder);
    QStringList ids;
    QStringList lockOnly;
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Name);
    for (const QString &n : names.mid(0, MaxEntries)) {
        if (n.contains(TempInfix))
            continue;
        for (const QString &suffix : {CopySuffix, DescriptionSuffix, LockSuffix})
            if (n.endsWith(suffix) && n.size() > suffix.size()) {
                const QString id = n.chopped(suffix.size());
                (suffix == LockSuffix ? lockOnly : ids).append(id);
            }
    }
    ids.removeDuplicates();
    for (const QString &id : std::as_const(ids)) {
        if (id == m_id)
            continue;
        if (validId(id) && IsLockHeld(path(id, LockSuffix)))
            continue;  // its editor is running
        out.push_back(examine(id));
    }
    // Locks left by editors that ended after their copies went.
    for (const QString &id : std::as_const(lockOnly))
        if (!ids.contains(id) && id != m_id && validId(id) && !IsLockHeld(path(id, LockSuffix)))
            ::unlink(native(path(id, LockSuffix)).constData());
    std::stable_sort(out.begin(), out.end(), [](const TEntry &a, const TEntry &b) {
        return a.Description.Time > b.Description.Time;
    });
    return out;
}

bool TRecoveryStore::Adopt(const TEntry &e)
{
    std::lock_guard lock(m_mutex);
    if (e.Damaged || !validId(e.Id) || !ensureSession())
        return false;
    removeFiles(m_id);
    if (::rename(native(path(e.Id, CopySuffix)).constData(), native(OwnCopyPath()).constData()) != 0)
        return false;
    ::rename(native(path(e.Id, DescriptionSuffix)).constData(), native(path(m_id, DescriptionSuffix)).constData());
    removeFiles(e.Id);
    ::unlink(native(path(e.Id, LockSuffix)).constData());
    syncFolder(m_folder);
    return true;
}

bool TRecoveryStore::Discard(const TEntry &e)
{
    if (e.Id == m_id || e.Id.contains(u'/') || e.Id.isEmpty())
        return false;
    std::lock_guard lock(m_mutex);
    removeFiles(e.Id);
    ::unlink(native(path(e.Id, LockSuffix)).constData());
    syncFolder(m_folder);
    struct stat st;
    return ::lstat(native(e.CopyPath).constData(), &st) != 0;
}
}  // namespace Recovery
