#include "RichRecord.h"

#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecordFormat.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace RichText {

using namespace RichRecordFormat;

namespace {

void PutLe32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

quint32 Le32(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

void InsertObject(QTextDocument &doc, int cp, const TRichObject &obj)
{
    const int end = doc.characterCount() - 1;   // the final paragraph mark is not text
    cp = std::clamp(cp, 0, end);
    QTextCursor c(&doc);
    c.setPosition(cp);
    const QChar at = doc.characterAt(cp);
    QTextCharFormat base;
    // Replace the placeholder, but never a paragraph mark: that would join paragraphs.
    if (cp < end && at != QChar::ParagraphSeparator) {
        c.setPosition(cp + 1, QTextCursor::KeepAnchor);
        base = c.charFormat();
    } else {
        base = c.charFormat();
    }
    base.clearProperty(QTextFormat::ObjectType);
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(obj, base));
}

} // namespace

QByteArray SaveRecord(const QTextDocument &doc)
{
    const QByteArray rtf = WriteRtf(doc);
    QByteArray out;
    out.reserve(rtf.size() + 4);
    PutLe32(out, quint32(rtf.size()));
    out.append(rtf);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (!IsObjectFormat(f))
                continue;
            if (!f.hasProperty(PropObjStorage))
                throw ERichEditError(kCannotGetObject);
            const TRichObject o = ObjectOf(f);
            const QString text = frag.text();
            for (int k = 0; k < text.size(); ++k) {
                if (text[k] != QChar::ObjectReplacementCharacter)
                    continue;
                out.append(kObjectMagic, kMagicSize);
                PutLe32(out, o.aspect);
                PutLe32(out, quint32(o.storage.size()));
                PutLe32(out, quint32(frag.position() + k));
                out.append(o.clsid.leftJustified(kClsidSize, '\0', true));
                PutLe32(out, quint32(o.width));
                PutLe32(out, quint32(o.height));
                PutLe32(out, o.flags);
                PutLe32(out, o.user);
                out.append(o.storage);
            }
        }
    }
    return out;
}

void LoadRecord(QTextDocument &doc, const QByteArray &record, bool readOnly)
{
    const qsizetype size = record.size();
    if (size == 0) {
        ReadRtf(QByteArray(), doc);
        return;
    }
    if (size < kLengthSize) {
        ReadRtf(QByteArray(), doc);
        throw ERichEditError(kFailedToLoad);
    }
    const quint32 r = Le32(record.constData());
    const qsizetype avail = size - kLengthSize;
    if (qint64(r) > avail) {
        ReadRtf(record.mid(kLengthSize), doc);
        throw ERichEditError(kFailedToLoad);
    }
    ReadRtf(record.mid(kLengthSize, r), doc);

    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    struct Restore {
        QTextDocument &d;
        bool u;
        ~Restore() { d.setUndoRedoEnabled(u); d.setModified(false); }
    } restore{doc, undo};

    qsizetype pos = kLengthSize + qsizetype(r);
    while (pos < size) {
        const char *p = record.constData() + pos;
        const qsizetype left = size - pos;
        if (left < kPrefixSize || memcmp(p, kObjectMagic, kMagicSize) != 0)
            throw ERichEditError(kBadStreamFormat);
        const quint32 s = Le32(p + kOffStorageSize);
        if (left < kHeaderSize || qint64(s) > left - kHeaderSize)
            throw ERichEditError(kBadStreamFormat);
        TRichObject o;
        o.aspect = Le32(p + kOffAspect);
        const qint32 cp = qint32(Le32(p + kOffPosition));
        o.clsid = QByteArray(p + kOffClsid, kClsidSize);
        o.width = qint32(Le32(p + kOffWidth));
        o.height = qint32(Le32(p + kOffHeight));
        o.flags = Le32(p + kOffFlags);
        o.user = Le32(p + kOffUser);
        o.storage = QByteArray(p + kHeaderSize, qsizetype(s));
        if (readOnly)
            o.flags &= ~kReoResizable;
        InsertObject(doc, cp, o);
        pos += kHeaderSize + qsizetype(s);
    }
}

} // namespace RichText
