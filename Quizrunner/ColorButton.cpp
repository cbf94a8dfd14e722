#include "ColorButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

TMColorButton::TMColorButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
}

void TMColorButton::SetColor(const QColor &c)
{
    if (c == m_color)
        return;
    m_color = c;
    update();
}

void TMColorButton::SetFontColor(const QColor &c)
{
    if (c == m_fontColor)
        return;
    m_fontColor = c;
    update();
}

void TMColorButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    QRect r = rect();
    const bool pressed = isDown() || isChecked();
    const bool focused = hasFocus();
    const bool active = isDefault() || focused;

    if (active) {
        p.setPen(pal.color(QPalette::WindowText));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    if (pressed) {
        p.setPen(pal.color(QPalette::Dark));
        p.setBrush(m_color);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
        QBrush face(m_color);
        qDrawWinButton(&p, r, pal, false, &face);
    }

    QRect textRect = rect();
    if (pressed)
        textRect.translate(1, 1);
    p.setFont(font());
    if (isEnabled()) {
        p.setPen(m_fontColor);
        p.drawText(textRect, Qt::AlignCenter, text());
    } else {
        p.setPen(pal.color(QPalette::Light));
        p.drawText(textRect.translated(1, 1), Qt::AlignCenter, text());
        p.setPen(pal.color(QPalette::Dark));
        p.drawText(textRect, Qt::AlignCenter, text());
    }

    if (active && focused) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = rect().adjusted(4, 4, -4, -4);
        fr.backgroundColor = m_color;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
    }
}

// Every click of a fast series counts, so a double click is a second press.
void TMColorButton::mouseDoubleClickEvent(QMouseEvent *e)
{
    mousePressEvent(e);
}
