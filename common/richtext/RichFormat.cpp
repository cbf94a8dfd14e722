#include "RichFormat.h"
#include "RichLists.h"

#include <cmath>

namespace RichText {

const char *CharsetCodecName(int charset, bool *windowsAnsi)
{
    struct Entry { int charset; const char *name; bool ansi; };
    static constexpr Entry table[] = {
        {0, "windows-1252", true},    {77, "macintosh", false},     {128, "Shift_JIS", false},
        {129, "windows-949", false},  {134, "GBK", false},          {136, "Big5", false},
        {161, "windows-1253", true},  {162, "windows-1254", true},  {163, "windows-1258", true},
        {177, "windows-1255", true},  {178, "windows-1256", true},  {186, "windows-1257", true},
        {204, "windows-1251", true},  {222, "TIS-620", false},      {238, "windows-1250", true},
        {255, "IBM 437", false},
    };
    for (const Entry &e : table) {
        if (e.charset == charset) {
            if (windowsAnsi)
                *windowsAnsi = e.ansi;
            return e.name;
        }
    }
    if (windowsAnsi)
        *windowsAnsi = false;
    return nullptr;
}

int CharsetOf(const QTextCharFormat &f)
{
    return f.hasProperty(PropCharset) ? f.intProperty(PropCharset) : 1;
}

int UnderlineTypeOf(const QTextCharFormat &f)
{
    if (f.hasProperty(PropUnderlineType))
        return f.intProperty(PropUnderlineType);
    return f.fontUnderline() ? 1 : 0;
}

void SetUnderlineType(QTextCharFormat &f, int type)
{
    if (type <= 0) {
        f.setFontUnderline(false);
        f.clearProperty(PropUnderlineType);
        return;
    }
    f.setUnderlineStyle(type == 4 ? QTextCharFormat::DotLine : QTextCharFormat::SingleUnderline);
    if (type == 1)
        f.clearProperty(PropUnderlineType);
    else
        f.setProperty(PropUnderlineType, type);
}

QString FontNameOf(const QTextCharFormat &f)
{
    const QStringList fam = f.fontFamilies().toStringList();
    return fam.isEmpty() ? QString() : fam.first();
}

int NumberingOf(const QTextListFormat &f)
{
    if (f.hasProperty(PropNumbering))
        return f.intProperty(PropNumbering);
    switch (f.style()) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare: return NumBullet;
    case QTextListFormat::ListDecimal: return NumArabic;
    case QTextListFormat::ListLowerAlpha: return NumLcLetter;
    case QTextListFormat::ListUpperAlpha: return NumUcLetter;
    case QTextListFormat::ListLowerRoman: return NumLcRoman;
    case QTextListFormat::ListUpperRoman: return NumUcRoman;
    default: return NumNone;
    }
}

int NumberingStartOf(const QTextListFormat &f)
{
    return f.hasProperty(PropNumStart) ? f.intProperty(PropNumStart) : 1;
}

int NumberingStyleOf(const QTextListFormat &f)
{
    if (f.hasProperty(PropNumStyle))
        return f.intProperty(PropNumStyle);
    const QString pre = f.numberPrefix(), suf = f.numberSuffix();
    if (pre == QLatin1String("(") && suf == QLatin1String(")")) return StyleParens;
    if (suf == QLatin1String(")")) return StyleParen;
    if (suf.isEmpty()) return StylePlain;
    return StylePeriod;
}

QTextListFormat MakeListFormat(int numbering, int start, int style, int tab)
{
    QTextListFormat lf;
    switch (numbering) {
    case NumArabic: lf.setStyle(QTextListFormat::ListDecimal); break;
    case NumLcLetter: lf.setStyle(QTextListFormat::ListLowerAlpha); break;
    case NumUcLetter: lf.setStyle(QTextListFormat::ListUpperAlpha); break;
    case NumLcRoman: lf.setStyle(QTextListFormat::ListLowerRoman); break;
    case NumUcRoman: lf.setStyle(QTextListFormat::ListUpperRoman); break;
    default: lf.setStyle(QTextListFormat::ListDisc); break;
    }
    lf.setIndent(0);
    lf.setProperty(PropNumbering, numbering);
    lf.setProperty(PropNumStart, start);
    lf.setProperty(PropNumStyle, style);
    lf.setProperty(PropNumTab, tab);
    if (numbering != NumBullet) {
        switch (style) {
        case StyleParen: lf.setNumberPrefix(QString()); lf.setNumberSuffix(QStringLiteral(")")); break;
        case StyleParens: lf.setNumberPrefix(QStringLiteral("(")); lf.setNumberSuffix(QStringLiteral(")")); break;
        case StylePlain: lf.setNumberPrefix(QString()); lf.setNumberSuffix(QString()); break;
        default: lf.setNumberPrefix(QString()); lf.setNumberSuffix(QStringLiteral(".")); break;
        }
    }
    if (NeedsOwnMarkers(lf))
        lf.setStyle(QTextListFormat::ListStyleUndefined);
    return lf;
}

void SetLineSpacing(QTextBlockFormat &f, int rule, int value)
{
    switch (rule) {
    case 1: f.setLineHeight(150, QTextBlockFormat::ProportionalHeight); break;
    case 2: f.setLineHeight(200, QTextBlockFormat::ProportionalHeight); break;
    case 3: f.setLineHeight(TwipsToPx(value), QTextBlockFormat::MinimumHeight); break;
    case 4: f.setLineHeight(TwipsToPx(value), QTextBlockFormat::FixedHeight); break;
    case 5: f.setLineHeight(value * 5.0, QTextBlockFormat::ProportionalHeight); break;
    default: f.setLineHeight(0, QTextBlockFormat::SingleHeight); break;
    }
    if (rule == 0 && value == 0) {
        f.clearProperty(PropLineRule);
        f.clearProperty(PropLineValue);
    } else {
        f.setProperty(PropLineRule, rule);
        f.setProperty(PropLineValue, value);
    }
}

static int AlignmentValueOf(Qt::Alignment a)
{
    if (a & Qt::AlignJustify) return AlignJustifyValue;
    if (a & Qt::AlignHCenter) return AlignCenterValue;
    if (a & Qt::AlignRight) return AlignRightValue;
    return AlignLeftValue;
}

TParaAttributes ParaAttributesOf(const QTextBlockFormat &bf, const QTextListFormat *lf)
{
    TParaAttributes a;
    a.alignment = AlignmentValueOf(bf.alignment());
    a.leftIndent = PxToTwips(bf.leftMargin());
    a.rightIndent = PxToTwips(bf.rightMargin());
    a.firstIndent = PxToTwips(bf.textIndent());
    a.spaceBefore = PxToTwips(bf.topMargin());
    a.spaceAfter = PxToTwips(bf.bottomMargin());
    a.lineRule = bf.intProperty(PropLineRule);
    a.lineValue = bf.intProperty(PropLineValue);
    if (lf) {
        a.numbering = NumberingOf(*lf);
        a.numberingStart = NumberingStartOf(*lf);
        a.numberingStyle = NumberingStyleOf(*lf);
        a.numberingTab = lf->intProperty(PropNumTab);
        if (bf.hasProperty(PropListFirstIndent))
            a.firstIndent = bf.intProperty(PropListFirstIndent);
    }
    return a;
}

void ApplyParaAttributes(QTextBlockFormat &bf, const TParaAttributes &a)
{
    switch (a.alignment) {
    case AlignRightValue: bf.setAlignment(Qt::AlignRight); break;
    case AlignCenterValue: bf.setAlignment(Qt::AlignHCenter); break;
    case AlignJustifyValue: bf.setAlignment(Qt::AlignJustify); break;
    default: bf.setAlignment(Qt::AlignLeft); break;
    }
    bf.setLeftMargin(TwipsToPx(a.leftIndent));
    bf.setRightMargin(TwipsToPx(a.rightIndent));
    bf.setTopMargin(TwipsToPx(a.spaceBefore));
    bf.setBottomMargin(TwipsToPx(a.spaceAfter));
    if (a.numbering != NumNone) {
        // Qt draws the list marker left of the text; the hanging indent is kept aside.
        bf.setTextIndent(0);
        bf.setProperty(PropListFirstIndent, a.firstIndent);
    } else {
        bf.setTextIndent(TwipsToPx(a.firstIndent));
        bf.clearProperty(PropListFirstIndent);
    }
    SetLineSpacing(bf, a.lineRule, a.lineValue);
}

} // namespace RichText
