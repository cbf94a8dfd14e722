// qe2tool richdump and richrec: rich text outside a test, for comparing our
// reader and writer with reference samples.
#include <QJsonDocument>
#include <QTextDocument>
#include <QtEndian>

#include "QeErrors.h"
#include "RichDump.h"
#include "RichRecord.h"
#include "RtfReader.h"
#include "Tool.h"

namespace Qe2Tool {

namespace {

const QByteArray RtfStart = QByteArrayLiteral("{\\rtf");

// A content record starts with its RTF length and the RTF itself.
bool IsContentRecord(const QByteArray &bytes)
{
    if (bytes.size() < 4 + RtfStart.size())
        return false;
    const quint32 length = qFromLittleEndian<quint32>(bytes.constData());
    return bytes.mid(4, RtfStart.size()) == RtfStart && length <= quint32(bytes.size() - 4);
}

bool IsRtf(const QByteArray &bytes)
{
    return bytes.trimmed().startsWith(RtfStart);
}

// Loads path into doc; the text of a failure that still left something readable
// goes to partialError, a file that is neither kind throws.
void LoadRich(const QString &path, QTextDocument &doc, QString &partialError)
{
    const QByteArray bytes = ReadWholeFile(path);
    if (IsContentRecord(bytes)) {
        try {
            RichText::LoadRecord(doc, bytes);
        } catch (const EQuizError &e) {
            partialError = e.message();
        }
        return;
    }
    if (!IsRtf(bytes))
        throw ToolError(QStringLiteral("%1: neither RTF nor a rich-text content record").arg(path));
    const RichText::TRtfReadResult r = RichText::ReadRtf(bytes, doc);
    if (!r.ok)
        partialError = QStringLiteral("RTF error at byte %1: %2").arg(r.errorOffset).arg(r.error);
}

}  // namespace

int CmdRichDump(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {{QStringLiteral("lines"), {}, false}}, 1, 1);
    const QString path = a.positional.first();
    QTextDocument doc;
    QString error;
    LoadRich(path, doc, error);

    QByteArray out;
    if (a.has(QStringLiteral("lines"))) {
        const QStringList lines = RichText::DocumentLines(doc);
        for (int i = 0; i < lines.size(); ++i)
            out += QString::number(i).toUtf8() + '\t' + lines[i].toUtf8() + '\n';
    } else {
        for (const QJsonObject &o : RichDump(doc))
            out += QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    }
    WriteOut(out);
    // What could be read is shown; the status still says the file is damaged.
    if (!error.isEmpty())
        throw ToolError(QStringLiteral("%1: %2").arg(path, error));
    return exitOk;
}

int CmdRichRec(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {}, 2, 2);
    const QString in = a.positional[0];
    const QString out = a.positional[1];
    QTextDocument doc;
    QString error;
    LoadRich(in, doc, error);
    if (!error.isEmpty())
        throw ToolError(QStringLiteral("%1: %2; nothing written").arg(in, error));
    QByteArray record;
    try {
        record = RichText::SaveRecord(doc);
    } catch (const EQuizError &e) {
        throw ToolError(QStringLiteral("%1: %2").arg(in, e.message()));
    }
    WriteWholeFile(out, record);
    return exitOk;
}

}  // namespace Qe2Tool
