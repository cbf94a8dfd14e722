#include "RichLists.h"

#include "RichFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

namespace RichText {

namespace {

QString Letters(int n, bool upper)
{
    QString s;
    while (n > 0) {
        --n;
        s.prepend(QChar((upper ? 'A' : 'a') + n % 26));
        n /= 26;
    }
    return s;
}

QString Roman(int n, bool upper)
{
    static const struct { int value; const char *digits; } table[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"},
        {50, "l"}, {40, "xl"}, {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
    QString s;
    for (const auto &t : table)
        for (; n >= t.value; n -= t.value)
            s += QLatin1String(t.digits);
    return upper ? s.toUpper() : s;
}

} // namespace

QString ListMarkerText(const QTextListFormat &lf, int n)
{
    QString number;
    // letters and roman numerals have no zero or negatives; show those as digits
    switch (NumberingOf(lf)) {
    case NumArabic: number = QString::number(n); break;
    case NumLcLetter: number = n > 0 ? Letters(n, false) : QString::number(n); break;
    case NumUcLetter: number = n > 0 ? Letters(n, true) : QString::number(n); break;
    case NumLcRoman: number = n > 0 && n < 4000 ? Roman(n, false) : QString::number(n); break;
    case NumUcRoman: number = n > 0 && n < 4000 ? Roman(n, true) : QString::number(n); break;
    default: return {};
    }
    switch (NumberingStyleOf(lf)) {
    case StyleParen: return number + QLatin1Char(')');
    case StyleParens: return QLatin1Char('(') + number + QLatin1Char(')');
    case StylePlain: return number;
    default: return number + QLatin1Char('.');
    }
}

QString ListMarkerText(const QTextBlock &block)
{
    const QTextList *list = block.textList();
    if (!list)
        return {};
    const QTextListFormat lf = list->format();
    return ListMarkerText(lf, NumberingStartOf(lf) + list->itemNumber(block));
}

bool NeedsOwnMarkers(const QTextListFormat &lf)
{
    const int n = NumberingOf(lf);
    return n != NumNone && n != NumBullet && NumberingStartOf(lf) != 1;
}

void DrawListMarkers(QPainter &painter, const QTextDocument &doc, const QRectF &clip)
{
    // Placed as Qt places its own markers: right-aligned one space left of the
    // first line, in the paragraph mark's font.
    QTextBlock b = doc.begin();
    if (!clip.isEmpty()) {
        const int at = doc.documentLayout()->hitTest(QPointF(clip.left(), clip.top()), Qt::FuzzyHit);
        if (at > 0 && doc.findBlock(at).previous().isValid())
            b = doc.findBlock(at).previous();
    }
    for (; b.isValid(); b = b.next()) {
        if (!clip.isEmpty() && b.layout() && b.layout()->position().y() > clip.bottom())
            break;
        const QTextList *list = b.textList();
        if (!list || !b.isVisible() || list->format().style() != QTextListFormat::ListStyleUndefined ||
            ListMarkerText(list->format(), 1).isEmpty())
            continue;
        const QTextLayout *layout = b.layout();
        if (!layout || layout->lineCount() == 0)
            continue;
        const QTextLine first = layout->lineAt(0);
        // The line spans the whole paragraph width; a centred, right-aligned or
        // right-to-left first line starts where its text does, not at the line's left.
        const QRectF textRect = first.naturalTextRect();
        const QPointF pos = layout->position().toPoint() + textRect.topLeft().toPoint();
        if (!clip.isEmpty() && (pos.y() > clip.bottom() || pos.y() + first.height() < clip.top()))
            continue;
        const QString text = ListMarkerText(b);
        const QTextCharFormat cf = b.charFormat();
        QFont font = cf.font();
        if (QPaintDevice *device = doc.documentLayout()->paintDevice())
            font = QFont(font, device);
        const QFontMetrics fm(font);
        const Qt::LayoutDirection dir = b.textDirection();
        const qreal space = fm.horizontalAdvance(QLatin1Char(' '));
        const qreal x = dir == Qt::RightToLeft ? pos.x() + textRect.width() + space
                                               : pos.x() - space - fm.horizontalAdvance(text);

        QTextLayout marker(text, font, doc.documentLayout()->paintDevice());
        QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
        // the marker text reads left to right in either direction, as Qt shows its own
        option.setTextDirection(Qt::LeftToRight);
        marker.setTextOption(option);
        marker.beginLayout();
        QTextLine line = marker.createLine();
        if (line.isValid())
            line.setLeadingIncluded(true);
        marker.endLayout();
        painter.save();
        if (cf.hasProperty(QTextFormat::ForegroundBrush))
            painter.setPen(cf.foreground().color());
        marker.draw(&painter, QPointF(x, pos.y()));
        painter.restore();
    }
}

} // namespace RichText
