#pragma once
// The main window's clipboard and drag-and-drop of whole questions: cut, copy,
// paste and paste special routed by focus, the rows marked while their copy is
// on the clipboard, the question about copied questions before the list is
// emptied, and what drops on the question list do.
#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "fPasteSpecial.h"

class QMimeData;
class TfrmMain;
class TQuestionListView;
class TMJvRichEdit;
struct TNodeRecord;

namespace ClipTexts {
inline const QString DropForeign = QStringLiteral(
    "В список вопросов разрешается перетаскивать\rобъекты только из редактора тестов!");
inline const QString StatusDropping = QStringLiteral("Передача данных.. (может потребоваться несколько минут)");
}

class TClipboardCommands : public QObject {
    Q_OBJECT
public:
    explicit TClipboardCommands(TfrmMain &owner);
    ~TClipboardCommands() override;

    // The commands, by the focused control.
    void Copy();
    void Cut();
    void Paste();
    void PasteSpecial();

    // Selects the focused row when nothing is selected and takes the focused
    // question's edits into the model. The selected rows, in list order.
    QList<int> PrepareForCBCopy();
    // Puts the rows on the clipboard and marks them.
    void CopyRows(const QList<int> &rows);
    // Inserts the clipboard's questions after the focused row (at the end
    // without one). False, with the error shown, when they cannot be read.
    bool PasteQuestions();
    // Whether the list's paste has anything to take.
    bool CanPasteQuestions() const;
    // Whether paste special serves the focused control now.
    bool CanPasteSpecial() const;

    // Before the list is emptied (new test, open, close): when rows are marked,
    // whether the copies shall stay available; nothing when none are marked.
    std::optional<bool> AskKeep();
    // Yes renders the data so it outlives the rows, No empties the clipboard.
    // A failure is shown.
    void Settle(bool keep);
    // AskKeep and Settle at once (new test, open).
    void SettleBeforeEmptying();
    // Empties the clipboard of the editor's questions and ends the marks.
    void EmptyClipboard();
    // The focused question's edits are about to be taken: when its text or
    // variants changed and it is marked, its copy no longer matches.
    void CurrentQuestionFlushing();
    // Stops following the clipboard (the window is closing).
    void LeaveViewerChain();

    // Drops on the list (public for the window's tests of positions).
    bool QuestionsDropped(const QMimeData *data, int row, Qt::DropAction action, bool fromThisList);
    void ForeignDropped();
    void DragEnded(Qt::DropAction result, bool droppedHere);
    // The data of a drag of the selection, in list order.
    QMimeData *DragData();

    // The form paste special inserts; the dialog unless replaced.
    std::function<std::optional<PasteSpecial::TForm>(const QList<PasteSpecial::TForm> &)> PasteSpecialInput;
    // The rows of the last drag started here, in list order.
    QList<int> DraggedRows() const;

protected:
    // Rows dragged over the rich-text editors are refused.
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void ClipboardChanged();
    void RowsGoing(int first, int last);
    void EverythingGoing();
    // Inserts records read from data before row, as one step; shows the error.
    bool InsertFrom(const QByteArray &block, int row, bool focusFirstWhenNone);
    void MoveRowsTo(const QList<int> &rows, int row);
    TQuestionListView *View() const;
    QWidget *Focused() const;

    TfrmMain &m_w;
    bool m_following = true;
    // Rows of the drag in progress, by record, in list order.
    std::vector<const TNodeRecord *> m_dragged;
    // Inside a drop of questions: messages wait until the drop is answered.
    bool m_dropping = false;
    // The data of the last drag started here. The receiver of a drop may ask
    // for it after the drag has ended here, so it is rendered before rows go.
    QPointer<QMimeData> m_dragData;
};
