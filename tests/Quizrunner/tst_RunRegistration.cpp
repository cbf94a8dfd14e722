// Registration and writing the result line through the save window.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "Clock.h"
#include "MCheckBox.h"
#include "RunState.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "fSaveResults.h"
#include "testutil_run.h"

namespace {
QLineEdit *Ed(TTestRun &run, const char *name)
{
    return Child<QLineEdit>(run.frmData(), name);
}
QPushButton *SaveBtn(TTestRun &run, const char *name)
{
    return Child<QPushButton>(run.frmSaveResults(), name);
}
QString SaveInfo(TTestRun &run)
{
    return Child<QLabel>(run.frmSaveResults(), "labInfo")->text();
}
bool AskingAfterFailure(TTestRun &run)
{
    return run.frmSaveResults()->isVisible() && SaveBtn(run, "btnRetry")->isEnabled();
}
void AnswerAndFinish(TRunScript &s, TTestRun &run)
{
    s.OnModal(run.frmData(), [&run] { Register(run, "Сидоров", "Семён", "Семёнович", "10Б"); });
    s.OnModal(run.frmQuestion(), [&run] {
        QTest::mouseClick(Boxes(run).at(0), Qt::LeftButton, {}, QPoint(6, 5));
    });
    FinishSteps(s, run);
}
} // namespace

class TestRunRegistration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { QeClock::SetSleeper({}); }
    void nextNeedsThreeNames();
    void fieldLengths();
    void exitEndsWithoutResult();
    void failedSeriesThenRetryWrites();
    void dontSaveLosesOnlyTheLine();
    void embeddedTestWritesBesideCurrentDir();
};

void TestRunRegistration::nextNeedsThreeNames()
{
    TRunFixture fx(0, {RunItem("Q", {"a"}, "!")});
    TTestRun &run = fx.Make();
    QPushButton *next = Child<QPushButton>(run.frmData(), "btnNext");
    QVERIFY(!next->isEnabled());
    Ed(run, "edAddInfo")->setText("extra");
    QVERIFY(!next->isEnabled());
    Ed(run, "edLastName")->setText("Иванов");
    Ed(run, "edFirstName")->setText("Иван");
    QVERIFY(!next->isEnabled());
    Ed(run, "edPatronymic")->setText(" ");   // spaces count as typed
    QVERIFY(next->isEnabled());
    Ed(run, "edFirstName")->clear();
    QVERIFY(!next->isEnabled());
    Ed(run, "edFirstName")->setText("Иван");
    Ed(run, "edLastName")->clear();
    QVERIFY(!next->isEnabled());
}

void TestRunRegistration::fieldLengths()
{
    TRunFixture fx(0, {RunItem("Q", {"a"}, "!")});
    TTestRun &run = fx.Make();
    const QString many(60, QLatin1Char('x'));
    for (const char *name : {"edLastName", "edFirstName", "edPatronymic"}) {
        QTest::keyClicks(Ed(run, name), many.left(21));
        QCOMPARE(Ed(run, name)->text().size(), 20);
    }
    QTest::keyClicks(Ed(run, "edAddInfo"), many);
    QCOMPARE(Ed(run, "edAddInfo")->text().size(), 50);
}

void TestRunRegistration::exitEndsWithoutResult()
{
    TRunFixture fx(0, {RunItem("Q", {"a"}, "!")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] {
        QCOMPARE(run.frmData()->windowTitle(), QStringLiteral(" Регистрация"));
        Click(Child<QAbstractButton>(run.frmData(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QVERIFY(run.State().QButtons.isEmpty());
    QVERIFY(fx.FIO.isEmpty());
    QVERIFY(!QFile::exists(fx.ResultsPath));
}

// The folder is missing: ten attempts with back-off, the question, then a
// retry once the folder exists writes header and line.
void TestRunRegistration::failedSeriesThenRetryWrites()
{
    TRunFixture fx(0, {RunItem("Q", {"a", "b"}, "! ")});
    const QString folder = fx.Dir.filePath("share");
    fx.ResultsPath = folder + "/results.res";
    TTestRun &run = fx.Make();
    QStringList shownBeforeBackoff;
    QeClock::SetSleeper([&](int ms) {
        if (ms != 10)
            shownBeforeBackoff << SaveInfo(run);
    });
    TRunScript s;
    AnswerAndFinish(s, run);
    s.When([&] { return AskingAfterFailure(run); }, [&] {
        QCOMPARE(SaveInfo(run), "Ошибка сохранения:\n" + fx.ResultsPath);
        QVERIFY(SaveBtn(run, "btnCont")->isEnabled());
        // No back-off after the tenth attempt.
        QCOMPARE(shownBeforeBackoff.size(), 9);
        QCOMPARE(shownBeforeBackoff.first(), QStringLiteral("Идет запись.. (0)"));
        QCOMPARE(shownBeforeBackoff.last(), QStringLiteral("Идет запись.. (8)"));
        QVERIFY(!QFile::exists(fx.ResultsPath));
        Click(SaveBtn(run, "btnRetry"));
    });
    // The buttons stay enabled until the wait loop sees the choice, so the
    // second question is told apart by the attempts made since.
    s.When([&] { return AskingAfterFailure(run) && shownBeforeBackoff.size() > 9; }, [&] {
        QCOMPARE(shownBeforeBackoff.size(), 18);
        QCOMPARE(shownBeforeBackoff[9], QStringLiteral("Идет запись.. (0)"));
        QVERIFY(QDir().mkpath(folder));
        Click(SaveBtn(run, "btnRetry"));
    });
    s.OnModal(run.frmResults(), [&] {
        QVERIFY(!run.frmSaveResults()->isVisible());
        QCOMPARE(Child<QLabel>(run.frmResults(), "labResults")->text(), QStringLiteral("2 из 2\n100,00%"));
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    const QList<QByteArray> lines = fx.ResultsBytes().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].contains("\t\xd1\xe8\xe4\xee\xf0\xee\xe2\t"));   // "Сидоров" in Windows-1251
    QVERIFY(lines[1].endsWith("\t10\xc1\t2\t2\t100,00\r"));
}

void TestRunRegistration::dontSaveLosesOnlyTheLine()
{
    TRunFixture fx(0, {RunItem("Q", {"a", "b"}, "! ")});
    fx.ResultsPath = fx.Dir.filePath("missing/results.res");
    TTestRun &run = fx.Make();
    QeClock::SetSleeper([](int) {});
    TRunScript s;
    AnswerAndFinish(s, run);
    s.When([&] { return AskingAfterFailure(run); }, [&] {
        run.frmSaveResults()->close();   // no close box: only the buttons answer
        QVERIFY(run.frmSaveResults()->isVisible());
        Click(SaveBtn(run, "btnCont"));
    });
    bool resultsShown = false;
    s.OnModal(run.frmResults(), [&] {
        resultsShown = true;
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QVERIFY(resultsShown);
    QVERIFY(!QFile::exists(fx.ResultsPath));
}

void TestRunRegistration::embeddedTestWritesBesideCurrentDir()
{
    TRunFixture fx(0, {RunItem("Q", {"a", "b"}, "! ")});
    fx.Ctx.Embedded = true;
    fx.Ctx.TestPath = "/nowhere/Tests/Химия.qe2";
    const QString oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(fx.Dir.path()));
    TTestRun &run = fx.Make();
    TRunScript s;
    AnswerAndFinish(s, run);
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QDir::setCurrent(oldCwd);
    QVERIFY(s.Done());
    QVERIFY(QFile::exists(fx.Dir.filePath(QStringLiteral("Химия.res"))));
}

QTEST_MAIN(TestRunRegistration)
#include "tst_RunRegistration.moc"
