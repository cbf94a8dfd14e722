#include "QuestionClipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>

#include "StreamIO.h"

namespace QuestionClipboard {

namespace {
void PutU32(QByteArray &out, quint32 v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    out.append(b, 4);
}

quint32 GetU32(const QByteArray &in, qint64 at)
{
    const auto *p = reinterpret_cast<const uchar *>(in.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// The user data of one node: the question record, then the bad-state byte.
void WriteUserData(const TNodeRecord &rec, QByteArray &out)
{
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly | QIODevice::Append);
    WriteQuestion(*rec.Question, buf);
    StreamIO::WriteU8(buf, rec.isBad() ? FlagBad : 0);
}

TDecodeResult Fail(const QString &why, qint64 at)
{
    TDecodeResult r;
    r.Error = why;
    r.Offset = at;
    return r;
}
}  // namespace

QByteArray EncodeNodes(const std::vector<const TNodeRecord *> &records)
{
    QByteArray out;
    for (const TNodeRecord *rec : records) {
        if (!rec || !rec->Question)
            continue;
        CheckQuestionFits(*rec->Question);
        const qint64 sizeAt = out.size();
        PutU32(out, 0);
        WriteUserData(*rec, out);
        const quint32 size = quint32(out.size() - sizeAt - NodeSizeBytes);
        const QByteArray le = [size] { QByteArray b; PutU32(b, size); return b; }();
        out.replace(sizeAt, NodeSizeBytes, le);
    }
    return out;
}

QByteArray BlockOf(const QByteArray &nodes)
{
    QByteArray block;
    block.reserve(nodes.size() + BlockCountBytes);
    PutU32(block, quint32(nodes.size()));
    block.append(nodes);
    return block;
}

QByteArray EncodeBlock(const std::vector<const TNodeRecord *> &records)
{
    return BlockOf(EncodeNodes(records));
}

TDecodeResult DecodeBlock(const QByteArray &block)
{
    if (block.size() < BlockCountBytes)
        return Fail(QStringLiteral("no byte count"), 0);
    const quint32 n = GetU32(block, 0);
    if (n > quint64(block.size() - BlockCountBytes))
        return Fail(QStringLiteral("byte count %1 beyond the %2 bytes that follow").arg(n).arg(block.size() - 4), 0);
    const qint64 end = BlockCountBytes + qint64(n);
    std::vector<TNodeRecord> records;
    qint64 at = BlockCountBytes;
    while (at < end) {
        if (end - at < NodeSizeBytes)
            return Fail(QStringLiteral("node size cut short"), at);
        const quint32 size = GetU32(block, at);
        const qint64 dataAt = at + NodeSizeBytes;
        if (size < quint32(FlagBytes) || size > quint64(end - dataAt))
            return Fail(QStringLiteral("node size %1 does not fit").arg(size), at);
        // The node's bytes alone, so the reader cannot run into the next node.
        const QByteArray data = QByteArray::fromRawData(block.constData() + dataAt, qsizetype(size - FlagBytes));
        QBuffer in;
        in.setData(data);
        in.open(QIODevice::ReadOnly);
        auto q = std::make_unique<TNQuestion>();
        try {
            ReadQuestion(*q, in);
        } catch (const EQuizError &e) {
            return Fail(e.message(), dataAt + in.pos());
        } catch (const std::bad_alloc &) {
            return Fail(QStringLiteral("out of memory"), dataAt);
        }
        if (!in.atEnd())
            return Fail(QStringLiteral("question record shorter than its node"), dataAt + in.pos());
        const quint8 flag = quint8(block.at(dataAt + size - FlagBytes));
        if (flag > FlagBad)
            return Fail(QStringLiteral("bad-state byte %1").arg(flag), dataAt + size - FlagBytes);
        records.push_back(TNodeRecord{std::move(q), quint8(flag == FlagBad ? NodeFlagBad : 0)});
        at = dataAt + size;
    }
    TDecodeResult r;
    r.Ok = true;
    r.Records = std::move(records);
    return r;
}

// ---- the data object ----------------------------------------------------------

TQuestionMimeData::TQuestionMimeData(const QObject *sourceList, std::vector<const TNodeRecord *> records)
    : m_source(sourceList), m_records(std::move(records))
{
}

TQuestionMimeData::TQuestionMimeData(const QByteArray &block) : m_block(block), m_rendered(true) {}

QStringList TQuestionMimeData::formats() const
{
    return {MimeType};
}

bool TQuestionMimeData::hasFormat(const QString &mimeType) const
{
    return mimeType == MimeType;
}

void TQuestionMimeData::render() const
{
    if (m_rendered)
        return;
    m_rendered = true;
    try {
        m_block = EncodeBlock(m_records);
    } catch (const EQuizError &) {
        // A receiver reads nothing from an empty block and says so.
        m_block.clear();
        m_renderOk = false;
    } catch (const std::bad_alloc &) {
        m_block.clear();
        m_renderOk = false;
    }
    m_records.clear();
}

bool TQuestionMimeData::refersTo(const TNodeRecord *rec) const
{
    return std::find(m_records.begin(), m_records.end(), rec) != m_records.end();
}

QVariant TQuestionMimeData::retrieveData(const QString &mimeType, QMetaType) const
{
    if (mimeType != MimeType)
        return {};
    render();
    return m_block;
}

// ---- the system clipboard -----------------------------------------------------

namespace {
// The object last put; the clipboard owns it and deletes it when it lets go.
QPointer<QMimeData> g_own;
}

void Put(TQuestionMimeData *data)
{
    g_own = data;
    QGuiApplication::clipboard()->setMimeData(data);
}

TQuestionMimeData *OwnData()
{
    if (!g_own)
        return nullptr;
    QClipboard *cb = QGuiApplication::clipboard();
    if (cb->mimeData() != g_own.data())
        return nullptr;
    return static_cast<TQuestionMimeData *>(g_own.data());
}

bool HoldsQuestions()
{
    if (OwnData())
        return true;
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(MimeType);
}

TDecodeResult ReadClipboard()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(MimeType))
        return Fail(QStringLiteral("no questions on the clipboard"), -1);
    return DecodeBlock(data->data(MimeType));
}

bool Flush()
{
    TQuestionMimeData *own = OwnData();
    if (!own)
        return true;
    own->render();
    return own->renderedOk();
}

void Empty()
{
    if (OwnData())
        QGuiApplication::clipboard()->clear();
    g_own = nullptr;
}

}  // namespace QuestionClipboard
