// Moving between items, the number strip and the keyboard rules of the question window.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include "ColorButton.h"
#include "MCheckBox.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "testutil_run.h"

namespace {
const QColor Red(255, 0, 0), Green(0, 128, 0), Blue(0, 0, 255), Grey(128, 128, 128);

QAbstractButton *Btn(TTestRun &run, const char *name)
{
    return Child<QAbstractButton>(run.frmQuestion(), name);
}
TMColorButton *QButton(TTestRun &run, int pos)
{
    return run.State().QButtons.at(pos - 1);
}
void Tick(TTestRun &run, int k)
{
    QTest::mouseClick(Boxes(run).at(k), Qt::LeftButton, {}, QPoint(6, Boxes(run).at(k)->height() / 2));
}
QColor GlyphAt(QAbstractButton *arrow)
{
    return arrow->icon().pixmap(QSize(7, 13)).toImage().pixelColor(2, 6);
}
TQuestionList RealItems(int n)
{
    TQuestionList l;
    for (int i = 1; i <= n; ++i)
        l.push_back(RunItem(QStringLiteral("Q%1").arg(i), {"a", "b"}, "! "));
    return l;
}
void EndRun(TRunScript &s, TTestRun &run)
{
    FinishSteps(s, run);
    s.OnModal(run.frmResults(), [&run] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
}

class TKeyCounter : public QObject {
public:
    int Presses = 0;
protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress)
            ++Presses;
        return false;
    }
};
} // namespace

class TestRunNavigation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutBackNavigation();
    void withBackNavigation();
    void stripScrollsAndMarksArrows();
    void keyboardRules();
    void enterThroughInformation();
    void longVariantWraps();
    void shortTextIsCentred();
};

void TestRunNavigation::withoutBackNavigation()
{
    TRunFixture fx(0, {RunItem("Q1", {"a", "b"}, "! "), RunItem("I"), RunItem("Q2", {"a", "b"}, " !")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(!Btn(run, "bbtnBack")->isEnabled());
        QVERIFY(!Btn(run, "bbtnForward")->isEnabled());
        QCOMPARE(QButton(run, 1)->Color(), Blue);
        QCOMPARE(QButton(run, 2)->Color(), Grey);
        QCOMPARE(QButton(run, 2)->text(), QStringLiteral("И"));
        QCOMPARE(QButton(run, 3)->Color(), Red);
        QCOMPARE(QButton(run, 3)->text(), QStringLiteral("3"));
        QCOMPARE(QButton(run, 3)->FontColor(), QColor(Qt::white));
        QButton(run, 3)->click();
        QCOMPARE(run.State().CurQuestion, 1);
        Tick(run, 0);
        QVERIFY(Btn(run, "bbtnForward")->isEnabled());
        Tick(run, 0);
        QVERIFY(!Btn(run, "bbtnForward")->isEnabled());
        Tick(run, 1);
        Btn(run, "bbtnForward")->click();
        QCOMPARE(run.State().CurQuestion, 2);
        QCOMPARE(fx.Questions[0]->UserMarks, QStringLiteral(" !"));
        QCOMPARE(QButton(run, 1)->Color(), Green);
        QVERIFY(Btn(run, "bbtnForward")->isEnabled());   // information item
        QVERIFY(!Btn(run, "bbtnBack")->isEnabled());
        Btn(run, "bbtnForward")->click();
        QCOMPARE(QButton(run, 2)->Color(), Grey);
        Tick(run, 0);
        QVERIFY(!Btn(run, "bbtnForward")->isEnabled());   // the last item
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

void TestRunNavigation::withBackNavigation()
{
    TRunFixture fx(EnableBackNavigation, RealItems(3));
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        QVERIFY(Btn(run, "bbtnForward")->isEnabled());
        QVERIFY(!Btn(run, "bbtnBack")->isEnabled());
        Tick(run, 0);
        TMCheckBox *first = Boxes(run).at(0);
        QButton(run, 1)->click();
        QCOMPARE(Boxes(run).at(0), first);
        QVERIFY(first->isChecked());
        QButton(run, 3)->click();
        QCOMPARE(run.State().CurQuestion, 3);
        QVERIFY(!Btn(run, "bbtnForward")->isEnabled());
        QVERIFY(Btn(run, "bbtnBack")->isEnabled());
        QCOMPARE(QButton(run, 1)->Color(), Green);
        QCOMPARE(QButton(run, 2)->Color(), Red);
        QCOMPARE(QButton(run, 3)->Color(), Blue);
        // Back to the answered question, untick, leave: unanswered again.
        QButton(run, 1)->click();
        QVERIFY(Boxes(run).at(0)->isChecked());
        Tick(run, 0);
        Btn(run, "bbtnForward")->click();
        QCOMPARE(fx.Questions[0]->UserMarks, QString());
        QCOMPARE(QButton(run, 1)->Color(), Red);
        Btn(run, "bbtnBack")->click();
        QCOMPARE(run.State().CurQuestion, 1);
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// 30 items in a strip of 20: moving on past 20 scrolls by one button; an arrow
// turns blue while the current item is hidden on its side.
void TestRunNavigation::stripScrollsAndMarksArrows()
{
    TRunFixture fx(EnableBackNavigation | SetCustomQSize, RealItems(30));
    fx.Info.QWidth = 540;   // free width 508: 20 buttons
    fx.Info.QHeight = 400;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        const TRunState &st = run.State();
        QAbstractButton *left = Btn(run, "bbtnQBListScrollLeft");
        QAbstractButton *right = Btn(run, "bbtnQBListScrollRight");
        QWidget *strip = Child<QWidget>(run.frmQuestion(), "sboxQBList");
        QCOMPARE(st.VisibleCount, 20);
        QCOMPARE(st.MaxFirstVisible, 10);
        QCOMPARE(strip->geometry(), QRect(21, strip->y(), 498, strip->height()));
        QCOMPARE(right->x(), 540 - 14 - 2);
        QVERIFY(right->isEnabled());
        QVERIFY(!left->isEnabled());
        QCOMPARE(GlyphAt(right), QColor(Qt::black));

        for (int i = 0; i < 19; ++i)
            Btn(run, "bbtnForward")->click();
        QCOMPARE(st.FirstVisible, 1);
        Btn(run, "bbtnForward")->click();
        QCOMPARE(st.CurQuestion, 21);
        QCOMPARE(st.FirstVisible, 2);
        QCOMPARE(QButton(run, 1)->x(), -25);
        QCOMPARE(QButton(run, 21)->geometry(), QRect(475, 0, 23, strip->height()));
        QVERIFY(left->isEnabled());

        left->click();
        QCOMPARE(st.FirstVisible, 1);
        QVERIFY(!left->isEnabled());
        QVERIFY(run.frmQuestion()->RightArrowMarked());
        QCOMPARE(GlyphAt(right), QColor(Qt::blue));
        QCOMPARE(GlyphAt(left), QColor(Qt::black));
        right->click();
        QVERIFY(!run.frmQuestion()->RightArrowMarked());
        QCOMPARE(GlyphAt(right), QColor(Qt::black));

        QButton(run, 2)->click();
        QCOMPARE(st.CurQuestion, 2);
        QCOMPARE(st.FirstVisible, 2);
        right->click();
        QCOMPARE(GlyphAt(left), QColor(Qt::blue));
        Btn(run, "bbtnBack")->click();   // scrolls back to show item 1
        QCOMPARE(st.FirstVisible, 1);
        QCOMPARE(QButton(run, 1)->x(), 0);
        QCOMPARE(GlyphAt(left), QColor(Qt::black));
        QCOMPARE(GlyphAt(right), QColor(Qt::black));

        for (int i = 0; i < 10; ++i)
            right->click();
        QCOMPARE(st.FirstVisible, 11);
        QVERIFY(!right->isEnabled());
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// Only Tab, Enter, Space, arrows and Esc reach the controls; the text area
// hands the focus on at once.
void TestRunNavigation::keyboardRules()
{
    TRunFixture fx(0, RealItems(2));
    TTestRun &run = fx.Make();
    TRunScript s;
    TKeyCounter counter;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TMCheckBox *box = Boxes(run).at(0);
        box->setFocus();
        box->installEventFilter(&counter);
        QTest::keyClick(box, Qt::Key_A);
        QTest::keyClick(box, Qt::Key_F5);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(counter.Presses, 0);
        QTest::keyClick(box, Qt::Key_Space);
        QCOMPARE(counter.Presses, 1);
        QVERIFY(box->isChecked());
        QVERIFY(Btn(run, "bbtnForward")->isEnabled());

        QWidget *re = Child<QWidget>(run.frmQuestion(), "reText");
        re->setFocus();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), (QWidget *)Btn(run, "bbtnForward"));

        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);   // the default button
        QCOMPARE(run.State().CurQuestion, 2);
        QTest::keyClick(Boxes(run).at(0), Qt::Key_Escape);   // works as "Завершить"
    });
    s.OnModal(run.frmConfirmExit(), [&] { Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnOK")); });
    s.OnModal(run.frmResults(), [&] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
    run.Start();
    QVERIFY(s.Done());
    QCOMPARE(fx.Questions.size(), size_t(1));   // the first was answered exactly
}

void TestRunNavigation::longVariantWraps()
{
    const QString longText = QString(QStringLiteral("длинный вариант ")).repeated(40);
    TRunFixture fx(SetCustomQSize, {RunItem("Q", {"a", longText}, "! ")});
    fx.Info.QWidth = 500;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TMCheckBox *shortBox = Boxes(run).at(0);
        TMCheckBox *longBox = Boxes(run).at(1);
        QVERIFY(!shortBox->WordWrap());
        QVERIFY(longBox->WordWrap());
        QCOMPARE(longBox->width(), 500 - 40);
        QVERIFY(longBox->height() >= 3 * shortBox->height());
        QCOMPARE(longBox->height() % shortBox->height(), 0);
        QWidget *pan = Child<QWidget>(run.frmQuestion(), "panVariants");
        QCOMPARE(pan->width(), 465);
        QVERIFY(qAbs(pan->mapTo(run.frmQuestion(), QPoint()).x() - (500 - 465) / 2) <= 1);
        // A click on the wrapped caption ticks the box.
        QTest::mouseClick(longBox, Qt::LeftButton, {}, QPoint(longBox->width() - 10, 5));
        QVERIFY(longBox->isChecked());
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// "Автоматически" pads a short text with empty lines to about half the free
// height; "Нет" leaves it at the top. The text area stays redrawable.
void TestRunNavigation::shortTextIsCentred()
{
    for (quint8 bars : {quint8(0), quint8(3)}) {
        TRunFixture fx(SetCustomQSize, {RunItem("Короткий текст", {"a"}, "!")});
        fx.Info.QWidth = 500;
        fx.Info.QHeight = 500;
        fx.Info.QScrollBars = bars;
        TTestRun &run = fx.Make();
        TRunScript s;
        s.OnModal(run.frmData(), [&] { Register(run); });
        s.OnModal(run.frmQuestion(), [&] {
            auto *re = Child<QTextEdit>(run.frmQuestion(), "reText");
            QVERIFY(re->updatesEnabled());
            QTextDocument *doc = re->document();
            const QStringList lines = doc->toPlainText().split(QChar(0x2029)).join('\n').split('\n');
            const int padding = int(lines.indexOf(QStringLiteral("Короткий текст")));
            if (bars == 3) {
                QCOMPARE(padding, 0);
                return;
            }
            QVERIFY2(padding >= 5, qPrintable(QString::number(padding)));
            const qreal visible = re->height() - 2 * re->frameWidth();
            QVERIFY(doc->size().height() <= visible);
            QVERIFY(doc->size().height() >= visible / 2);
        });
        EndRun(s, run);
        run.Start();
        QVERIFY(s.Done());
    }
}

// Leaving a question with Enter on its box must not hand the focus to
// "Завершить": the next Enter on an information item goes on to the next item.
void TestRunNavigation::enterThroughInformation()
{
    TRunFixture fx(EnableBackNavigation, {RunItem("Q1", {"a", "b"}, "! "), RunItem("I"), RunItem("Q2", {"a", "b"}, " !")});
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TMCheckBox *box = Boxes(run).at(0);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(run.State().CurQuestion, 2);
        QCoreApplication::processEvents();
        QWidget *fw = QApplication::focusWidget();
        QVERIFY(fw != Btn(run, "btnExit"));
        // Should the confirmation open after all, it is turned down.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, run.frmConfirmExit(), [&run] {
            if (run.frmConfirmExit()->isVisible())
                run.frmConfirmExit()->reject();
        });
        guard.start(0);
        QTest::keyClick(fw ? fw : run.frmQuestion(), Qt::Key_Return);
        QCOMPARE(run.State().CurQuestion, 3);
        QVERIFY(Boxes(run).at(0)->hasFocus());
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

QTEST_MAIN(TestRunNavigation)
#include "tst_RunNavigation.moc"
