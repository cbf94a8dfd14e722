#include "HtmlRich.h"

#include "HtmlNesting.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "TextFormats.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace Interchange {

namespace {

using namespace RichText;

// The editor's default look of a new question, so that imported text looks
// like text typed there.
const QString kDefaultFamily = QStringLiteral("MS Sans Serif");
constexpr int kDefaultCharset = 204;
constexpr int kSymbolCharset = 2;
constexpr qreal kDefaultPointSize = 12;
const QString kPluginFile = QStringLiteral("@@PLUGINFILE@@/");

// List items as the editor's bullet command indents them (twips).
constexpr int kListIndent = 200;
constexpr int kListLevelStep = 360;

QTextCharFormat DefaultCharFormat()
{
    QTextCharFormat f;
    f.setFontFamilies(QStringList{kDefaultFamily});
    f.setProperty(PropCharset, kDefaultCharset);
    f.setFontPointSize(kDefaultPointSize);
    f.setFontWeight(QFont::Normal);
    f.setForeground(QColor(0, 0, 0));
    return f;
}

bool IsSymbolFamily(const QString &family)
{
    const QString f = family.toLower();
    return f == u"symbol" || f.startsWith(u"wingdings") || f == u"webdings";
}

// CSS generic families have no face of their own on the players' computers.
QString ConcreteFamily(const QStringList &families)
{
    for (const QString &raw : families) {
        const QString f = raw.trimmed();
        if (f.isEmpty())
            continue;
        const QString l = f.toLower();
        if (l == u"serif") return QStringLiteral("Times New Roman");
        if (l == u"sans-serif" || l == u"system-ui") return QStringLiteral("Arial");
        if (l == u"monospace") return QStringLiteral("Courier New");
        if (l == u"cursive" || l == u"fantasy" || l.startsWith(u"-"))
            continue;
        return f;
    }
    return {};
}

// Qt's size steps of <font size>, <big>, <small>, headings and the CSS keywords.
qreal PointsOfAdjustment(int adj)
{
    static const qreal steps[] = {8, 10, 12, 14, 18, 24, 36};
    return steps[std::clamp(adj + 2, 0, 6)];
}

QTextCharFormat NormalCharFormat(const QTextCharFormat &src)
{
    QTextCharFormat f;
    QString family = ConcreteFamily(src.fontFamilies().toStringList());
    if (family.isEmpty())
        family = kDefaultFamily;
    f.setFontFamilies(QStringList{family});
    f.setProperty(PropCharset, IsSymbolFamily(family) ? kSymbolCharset : kDefaultCharset);
    qreal pt = kDefaultPointSize;
    if (src.hasProperty(QTextFormat::FontPointSize) && src.fontPointSize() > 0)
        pt = src.fontPointSize();
    else if (src.hasProperty(QTextFormat::FontPixelSize) && src.intProperty(QTextFormat::FontPixelSize) > 0)
        pt = src.intProperty(QTextFormat::FontPixelSize) * 0.75;
    else if (src.hasProperty(QTextFormat::FontSizeAdjustment))
        pt = PointsOfAdjustment(src.intProperty(QTextFormat::FontSizeAdjustment));
    f.setFontPointSize(std::clamp(std::round(pt * 2) / 2, 1.0, 1638.0));
    f.setFontWeight(src.fontWeight() >= QFont::DemiBold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(src.fontItalic());
    if (src.fontUnderline() || src.underlineStyle() != QTextCharFormat::NoUnderline)
        f.setFontUnderline(true);
    f.setFontStrikeOut(src.fontStrikeOut());
    const auto va = src.verticalAlignment();
    if (va == QTextCharFormat::AlignSuperScript || va == QTextCharFormat::AlignSubScript)
        f.setVerticalAlignment(va);
    QColor fg(0, 0, 0);
    if (src.hasProperty(QTextFormat::ForegroundBrush) && src.foreground().style() != Qt::NoBrush &&
        src.foreground().color().alpha() > 0)
        fg = src.foreground().color();
    fg.setAlpha(255);
    f.setForeground(fg);
    if (src.hasProperty(QTextFormat::BackgroundBrush) && src.background().style() != Qt::NoBrush &&
        src.background().color().alpha() > 0) {
        QColor bg = src.background().color();
        bg.setAlpha(255);
        f.setBackground(bg);
    }
    return f;
}

int AlignmentValue(Qt::Alignment a)
{
    if (a & Qt::AlignHCenter) return AlignCenterValue;
    if (a & Qt::AlignJustify) return AlignJustifyValue;
    if (a & Qt::AlignRight) return AlignRightValue;
    return AlignLeftValue;
}

// Never loads anything: pictures come from the file's own attachments, and
// style sheets or background images elsewhere are not ours to fetch.
class TSealedDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

const TEmbeddedFile *FindFile(const QList<TEmbeddedFile> &files, const QString &src)
{
    QString name = src.mid(kPluginFile.size());
    const int q = name.indexOf(QLatin1Char('?'));
    if (q >= 0)
        name.truncate(q);
    const QString decoded = QUrl::fromPercentEncoding(name.toUtf8());
    for (const TEmbeddedFile &f : files)
        if (f.Name == name || f.Name == decoded)
            return &f;
    return nullptr;
}

QString ShortName(const QString &src)
{
    return src.size() > 80 ? src.left(77) + QStringLiteral("...") : src;
}

// The bytes of a data: URL carrying a picture, empty when it is none.
QByteArray DataUrlBytes(const QString &src)
{
    const int comma = src.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    const QString head = src.left(comma).toLower();
    if (!head.startsWith(u"data:image/") || !head.endsWith(u";base64"))
        return {};
    const auto r = QByteArray::fromBase64Encoding(src.mid(comma + 1).toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    return r ? *r : QByteArray();
}

// Qt's style sheets know no "text-align: justify"; the old attribute it knows.
QString WithJustifyAttributes(const QString &html)
{
    if (!html.contains(QLatin1String("justify"), Qt::CaseInsensitive))
        return html;
    static const QRegularExpression styled(
        QStringLiteral("<(p|div|li|h[1-6]|td|th|blockquote)(\\s[^>]{0,2000}?)?(style\\s*=\\s*(\"[^\"]{0,2000}?text-align\\s*:\\s*"
                       "justify[^\"]{0,2000}\"|'[^']{0,2000}?text-align\\s*:\\s*justify[^']{0,2000}'))"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = html;
    out.replace(styled, QStringLiteral("<\\1 align=\"justify\"\\2\\3"));
    return out;
}

// Qt 6.4 reads no start number of an ordered list; it travels in the number
// prefix, which Qt does read, and the list is made with it afterwards.
const QString kStartMark = QStringLiteral("~qestart~");

QString WithListStarts(const QString &html)
{
    if (!html.contains(QLatin1String("start"), Qt::CaseInsensitive))
        return html;
    static const QRegularExpression ol(QStringLiteral("<ol\\b[^>]{0,2000}>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression start(QStringLiteral("\\bstart\\s*=\\s*[\"']?\\s*(\\d{1,6})"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression style(QStringLiteral("\\bstyle\\s*=\\s*([\"'])"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype from = 0;
    for (auto it = ol.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        QString tag = m.captured();
        const auto sm = start.match(tag);
        if (sm.hasMatch() && sm.captured(1).toInt() != 1) {
            const QString n = QString::number(sm.captured(1).toInt());
            const auto st = style.match(tag);
            if (st.hasMatch()) {
                const QString q = st.captured(1) == u"\"" ? QStringLiteral("'") : QStringLiteral("\"");
                tag.insert(st.capturedEnd(), QStringLiteral("-qt-list-number-prefix:%1%2%3%1;").arg(q, kStartMark, n));
            } else {
                tag.insert(3, QStringLiteral(" style=\"-qt-list-number-prefix:'%1%2'\"").arg(kStartMark, n));
            }
        }
        out += QStringView(html).mid(from, m.capturedStart() - from);
        out += tag;
        from = m.capturedEnd();
    }
    out += QStringView(html).mid(from);
    return out;
}

bool InTable(const QTextBlock &b)
{
    return QTextCursor(b).currentTable() != nullptr;
}

class TImporter {
public:
    TImporter(const QList<TEmbeddedFile> &files, TReport &report, const QString &where,
              TImportPictures *pictures)
        : m_files(files), m_report(report), m_where(where), m_pictures(pictures) {}

    QByteArray run(const QString &html)
    {
        bool flattened = false;
        const QString bounded = FlattenHtmlNesting(html, kMaxHtmlDepth, &flattened);
        if (flattened)
            m_report.add(QStringLiteral("%1HTML вложен глубже %2 уровней: более глубокие теги убраны, текст оставлен.")
                             .arg(m_where).arg(kMaxHtmlDepth));
        TSealedDocument src;
        src.setHtml(WithListStarts(WithJustifyAttributes(bounded)));
        QTextDocument out;
        QTextCursor c(&out);
        bool first = true;
        const QTextList *lastSrcList = nullptr;
        QTextList *lastList = nullptr;
        bool table = false;
        for (QTextBlock b = src.begin(); b.isValid(); b = b.next()) {
            if (b.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth) &&
                b.text().isEmpty())
                continue;
            // Tables become their cells' paragraphs, without the empty ones Qt puts around them.
            if (InTable(b)) {
                table = true;
            } else if (b.text().isEmpty() && ((b.next().isValid() && InTable(b.next())) ||
                                              (b.previous().isValid() && InTable(b.previous())))) {
                continue;
            }
            const QTextBlockFormat bf = blockFormat(b);
            const QTextCharFormat mark = NormalCharFormat(b.charFormat());
            if (first)
                c.setBlockFormat(bf), c.setBlockCharFormat(mark);
            else
                c.insertBlock(bf, mark);
            first = false;
            if (const QTextList *sl = b.textList()) {
                if (sl != lastSrcList || !lastList) {
                    lastList = c.createList(listFormat(*sl));
                    lastSrcList = sl;
                } else {
                    lastList->add(c.block());
                }
                // createList takes the block's indent; ours stay in the margins.
                QTextBlockFormat again = c.blockFormat();
                again.setIndent(0);
                c.setBlockFormat(again);
            } else {
                lastSrcList = nullptr;
                lastList = nullptr;
            }
            copyBlockText(b, c);
        }
        if (table)
            m_report.add(QStringLiteral("%1таблица записана абзацами.").arg(m_where));
        return SaveRecord(out);
    }

private:
    QTextBlockFormat blockFormat(const QTextBlock &b) const
    {
        const QTextBlockFormat s = b.blockFormat();
        TParaAttributes a;
        a.alignment = AlignmentValue(s.alignment());
        a.rightIndent = std::max(0, PxToTwips(s.rightMargin()));
        if (const QTextList *l = b.textList()) {
            const int level = std::max(1, l->format().indent());
            a.leftIndent = kListIndent + (level - 1) * kListLevelStep;
            a.firstIndent = -kListIndent;
        } else {
            const qreal left = s.leftMargin() + s.indent() * 40.0;
            a.leftIndent = std::clamp(PxToTwips(left), 0, 31680);
            a.firstIndent = std::clamp(PxToTwips(s.textIndent()), -a.leftIndent, 31680);
        }
        QTextBlockFormat bf;
        ApplyParaAttributes(bf, a);
        return bf;
    }

    static QTextListFormat listFormat(const QTextList &l)
    {
        int code = NumberingOf(l.format());
        if (code == NumNone)
            code = NumBullet;
        int start = 1;
        const QString prefix = l.format().numberPrefix();
        if (prefix.startsWith(kStartMark))
            start = std::max(0, prefix.mid(kStartMark.size()).toInt());
        return MakeListFormat(code, start, StylePeriod, 0);
    }

    void copyBlockText(const QTextBlock &b, QTextCursor &c)
    {
        // A <br> closing a paragraph shows as nothing; only a second one is a line.
        int end = b.length() - 1;
        if (end > 0 && b.text().at(end - 1) == QChar::LineSeparator)
            --end;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int from = frag.position() - b.position();
            if (from >= end)
                break;
            QString text = WithoutLoneSurrogates(frag.text().left(end - from));
            const QTextCharFormat cf = frag.charFormat();
            const QTextCharFormat f = NormalCharFormat(cf);
            if (cf.isImageFormat()) {
                for (int k = 0; k < text.size(); ++k)
                    if (text[k] == QChar::ObjectReplacementCharacter)
                        insertPicture(cf.toImageFormat(), f, c);
                continue;
            }
            text.remove(QChar(QChar::ObjectReplacementCharacter));
            text.remove(QChar(0xFDD0));   // frame (table) boundaries
            text.remove(QChar(0xFDD1));
            text.replace(QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator));
            if (!text.isEmpty())
                c.insertText(text, f);
        }
    }

    void insertPicture(const QTextImageFormat &img, const QTextCharFormat &f, QTextCursor &c)
    {
        if (!m_pictures)
            return;
        const QString src = img.name().trimmed();
        QByteArray data;
        if (src.startsWith(kPluginFile, Qt::CaseInsensitive)) {
            const TEmbeddedFile *file = FindFile(m_files, src);
            if (!file) {
                m_report.add(QStringLiteral("%1рисунок «%2» не найден среди вложенных файлов, пропущен.")
                                 .arg(m_where, ShortName(src)));
                return;
            }
            data = file->Data;
        } else if (src.startsWith(u"data:", Qt::CaseInsensitive)) {
            data = DataUrlBytes(src);
            if (data.isEmpty()) {
                m_report.add(QStringLiteral("%1рисунок в ссылке data: не прочитан, пропущен.").arg(m_where));
                return;
            }
        } else {
            m_report.add(QStringLiteral("%1рисунок по внешней ссылке «%2» не вложен в файл, пропущен.")
                             .arg(m_where, ShortName(src)));
            return;
        }
        const TImportPictures::TPicture &picture = m_pictures->take(data);
        if (picture.Storage.isEmpty()) {
            m_report.add(QStringLiteral("%1рисунок «%2» %3, пропущен.").arg(m_where, ShortName(src), picture.Why));
            return;
        }
        // Sizes given in the tag win; one alone keeps the picture's proportions.
        const QSize px = picture.Pixels;
        qreal w = img.hasProperty(QTextFormat::ImageWidth) ? img.width() : 0;
        qreal h = img.hasProperty(QTextFormat::ImageHeight) ? img.height() : 0;
        if (w > 0 && h <= 0)
            h = w * px.height() / px.width();
        else if (h > 0 && w <= 0)
            w = h * px.width() / px.height();
        const int wh = w > 0 ? PxToHmm(int(std::lround(std::min<qreal>(w, kMaxPictureSide)))) : -1;
        const int hh = h > 0 ? PxToHmm(int(std::lround(std::min<qreal>(h, kMaxPictureSide)))) : -1;
        const TRichObject o = PictureObjectOf(picture.Storage, px, wh, hh);
        c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(o, f));
    }

    const QList<TEmbeddedFile> &m_files;
    TReport &m_report;
    QString m_where;
    TImportPictures *m_pictures;
};

// ---- export ---------------------------------------------------------------------

QString Escaped(const QString &s)
{
    return s.toHtmlEscaped();
}

QString ColorText(const QColor &c)
{
    return c.name(QColor::HexRgb);
}

class TExporter {
public:
    TExporter(QList<TEmbeddedFile> &files, TReport &report, const QString &where)
        : m_files(files), m_report(report), m_where(where) {}

    QString run(const QTextDocument &doc)
    {
        QString out;
        const QTextList *open = nullptr;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            const QTextList *list = b.textList();
            if (list != open) {
                if (open)
                    out += isOrdered(*open) ? QStringLiteral("</ol>") : QStringLiteral("</ul>");
                if (list)
                    out += listOpening(*list);
                open = list;
            }
            const QString style = blockStyle(b, list != nullptr);
            const QString tag = list ? QStringLiteral("li") : QStringLiteral("p");
            out += QLatin1Char('<') + tag;
            if (!style.isEmpty())
                out += QStringLiteral(" style=\"") + style + QLatin1Char('"');
            out += QLatin1Char('>');
            out += blockText(b);
            out += QStringLiteral("</") + tag + QLatin1Char('>');
        }
        if (open)
            out += isOrdered(*open) ? QStringLiteral("</ol>") : QStringLiteral("</ul>");
        return out;
    }

private:
    static bool isOrdered(const QTextList &l)
    {
        const int code = NumberingOf(l.format());
        return code != NumBullet && code != NumNone;
    }

    static QString listOpening(const QTextList &l)
    {
        const QTextListFormat lf = l.format();
        const int code = NumberingOf(lf);
        if (!isOrdered(l))
            return QStringLiteral("<ul>");
        QString type;
        switch (code) {
        case NumLcLetter: type = QStringLiteral(" type=\"a\""); break;
        case NumUcLetter: type = QStringLiteral(" type=\"A\""); break;
        case NumLcRoman: type = QStringLiteral(" type=\"i\""); break;
        case NumUcRoman: type = QStringLiteral(" type=\"I\""); break;
        default: break;
        }
        const int start = NumberingStartOf(lf);
        if (start != 1)
            type += QStringLiteral(" start=\"%1\"").arg(start);
        return QStringLiteral("<ol") + type + QLatin1Char('>');
    }

    static QString blockStyle(const QTextBlock &b, bool inList)
    {
        const QTextBlockFormat bf = b.blockFormat();
        QStringList parts;
        if (!inList)
            parts << QStringLiteral("margin:0");
        switch (AlignmentValue(bf.alignment())) {
        case AlignCenterValue: parts << QStringLiteral("text-align:center"); break;
        case AlignRightValue: parts << QStringLiteral("text-align:right"); break;
        case AlignJustifyValue: parts << QStringLiteral("text-align:justify"); break;
        default: break;
        }
        if (!inList) {
            if (bf.leftMargin() >= 1)
                parts << QStringLiteral("margin-left:%1px").arg(qRound(bf.leftMargin()));
            if (std::abs(bf.textIndent()) >= 1)
                parts << QStringLiteral("text-indent:%1px").arg(qRound(bf.textIndent()));
        }
        if (bf.rightMargin() >= 1)
            parts << QStringLiteral("margin-right:%1px").arg(qRound(bf.rightMargin()));
        // Spaces the browser would fold are kept as they are.
        const QString t = b.text();
        if (t.startsWith(QLatin1Char(' ')) || t.endsWith(QLatin1Char(' ')) ||
            t.contains(QLatin1String("  ")) || t.contains(QLatin1Char('\t')))
            parts << QStringLiteral("white-space:pre-wrap");
        return parts.join(QLatin1Char(';'));
    }

    QString blockText(const QTextBlock &b)
    {
        QString out;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            const QString text = frag.text();
            if (IsObjectFormat(f)) {
                for (QChar ch : text)
                    if (ch == QChar::ObjectReplacementCharacter)
                        out += objectHtml(ObjectOf(f));
                continue;
            }
            out += runHtml(f, text);
        }
        // A closing <br> shows as nothing: an empty paragraph or a line break
        // at the end needs one more.
        if (b.text().isEmpty() || b.text().endsWith(QChar(QChar::LineSeparator)))
            out += QStringLiteral("<br>");
        return out;
    }

    static QString runHtml(const QTextCharFormat &f, const QString &text)
    {
        QString body;
        int from = 0;
        for (int i = 0; i <= text.size(); ++i) {
            if (i < text.size() && text[i] != QChar::LineSeparator)
                continue;
            body += Escaped(text.mid(from, i - from));
            if (i < text.size())
                body += QStringLiteral("<br>");
            from = i + 1;
        }
        if (body.isEmpty())
            return {};
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            body = QStringLiteral("<sup>") + body + QStringLiteral("</sup>");
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
            body = QStringLiteral("<sub>") + body + QStringLiteral("</sub>");
        if (f.fontStrikeOut())
            body = QStringLiteral("<s>") + body + QStringLiteral("</s>");
        if (UnderlineTypeOf(f) != 0)
            body = QStringLiteral("<u>") + body + QStringLiteral("</u>");
        if (f.fontItalic())
            body = QStringLiteral("<em>") + body + QStringLiteral("</em>");
        if (f.fontWeight() >= QFont::DemiBold)
            body = QStringLiteral("<strong>") + body + QStringLiteral("</strong>");
        QStringList style;
        const QString family = FontNameOf(f);
        if (!family.isEmpty() && family != kDefaultFamily) {
            QString quoted = family;
            quoted.remove(QLatin1Char('\'')).remove(QLatin1Char('"')).remove(QLatin1Char(';'));
            style << QStringLiteral("font-family:'%1'").arg(quoted);
        }
        if (f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0 &&
            std::abs(f.fontPointSize() - kDefaultPointSize) > 0.01)
            style << QStringLiteral("font-size:%1pt").arg(f.fontPointSize());
        if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
            const QColor c = f.foreground().color();
            if (c.rgb() != qRgb(0, 0, 0))
                style << QStringLiteral("color:") + ColorText(c);
        }
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush) {
            const QColor c = f.background().color();
            if (c.alpha() > 0 && c.rgb() != qRgb(255, 255, 255))
                style << QStringLiteral("background-color:") + ColorText(c);
        }
        if (!style.isEmpty())
            body = QStringLiteral("<span style=\"") + style.join(QLatin1Char(';')).toHtmlEscaped() +
                   QStringLiteral("\">") + body + QStringLiteral("</span>");
        return body;
    }

    QString objectHtml(const TRichObject &o)
    {
        const QImage img = DecodeStoragePicture(o.storage);
        const bool picture = o.clsid == StaticPictureClsid();
        if (img.isNull()) {
            m_report.add(QStringLiteral("%1объект «%2» нельзя записать рисунком, пропущен.")
                             .arg(m_where, StorageClassName(o.storage)));
            return {};
        }
        if (!picture)
            m_report.add(QStringLiteral("%1объект «%2» записан рисунком, как он показан.")
                             .arg(m_where, StorageClassName(o.storage)));
        QByteArray png;
        {
            QBuffer buf(&png);
            buf.open(QIODevice::WriteOnly);
            QImageWriter w(&buf, "png");
            if (!w.write(img)) {
                m_report.add(QStringLiteral("%1рисунок не удалось записать, пропущен.").arg(m_where));
                return {};
            }
        }
        // The same picture twice is one file.
        QString name;
        for (const TEmbeddedFile &f : m_files)
            if (f.Data == png)
                name = f.Name;
        if (name.isEmpty()) {
            for (int n = int(m_files.size()) + 1;; ++n) {
                name = QStringLiteral("image%1.png").arg(n);
                const bool taken = std::any_of(m_files.begin(), m_files.end(),
                                               [&](const TEmbeddedFile &f) { return f.Name == name; });
                if (!taken)
                    break;
            }
            m_files.append(TEmbeddedFile{name, png});
        }
        QString tag = QStringLiteral("<img src=\"%1%2\" alt=\"\"").arg(kPluginFile, name);
        const int w = HmmToPx(o.width), h = HmmToPx(o.height);
        if (w > 0 && h > 0)
            tag += QStringLiteral(" width=\"%1\" height=\"%2\"").arg(w).arg(h);
        return tag + QLatin1Char('>');
    }

    QList<TEmbeddedFile> &m_files;
    TReport &m_report;
    QString m_where;
};

} // namespace

const TImportPictures::TPicture &TImportPictures::take(const QByteArray &data)
{
    const QByteArray key = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    if (auto it = m_pictures.constFind(key); it != m_pictures.constEnd()) {
        if (!it->Storage.isEmpty())
            charge(PictureRecordBytes(it->Pixels));
        return *it;
    }
    TPicture p;
    QByteArray copy = data;
    QBuffer buf(&copy);
    buf.open(QIODevice::ReadOnly);
    // Charged before the picture is decoded where its size is told, after otherwise.
    const QSize told = QImageReader(&buf).size();
    qint64 charged = 0;
    if (told.isValid() && PictureSizeAllowed(told)) {
        charged = PictureRecordBytes(told);
        charge(charged);
    }
    buf.seek(0);
    const QImage image = ReadOutsidePicture(&buf, &p.Why);
    ++m_decoded;
    m_used -= charged;
    if (!image.isNull()) {
        charge(PictureRecordBytes(image.size()));
        p.Pixels = image.size();
        p.Storage = BuildPictureStorage(image);
        if (p.Storage.isEmpty()) {
            m_used -= PictureRecordBytes(image.size());
            p.Why = QStringLiteral("не удалось сохранить");
        }
    }
    return *m_pictures.insert(key, p);
}

void TImportPictures::charge(qint64 bytes)
{
    if (m_used + bytes > m_budget)
        throw EPictureBudget{QStringLiteral("рисунки файла заняли бы в вопросах больше %1 МБ; файл не импортирован.")
                                 .arg(m_budget / (1024 * 1024))};
    m_used += bytes;
}

QByteArray RichRecordFromHtml(const QString &html, const QList<TEmbeddedFile> &files,
                              TReport &report, const QString &where, TImportPictures *pictures)
{
    return TImporter(files, report, where, pictures).run(html);
}

QByteArray RichRecordFromHtml(const QString &html, const QList<TEmbeddedFile> &files,
                              TReport &report, const QString &where)
{
    TImportPictures pictures;
    return RichRecordFromHtml(html, files, report, where, &pictures);
}

QByteArray RichRecordFromPlain(const QString &text)
{
    QTextDocument doc;
    const QTextCharFormat f = DefaultCharFormat();
    QTextBlockFormat bf;
    bf.setAlignment(Qt::AlignHCenter);
    QTextCursor c(&doc);
    c.setBlockFormat(bf);
    c.setBlockCharFormat(f);
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = t.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            c.insertBlock(bf, f);
        QString line = lines[i];
        // An object mark without its object would be an object the record cannot hold.
        line.remove(QChar(QChar::ObjectReplacementCharacter));
        c.insertText(line, f);
    }
    return SaveRecord(doc);
}

QString HtmlFromRichRecord(const QByteArray &record, QList<TEmbeddedFile> &files,
                           TReport &report, const QString &where)
{
    QTextDocument doc;
    try {
        LoadRecord(doc, record);
    } catch (const std::exception &) {
        report.add(QStringLiteral("%1текст повреждён, записано то, что удалось прочитать.").arg(where));
    }
    return TExporter(files, report, where).run(doc);
}

QString PlainFromRichRecord(const QByteArray &record)
{
    QTextDocument doc;
    try {
        LoadRecord(doc, record);
    } catch (const std::exception &) {
        // What was read before the damage is still the best text there is.
    }
    QStringList lines;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString s = b.text();
        s.remove(QChar(QChar::ObjectReplacementCharacter));
        s.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
        lines << s;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

} // namespace Interchange
