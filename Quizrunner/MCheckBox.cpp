#include "MCheckBox.h"

#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

TMCheckBox::TMCheckBox(QWidget *parent) : QCheckBox(parent) {}

void TMCheckBox::SetCaption(const QString &s)
{
    m_caption = s;
    if (m_wrapLabel)
        m_wrapLabel->setText(s);
    else
        setText(s);
}

// QCheckBox cannot wrap its text, so a wrapping caption is a label beside an
// empty box; the label lets the mouse through so clicks still reach the box.
void TMCheckBox::SetWordWrap(bool on)
{
    if (on == WordWrap())
        return;
    if (on) {
        setText(QString());
        m_wrapLabel = new QLabel(m_caption, this);
        m_wrapLabel->setObjectName(QStringLiteral("labCaption"));
        m_wrapLabel->setWordWrap(true);
        m_wrapLabel->setTextFormat(Qt::PlainText);
        m_wrapLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_wrapLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_wrapLabel->setPalette(palette());
        placeLabel();
        m_wrapLabel->show();
    } else {
        delete m_wrapLabel;
        m_wrapLabel = nullptr;
        setText(m_caption);
    }
}

int TMCheckBox::CaptionHeight() const
{
    if (!m_wrapLabel)
        return fontMetrics().height();
    return m_wrapLabel->heightForWidth(m_wrapLabel->width());
}

QColor TMCheckBox::CaptionColor() const
{
    return palette().color(QPalette::WindowText);
}

void TMCheckBox::SetCaptionColor(const QColor &c)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::ButtonText, c);
    pal.setColor(QPalette::Text, c);
    setPalette(pal);
    if (m_wrapLabel)
        m_wrapLabel->setPalette(pal);
}

void TMCheckBox::nextCheckState()
{
    if (m_userToggle)
        QCheckBox::nextCheckState();
}

bool TMCheckBox::hitButton(const QPoint &pos) const
{
    return m_wrapLabel ? rect().contains(pos) : QCheckBox::hitButton(pos);
}

void TMCheckBox::resizeEvent(QResizeEvent *e)
{
    QCheckBox::resizeEvent(e);
    placeLabel();
}

// A wrapped caption has its box beside the first line, where reading starts:
// a tall caption scrolled to its top still shows its mark.
void TMCheckBox::paintEvent(QPaintEvent *e)
{
    if (!m_wrapLabel) {
        QCheckBox::paintEvent(e);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
    box.moveTop(qMax(0, (fontMetrics().height() - box.height()) / 2));
    opt.rect = box;
    p.drawPrimitive(QStyle::PE_IndicatorCheckBox, opt);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = m_wrapLabel->geometry();
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

void TMCheckBox::placeLabel()
{
    if (!m_wrapLabel)
        return;
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const int x = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this).right() + 5;
    m_wrapLabel->setGeometry(x, 0, qMax(0, width() - x), height());
}
