// qe2tool info and dump, the command line, and damaged files.
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "QuizEngineCommon.h"
#include "testutil_tool.h"

#include <sys/stat.h>

namespace {

QByteArray Le(quint32 v, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

QStringList CorpusLines(const QString &name)
{
    QStringList lines;
    QFile f(QStringLiteral(QE_CORPUS_DIR "/richedit/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QString &l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << l.section(QLatin1Char('\t'), 1);
    return lines;
}

}  // namespace

class TestInspect : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_v11, m_v9;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // One question whose body is a content record from the reference corpus.
        TTestInfo info = TTestInfo::NewTestValues();
        info.Password = QStringLiteral("ab");
        TQuestionList list;
        auto q = std::make_shared<TNQuestion>();
        q->Body = ReadFile(QStringLiteral(QE_CORPUS_DIR "/richedit/02_russian_cp1251.rec"));
        QVERIFY(!q->Body.isEmpty());
        for (const QString &l : CorpusLines(QStringLiteral("02_russian_cp1251.lines.txt")))
            q->PlainLines.Add(l);
        q->Variants = {QStringLiteral("первый"), QStringLiteral("второй")};
        q->RightMarks = QStringLiteral(" !");
        q->HasTitle = true;
        q->Title = QStringLiteral("Заголовок");
        list.push_back(q);
        const QByteArray v11 = SaveTestToBytes(info, list);
        m_v11 = WriteFile(m_dir.path(), QStringLiteral("v11.qe2"), v11);

        // The same test as a version-9 file: no question order, no window fields.
        const int passwordBytes = quint8(v11[46]);
        QByteArray v9 = QByteArrayLiteral("KMQuizEngineFile");
        v9 += char(9);
        v9 += Le(CanViewErrors | CanViewComments, 2) + Le(20, 1) + Le(10, 2) + QByteArray(8, '\0');
        v9 += Le(1, 4) + Le(0, 4);
        v9 += v11.mid(46, 1 + passwordBytes);
        v9 += v11.mid(47 + passwordBytes);
        m_v9 = WriteFile(m_dir.path(), QStringLiteral("v9.qe2"), v9);
    }

    void infoOfAVersion9File()
    {
        const TToolRun r = RunTool({QStringLiteral("info"), m_v9});
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errText()));
        const QString t = r.outText();
        for (const char *line : {"version: 9\n", "questions: 1\n", "random count: 0\n",
                                 "time limit: 20 min\n", "zoom: 100 %\n", "window size: 500 x 300 (not used)\n",
                                 "options: 5 CanViewErrors CanViewComments\n", "reserved word: 10\n",
                                 "password: yes\n"})
            QVERIFY2(t.contains(QString::fromUtf8(line)), line);
        QVERIFY(!t.contains(QStringLiteral("password text")));

        const TToolRun shown = RunTool({QStringLiteral("info"), QStringLiteral("--show-password"), m_v9});
        QVERIFY(shown.outText().contains(QStringLiteral("password text: ab\n")));
    }

    void dumpShowsEveryField()
    {
        const TToolRun r = RunTool({QStringLiteral("dump"), m_v9});
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errText()));
        const QJsonObject root = ParseJsonObject(r.out);
        QCOMPARE(root[QStringLiteral("header")][QStringLiteral("version")].toInt(), 9);
        QCOMPARE(root[QStringLiteral("header")][QStringLiteral("hasPassword")].toBool(), true);
        QVERIFY(!root.contains(QStringLiteral("password")));
        const QJsonObject s = root[QStringLiteral("settings")].toObject();
        QCOMPARE(s[QStringLiteral("questionOrder")].toString(), QStringLiteral("stored"));
        QCOMPARE(s[QStringLiteral("timeLimit")].toInt(), 20);
        QCOMPARE(s[QStringLiteral("canViewComments")].toBool(), true);
        QCOMPARE(s[QStringLiteral("randomVariantOrder")].toBool(), false);
        QCOMPARE(s[QStringLiteral("windowHeight")].toInt(), 300);

        const QJsonObject q = root[QStringLiteral("questions")].toArray().at(0).toObject();
        const QStringList lines = CorpusLines(QStringLiteral("02_russian_cp1251.lines.txt"));
        QVERIFY(!lines.isEmpty());
        QCOMPARE(q[QStringLiteral("plainLines")].toVariant().toStringList(), lines);
        QCOMPARE(q[QStringLiteral("bodyLines")].toVariant().toStringList(), lines);
        QCOMPARE(q[QStringLiteral("variants")].toVariant().toStringList(),
                 (QStringList{QStringLiteral("первый"), QStringLiteral("второй")}));
        QCOMPARE(q[QStringLiteral("marks")].toString(), QStringLiteral(" !"));
        QCOMPARE(q[QStringLiteral("hasTitle")].toBool(), true);
        QCOMPARE(q[QStringLiteral("title")].toString(), QStringLiteral("Заголовок"));
        QCOMPARE(q[QStringLiteral("hasComment")].toBool(), false);
        QCOMPARE(q[QStringLiteral("bodySize")].toInt(),
                 ReadFile(QStringLiteral(QE_CORPUS_DIR "/richedit/02_russian_cp1251.rec")).size());

        const TToolRun shown = RunTool({QStringLiteral("dump"), QStringLiteral("--show-password"), m_v11});
        QCOMPARE(ParseJsonObject(shown.out)[QStringLiteral("password")].toString(), QStringLiteral("ab"));
    }

    void damagedFilesAreReportedNotCrashedOn_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("infoExit");
        QTest::addColumn<QString>("message");
        const QByteArray v11 = ReadFile(m_v11);
        QByteArray noise(4096, '\0');
        QRandomGenerator rng(7);
        for (char &c : noise)
            c = char(rng.bounded(256));
        QTest::newRow("empty") << QByteArray() << 1 << QStringLiteral("Файл не был создан");
        QTest::newRow("random bytes") << noise << 1 << QStringLiteral("Файл не был создан");
        QTest::newRow("magic only") << v11.left(16) << 1 << QStringLiteral("Ошибка чтения файла");
        QTest::newRow("version 12") << (v11.left(16) + char(12) + v11.mid(17)) << 1
                                    << QStringLiteral("более старшей версией");
        QTest::newRow("version 6") << (v11.left(16) + char(6) + v11.mid(17)) << 1
                                   << QStringLiteral("устаревшей версией");
        QTest::newRow("body cut") << v11.left(v11.size() - 40) << 0 << QStringLiteral("Ошибка чтения файла");
        QByteArray flipped = v11;
        flipped[flipped.size() - 30] = char(flipped[flipped.size() - 30] ^ 0x55);
        QTest::newRow("body damaged") << flipped << 0 << QStringLiteral("Ошибка чтения файла");
    }
    void damagedFilesAreReportedNotCrashedOn()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, infoExit);
        QFETCH(QString, message);
        const QString path = WriteFile(m_dir.path(), QStringLiteral("damaged.qe2"), bytes);
        const TToolRun info = RunTool({QStringLiteral("info"), path});
        QVERIFY(info.finished);
        QCOMPARE(info.exitCode, infoExit);
        const TToolRun dump = RunTool({QStringLiteral("dump"), path});
        QVERIFY(dump.finished);
        QCOMPARE(dump.exitCode, 1);
        QVERIFY(dump.out.isEmpty());
        QVERIFY2(dump.errText().startsWith(QStringLiteral("qe2tool: ") + path), qPrintable(dump.errText()));
        QVERIFY2(dump.errText().contains(message), qPrintable(dump.errText()));

        const TToolRun missing = RunTool({QStringLiteral("info"), path + QStringLiteral(".none")});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.errText().contains(QStringLiteral("no such file")));
    }

    void namedPipeIsRefused()
    {
        // Reading a pipe nobody writes to would wait for ever.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.qe2"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const TToolRun info = RunTool({QStringLiteral("info"), fifo});
        QVERIFY(info.finished);
        QCOMPARE(info.exitCode, 1);
        QVERIFY2(info.errText().contains(QStringLiteral("not a regular file")), qPrintable(info.errText()));
    }

    void badArgumentsGiveUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
        QTest::newRow("info without file") << QStringList{QStringLiteral("info")};
        QTest::newRow("info two files") << QStringList{QStringLiteral("info"), QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("dump"), QStringLiteral("--fast"), QStringLiteral("a")};
        QTest::newRow("build without -o") << QStringList{QStringLiteral("build"), QStringLiteral("d.json")};
        QTest::newRow("option without value") << QStringList{QStringLiteral("build"), QStringLiteral("d.json"), QStringLiteral("-o")};
        QTest::newRow("embed two args") << QStringList{QStringLiteral("embed"), QStringLiteral("p"), QStringLiteral("t")};
        QTest::newRow("richrec one arg") << QStringList{QStringLiteral("richrec"), QStringLiteral("in.rtf")};
    }
    void badArgumentsGiveUsage()
    {
        QFETCH(QStringList, args);
        const TToolRun r = RunTool(args);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.errText().startsWith(QStringLiteral("qe2tool: ")), qPrintable(r.errText()));
        QVERIFY(r.errText().contains(QStringLiteral("Usage:")));
    }

    void helpListsEveryCommand()
    {
        const TToolRun r = RunTool({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        for (const char *c : {"config", "info", "dump", "build", "embed", "richdump", "richrec"})
            QVERIFY2(r.outText().contains(QStringLiteral("qe2tool %1 ").arg(QLatin1String(c))), c);
    }
};

QTEST_GUILESS_MAIN(TestInspect)
#include "tst_inspect.moc"
