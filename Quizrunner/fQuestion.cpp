#include "fQuestion.h"
#include "ui_fQuestion.h"

#include "ColorButton.h"
#include "MCheckBox.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>
#include <cmath>

namespace {
constexpr int ButtonsBarHeight = 43;
constexpr int StripBarHeight = 24;
constexpr int ArrowGlyphW = 7;
constexpr int ArrowGlyphH = 13;
// Right-hand buttons of the bottom bar: widths, gaps, and the room a glyph
// with its spacing takes from the caption.
constexpr int CommentWidth = 107, BackWidth = 107, ForwardWidth = 99;
constexpr int BarMargin = 8, BarGap = 4;
constexpr int GlyphRoom = ArrowGlyphW + 4;
constexpr int ClockLabelWidth = 41;
// The pixel that lies inside the arrow shape of both glyphs.
constexpr QPoint ArrowSeed(2, 6);

QImage FloodFill(QImage img, QPoint seed, QRgb from, QRgb to)
{
    if (!img.rect().contains(seed) || img.pixel(seed) != from || from == to)
        return img;
    QList<QPoint> stack{seed};
    while (!stack.isEmpty()) {
        const QPoint p = stack.takeLast();
        if (!img.rect().contains(p) || img.pixel(p) != from)
            continue;
        img.setPixel(p, to);
        stack << QPoint(p.x() + 1, p.y()) << QPoint(p.x() - 1, p.y())
              << QPoint(p.x(), p.y() + 1) << QPoint(p.x(), p.y() - 1);
    }
    return img;
}

QPixmap ClockPicture()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.drawLine(QPointF(8, 8), QPointF(8, 3.5));
    p.drawLine(QPointF(8, 8), QPointF(11.5, 8));
    return pm;
}

QIcon NavGlyph(bool right)
{
    QImage img = TfrmQuestion::ArrowGlyph(right, false);
    QImage g = FloodFill(img, ArrowSeed, qRgb(0, 0, 0), qRgb(0, 128, 0));
    return QIcon(QPixmap::fromImage(g));
}
} // namespace

TfrmQuestion::TfrmQuestion(TRunState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowStaysOnTopHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TfrmQuestion), S(state)
{
    ui->setupUi(this);
    ui->reText->SetReadOnly(true);
    ui->reText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->reText->setFocusPolicy(Qt::NoFocus);
    ui->reText->setTabChangesFocus(true);
    ui->reText->installEventFilter(this);
    ui->reText->viewport()->installEventFilter(this);

    QPalette pal = ui->sboxQBList->palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 128));
    ui->sboxQBList->setPalette(pal);

    ui->imgTimer->setPixmap(ClockPicture());
    ui->panClock->hide();
    m_backGlyph = NavGlyph(false);
    m_forwardGlyph = NavGlyph(true);
    ui->bbtnBack->setIcon(m_backGlyph);
    ui->bbtnForward->setIcon(m_forwardGlyph);
    ui->bbtnForward->setLayoutDirection(Qt::RightToLeft);
    ui->bbtnQBListScrollLeft->setIconSize(QSize(ArrowGlyphW, ArrowGlyphH));
    ui->bbtnQBListScrollRight->setIconSize(QSize(ArrowGlyphW, ArrowGlyphH));
    SetArrowGlyph(false, false);
    SetArrowGlyph(true, false);

    connect(ui->btnExit, &QPushButton::clicked, this, &TfrmQuestion::btnExitClick);
    connect(ui->bbtnBack, &QPushButton::clicked, this, &TfrmQuestion::bbtnBackClick);
    connect(ui->bbtnForward, &QPushButton::clicked, this, &TfrmQuestion::bbtnForwardClick);
    connect(ui->bbtnQBListScrollLeft, &QToolButton::clicked, this,
            &TfrmQuestion::bbtnQBListScrollLeftClick);
    connect(ui->bbtnQBListScrollRight, &QToolButton::clicked, this,
            &TfrmQuestion::bbtnQBListScrollRightClick);

    qApp->installEventFilter(this);
    DoLayout();
}

TfrmQuestion::~TfrmQuestion()
{
    qApp->removeEventFilter(this);
    delete ui;
}

QImage TfrmQuestion::ArrowGlyph(bool right, bool highlighted)
{
    QImage img(ArrowGlyphW, ArrowGlyphH, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const int mid = ArrowGlyphH / 2;
    for (int c = 0; c < ArrowGlyphW; ++c) {
        const int x = right ? ArrowGlyphW - 1 - c : c;
        for (int y = mid - c; y <= mid + c; ++y)
            img.setPixel(x, y, qRgb(0, 0, 0));
    }
    if (highlighted)
        img = FloodFill(img, ArrowSeed, qRgb(0, 0, 0), qRgb(0, 0, 255));
    return img;
}

void TfrmQuestion::SetArrowGlyph(bool right, bool highlighted)
{
    QToolButton *b = right ? ui->bbtnQBListScrollRight : ui->bbtnQBListScrollLeft;
    b->setIcon(QIcon(QPixmap::fromImage(ArrowGlyph(right, highlighted))));
    (right ? m_rightMarked : m_leftMarked) = highlighted;
}

void TfrmQuestion::SetClientSize(int w, int h)
{
    setFixedSize(w, h);
    DoLayout();
}

void TfrmQuestion::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    DoLayout();
}

void TfrmQuestion::DoLayout()
{
    const int w = width(), h = height();
    ui->panButtons->setGeometry(0, h - ButtonsBarHeight, w, ButtonsBarHeight);
    int top = h - ButtonsBarHeight;
    if (!ui->panQList->isHidden()) {
        top -= StripBarHeight;
        ui->panQList->setGeometry(0, top, w, StripBarHeight);
    }
    ui->panTop->setGeometry(0, 0, w, qMax(0, top));
    ui->reText->resize(qMax(0, w - 4), ui->reText->height());
    LayoutButtonsBar();
}

// The clock only counts down, so room for its first text in the widest digits
// lasts the whole run.
void TfrmQuestion::FitClock()
{
    QLabel *lab = ui->labTime;
    const QFontMetrics fm(lab->font());
    QChar widestDigit = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d)
        if (fm.horizontalAdvance(QLatin1Char(d)) > fm.horizontalAdvance(widestDigit))
            widestDigit = QLatin1Char(d);
    QString text = lab->text();
    for (QChar &ch : text)
        if (ch.isDigit())
            ch = widestDigit;
    const int labW = qMax(ClockLabelWidth, fm.horizontalAdvance(text) + 2);
    lab->resize(labW, lab->height());
    ui->panClock->resize(lab->x() + labW + 2, ui->panClock->height());
}

// Nothing covers the clock: when the row is too narrow the right-hand buttons
// give up their gaps first, then their glyphs, and only then their width.
void TfrmQuestion::LayoutButtonsBar()
{
    FitClock();
    QPushButton *f = ui->bbtnForward, *b = ui->bbtnBack, *c = ui->bbtnComment;
    const QWidget *left = ui->panClock->isHidden() ? static_cast<QWidget *>(ui->btnExit)
                                                   : ui->panClock;
    const int room = width() - BarMargin - (left->x() + left->width() + BarGap);
    int cw = CommentWidth, bw = BackWidth, fw = ForwardWidth;
    int gap = BarGap;
    bool glyphs = true;
    if (cw + bw + fw + 2 * gap > room) {
        gap = qBound(0, (room - cw - bw - fw) / 2, BarGap);
        int over = cw + bw + fw + 2 * gap - room;
        if (over > 0) {
            glyphs = false;
            const int fromBack = qMin(GlyphRoom, (over + 1) / 2);
            const int fromForward = qMin(GlyphRoom, over - fromBack);
            bw -= fromBack;
            fw -= fromForward;
            over -= fromBack + fromForward;
        }
        if (over > 0) {
            const int each = (over + 2) / 3;
            cw = qMax(1, cw - each);
            bw = qMax(1, bw - each);
            fw = qMax(1, fw - each);
        }
    }
    b->setIcon(glyphs ? m_backGlyph : QIcon());
    f->setIcon(glyphs ? m_forwardGlyph : QIcon());
    f->setGeometry(width() - BarMargin - fw, f->y(), fw, f->height());
    b->setGeometry(f->x() - gap - bw, b->y(), bw, b->height());
    c->setGeometry(b->x() - gap - cw, c->y(), cw, c->height());
}

int TfrmQuestion::TextLinesHeight(int lines) const
{
    TMJvRichEdit *re = ui->reText;
    QTextDocument *doc = re->document();
    const int frame = 2 * re->frameWidth();
    // Measured at the width the text is shown in, leaving the width the
    // control itself manages as it was.
    const qreal oldWidth = doc->textWidth();
    doc->setTextWidth(qMax(1, re->width() - frame - re->verticalScrollBar()->sizeHint().width()));
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    qreal bottom = doc->documentMargin(), lineH = 0;
    int n = 0;
    for (QTextBlock b = doc->begin(); b.isValid() && n < lines; b = b.next()) {
        const QRectF box = layout->blockBoundingRect(b);
        const QTextLayout *tl = b.layout();
        for (int i = 0; tl && i < tl->lineCount() && n < lines; ++i, ++n) {
            const QTextLine line = tl->lineAt(i);
            bottom = box.top() + line.y() + line.height();
            lineH = line.height();
        }
    }
    if (n == 0)
        lineH = QFontMetricsF(doc->defaultFont()).height();
    bottom += (lines - n) * lineH + doc->documentMargin();
    doc->setTextWidth(oldWidth);
    return int(std::ceil(bottom)) + frame;
}

int TfrmQuestion::MinTextHeight() const
{
    const int third = (ui->panTop->height() + 2) / 3;
    return qMax(third, TextLinesHeight(3));
}

void TfrmQuestion::LayoutQuestion(QSize panel)
{
    const int topW = ui->panTop->width(), topH = ui->panTop->height();
    TMJvRichEdit *re = ui->reText;
    QScrollArea *sa = ui->sboxVariants;
    m_variantsScroll = false;
    if (panel.isEmpty()) {
        sa->hide();
        re->setGeometry(2, 2, qMax(0, topW - 4), qMax(0, topH - 4));
        return;
    }
    ui->panVariants->resize(panel);
    const int left = int(std::lrint((width() - panel.width()) / 2.0));
    const int ruleText = topH - panel.height() - 8;
    re->setGeometry(2, 2, qMax(0, topW - 4), qMax(0, ruleText));
    const int minText = MinTextHeight();
    if (ruleText >= minText) {
        sa->setGeometry(left, topH - panel.height() - 3, panel.width(), panel.height());
    } else {
        // The text keeps its minimum while the variants keep at least one
        // line in view; where both cannot be had they share the height.
        m_variantsScroll = true;
        const int lineH = QFontMetrics(ui->panVariants->font()).height();
        const int avail = topH - 8;
        const int textH = qMax(0, qMin(minText, qMax(avail - (lineH + 10), avail / 2)));
        re->setGeometry(2, 2, qMax(0, topW - 4), textH);
        const int saTop = 2 + textH + 3;
        // The bar sits at the window's right edge and never over the boxes.
        const int bar = sa->verticalScrollBar()->sizeHint().width();
        const int saLeft = qMax(0, qMin(left, topW - 2 - bar - panel.width()));
        sa->setGeometry(saLeft, saTop, qMax(0, topW - 2 - saLeft), qMax(0, avail - textH));
    }
    sa->verticalScrollBar()->setValue(0);
    sa->show();
}

// A box taller than the view shows its top, where its caption and its mark
// are, with the panel's margin above it.
void TfrmQuestion::ShowVariant(QWidget *box)
{
    QScrollArea *sa = ui->sboxVariants;
    const int spare = sa->viewport()->height() - box->height();
    if (spare < 0)
        sa->verticalScrollBar()->setValue(box->mapTo(ui->panVariants, QPoint()).y() - 5);
    else
        sa->ensureWidgetVisible(box, 0, qMin(5, spare / 2));
}

void TfrmQuestion::LayoutStrip(int itemCount)
{
    QToolButton *la = ui->bbtnQBListScrollLeft, *ra = ui->bbtnQBListScrollRight;
    S.ItemCount = itemCount;
    ra->move(ui->panQList->width() - ra->width() - 2, ra->y());
    const int leftEnd = la->x() + la->width();
    const int free = ra->x() - leftEnd;
    S.VisibleCount = qMax(0, free / ButtonPitch);
    const int n = qMin(itemCount, S.VisibleCount);
    ui->sboxQBList->setGeometry(leftEnd + (free - n * ButtonPitch + 2) / 2, ui->sboxQBList->y(),
                                qMax(0, n * ButtonPitch - 2), ui->sboxQBList->height());
    S.FirstVisible = 1;
    S.MaxFirstVisible = itemCount - S.VisibleCount;
    la->setEnabled(false);
    ra->setEnabled(itemCount > S.VisibleCount);
}

TMColorButton *TfrmQuestion::AddQButton(int position, bool information, bool clickable)
{
    auto *b = new TMColorButton(ui->sboxQBList);
    b->setObjectName(QStringLiteral("QButton%1").arg(position));
    b->setGeometry((position - 1) * ButtonPitch - (S.FirstVisible - 1) * ButtonPitch, 0,
                   ButtonWidth, ui->sboxQBList->height());
    b->SetFontColor(Qt::white);
    b->setFocusPolicy(Qt::NoFocus);
    if (information) {
        b->SetColor(QColor(128, 128, 128));
        b->setText(QStringLiteral("И"));
    } else {
        b->SetColor(QColor(255, 0, 0));
        b->setText(QString::number(position));
    }
    if (clickable)
        connect(b, &TMColorButton::clicked, this, [this, position] { QButtonOnClick(position); });
    b->show();
    S.QButtons.append(b);
    return b;
}

// The rich edit centres a short text by padding it with 12-point empty lines.
void TfrmQuestion::CenterText()
{
    TMJvRichEdit *re = ui->reText;
    QTextDocument *doc = re->document();
    const int fw = re->frameWidth();
    const qreal visible = re->height() - 2 * fw;
    // Laid out at the width the text will be shown in: a text that overflows
    // gets the vertical bar, and a layout wider than what is left beside it
    // would bring up a horizontal bar as well.
    const int full = re->width() - 2 * fw;
    doc->setTextWidth(full);
    auto overflows = [&] { return doc->size().height() > visible; };
    if (overflows()) {
        doc->setTextWidth(qMax(1, full - re->verticalScrollBar()->sizeHint().width()));
        return;
    }
    QTextBlockFormat bf;
    QTextCharFormat cf;
    cf.setFontFamilies({QStringLiteral("MS Sans Serif")});
    cf.setFontPointSize(12);
    int inserted = 0;
    // No edit block: the layout, and so the overflow test, must follow every insertion.
    QTextCursor cur(doc);
    while (!overflows() && inserted < 100) {
        cur.movePosition(QTextCursor::Start);
        // The split moves the first block's text into the new block: give
        // that block the formats the text had, or its paragraph loses them.
        cur.insertBlock(cur.blockFormat(), cur.blockCharFormat());
        cur.movePosition(QTextCursor::Start);
        cur.setBlockFormat(bf);
        cur.setBlockCharFormat(cf);
        ++inserted;
    }
    // Half the padding goes again; a single line that tipped a fitting text
    // over goes too, so the padding never hides the end of the text.
    int removed = 0;
    while (removed < inserted && (removed < inserted / 2 || overflows())) {
        cur.movePosition(QTextCursor::Start);
        cur.deleteChar();
        ++removed;
    }
    re->moveCursor(QTextCursor::Start);
}

void TfrmQuestion::Switch(int newCur, bool scroll)
{
    if (SwitchItem)
        SwitchItem(newCur, scroll);
}

void TfrmQuestion::bbtnBackClick()
{
    if (S.CurQuestion > 1)
        Switch(S.CurQuestion - 1, true);
}

void TfrmQuestion::bbtnForwardClick()
{
    Switch(S.CurQuestion + 1, true);
}

void TfrmQuestion::QButtonOnClick(int position)
{
    if (position != S.CurQuestion)
        Switch(position, false);
}

void TfrmQuestion::bbtnQBListScrollRightClick()
{
    ++S.FirstVisible;
    ui->sboxQBList->scroll(-ButtonPitch, 0);
    ui->bbtnQBListScrollRight->setEnabled(S.FirstVisible <= S.MaxFirstVisible);
    ui->bbtnQBListScrollLeft->setEnabled(true);
    if (S.CurQuestion < S.FirstVisible)
        SetArrowGlyph(false, true);
    if (m_rightMarked && S.FirstVisible + S.VisibleCount > S.CurQuestion)
        SetArrowGlyph(true, false);
}

void TfrmQuestion::bbtnQBListScrollLeftClick()
{
    --S.FirstVisible;
    ui->sboxQBList->scroll(ButtonPitch, 0);
    ui->bbtnQBListScrollLeft->setEnabled(S.FirstVisible > 1);
    ui->bbtnQBListScrollRight->setEnabled(true);
    if (S.FirstVisible + S.VisibleCount <= S.CurQuestion)
        SetArrowGlyph(true, true);
    if (m_leftMarked && S.CurQuestion >= S.FirstVisible)
        SetArrowGlyph(false, false);
}

void TfrmQuestion::ScrollToQuestion()
{
    const int cur = S.CurQuestion;
    if (cur - S.VisibleCount >= S.FirstVisible) {
        const int times = cur - S.VisibleCount - S.FirstVisible + 1;
        for (int i = 0; i < times; ++i)
            bbtnQBListScrollRightClick();
    } else if (cur < S.FirstVisible) {
        const int times = S.FirstVisible - cur;
        for (int i = 0; i < times; ++i)
            bbtnQBListScrollLeftClick();
    }
}

void TfrmQuestion::SetScrollArrows()
{
    SetArrowGlyph(false, false);
    SetArrowGlyph(true, false);
}

void TfrmQuestion::btnExitClick()
{
    S.CloseWithoutAsking = false;
    done(Accepted);
}

bool TfrmQuestion::FormCloseQuery()
{
    if (S.CloseWithoutAsking || S.ReviewMode)
        return true;
    m_inCloseQuery = true;
    m_closePending = false;
    const bool ok = ConfirmExit ? ConfirmExit() : true;
    m_inCloseQuery = false;
    S.CloseWithoutAsking = true;
    return ok || m_closePending;
}

void TfrmQuestion::done(int r)
{
    if (!isVisible())
        return;
    // A close requested while the confirmation is open (the time-out) is
    // settled when the confirmation returns.
    if (m_inCloseQuery) {
        m_closePending = true;
        return;
    }
    if (!FormCloseQuery())
        return;
    if (r == Accepted && !S.ReviewMode && StoreOnClose)
        StoreOnClose();
    QDialog::done(r);
}

// Esc is the window's cancel key: it works as "Завершить".
void TfrmQuestion::reject()
{
    btnExitClick();
}

// The title-bar close and Alt+F4 do nothing.
void TfrmQuestion::closeEvent(QCloseEvent *e)
{
    e->ignore();
}

void TfrmQuestion::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    DoLayout();   // the clock's first text is known by now
    if (ui->bbtnForward->isEnabled())
        ui->bbtnForward->setFocus();
    S.CloseWithoutAsking = true;
}

void TfrmQuestion::MoveFocusFromText()
{
    if (ui->bbtnForward->isEnabled() && ui->bbtnForward->isVisible())
        ui->bbtnForward->setFocus();
    else if (ui->bbtnBack->isEnabled() && ui->bbtnBack->isVisible())
        ui->bbtnBack->setFocus();
    else
        ui->btnExit->setFocus();
}

bool TfrmQuestion::eventFilter(QObject *o, QEvent *e)
{
    if (e->type() == QEvent::FocusIn && o->isWidgetType() && o != ui->panVariants
        && ui->panVariants->isAncestorOf(static_cast<QWidget *>(o))) {
        // Once more after Tab is done: the scroll area then centres the focused
        // box, which leaves a tall one with its top out of view.
        QPointer<QWidget> box = static_cast<QWidget *>(o);
        ShowVariant(box);
        QTimer::singleShot(0, this, [this, box] {
            if (box && box->hasFocus())
                ShowVariant(box);
        });
        return false;
    }
    if ((o == ui->reText || o == ui->reText->viewport()) && e->type() == QEvent::FocusIn) {
        QTimer::singleShot(0, this, [this] {
            if (ui->reText->hasFocus())
                MoveFocusFromText();
        });
        return false;
    }
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->window() != this)
            return false;
        switch (static_cast<QKeyEvent *>(e)->key()) {
        case Qt::Key_Tab: case Qt::Key_Backtab:
        case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Space:
        case Qt::Key_Escape:
        case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
            return false;
        default:
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}
