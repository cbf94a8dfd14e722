#pragma once
// The right-hand side of the editor window: the current question's text,
// comment and variants with their correct-answer boxes. The pane works on the
// node record it is given and never sees the question list; the main window
// decides which record is current and repaints rows when told to.
#include <QByteArray>
#include <QList>
#include <QWidget>

#include "MyTextAttr.h"

class QCheckBox;
class QFrame;
class QKeyEvent;
class QPlainTextEdit;
class QTimer;
class TMJvRichEdit;
class TQuizDocument;
struct TNodeRecord;
namespace Ui { class TQuestionPane; }

namespace PaneTexts {
inline const QString NewQuestion = QStringLiteral("Новый вопрос");
inline const QString NewComment = QStringLiteral("Новый комментарий");
inline const QString TextReadFailed = QStringLiteral("Ошибка чтения текста вопроса");
inline const QString CommentReadFailed = QStringLiteral("Ошибка чтения комментария вопроса");
inline const QString Unexpected = QStringLiteral("Непредусмотренная ситуация. Обратитесь к разработчику.");
inline const QString SavingQuestion = QStringLiteral("Сохранение вопроса...");
inline const QString VariantsLimit = QStringLiteral("В вопросе может быть не более 10 вариантов ответа");
// %1: the characters, each once.
inline const QString CharsReplaced = QStringLiteral(
    "Символы %1 заменены на «?»: варианты ответа хранятся в кодировке Windows-1251");
// Asked by the window before DeleteComment (caption "Внимание!", OK/Cancel, question icon).
inline const QString AskDeleteComment =
    QStringLiteral("Удалить комментарий вопроса?\r\rВы не сможете отменить эту операцию.");
}

class TQuestionPane : public QWidget {
    Q_OBJECT
public:
    enum class TEditor { None, Text, Comment, Variants };
    Q_ENUM(TEditor)
    static constexpr int MaxVariants = 10;
    // Rich texts larger than this load under the wait cursor.
    static constexpr int LargeContent = 10240;
    static constexpr int UpdateDelayMs = 500;

    explicit TQuestionPane(QWidget *parent = nullptr);
    ~TQuestionPane() override;

    // The document whose update lock the pane honours and whose modified flag it
    // sets. Without one the pane keeps a lock of its own and sets nothing.
    void setDocument(TQuizDocument *doc);
    TQuizDocument *document() const { return m_doc; }
    bool isLocked() const;

    TMJvRichEdit *questionText() const;
    TMJvRichEdit *questionComment() const;
    QPlainTextEdit *variants() const;
    QFrame *textPanel() const;
    QFrame *commentPanel() const;
    QFrame *variantsPanel() const;
    // Box i (0..9) beside line i of the variants.
    QCheckBox *checkBox(int i) const { return m_boxes.value(i); }
    const QList<QCheckBox *> &checkBoxes() const { return m_boxes; }
    // The number of variant lines the boxes were last brought in line with.
    int shownVariantCount() const { return m_shownCount; }
    // Lines of the variants editor; a last empty line does not count.
    int variantLineCount() const;
    QTimer *updateTimer() const { return m_timer; }

    // ---- default contents ----
    // Rebuilt whenever the default character format changes.
    void CreateDefContent(const TMyTextAttr &attr);
    void CreateDefContent2(const TMyTextAttr &attr);
    const QByteArray &defContent() const { return m_defContent; }
    const QByteArray &defContent2() const { return m_defContent2; }

    // ---- model <-> editors ----
    // Fills the editors from rec (a question never shown gets the default content
    // first), or empties and disables them for none. Runs under the update lock.
    void UpdateView(TNodeRecord *rec);
    // The record last given to UpdateView.
    TNodeRecord *current() const { return m_current; }
    // Plain lines, variants and marks into rec. True when the text or the
    // variants were modified (the caller then repaints the row and settles a
    // clipboard copy that no longer matches).
    bool FastUpdateData(TNodeRecord *rec);
    // FastUpdateData plus the rich texts that were modified, then the bad-state
    // check. True when the row's look may have changed.
    bool UpdateData(TNodeRecord *rec);
    // Whether an editor holds changes not yet taken by UpdateData.
    bool isTextModified() const { return m_textModified; }
    bool isCommentModified() const { return m_commentModified; }
    bool isVariantsModified() const { return m_variantsModified; }

    void UpdateCheckBoxes();

    // ---- comments (the caller has asked and checked the command's state) ----
    // rec has no comment: it gets the default comment content.
    void AddComment(TNodeRecord &rec);
    // rec has a comment: it is destroyed.
    void DeleteComment(TNodeRecord &rec);
    void QCommentsShow();
    void QCommentsHide();

    // ---- edit commands and their state, for the focused editor ----
    TEditor focusedEditor() const;
    bool canUndo(TEditor e) const;
    bool canRedo(TEditor e) const;   // never for the variants
    bool hasSelection(TEditor e) const;
    bool canPaste(TEditor e) const;
    // False (and nothing done) when no editor of the pane has the focus.
    bool Undo();
    bool Redo();
    bool SelectAll();
    bool DeleteSelection();
    void focusEditor(TEditor e);
    // The clipboard into the variants, one undo step.
    void PasteVariants();

    void stopUpdateTimer();

public Q_SLOTS:
    // The update timer's handler: stops it and, outside the lock, emits questionEdited().
    void TimerUpdateQuestionTimer();

Q_SIGNALS:
    // 500 ms after the last change: the window runs FastUpdateData and repaints the row.
    void questionEdited();
    // One of the editors got the focus, or the focus entered the variants panel
    // (None: a correct-answer box). The window's ActiveControlChange.
    void editorFocused(TQuestionPane::TEditor editor);
    // Caret, selection, undo state or variants changed: the window's ButtonsState.
    void editorStateChanged();
    // The row of rec should be repainted (comment added or deleted).
    void rowNeedsRepaint(TNodeRecord *rec);
    // Status-bar text (the window's SInfo); empty restores the blank bar.
    void statusInfo(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class TLock;
    void CreateCheckBoxes();
    void placeCheckBoxes();
    void variantsFontChanged();
    void checkBoxClicked();
    void richTextChanged(bool comment);
    void variantsChanged();
    // Characters Windows-1251 cannot hold become '?'; true when any did.
    bool replaceNonAnsi();
    void trimVariants();
    // Enter or Return that would make an eleventh line.
    bool refusesLineBreak(const QKeyEvent *e) const;
    void onFocusChanged(QWidget *old, QWidget *now);
    void setPanelFrame(QFrame *panel, bool lowered);
    void setModifiedDoc();
    QByteArray buildDefault(const QString &text, const TMyTextAttr &attr) const;
    bool loadRich(TMJvRichEdit *editor, const QByteArray &content, const QString &failure);
    void emptyRich(TMJvRichEdit *editor);
    // False when the lines, the caret and the scrolling stayed as they were.
    bool setVariantsText(const QString &text);
    QWidget *editorWidget(TEditor e) const;

    Ui::TQuestionPane *ui;
    TQuizDocument *m_doc = nullptr;
    int m_ownLock = 0;
    TNodeRecord *m_current = nullptr;
    QList<QCheckBox *> m_boxes;
    int m_shownCount = 0;
    QTimer *m_timer;
    QByteArray m_defContent, m_defContent2;
    bool m_textModified = false, m_commentModified = false, m_variantsModified = false;
    bool m_fixingVariants = false;
};
