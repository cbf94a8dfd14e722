// The test model, the string routines, the header and the question record.
#include "QuizEngineCommon.h"

#include "Ansi.h"
#include "StreamIO.h"
#include "TestFileFormat.h"

#include <cstring>

using namespace TestFileFormat;

namespace {
const QString StructureError = QStringLiteral("Ошибка в структуре теста");
}

// ---- model ----

TTestInfo TTestInfo::NewTestValues()
{
    TTestInfo t;
    t.RandomCount = 0xFFFF;
    t.ReservedWord = 10;
    t.TimeLimit = 10;
    t.Version = CurrentVersion;
    t.Zoom = 100;
    t.QWidth = 500;
    t.QHeight = 300;
    t.QScrollBars = 0;
    t.Options = RandomVOrder;
    return t;
}

int TWideStrings::Add(const QString &s)
{
    m_items.append(s);
    return int(m_items.size()) - 1;
}

QString TWideStrings::Get(int i) const
{
    if (i < 0 || i >= m_items.size())
        return {};
    return m_items.at(i);
}

void TWideStrings::Put(int i, const QString &s)
{
    if (i == m_items.size()) {
        m_items.append(s);
        return;
    }
    if (i < 0 || i > m_items.size())
        throw EListError(QStringLiteral("WideString index out of bounds"));
    m_items[i] = s;
}

void TWideStrings::Clear() { m_items.clear(); }

void TNQuestion::Assign(const TNQuestion &src)
{
    Body = src.Body;
    PlainLines.Put(0, src.PlainLines.Get(0));
    Variants = src.Variants;
    RightMarks = src.RightMarks;
    UserMarks = src.UserMarks;
}

QString ReplaceObjectMarks(const QString &text, const QString &replacement)
{
    const QChar mark(0xFFFC);
    if (!text.contains(mark))
        return text;
    QString out;
    out.reserve(text.size() + 8 * replacement.size());
    for (const QChar c : text) {
        if (c == mark)
            out += replacement;
        else
            out += c;
    }
    return out;
}

quint32 CalcIQCount(const TQuestionList &questions)
{
    quint32 n = 0;
    for (const TQuestionPtr &q : questions)
        if (q && q->IsInformation())
            ++n;
    return n;
}

// ---- strings ----

namespace {
void checkFits(const char *field, qint64 bytes)
{
    if (bytes > qint64(MaxBlobBytes))
        throw ERangeError(QStringLiteral("%1 too long to store: %2 bytes, at most %3")
                              .arg(QLatin1String(field)).arg(bytes).arg(MaxBlobBytes));
}

void checkWideFits(const char *field, const QString &s)
{
    // Readers take at most MaxBlobBytes / 2 units, not every byte count up to MaxBlobBytes.
    if (quint64(s.size()) > MaxBlobBytes / 2)
        throw ERangeError(QStringLiteral("%1 too long to store: %2 characters, at most %3")
                              .arg(QLatin1String(field)).arg(s.size()).arg(MaxBlobBytes / 2));
}

// One byte per UTF-16 unit: a surrogate pair makes one '?', so this may
// refuse a text a little short of the limit, never pass one beyond it.
void checkAnsiFits(const char *field, const QString &s) { checkFits(field, s.size()); }
}

void WriteAnsiString(const QString &s, QIODevice &dev)
{
    checkAnsiFits("Text", s);
    const QByteArray b = ToAnsi(s);
    StreamIO::WriteU32(dev, quint32(b.size()));
    StreamIO::WriteAll(dev, b.constData(), b.size());
}

QString ReadAnsiString(QIODevice &dev)
{
    const quint32 len = StreamIO::ReadU32(dev);
    return FromAnsi(StreamIO::ReadBlob(dev, len));
}

void WriteWideString(const QString &s, QIODevice &dev)
{
    checkWideFits("Text", s);
    QByteArray b(s.size() * 2, Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(b.data());
    for (const QChar c : s) {
        putU16(p, c.unicode());
        p += 2;
    }
    StreamIO::WriteU32(dev, quint32(s.size()));
    StreamIO::WriteAll(dev, b.constData(), b.size());
}

QString ReadWideString(QIODevice &dev)
{
    const quint32 count = StreamIO::ReadU32(dev);
    if (count > MaxBlobBytes / 2)
        throw EReadError(QStringLiteral("Stream read error"));
    const QByteArray b = StreamIO::ReadBlob(dev, count * 2);
    QString s(qsizetype(count), Qt::Uninitialized);
    const uchar *p = reinterpret_cast<const uchar *>(b.constData());
    QChar *out = s.data();
    for (quint32 i = 0; i < count; ++i)
        out[i] = QChar(getU16(p + 2 * i));
    return s;
}

// ---- password ----

QByteArray ScramblePassword(const QByteArray &key, const QByteArray &password)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(password.size() * 2);
    for (qsizetype i = 0; i < password.size(); ++i) {
        uchar b = uchar(password[i]);
        if (!key.isEmpty())
            b ^= uchar(key[i % key.size()]);
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}

QByteArray UnscramblePassword(const QByteArray &key, const QByteArray &hex)
{
    const qsizetype n = hex.size() / 2;
    QByteArray out;
    out.reserve(n);
    for (qsizetype k = 0; k < n; ++k) {
        const int hi = hexDigit(hex[2 * k]), lo = hexDigit(hex[2 * k + 1]);
        int v = (hi < 0 || lo < 0) ? 32 : hi * 16 + lo;
        if (!key.isEmpty())
            v ^= uchar(key[k % key.size()]);
        out += char(v & 0xFF);
    }
    return out;
}

// ---- header ----

void WriteTestHeader(QIODevice &dev, TTestInfo &info)
{
    const QByteArray scrambled = ScramblePassword(PasswordKey, ToAnsi(info.Password));
    // Longer would save a test that no reader opens again.
    if (scrambled.size() > MaxScrambledPassword)
        throw ERangeError(QStringLiteral("Password too long to store"));
    if (dev.pos() != 0 && !dev.seek(0))
        throw EStreamError(QStringLiteral("Invalid stream operation"));
    info.Version = CurrentVersion;

    QByteArray h(FixedHeaderSize11, '\0');
    uchar *p = reinterpret_cast<uchar *>(h.data());
    std::memcpy(p, Magic, MagicSize);
    p[OffVersion] = info.Version;
    putU32(p + OffQuestionCount, info.QuestionCount);
    putU32(p + OffIQCount, info.IQCount);
    putU16(p + OffRandomCount, info.RandomCount);
    putU16(p + OffOptions, info.Options);
    p[OffTimeLimit] = info.TimeLimit;
    putU16(p + OffReservedWord, info.ReservedWord);
    // ReservedBytes stay zero on disk.
    p[OffZoom] = info.Zoom;
    putU16(p + OffQWidth, info.QWidth);
    putU16(p + OffQHeight, info.QHeight);
    p[OffQScrollBars] = info.QScrollBars;
    p[OffPasswordLength] = uchar(scrambled.size());
    h += scrambled;
    StreamIO::WriteAll(dev, h.constData(), h.size());
}

namespace {
void readHeaderBody(QIODevice &dev, TTestInfo &info, quint8 version)
{
    using namespace StreamIO;
    auto readReserved = [&] {
        char b[ReservedBytesSize];
        ReadExact(dev, b, ReservedBytesSize);
        std::memcpy(info.ReservedBytes.data(), b, ReservedBytesSize);
    };
    switch (version) {
    case 7:
    case 8: {
        const quint8 sw1 = ReadU8(dev);
        info.RandomCount = ReadU16(dev);
        const quint8 sw2 = ReadU8(dev);
        const quint8 sw3 = ReadU8(dev);
        quint16 o = 0;
        if (sw1) o |= CanViewErrors;
        if (sw2) o |= EnableBackNavigation;
        if (version == 8) {
            if (sw3 & V8SwitchRandomVOrder) o |= RandomVOrder;
            if (sw3 & V8SwitchCountWhole) o |= CountWholeQuestion;
        } else if (sw3) {
            o |= RandomVOrder;
        }
        info.Options = o;
        info.TimeLimit = ReadU8(dev);
        info.ReservedWord = ReadU16(dev);
        readReserved();
        info.QuestionCount = ReadU32(dev);
        info.IQCount = ReadU32(dev);
        break;
    }
    case 9:
    case 10:
        info.Options = ReadU16(dev);
        info.TimeLimit = ReadU8(dev);
        info.ReservedWord = ReadU16(dev);
        readReserved();
        info.QuestionCount = ReadU32(dev);
        info.IQCount = ReadU32(dev);
        if (version == 10) {
            info.Zoom = ReadU8(dev);
            info.QWidth = ReadU16(dev);
            info.QHeight = ReadU16(dev);
            info.QScrollBars = ReadU8(dev);
        }
        break;
    default:  // 11
        info.QuestionCount = ReadU32(dev);
        info.IQCount = ReadU32(dev);
        info.RandomCount = ReadU16(dev);
        info.Options = ReadU16(dev);
        info.TimeLimit = ReadU8(dev);
        info.ReservedWord = ReadU16(dev);
        readReserved();
        info.Zoom = ReadU8(dev);
        info.QWidth = ReadU16(dev);
        info.QHeight = ReadU16(dev);
        info.QScrollBars = ReadU8(dev);
        break;
    }
    const quint8 p = ReadU8(dev);
    if (p > MaxScrambledPassword)
        throw ERangeError(QStringLiteral("Password too long"));
    if (p > 0) {
        char buf[256];
        ReadExact(dev, buf, p);
        info.Password = FromAnsi(UnscramblePassword(PasswordKey, QByteArray(buf, p)));
    }
}
}

int ReadTestHeader(QIODevice &dev, TTestInfo &info)
{
    info = TTestInfo::StartingValues();
    try {
        if (dev.pos() != 0 && !dev.seek(0))
            return hrReadError;
        char magic[MagicSize];
        if (StreamIO::ReadUpTo(dev, magic, MagicSize) != MagicSize
            || std::memcmp(magic, Magic, MagicSize) != 0)
            return hrBadMagic;
        const quint8 version = StreamIO::ReadU8(dev);
        if (version > CurrentVersion)
            return hrTooNew;
        if (version < OldestVersion)
            return hrTooOld;
        info.Version = version;
        readHeaderBody(dev, info, version);
        return hrOk;
    } catch (const EQuizError &) {
        return hrReadError;
    } catch (const std::bad_alloc &) {
        return hrReadError;
    }
}

QString HeaderResultMessage(int code)
{
    switch (code) {
    case hrBadMagic:
        return QStringLiteral("Ошибка чтения. Файл не был создан редактором тестов.");
    case hrTooOld:
        return QStringLiteral("Файл создан устаревшей версией Экзаменовки.\rВоспользуйтесь конвертером тестов для конвертирования файла в новый формат.");
    case hrTooNew:
        return QStringLiteral("Файл создан более старшей версией Экзаменовки.\rУстановите более новую версию программы.");
    case hrReadError:
        return QStringLiteral("Ошибка чтения файла.");
    default:
        return {};
    }
}

// ---- question record ----

void CheckQuestionFits(const TNQuestion &q)
{
    const qsizetype lines = std::min<qsizetype>(q.PlainLines.Count(), MaxPlainLines);
    for (qsizetype i = 0; i < lines; ++i)
        checkWideFits("Plain line", q.PlainLines.items().at(i));
    checkFits("Body", q.Body.size());
    if (q.Comment)
        checkFits("Comment", q.Comment->size());
    if (q.HasTitle)
        checkAnsiFits("Title", q.Title);
    for (const QString &v : q.Variants)
        checkAnsiFits("Variant", v);
}

void WriteQuestion(const TNQuestion &q, QIODevice &dev)
{
    using namespace StreamIO;
    if (quint32(q.Variants.size()) > MaxVariants
        || (!q.Variants.isEmpty() && q.RightMarks.size() != q.Variants.size()))
        throw ERangeError(StructureError);
    CheckQuestionFits(q);
    quint8 flags = 0;
    if (q.Comment) flags |= QFlagComment;
    if (q.HasTitle) flags |= QFlagTitle;
    WriteU8(dev, flags);
    // Plain lines only title the question; more than readers take would make
    // the whole test unreadable, so the surplus is not stored.
    const quint32 lines = std::min<quint32>(quint32(q.PlainLines.Count()), MaxPlainLines);
    WriteU32(dev, lines);
    for (quint32 i = 0; i < lines; ++i)
        WriteWideString(q.PlainLines.items().at(i), dev);
    WriteU32(dev, quint32(q.Body.size()));
    WriteAll(dev, q.Body.constData(), q.Body.size());
    if (q.Comment) {
        WriteU32(dev, quint32(q.Comment->size()));
        WriteAll(dev, q.Comment->constData(), q.Comment->size());
    }
    if (q.HasTitle)
        WriteAnsiString(q.Title, dev);
    WriteU32(dev, quint32(q.Variants.size()));
    for (const QString &v : q.Variants)
        WriteAnsiString(v, dev);
    if (!q.Variants.isEmpty())
        WriteAnsiString(q.RightMarks, dev);
}

void ReadQuestion(TNQuestion &q, QIODevice &dev)
{
    using namespace StreamIO;
    // Everything is read aside first so a failure leaves q as it was.
    const quint8 flags = ReadU8(dev);
    const quint32 lineCount = ReadU32(dev);
    if (lineCount > MaxPlainLines)
        throw ERangeError(StructureError);
    TWideStrings lines;
    for (quint32 i = 0; i < lineCount; ++i)
        lines.Add(ReadWideString(dev));
    QByteArray body = ReadBlob(dev, ReadU32(dev));
    std::optional<QByteArray> comment;
    if (flags & QFlagComment)
        comment = ReadBlob(dev, ReadU32(dev));
    std::optional<QString> title;
    if (flags & QFlagTitle)
        title = ReadAnsiString(dev);
    const quint32 variantCount = ReadU32(dev);
    if (variantCount > MaxVariants)
        throw ERangeError(StructureError);
    QStringList variants;
    for (quint32 i = 0; i < variantCount; ++i)
        variants.append(ReadAnsiString(dev));
    QString marks;
    if (variantCount > 0) {
        marks = ReadAnsiString(dev);
        // Every later step indexes the key by variant.
        if (quint32(marks.size()) != variantCount)
            throw ERangeError(StructureError);
    }

    q.PlainLines = std::move(lines);
    q.Body = std::move(body);
    if (comment)
        q.Comment = std::move(comment);
    if (title) {
        q.HasTitle = true;
        q.Title = *title;
    }
    q.Variants = std::move(variants);
    q.RightMarks = std::move(marks);
    q.ContentReady = true;
}
