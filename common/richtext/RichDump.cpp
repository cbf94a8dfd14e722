#include "RichDump.h"

#include "RichFormat.h"
#include "RichObjects.h"

#include <QJsonArray>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

using namespace RichText;

namespace {

QString ColorText(const QTextCharFormat &f, int prop)
{
    if (!f.hasProperty(prop))
        return QStringLiteral("auto");
    const QBrush b = f.brushProperty(prop);
    if (b.style() == Qt::NoBrush)
        return QStringLiteral("auto");
    return b.color().name().mid(1).toUpper();
}

QJsonObject RunAttributes(const QTextCharFormat &f, int zoom)
{
    QJsonObject o;
    o[QStringLiteral("face")] = FontNameOf(f);
    o[QStringLiteral("charset")] = CharsetOf(f);
    const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 12.0;
    const double size = std::lround(pt * 2.0 * 100.0 / zoom) / 2.0;
    if (size == std::floor(size))
        o[QStringLiteral("size")] = int(size);
    else
        o[QStringLiteral("size")] = size;
    const bool bold = f.fontWeight() >= QFont::DemiBold;
    o[QStringLiteral("bold")] = bold;
    o[QStringLiteral("italic")] = f.fontItalic();
    const int ul = UnderlineTypeOf(f);
    o[QStringLiteral("underline")] = ul != 0;
    o[QStringLiteral("underlineType")] = ul;
    o[QStringLiteral("strike")] = f.fontStrikeOut();
    o[QStringLiteral("color")] = ColorText(f, QTextFormat::ForegroundBrush);
    o[QStringLiteral("background")] = ColorText(f, QTextFormat::BackgroundBrush);
    o[QStringLiteral("offset")] = f.intProperty(PropUpDown) * 10;   // twips
    o[QStringLiteral("super")] = f.verticalAlignment() == QTextCharFormat::AlignSuperScript;
    o[QStringLiteral("sub")] = f.verticalAlignment() == QTextCharFormat::AlignSubScript;
    o[QStringLiteral("weight")] = bold ? 700 : 400;
    o[QStringLiteral("hidden")] = f.boolProperty(PropHidden);
    o[QStringLiteral("protected")] = f.boolProperty(PropProtected);
    o[QStringLiteral("lcid")] = f.hasProperty(PropLang) ? f.intProperty(PropLang) : 1049;
    return o;
}

const char *AlignmentName(int v)
{
    switch (v) {
    case AlignRightValue: return "right";
    case AlignCenterValue: return "center";
    case AlignJustifyValue: return "justify";
    default: return "left";
    }
}

const char *NumberingName(int n)
{
    static const char *const names[] = {"none", "bullet", "arabic", "lcletter", "ucletter", "lcroman", "ucroman"};
    return (n >= 0 && n <= 6) ? names[n] : "none";
}

const char *StyleName(int s)
{
    switch (s) {
    case StyleParens: return "parens";
    case StylePeriod: return "period";
    case StylePlain: return "plain";
    default: return "paren";
    }
}

} // namespace

QList<QJsonObject> RichDump(const QTextDocument &doc)
{
    QList<QJsonObject> out;
    const int zoom = DocumentZoom(&doc);
    int objects = 0;
    int paragraphs = 0;
    QList<QJsonObject> body;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next(), ++paragraphs) {
        const bool last = !b.next().isValid();
        const int start = b.position();
        const int end = start + b.length() - (last ? 1 : 0);
        const QTextList *list = b.textList();
        const QTextListFormat lf = list ? list->format() : QTextListFormat();
        const TParaAttributes a = ParaAttributesOf(b.blockFormat(), list ? &lf : nullptr);
        QJsonObject p;
        p[QStringLiteral("type")] = QStringLiteral("para");
        p[QStringLiteral("index")] = paragraphs;
        p[QStringLiteral("start")] = start;
        p[QStringLiteral("end")] = end;
        p[QStringLiteral("alignment")] = QLatin1String(AlignmentName(a.alignment));
        p[QStringLiteral("alignmentValue")] = a.alignment;
        p[QStringLiteral("startIndent")] = a.leftIndent + a.firstIndent;
        p[QStringLiteral("rightIndent")] = a.rightIndent;
        p[QStringLiteral("offset")] = -a.firstIndent;
        p[QStringLiteral("spaceBefore")] = a.spaceBefore;
        p[QStringLiteral("spaceAfter")] = a.spaceAfter;
        p[QStringLiteral("lineSpacingRule")] = a.lineRule;
        p[QStringLiteral("lineSpacing")] = a.lineValue;
        p[QStringLiteral("numbering")] = a.numbering;
        p[QStringLiteral("numberingName")] = QLatin1String(NumberingName(a.numbering));
        p[QStringLiteral("numberingStart")] = a.numbering == NumNone ? 0 : a.numberingStart;
        const int style = a.numbering == NumNone || a.numbering == NumBullet ? StyleParen : a.numberingStyle;
        p[QStringLiteral("numberingStyle")] = style;
        p[QStringLiteral("numberingStyleName")] = QLatin1String(StyleName(style));
        p[QStringLiteral("numberingTab")] = a.numbering == NumNone ? 0 : a.numberingTab;
        QJsonArray tabs;
        for (const QTextOption::Tab &t : b.blockFormat().tabPositions())
            tabs.append(PxToTwips(t.position));
        p[QStringLiteral("tabs")] = tabs;
        body.append(p);

        // Runs of equal visible attributes; the paragraph mark carries the block's format.
        struct Piece { QString text; QJsonObject attrs; bool object; };
        QList<Piece> pieces;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (IsObjectFormat(f)) {
                for (QChar ch : frag.text()) {
                    pieces.append({QString(ch), RunAttributes(f, zoom), true});
                    ++objects;
                }
            } else {
                pieces.append({frag.text(), RunAttributes(f, zoom), false});
            }
        }
        if (!last)
            pieces.append({QStringLiteral("\r"), RunAttributes(b.charFormat(), zoom), false});
        if (pieces.isEmpty())
            pieces.append({QString(), RunAttributes(b.charFormat(), zoom), false});
        int pos = start;
        QList<Piece> runs;
        for (const Piece &pc : pieces) {
            if (!runs.isEmpty() && !runs.back().object && !pc.object && runs.back().attrs == pc.attrs)
                runs.back().text += pc.text;
            else
                runs.append(pc);
        }
        for (const Piece &r : runs) {
            QJsonObject o;
            o[QStringLiteral("type")] = QStringLiteral("run");
            o[QStringLiteral("start")] = pos;
            pos += int(r.text.size());
            o[QStringLiteral("end")] = pos;
            QString text = r.text;
            text.replace(QChar(QChar::LineSeparator), QChar(QChar::LineSeparator));
            o[QStringLiteral("text")] = text;
            if (r.object)
                o[QStringLiteral("object")] = true;
            for (auto it = r.attrs.begin(); it != r.attrs.end(); ++it)
                o[it.key()] = it.value();
            body.append(o);
        }
    }
    QJsonObject d;
    d[QStringLiteral("type")] = QStringLiteral("doc");
    d[QStringLiteral("chars")] = doc.characterCount() - 1;
    d[QStringLiteral("paragraphs")] = paragraphs;
    d[QStringLiteral("objects")] = objects;
    out.append(d);
    out.append(body);
    return out;
}
