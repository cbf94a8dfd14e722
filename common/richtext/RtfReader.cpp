#include "RtfReader.h"

#include "RichFormat.h"
#include "RichObjects.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QTextCodec>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace RichText {
namespace {

// ---- control word table -------------------------------------------------

enum class Kind { Flag, Toggle, Value, Destination, Symbol };

enum class Cw {
    // flags
    Par, Pard, Plain, Line, Tab, Page, Sect, Row, Cell, NoSuperSub, Super, Sub, Ql, Qr, Qc, Qj,
    Ansi, Mac, Pc, Pca, Ulnone, PnLvlBlt, PnLvlBody, PnLvlCont, PnDec, PnLcLtr, PnUcLtr, PnLcRm,
    PnUcRm, Tqr, Tqc, Tqdec, DiBitmap, PngBlip, JpegBlip, EmDash, EnDash, LQuote, RQuote,
    LDblQuote, RDblQuote, Bullet, EmSpace, EnSpace, QmSpace, Zwj, Zwnj, Ltrmark, Rtlmark,
    // toggles
    B, I, Strike, Ul, Uld, Uldb, Ulw, Uldash, Ulth, Ulwave, V, Protect, Caps, Scaps,
    // values
    F, Fs, Cf, Cb, Highlight, Up, Dn, Lang, Uc, U, Li, Ri, Fi, Sb, Sa, Sl, SlMult, Tx, Bin,
    Fcharset, Red, Green, Blue, Deff, Ansicpg, Deflang, PnStart, PnIndent, PnF, PicW, PicH,
    PicWGoal, PicHGoal, PicScaleX, PicScaleY, Wbitmap,
    // destinations
    FontTbl, ColorTbl, Pn, PnText, PnTxtA, PnTxtB, Pict, Skip, ShpPict, NonShpPict, Field,
    FldRslt, Object, Result, Upr, Ud,
};

struct CwEntry {
    std::string_view name;
    Kind kind;
    Cw id;
    int def;   // parameter when none is written
};

// Sorted by name for binary search.
constexpr CwEntry kWords[] = {
    {"annotation", Kind::Destination, Cw::Skip, 0},
    {"ansi", Kind::Flag, Cw::Ansi, 0},
    {"ansicpg", Kind::Value, Cw::Ansicpg, 1252},
    {"atnauthor", Kind::Destination, Cw::Skip, 0},
    {"atnid", Kind::Destination, Cw::Skip, 0},
    {"author", Kind::Destination, Cw::Skip, 0},
    {"b", Kind::Toggle, Cw::B, 1},
    {"bin", Kind::Value, Cw::Bin, 0},
    {"blue", Kind::Value, Cw::Blue, 0},
    {"bullet", Kind::Symbol, Cw::Bullet, 0},
    {"buptim", Kind::Destination, Cw::Skip, 0},
    {"caps", Kind::Toggle, Cw::Caps, 1},
    {"cb", Kind::Value, Cw::Cb, 0},
    {"cell", Kind::Symbol, Cw::Cell, 0},
    {"cf", Kind::Value, Cw::Cf, 0},
    {"colortbl", Kind::Destination, Cw::ColorTbl, 0},
    {"comment", Kind::Destination, Cw::Skip, 0},
    {"company", Kind::Destination, Cw::Skip, 0},
    {"creatim", Kind::Destination, Cw::Skip, 0},
    {"deff", Kind::Value, Cw::Deff, 0},
    {"deflang", Kind::Value, Cw::Deflang, 1049},
    {"dibitmap", Kind::Flag, Cw::DiBitmap, 0},
    {"dn", Kind::Value, Cw::Dn, 6},
    {"doccomm", Kind::Destination, Cw::Skip, 0},
    {"emdash", Kind::Symbol, Cw::EmDash, 0},
    {"emspace", Kind::Symbol, Cw::EmSpace, 0},
    {"endash", Kind::Symbol, Cw::EnDash, 0},
    {"enspace", Kind::Symbol, Cw::EnSpace, 0},
    {"f", Kind::Value, Cw::F, 0},
    {"fcharset", Kind::Value, Cw::Fcharset, 1},
    {"fi", Kind::Value, Cw::Fi, 0},
    {"field", Kind::Destination, Cw::Field, 0},
    {"filetbl", Kind::Destination, Cw::Skip, 0},
    {"fldrslt", Kind::Destination, Cw::FldRslt, 0},
    {"fonttbl", Kind::Destination, Cw::FontTbl, 0},
    {"footer", Kind::Destination, Cw::Skip, 0},
    {"footerf", Kind::Destination, Cw::Skip, 0},
    {"footerl", Kind::Destination, Cw::Skip, 0},
    {"footerr", Kind::Destination, Cw::Skip, 0},
    {"footnote", Kind::Destination, Cw::Skip, 0},
    {"fs", Kind::Value, Cw::Fs, 24},
    {"green", Kind::Value, Cw::Green, 0},
    {"header", Kind::Destination, Cw::Skip, 0},
    {"headerf", Kind::Destination, Cw::Skip, 0},
    {"headerl", Kind::Destination, Cw::Skip, 0},
    {"headerr", Kind::Destination, Cw::Skip, 0},
    {"highlight", Kind::Value, Cw::Highlight, 0},
    {"i", Kind::Toggle, Cw::I, 1},
    {"info", Kind::Destination, Cw::Skip, 0},
    {"jpegblip", Kind::Flag, Cw::JpegBlip, 0},
    {"keywords", Kind::Destination, Cw::Skip, 0},
    {"lang", Kind::Value, Cw::Lang, 1049},
    {"ldblquote", Kind::Symbol, Cw::LDblQuote, 0},
    {"li", Kind::Value, Cw::Li, 0},
    {"line", Kind::Symbol, Cw::Line, 0},
    {"listoverridetable", Kind::Destination, Cw::Skip, 0},
    {"listtable", Kind::Destination, Cw::Skip, 0},
    {"lquote", Kind::Symbol, Cw::LQuote, 0},
    {"ltrmark", Kind::Symbol, Cw::Ltrmark, 0},
    {"mac", Kind::Flag, Cw::Mac, 0},
    {"nonshppict", Kind::Destination, Cw::NonShpPict, 0},
    {"nosupersub", Kind::Flag, Cw::NoSuperSub, 0},
    {"object", Kind::Destination, Cw::Object, 0},
    {"operator", Kind::Destination, Cw::Skip, 0},
    {"page", Kind::Symbol, Cw::Page, 0},
    {"par", Kind::Symbol, Cw::Par, 0},
    {"pard", Kind::Flag, Cw::Pard, 0},
    {"pc", Kind::Flag, Cw::Pc, 0},
    {"pca", Kind::Flag, Cw::Pca, 0},
    {"pich", Kind::Value, Cw::PicH, 0},
    {"pichgoal", Kind::Value, Cw::PicHGoal, 0},
    {"picscalex", Kind::Value, Cw::PicScaleX, 100},
    {"picscaley", Kind::Value, Cw::PicScaleY, 100},
    {"pict", Kind::Destination, Cw::Pict, 0},
    {"picw", Kind::Value, Cw::PicW, 0},
    {"picwgoal", Kind::Value, Cw::PicWGoal, 0},
    {"plain", Kind::Flag, Cw::Plain, 0},
    {"pn", Kind::Destination, Cw::Pn, 0},
    {"pndec", Kind::Flag, Cw::PnDec, 0},
    {"pnf", Kind::Value, Cw::PnF, 0},
    {"pngblip", Kind::Flag, Cw::PngBlip, 0},
    {"pnindent", Kind::Value, Cw::PnIndent, 0},
    {"pnlcltr", Kind::Flag, Cw::PnLcLtr, 0},
    {"pnlcrm", Kind::Flag, Cw::PnLcRm, 0},
    {"pnlvlblt", Kind::Flag, Cw::PnLvlBlt, 0},
    {"pnlvlbody", Kind::Flag, Cw::PnLvlBody, 0},
    {"pnlvlcont", Kind::Flag, Cw::PnLvlCont, 0},
    {"pnstart", Kind::Value, Cw::PnStart, 1},
    {"pntext", Kind::Destination, Cw::PnText, 0},
    {"pntxta", Kind::Destination, Cw::PnTxtA, 0},
    {"pntxtb", Kind::Destination, Cw::PnTxtB, 0},
    {"pnucltr", Kind::Flag, Cw::PnUcLtr, 0},
    {"pnucrm", Kind::Flag, Cw::PnUcRm, 0},
    {"printim", Kind::Destination, Cw::Skip, 0},
    {"private", Kind::Destination, Cw::Skip, 0},
    {"protect", Kind::Toggle, Cw::Protect, 1},
    {"qc", Kind::Flag, Cw::Qc, 0},
    {"qj", Kind::Flag, Cw::Qj, 0},
    {"ql", Kind::Flag, Cw::Ql, 0},
    {"qmspace", Kind::Symbol, Cw::QmSpace, 0},
    {"qr", Kind::Flag, Cw::Qr, 0},
    {"rdblquote", Kind::Symbol, Cw::RDblQuote, 0},
    {"red", Kind::Value, Cw::Red, 0},
    {"result", Kind::Destination, Cw::Result, 0},
    {"revtbl", Kind::Destination, Cw::Skip, 0},
    {"revtim", Kind::Destination, Cw::Skip, 0},
    {"ri", Kind::Value, Cw::Ri, 0},
    {"row", Kind::Symbol, Cw::Row, 0},
    {"rquote", Kind::Symbol, Cw::RQuote, 0},
    {"rtlmark", Kind::Symbol, Cw::Rtlmark, 0},
    {"sa", Kind::Value, Cw::Sa, 0},
    {"sb", Kind::Value, Cw::Sb, 0},
    {"scaps", Kind::Toggle, Cw::Scaps, 1},
    {"sect", Kind::Symbol, Cw::Sect, 0},
    {"shppict", Kind::Destination, Cw::ShpPict, 0},
    {"sl", Kind::Value, Cw::Sl, 0},
    {"slmult", Kind::Value, Cw::SlMult, 0},
    {"strike", Kind::Toggle, Cw::Strike, 1},
    {"stylesheet", Kind::Destination, Cw::Skip, 0},
    {"sub", Kind::Flag, Cw::Sub, 0},
    {"subject", Kind::Destination, Cw::Skip, 0},
    {"super", Kind::Flag, Cw::Super, 0},
    {"tab", Kind::Symbol, Cw::Tab, 0},
    {"tc", Kind::Destination, Cw::Skip, 0},
    {"title", Kind::Destination, Cw::Skip, 0},
    {"tqc", Kind::Flag, Cw::Tqc, 0},
    {"tqdec", Kind::Flag, Cw::Tqdec, 0},
    {"tqr", Kind::Flag, Cw::Tqr, 0},
    {"tx", Kind::Value, Cw::Tx, 0},
    {"txe", Kind::Destination, Cw::Skip, 0},
    {"u", Kind::Value, Cw::U, 0},
    {"uc", Kind::Value, Cw::Uc, 1},
    {"ud", Kind::Destination, Cw::Ud, 0},
    {"ul", Kind::Toggle, Cw::Ul, 1},
    {"uld", Kind::Toggle, Cw::Uld, 1},
    {"uldash", Kind::Toggle, Cw::Uldash, 1},
    {"uldb", Kind::Toggle, Cw::Uldb, 1},
    {"ulnone", Kind::Flag, Cw::Ulnone, 0},
    {"ulth", Kind::Toggle, Cw::Ulth, 1},
    {"ulw", Kind::Toggle, Cw::Ulw, 1},
    {"ulwave", Kind::Toggle, Cw::Ulwave, 1},
    {"up", Kind::Value, Cw::Up, 6},
    {"upr", Kind::Destination, Cw::Upr, 0},
    {"v", Kind::Toggle, Cw::V, 1},
    {"wbitmap", Kind::Value, Cw::Wbitmap, 0},
    {"xe", Kind::Destination, Cw::Skip, 0},
    {"zwj", Kind::Symbol, Cw::Zwj, 0},
    {"zwnj", Kind::Symbol, Cw::Zwnj, 0},
};

constexpr bool TableSorted()
{
    for (size_t i = 1; i < std::size(kWords); ++i)
        if (!(kWords[i - 1].name < kWords[i].name))
            return false;
    return true;
}
static_assert(TableSorted(), "control word table must be sorted");

const CwEntry *FindWord(std::string_view name)
{
    auto it = std::lower_bound(std::begin(kWords), std::end(kWords), name,
                               [](const CwEntry &e, std::string_view n) { return e.name < n; });
    return (it != std::end(kWords) && it->name == name) ? it : nullptr;
}

// ---- reader state --------------------------------------------------------

enum class Dest { Normal, Skip, FontTable, ColorTable, Pn, PnTxtA, PnTxtB, Pict, ObjectWrap };

struct CharState {
    int font = -1;
    int halfPoints = 24;
    bool bold = false, italic = false, strike = false, hidden = false, prot = false;
    int underline = 0;
    int vpos = 0;        // 1 super, 2 sub
    int upDown = 0;
    int fg = 0, bg = 0;  // colour table indexes, 0 = automatic
    int lang = -1;
    bool operator==(const CharState &) const = default;
};

struct TabStop { int pos; char kind; };

struct ParaState {
    TParaAttributes attrs;
    std::vector<TabStop> tabs;
    char pendingTabKind = 'l';
    int sl = 0;
    bool slmult = false;
};

struct Group {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Normal;
    int uc = 1;
};

struct FontEntry {
    QString name;
    int charset = 1;
    bool hasCharset = false;
};

struct Run {
    QString text;
    QTextCharFormat fmt;
};

struct Para {
    ParaState state;
    QTextCharFormat mark;
    std::vector<Run> runs;
};

struct PnDef {
    int level = 0;   // 0 none, 1 bullet, 2 body, 3 cont
    int type = NumArabic;
    int start = 1;
    int indent = 0;
    QString txta, txtb;
};

struct PictDef {
    int kind = 0;    // 1 dib, 2 png, 3 jpeg
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    QByteArray hex;
    bool highNibble = true;
    QByteArray bytes;
};

QTextCodec *LookupCharset(int charset, QTextCodec *ansi);

// Codec lookups by name are slow; the answers never change.
QTextCodec *CodecForCharset(int charset, QTextCodec *ansi)
{
    thread_local QHash<int, QTextCodec *> cache;
    auto it = cache.constFind(charset);
    if (it == cache.constEnd())
        it = cache.insert(charset, LookupCharset(charset, nullptr));
    return *it ? *it : ansi;
}

QTextCodec *LookupCharset(int charset, QTextCodec *ansi)
{
    const char *name = CharsetCodecName(charset);
    QTextCodec *c = name ? QTextCodec::codecForName(name) : nullptr;
    return c ? c : ansi;
}

QTextCodec *LookupCodePage(int cp);

QTextCodec *CodecForCodePage(int cp)
{
    thread_local QHash<int, QTextCodec *> cache;
    auto it = cache.constFind(cp);
    if (it == cache.constEnd())
        it = cache.insert(cp, LookupCodePage(cp));
    return *it;
}

QTextCodec *LookupCodePage(int cp)
{
    QTextCodec *c = nullptr;
    if (cp == 1252 || cp == 1251 || (cp >= 1250 && cp <= 1258))
        c = QTextCodec::codecForName(QByteArray("windows-") + QByteArray::number(cp));
    else if (cp == 437 || cp == 850 || cp == 866)
        c = QTextCodec::codecForName(QByteArray("IBM") + QByteArray::number(cp));
    else if (cp == 10000)
        c = QTextCodec::codecForName("macintosh");
    else if (cp > 0)
        c = QTextCodec::codecForName(QByteArray("cp") + QByteArray::number(cp));
    return c ? c : QTextCodec::codecForName("windows-1251");
}

class Reader {
public:
    Reader(const QByteArray &data) : m_data(data), m_p(data.constData()), m_end(data.constData() + data.size())
    {
        m_ansi = CodecForCodePage(1252);
        m_paras.emplace_back();
    }

    TRtfReadResult run();
    void build(QTextDocument &doc);

private:
    // tokenizer
    void parse();
    void controlWord();
    void controlSymbol(char c);
    int readParam(bool &has);

    // handlers by kind
    void onFlag(Cw id);
    void onToggle(Cw id, bool on);
    void onValue(Cw id, int v);
    void onDestination(Cw id);
    void onSymbol(Cw id);
    void openGroup();
    void closeGroup();

    // text
    void textByte(char b);
    void textChar(QChar c);
    void flushBytes();
    void appendText(const QString &s);
    void endParagraph();
    void insertPicture();
    QTextCharFormat charFormat();
    QTextCodec *currentCodec();
    bool skipping() const { return m_cur.dest != Dest::Normal; }

    const QByteArray &m_data;
    const char *m_p;
    const char *m_end;
    TRtfReadResult m_result;

    std::vector<Group> m_stack;
    Group m_cur;
    int m_overflowDepth = 0;
    bool m_started = false;
    bool m_done = false;
    int m_ucSkip = 0;

    QTextCodec *m_ansi;
    int m_deff = 0;
    int m_deflang = 1049;
    QHash<int, FontEntry> m_fonts;
    int m_fontIndex = -1;
    QByteArray m_fontName;
    QString m_fontText;   // the name decoded so far, up to a \u character
    int m_fontSkip = 0;   // fallback bytes after \u in a font name
    QString takeFontName(const FontEntry &fe)
    {
        const QString name = (m_fontText + CodecForCharset(fe.charset, m_ansi)->toUnicode(m_fontName)).trimmed();
        m_fontText.clear();
        m_fontName.clear();
        return name;
    }
    std::vector<QColor> m_colors;
    int m_r = 0, m_g = 0, m_b = 0;
    bool m_colorSet = false;
    PnDef m_pn;
    PictDef m_pict;

    int m_codecFont = -1;
    bool m_codecValid = false;
    bool m_codecSymbol = false;
    QTextCodec *m_codec = nullptr;
    QByteArray m_bytes;
    QTextCodec *m_bytesCodec = nullptr;
    bool m_bytesSymbol = false;

    std::vector<Para> m_paras;
    CharState m_fmtState;
    QTextCharFormat m_fmtCache;
    bool m_fmtValid = false;
};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

int Clamp(long long v) { return int(std::clamp<long long>(v, -kMaxParam, kMaxParam)); }

int Reader::readParam(bool &has)
{
    has = false;
    bool neg = false;
    if (m_p < m_end && *m_p == '-' && m_p + 1 < m_end && std::isdigit(static_cast<unsigned char>(m_p[1]))) {
        neg = true;
        ++m_p;
    }
    long long v = 0;
    while (m_p < m_end && std::isdigit(static_cast<unsigned char>(*m_p))) {
        has = true;
        if (v < 10'000'000'000LL)
            v = v * 10 + (*m_p - '0');
        ++m_p;
    }
    if (has && m_p < m_end && *m_p == ' ')
        ++m_p;
    return Clamp(neg ? -v : v);
}

void Reader::controlWord()
{
    const char *start = m_p;
    while (m_p < m_end && m_p - start < 32 && std::isalpha(static_cast<unsigned char>(*m_p)))
        ++m_p;
    while (m_p < m_end && std::isalpha(static_cast<unsigned char>(*m_p)))
        ++m_p;  // overlong names are unknown words
    std::string_view name(start, size_t(m_p - start));
    bool has = false;
    int param = 0;
    if (m_p < m_end && (*m_p == '-' || std::isdigit(static_cast<unsigned char>(*m_p))))
        param = readParam(has);
    else if (m_p < m_end && *m_p == ' ')
        ++m_p;

    const CwEntry *e = FindWord(name);
    if (m_ucSkip > 0 && m_cur.dest == Dest::Normal && !(e && e->id == Cw::Bin)) {
        --m_ucSkip;
        return;
    }
    if (!e) {
        return;
    }
    switch (e->kind) {
    case Kind::Flag: onFlag(e->id); break;
    case Kind::Toggle: onToggle(e->id, has ? param != 0 : true); break;
    case Kind::Value: onValue(e->id, has ? param : e->def); break;
    case Kind::Destination: onDestination(e->id); break;
    case Kind::Symbol: onSymbol(e->id); break;
    }
}

void Reader::parse()
{
    while (m_p < m_end && !m_done) {
        const char c = *m_p++;
        switch (c) {
        case '{':
            flushBytes();
            openGroup();
            break;
        case '}':
            flushBytes();
            closeGroup();
            break;
        case '\\': {
            if (m_p >= m_end)
                return;
            const char n = *m_p;
            if (std::isalpha(static_cast<unsigned char>(n))) {
                flushBytes();
                controlWord();
            } else {
                ++m_p;
                controlSymbol(n);
            }
            break;
        }
        case '\r':
        case '\n':
            break;
        case '\0':
            break;
        default:
            textByte(c);
            break;
        }
    }
}

void Reader::controlSymbol(char c)
{
    if (c == '\'') {
        int v = 0;
        int digits = 0;
        while (digits < 2 && m_p < m_end && std::isxdigit(static_cast<unsigned char>(*m_p))) {
            v = v * 16 + HexValue(*m_p);
            ++m_p;
            ++digits;
        }
        if (digits == 0)
            return;
        textByte(char(v));
        return;
    }
    if (c == '*') {
        // {\* unknown} is skipped; known destinations after \* are handled.
        const char *save = m_p;
        while (save < m_end && (*save == ' ' || *save == '\r' || *save == '\n'))
            ++save;
        if (save + 1 < m_end && *save == '\\' && std::isalpha(static_cast<unsigned char>(save[1]))) {
            const char *s = save + 1;
            while (s < m_end && std::isalpha(static_cast<unsigned char>(*s)))
                ++s;
            const CwEntry *e = FindWord(std::string_view(save + 1, size_t(s - save - 1)));
            if (e && e->kind == Kind::Destination)
                return;
        }
        m_cur.dest = Dest::Skip;
        return;
    }
    if (m_ucSkip > 0 && m_cur.dest == Dest::Normal) {
        --m_ucSkip;
        return;
    }
    switch (c) {
    case '\\': case '{': case '}': textByte(c); break;
    case '~': flushBytes(); textChar(QChar(0x00A0)); break;
    case '_': flushBytes(); textChar(QChar(0x2011)); break;
    case '-': break;   // optional hyphen
    case '\r': case '\n': flushBytes(); endParagraph(); break;
    case '\t': flushBytes(); textChar(QLatin1Char('\t')); break;
    default: break;
    }
}

void Reader::openGroup()
{
    if (!m_started) {
        m_started = true;
        m_stack.reserve(64);
    }
    if (m_stack.size() >= size_t(kMaxGroupDepth)) {
        ++m_overflowDepth;
        return;
    }
    m_stack.push_back(m_cur);
    m_ucSkip = 0;
}

void Reader::closeGroup()
{
    m_ucSkip = 0;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_stack.empty()) {
        m_done = true;
        return;
    }
    const Dest closing = m_cur.dest;
    if (closing == Dest::FontTable && m_fontIndex >= 0 && (!m_fontName.isEmpty() || !m_fontText.isEmpty())) {
        // a font entry without its closing ';'
        FontEntry &fe = m_fonts[m_fontIndex];
        fe.name = takeFontName(fe);
    }
    if (m_stack.size() == 1) {
        // The document's outer group ends: its state is the last paragraph's.
        m_stack.pop_back();
        m_done = true;
        return;
    }
    Group parent = m_stack.back();
    m_stack.pop_back();
    if (closing == Dest::Pn && parent.dest != Dest::Pn) {
        TParaAttributes &a = parent.para.attrs;
        if (m_pn.level == 1) {
            a.numbering = NumBullet;
            a.numberingStart = 1;
            a.numberingStyle = StyleParen;
        } else if (m_pn.level == 2) {
            a.numbering = m_pn.type;
            a.numberingStart = std::clamp(m_pn.start, 0, 32767);
            if (m_pn.txtb == QLatin1String("(") && m_pn.txta == QLatin1String(")"))
                a.numberingStyle = StyleParens;
            else if (m_pn.txta == QLatin1String(")"))
                a.numberingStyle = StyleParen;
            else if (m_pn.txta.isEmpty() && m_pn.txtb.isEmpty())
                a.numberingStyle = StylePlain;
            else
                a.numberingStyle = StylePeriod;
        } else {
            a.numbering = NumNone;
        }
        a.numberingTab = std::clamp(m_pn.indent, 0, 32767);
    }
    m_cur = parent;
    if (closing == Dest::Pict && m_cur.dest != Dest::Pict)
        insertPicture();
}

QTextCodec *Reader::currentCodec()
{
    auto it = m_fonts.constFind(m_cur.chr.font);
    if (it == m_fonts.constEnd())
        return m_ansi;
    return CodecForCharset(it->charset, m_ansi);
}

void Reader::textByte(char b)
{
    switch (m_cur.dest) {
    case Dest::Normal:
        if (m_ucSkip > 0) {
            --m_ucSkip;
            return;
        }
        if (b == '\t') {
            flushBytes();
            textChar(QLatin1Char('\t'));
            return;
        }
        {
            if (m_codecFont != m_cur.chr.font || !m_codecValid) {
                auto it = m_fonts.constFind(m_cur.chr.font);
                m_codecSymbol = it != m_fonts.constEnd() && it->charset == 2;
                m_codec = m_codecSymbol ? nullptr : currentCodec();
                m_codecFont = m_cur.chr.font;
                m_codecValid = true;
            }
            const bool symbol = m_codecSymbol;
            QTextCodec *codec = m_codec;
            if (!m_bytes.isEmpty() && (symbol != m_bytesSymbol || codec != m_bytesCodec))
                flushBytes();
            m_bytesSymbol = symbol;
            m_bytesCodec = codec;
            m_bytes.append(b);
        }
        return;
    case Dest::FontTable:
        if (m_fontSkip > 0) {
            --m_fontSkip;
            return;
        }
        if (b == ';') {
            if (m_fontIndex >= 0) {
                FontEntry &fe = m_fonts[m_fontIndex];
                fe.name = takeFontName(fe);
            }
            m_fontName.clear();
            m_fontText.clear();
        } else if (m_fontName.size() < 256 && uchar(b) >= 0x20) {
            // No face name holds control characters, and none could be written back.
            m_fontName.append(b);
        }
        return;
    case Dest::ColorTable:
        if (b == ';') {
            m_colors.push_back(m_colorSet ? QColor(m_r, m_g, m_b) : QColor());
            m_r = m_g = m_b = 0;
            m_colorSet = false;
        }
        return;
    case Dest::PnTxtA:
        if (m_pn.txta.size() < 32)
            m_pn.txta += m_ansi->toUnicode(QByteArray(1, b));
        return;
    case Dest::PnTxtB:
        if (m_pn.txtb.size() < 32)
            m_pn.txtb += m_ansi->toUnicode(QByteArray(1, b));
        return;
    case Dest::Pict: {
        if (!std::isxdigit(static_cast<unsigned char>(b)))
            return;
        const int v = HexValue(b);
        if (m_pict.highNibble)
            m_pict.bytes.append(char(v << 4));
        else
            m_pict.bytes.back() = char(m_pict.bytes.back() | v);
        m_pict.highNibble = !m_pict.highNibble;
        return;
    }
    default:
        return;
    }
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    QString s;
    if (m_bytesSymbol) {
        s.resize(m_bytes.size());
        for (int i = 0; i < m_bytes.size(); ++i)
            s[i] = QChar(0xF000 + uchar(m_bytes[i]));
    } else {
        s = m_bytesCodec->toUnicode(m_bytes);
    }
    m_bytes.clear();
    appendText(s);
}

void Reader::textChar(QChar c)
{
    if (m_cur.dest != Dest::Normal)
        return;
    appendText(QString(c));
}

QTextCharFormat Reader::charFormat()
{
    if (m_fmtValid && m_fmtState == m_cur.chr)
        return m_fmtCache;
    const CharState &s = m_cur.chr;
    QTextCharFormat f;
    auto it = m_fonts.constFind(s.font);
    if (it != m_fonts.constEnd()) {
        f.setFontFamilies(QStringList{it->name});
        f.setProperty(PropCharset, it->charset);
    }
    f.setFontPointSize(s.halfPoints / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontStrikeOut(s.strike);
    SetUnderlineType(f, s.underline);
    if (s.vpos == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (s.vpos == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (s.upDown != 0) {
        f.setProperty(PropUpDown, s.upDown);
        f.setBaselineOffset(100.0 * s.upDown / std::max(1, s.halfPoints));
    }
    if (s.fg > 0 && size_t(s.fg) < m_colors.size() && m_colors[size_t(s.fg)].isValid())
        f.setForeground(m_colors[size_t(s.fg)]);
    if (s.bg > 0 && size_t(s.bg) < m_colors.size() && m_colors[size_t(s.bg)].isValid())
        f.setBackground(m_colors[size_t(s.bg)]);
    if (s.lang >= 0 && s.lang != m_deflang)
        f.setProperty(PropLang, s.lang);
    if (s.hidden)
        f.setProperty(PropHidden, true);
    if (s.prot)
        f.setProperty(PropProtected, true);
    m_fmtState = s;
    m_fmtCache = f;
    m_fmtValid = true;
    return f;
}

void Reader::appendText(const QString &s)
{
    if (s.isEmpty())
        return;
    Para &p = m_paras.back();
    const QTextCharFormat f = charFormat();
    // a vertical tab is the rich edit's own line break
    QString text = s;
    text.replace(QChar(0x0B), QChar(QChar::LineSeparator));
    if (!p.runs.empty() && p.runs.back().fmt == f && !IsObjectFormat(p.runs.back().fmt))
        p.runs.back().text += text;
    else
        p.runs.push_back(Run{text, f});
}

void Reader::endParagraph()
{
    if (m_cur.dest != Dest::Normal)
        return;
    Para &p = m_paras.back();
    p.state = m_cur.para;
    p.mark = charFormat();
    m_paras.emplace_back();
}

void Reader::insertPicture()
{
    QImage img;
    const QByteArray &b = m_pict.bytes;
    if (m_pict.kind == 2 || m_pict.kind == 3) {
        img = QImage::fromData(b);
    } else if (m_pict.kind == 1) {
        img = ImageFromDib(b);
    }
    const PictDef def = m_pict;
    m_pict = PictDef{};
    if (img.isNull() || m_cur.dest != Dest::Normal)
        return;
    int w = -1, h = -1;
    if (def.goalw > 0 && def.goalh > 0) {
        w = int(std::lround(def.goalw * 2540.0 / 1440.0 * def.scalex / 100.0));
        h = int(std::lround(def.goalh * 2540.0 / 1440.0 * def.scaley / 100.0));
    }
    const TRichObject obj = PictureObject(img, w, h);
    if (obj.storage.isEmpty())
        return;
    m_paras.back().runs.push_back(Run{QString(QChar(QChar::ObjectReplacementCharacter)),
                                      ObjectFormat(obj, charFormat())});
}

void Reader::onDestination(Cw id)
{
    if (m_cur.dest != Dest::Normal && !(m_cur.dest == Dest::Pn && (id == Cw::PnTxtA || id == Cw::PnTxtB)) &&
        !(m_cur.dest == Dest::ObjectWrap && id == Cw::Result)) {
        m_cur.dest = Dest::Skip;
        return;
    }
    switch (id) {
    case Cw::FontTbl: m_codecValid = false; m_cur.dest = Dest::FontTable; m_fontIndex = -1; m_fontName.clear(); m_fontText.clear(); m_fontSkip = 0; break;
    case Cw::ColorTbl: m_cur.dest = Dest::ColorTable; m_colors.clear(); m_colorSet = false; break;
    case Cw::Pn: m_cur.dest = Dest::Pn; m_pn = PnDef{}; break;
    case Cw::PnTxtA: m_cur.dest = Dest::PnTxtA; m_pn.txta.clear(); break;
    case Cw::PnTxtB: m_cur.dest = Dest::PnTxtB; m_pn.txtb.clear(); break;
    case Cw::Pict: m_cur.dest = Dest::Pict; m_pict = PictDef{}; break;
    case Cw::Object: m_cur.dest = Dest::ObjectWrap; break;
    case Cw::Result: m_cur.dest = Dest::Normal; break;
    case Cw::ShpPict: case Cw::Field: case Cw::FldRslt: case Cw::Upr: case Cw::Ud:
        break;   // their content is ordinary text
    default: m_cur.dest = Dest::Skip; break;
    }
}

void Reader::onFlag(Cw id)
{
    CharState &c = m_cur.chr;
    TParaAttributes &a = m_cur.para.attrs;
    switch (id) {
    case Cw::Pard: m_cur.para = ParaState{}; break;
    case Cw::Plain: {
        const int font = m_fonts.contains(m_deff) ? m_deff : c.font;
        c = CharState{};
        c.font = font;
        break;
    }
    case Cw::NoSuperSub: c.vpos = 0; c.upDown = 0; break;
    case Cw::Super: c.vpos = 1; break;
    case Cw::Sub: c.vpos = 2; break;
    case Cw::Ulnone: c.underline = 0; break;
    case Cw::Ql: a.alignment = AlignLeftValue; break;
    case Cw::Qr: a.alignment = AlignRightValue; break;
    case Cw::Qc: a.alignment = AlignCenterValue; break;
    case Cw::Qj: a.alignment = AlignJustifyValue; break;
    case Cw::Ansi: m_ansi = CodecForCodePage(1252); m_codecValid = false; break;
    case Cw::Mac: m_ansi = CodecForCodePage(10000); m_codecValid = false; break;
    case Cw::Pc: m_ansi = CodecForCodePage(437); m_codecValid = false; break;
    case Cw::Pca: m_ansi = CodecForCodePage(850); m_codecValid = false; break;
    case Cw::PnLvlBlt: m_pn.level = 1; break;
    case Cw::PnLvlBody: m_pn.level = 2; break;
    case Cw::PnLvlCont: m_pn.level = 3; break;
    case Cw::PnDec: m_pn.type = NumArabic; break;
    case Cw::PnLcLtr: m_pn.type = NumLcLetter; break;
    case Cw::PnUcLtr: m_pn.type = NumUcLetter; break;
    case Cw::PnLcRm: m_pn.type = NumLcRoman; break;
    case Cw::PnUcRm: m_pn.type = NumUcRoman; break;
    case Cw::Tqr: m_cur.para.pendingTabKind = 'r'; break;
    case Cw::Tqc: m_cur.para.pendingTabKind = 'c'; break;
    case Cw::Tqdec: m_cur.para.pendingTabKind = 'd'; break;
    case Cw::DiBitmap: m_pict.kind = 1; break;
    case Cw::PngBlip: m_pict.kind = 2; break;
    case Cw::JpegBlip: m_pict.kind = 3; break;
    default: break;
    }
}

void Reader::onToggle(Cw id, bool on)
{
    CharState &c = m_cur.chr;
    switch (id) {
    case Cw::B: c.bold = on; break;
    case Cw::I: c.italic = on; break;
    case Cw::Strike: c.strike = on; break;
    case Cw::Ul: case Cw::Ulth: case Cw::Ulwave: case Cw::Uldash: c.underline = on ? 1 : 0; break;
    case Cw::Ulw: c.underline = on ? 2 : 0; break;
    case Cw::Uldb: c.underline = on ? 3 : 0; break;
    case Cw::Uld: c.underline = on ? 4 : 0; break;
    case Cw::V: c.hidden = on; break;
    case Cw::Protect: c.prot = on; break;
    default: break;
    }
}

void Reader::onValue(Cw id, int v)
{
    CharState &c = m_cur.chr;
    ParaState &ps = m_cur.para;
    TParaAttributes &a = ps.attrs;
    static constexpr int kMaxTwips = 31680 * 2;   // a generous bound for indents and spacing
    auto twips = [](int t) { return std::clamp(t, -kMaxTwips, kMaxTwips); };
    switch (id) {
    case Cw::F:
        if (m_cur.dest == Dest::FontTable) {
            m_fontIndex = v;
            m_fontName.clear();
            m_fontText.clear();
            m_fontSkip = 0;
            if (!m_fonts.contains(v) && m_fonts.size() < 4096)
                m_fonts.insert(v, FontEntry{});
        } else if (m_fonts.contains(v) && !m_fonts.value(v).name.isEmpty()) {
            // A font entry without a name is no font to show, nor to name back.
            c.font = v;
        }
        break;
    case Cw::Fcharset:
        if (m_cur.dest == Dest::FontTable && m_fontIndex >= 0 && m_fonts.contains(m_fontIndex)) {
            m_codecValid = false;
            m_fonts[m_fontIndex].charset = std::clamp(v, 0, 255);
            m_fonts[m_fontIndex].hasCharset = true;
        }
        break;
    case Cw::Fs: c.halfPoints = std::clamp(v, 2, 3276); break;
    case Cw::Cf: c.fg = std::clamp(v, 0, 100000); break;
    case Cw::Cb: case Cw::Highlight: c.bg = std::clamp(v, 0, 100000); break;
    case Cw::Up: c.upDown = std::clamp(v, 0, 3276); if (v == 0) c.upDown = 0; break;
    case Cw::Dn: c.upDown = -std::clamp(v, 0, 3276); break;
    case Cw::Lang: c.lang = std::clamp(v, 0, 65535); break;
    case Cw::Uc: m_cur.uc = std::clamp(v, 0, 16); break;
    case Cw::U: {
        if (m_cur.dest == Dest::FontTable && m_fontIndex >= 0 && m_fonts.contains(m_fontIndex)) {
            // Names the font's code page cannot hold are written this way.
            const int code = v < 0 ? v + 65536 : v;
            m_fontText += CodecForCharset(m_fonts.value(m_fontIndex).charset, m_ansi)->toUnicode(m_fontName);
            m_fontName.clear();
            if (code >= 0x20 && code <= 0xFFFF && m_fontText.size() < 256)
                m_fontText += QChar(char16_t(code));
            m_fontSkip = m_cur.uc;
            break;
        }
        if (m_cur.dest != Dest::Normal)
            break;
        const int code = v < 0 ? v + 65536 : v;
        if (code >= 0 && code <= 0xFFFF)
            textChar(QChar(char16_t(code)));
        m_ucSkip = m_cur.uc;
        break;
    }
    case Cw::Li: a.leftIndent = twips(v); break;
    case Cw::Ri: a.rightIndent = twips(v); break;
    case Cw::Fi: a.firstIndent = twips(v); break;
    case Cw::Sb: a.spaceBefore = std::clamp(v, 0, kMaxTwips); break;
    case Cw::Sa: a.spaceAfter = std::clamp(v, 0, kMaxTwips); break;
    case Cw::Sl:
        ps.sl = twips(v);
        ps.slmult = false;
        [[fallthrough]];
    case Cw::SlMult:
        if (id == Cw::SlMult)
            ps.slmult = v != 0;
        // Multiple spacing below 1/12 line would stack the lines on each other
        // and be written back as \sl0: single spacing, as \sl0 says.
        if (ps.sl == 0 || (ps.slmult && std::abs(ps.sl) < 12)) {
            a.lineRule = 0;
            a.lineValue = 0;
        } else if (ps.slmult) {
            a.lineRule = 5;
            a.lineValue = std::abs(ps.sl) / 12;
        } else if (ps.sl < 0) {
            a.lineRule = 4;
            a.lineValue = -ps.sl;
        } else {
            a.lineRule = 3;
            a.lineValue = ps.sl;
        }
        break;
    case Cw::Tx:
        if (ps.tabs.size() < 32)
            ps.tabs.push_back(TabStop{std::clamp(v, 0, kMaxTwips), ps.pendingTabKind});
        ps.pendingTabKind = 'l';
        break;
    case Cw::Bin: {
        const qint64 n = std::clamp<qint64>(v, 0, m_end - m_p);
        if (m_cur.dest == Dest::Pict)
            m_pict.bytes.append(m_p, int(n));
        m_p += n;
        break;
    }
    case Cw::Red: m_r = std::clamp(v, 0, 255); m_colorSet = true; break;
    case Cw::Green: m_g = std::clamp(v, 0, 255); m_colorSet = true; break;
    case Cw::Blue: m_b = std::clamp(v, 0, 255); m_colorSet = true; break;
    case Cw::Deff: m_deff = v; if (c.font < 0) c.font = v; break;
    case Cw::Ansicpg: m_ansi = CodecForCodePage(v); m_codecValid = false; break;
    case Cw::Deflang: m_deflang = v; break;
    case Cw::PnStart: m_pn.start = v; break;
    case Cw::PnIndent: m_pn.indent = v; break;
    case Cw::PicW: m_pict.picw = v; break;
    case Cw::PicH: m_pict.pich = v; break;
    case Cw::PicWGoal: m_pict.goalw = std::clamp(v, 0, kMaxTwips * 4); break;
    case Cw::PicHGoal: m_pict.goalh = std::clamp(v, 0, kMaxTwips * 4); break;
    case Cw::PicScaleX: m_pict.scalex = std::clamp(v, 1, 1000); break;
    case Cw::PicScaleY: m_pict.scaley = std::clamp(v, 1, 1000); break;
    default: break;
    }
}

void Reader::onSymbol(Cw id)
{
    if (m_cur.dest != Dest::Normal)
        return;
    switch (id) {
    case Cw::Par: case Cw::Page: case Cw::Sect: case Cw::Row: endParagraph(); break;
    case Cw::Line: textChar(QChar(QChar::LineSeparator)); break;
    case Cw::Tab: case Cw::Cell: textChar(QLatin1Char('\t')); break;
    case Cw::EmDash: textChar(QChar(0x2014)); break;
    case Cw::EnDash: textChar(QChar(0x2013)); break;
    case Cw::LQuote: textChar(QChar(0x2018)); break;
    case Cw::RQuote: textChar(QChar(0x2019)); break;
    case Cw::LDblQuote: textChar(QChar(0x201C)); break;
    case Cw::RDblQuote: textChar(QChar(0x201D)); break;
    case Cw::Bullet: textChar(QChar(0x2022)); break;
    case Cw::EmSpace: case Cw::EnSpace: textChar(QLatin1Char(' ')); break;
    case Cw::Zwj: textChar(QChar(0x200D)); break;
    case Cw::Zwnj: textChar(QChar(0x200C)); break;
    case Cw::Ltrmark: textChar(QChar(0x200E)); break;
    case Cw::Rtlmark: textChar(QChar(0x200F)); break;
    default: break;   // \qmspace: nothing
    }
}

TRtfReadResult Reader::run()
{
    const char *p = m_p;
    while (p < m_end && (*p == ' ' || *p == '\r' || *p == '\n' || *p == '\t'))
        ++p;
    if (m_end - p < 5 || std::string_view(p, 5) != "{\\rtf") {
        // Not RTF: plain text, one paragraph per line.
        const QString text = QTextCodec::codecForName("windows-1251")->toUnicode(m_data);
        QString line;
        for (QChar ch : text) {
            if (ch == QLatin1Char('\r'))
                continue;
            if (ch == QLatin1Char('\n')) {
                appendText(line);
                line.clear();
                endParagraph();
            } else if (ch != QChar(0)) {
                line += ch;
            }
        }
        appendText(line);
        return m_result;
    }
    m_p = p;
    parse();
    flushBytes();
    if (!m_done) {
        m_result.ok = false;
        m_result.error = QStringLiteral("RTF ends inside a group");
        m_result.errorOffset = m_data.size();
    }
    // The state at the end is the format of the last paragraph.
    Para &last = m_paras.back();
    last.state = m_cur.para;
    last.mark = charFormat();
    // The closing \par of the document is absorbed into the control's final mark.
    if (m_paras.size() > 1 && last.runs.empty())
        m_paras.pop_back();
    return m_result;
}

void Reader::build(QTextDocument &doc)
{
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    doc.clear();
    QTextCursor c(&doc);
    c.beginEditBlock();
    QTextList *list = nullptr;
    TParaAttributes listAttrs;
    for (size_t i = 0; i < m_paras.size(); ++i) {
        const Para &p = m_paras[i];
        QTextBlockFormat bf;
        ApplyParaAttributes(bf, p.state.attrs);
        if (!p.state.tabs.empty()) {
            QList<QTextOption::Tab> tabs;
            QString kinds;
            for (const TabStop &t : p.state.tabs) {
                QTextOption::TabType tt = QTextOption::LeftTab;
                if (t.kind == 'r') tt = QTextOption::RightTab;
                else if (t.kind == 'c') tt = QTextOption::CenterTab;
                else if (t.kind == 'd') tt = QTextOption::DelimiterTab;
                tabs.append(QTextOption::Tab(TwipsToPx(t.pos), tt, t.kind == 'd' ? QChar('.') : QChar()));
                kinds += QLatin1Char(t.kind);
            }
            bf.setTabPositions(tabs);
            bf.setProperty(PropTabKinds, kinds);
        }
        if (i == 0) {
            c.setBlockFormat(bf);
            c.setBlockCharFormat(p.mark);
        } else {
            c.insertBlock(bf, p.mark);
        }
        const TParaAttributes &a = p.state.attrs;
        if (a.numbering != NumNone) {
            const bool same = list && listAttrs.numbering == a.numbering &&
                              listAttrs.numberingStart == a.numberingStart &&
                              listAttrs.numberingStyle == a.numberingStyle &&
                              listAttrs.numberingTab == a.numberingTab;
            if (same) {
                list->add(c.block());
            } else {
                list = c.createList(MakeListFormat(a.numbering, a.numberingStart, a.numberingStyle, a.numberingTab));
                listAttrs = a;
            }
        } else {
            list = nullptr;
        }
        for (const Run &r : p.runs)
            c.insertText(r.text, r.fmt);
    }
    c.endEditBlock();
    // Registered after the content is in: a layout made early would follow every insertion.
    RegisterObjectHandler(&doc);
    doc.setUndoRedoEnabled(undo);
    doc.setModified(false);
}

} // namespace

TRtfReadResult ReadRtf(const QByteArray &rtf, QTextDocument &doc)
{
    Reader r(rtf);
    TRtfReadResult res = r.run();
    r.build(doc);
    return res;
}

} // namespace RichText
