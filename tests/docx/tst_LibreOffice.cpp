// A word processor opens what the export writes: both documents convert to PDF.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "Clock.h"
#include "MJvRichedit.h"
#include "WordExport.h"
#include "testutil_docx.h"

class TestLibreOffice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void convertsToPdf();
};

void TestLibreOffice::convertsToPdf()
{
    QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        QSKIP("LibreOffice is not installed (scripts/setup.sh installs libreoffice-writer-nogui)");

    QTemporaryDir dir;
    auto text = std::make_shared<TNQuestion>();
    text->Body = DocxTest::ReadFile(QStringLiteral(QE_CORPUS_DIR "/richedit/15_num_arabic_period.rec"));
    text->Variants = {QStringLiteral("первый"), QStringLiteral("второй")};
    text->RightMarks = QStringLiteral(" !");
    auto picture = std::make_shared<TNQuestion>();
    picture->Body = DocxTest::ReadFile(QStringLiteral(QE_CORPUS_DIR "/richedit/pictures/pic1_checker24_bitmap.rec"));
    picture->Variants = {QStringLiteral("да")};
    picture->RightMarks = QStringLiteral("!");
    QeClock::SeedRandom(7);
    Docx::TWordExportSettings s;
    s.templatePath = DocxTest::DefaultTemplate();
    const QString testPath = dir.path() + QStringLiteral("/Контрольная.docx");
    QStringList messages;
    const Docx::TWordExportResult r = Docx::ExportToWord(TTestInfo::NewTestValues(), {text, picture}, s, testPath,
                                                         Docx::KeyPathFor(testPath), [&](const QString &m) { messages << m; });
    QVERIFY2(r.testWritten && r.keyWritten, qPrintable(messages.join(QLatin1Char('|'))));

    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + dir.path() + QStringLiteral("/profile"),
                     QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                     QStringLiteral("--outdir"), dir.path(), testPath, Docx::KeyPathFor(testPath)});
    QVERIFY(p.waitForFinished(300000));
    QCOMPARE(p.exitCode(), 0);
    for (const QString &pdf : {dir.path() + QStringLiteral("/Контрольная.pdf"), dir.path() + QStringLiteral("/Контрольная (ответы).pdf")}) {
        const QByteArray bytes = DocxTest::ReadFile(pdf);
        QVERIFY2(bytes.startsWith("%PDF"), qPrintable(pdf + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError())));
        // The text of the pages, when the tool for it is there.
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            continue;
        QProcess t;
        t.start(pdftotext, {pdf, QStringLiteral("-")});
        QVERIFY(t.waitForFinished(60000));
        const QString pages = QString::fromUtf8(t.readAllStandardOutput());
        QVERIFY2(pages.contains(Docx::IdentifierLine(r.identifier)), qPrintable(pages));
        QVERIFY(pages.contains(QStringLiteral("Вопрос №: 2")));
    }
}

QTEST_MAIN(TestLibreOffice)
#include "tst_LibreOffice.moc"
