#include "DocxWriter.h"

#include "DocxError.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace Docx {
namespace {

const QString kOfficeDocument = Ns::RelBase + QStringLiteral("officeDocument");
const QString kCoreProps = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties");
const QString kAppProps = Ns::RelBase + QStringLiteral("extended-properties");
const QString kMainType = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml");
const QString kWmlType = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.");

// Parts of the template's main part that the new document keeps: they hold no
// reference to the template's body.
const QStringList kKeptRelations = {QStringLiteral("styles"), QStringLiteral("settings"),
                                    QStringLiteral("fontTable"), QStringLiteral("webSettings"),
                                    QStringLiteral("theme"), QStringLiteral("numbering"), QStringLiteral("header"),
                                    QStringLiteral("footnotes"), QStringLiteral("endnotes")};

QString Dir(const QString &part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash + 1);
}

QString RelsName(const QString &part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

// A relationship target relative to the folder of its source, as a part name.
QString ResolveTarget(const QString &baseDir, const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    QStringList parts = (baseDir + target).split(QLatin1Char('/'));
    QStringList out;
    for (const QString &p : parts) {
        if (p == QLatin1String(".."))
            { if (!out.isEmpty()) out.removeLast(); }
        else if (p != QLatin1String(".") && !p.isEmpty())
            out << p;
    }
    return out.join(QLatin1Char('/'));
}

struct TRelationship { QString id, type, target, mode; };

QList<TRelationship> ReadRelationships(const QByteArray &xml)
{
    QList<TRelationship> out;
    if (xml.isEmpty())
        return out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("Relationship")) {
            const auto a = r.attributes();
            out.append({a.value(QLatin1String("Id")).toString(), a.value(QLatin1String("Type")).toString(),
                        a.value(QLatin1String("Target")).toString(), a.value(QLatin1String("TargetMode")).toString()});
        }
    }
    if (r.hasError())
        throw EDocxError(QStringLiteral("relationships: ") + r.errorString());
    return out;
}

QString XmlSafe(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            out += s[i];
            out += s[++i];
            continue;
        }
        if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF || (c < 0x20 && c != '\t'))
            continue;
        out += QChar(c);
    }
    return out;
}

QString Hex(const QColor &c)
{
    return QStringLiteral("%1%2%3").arg(c.red(), 2, 16, QLatin1Char('0')).arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0')).toUpper();
}

QString LanguageTag(int lcid)
{
    switch (lcid) {
    case 1049: return QStringLiteral("ru-RU");
    case 1033: return QStringLiteral("en-US");
    case 2057: return QStringLiteral("en-GB");
    case 1058: return QStringLiteral("uk-UA");
    case 1059: return QStringLiteral("be-BY");
    case 1031: return QStringLiteral("de-DE");
    case 1036: return QStringLiteral("fr-FR");
    case 1087: return QStringLiteral("kk-KZ");
    default: return {};
    }
}

// ids past this would leave ours no room below the largest value readers take.
constexpr qint64 kMaxDrawingIdBase = 1000000000;
constexpr int kMinFooterDistance = 567;   // twips: 10 mm
constexpr int kPictureHeightAllowance = 567;
constexpr qint64 kEmuPerTwip = 635;
constexpr qint64 kPhotoMinPixels = 64 * 64;
constexpr int kDefaultCharset = 1;
constexpr int kJpegQuality = 90;
constexpr qsizetype kPhotoGain = 3;   // a JPEG a third of the PNG or less is taken for a photo

bool IsOff(QStringView v)
{
    return v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("off");
}

// A length in twips: a plain number, or a number with a unit ("2.5cm", "1in").
int Twips(QStringView v, int fallback)
{
    static const QList<QPair<QLatin1String, double>> units = {
        {QLatin1String("mm"), 1440 / 25.4}, {QLatin1String("cm"), 1440 / 2.54}, {QLatin1String("in"), 1440.0},
        {QLatin1String("pt"), 20.0}, {QLatin1String("pc"), 240.0}, {QLatin1String("pi"), 240.0}};
    double factor = 1;
    QStringView number = v.trimmed();
    for (const auto &[unit, f] : units)
        if (number.endsWith(unit)) {
            number.chop(2);
            factor = f;
            break;
        }
    bool ok = false;
    const double d = number.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return fallback;
    return int(std::lround(std::clamp(d * factor, -1e7, 1e7)));
}

// Writes the element the reader is on and all it holds, with the w: prefix;
// what belongs to other namespaces (a newer version's extensions) stays behind.
// Without recursion: a hostile template nests as deep as its bytes allow.
void CopyElement(QXmlStreamReader &r, QXmlStreamWriter &x)
{
    int open = 0;   // elements written and not yet closed
    do {
        if (r.isStartElement()) {
            if (r.namespaceUri() != Ns::W) {
                r.skipCurrentElement();   // leaves the reader on its end, which the next read passes
                if (open == 0)
                    return;
            } else {
                x.writeStartElement(QStringLiteral("w:") + r.name().toString());
                for (const QXmlStreamAttribute &a : r.attributes())
                    if (a.namespaceUri() == Ns::W)
                        x.writeAttribute(QStringLiteral("w:") + a.name().toString(), a.value().toString());
                ++open;
            }
        } else if (r.isEndElement()) {
            x.writeEndElement();
            if (--open == 0)
                return;
        } else if (r.isCharacters() && !r.isWhitespace()) {
            x.writeCharacters(r.text().toString());
        }
        r.readNext();
    } while (!r.atEnd());
}

// The settings without their references to the footnote or endnote separators
// (w:footnote in w:footnotePr, w:endnote in w:endnotePr) whose part is missing:
// a reader warns of a damaged document when they point nowhere.
QByteArray WithoutNoteReferences(const QByteArray &settings, bool footnotes, bool endnotes)
{
    const QString text = QString::fromUtf8(settings);
    QList<QPair<qint64, qint64>> cuts;
    QXmlStreamReader r(text);
    QString parent;   // footnotePr or endnotePr while inside one
    int depth = 0, parentDepth = -1;
    qint64 before = 0;
    while (!r.atEnd()) {
        before = r.characterOffset();
        r.readNext();
        if (r.isEndElement()) {
            if (depth-- == parentDepth)
                parentDepth = -1;
            continue;
        }
        if (!r.isStartElement())
            continue;
        ++depth;
        const QStringView name = r.name();
        const bool w = r.namespaceUri() == Ns::W;
        if (w && depth == 2 && (name == QLatin1String("footnotePr") || name == QLatin1String("endnotePr"))) {
            parent = name.toString();
            parentDepth = depth;
        } else if (w && parentDepth > 0 && depth == parentDepth + 1 &&
                   ((footnotes && parent == QLatin1String("footnotePr") && name == QLatin1String("footnote")) ||
                    (endnotes && parent == QLatin1String("endnotePr") && name == QLatin1String("endnote")))) {
            r.skipCurrentElement();
            --depth;
            cuts.append({before, r.characterOffset()});
        }
    }
    if (r.hasError() || cuts.isEmpty())
        return settings;
    QString out = text;
    for (qsizetype i = cuts.size() - 1; i >= 0; --i)
        out.remove(cuts[i].first, cuts[i].second - cuts[i].first);
    return out.toUtf8();
}

// A photograph as a JPEG, when it is one: the record keeps only its pixels,
// and as a PNG a photo takes many times the bytes its JPEG had. Drawings,
// screenshots and text compress well losslessly and stay PNG (empty result).
QByteArray PhotoAsJpeg(const QImage &image, qsizetype pngSize)
{
    if (qint64(image.width()) * image.height() < kPhotoMinPixels)
        return {};
    if (image.hasAlphaChannel()) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                if (qAlpha(line[x]) != 255)
                    return {};
        }
    }
    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buf, "JPEG", kJpegQuality))
        return {};
    return jpeg.size() * kPhotoGain <= pngSize ? jpeg : QByteArray();
}

QString CharsetHex(int charset)
{
    return QStringLiteral("%1").arg(charset & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

// ---- template ----

TDocxTemplate TDocxTemplate::Load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EDocxError(QStringLiteral("%1: %2").arg(path, f.errorString()));
    return FromBytes(f.readAll());
}

TDocxTemplate TDocxTemplate::FromBytes(const QByteArray &zip)
{
    const TZipEntries entries = ReadZip(zip);
    QHash<QString, QByteArray> files;
    for (const auto &[name, bytes] : entries)
        files.insert(name, bytes);

    QHash<QString, QString> defaults, overrides;
    {
        QXmlStreamReader r(files.value(QStringLiteral("[Content_Types].xml")));
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement())
                continue;
            const auto a = r.attributes();
            if (r.name() == QLatin1String("Default"))
                defaults.insert(a.value(QLatin1String("Extension")).toString().toLower(),
                                a.value(QLatin1String("ContentType")).toString());
            else if (r.name() == QLatin1String("Override"))
                overrides.insert(a.value(QLatin1String("PartName")).toString().mid(1),
                                 a.value(QLatin1String("ContentType")).toString());
        }
        if (r.hasError() || (defaults.isEmpty() && overrides.isEmpty()))
            throw EDocxError(QStringLiteral("[Content_Types].xml: missing or damaged"));
    }
    auto typeOf = [&](const QString &part) {
        if (overrides.contains(part))
            return overrides.value(part);
        return defaults.value(QFileInfo(part).suffix().toLower());
    };

    TDocxTemplate t;
    QString main;
    // A part is kept once, and never one the new document writes itself:
    // a damaged template naming it twice would make an unwritable package.
    QSet<QString> kept{QStringLiteral("[Content_Types].xml"), QStringLiteral("_rels/.rels"),
                       QStringLiteral("word/document.xml"), QStringLiteral("word/_rels/document.xml.rels")};
    auto keepable = [&](const QString &part) {
        return files.contains(part) && !kept.contains(part) && !part.endsWith(QLatin1String(".rels"));
    };
    for (const TRelationship &rel : ReadRelationships(files.value(QStringLiteral("_rels/.rels")))) {
        const QString target = ResolveTarget(QString(), rel.target);
        if (rel.type == kOfficeDocument) {
            main = target;
        } else if ((rel.type == kCoreProps || rel.type == kAppProps) && keepable(target)) {
            kept.insert(target);
            t.m_packageParts.append({target, typeOf(target), files.value(target), {}, rel.type});
        }
    }
    if (main.isEmpty() || !files.contains(main))
        throw EDocxError(QStringLiteral("no main document part"));
    kept.insert(main);

    const QString mainDir = Dir(main);
    for (const TRelationship &rel : ReadRelationships(files.value(RelsName(main)))) {
        if (rel.mode == QLatin1String("External") || !rel.type.startsWith(Ns::RelBase))
            continue;
        if (!kKeptRelations.contains(rel.type.mid(Ns::RelBase.size())))
            continue;
        const QString part = ResolveTarget(mainDir, rel.target);
        if (!keepable(part))
            continue;
        kept.insert(part);
        t.m_parts.append({part, typeOf(part), files.value(part), files.value(RelsName(part)), rel.type});
    }
    // What the kept parts refer to themselves (embedded fonts, a theme's pictures)
    // comes along, or their relationships would point nowhere.
    const qsizetype direct = t.m_parts.size();
    for (qsizetype i = 0; i < direct; ++i) {
        const QString dir = Dir(t.m_parts[i].name);
        for (const TRelationship &rel : ReadRelationships(t.m_parts[i].rels)) {
            const QString part = ResolveTarget(dir, rel.target);
            if (rel.mode == QLatin1String("External") || !keepable(part))
                continue;
            kept.insert(part);
            t.m_parts.append({part, typeOf(part), files.value(part), files.value(RelsName(part)), QString()});
        }
    }

    // Footnote and endnote separators the settings name come with their parts, or go.
    auto keptOfType = [&](const char *type) {
        return std::any_of(t.m_parts.cbegin(), t.m_parts.cend(),
                           [&](const TPart &p) { return p.relType == Ns::RelBase + QLatin1String(type); });
    };
    const bool footnotes = keptOfType("footnotes"), endnotes = keptOfType("endnotes");
    for (TPart &p : t.m_parts)
        if (p.relType == Ns::RelBase + QStringLiteral("settings") && (!footnotes || !endnotes))
            p.bytes = WithoutNoteReferences(p.bytes, !footnotes, !endnotes);

    for (const TPart &p : std::as_const(t.m_parts)) {
        if (p.relType != Ns::RelBase + QStringLiteral("styles"))
            continue;
        QXmlStreamReader r(p.bytes);
        QString id;
        bool paragraph = false;
        int depth = 0;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                ++depth;
                const auto a = r.attributes();
                if (depth == 2 && r.name() == QLatin1String("style")) {
                    id = a.value(Ns::W, QLatin1String("styleId")).toString();
                    paragraph = a.value(Ns::W, QLatin1String("type")) == QLatin1String("paragraph");
                    const QStringView def = a.value(Ns::W, QLatin1String("default"));
                    if (paragraph && (def == QLatin1String("1") || def == QLatin1String("true")) && t.m_defaultStyle.isEmpty())
                        t.m_defaultStyle = id;
                } else if (depth == 3 && r.name() == QLatin1String("name") && paragraph && !id.isEmpty()) {
                    t.m_styleByName.insert(a.value(Ns::W, QLatin1String("val")).toString(), id);
                }
            } else if (r.isEndElement()) {
                --depth;
            }
        }
        if (r.hasError())
            throw EDocxError(QStringLiteral("%1: %2").arg(p.name, r.errorString()));
    }

    // Our lists are numbered after the template's own.
    for (const TPart &p : std::as_const(t.m_parts)) {
        if (p.relType != Ns::RelBase + QStringLiteral("numbering"))
            continue;
        QXmlStreamReader r(p.bytes);
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement())
                continue;
            const QStringView id = r.name() == QLatin1String("abstractNum") ? r.attributes().value(Ns::W, QLatin1String("abstractNumId"))
                                   : r.name() == QLatin1String("num")       ? r.attributes().value(Ns::W, QLatin1String("numId"))
                                                                             : QStringView();
            t.numberingBase = std::max(t.numberingBase, int(std::min<qint64>(id.toLongLong(), 1 << 30)));
        }
        if (r.hasError())
            throw EDocxError(QStringLiteral("%1: %2").arg(p.name, r.errorString()));
    }

    // Page setup and headers of the last section: the body's own, after any
    // paragraph's section break.
    {
        QHash<QString, QString> partOfId;
        for (const TRelationship &rel : ReadRelationships(files.value(RelsName(main))))
            partOfId.insert(rel.id, ResolveTarget(mainDir, rel.target));
        QXmlStreamReader r(files.value(main));
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement() || r.namespaceUri() != Ns::W || r.name() != QLatin1String("sectPr"))
                continue;
            t.headers.clear();
            t.pageSize.clear();
            t.pageMargins.clear();
            t.sectionProps.clear();
            while (r.readNextStartElement()) {
                const QString name = r.name().toString();
                if (r.namespaceUri() != Ns::W) {
                    r.skipCurrentElement();
                } else if (name == QLatin1String("headerReference")) {
                    const QString type = r.attributes().value(Ns::W, QLatin1String("type")).toString();
                    const QString part = partOfId.value(r.attributes().value(Ns::R, QLatin1String("id")).toString());
                    if (kept.contains(part))
                        t.headers.append({type.isEmpty() ? QStringLiteral("default") : type, part});
                    r.skipCurrentElement();
                } else if (name == QLatin1String("pgSz") || name == QLatin1String("pgMar")) {
                    QMap<QString, QString> &target = name == QLatin1String("pgSz") ? t.pageSize : t.pageMargins;
                    for (const QXmlStreamAttribute &a : r.attributes())
                        if (a.namespaceUri() == Ns::W)
                            target.insert(a.name().toString(), a.value().toString());
                    r.skipCurrentElement();
                } else if (name == QLatin1String("footerReference") || name == QLatin1String("printerSettings") ||
                           name == QLatin1String("sectPrChange")) {
                    // Our footer replaces the template's; the others point at parts left behind.
                    r.skipCurrentElement();
                } else {
                    QByteArray xml;
                    QXmlStreamWriter x(&xml);
                    CopyElement(r, x);
                    t.sectionProps.append({name, xml});
                }
            }
        }
        if (r.hasError())
            throw EDocxError(QStringLiteral("%1: %2").arg(main, r.errorString()));
    }
    for (const auto &[name, xml] : std::as_const(t.sectionProps)) {
        if (name != QLatin1String("cols"))
            continue;
        QXmlStreamReader r(xml);
        r.setNamespaceProcessing(false);
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement())
                continue;
            const auto a = r.attributes();
            if (r.qualifiedName() == QLatin1String("w:cols")) {
                t.m_columns = std::clamp(int(a.value(QLatin1String("w:num")).toInt()), 1, 45);
                if (a.hasAttribute(QLatin1String("w:space")))
                    t.m_columnSpace = Twips(a.value(QLatin1String("w:space")), 720);
                t.m_equalColumns = !IsOff(a.value(QLatin1String("w:equalWidth")));
            } else if (r.qualifiedName() == QLatin1String("w:col")) {
                t.m_columnWidths << Twips(a.value(QLatin1String("w:w")), 0);
            }
        }
    }

    // Drawing ids are unique across the package: ours follow the largest of the kept parts.
    for (const TPart &p : std::as_const(t.m_parts)) {
        if (!p.name.endsWith(QLatin1String(".xml")))
            continue;
        QXmlStreamReader r(p.bytes);
        while (!r.atEnd() && !r.hasError()) {
            r.readNext();
            if (r.isStartElement() && (r.name() == QLatin1String("docPr") || r.name() == QLatin1String("cNvPr")))
                t.drawingIdBase = std::max(t.drawingIdBase, std::min<qint64>(r.attributes().value(QLatin1String("id")).toLongLong(), kMaxDrawingIdBase));
        }
        if (p.relType == Ns::RelBase + QStringLiteral("settings")) {
            QXmlStreamReader s(p.bytes);
            while (!s.atEnd() && !s.hasError()) {
                s.readNext();
                if (s.isStartElement() && s.namespaceUri() == Ns::W && s.name() == QLatin1String("evenAndOddHeaders"))
                    t.evenAndOddHeaders = !IsOff(s.attributes().value(Ns::W, QLatin1String("val")));
            }
        }
    }
    return t;
}

int TDocxTemplate::textWidth() const
{
    const int page = Twips(pageSize.value(QStringLiteral("w"), QStringLiteral("11906")), 11906);
    const int width = page - Twips(pageMargins.value(QStringLiteral("left"), QStringLiteral("1418")), 1418) -
                      Twips(pageMargins.value(QStringLiteral("right"), QStringLiteral("850")), 850) -
                      Twips(pageMargins.value(QStringLiteral("gutter"), QStringLiteral("0")), 0);
    int column = width;
    if (m_columns > 1 && (m_equalColumns || m_columnWidths.isEmpty()))
        column = (width - m_columnSpace * (m_columns - 1)) / m_columns;
    else if (m_columns > 1)
        column = *std::min_element(m_columnWidths.begin(), m_columnWidths.end());
    // Even a damaged page setup leaves a picture a centimetre.
    return std::max(column, 567);
}

int TDocxTemplate::textHeight() const
{
    const int page = Twips(pageSize.value(QStringLiteral("h"), QStringLiteral("16838")), 16838);
    const int height = page - std::abs(Twips(pageMargins.value(QStringLiteral("top"), QStringLiteral("1134")), 1134)) -
                       std::abs(Twips(pageMargins.value(QStringLiteral("bottom"), QStringLiteral("1134")), 1134));
    return std::max(height, 567);
}

QString TDocxTemplate::paragraphStyleId(const QString &name) const
{
    if (name == QStringLiteral("Обычный"))
        return m_defaultStyle;
    auto it = m_styleByName.constFind(name);
    if (it != m_styleByName.constEnd())
        return *it;
    // Style names are not case-sensitive in word processors.
    for (auto i = m_styleByName.constBegin(); i != m_styleByName.constEnd(); ++i)
        if (i.key().compare(name, Qt::CaseInsensitive) == 0)
            return i.value();
    return {};
}

// ---- document ----

struct TDocxDocument::Impl {
    TDocxTemplate tpl;
    QByteArray body;
    QXmlStreamWriter w{&body};
    QByteArray numbering;        // abstractNum elements
    QByteArray numbers;          // num elements
    int listCount = 0;
    struct Media { QString name; QString relId; QByteArray bytes; };
    QList<Media> media;
    QMap<QString, int> fonts;    // the text's fonts and their character sets
    QHash<QByteArray, int> mediaByKey;
    qint64 drawingId = 0;
    QString footerText;
    bool hasFooter = false;
    bool finished = false;

    explicit Impl(const TDocxTemplate &t) : tpl(t), drawingId(t.drawingIdBase) {}

    void startParagraph(const QString &styleId, TKeep keep);
    void writeKeep(TKeep keep);
    void writeRunProps(const QTextCharFormat &f, bool paragraphMark);
    void writeText(QStringView text);
    void writeObject(const QTextCharFormat &f);
    int listNumber(const QTextListFormat &lf, int left, int hanging);
    QByteArray documentXml(const QHash<QString, QString> &relIdOfPart);
    QByteArray footerXml() const;
    QByteArray numberingXml() const;
    QByteArray mergedNumbering(const QByteArray &templatePart) const;
    QByteArray mergedFonts(const QByteArray &templatePart) const;
    bool templateNumbering() const
    {
        for (const TDocxTemplate::TPart &p : tpl.parts())
            if (p.relType == Ns::RelBase + QStringLiteral("numbering"))
                return true;
        return false;
    }
};

TDocxDocument::TDocxDocument(const TDocxTemplate &tpl) : d(std::make_unique<Impl>(tpl)) {}
TDocxDocument::~TDocxDocument() = default;

void TDocxDocument::Impl::writeKeep(TKeep keep)
{
    if (keep == TKeep::Style)
        return;
    w.writeEmptyElement(QStringLiteral("w:keepNext"));
    if (keep == TKeep::Lines)
        w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("w:keepLines"));
}

void TDocxDocument::Impl::startParagraph(const QString &styleId, TKeep keep)
{
    w.writeStartElement(QStringLiteral("w:p"));
    if (!styleId.isEmpty() || keep != TKeep::Style) {
        w.writeStartElement(QStringLiteral("w:pPr"));
        if (!styleId.isEmpty()) {
            w.writeEmptyElement(QStringLiteral("w:pStyle"));
            w.writeAttribute(QStringLiteral("w:val"), styleId);
        }
        writeKeep(keep);
        w.writeEndElement();
    }
}

void TDocxDocument::addParagraph(const QString &styleId, const QString &text, TKeep keep)
{
    if (d->finished)
        throw EDocxError(QStringLiteral("document already finished"));
    d->startParagraph(styleId, keep);
    if (!text.isEmpty()) {
        d->w.writeStartElement(QStringLiteral("w:r"));
        d->writeText(text);
        d->w.writeEndElement();
    }
    d->w.writeEndElement();
}

void TDocxDocument::Impl::writeRunProps(const QTextCharFormat &f, bool paragraphMark)
{
    w.writeStartElement(QStringLiteral("w:rPr"));
    const QString font = RichText::FontNameOf(f);
    if (!font.isEmpty()) {
        auto it = fonts.find(font);
        if (it == fonts.end())
            fonts.insert(font, RichText::CharsetOf(f));
        else if (*it == kDefaultCharset)
            *it = RichText::CharsetOf(f);
        w.writeEmptyElement(QStringLiteral("w:rFonts"));
        for (const char *a : {"w:ascii", "w:hAnsi", "w:eastAsia", "w:cs"})
            w.writeAttribute(QLatin1String(a), font);
    }
    if (f.fontWeight() >= QFont::DemiBold) {
        w.writeEmptyElement(QStringLiteral("w:b"));
        w.writeEmptyElement(QStringLiteral("w:bCs"));
    }
    if (f.fontItalic()) {
        w.writeEmptyElement(QStringLiteral("w:i"));
        w.writeEmptyElement(QStringLiteral("w:iCs"));
    }
    if (f.fontStrikeOut())
        w.writeEmptyElement(QStringLiteral("w:strike"));
    if (f.boolProperty(RichText::PropHidden))
        w.writeEmptyElement(QStringLiteral("w:vanish"));
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
        w.writeEmptyElement(QStringLiteral("w:color"));
        w.writeAttribute(QStringLiteral("w:val"), Hex(f.foreground().color()));
    }
    if (const int upDown = f.intProperty(RichText::PropUpDown)) {
        w.writeEmptyElement(QStringLiteral("w:position"));
        w.writeAttribute(QStringLiteral("w:val"), QString::number(upDown));
    }
    if (f.hasProperty(QTextFormat::FontPointSize)) {
        const QString hp = QString::number(std::clamp(int(std::lround(f.fontPointSize() * 2)), 2, 3276));
        w.writeEmptyElement(QStringLiteral("w:sz"));
        w.writeAttribute(QStringLiteral("w:val"), hp);
        w.writeEmptyElement(QStringLiteral("w:szCs"));
        w.writeAttribute(QStringLiteral("w:val"), hp);
    }
    if (!paragraphMark) {
        static const char *const kinds[] = {"none", "single", "words", "double", "dotted"};
        const int u = RichText::UnderlineTypeOf(f);
        if (u > 0) {
            w.writeEmptyElement(QStringLiteral("w:u"));
            w.writeAttribute(QStringLiteral("w:val"), QLatin1String(u < 5 ? kinds[u] : "single"));
        }
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush) {
            w.writeEmptyElement(QStringLiteral("w:shd"));
            w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("clear"));
            w.writeAttribute(QStringLiteral("w:color"), QStringLiteral("auto"));
            w.writeAttribute(QStringLiteral("w:fill"), Hex(f.background().color()));
        }
        const auto va = f.verticalAlignment();
        if (va == QTextCharFormat::AlignSuperScript || va == QTextCharFormat::AlignSubScript) {
            w.writeEmptyElement(QStringLiteral("w:vertAlign"));
            w.writeAttribute(QStringLiteral("w:val"),
                             va == QTextCharFormat::AlignSuperScript ? QStringLiteral("superscript") : QStringLiteral("subscript"));
        }
    }
    if (f.hasProperty(RichText::PropLang)) {
        const QString tag = LanguageTag(f.intProperty(RichText::PropLang));
        if (!tag.isEmpty()) {
            w.writeEmptyElement(QStringLiteral("w:lang"));
            w.writeAttribute(QStringLiteral("w:val"), tag);
        }
    }
    w.writeEndElement();
}

void TDocxDocument::Impl::writeText(QStringView text)
{
    QString pending;
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        w.writeStartElement(QStringLiteral("w:t"));
        w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        w.writeCharacters(XmlSafe(pending));
        w.writeEndElement();
        pending.clear();
    };
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\t': flush(); w.writeEmptyElement(QStringLiteral("w:tab")); break;
        case 0x2028: case 0x0B: case u'\n': flush(); w.writeEmptyElement(QStringLiteral("w:br")); break;
        case 0xFFFC: break;   // an object mark without its object: nothing to show
        default: pending += c; break;
        }
    }
    flush();
}

void TDocxDocument::Impl::writeObject(const QTextCharFormat &f)
{
    const RichText::TRichObject obj = RichText::ObjectOf(f);
    const QByteArray key = QCryptographicHash::hash(obj.storage, QCryptographicHash::Sha1) +
                           QByteArray::number(obj.width) + 'x' + QByteArray::number(obj.height);
    QImage image;
    int index = mediaByKey.value(key, -1);
    int wPx = std::clamp(RichText::HmmToPx(obj.width), 1, 10000);
    int hPx = std::clamp(RichText::HmmToPx(obj.height), 1, 10000);
    if (index < 0) {
        image = RichText::DecodeStoragePicture(obj.storage);
        const bool drawn = image.isNull();
        if (drawn) {
            // What the control shows for it, drawn at twice the screen size for print.
            image = QImage(wPx * 2, hPx * 2, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(2, 2);
            RichText::TRichObjectHandler handler;
            handler.drawObject(&p, QRectF(0, 0, wPx, hPx), nullptr, 0, f);
        }
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        // A quick compression level: the pictures are small beside the time a strong one takes.
        if (!image.save(&buf, "PNG", 80))
            throw EDocxError(QStringLiteral("a picture cannot be encoded"));
        index = int(media.size());
        QByteArray bytes = png;
        QString ext = QStringLiteral("png");
        if (!drawn) {
            const QByteArray jpeg = PhotoAsJpeg(image, png.size());
            if (!jpeg.isEmpty()) {
                bytes = jpeg;
                ext = QStringLiteral("jpeg");
            }
        }
        media.append({QStringLiteral("image%1.%2").arg(index + 1).arg(ext), QStringLiteral("rIdImg%1").arg(index + 1), bytes});
        mediaByKey.insert(key, index);
    }
    // 0.01 mm is 360 EMU; an object without a size takes its picture's at 96 dpi.
    qint64 cx = qint64(obj.width) * 360, cy = qint64(obj.height) * 360;
    if (obj.width <= 0 || obj.height <= 0) {
        cx = qint64(wPx) * 9525;
        cy = qint64(hPx) * 9525;
    }
    // Within the text area of a column, or the word processor cuts the picture
    // off at the page's edge; a picture as high as the whole area would leave
    // its line no room for its spacing. Never larger than it is.
    const double maxW = double(tpl.textWidth()) * kEmuPerTwip;
    const double maxH = double(std::max(tpl.textHeight() - kPictureHeightAllowance, tpl.textHeight() / 2)) * kEmuPerTwip;
    if (cx > maxW || cy > maxH) {
        const double scale = std::min(maxW / double(cx), maxH / double(cy));
        cx = std::max<qint64>(1, qint64(std::floor(double(cx) * scale)));
        cy = std::max<qint64>(1, qint64(std::floor(double(cy) * scale)));
    }
    const qint64 id = ++drawingId;
    const QString sx = QString::number(cx), sy = QString::number(cy);
    const QString a = QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/main");
    const QString pic = QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/picture");
    w.writeStartElement(QStringLiteral("w:r"));
    writeRunProps(QTextCharFormat(), true);
    w.writeStartElement(QStringLiteral("w:drawing"));
    w.writeStartElement(QStringLiteral("wp:inline"));
    for (const char *dist : {"distT", "distB", "distL", "distR"})
        w.writeAttribute(QLatin1String(dist), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("wp:extent"));
    w.writeAttribute(QStringLiteral("cx"), sx);
    w.writeAttribute(QStringLiteral("cy"), sy);
    w.writeEmptyElement(QStringLiteral("wp:effectExtent"));
    for (const char *e : {"l", "t", "r", "b"})
        w.writeAttribute(QLatin1String(e), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("wp:docPr"));
    w.writeAttribute(QStringLiteral("id"), QString::number(id));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Рисунок %1").arg(id));
    w.writeStartElement(QStringLiteral("wp:cNvGraphicFramePr"));
    w.writeEmptyElement(QStringLiteral("a:graphicFrameLocks"));
    w.writeAttribute(QStringLiteral("xmlns:a"), a);
    w.writeAttribute(QStringLiteral("noChangeAspect"), QStringLiteral("1"));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("a:graphic"));
    w.writeAttribute(QStringLiteral("xmlns:a"), a);
    w.writeStartElement(QStringLiteral("a:graphicData"));
    w.writeAttribute(QStringLiteral("uri"), pic);
    w.writeStartElement(QStringLiteral("pic:pic"));
    w.writeAttribute(QStringLiteral("xmlns:pic"), pic);
    w.writeStartElement(QStringLiteral("pic:nvPicPr"));
    w.writeEmptyElement(QStringLiteral("pic:cNvPr"));
    w.writeAttribute(QStringLiteral("id"), QString::number(id));
    w.writeAttribute(QStringLiteral("name"), media[index].name);
    w.writeEmptyElement(QStringLiteral("pic:cNvPicPr"));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("pic:blipFill"));
    w.writeEmptyElement(QStringLiteral("a:blip"));
    w.writeAttribute(QStringLiteral("r:embed"), media[index].relId);
    w.writeStartElement(QStringLiteral("a:stretch"));
    w.writeEmptyElement(QStringLiteral("a:fillRect"));
    w.writeEndElement();
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("pic:spPr"));
    w.writeStartElement(QStringLiteral("a:xfrm"));
    w.writeEmptyElement(QStringLiteral("a:off"));
    w.writeAttribute(QStringLiteral("x"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("y"), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("a:ext"));
    w.writeAttribute(QStringLiteral("cx"), sx);
    w.writeAttribute(QStringLiteral("cy"), sy);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("a:prstGeom"));
    w.writeAttribute(QStringLiteral("prst"), QStringLiteral("rect"));
    w.writeEmptyElement(QStringLiteral("a:avLst"));
    w.writeEndElement();
    w.writeEndElement();   // spPr
    w.writeEndElement();   // pic
    w.writeEndElement();   // graphicData
    w.writeEndElement();   // graphic
    w.writeEndElement();   // inline
    w.writeEndElement();   // drawing
    w.writeEndElement();   // r
}

int TDocxDocument::Impl::listNumber(const QTextListFormat &lf, int left, int hanging)
{
    const int n = tpl.numberingBase + ++listCount;
    const int kind = RichText::NumberingOf(lf);
    QString fmt, text;
    switch (kind) {
    case RichText::NumBullet: fmt = QStringLiteral("bullet"); break;
    case RichText::NumLcLetter: fmt = QStringLiteral("lowerLetter"); break;
    case RichText::NumUcLetter: fmt = QStringLiteral("upperLetter"); break;
    case RichText::NumLcRoman: fmt = QStringLiteral("lowerRoman"); break;
    case RichText::NumUcRoman: fmt = QStringLiteral("upperRoman"); break;
    default: fmt = QStringLiteral("decimal"); break;
    }
    if (kind == RichText::NumBullet) {
        text = QStringLiteral("\u2022");
    } else {
        switch (RichText::NumberingStyleOf(lf)) {
        case RichText::StyleParen: text = QStringLiteral("%1)"); break;
        case RichText::StyleParens: text = QStringLiteral("(%1)"); break;
        case RichText::StylePlain: text = QStringLiteral("%1"); break;
        default: text = QStringLiteral("%1."); break;
        }
    }
    // A writer on a byte array starts it afresh: each definition gets its own.
    QByteArray def, num;
    QXmlStreamWriter x(&def);
    x.writeStartElement(QStringLiteral("w:abstractNum"));
    x.writeAttribute(QStringLiteral("w:abstractNumId"), QString::number(n));
    x.writeEmptyElement(QStringLiteral("w:multiLevelType"));
    x.writeAttribute(QStringLiteral("w:val"), QStringLiteral("singleLevel"));
    x.writeStartElement(QStringLiteral("w:lvl"));
    x.writeAttribute(QStringLiteral("w:ilvl"), QStringLiteral("0"));
    x.writeEmptyElement(QStringLiteral("w:start"));
    x.writeAttribute(QStringLiteral("w:val"), QString::number(std::max(0, RichText::NumberingStartOf(lf))));
    x.writeEmptyElement(QStringLiteral("w:numFmt"));
    x.writeAttribute(QStringLiteral("w:val"), fmt);
    x.writeEmptyElement(QStringLiteral("w:lvlText"));
    x.writeAttribute(QStringLiteral("w:val"), text);
    x.writeEmptyElement(QStringLiteral("w:lvlJc"));
    x.writeAttribute(QStringLiteral("w:val"), QStringLiteral("left"));
    x.writeStartElement(QStringLiteral("w:pPr"));
    x.writeEmptyElement(QStringLiteral("w:ind"));
    x.writeAttribute(QStringLiteral("w:left"), QString::number(left));
    x.writeAttribute(QStringLiteral("w:hanging"), QString::number(hanging));
    x.writeEndElement();
    x.writeEndElement();   // lvl
    x.writeEndElement();   // abstractNum
    QXmlStreamWriter y(&num);
    y.writeStartElement(QStringLiteral("w:num"));
    y.writeAttribute(QStringLiteral("w:numId"), QString::number(n));
    y.writeEmptyElement(QStringLiteral("w:abstractNumId"));
    y.writeAttribute(QStringLiteral("w:val"), QString::number(n));
    y.writeEndElement();
    numbering += def;
    numbers += num;
    return n;
}

void TDocxDocument::addRichText(const QTextDocument &doc, const QString &styleId, TKeep keep, TKeep lastKeep)
{
    if (d->finished)
        throw EDocxError(QStringLiteral("document already finished"));
    QXmlStreamWriter &w = d->w;
    QHash<const QTextList *, int> lists;
    QTextBlock last = doc.lastBlock();
    // The paragraph mark that ends the text is the one the next paragraph brings.
    const bool dropLast = doc.blockCount() > 1 && last.length() <= 1;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (dropLast && b == last)
            break;
        const QTextBlockFormat bf = b.blockFormat();
        const QTextList *list = b.textList();
        const QTextListFormat lf = list ? list->format() : QTextListFormat();
        const RichText::TParaAttributes a = RichText::ParaAttributesOf(bf, list ? &lf : nullptr);
        w.writeStartElement(QStringLiteral("w:p"));
        w.writeStartElement(QStringLiteral("w:pPr"));
        if (!styleId.isEmpty()) {
            w.writeEmptyElement(QStringLiteral("w:pStyle"));
            w.writeAttribute(QStringLiteral("w:val"), styleId);
        }
        const bool lastWritten = b == last || (dropLast && b.next() == last);
        d->writeKeep(lastWritten ? lastKeep : keep);
        int left = a.leftIndent, first = a.firstIndent;
        if (list && left == 0 && first == 0) {
            left = 360;
            first = -360;
        }
        if (list) {
            auto it = lists.find(list);
            if (it == lists.end())
                it = lists.insert(list, d->listNumber(lf, left, std::max(0, -first)));
            w.writeStartElement(QStringLiteral("w:numPr"));
            w.writeEmptyElement(QStringLiteral("w:ilvl"));
            w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("0"));
            w.writeEmptyElement(QStringLiteral("w:numId"));
            w.writeAttribute(QStringLiteral("w:val"), QString::number(*it));
            w.writeEndElement();
        }
        const QList<QTextOption::Tab> tabs = bf.tabPositions();
        if (!tabs.isEmpty()) {
            w.writeStartElement(QStringLiteral("w:tabs"));
            for (const QTextOption::Tab &t : tabs) {
                w.writeEmptyElement(QStringLiteral("w:tab"));
                const char *kind = t.type == QTextOption::RightTab ? "right"
                                   : t.type == QTextOption::CenterTab ? "center"
                                   : t.type == QTextOption::DelimiterTab ? "decimal" : "left";
                w.writeAttribute(QStringLiteral("w:val"), QLatin1String(kind));
                w.writeAttribute(QStringLiteral("w:pos"), QString::number(RichText::PxToTwips(t.position)));
            }
            w.writeEndElement();
        }
        if (styleId.isEmpty()) {
            // The text's own paragraph attributes, whatever the default style says.
            w.writeEmptyElement(QStringLiteral("w:spacing"));
            w.writeAttribute(QStringLiteral("w:before"), QString::number(a.spaceBefore));
            w.writeAttribute(QStringLiteral("w:after"), QString::number(a.spaceAfter));
            switch (a.lineRule) {
            case 1: w.writeAttribute(QStringLiteral("w:line"), QStringLiteral("360")); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("auto")); break;
            case 2: w.writeAttribute(QStringLiteral("w:line"), QStringLiteral("480")); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("auto")); break;
            case 3: w.writeAttribute(QStringLiteral("w:line"), QString::number(std::max(1, a.lineValue))); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("atLeast")); break;
            case 4: w.writeAttribute(QStringLiteral("w:line"), QString::number(std::max(1, a.lineValue))); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("exact")); break;
            case 5: w.writeAttribute(QStringLiteral("w:line"), QString::number(std::max(1, a.lineValue * 12))); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("auto")); break;
            default: w.writeAttribute(QStringLiteral("w:line"), QStringLiteral("240")); w.writeAttribute(QStringLiteral("w:lineRule"), QStringLiteral("auto")); break;
            }
            w.writeEmptyElement(QStringLiteral("w:ind"));
            w.writeAttribute(QStringLiteral("w:left"), QString::number(left));
            w.writeAttribute(QStringLiteral("w:right"), QString::number(a.rightIndent));
            if (first < 0)
                w.writeAttribute(QStringLiteral("w:hanging"), QString::number(-first));
            else
                w.writeAttribute(QStringLiteral("w:firstLine"), QString::number(first));
            w.writeEmptyElement(QStringLiteral("w:jc"));
            switch (a.alignment) {
            case RichText::AlignRightValue: w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("right")); break;
            case RichText::AlignCenterValue: w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("center")); break;
            case RichText::AlignJustifyValue: w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("both")); break;
            default: w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("left")); break;
            }
        }
        d->writeRunProps(b.charFormat(), true);
        w.writeEndElement();   // pPr
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat cf = frag.charFormat();
            if (RichText::IsObjectFormat(cf)) {
                for (int i = 0; i < frag.length(); ++i)
                    d->writeObject(cf);
                continue;
            }
            w.writeStartElement(QStringLiteral("w:r"));
            d->writeRunProps(cf, false);
            d->writeText(frag.text());
            w.writeEndElement();
        }
        w.writeEndElement();   // p
    }
}

void TDocxDocument::setFooter(const QString &text)
{
    d->footerText = text;
    d->hasFooter = true;
}

QByteArray TDocxDocument::Impl::footerXml() const
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument(QStringLiteral("1.0"), true);
    x.writeStartElement(QStringLiteral("w:ftr"));
    x.writeAttribute(QStringLiteral("xmlns:w"), Ns::W);
    x.writeAttribute(QStringLiteral("xmlns:r"), Ns::R);
    x.writeStartElement(QStringLiteral("w:p"));
    x.writeStartElement(QStringLiteral("w:r"));
    x.writeStartElement(QStringLiteral("w:t"));
    x.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
    x.writeCharacters(XmlSafe(footerText));
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndElement();
    // The page number, right-aligned, a field so that every page shows its own.
    x.writeStartElement(QStringLiteral("w:p"));
    x.writeStartElement(QStringLiteral("w:pPr"));
    x.writeEmptyElement(QStringLiteral("w:jc"));
    x.writeAttribute(QStringLiteral("w:val"), QStringLiteral("right"));
    x.writeEndElement();
    auto fld = [&](const char *type) {
        x.writeStartElement(QStringLiteral("w:r"));
        x.writeEmptyElement(QStringLiteral("w:fldChar"));
        x.writeAttribute(QStringLiteral("w:fldCharType"), QLatin1String(type));
        x.writeEndElement();
    };
    fld("begin");
    x.writeStartElement(QStringLiteral("w:r"));
    x.writeStartElement(QStringLiteral("w:instrText"));
    x.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
    x.writeCharacters(QStringLiteral(" PAGE "));
    x.writeEndElement();
    x.writeEndElement();
    fld("separate");
    x.writeStartElement(QStringLiteral("w:r"));
    x.writeTextElement(QStringLiteral("w:t"), QStringLiteral("1"));
    x.writeEndElement();
    fld("end");
    x.writeEndElement();   // p
    x.writeEndElement();   // ftr
    x.writeEndDocument();
    return out;
}

QByteArray TDocxDocument::Impl::numberingXml() const
{
    QByteArray out = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:numbering xmlns:w=\"");
    out += Ns::W.toUtf8() + "\">";
    out += numbering;
    out += numbers;
    out += "</w:numbering>";
    return out;
}

// Our definitions among the template's: definitions before the first list
// instance, instances at the end, as the schema orders them.
QByteArray TDocxDocument::Impl::mergedNumbering(const QByteArray &part) const
{
    if (listCount == 0)
        return part;
    qsizetype end = part.indexOf("<w:numIdMacAtCleanup");
    if (end < 0)
        end = part.lastIndexOf("</w:numbering>");
    if (end < 0)
        return numberingXml();   // not the usual prefix: our lists only
    qsizetype first = end;
    for (const char *tag : {"<w:num ", "<w:num>"}) {
        const qsizetype at = part.indexOf(tag);
        if (at >= 0 && at < first)
            first = at;
    }
    QByteArray out = part;
    out.insert(end, numbers);
    out.insert(first, numbering);
    return out;
}

// The template's font table with the fonts of our text it lacks, each with
// its character set, so that a reader without the font picks a fitting one.
QByteArray TDocxDocument::Impl::mergedFonts(const QByteArray &part) const
{
    QSet<QString> present;
    QString prefix;
    {
        QXmlStreamReader r(part);
        int depth = 0;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                if (++depth == 1)
                    prefix = r.prefix().toString();
                else if (depth == 2 && r.name() == QLatin1String("font"))
                    present.insert(r.attributes().value(Ns::W, QLatin1String("name")).toString().toLower());
            } else if (r.isEndElement()) {
                --depth;
            }
        }
        if (r.hasError())
            return part;   // not ours to mend: the part goes as the template has it
    }
    const qsizetype end = part.lastIndexOf("</");
    if (end < 0)
        return part;
    // Unprefixed, the attributes would be in no namespace: ours declare theirs.
    const QString w = prefix.isEmpty() ? QStringLiteral("w") : prefix;
    const QString declare = prefix.isEmpty() ? QStringLiteral(" xmlns:w=\"") + Ns::W + QLatin1Char('"') : QString();
    QString added;
    for (auto it = fonts.constBegin(); it != fonts.constEnd(); ++it) {
        if (present.contains(it.key().toLower()))
            continue;
        added += QStringLiteral("<%1:font%2 %1:name=\"%3\"><%1:charset %1:val=\"%4\"/></%1:font>")
                     .arg(w, declare, XmlSafe(it.key()).toHtmlEscaped(), CharsetHex(it.value()));
    }
    QByteArray out = part;
    out.insert(end, added.toUtf8());
    return out;
}

QByteArray TDocxDocument::Impl::documentXml(const QHash<QString, QString> &relIdOfPart)
{
    QByteArray out = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");
    out += "<w:document xmlns:w=\"" + Ns::W.toUtf8() + "\" xmlns:r=\"" + Ns::R.toUtf8() +
           "\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"><w:body>";
    out += body;
    // Built by hand: the template's properties are XML already.
    auto empty = [](const QString &name, const QList<QPair<QString, QString>> &attrs) {
        QString e = QLatin1Char('<') + name;
        for (const auto &[a, v] : attrs)
            e += QLatin1Char(' ') + a + QStringLiteral("=\"") + v.toHtmlEscaped() + QLatin1Char('"');
        return (e + QStringLiteral("/>")).toUtf8();
    };
    QByteArray sect = "<w:sectPr>";
    for (const auto &[type, part] : tpl.headers) {
        if (!relIdOfPart.contains(part))
            continue;
        sect += empty(QStringLiteral("w:headerReference"), {{QStringLiteral("w:type"), type}, {QStringLiteral("r:id"), relIdOfPart.value(part)}});
    }
    bool titlePage = false;
    for (const auto &[name, xml] : tpl.sectionProps)
        if (name == QLatin1String("titlePg"))
            titlePage = !xml.contains("w:val=\"0\"") && !xml.contains("w:val=\"false\"") && !xml.contains("w:val=\"off\"");
    if (hasFooter) {
        // The page number shows on every page, the first and the even ones too.
        QStringList types{QStringLiteral("default")};
        if (tpl.evenAndOddHeaders)
            types << QStringLiteral("even");
        if (titlePage)
            types << QStringLiteral("first");
        for (const QString &type : std::as_const(types))
            sect += empty(QStringLiteral("w:footerReference"), {{QStringLiteral("w:type"), type}, {QStringLiteral("r:id"), QStringLiteral("rIdFooter1")}});
    }
    QMap<QString, QString> size = tpl.pageSize, margins = tpl.pageMargins;
    if (!size.contains(QStringLiteral("w")) || !size.contains(QStringLiteral("h"))) {
        size = {{QStringLiteral("w"), QStringLiteral("11906")}, {QStringLiteral("h"), QStringLiteral("16838")}};
    }
    if (margins.isEmpty()) {
        margins = {{QStringLiteral("top"), QStringLiteral("1134")}, {QStringLiteral("right"), QStringLiteral("850")},
                   {QStringLiteral("bottom"), QStringLiteral("1134")}, {QStringLiteral("left"), QStringLiteral("1418")},
                   {QStringLiteral("header"), QStringLiteral("567")}, {QStringLiteral("footer"), QStringLiteral("567")},
                   {QStringLiteral("gutter"), QStringLiteral("0")}};
    }
    // Many printers cannot print closer than about 10 mm to the paper's edge.
    if (hasFooter && Twips(margins.value(QStringLiteral("footer")), 0) < kMinFooterDistance)
        margins.insert(QStringLiteral("footer"), QString::number(kMinFooterDistance));
    for (const char *a : {"header", "footer", "gutter"})
        if (!margins.contains(QLatin1String(a)))
            margins.insert(QLatin1String(a), QStringLiteral("0"));
    // The template's properties in their order, the page setup where the schema puts it.
    static const QStringList order = {
        QStringLiteral("footnotePr"), QStringLiteral("endnotePr"), QStringLiteral("type"), QStringLiteral("pgSz"),
        QStringLiteral("pgMar"), QStringLiteral("paperSrc"), QStringLiteral("pgBorders"), QStringLiteral("lnNumType"),
        QStringLiteral("pgNumType"), QStringLiteral("cols"), QStringLiteral("formProt"), QStringLiteral("vAlign"),
        QStringLiteral("noEndnote"), QStringLiteral("titlePg"), QStringLiteral("textDirection"), QStringLiteral("bidi"),
        QStringLiteral("rtlGutter"), QStringLiteral("docGrid")};
    // A template that lists them out of order gets them in order: readers refuse the part otherwise.
    QList<QPair<qsizetype, QByteArray>> ordered;
    for (const auto &[name, xml] : tpl.sectionProps) {
        const qsizetype rank = order.indexOf(name);
        if (rank >= 0)   // what is no section property of the schema stays behind
            ordered.append({rank, xml});
    }
    QList<QPair<QString, QString>> sizeAttrs, marginAttrs;
    for (auto it = size.constBegin(); it != size.constEnd(); ++it)
        sizeAttrs.append({QStringLiteral("w:") + it.key(), it.value()});
    for (auto it = margins.constBegin(); it != margins.constEnd(); ++it)
        marginAttrs.append({QStringLiteral("w:") + it.key(), it.value()});
    ordered.append({order.indexOf(QStringLiteral("pgSz")),
                    empty(QStringLiteral("w:pgSz"), sizeAttrs) + empty(QStringLiteral("w:pgMar"), marginAttrs)});
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[rank, xml] : std::as_const(ordered))
        sect += xml;
    sect += "</w:sectPr>";
    out += sect;
    out += "</w:body></w:document>";
    return out;
}

QByteArray TDocxDocument::package()
{
    Impl &s = *d;
    s.finished = true;
    const QString wml = kWmlType;
    const bool ownNumbering = s.listCount > 0 && !s.templateNumbering();
    const QString fontTableType = Ns::RelBase + QStringLiteral("fontTable");
    const bool ownFonts = !s.fonts.isEmpty() &&
                          std::none_of(s.tpl.parts().cbegin(), s.tpl.parts().cend(),
                                       [&](const TDocxTemplate::TPart &p) { return p.relType == fontTableType; });
    TZipEntries entries;
    QList<QPair<QString, QString>> overrides;   // part -> content type

    // Our own parts take names the template's parts leave free: a template
    // whose header shows word/media/image1.png is an ordinary one.
    QSet<QString> taken{QStringLiteral("[Content_Types].xml"), QStringLiteral("_rels/.rels"),
                        QStringLiteral("word/document.xml"), QStringLiteral("word/_rels/document.xml.rels")};
    for (const QList<TDocxTemplate::TPart> *list : {&s.tpl.parts(), &s.tpl.packageParts()})
        for (const TDocxTemplate::TPart &p : *list) {
            taken.insert(p.name);
            if (!p.rels.isEmpty())
                taken.insert(RelsName(p.name));
        }
    auto freeName = [&](const QString &dir, const QString &name) {
        QString n = name;
        for (int i = 2; taken.contains(dir + n); ++i)
            n = QStringLiteral("qe%1-").arg(i) + name;
        taken.insert(dir + n);
        return n;
    };
    const QString numberingName = ownNumbering ? freeName(QStringLiteral("word/"), QStringLiteral("numbering.xml")) : QString();
    const QString footerName = s.hasFooter ? freeName(QStringLiteral("word/"), QStringLiteral("footer1.xml")) : QString();
    const QString fontsName = ownFonts ? freeName(QStringLiteral("word/"), QStringLiteral("fontTable.xml")) : QString();
    QStringList mediaNames;
    for (const Impl::Media &m : std::as_const(s.media))
        mediaNames << freeName(QStringLiteral("word/media/"), m.name);

    // Main part relationships.
    QByteArray rels;
    QHash<QString, QString> relIdOfPart;
    {
        QXmlStreamWriter x(&rels);
        x.writeStartDocument(QStringLiteral("1.0"), true);
        x.writeStartElement(QStringLiteral("Relationships"));
        x.writeDefaultNamespace(Ns::Rels);
        auto rel = [&](const QString &id, const QString &type, const QString &target) {
            x.writeEmptyElement(QStringLiteral("Relationship"));
            x.writeAttribute(QStringLiteral("Id"), id);
            x.writeAttribute(QStringLiteral("Type"), type);
            x.writeAttribute(QStringLiteral("Target"), target);
        };
        int n = 0;
        for (const TDocxTemplate::TPart &p : s.tpl.parts()) {
            if (p.relType.isEmpty())
                continue;
            const QString id = QStringLiteral("rIdT%1").arg(++n);
            relIdOfPart.insert(p.name, id);
            rel(id, p.relType, p.name.startsWith(QLatin1String("word/")) ? p.name.mid(5) : QStringLiteral("../") + p.name);
        }
        if (ownNumbering)
            rel(QStringLiteral("rIdNumbering1"), Ns::RelBase + QStringLiteral("numbering"), numberingName);
        if (s.hasFooter)
            rel(QStringLiteral("rIdFooter1"), Ns::RelBase + QStringLiteral("footer"), footerName);
        if (ownFonts)
            rel(QStringLiteral("rIdFonts1"), fontTableType, fontsName);
        for (qsizetype i = 0; i < s.media.size(); ++i)
            rel(s.media[i].relId, Ns::RelBase + QStringLiteral("image"), QStringLiteral("media/") + mediaNames[i]);
        x.writeEndElement();
        x.writeEndDocument();
    }
    QByteArray rootRels;
    {
        QXmlStreamWriter x(&rootRels);
        x.writeStartDocument(QStringLiteral("1.0"), true);
        x.writeStartElement(QStringLiteral("Relationships"));
        x.writeDefaultNamespace(Ns::Rels);
        x.writeEmptyElement(QStringLiteral("Relationship"));
        x.writeAttribute(QStringLiteral("Id"), QStringLiteral("rId1"));
        x.writeAttribute(QStringLiteral("Type"), kOfficeDocument);
        x.writeAttribute(QStringLiteral("Target"), QStringLiteral("word/document.xml"));
        int n = 1;
        for (const TDocxTemplate::TPart &p : s.tpl.packageParts()) {
            x.writeEmptyElement(QStringLiteral("Relationship"));
            x.writeAttribute(QStringLiteral("Id"), QStringLiteral("rId%1").arg(++n));
            x.writeAttribute(QStringLiteral("Type"), p.relType);
            x.writeAttribute(QStringLiteral("Target"), p.name);
        }
        x.writeEndElement();
        x.writeEndDocument();
    }

    overrides.append({QStringLiteral("word/document.xml"), kMainType});
    for (const TDocxTemplate::TPart &p : s.tpl.packageParts())
        overrides.append({p.name, p.contentType});
    for (const TDocxTemplate::TPart &p : s.tpl.parts())
        overrides.append({p.name, p.contentType});
    if (ownNumbering)
        overrides.append({QStringLiteral("word/") + numberingName, wml + QStringLiteral("numbering+xml")});
    if (s.hasFooter)
        overrides.append({QStringLiteral("word/") + footerName, wml + QStringLiteral("footer+xml")});
    if (ownFonts)
        overrides.append({QStringLiteral("word/") + fontsName, wml + QStringLiteral("fontTable+xml")});

    QByteArray types;
    {
        QXmlStreamWriter x(&types);
        x.writeStartDocument(QStringLiteral("1.0"), true);
        x.writeStartElement(QStringLiteral("Types"));
        x.writeDefaultNamespace(Ns::Types);
        auto def = [&](const char *ext, const char *type) {
            x.writeEmptyElement(QStringLiteral("Default"));
            x.writeAttribute(QStringLiteral("Extension"), QLatin1String(ext));
            x.writeAttribute(QStringLiteral("ContentType"), QLatin1String(type));
        };
        def("rels", "application/vnd.openxmlformats-package.relationships+xml");
        def("xml", "application/xml");
        def("png", "image/png");
        if (std::any_of(mediaNames.cbegin(), mediaNames.cend(), [](const QString &n) { return n.endsWith(QLatin1String(".jpeg")); }))
            def("jpeg", "image/jpeg");
        for (const auto &[part, type] : std::as_const(overrides)) {
            if (type.isEmpty())
                continue;
            x.writeEmptyElement(QStringLiteral("Override"));
            x.writeAttribute(QStringLiteral("PartName"), QLatin1Char('/') + part);
            x.writeAttribute(QStringLiteral("ContentType"), type);
        }
        x.writeEndElement();
        x.writeEndDocument();
    }

    entries.append({QStringLiteral("[Content_Types].xml"), types});
    entries.append({QStringLiteral("_rels/.rels"), rootRels});
    for (const TDocxTemplate::TPart &p : s.tpl.packageParts())
        entries.append({p.name, p.bytes});
    entries.append({QStringLiteral("word/document.xml"), s.documentXml(relIdOfPart)});
    entries.append({QStringLiteral("word/_rels/document.xml.rels"), rels});
    for (const TDocxTemplate::TPart &p : s.tpl.parts()) {
        entries.append({p.name, p.relType == Ns::RelBase + QStringLiteral("numbering") ? s.mergedNumbering(p.bytes)
                                : p.relType == fontTableType                       ? s.mergedFonts(p.bytes)
                                                                                   : p.bytes});
        if (!p.rels.isEmpty())
            entries.append({RelsName(p.name), p.rels});
    }
    if (ownNumbering)
        entries.append({QStringLiteral("word/") + numberingName, s.numberingXml()});
    if (s.hasFooter)
        entries.append({QStringLiteral("word/") + footerName, s.footerXml()});
    if (ownFonts)
        entries.append({QStringLiteral("word/") + fontsName,
                        s.mergedFonts("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:fonts xmlns:w=\"" +
                                      Ns::W.toUtf8() + "\"></w:fonts>")});
    for (qsizetype i = 0; i < s.media.size(); ++i)
        entries.append({QStringLiteral("word/media/") + mediaNames[i], s.media[i].bytes});
    return WriteZip(entries);
}

void TDocxDocument::save(const QString &path)
{
    const QByteArray bytes = package();
    SafeFile::WriteAtomically(path, [&](QIODevice &dev) {
        if (dev.write(bytes) != bytes.size())
            throw EWriteError(QStringLiteral("%1: %2").arg(path, dev.errorString()));
    });
}

} // namespace Docx
