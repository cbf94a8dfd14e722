#include "QuestionPane.h"
#include "ui_QuestionPane.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QAbstractTextDocumentLayout>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "Ansi.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"

namespace {
constexpr int kBoxLeft = 10;
constexpr int kPanelMargin = 3;

// Wait cursor for the rest of the scope once started. The override cursor
// shows at once; no events are run for it, so nothing queued can change the
// question while it is being loaded or saved.
class TWaitCursor {
public:
    void start()
    {
        if (m_set)
            return;
        const QCursor *c = QApplication::overrideCursor();
        if (c && c->shape() == Qt::WaitCursor)
            return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_set = true;
    }
    ~TWaitCursor()
    {
        if (m_set)
            QApplication::restoreOverrideCursor();
    }
private:
    bool m_set = false;
};

// Percent of the pane's height the question text keeps when the window shrinks.
constexpr int TextShare = 40;

// A smaller window takes its height from the variants (ten short lines)
// before the question text goes down to a line. The splitter holds the text,
// the comment and the variants.
void KeepTextShare(QSplitter *spl, int variantsMin)
{
    QList<int> sizes = spl->sizes();
    if (sizes.size() != 3)
        return;
    const int total = sizes[0] + sizes[1] + sizes[2];
    const int take = qMin(total * TextShare / 100 - sizes[0], sizes[2] - variantsMin);
    if (take <= 0)
        return;
    sizes[0] += take;
    sizes[2] -= take;
    spl->setSizes(sizes);
}

int RichAlignment(quint8 code)
{
    switch (code) {
    case TMyTextAttr::AlignRight: return RichText::AlignRightValue;
    case TMyTextAttr::AlignCenter: return RichText::AlignCenterValue;
    case TMyTextAttr::AlignJustify: return RichText::AlignJustifyValue;
    default: return RichText::AlignLeftValue;
    }
}
} // namespace

// The document's update lock, or the pane's own when it has no document.
class TQuestionPane::TLock {
public:
    explicit TLock(TQuestionPane &pane) : m_pane(pane)
    {
        if (m_pane.m_doc)
            m_pane.m_doc->lock();
        else
            ++m_pane.m_ownLock;
    }
    ~TLock()
    {
        if (m_pane.m_doc)
            m_pane.m_doc->unlock();
        else if (m_pane.m_ownLock > 0)
            --m_pane.m_ownLock;
    }
private:
    TQuestionPane &m_pane;
};

TQuestionPane::TQuestionPane(QWidget *parent)
    : QWidget(parent), ui(new Ui::TQuestionPane), m_timer(new QTimer(this))
{
    ui->setupUi(this);
    m_timer->setObjectName(QStringLiteral("TimerUpdateQuestion"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(UpdateDelayMs);
    connect(m_timer, &QTimer::timeout, this, &TQuestionPane::TimerUpdateQuestionTimer);

    for (TMJvRichEdit *re : {ui->reQuestionText, ui->reQuestionComment}) {
        re->setAcceptRichText(true);
        const bool comment = re == ui->reQuestionComment;
        connect(re, &QTextEdit::textChanged, this, [this, comment] { richTextChanged(comment); });
        auto state = [this] {
            if (!isLocked())
                Q_EMIT editorStateChanged();
        };
        connect(re, &QTextEdit::cursorPositionChanged, this, state);
        connect(re, &QTextEdit::selectionChanged, this, state);
        connect(re, &QTextEdit::undoAvailable, this, state);
        connect(re, &QTextEdit::redoAvailable, this, state);
    }

    QPlainTextEdit *mem = ui->memVariants;
    mem->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(mem, &QPlainTextEdit::textChanged, this, &TQuestionPane::variantsChanged);
    auto memState = [this] {
        if (!isLocked())
            Q_EMIT editorStateChanged();
    };
    connect(mem, &QPlainTextEdit::cursorPositionChanged, this, memState);
    connect(mem, &QPlainTextEdit::selectionChanged, this, memState);
    connect(mem, &QPlainTextEdit::undoAvailable, this, memState);
    // The boxes follow the lines wherever the editor draws them; a refill under
    // the lock places them once at its end.
    connect(mem, &QPlainTextEdit::updateRequest, this, [this] {
        if (!isLocked())
            placeCheckBoxes();
    });
    connect(mem->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeCheckBoxes(); });
    mem->installEventFilter(this);
    mem->viewport()->installEventFilter(this);

    connect(qApp, &QApplication::focusChanged, this, &TQuestionPane::onFocusChanged);
    for (QFrame *pan : {ui->panText, ui->panComment, ui->panVariants})
        setPanelFrame(pan, false);

    CreateCheckBoxes();
    CreateDefContent(TMyTextAttr{});
    CreateDefContent2(TMyTextAttr{});
    QCommentsHide();
    setEnabled(false);
}

TQuestionPane::~TQuestionPane()
{
    // The children outlive this part of the object; nothing of theirs may reach it.
    disconnect(qApp, nullptr, this, nullptr);
    ui->memVariants->removeEventFilter(this);
    ui->memVariants->viewport()->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
    delete ui;
}

void TQuestionPane::setDocument(TQuizDocument *doc) { m_doc = doc; }

bool TQuestionPane::isLocked() const { return m_doc ? m_doc->isLocked() : m_ownLock > 0; }

TMJvRichEdit *TQuestionPane::questionText() const { return ui->reQuestionText; }
TMJvRichEdit *TQuestionPane::questionComment() const { return ui->reQuestionComment; }
QPlainTextEdit *TQuestionPane::variants() const { return ui->memVariants; }
QFrame *TQuestionPane::textPanel() const { return ui->panText; }
QFrame *TQuestionPane::commentPanel() const { return ui->panComment; }
QFrame *TQuestionPane::variantsPanel() const { return ui->panVariants; }

int TQuestionPane::variantLineCount() const
{
    const QTextDocument *doc = ui->memVariants->document();
    int n = doc->blockCount();
    if (n > 0 && doc->lastBlock().length() <= 1)
        --n;
    return n;
}

// ---- default contents --------------------------------------------------------

QByteArray TQuestionPane::buildDefault(const QString &text, const TMyTextAttr &attr) const
{
    TMJvRichEdit ed;
    ed.setLineWrapMode(QTextEdit::NoWrap);
    ed.resize(1000, ed.height());
    ed.setPlainText(text);
    ed.selectAll();
    QTextCharFormat f;
    f.setFontFamilies({attr.FontName});
    f.setFontPointSize(attr.FontSize);
    f.setFontWeight(attr.Style & TMyTextAttr::StyleBold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(attr.Style & TMyTextAttr::StyleItalic);
    f.setFontUnderline(attr.Style & TMyTextAttr::StyleUnderline);
    f.setFontStrikeOut(attr.Style & TMyTextAttr::StyleStrikeOut);
    f.setForeground(attr.FontColor);
    f.setBackground(attr.BackColor);
    ed.mergeCharAttributes(f);
    // The paragraph mark takes the text's format too, as selecting all gives it.
    QTextCursor c(ed.document());
    c.setPosition(1);
    const QTextCharFormat textFormat = c.charFormat();
    c.select(QTextCursor::Document);
    c.setBlockCharFormat(textFormat);
    RichText::TParaAttributes p = ed.paraAttributes();
    p.alignment = RichAlignment(attr.Alignment);
    ed.setParaAttributes(p);
    return ed.SaveRichToBytes();
}

void TQuestionPane::CreateDefContent(const TMyTextAttr &attr)
{
    m_defContent = buildDefault(PaneTexts::NewQuestion, attr);
}

void TQuestionPane::CreateDefContent2(const TMyTextAttr &attr)
{
    m_defContent2 = buildDefault(PaneTexts::NewComment, attr);
}

// ---- model <-> editors -------------------------------------------------------

bool TQuestionPane::loadRich(TMJvRichEdit *editor, const QByteArray &content, const QString &failure)
{
    bool ok = true;
    try {
        editor->LoadRichFromBytes(content);
    } catch (const std::exception &) {
        ok = false;
    }
    // The load leaves the caret at the start, even when it fails.
    editor->document()->clearUndoRedoStacks();
    if (!ok)
        ShowError(failure);
    return ok;
}

bool TQuestionPane::setVariantsText(const QString &text)
{
    // The document's own replacement: it also forgets the undo history, and
    // leaves out the editor's scrolling and caret work that the next paint does.
    QPlainTextEdit *mem = ui->memVariants;
    QTextDocument *doc = mem->document();
    // Many questions share their variants (yes/no); the same lines need no new layout.
    QString raw = text;
    raw.replace(QLatin1Char('\n'), QChar(QChar::ParagraphSeparator));
    bool changed = doc->toRawText() != raw;
    if (changed)
        doc->setPlainText(text);
    else
        doc->clearUndoRedoStacks();
    // Already at the start and at the top, the move would only cost a layout pass.
    const QTextCursor c = mem->textCursor();
    if (c.position() != 0 || c.hasSelection() || mem->verticalScrollBar()->value() != 0
        || mem->horizontalScrollBar()->value() != 0) {
        mem->moveCursor(QTextCursor::Start);
        changed = true;
    }
    return changed;
}

void TQuestionPane::emptyRich(TMJvRichEdit *editor)
{
    if (!editor->document()->isEmpty())
        editor->clear();
    editor->document()->clearUndoRedoStacks();
}

void TQuestionPane::UpdateView(TNodeRecord *rec)
{
    TLock lock(*this);
    TWaitCursor wait;
    m_current = (rec && rec->Question) ? rec : nullptr;
    if (!m_current) {
        emptyRich(ui->reQuestionText);
        emptyRich(ui->reQuestionComment);
        setVariantsText(QString());
        UpdateCheckBoxes();
        setEnabled(false);
        m_textModified = m_commentModified = m_variantsModified = false;
        return;
    }
    setEnabled(true);
    TNQuestion &q = *m_current->Question;
    if (!q.ContentReady) {
        q.Body = m_defContent;
        q.PlainLines.Add(PaneTexts::NewQuestion);
        q.ContentReady = true;
    }
    if (q.Body.size() > LargeContent)
        wait.start();
    loadRich(ui->reQuestionText, q.Body, PaneTexts::TextReadFailed);
    if (q.Comment) {
        if (q.Comment->size() > LargeContent)
            wait.start();
        loadRich(ui->reQuestionComment, *q.Comment, PaneTexts::CommentReadFailed);
        QCommentsShow();
    } else {
        emptyRich(ui->reQuestionComment);
        QCommentsHide();
    }
    const bool linesMoved = setVariantsText(q.Variants.join(QLatin1Char('\n')));
    UpdateCheckBoxes();
    const int n = qMin(variantLineCount(), MaxVariants);
    for (int i = 0; i < n; ++i)
        m_boxes[i]->setChecked(i < q.RightMarks.size() && q.RightMarks.at(i) == QLatin1Char('!'));
    m_textModified = m_commentModified = m_variantsModified = false;
    // Boxes beside unmoved lines stand where they are; a new size places them by its event.
    if (linesMoved)
        placeCheckBoxes();
}

bool TQuestionPane::FastUpdateData(TNodeRecord *rec)
{
    if (!rec || !rec->Question) {
        ShowError(PaneTexts::Unexpected);
        return false;
    }
    TNQuestion &q = *rec->Question;
    bool changed = false;
    if (m_textModified) {
        q.PlainLines.Clear();
        const TWideRichEditStrings &lines = ui->reQuestionText->Lines();
        for (int i = 0; i < lines.Count(); ++i)
            q.PlainLines.Add(ReplaceObjectMarks(lines.Get(i), ObjectMarkText));
        setModifiedDoc();
        changed = true;
    }
    if (m_variantsModified) {
        const QTextDocument *doc = ui->memVariants->document();
        const int n = variantLineCount();
        QStringList variants;
        QString marks;
        for (int i = 0; i < n; ++i) {
            variants.append(doc->findBlockByNumber(i).text());
            marks.append(i < MaxVariants && m_boxes[i]->isChecked() ? QLatin1Char('!') : QLatin1Char(' '));
        }
        q.Variants = variants;
        q.RightMarks = marks;
        setModifiedDoc();
        changed = true;
    }
    if (m_commentModified)
        setModifiedDoc();
    return changed;
}

bool TQuestionPane::UpdateData(TNodeRecord *rec)
{
    if (!rec || !rec->Question)
        return false;
    bool changed = FastUpdateData(rec);
    // The variants are in the question now; left set, the next flush (a focus
    // move after a save) would mark an unchanged test modified again.
    m_variantsModified = false;
    TNQuestion &q = *rec->Question;
    TWaitCursor wait;
    const bool savingText = m_textModified;
    // Only an edited text is written back, so an unedited question keeps its bytes.
    if (savingText) {
        wait.start();
        Q_EMIT statusInfo(PaneTexts::SavingQuestion);
        try {
            q.Body = ui->reQuestionText->SaveRichToBytes();
            m_textModified = false;
        } catch (const EQuizError &e) {
            ShowError(e.message());
        }
    }
    if (m_commentModified) {
        try {
            q.Comment = ui->reQuestionComment->SaveRichToBytes();
            m_commentModified = false;
        } catch (const EQuizError &e) {
            ShowError(e.message());
        }
    }
    const quint8 flags = rec->NodeFlags;
    TQuestionListModel::CheckBadState(*rec);
    if (savingText)
        Q_EMIT statusInfo(QString());
    return changed || flags != rec->NodeFlags;
}

void TQuestionPane::setModifiedDoc()
{
    if (m_doc)
        m_doc->SetModified(true);
}

// ---- variants and their boxes -----------------------------------------------

void TQuestionPane::CreateCheckBoxes()
{
    for (int i = 0; i < MaxVariants; ++i) {
        auto *box = new QCheckBox(ui->panVariants);
        box->setObjectName(QStringLiteral("chboxVariant%1").arg(i));
        box->setFocusPolicy(Qt::ClickFocus);   // not in the Tab order
        box->setEnabled(false);
        box->adjustSize();
        connect(box, &QCheckBox::clicked, this, &TQuestionPane::checkBoxClicked);
        m_boxes.append(box);
    }
    placeCheckBoxes();
}

void TQuestionPane::UpdateCheckBoxes()
{
    const int n = qMin(variantLineCount(), MaxVariants);
    const int s = m_shownCount;
    if (n == s)
        return;
    if (n > s) {
        for (int i = s; i < n; ++i)
            m_boxes[i]->setEnabled(true);
    } else {
        for (int i = s - 1; i >= n; --i) {
            m_boxes[i]->setEnabled(false);
            m_boxes[i]->setChecked(false);
        }
    }
    // The other boxes keep their ticks: a line inserted in the middle does not
    // carry the ticks along with the lines.
    m_shownCount = n;
}

void TQuestionPane::placeCheckBoxes()
{
    QPlainTextEdit *mem = ui->memVariants;
    QWidget *vp = mem->viewport();
    const QTextDocument *doc = mem->document();
    const int lineHeight = mem->fontMetrics().lineSpacing();
    int lastY = 0, lastLine = -1;
    for (int i = 0; i < m_boxes.size(); ++i) {
        int y;   // the line's middle in viewport coordinates
        if (i < doc->blockCount()) {
            const QRect r = mem->cursorRect(QTextCursor(doc->findBlockByNumber(i)));
            y = r.top() + r.height() / 2;
            lastY = y;
            lastLine = i;
        } else {
            y = lastY + (i - lastLine) * lineHeight;
        }
        QCheckBox *box = m_boxes[i];
        const QPoint at = vp->mapTo(ui->panVariants, QPoint(0, y));
        box->move(kBoxLeft, at.y() - box->height() / 2);
        box->setVisible(y >= 0 && y < vp->height());
    }
}

void TQuestionPane::variantsFontChanged()
{
    // The plain editor adjusts its scroll range only when the number of lines
    // changes, not when they grow taller: tell it the size anew.
    QAbstractTextDocumentLayout *layout = ui->memVariants->document()->documentLayout();
    Q_EMIT layout->documentSizeChanged(layout->documentSize());
    placeCheckBoxes();
}

void TQuestionPane::checkBoxClicked()
{
    if (isLocked())
        return;
    m_timer->stop();
    m_variantsModified = true;
    m_timer->start();
}

bool TQuestionPane::replaceNonAnsi()
{
    QTextDocument *doc = ui->memVariants->document();
    const QString raw = doc->toRawText();
    struct TRange { int from, len; };
    QList<TRange> bad;
    QStringList replaced;
    for (int i = 0; i < raw.size(); ++i) {
        const QChar ch = raw.at(i);
        if (ch.unicode() < 0x80 || ch == QChar::ParagraphSeparator)
            continue;
        const int len = (ch.isHighSurrogate() && i + 1 < raw.size() && raw.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const QString one = raw.mid(i, len);
        if (ToAnsi(one) == "?") {
            bad.append({i, len});
            if (!replaced.contains(one))
                replaced.append(one);
        }
        i += len - 1;
    }
    if (bad.isEmpty())
        return false;
    // Said once for the edit, naming each character once.
    Q_EMIT statusInfo(PaneTexts::CharsReplaced.arg(replaced.join(QStringLiteral(" "))));
    // Part of the edit that brought the characters, so one undo takes both back.
    QTextCursor c(doc);
    c.joinPreviousEditBlock();
    for (auto it = bad.crbegin(); it != bad.crend(); ++it) {
        c.setPosition(it->from);
        c.setPosition(it->from + it->len, QTextCursor::KeepAnchor);
        c.insertText(QStringLiteral("?"));
    }
    c.endEditBlock();
    return true;
}

void TQuestionPane::trimVariants()
{
    QTextDocument *doc = ui->memVariants->document();
    const QTextBlock last = doc->findBlockByNumber(MaxVariants - 1);
    QTextCursor c(doc);
    c.joinPreviousEditBlock();
    c.setPosition(last.position() + last.length() - 1);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    c.endEditBlock();
}

void TQuestionPane::variantsChanged()
{
    if (m_fixingVariants)
        return;
    m_variantsModified = true;
    if (isLocked())
        return;
    {
        m_fixingVariants = true;
        struct TReset { bool &b; ~TReset() { b = false; } } reset{m_fixingVariants};
        replaceNonAnsi();
        if (variantLineCount() > MaxVariants) {
            {
                TLock lock(*this);
                trimVariants();
            }
            Q_EMIT statusInfo(PaneTexts::VariantsLimit);
        }
    }
    m_timer->stop();
    UpdateCheckBoxes();
    m_timer->start();
    placeCheckBoxes();
    Q_EMIT editorStateChanged();
}

// ---- rich texts, timer ------------------------------------------------------

void TQuestionPane::richTextChanged(bool comment)
{
    (comment ? m_commentModified : m_textModified) = true;
    if (isLocked())
        return;
    m_timer->stop();
    m_timer->start();
}

void TQuestionPane::TimerUpdateQuestionTimer()
{
    m_timer->stop();
    if (!isLocked())
        Q_EMIT questionEdited();
}

void TQuestionPane::stopUpdateTimer() { m_timer->stop(); }

// ---- comments ---------------------------------------------------------------

void TQuestionPane::AddComment(TNodeRecord &rec)
{
    Q_ASSERT(rec.Question && !rec.Question->Comment);
    rec.Question->Comment = m_defContent2;
    {
        TLock lock(*this);
        loadRich(ui->reQuestionComment, m_defContent2, PaneTexts::CommentReadFailed);
        m_commentModified = false;
    }
    QCommentsShow();
    setModifiedDoc();
    Q_EMIT rowNeedsRepaint(&rec);
}

void TQuestionPane::DeleteComment(TNodeRecord &rec)
{
    Q_ASSERT(rec.Question && rec.Question->Comment);
    QWidget *f = QApplication::focusWidget();
    const bool hadFocus = f && (f == ui->reQuestionComment || ui->reQuestionComment->isAncestorOf(f));
    rec.Question->Comment.reset();
    QCommentsHide();
    {
        TLock lock(*this);
        emptyRich(ui->reQuestionComment);
        m_commentModified = false;
    }
    setModifiedDoc();
    Q_EMIT rowNeedsRepaint(&rec);
    // The focus leaves the hidden editor for the question text; focus elsewhere
    // (the list, the variants) stays where it is.
    f = QApplication::focusWidget();
    if (hadFocus || !f || (isAncestorOf(f) && f != ui->reQuestionText && f != ui->memVariants)) {
        ui->reQuestionText->setFocus();
        Q_EMIT editorFocused(TEditor::Text);
    }
}

void TQuestionPane::QCommentsShow()
{
    ui->panComment->show();
}

void TQuestionPane::QCommentsHide()
{
    ui->panComment->hide();
}

// ---- edit commands ----------------------------------------------------------

QWidget *TQuestionPane::editorWidget(TEditor e) const
{
    switch (e) {
    case TEditor::Text: return ui->reQuestionText;
    case TEditor::Comment: return ui->reQuestionComment;
    case TEditor::Variants: return ui->memVariants;
    case TEditor::None: break;
    }
    return nullptr;
}

TQuestionPane::TEditor TQuestionPane::focusedEditor() const
{
    const QWidget *f = QApplication::focusWidget();
    if (!f)
        return TEditor::None;
    if (f == ui->reQuestionText)
        return TEditor::Text;
    if (f == ui->reQuestionComment)
        return TEditor::Comment;
    if (f == ui->memVariants)
        return TEditor::Variants;
    return TEditor::None;
}

bool TQuestionPane::canUndo(TEditor e) const
{
    switch (e) {
    case TEditor::Text: return ui->reQuestionText->document()->isUndoAvailable();
    case TEditor::Comment: return ui->reQuestionComment->document()->isUndoAvailable();
    case TEditor::Variants: return ui->memVariants->document()->isUndoAvailable();
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::canRedo(TEditor e) const
{
    switch (e) {
    case TEditor::Text: return ui->reQuestionText->document()->isRedoAvailable();
    case TEditor::Comment: return ui->reQuestionComment->document()->isRedoAvailable();
    case TEditor::Variants:
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::hasSelection(TEditor e) const
{
    switch (e) {
    case TEditor::Text: return ui->reQuestionText->textCursor().hasSelection();
    case TEditor::Comment: return ui->reQuestionComment->textCursor().hasSelection();
    case TEditor::Variants: return ui->memVariants->textCursor().hasSelection();
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::canPaste(TEditor e) const
{
    switch (e) {
    case TEditor::Text: return ui->reQuestionText->canPaste();
    case TEditor::Comment: return ui->reQuestionComment->canPaste();
    case TEditor::Variants: return ui->memVariants->canPaste();
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::Undo()
{
    switch (focusedEditor()) {
    case TEditor::Text: ui->reQuestionText->undo(); return true;
    case TEditor::Comment: ui->reQuestionComment->undo(); return true;
    case TEditor::Variants: ui->memVariants->undo(); return true;
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::Redo()
{
    switch (focusedEditor()) {
    case TEditor::Text: ui->reQuestionText->redo(); return true;
    case TEditor::Comment: ui->reQuestionComment->redo(); return true;
    case TEditor::Variants:
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::SelectAll()
{
    switch (focusedEditor()) {
    case TEditor::Text: ui->reQuestionText->selectAll(); return true;
    case TEditor::Comment: ui->reQuestionComment->selectAll(); return true;
    case TEditor::Variants: ui->memVariants->selectAll(); return true;
    case TEditor::None: break;
    }
    return false;
}

bool TQuestionPane::DeleteSelection()
{
    const TEditor e = focusedEditor();
    if (e == TEditor::None)
        return false;
    if (e == TEditor::Variants) {
        QTextCursor c = ui->memVariants->textCursor();
        c.removeSelectedText();
        ui->memVariants->setTextCursor(c);
    } else {
        TMJvRichEdit *re = e == TEditor::Text ? ui->reQuestionText : ui->reQuestionComment;
        QTextCursor c = re->textCursor();
        c.removeSelectedText();
        re->setTextCursor(c);
    }
    return true;
}

void TQuestionPane::focusEditor(TEditor e)
{
    if (QWidget *w = editorWidget(e))
        w->setFocus();
}

// ---- focus and frames -------------------------------------------------------

void TQuestionPane::setPanelFrame(QFrame *panel, bool lowered)
{
    panel->setFrameStyle(lowered ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame);
    panel->setLineWidth(1);
    // Content stays in place whether or not the frame is drawn.
    const int m = kPanelMargin - panel->frameWidth();
    if (QLayout *l = panel->layout())
        l->setContentsMargins(m, m, m, m);
}

void TQuestionPane::onFocusChanged(QWidget *old, QWidget *now)
{
    for (QFrame *pan : {ui->panText, ui->panComment, ui->panVariants}) {
        const bool inside = now && (now == pan || pan->isAncestorOf(now));
        if (inside != (pan->frameShape() != QFrame::NoFrame))
            setPanelFrame(pan, inside);
    }
    if (!now || isLocked())
        return;
    if (now == ui->reQuestionText)
        Q_EMIT editorFocused(TEditor::Text);
    else if (now == ui->reQuestionComment)
        Q_EMIT editorFocused(TEditor::Comment);
    else if (now == ui->memVariants)
        Q_EMIT editorFocused(TEditor::Variants);
    else if (ui->panVariants->isAncestorOf(now) && !(old && ui->panVariants->isAncestorOf(old)))
        Q_EMIT editorFocused(TEditor::None);
}

bool TQuestionPane::refusesLineBreak(const QKeyEvent *e) const
{
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
        return false;
    // The break would push the last line past the tenth, where it is cut off.
    const QTextCursor c = ui->memVariants->textCursor();
    const QString sel = c.selectedText();
    const int removed = int(sel.count(QChar::ParagraphSeparator));
    return ui->memVariants->document()->blockCount() - removed + 1 > MaxVariants;
}

void TQuestionPane::PasteVariants()
{
    // A step of its own: the document would merge two pastes side by side.
    QTextCursor block(ui->memVariants->document());
    block.beginEditBlock();
    ui->memVariants->paste();
    block.endEditBlock();
}

bool TQuestionPane::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == ui->memVariants) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (refusesLineBreak(ke)) {
            Q_EMIT statusInfo(PaneTexts::VariantsLimit);
            return true;
        }
        if (ke == QKeySequence::Paste && !ui->memVariants->isReadOnly()) {
            PasteVariants();
            return true;
        }
    }
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::LayoutRequest:
        placeCheckBoxes();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        // The editor lays its lines out anew after it has seen the event.
        if (watched == ui->memVariants)
            QMetaObject::invokeMethod(this, &TQuestionPane::variantsFontChanged, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TQuestionPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // After the splitter has taken its own new size, which a window being
    // shown delivers later than this.
    if (event->oldSize().isValid() && event->size().height() < event->oldSize().height())
        QMetaObject::invokeMethod(
            this, [this] { KeepTextShare(ui->splQuestion, ui->panVariants->minimumHeight()); },
            Qt::QueuedConnection);
    placeCheckBoxes();
}

void TQuestionPane::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    placeCheckBoxes();
}
