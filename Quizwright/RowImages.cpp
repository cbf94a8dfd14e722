#include "RowImages.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace RowImages {
namespace {
// Selected forms sit on a dark rounded tile with a light frame, so they stay
// apart from the normal forms on any selection colour.
void drawSelectedTile(QPainter &p)
{
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.setBrush(QColor(24, 48, 120));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
}

// The question mark as strokes, independent of the fonts installed.
void drawQuestionMark(QPainter &p, const QColor &fill, const QColor &outline)
{
    QPainterPath hook;
    hook.moveTo(4.5, 5.5);
    hook.cubicTo(4.5, 1.5, 11.5, 1.5, 11.5, 5.0);
    hook.cubicTo(11.5, 7.5, 8.0, 7.5, 8.0, 10.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outline, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(hook);
    p.setPen(QPen(fill, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(hook);
    p.setPen(QPen(outline, 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(6.2, 11.7, 3.6, 3.6));
}

void drawLetterI(QPainter &p, const QColor &fill, const QColor &outline)
{
    p.setPen(QPen(outline, 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(6.2, 1.2, 3.6, 3.6));
    QPainterPath stem;
    stem.addRect(QRectF(6.5, 6.5, 3, 7));
    stem.addRect(QRectF(4.5, 6.5, 2, 1.5));
    stem.addRect(QRectF(4.5, 12.5, 7, 2));
    p.drawPath(stem.simplified());
}

void drawSheet(QPainter &p, const QRectF &r, const QColor &paper, const QColor &ink)
{
    QPainterPath sheet;
    const qreal fold = 3;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(QPen(ink, 1));
    p.setBrush(paper);
    p.drawPath(sheet);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    for (qreal y = r.top() + 4; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void drawNotepad(QPainter &p, const QColor &paper, const QColor &ink, const QColor &rings)
{
    p.setPen(QPen(ink, 1));
    p.setBrush(paper);
    p.drawRect(QRectF(2.5, 2.5, 11, 12));
    for (qreal y = 6.5; y < 14; y += 2)
        p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
    p.setPen(QPen(rings, 1.4));
    for (qreal x = 4.5; x < 13; x += 3)
        p.drawLine(QPointF(x, 1), QPointF(x, 4));
}

QImage draw(int index)
{
    QImage img(Size, Size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    if (index < 0 || index >= Count)
        return img;
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const bool selected = index % 2 == 1;
    if (selected)
        drawSelectedTile(p);
    const QColor darkOutline(90, 60, 0);
    switch (index / 2) {
    case Question / 2:
        drawQuestionMark(p, QColor(255, 214, 0), selected ? QColor(255, 255, 255) : darkOutline);
        break;
    case Info / 2:
        drawLetterI(p, selected ? QColor(255, 255, 255) : QColor(30, 90, 220),
                    selected ? QColor(160, 200, 255) : QColor(10, 40, 120));
        break;
    case Bad / 2:
        drawQuestionMark(p, QColor(230, 20, 20), selected ? QColor(255, 255, 255) : QColor(100, 0, 0));
        break;
    case Clip / 2: {
        const QColor paper = selected ? QColor(190, 215, 255) : QColor(255, 255, 255);
        const QColor ink = selected ? QColor(24, 48, 120) : QColor(60, 60, 60);
        drawSheet(p, QRectF(1.5, 1.5, 8, 10), paper, ink);
        drawSheet(p, QRectF(6.5, 4.5, 8, 10), paper, ink);
        break;
    }
    case Comment / 2:
        drawNotepad(p, selected ? QColor(190, 215, 255) : QColor(255, 245, 150),
                    selected ? QColor(24, 48, 120) : QColor(110, 90, 20),
                    selected ? QColor(255, 255, 255) : QColor(80, 80, 80));
        break;
    }
    return img;
}
}

QImage Image(int index) { return draw(index); }

const QPixmap &Pixmap(int index)
{
    static std::array<QPixmap, Count + 1> cache;
    const int slot = (index >= 0 && index < Count) ? index : Count;
    if (cache[slot].isNull())
        cache[slot] = QPixmap::fromImage(draw(slot == Count ? -1 : slot));
    return cache[slot];
}

QIcon Icon(int normalIndex)
{
    // The list asks for an icon on every paint of a row.
    static std::array<QIcon, Count> cache;
    if (normalIndex < 0 || normalIndex >= Count)
        return {};
    QIcon &icon = cache[normalIndex];
    if (icon.isNull()) {
        icon.addPixmap(Pixmap(normalIndex), QIcon::Normal);
        icon.addPixmap(Pixmap(normalIndex + 1), QIcon::Selected);
    }
    return icon;
}
}
