// Templates the fuzzer found breaking the document export, reduced. The files
// under tests/fuzz-regressions/template are also its seeds; each goes through
// what the export does with a template: load, build a document, read it back.
#include <QDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <optional>

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
        const QByteArray zip = Zipped(DocxTest::ReadFile(path));
        std::optional<Docx::TDocxTemplate> loaded;
        try {
            loaded = Docx::TDocxTemplate::FromBytes(zip);
        } catch (const EDocxError &) {
            return;   // refused is fine; what is accepted must make a document
        }
        const Docx::TDocxTemplate &tpl = *loaded;
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

    // A zip entry stating a size its compressed bytes cannot inflate to is
    // refused before anything is allocated for it (the fuzzer's was 1 GiB in 3.6 KB).
    void overstatedEntrySizeRefused()
    {
        const QByteArray part(300, 'x');
        QByteArray zip = Docx::WriteZip({{QStringLiteral("word/document.xml"), part}});
        QCOMPARE(Docx::ReadZip(zip).value(0).second, part);
        const auto patch = [&](const char *signature, int offset) {
            const qsizetype at = zip.indexOf(QByteArray(signature, 4));
            QVERIFY(at >= 0);
            const quint32 huge = 1u << 30;
            for (int i = 0; i < 4; ++i)
                zip[at + offset + i] = char((huge >> (8 * i)) & 0xff);
        };
        patch("PK\x01\x02", 24);   // central directory: uncompressed size
        patch("PK\x03\x04", 22);   // local header: uncompressed size
        try {
            Docx::ReadZip(zip);
            QFAIL("an entry of 1 GiB from 300 bytes was read");
        } catch (const EDocxError &e) {
            QVERIFY2(e.message().contains(QLatin1String("bad size")), qPrintable(e.message()));
        }
        QVERIFY_THROWS_EXCEPTION(EDocxError, Docx::TDocxTemplate::FromBytes(DocxTest::ReadFile(
            QStringLiteral(QE_SOURCE_DIR "/tests/fuzz-regressions/template/stated-size-1-gib")).mid(1)));
    }
};

QTEST_MAIN(TestFuzzFindings)
#include "tst_fuzzfindings.moc"
