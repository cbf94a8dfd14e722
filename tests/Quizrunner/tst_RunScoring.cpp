// Answers, scoring, the results window, the review and the result line,
// driven through the real windows from registration to "Выход".
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "ColorButton.h"
#include "MCheckBox.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "testutil_run.h"

namespace {
QString ResultsText(TTestRun &run)
{
    return Child<QLabel>(run.frmResults(), "labResults")->text();
}
QPushButton *ViewErrors(TTestRun &run)
{
    return Child<QPushButton>(run.frmResults(), "btnViewErrors");
}
void Tick(TTestRun &run, int k)
{
    QTest::mouseClick(Boxes(run).at(k), Qt::LeftButton, {}, QPoint(6, Boxes(run).at(k)->height() / 2));
}
void Next(TTestRun &run)
{
    Click(Child<QAbstractButton>(run.frmQuestion(), "bbtnForward"));
}
QString Caption(TTestRun &run)
{
    return run.frmQuestion()->windowTitle();
}
} // namespace

class TestRunScoring : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeQuestionsWithReview();
    void perVariantScoring_data();
    void perVariantScoring();
    void exactAnswersDisableReview();
    void onlyInformationItems();
    void zeroPossibleScoreShowsZero();
    void cancelledConfirmationKeepsWindow();
    void commentButton();
};

// Three questions: exact, one wrong tick, unanswered: 1 of 3. The review shows
// the second and third with the keys in green and nothing tickable.
void TestRunScoring::wholeQuestionsWithReview()
{
    TRunFixture fx(CountWholeQuestion | CanViewErrors,
                   {RunItem("Q1", {"a", "b"}, "! "), RunItem("Q2", {"a", "b", "c"}, " ! "),
                    RunItem("I", {}), RunItem("Q3", {"a", "b"}, " !")});
    TTestRun &run = fx.Make();
    TRunScript s;
    QStringList reviewCaptions;
    bool reviewChecked = false;
    s.OnModal(run.frmData(), [&] { Register(run, "Петров", "Пётр", "Петрович", "7А"); });
    s.OnModal(run.frmQuestion(), [&] {
        QCOMPARE(Caption(run), QStringLiteral(" Вопрос №1 из 4"));
        Tick(run, 0);
        Next(run);
        Tick(run, 0);
        Next(run);
        QCOMPARE(Caption(run), QStringLiteral(" Информация"));
        Next(run);
    });
    FinishSteps(s, run);
    QPoint firstAt;
    s.OnModal(run.frmResults(), [&] {
        firstAt = run.frmResults()->pos();
        // The caption fits in the title bar.
        QVERIFY(run.frmResults()->width() >= TfrmResults::CaptionWidth(run.frmResults()->windowTitle()));
        QCOMPARE(ResultsText(run), QStringLiteral("1 из 3\n33,33%"));
        QVERIFY(Child<QLabel>(run.frmResults(), "labResultsMode2")->isVisibleTo(run.frmResults()));
        QVERIFY(ViewErrors(run)->isEnabled());
        QCOMPARE(QApplication::focusWidget(), ViewErrors(run));
        Click(ViewErrors(run));
    });
    s.OnModal(run.frmQuestion(), [&] {
        TfrmQuestion *q = run.frmQuestion();
        QVERIFY(!Child<QWidget>(q, "panQList")->isVisibleTo(q));
        QVERIFY(!Child<QWidget>(q, "panClock")->isVisibleTo(q));
        reviewCaptions << Caption(run);
        // Q2 answered "! " against " ! ": ticks shown, key green, nothing toggles.
        QList<TMCheckBox *> b = Boxes(run);
        QCOMPARE(b.size(), 3);
        QVERIFY(b[0]->isChecked() && !b[1]->isChecked());
        QCOMPARE(b[1]->CaptionColor(), QColor(0, 128, 0));
        QVERIFY(b[0]->CaptionColor() != QColor(0, 128, 0));
        Tick(run, 1);
        Tick(run, 0);
        QVERIFY(b[0]->isChecked() && !b[1]->isChecked());
        for (TMCheckBox *cb : b)
            QCOMPARE(cb->focusPolicy(), Qt::NoFocus);
        QVERIFY(!Child<QWidget>(q, "bbtnBack")->isEnabled());
        QVERIFY(Child<QWidget>(q, "bbtnForward")->isEnabled());
        Next(run);
        reviewCaptions << Caption(run);
        QVERIFY(Child<QWidget>(q, "bbtnForward")->isEnabled());   // information item
        Next(run);
        reviewCaptions << Caption(run);
        // Unanswered and last: only "Предыдущий" leads on.
        QVERIFY(!Child<QWidget>(q, "bbtnForward")->isEnabled());
        QVERIFY(Child<QWidget>(q, "bbtnBack")->isEnabled());
        QVERIFY(Boxes(run)[1]->CaptionColor() == QColor(0, 128, 0));
        reviewChecked = true;
        Click(Child<QAbstractButton>(q, "btnExit"));   // no confirmation in review
    });
    s.OnModal(run.frmResults(), [&] {
        // Back where it was, not placed anew by the question window's frame.
        QCOMPARE(run.frmResults()->pos(), firstAt);
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QVERIFY(reviewChecked);
    const QString suffix = QStringLiteral(" (просмотр только неправильно отвеченных вопросов)");
    QCOMPARE(reviewCaptions, QStringList({" Вопрос №1 из 3" + suffix, " Информация" + suffix,
                                          " Вопрос №3 из 3" + suffix}));
    QCOMPARE(fx.FIO, QStringLiteral("Петров Пётр Петрович (7А)"));
    QCOMPARE(run.Score(), 1);
    QCOMPARE(run.PossibleScore(), 3);

    // The result line landed in the results file, after the header.
    const QByteArray bytes = fx.ResultsBytes();
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("\xc4\xe0\xf2\xe0\t"));   // "Дата" in Windows-1251
    const QString data = QString::fromLatin1(lines[1]);
    QVERIFY(data.startsWith(QDate::currentDate().toString("dd.MM.yy") + '\t'));
    QVERIFY2(lines[1].endsWith("\t1\t3\t33,33\r"), lines[1].constData());
}

void TestRunScoring::perVariantScoring_data()
{
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("viewErrors");
    QTest::newRow("first and second ticked") << QList<int>{0, 1} << "2 из 4\n50,00%" << true;
    QTest::newRow("unanswered") << QList<int>{} << "0 из 4\n0,00%" << true;
    QTest::newRow("exact") << QList<int>{0, 2} << "4 из 4\n100,00%" << false;
}

// Key "! ! ": every position that agrees scores, but only an answer with a tick.
void TestRunScoring::perVariantScoring()
{
    QFETCH(QList<int>, ticks);
    QFETCH(QString, shown);
    QFETCH(bool, viewErrors);
    TRunFixture fx(CanViewErrors, {RunItem("Q", {"a", "b", "c", "d"}, "! ! ")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        for (int k : ticks)
            Tick(run, k);
        Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit"));
    });
    s.OnModal(run.frmConfirmExit(), [&] { Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnOK")); });
    s.OnModal(run.frmResults(), [&] {
        QCOMPARE(ResultsText(run), shown);
        QVERIFY(!Child<QLabel>(run.frmResults(), "labResultsMode2")->isVisibleTo(run.frmResults()));
        QCOMPARE(ViewErrors(run)->isEnabled(), viewErrors);
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QCOMPARE(int(fx.Questions.size()), viewErrors ? 1 : 0);
}

void TestRunScoring::exactAnswersDisableReview()
{
    for (quint16 opts : {quint16(CanViewErrors | CountWholeQuestion), quint16(0)}) {
        TRunFixture fx(opts, {RunItem("Q1", {"a", "b"}, " !"), RunItem("Q2", {"a", "b"}, "! ")});
        TTestRun &run = fx.Make();
        TRunScript s;
        s.OnModal(run.frmData(), [&] { Register(run); });
        s.OnModal(run.frmQuestion(), [&] {
            Tick(run, opts ? 1 : 0);   // right answer in the first pass, wrong in the second
            Next(run);
            Tick(run, 0);
        });
        FinishSteps(s, run);
        s.OnModal(run.frmResults(), [&] {
            QVERIFY(!ViewErrors(run)->isEnabled());
            QCOMPARE(ResultsText(run), opts ? QStringLiteral("2 из 2\n100,00%") : QStringLiteral("2 из 4\n50,00%"));
            Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
        });
        run.Start();
        QVERIFY(s.Done());
    }
}

void TestRunScoring::onlyInformationItems()
{
    TRunFixture fx(CanViewErrors, {RunItem("I1"), RunItem("I2")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(!Child<QWidget>(run.frmQuestion(), "panVariants")->isVisibleTo(run.frmQuestion()));
        Next(run);
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] {
        QCOMPARE(ResultsText(run), QStringLiteral("В тесте нет вопросов"));
        QVERIFY(!ViewErrors(run)->isEnabled());
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QVERIFY(!QFile::exists(fx.ResultsPath));
}

// A header that undercounts its information items asks questions worth nothing:
// the run shows 0 of 0 instead of failing on the percent.
void TestRunScoring::zeroPossibleScoreShowsZero()
{
    TRunFixture fx(CanViewErrors | CountWholeQuestion, {RunItem("I1")});
    fx.AskedCount = 1;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] {
        QCOMPARE(ResultsText(run), QStringLiteral("0 из 0\n0,00%"));
        QVERIFY(!ViewErrors(run)->isEnabled());
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
    QVERIFY(fx.ResultsBytes().endsWith("\t0\t0\t0,00\r\n"));
}

void TestRunScoring::cancelledConfirmationKeepsWindow()
{
    TRunFixture fx(0, {RunItem("Q1", {"a", "b"}, "! ")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] { Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit")); });
    s.OnModal(run.frmConfirmExit(), [&] {
        QCOMPARE(QApplication::focusWidget(), Child<QWidget>(run.frmConfirmExit(), "btnOK"));
        Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnCancel"));
    });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(run.frmQuestion()->isVisible());
        Tick(run, 0);
        // The title-bar close does nothing.
        run.frmQuestion()->close();
        QVERIFY(run.frmQuestion()->isVisible());
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] {
        run.frmResults()->close();
        QVERIFY(run.frmResults()->isVisible());
        QCOMPARE(ResultsText(run), QStringLiteral("2 из 2\n100,00%"));
        Click(Child<QAbstractButton>(run.frmResults(), "btnExit"));
    });
    run.Start();
    QVERIFY(s.Done());
}

// Comments only with CanViewComments and, during the test, CanAlwaysViewComments.
void TestRunScoring::commentButton()
{
    TRunFixture fx(CanViewComments | CanAlwaysViewComments | EnableBackNavigation,
                   {RunItem("Текст вопроса", {"a", "b"}, "! ", "Пояснение"), RunItem("Q2", {"a"}, "!")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TfrmQuestion *q = run.frmQuestion();
        auto *btn = Child<QPushButton>(q, "bbtnComment");
        auto *re = Child<QTextEdit>(q, "reText");
        QVERIFY(btn->isEnabled());
        QCOMPARE(btn->text(), QStringLiteral("Комментарий"));
        Tick(run, 1);
        Click(btn);
        QCOMPARE(btn->text(), QStringLiteral("Вопрос"));
        QVERIFY(re->toPlainText().contains(QStringLiteral("Пояснение")));
        QVERIFY(Boxes(run)[1]->isChecked());
        Click(btn);
        QCOMPARE(btn->text(), QStringLiteral("Комментарий"));
        QVERIFY(re->toPlainText().contains(QStringLiteral("Текст вопроса")));
        Next(run);
        QVERIFY(!btn->isEnabled());
    });
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QVERIFY(s.Done());
}

QTEST_MAIN(TestRunScoring)
#include "tst_RunScoring.moc"
