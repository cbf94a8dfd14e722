// qe2tool richdump and richrec against the rich edit reference corpus.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include "testutil_tool.h"

namespace {

const QString Corpus = QStringLiteral(QE_CORPUS_DIR "/richedit/");

// Lines as the reference prints them. The reference turns a forced line break into
// a space where Windows breaks the line; trailing blanks are therefore not compared.
QStringList Lines(const QByteArray &text)
{
    QStringList lines;
    for (const QString &l : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString s = l;
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        lines << s;
    }
    return lines;
}

QList<QJsonObject> JsonLines(const QByteArray &text)
{
    QList<QJsonObject> list;
    for (const QByteArray &l : text.split('\n'))
        if (!l.trimmed().isEmpty())
            list << QJsonDocument::fromJson(l).object();
    return list;
}

}  // namespace

class TestRich : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void linesMatchTheReference_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList inputs = QDir(Corpus).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
        QVERIFY(!inputs.isEmpty());
        for (const QString &f : inputs)
            QTest::newRow(qPrintable(f)) << f.chopped(4);
    }
    void linesMatchTheReference()
    {
        QFETCH(QString, name);
        const TToolRun rtf = RunTool({QStringLiteral("richdump"), QStringLiteral("--lines"), Corpus + name + QStringLiteral(".rtf")});
        QVERIFY(rtf.finished);
        QVERIFY2(rtf.exitCode == 0, qPrintable(rtf.errText()));
        QCOMPARE(Lines(rtf.out), Lines(ReadFile(Corpus + name + QStringLiteral(".input.lines.txt"))));

        // The control's own record of the same text, told apart by content.
        const TToolRun rec = RunTool({QStringLiteral("richdump"), QStringLiteral("--lines"), Corpus + name + QStringLiteral(".rec")});
        QVERIFY2(rec.exitCode == 0, qPrintable(rec.errText()));
        QCOMPARE(Lines(rec.out), Lines(ReadFile(Corpus + name + QStringLiteral(".lines.txt"))));
    }

    void formatDumpHasTheReferenceShape()
    {
        const TToolRun r = RunTool({QStringLiteral("richdump"), Corpus + QStringLiteral("06_bius.rtf")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.errText()));
        const QList<QJsonObject> ours = JsonLines(r.out);
        const QList<QJsonObject> ref = JsonLines(ReadFile(Corpus + QStringLiteral("06_bius.input.fmt.jsonl")));
        QVERIFY(!ref.isEmpty());
        QCOMPARE(ours.size(), ref.size());
        for (int i = 0; i < ref.size(); ++i) {
            QCOMPARE(ours[i].keys(), ref[i].keys());
            QCOMPARE(ours[i][QStringLiteral("type")], ref[i][QStringLiteral("type")]);
            for (const char *key : {"text", "start", "end", "bold", "italic", "underline", "strike"})
                QCOMPARE(ours[i][QLatin1String(key)], ref[i][QLatin1String(key)]);
        }
    }

    void richrecWritesARecordThatReadsTheSame()
    {
        const QString rtf = Corpus + QStringLiteral("02_russian_cp1251.rtf");
        const QString out = m_dir.filePath(QStringLiteral("02.rec"));
        const TToolRun r = RunTool({QStringLiteral("richrec"), rtf, out});
        QVERIFY2(r.exitCode == 0, qPrintable(r.errText()));
        const QByteArray record = ReadFile(out);
        QVERIFY(record.mid(4).startsWith("{\\rtf1"));
        QCOMPARE(RunTool({QStringLiteral("richdump"), QStringLiteral("--lines"), out}).out,
                 RunTool({QStringLiteral("richdump"), QStringLiteral("--lines"), rtf}).out);

        // A record with a picture object keeps it through our writer.
        const QString pic = m_dir.filePath(QStringLiteral("pic.rec"));
        QCOMPARE(RunTool({QStringLiteral("richrec"), Corpus + QStringLiteral("pictures/pic1_checker24_bitmap.rec"), pic}).exitCode, 0);
        QVERIFY(ReadFile(pic).contains("BDOC"));
        QCOMPARE(Lines(RunTool({QStringLiteral("richdump"), QStringLiteral("--lines"), pic}).out),
                 Lines(ReadFile(Corpus + QStringLiteral("pictures/pic1_checker24_bitmap.lines.txt"))));
    }

    void damagedInputWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray rec = ReadFile(Corpus + QStringLiteral("02_russian_cp1251.rec"));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not rich text") << QByteArray("just some words");
        QTest::newRow("junk after the RTF") << (rec + QByteArray("XXXX and more bytes than a header"));
        QTest::newRow("object record cut") << ReadFile(Corpus + QStringLiteral("pictures/pic1_checker24_bitmap.rec")).chopped(100);
    }
    void damagedInputWritesNothing()
    {
        QFETCH(QByteArray, bytes);
        const QString in = WriteFile(m_dir.path(), QStringLiteral("bad.rec"), bytes);
        const QString out = m_dir.filePath(QStringLiteral("bad-out.rec"));
        const TToolRun r = RunTool({QStringLiteral("richrec"), in, out});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().startsWith(QStringLiteral("qe2tool: ") + in), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(out));
        const TToolRun d = RunTool({QStringLiteral("richdump"), in});
        QVERIFY(d.finished);
        QCOMPARE(d.exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestRich)
#include "tst_rich.moc"
