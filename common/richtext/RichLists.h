#pragma once
// Numbered lists that do not start at 1. Qt 6.4 lists always count from 1, so
// such lists get a list style that draws no marker and we draw the markers.
#include <QString>

class QPainter;
class QRectF;
class QTextBlock;
class QTextDocument;
class QTextListFormat;

namespace RichText {

// Marker of a list item as the rich edit shows it ("5.", "(e)", "v)"), n counted
// from the list's start; empty for bullets and non-list blocks.
QString ListMarkerText(const QTextListFormat &lf, int n);
QString ListMarkerText(const QTextBlock &block);
// True when Qt cannot draw the list's markers itself.
bool NeedsOwnMarkers(const QTextListFormat &lf);
// Draws the numbers of lists whose Qt style draws none, in document coordinates, limited to clip
// (an empty clip means everything).
void DrawListMarkers(QPainter &painter, const QTextDocument &doc, const QRectF &clip);

} // namespace RichText
