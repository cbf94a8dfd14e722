#include "ClipboardCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionClipboard.h"
#include "QuestionListModel.h"
#include "QuestionListView.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "fMain.h"

namespace {
// The rich-text editor's own insertion of data, which QTextEdit keeps protected.
struct TRichInsert : TMJvRichEdit {
    static void Insert(TMJvRichEdit &re, const QMimeData *data)
    {
        void (TMJvRichEdit::*insert)(const QMimeData *) = &TRichInsert::insertFromMimeData;
        (re.*insert)(data);
    }
};

QList<int> SortedRows(const QModelIndexList &list)
{
    QList<int> rows;
    for (const QModelIndex &i : list)
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
}  // namespace

TClipboardCommands::TClipboardCommands(TfrmMain &owner) : QObject(&owner), m_w(owner)
{
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TClipboardCommands::ClipboardChanged);
    TQuestionListModel *model = m_w.Model();
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { RowsGoing(first, last); });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &TClipboardCommands::EverythingGoing);

    TQuestionListView *view = View();
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDropIndicatorShown(false);
    view->DragData = [this] { return DragData(); };
    view->IsOwnDrag = [view](const QMimeData *data) {
        const auto *own = dynamic_cast<const QuestionClipboard::TQuestionMimeData *>(data);
        return own && own->sourceList() == view;
    };
    view->QuestionsDropped = [this](const QMimeData *data, int row, Qt::DropAction action, bool here) {
        return QuestionsDropped(data, row, action, here);
    };
    view->ForeignDropped = [this] { ForeignDropped(); };
    view->DragEnded = [this](Qt::DropAction result, bool here) { DragEnded(result, here); };

    // The editors take no questions.
    for (TMJvRichEdit *re : {m_w.Pane()->questionText(), m_w.Pane()->questionComment()}) {
        re->viewport()->installEventFilter(this);
        connect(re, &TMJvRichEdit::insertRefused, this, [](const QString &why) { ShowError(why); });
    }

    PasteSpecialInput = [this](const QList<PasteSpecial::TForm> &forms) {
        TfrmPasteSpecial dlg(&m_w);
        return dlg.Choose(forms);
    };
}

TClipboardCommands::~TClipboardCommands() = default;

bool TClipboardCommands::eventFilter(QObject *watched, QEvent *e)
{
    const QEvent::Type t = e->type();
    if (t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop) {
        auto *de = static_cast<QDropEvent *>(e);
        if (de->mimeData() && de->mimeData()->hasFormat(QuestionClipboard::MimeType)) {
            de->setDropAction(Qt::IgnoreAction);
            de->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, e);
}

TQuestionListView *TClipboardCommands::View() const
{
    return static_cast<TQuestionListView *>(m_w.QTree());
}

QWidget *TClipboardCommands::Focused() const
{
    QWidget *f = QApplication::focusWidget();
    // Typing a font name or size leaves the editor that it formats in charge.
    if (m_w.FormatCommands() && m_w.FormatCommands()->IsFormatBox(f))
        f = m_w.ActiveControl();
    return f;
}

// ---- commands -------------------------------------------------------------------

QList<int> TClipboardCommands::PrepareForCBCopy()
{
    QItemSelectionModel *sel = m_w.QTree()->selectionModel();
    const int current = m_w.CurrentRow();
    if (!sel->hasSelection() && current >= 0)
        sel->select(m_w.Model()->index(current), QItemSelectionModel::Select);
    if (current >= 0 && sel->isSelected(m_w.Model()->index(current)))
        m_w.UpdateData();
    return SortedRows(sel->selectedRows());
}

void TClipboardCommands::CopyRows(const QList<int> &rows)
{
    TQuestionListModel *model = m_w.Model();
    std::vector<const TNodeRecord *> records;
    for (int r : rows)
        if (r >= 0 && r < model->count())
            records.push_back(&model->record(r));
    if (records.empty())
        return;
    model->clearClipMarks();
    QuestionClipboard::Put(new QuestionClipboard::TQuestionMimeData(View(), std::move(records)));
    for (int r : rows)
        model->setClipMarked(r, true);
    m_w.QTree()->viewport()->update();
}

void TClipboardCommands::Copy()
{
    QWidget *f = Focused();
    TQuestionPane *pane = m_w.Pane();
    if (f == m_w.QTree()) {
        CopyRows(PrepareForCBCopy());
    } else if (f == pane->questionText() || f == pane->questionComment()) {
        static_cast<QTextEdit *>(f)->copy();
    } else if (f == pane->variants()) {
        pane->variants()->copy();
    } else {
        m_w.ShowMsg(MainTexts::Unexpected);
    }
    m_w.ButtonsState();
}

void TClipboardCommands::Cut()
{
    QWidget *f = Focused();
    TQuestionPane *pane = m_w.Pane();
    if (f == m_w.QTree()) {
        const QList<int> rows = PrepareForCBCopy();
        if (!rows.isEmpty()) {
            CopyRows(rows);
            // The rows go now; their data must not.
            if (!QuestionClipboard::Flush()) {
                QuestionClipboard::Empty();
                m_w.Model()->clearClipMarks();
                ShowError(DocTexts::ClipboardFailed);
                m_w.ButtonsState();
                return;
            }
            m_w.Model()->clearClipMarks();
            m_w.DeleteSelectedQuestions();
            m_w.TestPropChanged();
        }
    } else if (f == pane->questionText() || f == pane->questionComment()) {
        static_cast<QTextEdit *>(f)->cut();
    } else if (f == pane->variants()) {
        pane->variants()->cut();
    } else {
        m_w.ShowMsg(MainTexts::Unexpected);
    }
    m_w.ButtonsState();
}

void TClipboardCommands::Paste()
{
    QWidget *f = Focused();
    TQuestionPane *pane = m_w.Pane();
    if (f == m_w.QTree()) {
        PasteQuestions();
    } else if (f == pane->questionText() || f == pane->questionComment()) {
        static_cast<QTextEdit *>(f)->paste();
    } else if (f == pane->variants()) {
        pane->PasteVariants();
    } else {
        m_w.ShowMsg(MainTexts::Unexpected);
    }
    m_w.ButtonsState();
}

bool TClipboardCommands::PasteQuestions()
{
    m_w.CursorWait();
    const int current = m_w.CurrentRow();
    const int row = current >= 0 ? current + 1 : m_w.Model()->count();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    const QByteArray block = data && data->hasFormat(QuestionClipboard::MimeType)
                                 ? data->data(QuestionClipboard::MimeType) : QByteArray();
    const bool ok = InsertFrom(block, row, true);
    m_w.CursorDefault();
    return ok;
}

bool TClipboardCommands::InsertFrom(const QByteArray &block, int row, bool focusFirstWhenNone)
{
    QuestionClipboard::TDecodeResult r = QuestionClipboard::DecodeBlock(block);
    if (!r) {
        m_w.CursorDefault();
        ShowError(DocTexts::ClipboardFailed);
        return false;
    }
    if (r.Records.empty())
        return false;
    if (!m_w.RoomForQuestions(qsizetype(r.Records.size()), m_dropping)) {
        m_w.CursorDefault();
        return false;
    }
    QListView *tree = m_w.QTree();
    tree->setUpdatesEnabled(false);
    const int first = m_w.Model()->insertRecords(row, std::move(r.Records));
    tree->setUpdatesEnabled(true);
    if (focusFirstWhenNone && m_w.CurrentRow() < 0)
        m_w.FocusRow(first);
    m_w.SetModified(true);
    return true;
}

bool TClipboardCommands::CanPasteQuestions() const
{
    return QuestionClipboard::HoldsQuestions();
}

bool TClipboardCommands::CanPasteSpecial() const
{
    auto *re = qobject_cast<TMJvRichEdit *>(Focused());
    TQuestionPane *pane = m_w.Pane();
    if (!re || (re != pane->questionText() && re != pane->questionComment()) || re->isReadOnly())
        return false;
    return !PasteSpecial::FormsOf(QGuiApplication::clipboard()->mimeData()).isEmpty();
}

void TClipboardCommands::PasteSpecial()
{
    auto *re = qobject_cast<TMJvRichEdit *>(Focused());
    TQuestionPane *pane = m_w.Pane();
    if (!re || (re != pane->questionText() && re != pane->questionComment())) {
        m_w.ShowMsg(MainTexts::Unexpected);
        return;
    }
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    const QList<PasteSpecial::TForm> forms = PasteSpecial::FormsOf(data);
    if (forms.isEmpty())
        return;
    const std::optional<PasteSpecial::TForm> form = PasteSpecialInput ? PasteSpecialInput(forms) : std::nullopt;
    if (!form)
        return;
    // The dialog may have let the clipboard change under it.
    data = QGuiApplication::clipboard()->mimeData();
    if (!PasteSpecial::FormsOf(data).contains(*form))
        return;
    try {
        std::unique_ptr<QMimeData> one(PasteSpecial::Extract(data, *form));
        re->setFocus();
        TRichInsert::Insert(*re, one.get());
    } catch (const std::bad_alloc &) {
        ShowError(OutOfMemoryText);
    }
    m_w.ButtonsState();
}

// ---- following the clipboard ------------------------------------------------------

void TClipboardCommands::ClipboardChanged()
{
    if (!m_following)
        return;
    TQuestionListModel *model = m_w.Model();
    if (!QuestionClipboard::OwnData() && model->hasClipMarks())
        model->clearClipMarks();
    if (m_w.Document()->isLocked())
        return;
    m_w.ButtonsState();
    m_w.QTree()->viewport()->update();
}

void TClipboardCommands::RowsGoing(int first, int last)
{
    if (m_dragData)
        static_cast<QuestionClipboard::TQuestionMimeData *>(m_dragData.data())->render();
    QuestionClipboard::TQuestionMimeData *own = QuestionClipboard::OwnData();
    if (!own || own->isRendered())
        return;
    TQuestionListModel *model = m_w.Model();
    for (int r = first; r <= last && r < model->count(); ++r)
        if (own->refersTo(&model->record(r))) {
            // What was copied stays on the clipboard as it was.
            own->render();
            return;
        }
}

void TClipboardCommands::EverythingGoing()
{
    if (m_dragData)
        static_cast<QuestionClipboard::TQuestionMimeData *>(m_dragData.data())->render();
    if (QuestionClipboard::TQuestionMimeData *own = QuestionClipboard::OwnData())
        own->render();
    m_dragged.clear();
}

void TClipboardCommands::EmptyClipboard()
{
    QuestionClipboard::Empty();
    m_w.Model()->clearClipMarks();
    m_w.QTree()->viewport()->update();
}

void TClipboardCommands::CurrentQuestionFlushing()
{
    const int row = m_w.CurrentRow();
    TQuestionPane *pane = m_w.Pane();
    if (row >= 0 && m_w.Model()->isClipMarked(row) && (pane->isTextModified() || pane->isVariantsModified()))
        EmptyClipboard();
}

std::optional<bool> TClipboardCommands::AskKeep()
{
    if (!m_w.Model()->hasClipMarks())
        return std::nullopt;
    return m_w.ShowMsg2(DocTexts::QuestionCaption, DocTexts::ClipboardKeep, QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::Warning) == QMessageBox::Yes;
}

void TClipboardCommands::Settle(bool keep)
{
    bool ok = true;
    if (keep) {
        m_w.SInfo(DocTexts::StatusClipboard);
        ok = QuestionClipboard::Flush();
        if (!ok)
            QuestionClipboard::Empty();
    } else {
        QuestionClipboard::Empty();
    }
    m_w.Model()->clearClipMarks();
    if (!ok)
        ShowError(DocTexts::ClipboardFailed);
}

void TClipboardCommands::SettleBeforeEmptying()
{
    if (const std::optional<bool> keep = AskKeep())
        Settle(*keep);
}

void TClipboardCommands::LeaveViewerChain()
{
    m_following = false;
}

// ---- drag and drop --------------------------------------------------------------

QMimeData *TClipboardCommands::DragData()
{
    // The dragged questions are read while the drag runs: they take their edits first.
    m_w.UpdateData();
    TQuestionListModel *model = m_w.Model();
    const QList<int> rows = SortedRows(m_w.QTree()->selectionModel()->selectedRows());
    m_dragged.clear();
    for (int r : rows)
        m_dragged.push_back(&model->record(r));
    if (m_dragged.empty())
        return nullptr;
    auto *data = new QuestionClipboard::TQuestionMimeData(View(), m_dragged);
    m_dragData = data;
    return data;
}

QList<int> TClipboardCommands::DraggedRows() const
{
    QList<int> rows;
    for (const TNodeRecord *rec : m_dragged) {
        const int r = m_w.Model()->rowOf(rec);
        if (r >= 0)
            rows.append(r);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TClipboardCommands::MoveRowsTo(const QList<int> &rows, int row)
{
    TQuestionListModel *model = m_w.Model();
    std::vector<const TNodeRecord *> moving;
    for (int r : rows)
        moving.push_back(&model->record(r));
    // The first row not moved at or after the place: the rows go before it.
    const TNodeRecord *anchor = nullptr;
    for (int r = row; r < model->count() && !anchor; ++r)
        if (!rows.contains(r))
            anchor = &model->record(r);
    for (const TNodeRecord *rec : moving) {
        const int from = model->rowOf(rec);
        const int to = anchor ? model->rowOf(anchor) : model->count();
        model->moveRows({}, from, 1, {}, to);
    }
    if (const int current = m_w.CurrentRow(); current >= 0)
        m_w.QTree()->scrollTo(model->index(current));
}

bool TClipboardCommands::QuestionsDropped(const QMimeData *data, int row, Qt::DropAction action, bool fromThisList)
{
    if (!data || !data->hasFormat(QuestionClipboard::MimeType))
        return false;
    m_w.CursorWait();
    m_w.SInfo(ClipTexts::StatusDropping);
    bool ok = true;
    if (fromThisList && action == Qt::MoveAction) {
        // The rows themselves move; nothing is written or read.
        const QList<int> rows = DraggedRows();
        MoveRowsTo(rows, row);
        m_w.SetModified(true);
    } else {
        // A refusal is told once the drop is answered, so the other editor is not kept waiting.
        m_dropping = true;
        ok = InsertFrom(data->data(QuestionClipboard::MimeType), row, true);
        m_dropping = false;
    }
    m_w.CursorDefault();
    m_w.SInfo(QString());
    return ok;
}

void TClipboardCommands::ForeignDropped()
{
    // After the drop has been answered, so the other program is not kept waiting.
    QTimer::singleShot(0, this, [] { ShowWarning(ClipTexts::DropForeign); });
}

void TClipboardCommands::DragEnded(Qt::DropAction result, bool droppedHere)
{
    if (result == Qt::MoveAction && !droppedHere) {
        // Moved out to another editor: the rows are gone from here.
        const QList<int> rows = DraggedRows();
        if (!rows.isEmpty()) {
            QItemSelectionModel *sel = m_w.QTree()->selectionModel();
            sel->clearSelection();
            for (int r : rows)
                sel->select(m_w.Model()->index(r), QItemSelectionModel::Select);
            m_w.DeleteSelectedQuestions();
        }
    }
    m_dragged.clear();
}
