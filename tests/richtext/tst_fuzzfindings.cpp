// Inputs the fuzzer found breaking the rich-text readers, reduced. The files
// under tests/fuzz-regressions/richrecord are also its seeds.
#include "testutil_rich.h"

#include "RichFormat.h"
#include "RichRecord.h"
#include "RtfReader.h"

#include <QDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using namespace RichTest;
using namespace RichText;

namespace {
QString FirstFace(const QTextDocument &doc)
{
    const QTextBlock b = doc.begin();
    for (auto it = b.begin(); !it.atEnd(); ++it)
        return FontNameOf(it.fragment().charFormat());
    return QStringLiteral("<no text>");
}

QString RegressionDir(const QString &target)
{
    return QStringLiteral(QE_SOURCE_DIR "/tests/fuzz-regressions/") + target;
}
}

class TestFuzzFindings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fontNameWithoutControlCharacters_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("face");
        QTest::newRow("raw byte") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset204 \x01Sans Serif;}}\\f0 x\\par}")
                                  << QStringLiteral("Sans Serif");
        QTest::newRow("hex escape") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset204 Cour\\'02ier;}}\\f0 x\\par}")
                                    << QStringLiteral("Courier");
        QTest::newRow("entry without ';'") << QByteArray("{\\rtf1{\\fonttbl{\\f0 Ari\x1f" "al}}\\f0 x\\par}")
                                           << QStringLiteral("Arial");
    }
    void fontNameWithoutControlCharacters()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, face);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        QCOMPARE(FirstFace(doc), face);
        QTextDocument back;
        LoadRecord(back, SaveRecord(doc));
        QCOMPARE(FirstFace(back), face);
    }

    void fontNameOutsideTheWrittenCodePage_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("face");
        QTest::newRow("western bytes") << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Fran\xe7" "ais \xed;}}\\f0 x\\par}")
                                       << QStringLiteral("Fran\u00e7ais \u00ed");
        QTest::newRow("\\u with fallback") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset204 A\\u237?B;}}\\f0 x\\par}")
                                         << QStringLiteral("A\u00edB");
        QTest::newRow("\\uc2, entry without ';'") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\uc2 A\\u8364??}}\\f0 x\\par}")
                                                << QStringLiteral("A\u20ac");
    }
    void fontNameOutsideTheWrittenCodePage()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, face);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        QCOMPARE(FirstFace(doc), face);
        QTextDocument back;
        LoadRecord(back, SaveRecord(doc));
        QCOMPARE(FirstFace(back), face);
    }

    // A letter that came in as \u in a symbol font was written as a byte,
    // which reads back as the font's private code.
    void letterInASymbolFontKeepsItsCode()
    {
        QTextDocument doc;
        ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset2 Symbol;}}\\f0 a\\u59?b\\par}", doc);
        const QString text = QStringLiteral("\uf061;\uf062");
        QCOMPARE(doc.toPlainText(), text);
        QTextDocument back;
        LoadRecord(back, SaveRecord(doc));
        QCOMPARE(back.toPlainText(), text);
    }

    void namelessFontKeepsTheCurrentOne_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("no name") << QByteArray("{\\f1;}");
        QTest::newRow("charset only") << QByteArray("{\\f1\\fcharset204;}");
        QTest::newRow("unclosed") << QByteArray("{\\f1\\fnil}");
    }
    void namelessFontKeepsTheCurrentOne()
    {
        QFETCH(QByteArray, entry);
        QTextDocument doc;
        ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset204 Arial;}" + entry + "}\\f0 ab{\\f1 cd}\\par}", doc);
        QTextDocument back;
        LoadRecord(back, SaveRecord(doc));
        for (const QTextDocument *d : {&doc, &back}) {
            QCOMPARE(d->toPlainText(), QStringLiteral("abcd"));
            const QTextBlock b = d->begin();
            for (auto it = b.begin(); !it.atEnd(); ++it)
                QCOMPARE(FontNameOf(it.fragment().charFormat()), QStringLiteral("Arial"));
        }
    }

    void lineSpacingBelowOneTwelfthIsSingle_data()
    {
        QTest::addColumn<QByteArray>("spacing");
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("value");
        QTest::newRow("negative, multiple") << QByteArray("\\sl-2\\slmult1") << 0 << 0;
        QTest::newRow("just below") << QByteArray("\\sl11\\slmult1") << 0 << 0;
        QTest::newRow("one twelfth") << QByteArray("\\sl12\\slmult1") << 5 << 1;
        QTest::newRow("exact") << QByteArray("\\sl-240\\slmult0") << 4 << 240;
    }
    void lineSpacingBelowOneTwelfthIsSingle()
    {
        QFETCH(QByteArray, spacing);
        QFETCH(int, rule);
        QFETCH(int, value);
        QTextDocument doc;
        ReadRtf("{\\rtf1\\pard" + spacing + " x\\par}", doc);
        QTextDocument back;
        LoadRecord(back, SaveRecord(doc));
        for (const QTextDocument *d : {&doc, &back}) {
            const QList<QJsonObject> dump = Dump(*d);
            QVERIFY(dump.size() > 1);
            QCOMPARE(dump[1].value(QStringLiteral("type")).toString(), QStringLiteral("para"));
            QCOMPARE(dump[1].value(QStringLiteral("lineSpacingRule")).toInt(), rule);
            QCOMPARE(dump[1].value(QStringLiteral("lineSpacing")).toInt(), value);
        }
    }

    // What loads whole saves and loads back to the same document.
    void recordsKeepTheirDumpThroughSaveAndLoad()
    {
        const QDir dir(RegressionDir(QStringLiteral("richrecord")));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &name : files) {
            const QByteArray record = ReadFile(dir.filePath(name));
            QTextDocument doc;
            LoadRecord(doc, record);
            QTextDocument back;
            LoadRecord(back, SaveRecord(doc));
            const QStringList diff = Compare(Flatten(Dump(doc)), Flatten(Dump(back)));
            QVERIFY2(diff.isEmpty(), qPrintable(name + ": " + diff.join(QLatin1String("; "))));
        }
    }
};

QTEST_MAIN(TestFuzzFindings)
#include "tst_fuzzfindings.moc"
