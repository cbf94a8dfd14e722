// The rich-text content record: RTF, then its object records with their
// compound-file storages. Whatever loads whole must save and load back to
// the same dump and the same objects.
#include "FuzzUtil.h"
#include "RichDump.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"

#include <QJsonDocument>
#include <QTextBlock>
#include <QTextDocument>

namespace {
QList<RichText::TRichObject> Objects(const QTextDocument &doc)
{
    QList<RichText::TRichObject> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!RichText::IsObjectFormat(f.charFormat()))
                continue;
            for (int i = 0; i < f.length(); ++i)
                out.append(RichText::ObjectOf(f.charFormat()));
        }
    }
    return out;
}

// A run without a face of its own shows in the document's default font, and
// the default charset is the writer's own code page; the writer names both,
// so the comparison does too.
QList<QJsonObject> Effective(QList<QJsonObject> dump, const QTextDocument &doc)
{
    QString face = doc.defaultFont().family();
    if (face.isEmpty())
        face = QStringLiteral("MS Sans Serif");
    for (QJsonObject &o : dump) {
        if (o.value(QStringLiteral("type")).toString() != QLatin1String("run"))
            continue;
        // The typing format of an empty paragraph names no font in the RTF
        // written for it; only its other attributes are kept.
        if (o.value(QStringLiteral("text")).toString().isEmpty()) {
            o.remove(QStringLiteral("face"));
            o.remove(QStringLiteral("charset"));
            continue;
        }
        if (o.value(QStringLiteral("face")).toString().isEmpty())
            o[QStringLiteral("face")] = face;
        if (o.value(QStringLiteral("charset")).toInt() == 1)
            o[QStringLiteral("charset")] = 204;
    }
    // Runs that differed only in what was just evened out are one run.
    QList<QJsonObject> merged;
    auto attributes = [](QJsonObject o) {
        for (const char *k : {"text", "start", "end", "offset"})
            o.remove(QLatin1String(k));
        return o;
    };
    for (const QJsonObject &o : dump) {
        const bool run = o.value(QStringLiteral("type")).toString() == QLatin1String("run");
        if (run && !merged.isEmpty()
            && merged.last().value(QStringLiteral("type")).toString() == QLatin1String("run")
            && attributes(merged.last()) == attributes(o)) {
            QJsonObject &last = merged.last();
            last[QStringLiteral("text")] = last.value(QStringLiteral("text")).toString()
                                           + o.value(QStringLiteral("text")).toString();
            last[QStringLiteral("end")] = o.value(QStringLiteral("end"));
            continue;
        }
        merged.append(o);
    }
    return merged;
}

QString DumpText(const QList<QJsonObject> &dump)
{
    QString s;
    for (const QJsonObject &o : dump)
        s += QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + '\n';
    return s;
}
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTextDocument doc;
    bool whole = true;
    try {
        RichText::LoadRecord(doc, Fuzz::Bytes(data, size));
    } catch (const EQuizError &) {
        whole = false;
    }
    const QList<RichText::TRichObject> objects = Objects(doc);
    for (const RichText::TRichObject &o : objects) {
        (void)RichText::DecodeStoragePicture(o.storage);
        (void)RichText::StorageClassName(o.storage);
    }
    const QList<QJsonObject> dump = Effective(RichDump(doc), doc);
    if (!whole)
        return 0;

    QByteArray saved;
    try {
        saved = RichText::SaveRecord(doc);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a loaded record does not save", e.message());
    }
    QTextDocument doc2;
    try {
        RichText::LoadRecord(doc2, saved);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a saved record does not load", e.message());
    }
    const QList<QJsonObject> dump2 = Effective(RichDump(doc2), doc2);
    Fuzz::Check(dump == dump2, "dump changed by save and load",
                DumpText(dump) + "----\n" + DumpText(dump2));
    Fuzz::Check(Objects(doc2) == objects, "objects changed by save and load");
    return 0;
}
