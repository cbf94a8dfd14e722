#include "RunJournal.h"

#include "TestFileFormat.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>

using namespace JournalFormat;
using TestFileFormat::getU16;
using TestFileFormat::getU32;
using TestFileFormat::getU64;

quint32 JournalChecksum(const char *data, qsizetype size)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i)
        c = table[(c ^ uchar(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

namespace {

class TWriter {
public:
    explicit TWriter(QByteArray &out) : m_out(out) {}
    void u8(quint8 v) { m_out.append(char(v)); }
    void u16(quint16 v) { uchar b[2]; TestFileFormat::putU16(b, v); m_out.append(reinterpret_cast<char *>(b), 2); }
    void u32(quint32 v) { uchar b[4]; TestFileFormat::putU32(b, v); m_out.append(reinterpret_cast<char *>(b), 4); }
    void u64(quint64 v) { uchar b[8]; TestFileFormat::putU64(b, v); m_out.append(reinterpret_cast<char *>(b), 8); }
    void str(const QString &s)
    {
        // Longer texts than a journal reads back would make a journal that never resumes.
        const QByteArray b = s.toUtf8().left(MaxString);
        u32(quint32(b.size()));
        m_out.append(b);
    }
private:
    QByteArray &m_out;
};

// Recursive descent over the payload; every read is bounded by what remains.
class TReader {
public:
    TReader(const QByteArray &b, qsizetype begin, qsizetype end) : m_b(b), m_pos(begin), m_end(end) {}
    [[noreturn]] void fail(const QString &what) const
    {
        throw EJournalError(QStringLiteral("%1 at byte %2").arg(what).arg(m_pos));
    }
    const uchar *take(qsizetype n, const char *what)
    {
        if (n < 0 || m_end - m_pos < n)
            fail(QStringLiteral("the journal ends inside %1").arg(QLatin1String(what)));
        const uchar *p = reinterpret_cast<const uchar *>(m_b.constData()) + m_pos;
        m_pos += n;
        return p;
    }
    quint8 u8(const char *what) { return *take(1, what); }
    quint16 u16(const char *what) { return getU16(take(2, what)); }
    quint32 u32(const char *what) { return getU32(take(4, what)); }
    quint64 u64(const char *what) { return getU64(take(8, what)); }
    QString str(const char *what)
    {
        const quint32 n = u32(what);
        if (n > MaxString)
            fail(QStringLiteral("%1 of %2 bytes is too long").arg(QLatin1String(what)).arg(n));
        const uchar *p = take(n, what);
        return QString::fromUtf8(reinterpret_cast<const char *>(p), n);
    }
    qsizetype remaining() const { return m_end - m_pos; }
    qsizetype pos() const { return m_pos; }

    TJournalItem readItem()
    {
        TJournalItem it;
        it.StoredIndex = u32("an item");
        if (it.StoredIndex >= MaxItems)
            fail(QStringLiteral("item index %1 is out of range").arg(it.StoredIndex));
        const quint16 n = u16("an item");
        if (n > MaxVariants || remaining() < qsizetype(n) * 2 + 1)
            fail(QStringLiteral("variant count %1 does not fit").arg(n));
        it.VariantOrder.reserve(n);
        for (quint16 k = 0; k < n; ++k)
            it.VariantOrder.append(u16("a variant order"));
        const quint8 answered = u8("an item");
        if (answered > 1)
            fail(QStringLiteral("answer flag %1").arg(answered));
        if (answered) {
            if (n == 0)
                fail(QStringLiteral("an answer to an information item"));
            const uchar *m = take(n, "an answer");
            bool ticked = false;
            for (quint16 k = 0; k < n; ++k) {
                if (m[k] != '!' && m[k] != ' ')
                    fail(QStringLiteral("an answer holds 0x%1").arg(m[k], 2, 16, QLatin1Char('0')));
                ticked = ticked || m[k] == '!';
            }
            // An answer without a tick is stored as no answer, never as spaces.
            if (!ticked)
                fail(QStringLiteral("an answer without a tick"));
            it.UserMarks = QString::fromLatin1(reinterpret_cast<const char *>(m), n);
        }
        return it;
    }

    TRunJournal readPayload()
    {
        TRunJournal j;
        const quint8 hashSize = u8("the test hash");
        if (hashSize != HashSize)
            fail(QStringLiteral("test hash of %1 bytes").arg(hashSize));
        j.TestHash = QByteArray(reinterpret_cast<const char *>(take(HashSize, "the test hash")), HashSize);
        j.TestPath = str("the test path");
        j.ResultsPath = str("the results path");
        j.LastName = str("the last name");
        j.FirstName = str("the first name");
        j.Patronymic = str("the patronymic");
        j.AddInfo = str("the additional information");
        j.AskedCount = u32("the asked count");
        j.CurQuestion = u16("the current question");
        j.SecondsLeft = u16("the time left");
        j.Phase = u8("the phase");
        if (j.Phase < PhaseAnswering || j.Phase > PhaseDone)
            fail(QStringLiteral("unknown phase %1").arg(j.Phase));
        const quint8 flags = u8("the flags");
        if (flags & ~FlagReview)
            fail(QStringLiteral("unknown flags 0x%1").arg(flags, 2, 16, QLatin1Char('0')));
        j.Review = flags & FlagReview;
        j.ResultTime = qint64(u64("the result time"));
        const quint32 count = u32("the item count");
        if (count == 0 || count > MaxItems || qint64(count) * MinItemSize > remaining())
            fail(QStringLiteral("item count %1 does not fit").arg(count));
        if (j.AskedCount > count)
            fail(QStringLiteral("asked count %1 of %2 items").arg(j.AskedCount).arg(count));
        if (j.CurQuestion < 1 || j.CurQuestion > count)
            fail(QStringLiteral("current question %1 of %2 items").arg(j.CurQuestion).arg(count));
        j.Items.reserve(count);
        for (quint32 i = 0; i < count; ++i)
            j.Items.append(readItem());
        if (remaining() != 0)
            fail(QStringLiteral("%1 bytes after the last item").arg(remaining()));
        return j;
    }
private:
    const QByteArray &m_b;
    qsizetype m_pos, m_end;
};
} // namespace

QString TRunJournal::FIO() const
{
    QString fio = LastName + u' ' + FirstName + u' ' + Patronymic;
    if (!AddInfo.isEmpty())
        fio += QStringLiteral(" (") + AddInfo + u')';
    return fio;
}

QByteArray WriteJournal(const TRunJournal &j)
{
    QByteArray out;
    qsizetype est = OffPayload + 200;
    for (const TJournalItem &it : j.Items)
        est += MinItemSize + it.VariantOrder.size() * 3;
    out.reserve(est);
    out.append(Magic, MagicSize);
    TWriter w(out);
    w.u32(Version);
    w.u32(0);  // payload size, filled in below
    w.u8(HashSize);
    out.append(j.TestHash.left(HashSize).leftJustified(HashSize, '\0'));
    w.str(j.TestPath);
    w.str(j.ResultsPath);
    w.str(j.LastName);
    w.str(j.FirstName);
    w.str(j.Patronymic);
    w.str(j.AddInfo);
    w.u32(j.AskedCount);
    w.u16(j.CurQuestion);
    w.u16(j.SecondsLeft);
    w.u8(j.Phase);
    w.u8(j.Review ? FlagReview : 0);
    w.u64(quint64(j.ResultTime));
    w.u32(quint32(j.Items.size()));
    for (const TJournalItem &it : j.Items) {
        w.u32(it.StoredIndex);
        w.u16(quint16(it.VariantOrder.size()));
        for (quint16 v : it.VariantOrder)
            w.u16(v);
        const bool answered = !it.UserMarks.isEmpty();
        w.u8(answered ? 1 : 0);
        if (answered)
            out.append(it.UserMarks.toLatin1());
    }
    TestFileFormat::putU32(reinterpret_cast<uchar *>(out.data()) + OffPayloadSize,
                           quint32(out.size() - OffPayload));
    w.u32(JournalChecksum(out.constData(), out.size()));
    return out;
}

TRunJournal ReadJournal(const QByteArray &bytes)
{
    if (bytes.size() > MaxFileSize)
        throw EJournalError(QStringLiteral("a journal of %1 bytes is too large").arg(bytes.size()));
    TReader frame(bytes, 0, bytes.size());
    if (bytes.size() < FrameSize || !bytes.startsWith(QByteArray(Magic, MagicSize)))
        throw EJournalError(QStringLiteral("not a run journal at byte 0"));
    frame.take(MagicSize, "the magic");
    const quint32 version = frame.u32("the version");
    if (version != Version)
        throw EJournalError(QStringLiteral("journal version %1 at byte %2").arg(version).arg(OffVersion));
    const quint32 payload = frame.u32("the payload size");
    if (qint64(payload) != bytes.size() - FrameSize)
        throw EJournalError(QStringLiteral("payload of %1 bytes in a journal of %2 at byte %3")
                                .arg(payload).arg(bytes.size()).arg(OffPayloadSize));
    const qsizetype crcAt = OffPayload + qsizetype(payload);
    const quint32 stored = getU32(reinterpret_cast<const uchar *>(bytes.constData()) + crcAt);
    if (stored != JournalChecksum(bytes.constData(), crcAt))
        throw EJournalError(QStringLiteral("checksum mismatch at byte %1").arg(crcAt));
    return TReader(bytes, OffPayload, crcAt).readPayload();
}

QByteArray TestHash(const QByteArray &testBytes)
{
    return QCryptographicHash::hash(testBytes, QCryptographicHash::Sha256);
}

QList<TJournalItem> DrawnOrder(const TQuestionList &stored, const TQuestionList &run,
                               const QHash<const TNQuestion *, QList<quint16>> &variantOrders)
{
    QHash<const TNQuestion *, quint32> index;
    for (std::size_t i = 0; i < stored.size(); ++i)
        index.insert(stored[i].get(), quint32(i));
    QList<TJournalItem> items;
    items.reserve(qsizetype(run.size()));
    for (const TQuestionPtr &q : run) {
        TJournalItem it;
        it.StoredIndex = index.value(q.get());
        it.VariantOrder = variantOrders.value(q.get());
        if (it.VariantOrder.isEmpty()) {
            for (qsizetype k = 0; k < q->Variants.size(); ++k)
                it.VariantOrder.append(quint16(k));
        }
        it.UserMarks = q->UserMarks;
        items.append(it);
    }
    return items;
}

TQuestionList RebuildRun(const TRunJournal &j, const TQuestionList &stored, int timeLimitSeconds)
{
    const auto bad = [](const QString &what) { throw EJournalError(what); };
    if (j.SecondsLeft > timeLimitSeconds)
        bad(QStringLiteral("%1 seconds left of a %2-second test").arg(j.SecondsLeft).arg(timeLimitSeconds));
    if (j.Items.isEmpty() || j.CurQuestion < 1 || j.CurQuestion > j.Items.size())
        bad(QStringLiteral("current question %1 of %2 items").arg(j.CurQuestion).arg(j.Items.size()));
    // Everything is checked before anything changes: a journal refused
    // halfway must leave the test as it was loaded.
    QSet<quint32> seen;
    for (qsizetype i = 0; i < j.Items.size(); ++i) {
        const TJournalItem &it = j.Items[i];
        if (it.StoredIndex >= stored.size() || !stored[it.StoredIndex])
            bad(QStringLiteral("item %1 names question %2 of %3").arg(i + 1).arg(it.StoredIndex + 1).arg(stored.size()));
        if (seen.contains(it.StoredIndex))
            bad(QStringLiteral("question %1 is in the run twice").arg(it.StoredIndex + 1));
        seen.insert(it.StoredIndex);
        const TNQuestion &q = *stored[it.StoredIndex];
        const qsizetype n = q.Variants.size();
        if (it.VariantOrder.size() != n)
            bad(QStringLiteral("item %1 has %2 variants, the test %3").arg(i + 1).arg(it.VariantOrder.size()).arg(n));
        QList<bool> used(n, false);
        for (quint16 v : it.VariantOrder) {
            if (v >= n || used[v])
                bad(QStringLiteral("item %1: the variant order is no permutation").arg(i + 1));
            used[v] = true;
        }
        if (!it.UserMarks.isEmpty() && it.UserMarks.size() != n)
            bad(QStringLiteral("item %1: the answer has %2 marks for %3 variants").arg(i + 1).arg(it.UserMarks.size()).arg(n));
    }
    if (j.AskedCount > j.Items.size())
        bad(QStringLiteral("asked count %1 of %2 items").arg(j.AskedCount).arg(j.Items.size()));

    TQuestionList run;
    run.reserve(std::size_t(j.Items.size()));
    for (const TJournalItem &it : j.Items) {
        const TQuestionPtr &q = stored[it.StoredIndex];
        const QStringList variants = q->Variants;
        const QString marks = q->RightMarks;
        for (qsizetype k = 0; k < it.VariantOrder.size(); ++k) {
            q->Variants[k] = variants[it.VariantOrder[k]];
            // A key shorter than the variants stays as it is: such a question
            // cannot be shuffled either.
            if (marks.size() == variants.size())
                q->RightMarks[k] = marks[it.VariantOrder[k]];
        }
        q->UserMarks = it.UserMarks;
        run.push_back(q);
    }
    return run;
}
