// Templates the fuzzer found breaking the document export, reduced. The files
// under tests/fuzz-regressions/template are also its seeds; each goes through
// what the export does with a template: load, build a document, read it back.
#include <QDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include "DocxError.h"
#include "DocxWriter.h"
#include "DocxZip.h"
#include "testutil_docx.h"

namespace {
// The fuzz target's framing: 'Z' + a zip, or parts split by 0x01 under these names.
const char *const kNames[] = {
    "[Content_Types].xml", "_rels/.rels", "word/document.xml", "word/_rels/document.xml.rels",
    "word/styles.xml", "word/numbering.xml", "word/settings.xml", "word/header1.xml",
    "word/_rels/header1.xml.rels", "word/media/image1.png", "docProps/core.xml", "docProps/app.xml",
};

QByteArray Zipped(const QByteArray &input)
{
    if (input.startsWith('Z'))
        return input.mid(1);
    Docx::TZipEntries entries;
    const QList<QByteArray> parts = input.split('\x01');
    for (qsizetype i = 0; i < parts.size() && i < qsizetype(std::size(kNames)); ++i)
        entries.append({QString::fromLatin1(kNames[i]), parts[i]});
    return Docx::WriteZip(entries);
}
}

class TestFuzzFindings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acceptedTemplateMakesADocument_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(QE_SOURCE_DIR "/tests/fuzz-regressions/template"));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString &f : files)
            QTest::newRow(qPrintable(f)) << dir.filePath(f);
    }
    void acceptedTemplateMakesADocument()
    {
        QFETCH(QString, path);
        const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(Zipped(DocxTest::ReadFile(path)));
        QTextDocument doc;
        QTextCursor(&doc).insertText(QStringLiteral("Текст"));
        Docx::TDocxDocument out(tpl);
        out.addParagraph(tpl.paragraphStyleId(QStringLiteral("СТ: Заголовок вопроса")), QStringLiteral("Вопрос 1"));
        out.addRichText(doc);
        out.setFooter(QStringLiteral("Идентификатор теста: 1"));
        const QStringList order = DocxTest::EntryOrder(out.package());
        QCOMPARE(QSet<QString>(order.begin(), order.end()).size(), order.size());
        QVERIFY(order.contains(QStringLiteral("word/document.xml")));
    }
};

QTEST_MAIN(TestFuzzFindings)
#include "tst_fuzzfindings.moc"
