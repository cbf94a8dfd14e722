// Export to a standalone test program: the command's order of checks and
// questions, the program it writes (the saved file byte for byte, its path,
// the player's permissions, a trailer replaced rather than stacked), failures
// that leave nothing behind, and an exported program that runs its test.
#include <QtTest>
#include <QAction>
#include <QDir>
#include <QProcess>

#include "Ansi.h"
#include "ExportExe.h"
#include "ExportExeCommand.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"
#include "ResourceTrailer.h"
#include "fInfo.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
const QString ErrorLine = QStringLiteral("Ошибка !\t");
const QString AskSaveLine = QStringLiteral("Внимание!\tДля экспорта в exe-файл необходимо сохранить тест.\r\rСохранить сейчас?");
const QByteArray FakePlayerBytes = QByteArrayLiteral("\x7f" "ELF fake player\n") + QByteArray(5000, 'p');

QString BuiltProgramDir()
{
    const QString editor = qEnvironmentVariable("QE_QUIZWRIGHT");
    return editor.isEmpty() ? QStringLiteral(QE_BINARY_DIR "/bin") : QFileInfo(editor).absolutePath();
}

// A folder holding a player: the given bytes with execute permission.
QString PlayerDir(const QString &dir, const QByteArray &bytes = FakePlayerBytes)
{
    QDir().mkpath(dir);
    const QString player = QDir(dir).filePath(QStringLiteral("Quizrunner"));
    WriteAll(player, bytes);
    QFile::setPermissions(player, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return dir;
}

QStringList Listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TQuestionList Questions(bool withFault = false)
{
    TQuestionList q{Question(QStringLiteral("Сколько будет 2+2?"), {"3", "4"}, " !"),
                    Question(QStringLiteral("Информация")),
                    Question(QStringLiteral("Столица России?"), {QStringLiteral("Москва"), QStringLiteral("Казань")}, "! ")};
    if (withFault)
        q.push_back(Question(QStringLiteral("Без ответа"), {"a", "b"}, "  "));
    return q;
}

// The editor past its access password, with its export command pointed at programDir
// and the target dialog answered from targets.
struct TExportFixture : TEditorFixture {
    TExportExeCommand *Cmd = nullptr;
    std::deque<QString> Targets;
    QStringList TargetDialogs;

    bool StartWith(const QString &programDir, const QString &startFile = {})
    {
        if (!Start(startFile))
            return false;
        Cmd = W().findChild<TExportExeCommand *>();
        if (!Cmd)
            return false;
        Cmd->ProgramDir = programDir;
        Cmd->TargetInput = [this](const QString &dir, const QString &name) {
            TargetDialogs.append(dir + u'|' + name);
            if (Targets.empty())
                return QString();
            const QString t = Targets.front();
            Targets.pop_front();
            return t;
        };
        return true;
    }
    void Export() { W().Action("actFileExportExe")->trigger(); }
};

// A player process of its own: private temporary and runtime folders, a message
// log, started in dir.
struct TRun {
    QString Dir;
    QProcess Proc;
    explicit TRun(const QString &dir) : Dir(dir)
    {
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TMPDIR"), dir);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        env.insert(QStringLiteral("QE_MESSAGE_LOG"), Log());
        Proc.setProcessEnvironment(env);
        Proc.setWorkingDirectory(dir);
        Proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~TRun()
    {
        if (Proc.state() != QProcess::NotRunning) {
            Proc.kill();
            Proc.waitForFinished(10000);
        }
    }
    QString Log() const { return QDir(Dir).filePath(QStringLiteral("messages.log")); }
    QStringList Messages() const
    {
        QFile f(Log());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                           : QStringList();
    }
};
// How long a player that found its test keeps waiting for the examinee.
constexpr int LoadedAfterMs = 5000;
}  // namespace

class TestExportExe : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyTestIsRefusedBeforeAnythingElse()
    {
        TExportFixture f;
        QVERIFY(f.StartWith(f.Path(QStringLiteral("no-player"))));
        f.Export();
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Тест пустой"));
        QVERIFY(f.Questions.isEmpty());
        QVERIFY(f.TargetDialogs.isEmpty());
    }

    void missingPlayerIsToldBeforeTheSaveQuestion()
    {
        TExportFixture f;
        const QString dir = f.Path(QStringLiteral("bin"));
        QDir().mkpath(dir + QStringLiteral("/Quizrunner"));  // a folder is no program
        QVERIFY(f.StartWith(dir));
        f.W().Action("actEditAddQuestion")->trigger();
        QVERIFY(f.W().Document()->isModified());
        f.Export();
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Файл не найден: Quizrunner"));
        QVERIFY(f.Questions.isEmpty());
        QVERIFY(f.FileDialogs.isEmpty());
        QVERIFY(f.TargetDialogs.isEmpty());
    }

    void unsavedTestIsSavedFirst()
    {
        TExportFixture f;
        QVERIFY(f.StartWith(PlayerDir(f.Path(QStringLiteral("bin")))));
        f.W().Action("actEditAddQuestion")->trigger();

        // Declined: nothing more.
        f.Answers = {QMessageBox::Cancel};
        f.Export();
        QCOMPARE(f.Questions, QStringList{AskSaveLine});
        QVERIFY(f.FileDialogs.isEmpty());
        QVERIFY(f.TargetDialogs.isEmpty());

        // Agreed, but the save dialog cancelled: ends without a message.
        f.Answers = {QMessageBox::Ok};
        f.Export();
        QCOMPARE(f.Questions.size(), 2);
        QCOMPARE(f.FileDialogs.size(), 1);
        QVERIFY(f.FileDialogs.value(0).startsWith(QStringLiteral("save ")));
        QVERIFY(f.TargetDialogs.isEmpty());
        QVERIFY(f.W().Document()->isModified());
        QCOMPARE(f.TakeMessages(), QString());

        // Saved under a name: the target dialog starts in that folder with the test's name.
        const QString tests = f.Path(QStringLiteral("Тесты"));
        QDir().mkpath(tests);
        f.Answers = {QMessageBox::Ok};
        f.FileNames = {tests + QStringLiteral("/math")};
        const QString target = f.Path(QStringLiteral("math-program"));
        f.Targets = {target};
        f.Export();
        QVERIFY(!f.W().Document()->isModified());
        QCOMPARE(f.TargetDialogs, QStringList{tests + u'|' + tests + QStringLiteral("/math")});
        QCOMPARE(ResourceTrailer::FindResource(target, QStringLiteral("TEST")).value_or(QByteArray()),
                 ReadAll(tests + QStringLiteral("/math.qe2")));
        // A successful export confirms nothing.
        QCOMPARE(f.TakeMessages(), QString());
    }

    void savedTestTravelsByteForByte()
    {
        TExportFixture f;
        const QString bin = PlayerDir(f.Path(QStringLiteral("bin")));
        const QString test = f.Path(QStringLiteral("Физика 7 класс.qe2"));
        WriteTest(test, Questions(), QStringLiteral("пароль"), 15);
        f.Passwords = {QStringLiteral("пароль")};
        QVERIFY(f.StartWith(bin, test));
        QCOMPARE(f.W().Document()->path(), test);
        const QString saveDir = f.W().Document()->saveDirectory();

        const QString out = f.Path(QStringLiteral("out"));
        QDir().mkpath(out);
        const QString target = out + QStringLiteral("/Физика");
        WriteAll(target, QByteArrayLiteral("an older file"));
        f.Targets = {target};
        f.Answers = {QMessageBox::Yes};
        f.Export();
        QCOMPARE(f.Questions, QStringList{QStringLiteral("Внимание!\tФайл \"%1\" уже существует.\rЗаменить его?").arg(target)});
        QCOMPARE(f.TakeMessages(), QString());
        QCOMPARE(f.TargetDialogs, QStringList{saveDir + QStringLiteral("|Физика 7 класс")});

        const QByteArray program = ReadAll(target);
        QVERIFY(program.startsWith(FakePlayerBytes));
        const QList<ResourceTrailer::TResource> res = ResourceTrailer::ReadAll(target);
        QCOMPARE(res.size(), 2);
        QCOMPARE(res.at(0).first, QStringLiteral("TEST"));
        QCOMPARE(res.at(0).second, ReadAll(test));
        QCOMPARE(res.at(1).first, QStringLiteral("TEST_FILE_NAME"));
        QCOMPARE(res.at(1).second, ToAnsi(test) + QByteArray(1, '\0'));
        QVERIFY(res.at(1).second.size() > QByteArrayLiteral("Физика 7 класс.qe2").size());
        QCOMPARE(QFileInfo(target).permissions(), QFileInfo(bin + QStringLiteral("/Quizrunner")).permissions());
        QCOMPARE(Listing(out), QStringList{QStringLiteral("Физика")});

        // The document is as it was; the progress window has gone.
        QVERIFY(!f.W().Document()->isModified());
        QCOMPARE(f.W().Document()->path(), test);
        QCOMPARE(f.W().Document()->saveDirectory(), saveDir);
        QVERIFY(!f.W().InfoWindow()->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(f.Cmd->LastTarget(), target);
    }

    void exportedPlayerGetsItsTestReplaced()
    {
        TExportFixture f;
        const QString bin = f.Path(QStringLiteral("bin"));
        const QString plain = PlayerDir(f.Path(QStringLiteral("plain"))) + QStringLiteral("/Quizrunner");
        QDir().mkpath(bin);
        ResourceTrailer::AddResources(plain, bin + QStringLiteral("/Quizrunner"),
                                      {{QStringLiteral("TEST"), QByteArray(3000, 'o')},
                                       {QStringLiteral("TEST_FILE_NAME"), QByteArrayLiteral("C:\\old.qe2\0")},
                                       {QStringLiteral("ICON"), QByteArrayLiteral("icon")}});
        const QString test = f.Path(QStringLiteral("new.qe2"));
        WriteTest(test, Questions());
        QVERIFY(f.StartWith(bin, test));
        const QString target = f.Path(QStringLiteral("again"));
        f.Targets = {target};
        f.Export();
        QCOMPARE(f.TakeMessages(), QString());

        const QList<ResourceTrailer::TResource> res = ResourceTrailer::ReadAll(target);
        QStringList names;
        for (const auto &r : res)
            names << r.first;
        QCOMPARE(names, QStringList({"TEST", "TEST_FILE_NAME", "ICON"}));
        QCOMPARE(res.at(0).second, ReadAll(test));
        QCOMPARE(res.at(1).second, ToAnsi(test) + QByteArray(1, '\0'));
        QCOMPARE(res.at(2).second, QByteArrayLiteral("icon"));
        // One trailer after the player's own bytes, not one trailer after another.
        const QByteArray program = ReadAll(target);
        QVERIFY(program.startsWith(FakePlayerBytes));
        QVERIFY(!program.contains(QByteArray(3000, 'o')));
        QCOMPARE(program.count(QByteArrayLiteral("QERSRC")), 1);
    }

    void faultyQuestionsWarnOnceTheWindowHasGone()
    {
        TExportFixture f;
        const QString test = f.Path(QStringLiteral("faulty.qe2"));
        WriteTest(test, Questions(true));
        QVERIFY(f.StartWith(PlayerDir(f.Path(QStringLiteral("bin"))), test));
        QStringList seen;
        SetMessageSink([&](QMessageBox::Icon, const QString &caption, const QString &text) {
            seen << caption + u'\t' + text
                 << QStringLiteral("info visible: %1").arg(f.W().InfoWindow()->isVisible())
                 << QStringLiteral("wait cursor: %1").arg(QApplication::overrideCursor() != nullptr);
        });
        f.Targets = {f.Path(QStringLiteral("faulty"))};
        f.Export();
        QCOMPARE(seen, QStringList({QStringLiteral("Предупреждение !\t") + DocTexts::FaultyQuestions,
                                    QStringLiteral("info visible: 0"), QStringLiteral("wait cursor: 0")}));
        QVERIFY(ResourceTrailer::FindResource(f.Path(QStringLiteral("faulty")), QStringLiteral("TEST")));
    }

    void targetThatCannotBeWrittenLeavesNothing()
    {
        TExportFixture f;
        const QString bin = PlayerDir(f.Path(QStringLiteral("bin")));
        const QString test = f.Path(QStringLiteral("faulty.qe2"));
        WriteTest(test, Questions(true));
        QVERIFY(f.StartWith(bin, test));
        const QString player = bin + QStringLiteral("/Quizrunner");
        const QStringList before = Listing(f.Dir.path());

        // Inside a regular file: no folder to write in.
        const QString target = test + QStringLiteral("/program");
        f.Targets = {target};
        f.Export();
        // The copy's own message, and no faulty-question warning after a failure.
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Ошибка копирования:\rиз ") + player
                                       + QStringLiteral("\rв ") + target);
        QCOMPARE(Listing(f.Dir.path()), before);
        QVERIFY(!f.W().InfoWindow()->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f.Cmd->LastTarget().isEmpty());

        // A folder of that name is not replaced.
        const QString folder = f.Path(QStringLiteral("folder"));
        QDir().mkpath(folder + QStringLiteral("/inside"));
        f.Targets = {folder};
        f.Export();
        QVERIFY(f.TakeMessages().startsWith(ErrorLine + QStringLiteral("Ошибка копирования:")));
        QCOMPARE(Listing(folder), QStringList{QStringLiteral("inside")});
    }

    void failuresOfTheWriteKeepTheOldTarget()
    {
        QTemporaryDir dir;
        const QString player = PlayerDir(dir.filePath(QStringLiteral("bin"))) + QStringLiteral("/Quizrunner");
        const QString out = dir.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        const QString target = out + QStringLiteral("/program");
        const QByteArray old = QByteArrayLiteral("the previous program");
        WriteAll(target, old);
        const QString test = dir.filePath(QStringLiteral("t.qe2"));
        WriteTest(test, Questions());

        ExportExe::TExportResult r = ExportExe::WriteProgram(player, dir.filePath(QStringLiteral("gone.qe2")), target);
        QVERIFY(!r.Ok);
        QCOMPARE(r.Message, QStringLiteral("Ошибка CreateFile: ") + dir.filePath(QStringLiteral("gone.qe2")));

        const QString empty = dir.filePath(QStringLiteral("empty.qe2"));
        WriteAll(empty, {});
        r = ExportExe::WriteProgram(player, empty, target);
        QCOMPARE(r.Message, QStringLiteral("Ошибка CreateFileMapping"));

        r = ExportExe::WriteProgram(dir.filePath(QStringLiteral("nothing")), test, target);
        QCOMPARE(r.Message, QStringLiteral("Ошибка копирования:\rиз %1\rв %2").arg(dir.filePath(QStringLiteral("nothing")), target));

        // A link into a place that cannot be written: the folder of the link
        // takes a file, the folder it leads to cannot; the write itself fails.
        const QString link = out + QStringLiteral("/link");
        QVERIFY(QFile::link(test + QStringLiteral("/program"), link));
        r = ExportExe::WriteProgram(player, test, link);
        QCOMPARE(r.Message, QStringLiteral("Ошибка EndUpdateResource"));
        QVERIFY(QFileInfo(link).isSymLink());

        QCOMPARE(ReadAll(target), old);
        QCOMPARE(Listing(out), QStringList({QStringLiteral("link"), QStringLiteral("program")}));

        // The same calls succeed once the inputs are right.
        r = ExportExe::WriteProgram(player, test, target);
        QVERIFY2(r.Ok, qPrintable(r.Detail));
        QCOMPARE(ResourceTrailer::FindResource(target, QStringLiteral("TEST")).value_or(QByteArray()), ReadAll(test));
        QCOMPARE(Listing(out), QStringList({QStringLiteral("link"), QStringLiteral("program")}));
    }

    void exportedProgramRunsItsTestFromAnotherFolder()
    {
        const QString built = BuiltProgramDir() + QStringLiteral("/Quizrunner");
        QVERIFY2(QFileInfo(built).isExecutable(), "the player is built beside the editor");
        TExportFixture f;
        const QString test = f.Path(QStringLiteral("Тест.qe2"));
        WriteTest(test, Questions(), {}, 5);
        QVERIFY(f.StartWith(BuiltProgramDir(), test));
        const QString target = f.Path(QStringLiteral("Программа/Тест"));
        QDir().mkpath(QFileInfo(target).absolutePath());
        f.Targets = {target};
        f.Export();
        QCOMPARE(f.TakeMessages(), QString());
        QVERIFY(QFileInfo(target).isExecutable());
        QCOMPARE(ResourceTrailer::FindResource(target, QStringLiteral("TEST")).value_or(QByteArray()), ReadAll(test));

        // Without a test of its own the player refuses arguments at once...
        TRun plain(f.Path(QStringLiteral("run-plain")));
        plain.Proc.start(built, {});
        QVERIFY(plain.Proc.waitForFinished(30000));
        QCOMPARE(plain.Messages().size(), 1);
        QVERIFY(plain.Messages().value(0).contains(QStringLiteral("Неверные параметры запуска")));
        // ...while the exported program, started elsewhere without arguments,
        // finds its test and waits for the examinee, with no message.
        TRun run(f.Path(QStringLiteral("elsewhere")));
        run.Proc.start(target, {});
        QVERIFY(run.Proc.waitForStarted());
        QVERIFY(!run.Proc.waitForFinished(LoadedAfterMs));
        QCOMPARE(run.Messages(), QStringList());
    }
};

QTEST_MAIN(TestExportExe)
#include "tst_ExportExe.moc"
