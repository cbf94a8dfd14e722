#include "RtfWriter.h"

#include "RichFormat.h"
#include "RichObjects.h"

#include <QColor>
#include <QHash>
#include <QTextBlock>
#include <QTextCodec>
#include <QTextDocument>
#include <QTextList>

#include <array>
#include <cstdio>
#include <cmath>
#include <memory>
#include <vector>

namespace RichText {
namespace {

constexpr int kDefaultCharset = 204;

struct FontKey {
    QString name;
    int charset;
    bool operator==(const FontKey &) const = default;
};

// Reverse table of a single-byte code page: character -> byte, 0 when absent.
class ByteEncoder {
public:
    explicit ByteEncoder(int charset)
    {
        bool windowsAnsi = false;
        const char *name = CharsetCodecName(charset == 1 ? kDefaultCharset : charset, &windowsAnsi);
        if (!windowsAnsi)
            name = nullptr;
        m_symbol = charset == 2;
        QTextCodec *codec = name ? QTextCodec::codecForName(name) : nullptr;
        if (!codec)
            return;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const QString s = codec->toUnicode(QByteArray(1, char(b)));
            if (s.size() == 1 && s[0] != QChar(0xFFFD) && !m_table.contains(s[0].unicode()))
                m_table.insert(s[0].unicode(), uchar(b));
        }
    }
    // 0 when the character has no byte in this code page.
    uchar byteFor(char16_t c) const
    {
        if (m_symbol)
            return (c >= 0xF020 && c <= 0xF0FF) ? uchar(c - 0xF000) : 0;
        return m_table.value(c, 0);
    }
    bool symbol() const { return m_symbol; }

private:
    QHash<char16_t, uchar> m_table;
    bool m_symbol = false;
};

const ByteEncoder &EncoderFor(int charset)
{
    thread_local QHash<int, std::shared_ptr<ByteEncoder>> cache;
    auto it = cache.find(charset);
    if (it == cache.end())
        it = cache.insert(charset, std::make_shared<ByteEncoder>(charset));
    return **it;
}

struct CharOut {
    int font = -1;
    int halfPoints = -1;
    bool bold = false, italic = false, strike = false, hidden = false, prot = false;
    int underline = 0;
    int vpos = 0;
    int upDown = 0;
    int fg = 0, bg = 0;
    int lang = -1;
    int charset = kDefaultCharset;   // how the run's text is encoded
};

const char kHex[] = "0123456789abcdef";

class Writer {
public:
    explicit Writer(const QTextDocument &doc) : m_doc(doc)
    {
        const QVariant z = doc.property("qeZoom");
        m_zoom = z.isValid() ? std::clamp(z.toInt(), 10, 500) : 100;
    }
    QByteArray write();

private:
    void collect();
    int fontIndex(const QTextCharFormat &f);
    int colorIndex(const QBrush &b, bool isSet);
    FontKey fontKey(const QTextCharFormat &f) const;
    int addFont(const FontKey &k);
    int addColor(QRgb c);
    CharOut describe(const QTextCharFormat &f);
    const CharOut &charOut(int formatIndex, const QTextCharFormat &f);
    void emitChar(const CharOut &n);
    void emitPara(const QTextBlock &b);
    void emitText(QStringView text, int charset);
    void word(const char *w) { m_out.append(w); m_pendingSpace = true; }
    void word(const char *w, int n)
    {
        m_out.append(w);
        char buf[16];
        m_out.append(buf, std::snprintf(buf, sizeof buf, "%d", n));
        m_pendingSpace = true;
    }
    QByteArray numberText(const QTextBlock &b, const QTextList *list) const;

    const QTextDocument &m_doc;
    int m_zoom = 100;
    QByteArray m_out;
    bool m_pendingSpace = false;
    std::vector<FontKey> m_fonts;
    std::vector<QRgb> m_colors;
    int m_symbolFont = -1;
    CharOut m_state;
    TParaAttributes m_para;
    QString m_paraTabs;
    bool m_paraValid = false;
    const QTextList *m_list = nullptr;
    QHash<int, CharOut> m_described;   // by the document's format index
};

FontKey Writer::fontKey(const QTextCharFormat &f) const
{
    QString name = FontNameOf(f);
    if (name.isEmpty())
        name = m_doc.defaultFont().family();
    if (name.isEmpty())
        name = QStringLiteral("MS Sans Serif");
    const int cs = f.hasProperty(PropCharset) ? f.intProperty(PropCharset) : kDefaultCharset;
    return FontKey{name, cs};
}

int Writer::addFont(const FontKey &k)
{
    for (size_t i = 0; i < m_fonts.size(); ++i)
        if (m_fonts[i] == k)
            return int(i);
    m_fonts.push_back(k);
    return int(m_fonts.size() - 1);
}

int Writer::fontIndex(const QTextCharFormat &f)
{
    return addFont(fontKey(f));
}

int Writer::addColor(QRgb c)
{
    c = qRgb(qRed(c), qGreen(c), qBlue(c));
    for (size_t i = 0; i < m_colors.size(); ++i)
        if (m_colors[i] == c)
            return int(i) + 1;
    m_colors.push_back(c);
    return int(m_colors.size());
}

int Writer::colorIndex(const QBrush &b, bool isSet)
{
    if (!isSet || b.style() == Qt::NoBrush)
        return 0;
    return addColor(b.color().rgb());
}

void Writer::collect()
{
    for (QTextBlock b = m_doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!m_described.contains(frag.charFormatIndex()))
                charOut(frag.charFormatIndex(), frag.charFormat());
        }
        if (!m_described.contains(b.charFormatIndex()))
            charOut(b.charFormatIndex(), b.charFormat());
        if (b.textList() && NumberingOf(b.textList()->format()) == NumBullet && m_symbolFont < 0)
            m_symbolFont = addFont(FontKey{QStringLiteral("Symbol"), 2});
    }
}

const CharOut &Writer::charOut(int formatIndex, const QTextCharFormat &f)
{
    auto it = m_described.constFind(formatIndex);
    if (it == m_described.constEnd())
        it = m_described.insert(formatIndex, describe(f));
    return *it;
}

QByteArray RomanNumber(int n, bool upper)
{
    if (n <= 0 || n >= 4000)
        return QByteArray::number(n);
    static const std::pair<int, const char *> parts[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"},
        {50, "l"}, {40, "xl"}, {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
    QByteArray s;
    for (const auto &[v, t] : parts)
        while (n >= v) { s += t; n -= v; }
    return upper ? s.toUpper() : s;
}

QByteArray LetterNumber(int n, bool upper)
{
    if (n <= 0)
        return QByteArray::number(n);
    QByteArray s;
    while (n > 0) {
        --n;
        s.prepend(char('a' + n % 26));
        n /= 26;
    }
    return upper ? s.toUpper() : s;
}

QByteArray Writer::numberText(const QTextBlock &b, const QTextList *list) const
{
    const QTextListFormat lf = list->format();
    const int n = NumberingStartOf(lf) + list->itemNumber(b);
    QByteArray num;
    switch (NumberingOf(lf)) {
    case NumLcLetter: num = LetterNumber(n, false); break;
    case NumUcLetter: num = LetterNumber(n, true); break;
    case NumLcRoman: num = RomanNumber(n, false); break;
    case NumUcRoman: num = RomanNumber(n, true); break;
    default: num = QByteArray::number(n); break;
    }
    switch (NumberingStyleOf(lf)) {
    case StyleParen: return num + ')';
    case StyleParens: return '(' + num + ')';
    case StylePlain: return num;
    default: return num + '.';
    }
}

void Writer::emitPara(const QTextBlock &b)
{
    const QTextList *list = b.textList();
    const QTextListFormat lf = list ? list->format() : QTextListFormat();
    const TParaAttributes a = ParaAttributesOf(b.blockFormat(), list ? &lf : nullptr);
    const QList<QTextOption::Tab> tabs = b.blockFormat().tabPositions();
    QString tabKey;
    for (const QTextOption::Tab &t : tabs)
        tabKey += QString::number(PxToTwips(t.position)) + QLatin1Char(',') + QString::number(int(t.type)) + QLatin1Char(';');
    const bool changed = !m_paraValid || !(a == m_para) || tabKey != m_paraTabs || (list != m_list && list);
    if (changed) {
        word("\\pard");
        if (list) {
            m_out.append("{\\pntext");
            m_pendingSpace = false;
            if (a.numbering == NumBullet) {
                m_out.append("\\f" + QByteArray::number(m_symbolFont) + "\\'b7\\tab}");
                m_out.append("{\\*\\pn\\pnlvlblt\\pnf" + QByteArray::number(m_symbolFont) + "\\pnindent" +
                             QByteArray::number(a.numberingTab) + "{\\pntxtb\\'b7}}");
            } else {
                m_out.append("\\f0 " + numberText(b, list) + "\\tab}");
                static const char *const types[] = {"", "", "\\pndec", "\\pnlcltr", "\\pnucltr", "\\pnlcrm", "\\pnucrm"};
                const char *type = (a.numbering >= 2 && a.numbering <= 6) ? types[a.numbering] : "\\pndec";
                m_out.append("{\\*\\pn\\pnlvlbody\\pnf0\\pnindent" + QByteArray::number(a.numberingTab) + "\\pnstart" +
                             QByteArray::number(a.numberingStart) + type);
                switch (a.numberingStyle) {
                case StyleParen: m_out.append("{\\pntxta)}"); break;
                case StyleParens: m_out.append("{\\pntxtb(}{\\pntxta)}"); break;
                case StylePlain: break;
                default: m_out.append("{\\pntxta.}"); break;
                }
                m_out.append("}");
            }
        }
        switch (a.alignment) {
        case AlignRightValue: word("\\qr"); break;
        case AlignCenterValue: word("\\qc"); break;
        case AlignJustifyValue: word("\\qj"); break;
        default: break;
        }
        if (a.firstIndent) word("\\fi", a.firstIndent);
        if (a.leftIndent) word("\\li", a.leftIndent);
        if (a.rightIndent) word("\\ri", a.rightIndent);
        if (a.spaceBefore) word("\\sb", a.spaceBefore);
        if (a.spaceAfter) word("\\sa", a.spaceAfter);
        switch (a.lineRule) {
        case 1: word("\\sl360"); word("\\slmult1"); break;
        case 2: word("\\sl480"); word("\\slmult1"); break;
        case 3: word("\\sl", a.lineValue); word("\\slmult0"); break;
        case 4: word("\\sl", -a.lineValue); word("\\slmult0"); break;
        case 5: word("\\sl", a.lineValue * 12); word("\\slmult1"); break;
        default: break;
        }
        for (const QTextOption::Tab &t : tabs) {
            if (t.type == QTextOption::RightTab) word("\\tqr");
            else if (t.type == QTextOption::CenterTab) word("\\tqc");
            else if (t.type == QTextOption::DelimiterTab) word("\\tqdec");
            word("\\tx", PxToTwips(t.position));
        }
        m_para = a;
        m_paraTabs = tabKey;
        m_paraValid = true;
    } else if (list) {
        m_out.append("{\\pntext");
        if (a.numbering == NumBullet)
            m_out.append("\\f" + QByteArray::number(m_symbolFont) + "\\'b7\\tab}");
        else
            m_out.append("\\f0 " + numberText(b, list) + "\\tab}");
        m_pendingSpace = false;
    }
    m_list = list;
}

CharOut Writer::describe(const QTextCharFormat &f)
{
    CharOut n;
    n.font = fontIndex(f);
    n.charset = m_fonts[size_t(n.font)].charset;
    const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 12.0;
    n.halfPoints = std::clamp(int(std::lround(pt * 2.0 * 100.0 / m_zoom)), 2, 3276);
    n.bold = f.fontWeight() >= QFont::DemiBold;
    n.italic = f.fontItalic();
    n.strike = f.fontStrikeOut();
    n.underline = UnderlineTypeOf(f);
    n.vpos = f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
             : f.verticalAlignment() == QTextCharFormat::AlignSubScript ? 2 : 0;
    n.upDown = f.intProperty(PropUpDown);
    n.fg = colorIndex(f.foreground(), f.hasProperty(QTextFormat::ForegroundBrush));
    n.bg = colorIndex(f.background(), f.hasProperty(QTextFormat::BackgroundBrush));
    n.lang = f.hasProperty(PropLang) ? f.intProperty(PropLang) : -1;
    n.hidden = f.boolProperty(PropHidden);
    n.prot = f.boolProperty(PropProtected);
    return n;
}

void Writer::emitChar(const CharOut &n)
{
    CharOut &o = m_state;
    if (n.lang != o.lang) word("\\lang", n.lang < 0 ? 1049 : n.lang);
    if (n.font != o.font) word("\\f", n.font);
    if (n.halfPoints != o.halfPoints) word("\\fs", n.halfPoints);
    if (n.bold != o.bold) word(n.bold ? "\\b" : "\\b0");
    if (n.italic != o.italic) word(n.italic ? "\\i" : "\\i0");
    if (n.underline != o.underline) {
        switch (n.underline) {
        case 0: word("\\ulnone"); break;
        case 2: word("\\ulw"); break;
        case 3: word("\\uldb"); break;
        case 4: word("\\uld"); break;
        default: word("\\ul"); break;
        }
    }
    if (n.strike != o.strike) word(n.strike ? "\\strike" : "\\strike0");
    if (n.vpos != o.vpos) word(n.vpos == 1 ? "\\super" : n.vpos == 2 ? "\\sub" : "\\nosupersub");
    if (n.upDown != o.upDown) {
        if (n.upDown >= 0) word("\\up", n.upDown);
        else word("\\dn", -n.upDown);
    }
    if (n.fg != o.fg) word("\\cf", n.fg);
    if (n.bg != o.bg) word("\\highlight", n.bg);
    if (n.hidden != o.hidden) word(n.hidden ? "\\v" : "\\v0");
    if (n.prot != o.prot) word(n.prot ? "\\protect" : "\\protect0");
    o = n;
}

// All escaping of text happens here.
void Writer::emitText(QStringView text, int charset)
{
    const ByteEncoder &enc = EncoderFor(charset);
    auto space = [this] {
        if (m_pendingSpace) {
            m_out.append(' ');
            m_pendingSpace = false;
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (enc.symbol() && c >= 0xF020 && c <= 0xF0FF) {
            const uchar b = uchar(c - 0xF000);
            if (b >= 0x80 || b == '\\' || b == '{' || b == '}') {
                m_out.append("\\'");
                m_out.append(kHex[b >> 4]);
                m_out.append(kHex[b & 15]);
                m_pendingSpace = false;
            } else {
                space();
                m_out.append(char(b));
            }
            continue;
        }
        switch (c) {
        case u'\\': m_out.append("\\\\"); m_pendingSpace = false; continue;
        case u'{': m_out.append("\\{"); m_pendingSpace = false; continue;
        case u'}': m_out.append("\\}"); m_pendingSpace = false; continue;
        case u'\t': word("\\tab"); continue;
        case 0x2028: word("\\line"); continue;
        case 0x2029: word("\\par"); continue;
        case 0x2011: m_out.append("\\_"); m_pendingSpace = false; continue;
        case 0xFFFC: space(); m_out.append(' '); continue;   // the object's placeholder
        default: break;
        }
        if (c >= 0x20 && c < 0x80 && !enc.symbol()) {
            space();
            m_out.append(char(c));
            continue;
        }
        if (c >= 0x20 && c < 0x80) {
            // A byte in a symbol font reads as the font's private code; the letter itself travels as \u.
            m_out.append("\\u");
            m_out.append(QByteArray::number(int(c)));
            m_out.append('?');
            m_pendingSpace = false;
            continue;
        }
        if (c == 0x0B) {
            word("\\line");
            continue;
        }
        if (c < 0x20) {
            // dropping it would move every object after it by one position
            m_out.append("\\u");
            m_out.append(QByteArray::number(int(c)));
            m_out.append('?');
            m_pendingSpace = false;
            continue;
        }
        const uchar b = enc.symbol() ? 0 : enc.byteFor(c);
        if (b) {
            m_out.append("\\'");
            m_out.append(kHex[b >> 4]);
            m_out.append(kHex[b & 15]);
            m_pendingSpace = false;
        } else {
            m_out.append("\\u");
            m_out.append(QByteArray::number(int(qint16(c))));
            m_out.append('?');
            m_pendingSpace = false;
        }
    }
}

QByteArray Writer::write()
{
    collect();
    if (m_fonts.empty())
        addFont(FontKey{QStringLiteral("MS Sans Serif"), kDefaultCharset});
    m_out.reserve(int(m_doc.characterCount() * 3 + 512));
    m_out.append("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl");
    for (size_t i = 0; i < m_fonts.size(); ++i) {
        m_out.append("{\\f" + QByteArray::number(qsizetype(i)) + "\\fnil\\fcharset" +
                     QByteArray::number(m_fonts[i].charset) + ' ');
        // Font names are text too: escape them with the font's own code page.
        m_pendingSpace = false;
        emitText(m_fonts[i].name, m_fonts[i].charset == 2 ? kDefaultCharset : m_fonts[i].charset);
        m_out.append(";}");
    }
    m_out.append("}\r\n{\\colortbl ;");
    for (QRgb c : m_colors)
        m_out.append("\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue" +
                     QByteArray::number(qBlue(c)) + ';');
    m_out.append("}\r\n\\viewkind4\\uc1");
    m_pendingSpace = true;
    for (QTextBlock b = m_doc.begin(); b.isValid(); b = b.next()) {
        emitPara(b);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const CharOut &out = charOut(frag.charFormatIndex(), frag.charFormat());
            emitChar(out);
            emitText(frag.text(), out.charset);
        }
        emitChar(charOut(b.charFormatIndex(), b.charFormat()));
        m_out.append("\\par\r\n");
        m_pendingSpace = false;
    }
    m_out.append("}\r\n");
    m_out.append('\0');
    return m_out;
}

} // namespace

QByteArray WriteRtf(const QTextDocument &doc)
{
    return Writer(doc).write();
}

} // namespace RichText
