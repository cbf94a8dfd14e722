#include "ResultsReader.h"

#include "Ansi.h"
#include "Clock.h"
#include "FileLocks.h"
#include "ResultsFile.h"

#include <QFile>
#include <QHash>

#include <array>
#include <tuple>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int kFields = 10;
const qint64 kChunk = qint64(1) << 20;
const int kLockTries = 20;
const int kLockPauseMs = 50;

// Windows-1251 by a table built once from the codec: the same characters,
// without a codec call per field.
const std::array<char16_t, 256> &AnsiTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const QString s = FromAnsi(QByteArray(1, char(b)));
            t[size_t(b)] = s.size() == 1 ? s.at(0).unicode() : u'\uFFFD';
        }
        return t;
    }();
    return table;
}

// FoldName byte by byte: the folded byte, or 0 for a space that trimming cuts.
struct TFoldTable {
    std::array<uchar, 256> Fold{};
    std::array<bool, 256> Space{};
};

const TFoldTable &FoldTable()
{
    static const TFoldTable table = [] {
        TFoldTable t;
        for (int b = 0; b < 256; ++b) {
            const QString c = FromAnsi(QByteArray(1, char(b)));
            t.Space[size_t(b)] = c.size() == 1 && c.at(0).isSpace();
            const QByteArray folded = ToAnsi(Results::FoldName(c));
            t.Fold[size_t(b)] = folded.size() == 1 ? uchar(folded.at(0)) : uchar(b);
        }
        return t;
    }();
    return table;
}

void AppendFolded(QByteArray &key, const char *p, qsizetype n)
{
    const TFoldTable &t = FoldTable();
    while (n > 0 && t.Space[uchar(p[0])])
        ++p, --n;
    while (n > 0 && t.Space[uchar(p[n - 1])])
        --n;
    const qsizetype at = key.size();
    key.resize(at + n);
    char *out = key.data() + at;
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char(t.Fold[uchar(p[i])]);
}

QString Decode(const char *p, qsizetype n)
{
    const auto &table = AnsiTable();
    QString s(n, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(s.data());
    for (qsizetype i = 0; i < n; ++i)
        out[i] = table[uchar(p[i])];
    return s;
}

struct TField {
    const char *p;
    qsizetype n;
    bool is(const char *text) const { return qsizetype(std::strlen(text)) == n && std::memcmp(p, text, size_t(n)) == 0; }
};

// Digits only, at most maxDigits of them.
bool ParseUInt(const char *p, qsizetype n, int maxDigits, int *value)
{
    if (n < 1 || n > maxDigits)
        return false;
    int v = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        v = v * 10 + (p[i] - '0');
    }
    *value = v;
    return true;
}

// "dd.MM.yy"; single digits and a four-digit year are taken as well.
bool ParseDate(TField f, QDate *date)
{
    const char *end = f.p + f.n;
    const char *dot1 = static_cast<const char *>(std::memchr(f.p, '.', size_t(f.n)));
    if (!dot1)
        return false;
    const char *dot2 = static_cast<const char *>(std::memchr(dot1 + 1, '.', size_t(end - dot1 - 1)));
    if (!dot2)
        return false;
    int d, m, y;
    if (!ParseUInt(f.p, dot1 - f.p, 2, &d) || !ParseUInt(dot1 + 1, dot2 - dot1 - 1, 2, &m))
        return false;
    const qsizetype yn = end - dot2 - 1;
    if ((yn != 2 && yn != 4) || !ParseUInt(dot2 + 1, yn, 4, &y))
        return false;
    if (yn == 2)
        y += 2000;
    *date = QDate(y, m, d);
    return date->isValid();
}

// "h:mm", or with seconds.
bool ParseTime(TField f, QTime *time)
{
    const char *end = f.p + f.n;
    const char *colon = static_cast<const char *>(std::memchr(f.p, ':', size_t(f.n)));
    if (!colon)
        return false;
    int h, m, s = 0;
    if (!ParseUInt(f.p, colon - f.p, 2, &h))
        return false;
    const char *colon2 = static_cast<const char *>(std::memchr(colon + 1, ':', size_t(end - colon - 1)));
    const char *mEnd = colon2 ? colon2 : end;
    if (mEnd - colon - 1 != 2 || !ParseUInt(colon + 1, 2, 2, &m))
        return false;
    if (colon2 && (end - colon2 - 1 != 2 || !ParseUInt(colon2 + 1, 2, 2, &s)))
        return false;
    *time = QTime(h, m, s);
    return time->isValid();
}

// "#,##0.00": groups of three split by a (no-break) space, a comma (or a
// point) and exactly two decimals, as the player writes; a cut "83,3" fails.
bool ParsePercent(TField f, int *hundredths)
{
    if (f.n < 4)
        return false;
    const char sep = f.p[f.n - 3];
    if (sep != ',' && sep != '.')
        return false;
    int frac;
    if (!ParseUInt(f.p + f.n - 2, 2, 2, &frac))
        return false;
    qint64 whole = 0;
    int digits = 0, sinceGroup = 0;
    bool grouped = false;
    for (qsizetype i = 0; i < f.n - 3; ++i) {
        const uchar c = uchar(f.p[i]);
        if (c >= '0' && c <= '9') {
            whole = whole * 10 + (c - '0');
            ++digits;
            ++sinceGroup;
            if (digits > 7)
                return false;
        } else if ((c == 0xA0 || c == ' ') && digits > 0 && (!grouped ? sinceGroup <= 3 : sinceGroup == 3)) {
            grouped = true;
            sinceGroup = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || (grouped && sinceGroup != 3))
        return false;
    *hundredths = int(whole * 100 + frac);
    return true;
}

// What the player writes for these scores, rounded half up.
qint64 ExpectedHundredths(int score, int possible)
{
    return (2 * qint64(score) * 10000 + possible) / (2 * qint64(possible));
}

class TParser {
public:
    explicit TParser(TResultsTable &table) : m_t(table) {}

    void line(const char *p, qsizetype n, bool terminated)
    {
        const int number = ++m_t.Lines;
        if (n > 0 && p[n - 1] == '\r')
            --n;
        if (n == 0) {
            bad(number, QStringLiteral("пустая строка"), p, 0);
            return;
        }
        // Zeros before a line are what a network share leaves of a write it
        // lost in an outage; the line after them is whole.
        qsizetype zeros = 0;
        while (zeros < n && p[zeros] == '\0')
            ++zeros;
        if (zeros == n) {
            bad(number, QStringLiteral("только нулевые байты")
                            + (terminated ? QString() : QStringLiteral(" (строка не дописана)")), p, n);
            return;
        }
        p += zeros;
        n -= zeros;
        if (m_header.size() == n && std::memcmp(m_header.constData(), p, size_t(n)) == 0) {
            // A second header comes from files put together; it holds no run.
            m_t.HasHeader = m_t.HasHeader || number == 1;
            if (number != 1)
                bad(number, QStringLiteral("повторная строка заголовка"), p, n);
            return;
        }
        TField f[kFields];
        int count = 0;
        const char *start = p, *end = p + n;
        for (const char *q = p; q <= end; ++q) {
            if (q == end || *q == '\t') {
                if (count < kFields)
                    f[count] = TField{start, q - start};
                ++count;
                start = q + 1;
            }
        }
        const QString cut = terminated ? QString() : QStringLiteral(" (строка не дописана)");
        if (count != kFields) {
            bad(number, QStringLiteral("полей %1 вместо 10").arg(count) + cut, p, n);
            return;
        }
        TResultRow r;
        r.Line = number;
        int percent = 0;
        if (!ParseDate(f[0], &r.Date))
            return bad(number, QStringLiteral("неверная дата") + cut, p, n);
        if (!ParseTime(f[1], &r.Time))
            return bad(number, QStringLiteral("неверное время") + cut, p, n);
        if (!ParseUInt(f[7].p, f[7].n, 5, &r.Score) || r.Score > 65535)
            return bad(number, QStringLiteral("неверный балл") + cut, p, n);
        if (!ParseUInt(f[8].p, f[8].n, 5, &r.PossibleScore) || r.PossibleScore > 65535)
            return bad(number, QStringLiteral("неверный возможный балл") + cut, p, n);
        if (!ParsePercent(f[9], &percent))
            return bad(number, QStringLiteral("неверный процент") + cut, p, n);
        // One hundredth either way for a writer that rounds in binary.
        if (r.PossibleScore > 0 && std::abs(ExpectedHundredths(r.Score, r.PossibleScore) - percent) > 1)
            return bad(number, QStringLiteral("процент не сходится с баллами") + cut, p, n);
        r.Percent100 = percent;
        r.TestName = intern(m_texts, f[2]);
        r.LastName = intern(m_texts, f[3]);
        r.FirstName = intern(m_texts, f[4]);
        r.Patronymic = intern(m_texts, f[5]);
        r.Extra = intern(m_texts, f[6]);

        // The folded names once per spelling, found by the interned strings.
        const TNames names{r.LastName.constData(), {r.FirstName.constData(), r.Patronymic.constData()}};
        auto key = m_keys.constFind(names);
        if (key == m_keys.constEnd()) {
            QByteArray folded;
            for (int k = 3; k <= 5; ++k) {
                if (k > 3)
                    folded.append('\x01');
                AppendFolded(folded, f[k].p, f[k].n);
            }
            auto same = m_folded.constFind(folded);
            if (same == m_folded.constEnd())
                same = m_folded.insert(folded, folded);
            key = m_keys.insert(names, same.value());
        }
        r.NameKeyBytes = key.value();
        // Repeats: the same folded names in the same test.
        const std::pair<const void *, const void *> run{r.TestName.constData(), r.NameKeyBytes.constData()};
        auto group = m_groups.constFind(run);
        if (group == m_groups.constEnd()) {
            group = m_groups.insert(run, int(m_runs.size()));
            m_runs.push_back(0);
        }
        r.Attempt = ++m_runs[size_t(group.value())];
        m_groupOfRow.push_back(group.value());
        m_t.Rows.append(std::move(r));
    }

    // Run counts are known only at the end.
    void finish()
    {
        for (qsizetype i = 0; i < m_t.Rows.size(); ++i)
            m_t.Rows[i].Attempts = m_runs[size_t(m_groupOfRow[size_t(i)])];
    }

private:
    void bad(int number, const QString &reason, const char *p, qsizetype n)
    {
        ++m_t.BadCount;
        if (m_t.Bad.size() < Results::MaxBadLines)
            m_t.Bad.append(TBadLine{number, reason, Decode(p, std::min<qsizetype>(n, Results::MaxBadText))});
    }

    // Tests, classes and even names repeat from line to line: one string each.
    QString intern(QHash<QByteArray, QString> &pool, TField f)
    {
        const QByteArray key = QByteArray::fromRawData(f.p, f.n);
        auto it = pool.constFind(key);
        if (it != pool.constEnd())
            return it.value();
        const QString s = Decode(f.p, f.n);
        pool.insert(QByteArray(f.p, f.n), s);
        return s;
    }

    TResultsTable &m_t;
    const QByteArray m_header = ResultsHeaderLine().chopped(2);
    QHash<QByteArray, QString> m_texts;
    using TNames = std::pair<const void *, std::pair<const void *, const void *>>;
    QHash<TNames, QByteArray> m_keys;
    QHash<QByteArray, QByteArray> m_folded;
    QHash<std::pair<const void *, const void *>, int> m_groups;
    std::vector<int> m_runs, m_groupOfRow;
};

QString Message(const QString &path, const QString &text) { return text + QStringLiteral(": ") + path; }

}  // namespace

QString TResultRow::PercentText() const
{
    return QString::asprintf("%d,%02d", Percent100 / 100, Percent100 % 100);
}

QString TResultRow::FullName() const
{
    QStringList parts;
    for (const QString &s : {LastName, FirstName, Patronymic})
        if (!s.isEmpty())
            parts << s;
    return parts.join(QLatin1Char(' '));
}

namespace Results {

QString FoldName(const QString &s)
{
    QString f = s.trimmed().toLower();
    f.replace(QChar(u'ё'), QChar(u'е'));
    return f;
}

QByteArray NameKey(const TResultRow &r)
{
    if (!r.NameKeyBytes.isEmpty() || (r.LastName.isEmpty() && r.FirstName.isEmpty() && r.Patronymic.isEmpty()))
        return r.NameKeyBytes.isEmpty() ? QByteArray("\x01\x01") : r.NameKeyBytes;
    QByteArray key;
    for (const QString *s : {&r.LastName, &r.FirstName, &r.Patronymic}) {
        if (s != &r.LastName)
            key.append('\x01');
        const QByteArray ansi = ToAnsi(*s);
        AppendFolded(key, ansi.constData(), ansi.size());
    }
    return key;
}

TResultsTable Parse(const QByteArray &bytes, const TProgress &progress)
{
    TResultsTable t;
    t.Bytes = bytes.size();
    t.Rows.reserve(bytes.size() / 64);
    TParser parser(t);
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    const char *reported = p;
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *lineEnd = nl ? nl : end;
        parser.line(p, lineEnd - p, nl != nullptr);
        p = nl ? nl + 1 : end;
        if (progress && p - reported >= kChunk) {
            reported = p;
            if (!progress(p - bytes.constData(), bytes.size()))
                return {};
        }
    }
    parser.finish();
    return t;
}

TReadOutcome ReadFile(const QString &path, const TProgress &progress)
{
    TReadOutcome out;
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        // O_NONBLOCK: a FIFO under the name must not hang the reader.
        do
            fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            const bool missing = errno == ENOENT || errno == ENOTDIR;
            out.Status = missing ? TReadStatus::Missing : TReadStatus::Failed;
            out.Error = Message(path, missing ? QStringLiteral("Файл не найден")
                                              : QStringLiteral("Ошибка чтения (%1)").arg(QString::fromLocal8Bit(strerror(errno))));
            return out;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            out.Error = Message(path, QStringLiteral("Это не файл результатов"));
            return out;
        }
        if (FileLocks::TryLock(fd, false) == FileLocks::TLockResult::Held) {
            ::close(fd);
            fd = -1;
            if (attempt + 1 >= kLockTries) {
                out.Status = TReadStatus::Locked;
                out.Error = Message(path, QStringLiteral("Файл занят другой программой"));
                return out;
            }
            QeClock::Sleep(kLockPauseMs);
        }
    }

    struct stat st;
    ::fstat(fd, &st);
    if (st.st_size > MaxFileBytes) {
        ::close(fd);
        out.Status = TReadStatus::TooLarge;
        out.Error = Message(path, QStringLiteral("Слишком большой файл"));
        return out;
    }
    // Reading takes the first half of the progress, parsing the second.
    const qint64 expected = std::max<qint64>(st.st_size, 1);
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size) + 1);
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            out.Error = Message(path, QStringLiteral("Ошибка чтения (%1)").arg(QString::fromLocal8Bit(strerror(err))));
            return out;
        }
        if (n == 0)
            break;
        bytes.append(chunk.constData(), n);
        if (bytes.size() > MaxFileBytes) {
            ::close(fd);
            out.Status = TReadStatus::TooLarge;
            out.Error = Message(path, QStringLiteral("Слишком большой файл"));
            return out;
        }
        if (progress && !progress(std::min<qint64>(bytes.size(), expected) / 2, expected)) {
            ::close(fd);
            out.Status = TReadStatus::Cancelled;
            return out;
        }
    }
    ::close(fd);  // the lock goes with it, before the parse

    bool cancelled = false;
    const qint64 total = std::max<qint64>(bytes.size(), 1);
    TProgress parseProgress;
    if (progress)
        parseProgress = [&](qint64 done, qint64) {
            cancelled = !progress(total / 2 + done / 2, total);
            return !cancelled;
        };
    out.Table = Parse(bytes, parseProgress);
    if (cancelled) {
        out.Status = TReadStatus::Cancelled;
        return out;
    }
    if (progress)
        progress(total, total);
    out.Status = TReadStatus::Ok;
    return out;
}

}  // namespace Results
