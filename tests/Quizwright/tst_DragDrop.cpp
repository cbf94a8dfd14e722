// Dragging rows of the question list: where a drop puts them, which drops
// are taken, moves and copies within one list and from another editor, the
// source losing rows moved out, foreign data, and the editors refusing rows.
#include <QtTest>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QStatusBar>

#include "ClipboardCommands.h"
#include "MJvRichedit.h"
#include "QuestionClipboard.h"
#include "QuestionListModel.h"
#include "QuestionListView.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;
using Place = TQuestionListView::TDropPlace;

namespace {
const QString ForeignWarning = QStringLiteral(
    "Предупреждение !\tВ список вопросов разрешается перетаскивать\rобъекты только из редактора тестов!");

TQuestionListView *View(TfrmMain &w)
{
    return static_cast<TQuestionListView *>(w.QTree());
}

enum class Part { Upper, Middle, Lower };
QPoint On(TfrmMain &w, int row, Part part)
{
    const QRect r = w.QTree()->visualRect(w.Model()->index(row));
    const int y = part == Part::Upper ? r.top() + 1 : part == Part::Lower ? r.bottom() - 1 : r.center().y();
    return QPoint(r.left() + 4, y);
}

QPoint BelowLast(TfrmMain &w)
{
    const QRect r = w.QTree()->visualRect(w.Model()->index(w.Model()->count() - 1));
    return QPoint(r.left() + 4, r.bottom() + 6);
}

// The questions another editor would drag: our format, not this list's data.
QMimeData *FromOtherEditor(const QStringList &texts)
{
    std::vector<TNodeRecord> recs;
    std::vector<const TNodeRecord *> ptrs;
    for (const QString &t : texts)
        recs.push_back(TNodeRecord{std::make_unique<TNQuestion>(*Question(t, {"x", "y"}, " !")), 0});
    for (const TNodeRecord &r : recs)
        ptrs.push_back(&r);
    auto *data = new QMimeData;
    data->setData(QuestionClipboard::MimeType, QuestionClipboard::EncodeBlock(ptrs));
    return data;
}

// Enter, move to pos, and report whether the list would take the drop there.
bool Hover(TfrmMain &w, const QMimeData *data, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget *vp = w.QTree()->viewport();
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, mods);
    QApplication::sendEvent(vp, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, mods);
    QApplication::sendEvent(vp, &move);
    return move.isAccepted();
}

// Hovers, then drops when the list takes it; the action it took.
Qt::DropAction Drop(TfrmMain &w, const QMimeData *data, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    if (!Hover(w, data, pos, mods)) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(w.QTree()->viewport(), &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, mods);
    QApplication::sendEvent(w.QTree()->viewport(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// The data of a drag of the rows, started in this list.
std::unique_ptr<QMimeData> DragRows(TfrmMain &w, const QList<int> &rows)
{
    QItemSelectionModel *sel = w.QTree()->selectionModel();
    sel->clearSelection();
    for (int r : rows)
        sel->select(w.Model()->index(r), QItemSelectionModel::Select);
    return std::unique_ptr<QMimeData>(w.Clipboard()->DragData());
}
}  // namespace

class TestDragDrop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropPositionsByPartOfTheRow()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        TQuestionListView *v = View(w);
        using T = TQuestionListView::TDropTarget;
        QCOMPARE(v->DropTargetAt(On(w, 1, Part::Upper)), (T{Place::Before, 1}));
        QCOMPARE(v->DropTargetAt(On(w, 1, Part::Lower)), (T{Place::After, 2}));
        QCOMPARE(v->DropTargetAt(On(w, 1, Part::Middle)), T{});
        QCOMPARE(v->DropTargetAt(On(w, 2, Part::Lower)), (T{Place::After, 3}));
        QCOMPARE(v->DropTargetAt(BelowLast(w)), (T{Place::Append, 3}));
        // Far right of a short row is still on it.
        QPoint right = On(w, 0, Part::Upper);
        right.setX(v->viewport()->width() - 2);
        QCOMPARE(v->DropTargetAt(right), (T{Place::Before, 0}));

        QVERIFY(TQuestionListView::Accepts(Place::Before, Qt::MoveAction));
        QVERIFY(TQuestionListView::Accepts(Place::After, Qt::CopyAction));
        QVERIFY(!TQuestionListView::Accepts(Place::None, Qt::CopyAction));
        QVERIFY(!TQuestionListView::Accepts(Place::Append, Qt::MoveAction));
        QVERIFY(TQuestionListView::Accepts(Place::Append, Qt::CopyAction));
        QCOMPARE(TQuestionListView::ActionFor(true, Qt::NoModifier), Qt::MoveAction);
        QCOMPARE(TQuestionListView::ActionFor(false, Qt::NoModifier), Qt::CopyAction);
        QCOMPARE(TQuestionListView::ActionFor(true, Qt::ControlModifier), Qt::CopyAction);
        QCOMPARE(TQuestionListView::ActionFor(false, Qt::ShiftModifier), Qt::MoveAction);
    }

    void emptyListTakesCopiesOnly()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TfrmMain &w = f.W();
        using T = TQuestionListView::TDropTarget;
        QCOMPARE(View(w)->DropTargetAt(QPoint(10, 10)), (T{Place::Append, 0}));
        std::unique_ptr<QMimeData> data(FromOtherEditor({"A", "B"}));
        QCOMPARE(Drop(w, data.get(), QPoint(10, 10), Qt::ShiftModifier), Qt::IgnoreAction);
        QCOMPARE(w.Model()->count(), 0);
        QCOMPARE(Drop(w, data.get(), QPoint(10, 10)), Qt::CopyAction);
        QCOMPARE(Rows(w), (QStringList{"A", "B"}));
        QCOMPARE(w.CurrentRow(), 0);
        QVERIFY(w.Document()->isModified());
        QCOMPARE(w.StatusText().trimmed(), QString());
    }

    void moveWithinTheListRelocatesTheRows()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 4));
        TfrmMain &w = f.W();
        w.FocusRow(0);
        const TNodeRecord *first = &w.Model()->record(0);
        std::unique_ptr<QMimeData> data = DragRows(w, {0});
        // The middle of a row takes nothing.
        QVERIFY(!Hover(w, data.get(), On(w, 2, Part::Middle)));
        QCOMPARE(Drop(w, data.get(), On(w, 2, Part::Middle)), Qt::IgnoreAction);
        QVERIFY(!w.Document()->isModified());

        QCOMPARE(Drop(w, data.get(), On(w, 3, Part::Upper)), Qt::MoveAction);
        QCOMPARE(Rows(w), (QStringList{"Q2", "Q3", "Q1", "Q4"}));
        // The very record moved, not a copy of it; it stays the focused one.
        QCOMPARE(&w.Model()->record(2), first);
        QCOMPARE(w.CurrentRow(), 2);
        QVERIFY(w.Document()->isModified());

        // Several rows keep their order, wherever the place is among them.
        data = DragRows(w, {0, 2});
        QCOMPARE(Drop(w, data.get(), On(w, 3, Part::Lower)), Qt::MoveAction);
        QCOMPARE(Rows(w), (QStringList{"Q3", "Q4", "Q2", "Q1"}));
        data = DragRows(w, {1, 3});
        QCOMPARE(Drop(w, data.get(), On(w, 1, Part::Lower)), Qt::MoveAction);
        QCOMPARE(Rows(w), (QStringList{"Q3", "Q4", "Q1", "Q2"}));
        QCOMPARE(w.Model()->count(), 4);
    }

    void belowTheLastRowOnlyCopiesAreAppended()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        std::unique_ptr<QMimeData> data = DragRows(w, {0});
        QVERIFY(!Hover(w, data.get(), BelowLast(w)));
        QCOMPARE(Drop(w, data.get(), BelowLast(w), Qt::ControlModifier), Qt::CopyAction);
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q2", "Q3", "Q1"}));
        QVERIFY(&w.Model()->record(0) != &w.Model()->record(3));
        // Ctrl on a row copies too.
        data = DragRows(w, {1});
        QCOMPARE(Drop(w, data.get(), On(w, 0, Part::Upper), Qt::ControlModifier), Qt::CopyAction);
        QCOMPARE(Rows(w), (QStringList{"Q2", "Q1", "Q2", "Q3", "Q1"}));
    }

    void fromAnotherEditorACopyByDefaultAndAMoveWithShift()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TfrmMain &w = f.W();
        std::unique_ptr<QMimeData> data(FromOtherEditor({"X1", "X2"}));
        QCOMPARE(Drop(w, data.get(), On(w, 0, Part::Lower)), Qt::CopyAction);
        QCOMPARE(Rows(w), (QStringList{"Q1", "X1", "X2", "Q2"}));
        QCOMPARE(Drop(w, data.get(), On(w, 0, Part::Upper), Qt::ShiftModifier), Qt::MoveAction);
        QCOMPARE(Rows(w), (QStringList{"X1", "X2", "Q1", "X1", "X2", "Q2"}));
        QVERIFY(w.Model()->question(0).ContentReady);
        QCOMPARE(w.Model()->question(0).RightMarks, QStringLiteral(" !"));
    }

    void sourceLosesRowsMovedOutToAnotherEditor()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 4));
        TfrmMain &w = f.W();
        std::unique_ptr<QMimeData> data = DragRows(w, {1, 2});
        // Dropped here: the rows were moved already and stay.
        w.Clipboard()->DragEnded(Qt::MoveAction, true);
        QCOMPARE(w.Model()->count(), 4);
        // Copied out: nothing changes.
        data = DragRows(w, {1, 2});
        w.Clipboard()->DragEnded(Qt::CopyAction, false);
        QCOMPARE(w.Model()->count(), 4);
        QVERIFY(!w.Document()->isModified());
        // Moved out: gone, and the test is modified.
        data = DragRows(w, {1, 2});
        w.Clipboard()->DragEnded(Qt::MoveAction, false);
        // The other editor may ask for the data only now, after the rows went.
        const QByteArray sent = data->data(QuestionClipboard::MimeType);
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q4"}));
        QVERIFY(w.Document()->isModified());
        QVERIFY(f.Questions.isEmpty());
        // What the other editor got.
        const QuestionClipboard::TDecodeResult r = QuestionClipboard::DecodeBlock(sent);
        QVERIFY(r.Ok);
        QCOMPARE(r.Records.size(), size_t(2));
        QCOMPARE(r.Records[1].Question->PlainLines.Get(0), QStringLiteral("Q3"));
    }

    void foreignDataIsRefusedWithAWarning()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TfrmMain &w = f.W();
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(f.Path("t.qe2"))});
        QVERIFY(Hover(w, &file, On(w, 0, Part::Middle)));
        QDropEvent drop(On(w, 0, Part::Middle), Qt::CopyAction | Qt::MoveAction, &file, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.QTree()->viewport(), &drop);
        QTRY_COMPARE(f.Messages, QStringList{ForeignWarning});
        f.Messages.clear();
        QCOMPARE(w.Model()->count(), 2);
        QVERIFY(!w.Document()->isModified());

        // Damaged bytes under our name: nothing of them comes in.
        QMimeData damaged;
        damaged.setData(QuestionClipboard::MimeType, QByteArray("\x10\0\0\0garbage-garbage!", 20));
        QCOMPARE(Drop(w, &damaged, On(w, 0, Part::Upper)), Qt::IgnoreAction);
        QCOMPARE(f.TakeMessages(), QStringLiteral("Ошибка !\tОшибка при работе с буфером обмена"));
        QCOMPARE(w.Model()->count(), 2);
    }

    void richTextEditorsRefuseRows()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 1));
        TfrmMain &w = f.W();
        std::unique_ptr<QMimeData> rows(FromOtherEditor({"X"}));
        QMimeData text;
        text.setText(QStringLiteral("слово"));
        for (TMJvRichEdit *re : {w.Pane()->questionText(), w.Pane()->questionComment()}) {
            QDragEnterEvent enterRows(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, rows.get(), Qt::LeftButton,
                                      Qt::NoModifier);
            QApplication::sendEvent(re->viewport(), &enterRows);
            QVERIFY(!enterRows.isAccepted());
            QDragEnterEvent enterText(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(re->viewport(), &enterText);
            QVERIFY(enterText.isAccepted());
        }
    }

    void insertionLineShowsWhereRowsWillGo()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        TQuestionListView *v = View(w);
        std::unique_ptr<QMimeData> data(FromOtherEditor({"X"}));
        using T = TQuestionListView::TDropTarget;
        QVERIFY(Hover(w, data.get(), On(w, 2, Part::Upper)));
        QCOMPARE(v->IndicatorTarget(), (T{Place::Before, 2}));
        const int y = v->visualRect(w.Model()->index(2)).top();
        const QColor line = v->palette().color(QPalette::Text);
        QImage shot = v->viewport()->grab().toImage();
        QCOMPARE(shot.pixelColor(v->viewport()->width() - 3, y), line);
        QVERIFY(shot.pixelColor(v->viewport()->width() - 3, y + 4) != line);

        QVERIFY(!Hover(w, data.get(), On(w, 1, Part::Middle)));
        QCOMPARE(v->IndicatorTarget(), T{});
        QVERIFY(Hover(w, data.get(), BelowLast(w)));
        QCOMPARE(v->IndicatorTarget(), (T{Place::Append, 3}));
        QDragLeaveEvent leave;
        QApplication::sendEvent(v->viewport(), &leave);
        QCOMPARE(v->IndicatorTarget(), T{});
    }
};

QTEST_MAIN(TestDragDrop)
#include "tst_DragDrop.moc"
