// The word-processor template reader, and a document built on what it accepts.
// A leading 'Z' gives the bytes to the zip reader as they are; otherwise they
// are parts separated by 0x01 bytes, zipped under a template's usual names,
// so the mutations reach the XML rather than the zip headers.
#include "DocxError.h"
#include "DocxWriter.h"
#include "DocxZip.h"
#include "FuzzUtil.h"

#include <QTextCursor>
#include <QTextDocument>

#include <optional>

namespace {
const char *const kNames[] = {
    "[Content_Types].xml", "_rels/.rels", "word/document.xml", "word/_rels/document.xml.rels",
    "word/styles.xml", "word/numbering.xml", "word/settings.xml", "word/header1.xml",
    "word/_rels/header1.xml.rels", "word/media/image1.png", "docProps/core.xml", "docProps/app.xml",
};
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray in = Fuzz::Bytes(data, size);
    QByteArray zip;
    if (in.startsWith('Z')) {
        zip = in.mid(1);
    } else {
        Docx::TZipEntries entries;
        const QList<QByteArray> parts = in.split('\x01');
        for (qsizetype i = 0; i < parts.size() && i < qsizetype(std::size(kNames)); ++i)
            entries.append({QString::fromLatin1(kNames[i]), parts[i]});
        try {
            zip = Docx::WriteZip(entries);
        } catch (const EDocxError &) {
            return 0;
        }
    }
    std::optional<Docx::TDocxTemplate> tpl;
    try {
        tpl = Docx::TDocxTemplate::FromBytes(zip);
    } catch (const EDocxError &) {
        return 0;
    }
    // What the export does with a template it accepted must not fail on it.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Вопрос"));
    c.insertBlock();
    c.insertText(QStringLiteral("Текст"));
    QByteArray package;
    try {
        Docx::TDocxDocument out(*tpl);
        out.addParagraph(tpl->paragraphStyleId(QStringLiteral("СТ: Заголовок вопроса")),
                         QStringLiteral("Вопрос 1"));
        out.addRichText(doc, tpl->paragraphStyleId(QStringLiteral("СТ: Текст вопроса")));
        out.addRichText(doc);
        out.setFooter(QStringLiteral("Идентификатор теста: 1"));
        package = out.package();
    } catch (const EDocxError &e) {
        Fuzz::Fail("an accepted template failed the document", e.message());
    }
    try {
        Docx::ReadZip(package);
    } catch (const EDocxError &e) {
        Fuzz::Fail("the document built on a template is no zip", e.message());
    }
    return 0;
}
