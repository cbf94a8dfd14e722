// The question window at its smallest sizes: text area, scrolling variants,
// the bottom bar around the clock and the text area's scroll bars.
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QWheelEvent>
#include <cmath>

#include "MCheckBox.h"
#include "MJvRichedit.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "testutil_run.h"

namespace {
const QString QuestionText = QStringLiteral(
    "Вопрос. Какие из следующих утверждений верны? Прочтите все варианты внимательно: "
    "каждый из них длинный и занимает две или три строки.");

// Ten variants of two to five lines at 500 pixels; each shift is another mix.
QStringList LongVariants(int shift)
{
    const QStringList words = QStringLiteral(
        "вариант ответа с довольно длинным пояснением, которое не помещается в одну строку окна "
        "и переносится").split(' ');
    QStringList vs;
    for (int k = 0; k < 10; ++k) {
        QStringList v{QStringLiteral("%1)").arg(k + 1)};
        for (int j = 0; j < 18 + (k * 7 + shift) % 14; ++j)
            v << words[(j + k) % words.size()];
        vs << v.join(' ');
    }
    return vs;
}

// A step ends the test itself with "Завершить", also when a check fails: a
// step that lets events run must not find the script's next step already
// waiting for the question window.
struct TFinishOnExit {
    TTestRun &run;
    ~TFinishOnExit() { Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit")); }
};
void EndRun(TRunScript &s, TTestRun &run)
{
    s.OnModal(run.frmConfirmExit(), [&run] {
        Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnOK"));
    });
    s.OnModal(run.frmResults(), [&run] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
}

QRect InWindow(QWidget *w)
{
    return QRect(w->mapTo(w->window(), QPoint()), w->size());
}

// A box is in view when it lies inside the viewport; one taller than the
// viewport shows its top, where its caption and its mark are.
bool InView(QScrollArea *sa, QWidget *box)
{
    const QRect r(box->mapTo(sa->viewport(), QPoint()), box->size());
    const QRect vp = sa->viewport()->rect();
    return r.height() <= vp.height() ? vp.contains(r) : r.top() >= 0 && r.top() <= 5;
}

void WheelDown(QWidget *target)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent ev(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &ev);
}
} // namespace

class TestRunLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tenLongVariantsScroll_data();
    void tenLongVariantsScroll();
    void roomyWindowKeepsTheRule();
    void clockIsNeverCovered_data();
    void clockIsNeverCovered();
    void wrappingTextHasNoHorizontalBar();
    void centringNeverHidesTheText();
    void centringKeepsTheFirstParagraphsFormat();
};

void TestRunLayout::tenLongVariantsScroll_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("shift");
    for (int zoom : {100, 200})
        for (int shift = 0; shift < 14; ++shift)
            QTest::addRow("zoom %d, mix %d", zoom, shift) << zoom << shift;
}

// At the smallest window the text keeps a third of the space above the strip
// and three of its lines; every box is reached by the wheel and by Tab, and
// the last one can be ticked.
void TestRunLayout::tenLongVariantsScroll()
{
    QFETCH(int, zoom);
    QFETCH(int, shift);
    const QStringList vs = LongVariants(shift);
    TRunFixture fx(SetCustomQSize, {RunItem(QuestionText, vs, "!         "),
                                    RunItem(QuestionText, vs, "!         ")}, 30);
    fx.Info.QWidth = 500;
    fx.Info.QHeight = 300;
    fx.Info.Zoom = quint8(zoom);
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        TfrmQuestion *w = run.frmQuestion();
        QCoreApplication::processEvents();
        auto *re = Child<QTextEdit>(w, "reText");
        QWidget *top = Child<QWidget>(w, "panTop");
        auto *sa = Child<QScrollArea>(w, "sboxVariants");
        QWidget *pan = Child<QWidget>(w, "panVariants");
        const QList<TMCheckBox *> boxes = Boxes(run);
        QCOMPARE(boxes.size(), 10);

        QVERIFY(re->isVisible());
        QVERIFY2(re->height() >= top->height() / 3, qPrintable(QString::number(re->height())));
        const QTextCursor found = re->document()->find(QStringLiteral("Какие"));
        QVERIFY(!found.isNull());
        const int textLine = QFontMetrics(found.charFormat().font()).lineSpacing();
        QVERIFY2(re->viewport()->height() >= 3 * textLine,
                 qPrintable(QStringLiteral("%1 < 3 x %2").arg(re->viewport()->height()).arg(textLine)));
        QVERIFY(InWindow(re).bottom() < InWindow(sa).top());
        QVERIFY(InWindow(sa).bottom() < InWindow(top).bottom());
        QVERIFY(InWindow(sa).right() < w->width());
        QVERIFY(w->VariantsScroll());

        QScrollBar *bar = sa->verticalScrollBar();
        QVERIFY(bar->isVisible());
        QVERIFY(!sa->horizontalScrollBar()->isVisible());
        QVERIFY(pan->width() <= sa->viewport()->width());
        for (TMCheckBox *cb : boxes) {
            QVERIFY2(cb->CaptionHeight() <= cb->height(), qPrintable(cb->objectName()));
            QVERIFY(cb->geometry().bottom() < pan->height());
        }

        // The wheel reaches the end, where the last box is in view.
        QCOMPARE(bar->value(), 0);
        for (int i = 0; i < 200 && bar->value() < bar->maximum(); ++i)
            WheelDown(sa->viewport());
        QCOMPARE(bar->value(), bar->maximum());
        const QRect last(boxes.last()->mapTo(sa->viewport(), QPoint()), boxes.last()->size());
        QVERIFY(last.bottom() < sa->viewport()->height());
        QVERIFY(last.bottom() >= sa->viewport()->height() - 10);

        // Tab from the first box walks through all of them, each brought into view.
        boxes.first()->setFocus();
        QVERIFY(InView(sa, boxes.first()));
        for (int k = 1; k < boxes.size(); ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCoreApplication::processEvents();
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(boxes[k]));
            QVERIFY2(InView(sa, boxes[k]), qPrintable(boxes[k]->objectName()));
        }
        QTest::keyClick(boxes.last(), Qt::Key_Space);
        QVERIFY(boxes.last()->isChecked());
        Click(Child<QAbstractButton>(w, "bbtnForward"));
        QCOMPARE(run.State().CurQuestion, 2);
        QCOMPARE(fx.Questions[0]->UserMarks, QStringLiteral("         !"));
        // The next question starts at the top of its variants.
        QCOMPARE(sa->verticalScrollBar()->value(), 0);
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// Where the variants leave the text its minimum, they sit right under it,
// centred, with no scrolling.
void TestRunLayout::roomyWindowKeepsTheRule()
{
    TRunFixture fx(SetCustomQSize, {RunItem(QuestionText, LongVariants(0).mid(0, 5), "!    ")});
    fx.Info.QWidth = 800;   // the whole offscreen screen
    fx.Info.QHeight = 600;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        TfrmQuestion *w = run.frmQuestion();
        auto *re = Child<QTextEdit>(w, "reText");
        QWidget *top = Child<QWidget>(w, "panTop");
        QWidget *pan = Child<QWidget>(w, "panVariants");
        auto *sa = Child<QScrollArea>(w, "sboxVariants");
        QCOMPARE(w->size(), QSize(800, 600));
        QVERIFY(!w->VariantsScroll());
        QVERIFY(!sa->verticalScrollBar()->isVisible());
        QCOMPARE(re->height(), top->height() - pan->height() - 8);
        const QRect panRect = InWindow(pan);
        QCOMPARE(panRect.top(), top->height() - pan->height() - 3);
        QCOMPARE(panRect.left(), int(std::lrint((w->width() - pan->width()) / 2.0)));
        QCOMPARE(sa->size(), pan->size());
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

void TestRunLayout::clockIsNeverCovered_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("minutes");
    QTest::newRow("500, 1 minute") << 500 << 1;
    QTest::newRow("500, 120 minutes") << 500 << 120;
    QTest::newRow("633, 1 minute") << 633 << 1;
}

// The right-hand buttons give way to the clock at the narrowest width and keep
// their design widths and glyphs where there is room.
void TestRunLayout::clockIsNeverCovered()
{
    QFETCH(int, width);
    QFETCH(int, minutes);
    TRunFixture fx(SetCustomQSize | EnableBackNavigation | CanViewComments | CanAlwaysViewComments,
                   {RunItem("Q1", {"a", "b"}, "! ", "комментарий"), RunItem("Q2", {"a", "b"}, "! ")},
                   quint8(minutes));
    fx.Info.QWidth = quint16(width);
    fx.Info.QHeight = 300;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        TfrmQuestion *w = run.frmQuestion();
        QCOMPARE(w->width(), width);
        auto *lab = Child<QLabel>(w, "labTime");
        QWidget *clock = Child<QWidget>(w, "panClock");
        QCOMPARE(lab->text(), QStringLiteral("%1:00").arg(minutes, 2, 10, QLatin1Char('0')));
        QVERIFY(clock->isVisible());
        const QRect labRect = InWindow(lab), clockRect = InWindow(clock);
        QVERIFY(clockRect.contains(labRect));
        QVERIFY(QFontMetrics(lab->font()).horizontalAdvance(lab->text()) <= lab->contentsRect().width());

        QList<QPushButton *> right;
        for (const char *name : {"bbtnComment", "bbtnBack", "bbtnForward"})
            right << Child<QPushButton>(w, name);
        QVERIFY(right[0]->isEnabled());
        for (int i = 0; i < right.size(); ++i) {
            QPushButton *b = right[i];
            const QRect r = InWindow(b);
            QVERIFY2(b->isVisible(), b->objectName().toLatin1());
            QVERIFY2(!r.intersects(clockRect), b->objectName().toLatin1());
            QVERIFY(r.right() < width);
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) < b->width(),
                     b->objectName().toLatin1());
            if (i > 0)
                QVERIFY(InWindow(right[i - 1]).right() < r.left());
        }
        QVERIFY(!InWindow(Child<QWidget>(w, "btnExit")).intersects(clockRect));
        if (width == 633) {
            QCOMPARE(right[0]->width(), 107);
            QCOMPARE(right[1]->width(), 107);
            QCOMPARE(right[2]->width(), 99);
            QCOMPARE(right[2]->x(), 633 - 8 - 99);
            QCOMPARE(right[1]->x(), right[2]->x() - 4 - 107);
            QVERIFY(!right[1]->icon().isNull());
            QVERIFY(!right[2]->icon().isNull());
        }
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// With both bars "as needed", a wrapping text that overflows gets the vertical
// bar only, also when it is shown in an open window.
void TestRunLayout::wrappingTextHasNoHorizontalBar()
{
    const QString longText = QString(QStringLiteral("Длинный текст вопроса, который переносится. ")).repeated(20);
    const QString twoLines = QStringLiteral("вариант ответа с довольно длинным пояснением, которое не помещается в одну строку");
    TRunFixture fx(SetCustomQSize | EnableBackNavigation,
                   {RunItem("Короткий", {"a", "b"}, "! "),
                    RunItem(longText, {twoLines, twoLines, twoLines, twoLines}, "!   "),
                    RunItem(longText, {"a", "b"}, "! ")});
    fx.Info.QWidth = 500;
    fx.Info.QHeight = 300;
    fx.Info.QScrollBars = 0;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        auto *re = Child<QTextEdit>(run.frmQuestion(), "reText");
        for (int item = 2; item <= 3; ++item) {
            Click(Child<QAbstractButton>(run.frmQuestion(), "bbtnForward"));
            QCoreApplication::processEvents();
            QCOMPARE(run.State().CurQuestion, item);
            QVERIFY(re->verticalScrollBar()->isVisible());
            QVERIFY2(!re->horizontalScrollBar()->isVisible(), qPrintable(QString::number(item)));
            QVERIFY(re->document()->size().width() <= re->viewport()->width());
        }
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// "Автоматически" pads a short text to centre it; the padding never pushes a
// text that fitted out of view, whatever its length.
void TestRunLayout::centringNeverHidesTheText()
{
    TQuestionList items;
    QString text;
    for (int i = 1; i <= 14; ++i) {
        text += QStringLiteral("Строка %1 текста.\n").arg(i);
        items.push_back(RunItem(text.trimmed(), {"a", "b"}, "! "));
    }
    TRunFixture fx(SetCustomQSize | EnableBackNavigation, std::move(items));
    fx.Info.QWidth = 500;
    fx.Info.QHeight = 300;
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        auto *re = Child<QTextEdit>(run.frmQuestion(), "reText");
        int padded = 0, overflowing = 0;
        for (int item = 1; item <= 14; ++item) {
            if (item > 1)
                Click(Child<QAbstractButton>(run.frmQuestion(), "bbtnForward"));
            QCOMPARE(run.State().CurQuestion, item);
            QTextDocument *doc = re->document();
            const bool padding = doc->begin().text().isEmpty();
            const qreal visible = re->height() - 2 * re->frameWidth();
            if (padding) {
                ++padded;
                QVERIFY2(doc->size().height() <= visible, qPrintable(QString::number(item)));
            } else if (doc->size().height() > visible) {
                ++overflowing;
            }
        }
        // Both cases were met on the way.
        QVERIFY(padded > 0);
        QVERIFY(overflowing > 0);
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

// Regression: the padding split moved the first paragraph's text into a block
// of the padding's format, so a centred text showed its first line left-aligned.
void TestRunLayout::centringKeepsTheFirstParagraphsFormat()
{
    TQuestionList items;
    auto q = RunItem(QStringLiteral("Первый"), {"a", "b"}, "! ");
    q->Body = RichRecord::FromRtf(
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
        "\\viewkind4\\uc1\\pard\\qc\\f0\\fs28 First\\par Second\\par}");
    items.push_back(q);
    TRunFixture fx(0, std::move(items));
    TTestRun &run = fx.Make();
    TRunScript s;
    s.OnModal(run.frmData(), [&] { Register(run); });
    s.OnModal(run.frmQuestion(), [&] {
        TFinishOnExit finish{run};
        QTextDocument *doc = Child<QTextEdit>(run.frmQuestion(), "reText")->document();
        QVERIFY(doc->begin().text().isEmpty()); // padded
        int texts = 0;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            if (b.text().isEmpty())
                continue;
            ++texts;
            QVERIFY2(b.blockFormat().alignment() & Qt::AlignHCenter, qPrintable(b.text()));
            QCOMPARE(b.charFormat().fontPointSize(), 14.0);
        }
        QCOMPARE(texts, 2);
    });
    EndRun(s, run);
    run.Start();
    QVERIFY(s.Done());
}

QTEST_MAIN(TestRunLayout)
#include "tst_RunLayout.moc"
