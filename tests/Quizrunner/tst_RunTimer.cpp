// The countdown: display, blinking and beeps of the last minute, the time-out.
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "MCheckBox.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fConfirmExit.h"
#include "fQuestion.h"
#include "fResults.h"
#include "testutil_run.h"

namespace {
QLabel *TimeLabel(TTestRun &run)
{
    return Child<QLabel>(run.frmQuestion(), "labTime");
}
QColor TimeColor(TTestRun &run)
{
    return TimeLabel(run)->palette().color(QPalette::WindowText);
}
} // namespace

class TestRunTimer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneMinuteRunsOutWithoutAsking();
    void timeOutClosesOpenConfirmation();
    void noBlinkBeforeLastMinute();
    void noClockWithoutLimit();
    void switchingPausesCountdown();
};

// 1 minute: 01:00 at the start, beeps at 60..35 every 5 s and every 2 s from 30,
// red and black in turn, and the window closes at 00:00 without confirmation.
void TestRunTimer::oneMinuteRunsOutWithoutAsking()
{
    TRunFixture fx(0, {RunItem("Q1", {"a", "b"}, "! "), RunItem("Q2", {"a", "b"}, "! ")}, 1);
    TTestRun &run = fx.Make();
    QList<int> beepAt;
    run.SetBeeper([&] { beepAt << run.State().SecondsLeft; });
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(Child<QWidget>(run.frmQuestion(), "panClock")->isVisible());
        QVERIFY(run.tmTest()->isActive());
        QCOMPARE(fx.DefaultInterval, 1000);
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("01:00"));
        QCOMPARE(TimeColor(run), QColor(255, 0, 0));
        QCOMPARE(beepAt, QList<int>{60});
        QTest::mouseClick(Boxes(run).at(0), Qt::LeftButton, {}, QPoint(6, 5));
        for (int i = 0; i < 59; ++i) {
            run.OnTimer();
            QCOMPARE(TimeColor(run), (i % 2 == 0) ? QColor(Qt::black) : QColor(255, 0, 0));
        }
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("00:01"));
        QVERIFY(run.frmQuestion()->isVisible());
        run.OnTimer();
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("00:00"));
        QVERIFY(!run.frmQuestion()->isVisible());
        QVERIFY(!run.frmConfirmExit()->isVisible());
        QVERIFY(!run.tmTest()->isActive());
    });
    s.OnModal(run.frmResults(), [&] {
        QVERIFY(!run.tmTest()->isActive());
        QVERIFY(!Child<QWidget>(run.frmQuestion(), "panClock")->isVisibleTo(run.frmQuestion()));
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QList<int> expected{60, 55, 50, 45, 40, 35};
    for (int t = 30; t >= 0; t -= 2)
        expected << t;
    QCOMPARE(beepAt, expected);
    // The answer on show at the time-out was stored and scored.
    QCOMPARE(run.Score(), 2);
    QCOMPARE(run.PossibleScore(), 4);
}

// Confirmation open when the time runs out: it is closed and so is the window.
void TestRunTimer::timeOutClosesOpenConfirmation()
{
    TRunFixture fx(0, {RunItem("Q1", {"a", "b"}, "! ")}, 1);
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] { Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit")); });
    s.OnModal(run.frmConfirmExit(), [&] { Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnCancel")); });
    s.OnModal(run.frmQuestion(), [&] { Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit")); });
    s.OnModal(run.frmConfirmExit(), [&] {
        for (int i = 0; i < 60; ++i)
            run.OnTimer();
    });
    int beepsAtResults = -1;
    s.OnModal(run.frmResults(), [&] {
        QVERIFY(!run.frmQuestion()->isVisible());
        QVERIFY(!run.tmTest()->isActive());
        beepsAtResults = fx.Beeps;
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QCOMPARE(fx.Beeps, beepsAtResults);
    QCOMPARE(fx.Beeps, 22);
}

void TestRunTimer::noBlinkBeforeLastMinute()
{
    TRunFixture fx(0, {RunItem("Q1", {"a"}, "!")}, 125);
    TTestRun &run = fx.Make();
    TRunScript s;
    QColor initial;
    s.OnModal(run.frmData(), [&] {
        initial = TimeColor(run);
        Register(run);
    });
    s.OnModal(run.frmQuestion(), [&] {
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("125:00"));
        for (int i = 0; i < 65; ++i)
            run.OnTimer();
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("123:55"));
        QCOMPARE(TimeColor(run), initial);
        QCOMPARE(fx.Beeps, 0);
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QVERIFY(s.Done());
}

void TestRunTimer::noClockWithoutLimit()
{
    TRunFixture fx(0, {RunItem("Q1", {"a"}, "!")}, 0);
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(!Child<QWidget>(run.frmQuestion(), "panClock")->isVisible());
        QVERIFY(!run.tmTest()->isActive());
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QVERIFY(s.Done());
}

// The clock stands still while an item is switched, and the switch neither
// loses nor restarts the part of the second already run.
void TestRunTimer::switchingPausesCountdown()
{
    TRunFixture fx(EnableBackNavigation,
                   {RunItem("Q1", {"a", "b"}, "! "), RunItem("I"), RunItem("Q3", {"a", "b"}, " !")}, 5);
    TTestRun &run = fx.Make();
    QList<bool> activeWhileShowing;
    QObject::connect(run.frmQuestion(), &QWidget::windowTitleChanged, run.frmQuestion(),
                     [&] { activeWhileShowing << run.tmTest()->isActive(); });
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QCOMPARE(TimeLabel(run)->text(), QStringLiteral("05:00"));
        QVERIFY(run.tmTest()->isActive());
        // Let part of the period run.
        QTimer later;
        later.setSingleShot(true);
        QSignalSpy ran(&later, &QTimer::timeout);
        later.start(5);
        QVERIFY(ran.wait());
        const int before = run.tmTest()->remainingTime();
        activeWhileShowing.clear();
        Click(Child<QAbstractButton>(run.frmQuestion(), "bbtnForward"));
        QCOMPARE(run.State().CurQuestion, 2);
        QCOMPARE(activeWhileShowing, QList<bool>{false});
        QVERIFY(run.tmTest()->isActive());
        QVERIFY(run.tmTest()->remainingTime() <= before);
        activeWhileShowing.clear();
        run.frmQuestion()->QButtonOnClick(3);
        QCOMPARE(run.State().CurQuestion, 3);
        QCOMPARE(activeWhileShowing, QList<bool>{false});
        QVERIFY(run.tmTest()->isActive());
        QVERIFY(run.tmTest()->remainingTime() <= before);
        QCOMPARE(run.State().SecondsLeft, 299);
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QVERIFY(s.Done());
}

QTEST_MAIN(TestRunTimer)
#include "tst_RunTimer.moc"
