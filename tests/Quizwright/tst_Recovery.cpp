// Recovery copies in the editor: taken after the pause, equal to a save, gone
// after a save or a discarding close; offered after an editor was killed, not
// while it runs; the question before a save over another's; preferences
// written while the editor runs.
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSplitter>
#include <QDir>
#include <QTimer>
#include <QTest>
#include <QThread>
#include <cstdio>

#include "Clock.h"
#include "MJvRichedit.h"
#include "PrefsAutosave.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "RecoveryCommands.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;
using TOverwrite = TRecoveryCommands::TOverwrite;

namespace {
const QString TestPassword = QStringLiteral("секрет");

struct TFakeClock {
    qint64 Now = 1000000;
    TFakeClock() { QeClock::SetTickSource([this] { return Now; }); }
    ~TFakeClock() { QeClock::SetTickSource({}); }
};

TQuestionList ThreeQuestions()
{
    return {Question("Q1", {"a", "b"}, "! "), Question("Q2", {"a", "b"}, " !"), Question("Q3", {"a", "b"}, "! ")};
}

QString StateOf(TEditorFixture &f) { return f.Path(QStringLiteral("state")); }

// Another editor process: opens the test, adds a question, takes a copy,
// says "ready" and waits to be killed.
int ChildEditor(const QString &state, const QString &test)
{
    TEditorFixture f;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    f.Passwords.push_back(TestPassword);
    if (!f.Start(test))
        return 2;
    f.W().AddQuestion();
    EditorTest::Type(f.W().Pane()->questionText(), QStringLiteral("из другого редактора"));
    if (!f.W().Recovery()->WriteCopyNow(true))
        return 3;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

// Another teacher's save: the test read and written again by another process.
int Resave(const QString &path)
{
    TTestInfo info;
    TQuestionList list;
    if (!LoadTestFromFile(path, info, list).Ok)
        return 2;
    list.push_back(Question("от коллеги", {"a", "b"}, "! "));
    SaveTestToFile(path, info, list);
    return 0;
}

std::unique_ptr<QProcess> StartChild(const QString &state, const QString &test)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-editor"), state, test});
    if (!p->waitForStarted())
        return nullptr;
    while (!p->canReadLine())
        if (!p->waitForReadyRead(30000))
            return nullptr;
    return p->readLine() == "ready\n" ? std::move(p) : nullptr;
}
}  // namespace

class tst_Recovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void copyAfterPauseEqualsSave();
    void copyRemovedByDiscardingClose();
    void killedEditorOffered();
    void otherTeacherSaved();
    void preferencesWrittenWhileRunning();
};

void tst_Recovery::copyAfterPauseEqualsSave()
{
    TFakeClock clock;
    TEditorFixture f;
    QVERIFY(StartWith(f, 3));
    TRecoveryCommands &r = *f.W().Recovery();
    QVERIFY(!r.Store().HasOwnCopy());
    f.W().AddQuestion();
    EditorTest::Type(f.W().Pane()->questionText(), QStringLiteral("новый вопрос"));
    clock.Now += Recovery::TCopySchedule::PauseMs - 1;
    r.Poll();
    r.Writer().WaitForIdle();
    QVERIFY(!r.Store().HasOwnCopy());
    clock.Now += 1;
    r.Poll();
    r.Writer().WaitForIdle();
    QVERIFY(r.Store().HasOwnCopy());
    const QByteArray copy = ReadAll(r.Store().OwnCopyPath());

    // Another edit after its pause waits for the minute since the copy.
    EditorTest::Type(f.W().Pane()->questionText(), QStringLiteral("!"));
    clock.Now += 5000;
    r.Poll();
    r.Writer().WaitForIdle();
    QCOMPARE(ReadAll(r.Store().OwnCopyPath()), copy);
    clock.Now += 60000;
    r.Poll();
    r.Writer().WaitForIdle();
    const QByteArray second = ReadAll(r.Store().OwnCopyPath());
    QVERIFY(second != copy);

    QVERIFY(f.W().SaveFile());
    QVERIFY(!r.Store().HasOwnCopy());
    QCOMPARE(ReadAll(f.Path(QStringLiteral("t.qe2"))), second);
    TTestInfo info;
    TQuestionList read;
    QVERIFY(LoadTestFromFile(f.Path(QStringLiteral("t.qe2")), info, read).Ok);
    QCOMPARE(read.size(), size_t(4));
    QVERIFY(read.back()->PlainLines.Get(0).startsWith(QStringLiteral("новый вопрос!")));

    // Off: no copy however long the pause.
    r.SetIntervalMinutes(0);
    f.W().AddQuestion();
    clock.Now += 3600000;
    r.Poll();
    QVERIFY(!r.WriteCopyNow(true));
    QVERIFY(!r.Store().HasOwnCopy());
}

void tst_Recovery::copyRemovedByDiscardingClose()
{
    TEditorFixture f;
    QVERIFY(StartWith(f, 2));
    TRecoveryCommands &r = *f.W().Recovery();
    f.W().AddQuestion();
    QVERIFY(r.WriteCopyNow(true));
    const QString copy = r.Store().OwnCopyPath();
    QVERIFY(QFile::exists(copy));
    // "Тест изменен. Сохранить?" answered No.
    f.Answers = {QMessageBox::No};
    QVERIFY(f.W().close());
    QCOMPARE(f.Questions, QStringList{DocTexts::QuestionCaption + u'\t' + DocTexts::AskSave});
    QVERIFY(!QFile::exists(copy));
    // A new test after No gives the copy up as well.
    TEditorFixture g;
    QVERIFY(StartWith(g, 2));
    g.W().AddQuestion();
    QVERIFY(g.W().Recovery()->WriteCopyNow(true));
    g.Answers = {QMessageBox::No};
    g.W().Action("actFileNew")->trigger();
    QVERIFY(!g.W().Recovery()->Store().HasOwnCopy());
}

void tst_Recovery::killedEditorOffered()
{
    TEditorFixture f;
    const QString state = StateOf(f);
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, ThreeQuestions(), TestPassword);
    std::unique_ptr<QProcess> child = StartChild(state, test);
    QVERIFY(child);

    // While the other editor runs, its copy is its own.
    QVERIFY(f.Start());
    TRecoveryCommands &r = *f.W().Recovery();
    QVERIFY(r.Store().ListOrphans().empty());
    QCOMPARE(QDir(state + QStringLiteral("/quizengine2/recovery")).entryList({QStringLiteral("*.qe2")}).size(), 1);

    child->kill();
    QVERIFY(child->waitForFinished());
    std::vector<Recovery::TEntry> offered;
    r.ChooseCopy = [&](const std::vector<Recovery::TEntry> &entries, const std::function<bool(int)> &) {
        offered = entries;
        return 0;
    };
    f.Passwords = {TestPassword};
    r.OfferRecovery();
    QCOMPARE(offered.size(), size_t(1));
    QVERIFY(!offered[0].Damaged);
    QCOMPARE(offered[0].Description.OriginalPath, test);
    QCOMPARE(offered[0].Description.Title, QStringLiteral("t"));
    // The test's password guards its copy.
    QCOMPARE(f.PasswordLabels.last(), DocTexts::TestPasswordLabel);

    TQuizDocument &doc = *f.W().Document();
    QCOMPARE(doc.path(), test);
    QVERIFY(doc.isModified());
    QCOMPARE(doc.questionCount(), 4);
    QCOMPARE(f.W().windowTitle(), QStringLiteral("t (4)* - Редактор тестов"));
    QVERIFY(Rows(f.W()).last().startsWith(QStringLiteral("из другого редактора")));
    // Adopted: offered to nobody else, gone once saved.
    QVERIFY(r.Store().ListOrphans().empty());
    QVERIFY(r.Store().HasOwnCopy());
    QVERIFY(f.W().SaveFile());
    QVERIFY(!r.Store().HasOwnCopy());
    TTestInfo info;
    TQuestionList read;
    QVERIFY(LoadTestFromFile(test, info, read).Ok);
    QCOMPARE(read.size(), size_t(4));
    QCOMPARE(info.Password, TestPassword);
}

void tst_Recovery::otherTeacherSaved()
{
    TEditorFixture f;
    QVERIFY(StartWith(f, 3));
    const QString path = f.Path(QStringLiteral("t.qe2"));
    TRecoveryCommands &r = *f.W().Recovery();
    int asked = 0;
    TOverwrite answer = TOverwrite::Cancel;
    r.AskOverwrite = [&] {
        ++asked;
        return answer;
    };
    // Saved again and again here: nobody else's work, no question.
    f.W().AddQuestion();
    QVERIFY(f.W().SaveFile());
    f.W().AddQuestion();
    QVERIFY(f.W().SaveFile());
    QCOMPARE(asked, 0);

    f.W().AddQuestion();
    QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--resave"), path}), 0);
    const QByteArray theirs = ReadAll(path);
    QVERIFY(!f.W().SaveFile());
    QCOMPARE(asked, 1);
    QCOMPARE(ReadAll(path), theirs);
    QVERIFY(f.W().Document()->isModified());

    answer = TOverwrite::SaveAs;
    f.FileNames = {f.Path(QStringLiteral("mine.qe2"))};
    QVERIFY(f.W().SaveFile());
    QCOMPARE(asked, 2);
    QCOMPARE(ReadAll(path), theirs);
    QCOMPARE(f.W().Document()->path(), f.Path(QStringLiteral("mine.qe2")));

    // Their file open here, changed by them once more, replaced on Да.
    f.FileNames = {path};
    QVERIFY(f.W().OpenFile());
    f.W().AddQuestion();
    QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--resave"), path}), 0);
    answer = TOverwrite::Save;
    QVERIFY(f.W().SaveFile());
    QCOMPARE(asked, 3);
    TTestInfo info;
    TQuestionList read;
    QVERIFY(LoadTestFromFile(path, info, read).Ok);
    QCOMPARE(read.size(), size_t(7));  // 3, 2 of ours, 1 of theirs, 1 of ours: theirs replaced by ours

    // A file that has gone is saved without asking.
    f.W().AddQuestion();
    QVERIFY(QFile::remove(path));
    QVERIFY(f.W().SaveFile());
    QCOMPARE(asked, 3);
    QVERIFY(QFile::exists(path));
}

void tst_Recovery::preferencesWrittenWhileRunning()
{
    TEditorFixture f;
    QVERIFY(StartWith(f, 1));
    TPrefsAutosave &autosave = *f.W().PrefsAutosave();
    QVERIFY(autosave.timer()->isActive());  // the open changed the recent files
    autosave.Flush();
    const QString ini = f.Path(QStringLiteral("settings.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Quizwright/MRUItem1")).toString(), f.Path(QStringLiteral("t.qe2")));
    }
    QSplitter *main = f.W().findChild<QSplitter *>(QStringLiteral("splMain"));
    QVERIFY(main);
    QTest::mousePress(main->handle(1), Qt::LeftButton);
    QTest::mouseMove(main->handle(1), QPoint(40, 5));
    QTest::mouseRelease(main->handle(1), Qt::LeftButton, {}, QPoint(40, 5));
    QVERIFY(autosave.timer()->isActive());
    const int width = main->sizes().at(0);
    autosave.Flush();
    QVERIFY(f.W().isVisible());
    QSettings s(ini, QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Quizwright/I1")).toInt(), width);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 4 && args.at(1) == QStringLiteral("--child-editor"))
        return ChildEditor(args.at(2), args.at(3));
    if (args.size() >= 3 && args.at(1) == QStringLiteral("--resave"))
        return Resave(args.at(2));
    tst_Recovery t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_Recovery.moc"
