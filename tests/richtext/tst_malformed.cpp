// Damaged input: every failure is a clear error or a partial load, never a crash or a hang.
#include "testutil_rich.h"

#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "RtfReader.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTextDocument>
#include <QtTest>

using namespace RichTest;
using namespace RichText;

namespace {

// Loads a record, accepting only the library's own errors.
bool LoadSafely(const QByteArray &rec, QTextDocument &doc)
{
    try {
        LoadRecord(doc, rec);
        return true;
    } catch (const ERichEditError &) {
        return false;
    }
}

void Render(QTextDocument &doc)
{
    QImage canvas(300, 200, QImage::Format_RGB32);
    QPainter p(&canvas);
    doc.drawContents(&p);
}

} // namespace

class TestMalformed : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void truncatedCorpusFiles_data();
    void truncatedCorpusFiles();
    void unbalancedBraces();
    void deepNesting();
    void hugeNumbers();
    void binSkipsSafely();
    void garbageObjects();
    void mutatedRecords();
};

void TestMalformed::truncatedCorpusFiles_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &f : CorpusFiles(QStringLiteral(".rtf"), false) + CorpusFiles(QStringLiteral(".rec"), true))
        QTest::newRow(qPrintable(f)) << f;
}

void TestMalformed::truncatedCorpusFiles()
{
    QFETCH(QString, file);
    const QByteArray data = ReadFile(CorpusDir() + QLatin1Char('/') + file);
    QVERIFY(!data.isEmpty());
    const bool record = file.endsWith(QLatin1String(".rec"));
    const qsizetype step = std::max<qsizetype>(1, data.size() / 150);
    int loaded = 0;
    for (qsizetype n = 0; n < data.size(); n += step) {
        QTextDocument doc;
        const QByteArray cut = data.left(n);
        if (record) {
            loaded += LoadSafely(cut, doc) ? 1 : 0;
        } else {
            ReadRtf(cut, doc);
            ++loaded;
        }
        QVERIFY(doc.characterCount() >= 1);
        Render(doc);
    }
    QVERIFY(loaded > 0);
}

void TestMalformed::unbalancedBraces()
{
    QTextDocument doc;
    QVERIFY(!ReadRtf("{\\rtf1 {\\b bold {\\i both", doc).ok);
    QCOMPARE(doc.toPlainText(), QStringLiteral("bold both"));
    ReadRtf("{\\rtf1 a}}}}} b", doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("a"));
    // not starting with "{\\rtf": plain text, as the Windows control takes it
    ReadRtf("}}}{\\rtf1 x", doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("}}}{\\rtf1 x"));
    ReadRtf("{\\rtf1 \\'", doc);
    ReadRtf("{\\rtf1 \\", doc);
    ReadRtf("{\\rtf1 \\u", doc);
    ReadRtf("{\\rtf1 {\\*", doc);
    ReadRtf("{\\rtf1 {\\fonttbl{\\f0 Arial", doc);
    QCOMPARE(doc.toPlainText(), QString());
}

void TestMalformed::deepNesting()
{
    const int depth = 100000;
    QByteArray rtf = "{\\rtf1 ";
    rtf += QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + " after}";
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc).ok);
    QCOMPARE(doc.toPlainText(), QStringLiteral("deep after"));
    // deep nesting without closing braces
    QTextDocument open;
    ReadRtf("{\\rtf1 " + QByteArray(depth, '{') + "x", open);
    QCOMPARE(open.toPlainText(), QStringLiteral("x"));
}

void TestMalformed::hugeNumbers()
{
    QTextDocument doc;
    ReadRtf("{\\rtf1{\\fonttbl{\\f99999999999999999999\\fcharset99999999999 A;}}"
            "\\fs99999999999999999 \\li-99999999999999 \\fi99999999999 \\sl-9999999999999\\slmult0 "
            "\\cf9999999999 \\u99999999999? \\u-99999999999? {\\uc999999999 \\u1046 Zx}"
            "\\tx999999999999\\pnstart-5 \\up99999999999 text\\par}", doc);
    QVERIFY(doc.toPlainText().contains(QStringLiteral("text")));
    const QByteArray rec = SaveRecord(doc);
    QTextDocument back;
    LoadRecord(back, rec);
    QCOMPARE(back.toPlainText(), doc.toPlainText());
}

void TestMalformed::binSkipsSafely()
{
    QTextDocument doc;
    ReadRtf("{\\rtf1 a\\bin3 {}}b}", doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("ab"));
    ReadRtf("{\\rtf1 a\\bin999999999999 xyz}", doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("a"));
    ReadRtf("{\\rtf1 {\\pict\\pngblip\\bin99999999 abc}c}", doc);
    QCOMPARE(doc.toPlainText(), QString());
    ReadRtf("{\\rtf1 {\\pict\\dibitmap0 28000000ffffff7fffffff7f01002000}d}", doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("d"));
}

void TestMalformed::garbageObjects()
{
    // storages that are not compound files, or damaged ones, load, draw and save unchanged
    QRandomGenerator rng(1234);
    const QList<QByteArray> objs = ObjectRecords(ReadFile(CorpusDir() + QStringLiteral("/pictures/pic2_gradient24_dib.rec")));
    QVERIFY(!objs.isEmpty());
    const QByteArray storage = objs[0].mid(48);
    for (int i = 0; i < 60; ++i) {
        QByteArray bad = storage;
        if (i % 3 == 0) {
            bad = QByteArray(512 + int(rng.bounded(2000)), '\0');
            for (char &c : bad) c = char(rng.bounded(256));
            bad.replace(0, 8, QByteArray("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8));
        } else {
            for (int k = 0; k < 20; ++k)
                bad[int(rng.bounded(quint32(bad.size())))] = char(rng.bounded(256));
        }
        TRichObject o;
        o.storage = bad;
        o.width = 500;
        o.height = 500;
        QTextDocument doc;
        RegisterObjectHandler(&doc);
        QTextCursor(&doc).insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(o));
        Render(doc);
        StorageClassName(bad);
        const QByteArray rec = SaveRecord(doc);
        QTextDocument back;
        LoadRecord(back, rec);
        QCOMPARE(ObjectRecords(SaveRecord(back)).value(0).mid(48), bad);
    }
}

void TestMalformed::mutatedRecords()
{
    QRandomGenerator rng(42);
    const QStringList files = CorpusFiles(QStringLiteral(".rec"), true);
    int errors = 0;
    for (int i = 0; i < 300; ++i) {
        QByteArray data = ReadFile(CorpusDir() + QLatin1Char('/') + files[int(rng.bounded(quint32(files.size())))]);
        const int flips = 1 + int(rng.bounded(8));
        for (int k = 0; k < flips; ++k)
            data[int(rng.bounded(quint32(data.size())))] = char(rng.bounded(256));
        QTextDocument doc;
        errors += LoadSafely(data, doc) ? 0 : 1;
        Render(doc);
    }
    QVERIFY(errors < 300);
}

QTEST_MAIN(TestMalformed)
#include "tst_malformed.moc"
