// "Проверить тест": where the command sits, its checks and its save question,
// the player started as the launcher starts it with a results file in a
// folder of its own that goes when the player ends, and the refusal of a
// second preview while a player runs.
#include <QtTest>
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QToolBar>

#include "ExportExe.h"
#include "MessageBoxes.h"
#include "PreviewCommand.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
const QString ErrorLine = QStringLiteral("Ошибка !\t");
const QString AskSaveLine =
    QStringLiteral("Внимание!\tДля проверки теста необходимо сохранить тест.\r\rСохранить сейчас?");
const QString RefusedLine =
    ErrorLine + QStringLiteral("Экзаменовка уже запущена\r\rПроверить тест снова можно, когда она будет завершена.");

// A stand-in player: notes its folder and arguments, then waits to be let go.
const QByteArray FakePlayer = "#!/bin/sh\n"
                              "printf '%s\\n' \"$PWD\" \"$@\" > \"$QE_FAKE_ARGS.tmp\"\n"
                              "mv \"$QE_FAKE_ARGS.tmp\" \"$QE_FAKE_ARGS\"\n"
                              "while [ ! -e \"$QE_FAKE_RELEASE\" ]; do sleep 0.05; done\n";

QString BuiltProgramDir()
{
    const QString editor = qEnvironmentVariable("QE_QUIZWRIGHT");
    return editor.isEmpty() ? QStringLiteral(QE_BINARY_DIR "/bin") : QFileInfo(editor).absolutePath();
}

QStringList Lines(const QString &path)
{
    return QString::fromUtf8(ReadAll(path)).split(u'\n', Qt::SkipEmptyParts);
}

QStringList Listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

struct TPreviewFixture : TEditorFixture {
    TPreviewCommand *Cmd = nullptr;
    QString Bin;

    bool StartWith(const QString &programDir, const QString &startFile = {})
    {
        if (!Start(startFile))
            return false;
        Cmd = W().findChild<TPreviewCommand *>();
        if (!Cmd)
            return false;
        Cmd->ProgramDir = programDir;
        return true;
    }
    // A folder with the stand-in player.
    QString FakeBin()
    {
        const QString dir = Path(QStringLiteral("bin"));
        QDir().mkpath(dir);
        const QString player = dir + QStringLiteral("/Quizrunner");
        WriteAll(player, FakePlayer);
        QFile::setPermissions(player, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("QE_FAKE_ARGS", QFile::encodeName(Path(QStringLiteral("args"))));
        qputenv("QE_FAKE_RELEASE", QFile::encodeName(Path(QStringLiteral("release"))));
        return dir;
    }
    void Preview() { W().Action("actFilePreview")->trigger(); }
    QString SavedTest()
    {
        const QString test = Path(QStringLiteral("Физика 7 класс.qe2"));
        WriteTest(test, {Question(QStringLiteral("Сколько будет 2+2?"), {"3", "4"}, " !")});
        return test;
    }
};
}  // namespace

class TestPreview : public QObject {
    Q_OBJECT
    QTemporaryDir m_session;
    QString m_tmp;

private Q_SLOTS:
    void initTestCase()
    {
        // A session of our own: its lock folder and its temporary folder.
        QVERIFY(m_session.isValid());
        const QString runtime = m_session.filePath(QStringLiteral("runtime"));
        m_tmp = m_session.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(m_tmp));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QE_MESSAGE_LOG", QFile::encodeName(m_session.filePath(QStringLiteral("player.log"))));
    }

    void commandSitsAfterTheExportAndOnTheStandardBar()
    {
        TPreviewFixture f;
        QVERIFY(f.StartWith(f.Path(QStringLiteral("nowhere"))));
        QAction *act = f.W().Action("actFilePreview");
        QVERIFY(act);
        QCOMPARE(act->text(), QStringLiteral("Проверить тест"));
        QCOMPARE(act->shortcut(), QKeySequence(QStringLiteral("Ctrl+F9")));
        QVERIFY(!act->icon().isNull());
        const QList<QAction *> menu = f.W().findChild<QMenu *>(QStringLiteral("mnuFile"))->actions();
        const qsizetype at = menu.indexOf(act);
        QVERIFY(at > 0);
        QCOMPARE(menu.at(at - 1)->objectName(), QStringLiteral("actFileExportExe"));
        QVERIFY(f.W().findChild<QToolBar *>(QStringLiteral("TBToolBarStandart"))->actions().contains(act));
        // The shortcut reaches the command from the window.
        f.W().Action("actEditAddQuestion")->trigger();
        QTest::keyClick(&f.W(), Qt::Key_F9, Qt::ControlModifier);
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Файл не найден: Quizrunner"));
    }

    void emptyTestAndMissingPlayerAreTold()
    {
        TPreviewFixture f;
        const QString dir = f.Path(QStringLiteral("bin"));
        QDir().mkpath(dir + QStringLiteral("/Quizrunner"));  // a folder is no program
        QVERIFY(f.StartWith(dir));
        f.Preview();
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Тест пустой"));
        f.W().Action("actEditAddQuestion")->trigger();
        f.Preview();
        QCOMPARE(f.TakeMessages(), ErrorLine + QStringLiteral("Файл не найден: Quizrunner"));
        // Told before the teacher is asked to save.
        QVERIFY(f.Questions.isEmpty());
        QVERIFY(!f.Cmd->IsRunning());
    }

    void unsavedTestIsSavedFirst()
    {
        TPreviewFixture f;
        QVERIFY(f.StartWith(f.FakeBin()));
        f.W().Action("actEditAddQuestion")->trigger();

        f.Answers = {QMessageBox::Cancel};
        f.Preview();
        QCOMPARE(f.Questions, QStringList{AskSaveLine});
        QVERIFY(f.FileDialogs.isEmpty());
        QVERIFY(!f.Cmd->IsRunning());

        // Agreed, but the save dialog cancelled: nothing starts.
        f.Answers = {QMessageBox::Ok};
        f.Preview();
        QCOMPARE(f.FileDialogs.size(), 1);
        QVERIFY(!f.Cmd->IsRunning());
        QVERIFY(f.W().Document()->isModified());

        // Saved: the player gets the file as saved.
        f.Answers = {QMessageBox::Ok};
        f.FileNames = {f.Path(QStringLiteral("math"))};
        f.Preview();
        QVERIFY(!f.W().Document()->isModified());
        QVERIFY(f.Cmd->IsRunning());
        QCOMPARE(f.Cmd->LastCommand().value(2), f.Path(QStringLiteral("math.qe2")));
        QCOMPARE(f.TakeMessages(), QString());
        QSignalSpy ended(f.Cmd, &TPreviewCommand::finished);
        WriteAll(f.Path(QStringLiteral("release")), "");
        QVERIFY(ended.wait(20000));
    }

    void playerStartsAsTheLauncherStartsIt()
    {
        TPreviewFixture f;
        const QString test = f.SavedTest();
        QVERIFY(f.StartWith(f.FakeBin(), test));
        QSignalSpy ended(f.Cmd, &TPreviewCommand::finished);
        f.Preview();
        QVERIFY(f.Questions.isEmpty());  // saved already: no question
        QVERIFY(f.Cmd->IsRunning());
        const QString dir = f.Cmd->ResultsDir();
        QVERIFY(QFileInfo(dir).isDir());
        QCOMPARE(QFileInfo(dir).absolutePath(), QFileInfo(m_tmp).absoluteFilePath());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(f.Path(QStringLiteral("args"))), 20000);
        // Its own folder as the working folder; the launcher's three arguments.
        QCOMPARE(Lines(f.Path(QStringLiteral("args"))),
                 (QStringList{dir, QStringLiteral("KMQuizdispatch"), test, dir + QStringLiteral("/Физика 7 класс.res")}));
        QCOMPARE(f.Cmd->LastCommand().value(0), ExportExe::PlayerPath(f.Path(QStringLiteral("bin"))));

        // A second preview while it runs is refused and starts nothing.
        f.Preview();
        QCOMPARE(f.TakeMessages(), RefusedLine);
        QCOMPARE(f.Cmd->ResultsDir(), dir);

        // When the player ends its folder goes, and a new preview may start.
        WriteAll(f.Path(QStringLiteral("release")), "");
        QVERIFY(ended.wait(20000));
        QVERIFY(!f.Cmd->IsRunning());
        QVERIFY(!QFileInfo::exists(dir));
        QVERIFY(Listing(m_tmp).filter(QStringLiteral("quizengine2-")).isEmpty());
        QFile::remove(f.Path(QStringLiteral("release")));
        QFile::remove(f.Path(QStringLiteral("args")));
        f.Preview();
        QVERIFY(f.Cmd->IsRunning());
        QCOMPARE(f.TakeMessages(), QString());
        WriteAll(f.Path(QStringLiteral("release")), "");
        QVERIFY(ended.wait(20000));
    }

    void refusalIsShownAboveThePlayer()
    {
        // The player keeps its window above the others; the refusal must come
        // above it, or the editor sits blocked behind a box nobody sees.
        TPreviewFixture f;
        QVERIFY(f.StartWith(f.FakeBin(), f.SavedTest()));
        QSignalSpy ended(f.Cmd, &TPreviewCommand::finished);
        f.Preview();
        QVERIFY(f.Cmd->IsRunning());
        SetMessageSink({});
        qunsetenv("QE_MESSAGE_LOG");
        QString seen;
        bool onTop = false, modal = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen = box->text();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            modal = box->isModal();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(20);
        f.Preview();
        poll.stop();
        QCOMPARE(seen, QStringLiteral("Экзаменовка уже запущена\n\nПроверить тест снова можно, когда она будет завершена."));
        QVERIFY(onTop);
        QVERIFY(modal);
        QVERIFY(!QApplication::activeModalWidget());
        WriteAll(f.Path(QStringLiteral("release")), "");
        QVERIFY(ended.wait(20000));
    }

    void rehearsalAfterSaveAsStaysOutOfTheClassResults()
    {
        // Regression: after "Сохранить как" the test name is a full path, and the
        // results file was that path plus ".res": the class's file beside the test.
        TPreviewFixture f;
        QVERIFY(f.StartWith(f.FakeBin(), f.SavedTest()));
        const QString classDir = f.Path(QStringLiteral("7Б"));
        QVERIFY(QDir().mkpath(classDir));
        const QString classResults = classDir + QStringLiteral("/Физика.res");
        const QByteArray pupils = "Дата\tВремя\r\n10.12.2026\t09:00:00\tИванов\r\n";
        WriteAll(classResults, pupils);
        f.FileNames = {classDir + QStringLiteral("/Физика")};
        QVERIFY(f.W().SaveFileAs());
        QCOMPARE(f.W().Document()->testName(), classDir + QStringLiteral("/Физика"));

        QSignalSpy ended(f.Cmd, &TPreviewCommand::finished);
        f.Preview();
        QVERIFY(f.Cmd->IsRunning());
        const QString dir = f.Cmd->ResultsDir();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(f.Path(QStringLiteral("args"))), 20000);
        QCOMPARE(Lines(f.Path(QStringLiteral("args"))),
                 (QStringList{dir, QStringLiteral("KMQuizdispatch"), classDir + QStringLiteral("/Физика.qe2"),
                              dir + QStringLiteral("/Физика.res")}));
        WriteAll(f.Path(QStringLiteral("release")), "");
        QVERIFY(ended.wait(20000));
        QCOMPARE(ReadAll(classResults), pupils);
    }

    void playerOfAnotherStartIsRespected()
    {
        // The real player, started as the launcher starts it, holds the session's lock.
        TPreviewFixture f;
        const QString test = f.SavedTest();
        const QString bin = BuiltProgramDir();
        QVERIFY(QFileInfo(ExportExe::PlayerPath(bin)).isExecutable());
        QProcess other;
        other.setWorkingDirectory(f.Path(QString()));
        other.start(ExportExe::PlayerPath(bin), {QStringLiteral("KMQuizdispatch"), test, f.Path(QStringLiteral("r.res"))});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Preview::PlayerHoldsLock(), 20000);

        QVERIFY(f.StartWith(bin, test));
        f.Preview();
        QCOMPARE(f.TakeMessages(), RefusedLine);
        QVERIFY(!f.Cmd->IsRunning());
        // Looking did not take the lock from it.
        QVERIFY(Preview::PlayerHoldsLock());

        other.kill();
        QVERIFY(other.waitForFinished(20000));
        QVERIFY(!Preview::PlayerHoldsLock());
        // Now the real player starts from the editor and holds the lock in turn.
        f.Preview();
        QCOMPARE(f.TakeMessages(), QString());
        QVERIFY(f.Cmd->IsRunning());
        QTRY_VERIFY_WITH_TIMEOUT(Preview::PlayerHoldsLock(), 20000);
        const QString dir = f.Cmd->ResultsDir();
        // Closing the editor ends the rehearsal and leaves nothing behind.
        f.Window.reset();
        QVERIFY(!QFileInfo::exists(dir));
        QTRY_VERIFY_WITH_TIMEOUT(!Preview::PlayerHoldsLock(), 20000);
    }

    void playerThatCannotStartIsTold()
    {
        TPreviewFixture f;
        const QString bin = f.Path(QStringLiteral("bin"));
        QDir().mkpath(bin);
        WriteAll(bin + QStringLiteral("/Quizrunner"), "not a program");  // no execute permission
        QVERIFY(f.StartWith(bin, f.SavedTest()));
        const QStringList before = Listing(m_tmp);
        f.Preview();
        const QString msg = f.TakeMessages();
        QVERIFY2(msg.startsWith(ErrorLine + QStringLiteral("Ошибка запуска: ") + bin + QStringLiteral("/Quizrunner")),
                 qPrintable(msg));
        QVERIFY(!f.Cmd->IsRunning());
        QCOMPARE(Listing(m_tmp), before);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_Preview.moc"
