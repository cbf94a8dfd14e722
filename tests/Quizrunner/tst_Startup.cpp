// The player's start-up: launch modes, loading, messages, the single-instance
// guard (as real processes), and the main window's state after loading.
#include <QtTest>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTemporaryDir>

#include "Ansi.h"
#include "BZStreams.h"
#include "Clock.h"
#include "MessageBoxes.h"
#include "ResourceTrailer.h"
#include "TestFileFormat.h"
#include "fMain.h"
#include "fSplash.h"
#include "testutil_Player.h"

namespace {
const QString ParamsMessage = QStringLiteral("Ошибка !\tНеверные параметры запуска\\r\\rЗапускайте 'Quizdispatch'");
QString FileError(const QString &path)
{
    return QStringLiteral("Ошибка !\tОшибка чтения файла. Возможно файл занят.\\r\\r") + path;
}
QString ResourceError(const QString &path)
{
    return QStringLiteral("Ошибка !\tОшибка чтения теста из ресурса: \\r\\r") + path;
}
QString EmptyTest(const QString &path)
{
    return QStringLiteral("Ошибка !\tВ тесте нет вопросов\\r") + path;
}
// Long enough for the 1 s splash minimum and a loaded machine; a player that
// is still up after it has passed the load.
constexpr int LoadedAfterMs = 5000;
const QString WindowsTestPath = QStringLiteral("C:\\Тесты\\Физика.7кл.qe2");

QByteArray TestNameResource(const QString &path)
{
    return ToAnsi(path) + QByteArray("\0junk", 5);
}
}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_messages;
    QList<int> m_sleeps;

    QString Path(const QString &name) const { return m_dir.filePath(name); }

    // A private directory per process test: its own lock file and message log.
    QString ProcessDir()
    {
        static int n = 0;
        const QString d = Path(QStringLiteral("proc%1").arg(++n));
        QDir().mkpath(d);
        return d;
    }
    // A copy of the player carrying resources.
    QString Standalone(const QString &dir, const QList<ResourceTrailer::TResource> &res)
    {
        const QString out = QDir(dir).filePath(QStringLiteral("standalone"));
        ResourceTrailer::AddResources(PlayerProgram(), out, res);
        return out;
    }
    // A small file standing in for a program file, for in-process embedded loads.
    QString FakeProgram(const QString &name, const QList<ResourceTrailer::TResource> &res)
    {
        const QString plain = Path(name + QStringLiteral(".plain"));
        QFile f(plain);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(4096, 'x'));
        f.close();
        ResourceTrailer::AddResources(plain, Path(name), res);
        return Path(name);
    }
    QStringList Args(const QString &test) const
    {
        return {QStringLiteral("Quizrunner"), QStringLiteral("KMQuizdispatch"), test, Path(QStringLiteral("r.res"))};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QFileInfo(PlayerProgram()).isExecutable(), "QE_QUIZRUNNER must name the built player");
    }
    void init()
    {
        m_messages.clear();
        m_sleeps.clear();
        SetMessageSink([this](QMessageBox::Icon, const QString &caption, const QString &text) {
            m_messages << LogLine(caption, text);
        });
        QeClock::SetSleeper([this](int ms) { m_sleeps << ms; });
    }
    void cleanup()
    {
        SetMessageSink({});
        QeClock::SetSleeper({});
        QeClock::SetTickSource({});
    }

    // ---- messages and splash ----

    void messageLogLineKeepsLineBreaksVisible()
    {
        QCOMPARE(LogLine(QStringLiteral("Ошибка !"), QStringLiteral("a\r\rb\nc")),
                 QStringLiteral("Ошибка !\ta\\r\\rb\\nc"));
        QCOMPARE(DisplayText(QStringLiteral("a\r\rb\r\nc")), QStringLiteral("a\n\nb\nc"));
        ShowError(QStringLiteral("e"));
        ShowWarning(QStringLiteral("w"));
        QCOMPARE(m_messages, QStringList({QStringLiteral("Ошибка !\te"), QStringLiteral("Предупреждение !\tw")}));
    }

    void splashDrawsVersionOnlyWhileVisible()
    {
        auto *splash = new TfrmSplash;
        QCOMPARE(splash->size(), QSize(577, 120));
        const QImage before = splash->Picture().toImage();
        splash->ShowInfo(QStringLiteral("Модуль"), 8, 102);
        QCOMPARE(splash->Picture().toImage(), before);
        QVERIFY(TfrmSplash::ProgramVersionText().isEmpty());

        splash->show();
        splash->ShowInfo(QStringLiteral("Модуль"), 8, 102);
        const QImage after = splash->Picture().toImage();
        QVERIFY(after != before);
        QCOMPARE(after.pixelColor(2, 110), before.pixelColor(2, 110));  // left of x untouched
        bool grey = false;
        for (int x = 8; x < 200 && !grey; ++x)
            for (int y = 102; y < 118 && !grey; ++y)
                grey = after.pixelColor(x, y) == QColor(128, 128, 128);
        QVERIFY(grey);
        QCOMPARE(TfrmSplash::ProgramVersionText(), QStringLiteral(QE_VERSION));
        QVERIFY(TfrmSplash::VersionLine(QStringLiteral("T")).startsWith(QStringLiteral("T (" QE_VERSION)));

        QPointer<TfrmSplash> guard(splash);
        ShowError(QStringLiteral("any message takes the activation"));
        QVERIFY(!splash->isVisible());
        QTRY_VERIFY(guard.isNull());
    }

    void backgroundTiles()
    {
        for (bool sixteen : {false, true}) {
            const QImage tile = TfrmMain::BackgroundTile(sixteen);
            QCOMPARE(tile.size(), QSize(221, 103));
            QCOMPARE(tile.format(), QImage::Format_Indexed8);
            QSet<QRgb> used;
            for (int y = 0; y < tile.height(); ++y)
                for (int x = 0; x < tile.width(); ++x)
                    used.insert(tile.pixel(x, y));
            QVERIFY(used.size() > 1);
            QVERIFY(used.size() <= (sixteen ? 16 : 256));
        }
    }

    // ---- loading in process ----

    void testNameDropsOnlyTheLastExtension_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("unix") << "/srv/тесты/Физика.7кл.qe2" << "Физика.7кл";
        QTest::newRow("windows") << WindowsTestPath << "Физика.7кл";
        QTest::newRow("no dot") << "/a.b/test" << "test";
        QTest::newRow("only ext") << "C:\\t\\.qe2" << "";
    }
    void testNameDropsOnlyTheLastExtension()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(TfrmMain::TestNameOf(path), name);
    }

    void storedOrderKeptWithoutShuffling_data()
    {
        QTest::addColumn<int>("real");
        QTest::addColumn<int>("randomCount");
        QTest::addColumn<bool>("randomVariants");
        QTest::newRow("two real questions") << 2 << 0xFFFF << true;
        QTest::newRow("random count 0") << 5 << 0 << false;
    }
    void storedOrderKeptWithoutShuffling()
    {
        QFETCH(int, real);
        QFETCH(int, randomCount);
        QFETCH(bool, randomVariants);
        TQuestionList stored = MakeQuestions(real, {1});
        const QString test = SaveTest(Path(QStringLiteral("Два.вопроса.qe2")),
                                      TestHeader(quint16(randomCount), randomVariants), stored);
        TfrmMain w(Args(test), Path(QStringLiteral("no-such-program")));
        QVERIFY(w.FormCreate());
        QVERIFY(m_messages.isEmpty());
        QVERIFY(w.TestLoaded && !w.Embedded);
        QCOMPARE(w.AskedCount, quint32(real));
        QCOMPARE(Texts(w.Questions), Texts(stored));
        for (const TQuestionPtr &q : w.Questions)
            if (!q->IsInformation() && randomVariants)
                QCOMPARE(q->Variants.first(), q->PlainLines.Get(0) + QStringLiteral("-a"));
        QCOMPARE(w.TestName, QStringLiteral("Два.вопроса"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("labTestName"))->text(), w.TestName);
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("labFIO"))->text(), QString());
        QCOMPARE(w.ResultsPath, Path(QStringLiteral("r.res")));

        // The names keep 8 px from the left and 15 px from the right window edge.
        auto *labFIO = w.findChild<QLabel *>(QStringLiteral("labFIO"));
        for (const QString &fio : {QStringLiteral("Иванов Иван Иванович"), QStringLiteral("Ли")}) {
            w.SetFIO(fio);
            w.layout()->activate();
            w.findChild<QWidget *>(QStringLiteral("panTop"))->layout()->activate();
            const QRect r(labFIO->mapTo(&w, QPoint(0, 0)), labFIO->size());
            QCOMPARE(w.width() - 1 - r.right(), 15);
            QCOMPARE(labFIO->text(), fio);
        }
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("labTestName"))->mapTo(&w, QPoint(0, 0)).x(), 8);
    }

    // Tests made by the tool and tests saved long ago by the Windows editor load alike.
    void builtAndOldVersionTestsLoad()
    {
        const QString demo = QStringLiteral(QE_BINARY_DIR "/examples/demo.qe2");
        QVERIFY2(QFileInfo::exists(demo), "the demo test is built with the tree");
        {
            TfrmMain w(Args(demo), Path(QStringLiteral("no-such-program")));
            QVERIFY(w.FormCreate());
            QVERIFY(m_messages.isEmpty());
            QVERIFY(w.TestLoaded);
            QCOMPARE(w.TestName, QStringLiteral("demo"));
            QCOMPARE(w.AskedCount + w.TestInfo.IQCount, quint32(w.Questions.size()));
            QVERIFY(w.AskedCount >= 12);
        }

        // Version 7, written byte by byte: switch bytes instead of Options,
        // no window fields, a 20-character password (40 scrambled bytes).
        const TQuestionList stored = MakeQuestions(3, {0});
        QByteArray file("KMQuizEngineFile", 16);
        const QByteArray pw = ScramblePassword(PasswordKey, "abcdefghijklmnopqrst");
        file += char(7);
        file += char(1);                                   // switch 1: errors viewable
        file += QByteArray("\x00\x00", 2);                 // RandomCount 0: stored order
        file += char(1);                                   // switch 2: back navigation
        file += char(2);                                   // switch 3: random variants in version 7
        file += char(5);                                   // TimeLimit
        file += QByteArray("\x0a\x00", 2);                 // ReservedWord
        file += QByteArray(8, '\0');
        file += QByteArray("\x04\x00\x00\x00", 4);         // QuestionCount
        file += QByteArray("\x01\x00\x00\x00", 4);         // IQCount
        file += char(pw.size());
        file += pw;
        QBuffer body;
        body.open(QIODevice::WriteOnly);
        {
            TBZCompressionStream bz(body);
            for (const TQuestionPtr &q : stored)
                WriteQuestion(*q, bz);
            bz.close();
        }
        file += body.data();
        const QString old = Path(QStringLiteral("old7.qe2"));
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();

        TfrmMain w(Args(old), Path(QStringLiteral("no-such-program")));
        QVERIFY(w.FormCreate());
        QVERIFY(m_messages.isEmpty());
        QVERIFY(w.TestLoaded);
        QCOMPARE(w.TestInfo.Version, quint8(7));
        QCOMPARE(w.TestInfo.Options, quint16(CanViewErrors | EnableBackNavigation | RandomVOrder));
        QCOMPARE(w.TestInfo.Password, QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(w.TestInfo.Zoom, quint8(100));
        QCOMPARE(w.AskedCount, 3u);
        QCOMPARE(Texts(w.Questions), Texts(stored));  // RandomCount 0 keeps the stored order
    }

    void randomCountPicksQuestionsAfterInformationItems()
    {
        const QString test = SaveTest(Path(QStringLiteral("ten.qe2")), TestHeader(4, true), MakeQuestions(10, {3, 8}));
        TfrmMain w(Args(test), Path(QStringLiteral("no-such-program")));
        QVERIFY(w.FormCreate());
        QCOMPARE(w.Questions.size(), std::size_t(6));
        QCOMPARE(Texts(w.Questions).mid(0, 2), QStringList({QStringLiteral("I1"), QStringLiteral("I2")}));
        QCOMPARE(w.AskedCount, 4u);
        QCOMPARE(w.TestInfo.RandomCount, quint16(4));
    }

    void splashStaysAtLeastOneSecond_data()
    {
        QTest::addColumn<int>("loadMs");
        QTest::addColumn<QList<int>>("sleeps");
        QTest::newRow("fast load") << 200 << QList<int>{800};
        QTest::newRow("slow load") << 1500 << QList<int>{};
    }
    void splashStaysAtLeastOneSecond()
    {
        QFETCH(int, loadMs);
        QFETCH(QList<int>, sleeps);
        const QString test = SaveTest(Path(QStringLiteral("s.qe2")), TestHeader(0, false), MakeQuestions(1));
        int calls = 0;
        QeClock::SetTickSource([&calls, loadMs]() -> qint64 { return calls++ == 0 ? 5000 : 5000 + loadMs; });
        TfrmMain w(Args(test), Path(QStringLiteral("no-such-program")));
        QVERIFY(w.FormCreate());
        QCOMPARE(m_sleeps, sleeps);
    }

    void embeddedTestIgnoresArguments()
    {
        TTestInfo info = TestHeader(0, false);
        const QByteArray bytes = SaveTestToBytes(info, MakeQuestions(3));
        const QString program = FakeProgram(QStringLiteral("fake1"), {{QStringLiteral("TEST"), bytes},
                                            {QStringLiteral("TEST_FILE_NAME"), TestNameResource(WindowsTestPath)}});
        TfrmMain w({QStringLiteral("x"), QStringLiteral("junk")}, program);
        QVERIFY(w.FormCreate());
        QVERIFY(m_messages.isEmpty());
        QVERIFY(w.Embedded && w.TestLoaded);
        QCOMPARE(w.TestPath, WindowsTestPath);
        QCOMPARE(w.TestName, QStringLiteral("Физика.7кл"));
        QCOMPARE(w.Questions.size(), std::size_t(3));
        QVERIFY(w.ResultsPath.isEmpty());
    }

    void damagedHeaderCountsAreReadErrors()
    {
        // More information items than items: the header is damaged.
        TTestInfo info = TestHeader(0, false);
        QByteArray bytes = SaveTestToBytes(info, MakeQuestions(3));
        QCOMPARE(TestFileFormat::getU32(reinterpret_cast<const uchar *>(bytes.constData()) + TestFileFormat::OffIQCount), 0u);
        bytes[TestFileFormat::OffIQCount] = 9;
        const QString test = Path(QStringLiteral("iq.qe2"));
        QFile f(test);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        TfrmMain w(Args(test), Path(QStringLiteral("no-such-program")));
        QVERIFY(!w.FormCreate());
        QCOMPARE(m_messages, QStringList({FileError(test)}));
    }

    // ---- whole processes ----

    void wrongLaunchArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList();
        QTest::newRow("lower-case id") << QStringList({"kmquizdispatch", "t.qe2", "r.res"});
        QTest::newRow("no results path") << QStringList({"KMQuizdispatch", "t.qe2"});
    }
    void wrongLaunchArguments()
    {
        QFETCH(QStringList, args);
        TPlayerProcess p(ProcessDir());
        p.Start(args);
        QVERIFY(p.WaitForEnd());
        QCOMPARE(p.Messages(), QStringList({ParamsMessage}));
        QCOMPARE(p.ExitCode(), 1);
    }

    void unreadableTests()
    {
        const QString dir = ProcessDir();
        const QString missing = QDir(dir).filePath(QStringLiteral("missing.qe2"));
        const QString text = QDir(dir).filePath(QStringLiteral("notes.qe2"));
        QFile t(text);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("just some notes, not a test\n");
        t.close();
        TTestInfo info = TestHeader(0, false);
        const QByteArray whole = SaveTestToBytes(info, MakeQuestions(5));
        const QString cut = QDir(dir).filePath(QStringLiteral("cut.qe2"));
        QFile c(cut);
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write(whole.left(whole.size() - 40));
        c.close();
        const QString empty = SaveTest(QDir(dir).filePath(QStringLiteral("empty.qe2")), TestHeader(0, false), {});

        for (const QString &test : {missing, text, cut, empty}) {
            QFile::remove(QDir(dir).filePath(QStringLiteral("messages.log")));
            TPlayerProcess p(dir);
            p.Start({QStringLiteral("KMQuizdispatch"), test, QDir(dir).filePath(QStringLiteral("r.res"))});
            QVERIFY2(p.WaitForEnd(), qPrintable(test));
            QStringList expected{FileError(test)};
            if (test == empty)
                expected.prepend(EmptyTest(test));
            QCOMPARE(p.Messages(), expected);
            QVERIFY(!QFile::exists(QDir(dir).filePath(QStringLiteral("r.res"))));
        }
    }

    void informationOnlyTestRunsAndSecondInstanceIsRefused()
    {
        const QString dir = ProcessDir();
        const QString test = SaveTest(QDir(dir).filePath(QStringLiteral("info.qe2")), TestHeader(0xFFFF, true),
                                      {MakeQuestion(QStringLiteral("I1")), MakeQuestion(QStringLiteral("I2"))});
        const QStringList args{QStringLiteral("KMQuizdispatch"), test, QDir(dir).filePath(QStringLiteral("r.res"))};
        TPlayerProcess first(dir);
        first.Start(args);
        QTRY_VERIFY_WITH_TIMEOUT(InstanceLockHeld(dir), 20000);

        const QString dir2 = QDir(dir).filePath(QStringLiteral("second"));
        QDir().mkpath(dir2);
        TPlayerProcess second(dir2);
        QProcessEnvironment env = second.Process().processEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);  // the same session as the first
        second.Process().setProcessEnvironment(env);
        second.Start(args);
        QVERIFY(second.WaitForEnd());
        QCOMPARE(second.Messages(), QStringList({QStringLiteral("Ошибка\tЭкзаменовка уже запущена")}));
        QCOMPARE(second.ExitCode(), 1);

        QVERIFY(!first.WaitForEnd(LoadedAfterMs));
        QVERIFY(first.Messages().isEmpty());
        first.Kill();
    }

    void embeddedPrograms()
    {
        TTestInfo info = TestHeader(0xFFFF, true);
        const QByteArray good = SaveTestToBytes(info, MakeQuestions(4));
        const QByteArray name = TestNameResource(WindowsTestPath);
        const QByteArray garbage(300, '\x55');
        struct Case { const char *tag; QList<ResourceTrailer::TResource> res; QStringList messages; };
        const QList<Case> cases{
            {"good", {{"TEST", good}, {"TEST_FILE_NAME", name}}, {}},
            {"damaged body", {{"TEST", good.left(good.size() - 30)}, {"TEST_FILE_NAME", name}},
             {ResourceError(WindowsTestPath)}},
            {"no name", {{"TEST", good}}, {ResourceError(QString())}},
            {"no header", {{"TEST", garbage}, {"TEST_FILE_NAME", name}},
             {EmptyTest(WindowsTestPath), ResourceError(WindowsTestPath)}},
        };
        for (const Case &c : cases) {
            const QString dir = ProcessDir();
            TPlayerProcess p(dir, Standalone(dir, c.res));
            p.Start({QStringLiteral("junk"), QStringLiteral("more junk")});
            if (c.messages.isEmpty()) {
                QVERIFY2(!p.WaitForEnd(LoadedAfterMs), c.tag);
                QVERIFY2(p.Messages().isEmpty(), qPrintable(p.Messages().join(u'|')));
                p.Kill();
            } else {
                QVERIFY2(p.WaitForEnd(), c.tag);
                QCOMPARE(p.Messages(), c.messages);
            }
        }
    }
};

QTEST_MAIN(TestStartup)
#include "tst_Startup.moc"
