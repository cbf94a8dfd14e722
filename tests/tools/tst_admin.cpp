// qe2tool config and embed: the files an administrator makes.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "Ansi.h"
#include "QuizEngineCommon.h"
#include "ResourceTrailer.h"
#include "testutil_tool.h"

#include <sys/stat.h>

class TestAdmin : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // A small test written by the library, bodies need not be rich text here.
    QString makeTest(const QString &name, const QString &firstLine)
    {
        TTestInfo info = TTestInfo::NewTestValues();
        TQuestionList list;
        auto q = std::make_shared<TNQuestion>();
        q->PlainLines.Add(firstLine);
        q->Body = QByteArrayLiteral("body bytes");
        q->Variants = {QStringLiteral("да"), QStringLiteral("нет")};
        q->RightMarks = QStringLiteral("! ");
        list.push_back(q);
        const QString path = m_dir.filePath(name);
        SaveTestToFile(path, info, list);
        return path;
    }

    QString makePlayer()
    {
        const QString path = WriteFile(m_dir.path(), QStringLiteral("player"),
                                       QByteArray("\x7f" "ELF pretend program ", 20).repeated(50));
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void checkShareSaysWhatToMend()
    {
        QTemporaryDir dir;
        const QString own = dir.filePath(QStringLiteral("own")), shared = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(own) && QDir().mkdir(shared));
        QVERIFY(::chmod(QFile::encodeName(own).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const mode_t mask = ::umask(022);
        const TToolRun mine = RunTool({QStringLiteral("check-share"), own});
        const TToolRun everyone = RunTool({QStringLiteral("check-share"), shared});
        ::umask(mask);

        // As a default Samba share: each new file its creator's alone.
        QVERIFY2(mine.finished && mine.exitCode == 1, qPrintable(mine.outText() + mine.errText()));
        const QString said = mine.outText();
        QVERIFY2(said.contains(QStringLiteral("UNSAFE  a new results file is writable by its creator alone (mode 644)")),
                 qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("\"inherit permissions = yes\"")), qPrintable(said));
        for (const char *ok : {"safe    byte-range locks: work", "safe    hard links: work", "safe    O_EXCL",
                               "safe    results append: written, read back whole", "safe    rename over an open file"})
            QVERIFY2(said.contains(QLatin1String(ok)), ok);
        QVERIFY2(everyone.finished && everyone.exitCode == 0, qPrintable(everyone.outText() + everyone.errText()));
        QVERIFY(everyone.outText().contains(QStringLiteral("safe    a new results file is writable by every account (mode 666)")));
        QVERIFY(everyone.outText().endsWith(QStringLiteral("Every check passed.\n")));
        // Nothing of the checks is left behind.
        for (const QString &d : {own, shared})
            QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                     QStringList());

        const TToolRun none = RunTool({QStringLiteral("check-share"), dir.filePath(QStringLiteral("none"))});
        QVERIFY(none.finished && none.exitCode == 1);
        QVERIFY2(none.errText().contains(QStringLiteral("not a folder")), qPrintable(none.errText()));
    }

    void configWritesWhatTheEditorReads()
    {
        const QString path = m_dir.filePath(QStringLiteral("cfg.ini"));
        const TToolRun r = RunTool({QStringLiteral("config"), QStringLiteral("--password"),
                                    QStringLiteral("Учитель7"), QStringLiteral("--text"),
                                    QStringLiteral("школа 5"), QStringLiteral("--flag"),
                                    QStringLiteral("200"), path});
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errText()));
        TKMQuizEngineConfig config;
        QVERIFY(config.LoadFromFile(path));
        QCOMPARE(config.AccessPassword, QStringLiteral("Учитель7"));
        QCOMPARE(config.ConfigText, QStringLiteral("школа 5"));
        QCOMPARE(config.ConfigFlag, quint8(200));

        // A directory gets the file under its standard name.
        QTemporaryDir dir;
        const TToolRun d = RunTool({QStringLiteral("config"), QStringLiteral("--password=x"), dir.path()});
        QCOMPARE(d.exitCode, 0);
        TKMQuizEngineConfig inDir;
        QVERIFY(inDir.LoadFromFile(QDir(dir.path()).filePath(ConfigFileName)));
        QCOMPARE(inDir.AccessPassword, QStringLiteral("x"));
        QCOMPARE(inDir.ConfigFlag, quint8(0));
    }

    void configRefusesUnusableValues_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty password") << QStringList{QStringLiteral("--password"), QString()}
                                        << QStringLiteral("must not be empty");
        QTest::newRow("no password") << QStringList{QStringLiteral("--flag"), QStringLiteral("1")}
                                     << QStringLiteral("--password is required");
        QTest::newRow("flag 256") << QStringList{QStringLiteral("--password"), QStringLiteral("p"),
                                                 QStringLiteral("--flag"), QStringLiteral("256")}
                                  << QStringLiteral("0 to 255");
        QTest::newRow("flag -1") << QStringList{QStringLiteral("--password"), QStringLiteral("p"),
                                                QStringLiteral("--flag=-1")}
                                 << QStringLiteral("0 to 255");
        QTest::newRow("not Windows-1251") << QStringList{QStringLiteral("--password"), QStringLiteral("пароль✓")}
                                          << QStringLiteral("Windows-1251");
    }
    void configRefusesUnusableValues()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("refused.ini"));
        const TToolRun r = RunTool(QStringList{QStringLiteral("config")} + options + QStringList{path});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
        QVERIFY(r.errText().contains(QStringLiteral("Usage:")));
        QVERIFY(!QFile::exists(path));
    }

    void embedMakesAProgramThatCarriesTheTest()
    {
        const QString player = makePlayer();
        const QString test = makeTest(QStringLiteral("Контрольная.qe2"), QStringLiteral("Первый"));
        const QString out = m_dir.filePath(QStringLiteral("standalone"));
        const TToolRun r = RunTool({QStringLiteral("embed"), player, test, out});
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errText()));

        QCOMPARE(ResourceTrailer::FindResource(out, QStringLiteral("TEST")).value_or(QByteArray()),
                 ReadFile(test));
        QByteArray name = ToAnsi(QFileInfo(test).absoluteFilePath());
        name.append('\0');
        QCOMPARE(ResourceTrailer::FindResource(out, QStringLiteral("TEST_FILE_NAME")).value_or(QByteArray()),
                 name);
        QVERIFY(QFileInfo(out).isExecutable());
        QVERIFY(ReadFile(out).startsWith(ReadFile(player)));
        const TToolRun info = RunTool({QStringLiteral("info"), out});
        QVERIFY2(info.outText().contains(QStringLiteral("embedded test: ") + QFileInfo(test).absoluteFilePath()),
                 qPrintable(info.outText()));

        // Exporting an exported program again replaces its test.
        const QString second = makeTest(QStringLiteral("second.qe2"), QStringLiteral("Второй"));
        const QString again = m_dir.filePath(QStringLiteral("standalone2"));
        QCOMPARE(RunTool({QStringLiteral("embed"), out, second, again}).exitCode, 0);
        QCOMPARE(ResourceTrailer::FindResource(again, QStringLiteral("TEST")).value_or(QByteArray()),
                 ReadFile(second));
        QCOMPARE(ResourceTrailer::ReadAll(again).size(), 2);
    }

    void embedRefusesWhatIsNotATest()
    {
        const QString player = makePlayer();
        const QString good = makeTest(QStringLiteral("good.qe2"), QStringLiteral("x"));
        QByteArray truncated = ReadFile(good);
        truncated.chop(truncated.size() / 3);
        const QString notTest = WriteFile(m_dir.path(), QStringLiteral("notatest.qe2"),
                                          QByteArray("plain text, not a test"));
        const QString cut = WriteFile(m_dir.path(), QStringLiteral("cut.qe2"), truncated);
        for (const QString &test : {notTest, cut, m_dir.filePath(QStringLiteral("missing.qe2"))}) {
            const QString out = m_dir.filePath(QStringLiteral("refused-program"));
            const TToolRun r = RunTool({QStringLiteral("embed"), player, test, out});
            QVERIFY(r.finished);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.errText().startsWith(QStringLiteral("qe2tool: ")), qPrintable(r.errText()));
            QVERIFY(!QFile::exists(out));
        }
        const TToolRun same = RunTool({QStringLiteral("embed"), player, good, player});
        QCOMPARE(same.exitCode, 2);
        QVERIFY(!ResourceTrailer::FindResource(player, QStringLiteral("TEST")).has_value());
    }

    void embedReplacesAnExistingOutOnlyWhenForced()
    {
        const QString player = makePlayer();
        const QString test = makeTest(QStringLiteral("forced.qe2"), QStringLiteral("Первый"));
        const QString out = WriteFile(m_dir.path(), QStringLiteral("taken"), "someone's file");
        const QString elsewhere = m_dir.filePath(QStringLiteral("not-yet-there"));
        const QString dangling = m_dir.filePath(QStringLiteral("dangling"));
        QVERIFY(QFile::link(elsewhere, dangling));
        for (const QString &existing : {out, dangling}) {
            const TToolRun r = RunTool({QStringLiteral("embed"), player, test, existing});
            QVERIFY(r.finished);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.errText().contains(existing) && r.errText().contains(QStringLiteral("--force")),
                     qPrintable(r.errText()));
        }
        QCOMPARE(ReadFile(out), QByteArray("someone's file"));
        QVERIFY(!QFile::exists(elsewhere));

        const TToolRun forced = RunTool({QStringLiteral("embed"), QStringLiteral("--force"), player, test, out});
        QVERIFY2(forced.finished && forced.exitCode == 0, qPrintable(forced.errText()));
        QCOMPARE(ResourceTrailer::FindResource(out, QStringLiteral("TEST")).value_or(QByteArray()), ReadFile(test));
        // Forcing never lets the player be written over.
        const TToolRun onPlayer = RunTool({QStringLiteral("embed"), QStringLiteral("--force"), player, test, player});
        QCOMPARE(onPlayer.exitCode, 2);
        QVERIFY(!ResourceTrailer::FindResource(player, QStringLiteral("TEST")).has_value());
    }
};

QTEST_GUILESS_MAIN(TestAdmin)
#include "tst_admin.moc"
