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
                                    QStringLiteral("theme"), QStringLiteral("numbering"), QStringLiteral("header")};

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

    // Page setup and headers of the last section.
    {
        QHash<QString, QString> partOfId;
        for (const TRelationship &rel : ReadRelationships(files.value(RelsName(main))))
            partOfId.insert(rel.id, ResolveTarget(mainDir, rel.target));
        QXmlStreamReader r(files.value(main));
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement() || r.namespaceUri() != Ns::W)
                continue;
            if (r.name() == QLatin1String("sectPr")) {
                t.headers.clear();
                continue;
            }
            if (r.name() == QLatin1String("headerReference")) {
                const QString type = r.attributes().value(Ns::W, QLatin1String("type")).toString();
                const QString part = partOfId.value(r.attributes().value(Ns::R, QLatin1String("id")).toString());
                // Without a distinct first page the first-page header would never show.
                if (type != QLatin1String("first") && kept.contains(part))
                    t.headers.append({type.isEmpty() ? QStringLiteral("default") : type, part});
                continue;
            }
            const bool size = r.name() == QLatin1String("pgSz"), margins = r.name() == QLatin1String("pgMar");
            if (!size && !margins)
                continue;
            QMap<QString, QString> &target = size ? t.pageSize : t.pageMargins;
            target.clear();
            for (const QXmlStreamAttribute &a : r.attributes())
                if (a.namespaceUri() == Ns::W)
                    target.insert(a.name().toString(), a.value().toString());
        }
        if (r.hasError())
            throw EDocxError(QStringLiteral("%1: %2").arg(main, r.errorString()));
    }
    return t;
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
    struct Media { QString name; QString relId; QByteArray png; };
    QList<Media> media;
    QHash<QByteArray, int> mediaByKey;
    int drawingId = 0;
    QString footerText;
    bool hasFooter = false;
    bool finished = false;

    explicit Impl(const TDocxTemplate &t) : tpl(t) {}

    void startParagraph(const QString &styleId);
    void writeRunProps(const QTextCharFormat &f, bool paragraphMark);
    void writeText(QStringView text);
    void writeObject(const QTextCharFormat &f);
    int listNumber(const QTextListFormat &lf, int left, int hanging);
    QByteArray documentXml(const QHash<QString, QString> &relIdOfPart);
    QByteArray footerXml() const;
    QByteArray numberingXml() const;
    QByteArray mergedNumbering(const QByteArray &templatePart) const;
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

void TDocxDocument::Impl::startParagraph(const QString &styleId)
{
    w.writeStartElement(QStringLiteral("w:p"));
    if (!styleId.isEmpty()) {
        w.writeStartElement(QStringLiteral("w:pPr"));
        w.writeEmptyElement(QStringLiteral("w:pStyle"));
        w.writeAttribute(QStringLiteral("w:val"), styleId);
        w.writeEndElement();
    }
}

void TDocxDocument::addParagraph(const QString &styleId, const QString &text)
{
    if (d->finished)
        throw EDocxError(QStringLiteral("document already finished"));
    d->startParagraph(styleId);
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
        if (image.isNull()) {
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
        media.append({QStringLiteral("image%1.png").arg(index + 1), QStringLiteral("rIdImg%1").arg(index + 1), png});
        mediaByKey.insert(key, index);
    }
    // 0.01 mm is 360 EMU; an object without a size takes its picture's at 96 dpi.
    qint64 cx = qint64(obj.width) * 360, cy = qint64(obj.height) * 360;
    if (obj.width <= 0 || obj.height <= 0) {
        cx = qint64(wPx) * 9525;
        cy = qint64(hPx) * 9525;
    }
    const int id = ++drawingId;
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

void TDocxDocument::addRichText(const QTextDocument &doc, const QString &styleId)
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

QByteArray TDocxDocument::Impl::documentXml(const QHash<QString, QString> &relIdOfPart)
{
    QByteArray out = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");
    out += "<w:document xmlns:w=\"" + Ns::W.toUtf8() + "\" xmlns:r=\"" + Ns::R.toUtf8() +
           "\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"><w:body>";
    out += body;
    QByteArray sect;
    QXmlStreamWriter x(&sect);
    x.writeStartElement(QStringLiteral("w:sectPr"));
    for (const auto &[type, part] : tpl.headers) {
        if (!relIdOfPart.contains(part))
            continue;
        x.writeEmptyElement(QStringLiteral("w:headerReference"));
        x.writeAttribute(QStringLiteral("w:type"), type);
        x.writeAttribute(QStringLiteral("r:id"), relIdOfPart.value(part));
    }
    if (hasFooter) {
        x.writeEmptyElement(QStringLiteral("w:footerReference"));
        x.writeAttribute(QStringLiteral("w:type"), QStringLiteral("default"));
        x.writeAttribute(QStringLiteral("r:id"), QStringLiteral("rIdFooter1"));
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
    x.writeEmptyElement(QStringLiteral("w:pgSz"));
    for (auto it = size.constBegin(); it != size.constEnd(); ++it)
        x.writeAttribute(QStringLiteral("w:") + it.key(), it.value());
    x.writeEmptyElement(QStringLiteral("w:pgMar"));
    for (auto it = margins.constBegin(); it != margins.constEnd(); ++it)
        x.writeAttribute(QStringLiteral("w:") + it.key(), it.value());
    x.writeEndElement();
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
        entries.append({p.name, p.relType == Ns::RelBase + QStringLiteral("numbering") ? s.mergedNumbering(p.bytes) : p.bytes});
        if (!p.rels.isEmpty())
            entries.append({RelsName(p.name), p.rels});
    }
    if (ownNumbering)
        entries.append({QStringLiteral("word/") + numberingName, s.numberingXml()});
    if (s.hasFooter)
        entries.append({QStringLiteral("word/") + footerName, s.footerXml()});
    for (qsizetype i = 0; i < s.media.size(); ++i)
        entries.append({QStringLiteral("word/media/") + mediaNames[i], s.media[i].png});
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
