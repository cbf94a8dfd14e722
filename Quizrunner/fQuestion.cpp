#include "fQuestion.h"
#include "ui_fQuestion.h"

#include "ColorButton.h"
#include "MCheckBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace {
constexpr int ButtonsBarHeight = 43;
constexpr int StripBarHeight = 24;
constexpr int ArrowGlyphW = 7;
constexpr int ArrowGlyphH = 13;
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
    ui->bbtnBack->setIcon(NavGlyph(false));
    ui->bbtnForward->setIcon(NavGlyph(true));
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

    QPushButton *f = ui->bbtnForward, *b = ui->bbtnBack, *c = ui->bbtnComment;
    f->move(w - 8 - f->width(), f->y());
    b->move(f->x() - 4 - b->width(), b->y());
    c->move(b->x() - 4 - c->width(), c->y());
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
    doc->setTextWidth(re->width() - 2 * fw);
    auto overflows = [&] { return doc->size().height() > visible; };
    if (overflows())
        return;
    QTextBlockFormat bf;
    QTextCharFormat cf;
    cf.setFontFamilies({QStringLiteral("MS Sans Serif")});
    cf.setFontPointSize(12);
    int inserted = 0;
    // No edit block: the layout, and so the overflow test, must follow every insertion.
    QTextCursor cur(doc);
    while (!overflows() && inserted < 100) {
        cur.movePosition(QTextCursor::Start);
        cur.insertBlock(bf, cf);
        cur.movePosition(QTextCursor::Start);
        cur.setBlockFormat(bf);
        cur.setBlockCharFormat(cf);
        ++inserted;
    }
    for (int i = 0; i < inserted / 2; ++i) {
        cur.movePosition(QTextCursor::Start);
        cur.deleteChar();
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
