// The save window after a failed series: giving up the result takes a
// deliberate choice, every other answer retries.
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "Clock.h"
#include "MCheckBox.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "fSaveResults.h"
#include "testutil_run.h"

namespace {
QPushButton *SaveBtn(TTestRun &run, const char *name)
{
    return Child<QPushButton>(run.frmSaveResults(), name);
}
} // namespace

class TestSaveResults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { QeClock::SetSleeper({}); }
    void enterRetriesAndOnlyItsOwnKeyGivesUp();
};

// Ten failures in a row: Enter retries, from "Повторить" and from "Не
// сохранять" alike; Alt+Н is the key that gives up.
void TestSaveResults::enterRetriesAndOnlyItsOwnKeyGivesUp()
{
    TRunFixture fx(0, {RunItem("Q", {"a", "b"}, "! ")});
    fx.ResultsPath = fx.Dir.filePath("missing/results.res");
    TTestRun &run = fx.Make();
    int backoffs = 0;
    QeClock::SetSleeper([&](int ms) {
        if (ms != 10)
            ++backoffs;
    });
    // Each failed series sleeps between its ten attempts nine times.
    auto asking = [&](int series) {
        return run.frmSaveResults()->isVisible() && SaveBtn(run, "btnRetry")->isEnabled()
            && backoffs == 9 * series;
    };
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QTest::mouseClick(Boxes(run).at(0), Qt::LeftButton, {}, QPoint(6, 5));
    });
    FinishSteps(s, run);
    s.When([&] { return asking(1); }, [&] {
        QPushButton *retry = SaveBtn(run, "btnRetry"), *cont = SaveBtn(run, "btnCont");
        QVERIFY(retry->isDefault());
        QVERIFY(!cont->isDefault());
        QVERIFY(cont->isEnabled());
        QVERIFY(retry->hasFocus());
        QTest::keyClick(retry, Qt::Key_Return);
        QCOMPARE(run.frmSaveResults()->SaveChoice, quint8(TfrmSaveResults::ChoiceRetry));
    });
    s.When([&] { return asking(2); }, [&] {
        QPushButton *cont = SaveBtn(run, "btnCont");
        cont->setFocus();
        QTest::keyClick(cont, Qt::Key_Enter);
        QCOMPARE(run.frmSaveResults()->SaveChoice, quint8(TfrmSaveResults::ChoiceRetry));
    });
    s.When([&] { return asking(3); }, [&] {
        QWidget *w = SaveBtn(run, "btnRetry");
        const auto cyrEn = Qt::Key(0x041D);   // Н
        QTest::sendKeyEvent(QTest::Press, w, cyrEn, QStringLiteral("н"), Qt::AltModifier);
        QTest::sendKeyEvent(QTest::Release, w, cyrEn, QStringLiteral("н"), Qt::AltModifier);
        // A button's own key presses it the way a click does, shown down for a moment.
        QSignalSpy clicked(SaveBtn(run, "btnCont"), &QPushButton::clicked);
        QVERIFY(clicked.wait());
        QCOMPARE(run.frmSaveResults()->SaveChoice, quint8(TfrmSaveResults::ChoiceDontSave));
    });
    s.OnModal(run.frmResults(), [&] {
        QVERIFY(!run.frmSaveResults()->isVisible());
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QCOMPARE(backoffs, 27);
    QVERIFY(!QFile::exists(fx.ResultsPath));
}

QTEST_MAIN(TestSaveResults)
#include "tst_SaveResults.moc"
