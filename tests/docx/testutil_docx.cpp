#include "testutil_docx.h"

#include "DocxZip.h"

#include <QFile>
#include <QXmlStreamReader>

namespace DocxTest {

const QString W = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");

QString DefaultTemplate()
{
    return QString::fromUtf8(qgetenv("QE_DEFAULT_TEMPLATE"));
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QMap<QString, QByteArray> Parts(const QByteArray &zip)
{
    QMap<QString, QByteArray> out;
    for (const auto &[name, bytes] : Docx::ReadZip(zip))
        out.insert(name, bytes);
    return out;
}

QStringList EntryOrder(const QByteArray &zip)
{
    QStringList out;
    for (const auto &e : Docx::ReadZip(zip))
        out << e.first;
    return out;
}

QString XmlError(const QByteArray &xml)
{
    QXmlStreamReader r(xml);
    while (!r.atEnd())
        r.readNext();
    return r.hasError() ? r.errorString() + QStringLiteral(" at line ") + QString::number(r.lineNumber()) : QString();
}

static QString Val(const QXmlStreamReader &r, const char *name = "val")
{
    return r.attributes().value(W, QLatin1String(name)).toString();
}

static bool On(const QXmlStreamReader &r)
{
    const QString v = Val(r);
    return v.isEmpty() || v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("on");
}

QString TPara::text() const
{
    QString s;
    for (const TRun &r : runs)
        s += r.text;
    return s;
}

QList<TPara> Paragraphs(const QByteArray &xml)
{
    QList<TPara> out;
    QXmlStreamReader r(xml);
    TPara *p = nullptr;
    TRun *run = nullptr;
    bool inPPr = false, inRPr = false, inT = false, inBody = false;
    QString tabs;
    while (!r.atEnd()) {
        r.readNext();
        const QStringView n = r.name();
        if (r.isStartElement()) {
            if (n == QLatin1String("body")) inBody = true;
            if (!inBody) continue;
            if (n == QLatin1String("p")) { out.append(TPara()); p = &out.last(); tabs.clear(); continue; }
            if (!p) continue;
            if (n == QLatin1String("pPr")) inPPr = true;
            else if (n == QLatin1String("r")) {
                p->runs.append(TRun());
                run = &p->runs.last();
                for (const char *k : {"bold", "italic", "strike", "super", "sub"})
                    run->attrs[QLatin1String(k)] = false;
                run->attrs[QStringLiteral("underlineType")] = 0;
                run->attrs[QStringLiteral("color")] = QStringLiteral("auto");
                run->attrs[QStringLiteral("background")] = QStringLiteral("auto");
                run->attrs[QStringLiteral("offset")] = 0;
            } else if (n == QLatin1String("rPr") && run) inRPr = true;
            else if (inRPr && run) {
                QJsonObject &a = run->attrs;
                if (n == QLatin1String("rFonts")) a[QStringLiteral("face")] = r.attributes().value(W, QLatin1String("ascii")).toString();
                else if (n == QLatin1String("b")) a[QStringLiteral("bold")] = On(r);
                else if (n == QLatin1String("i")) a[QStringLiteral("italic")] = On(r);
                else if (n == QLatin1String("strike")) a[QStringLiteral("strike")] = On(r);
                else if (n == QLatin1String("sz")) a[QStringLiteral("size")] = Val(r).toInt() / 2.0;
                else if (n == QLatin1String("color")) a[QStringLiteral("color")] = Val(r).toUpper();
                else if (n == QLatin1String("shd")) a[QStringLiteral("background")] = r.attributes().value(W, QLatin1String("fill")).toString().toUpper();
                else if (n == QLatin1String("position")) a[QStringLiteral("offset")] = Val(r).toInt() * 10;
                else if (n == QLatin1String("vertAlign")) {
                    a[QStringLiteral("super")] = Val(r) == QLatin1String("superscript");
                    a[QStringLiteral("sub")] = Val(r) == QLatin1String("subscript");
                } else if (n == QLatin1String("u")) {
                    static const QStringList kinds = {QStringLiteral("none"), QStringLiteral("single"), QStringLiteral("words"),
                                                      QStringLiteral("double"), QStringLiteral("dotted")};
                    a[QStringLiteral("underlineType")] = std::max(0, int(kinds.indexOf(Val(r))));
                }
            } else if (inPPr && !inRPr) {
                if (n == QLatin1String("pStyle")) p->style = Val(r);
                else if (n == QLatin1String("numId")) p->props[QStringLiteral("numId")] = Val(r);
                else if (n == QLatin1String("jc")) p->props[QStringLiteral("jc")] = Val(r);
                else if (n == QLatin1String("keepNext") || n == QLatin1String("keepLines"))
                    p->props[n.toString()] = On(r) ? QStringLiteral("1") : QStringLiteral("0");
                else if (n == QLatin1String("tab")) tabs += Val(r) + QLatin1Char('@') + Val(r, "pos") + QLatin1Char(';');
                else if (n == QLatin1String("ind") || n == QLatin1String("spacing")) {
                    for (const QXmlStreamAttribute &at : r.attributes())
                        p->props[n.toString() + QLatin1Char('.') + at.name().toString()] = at.value().toString();
                }
            } else if (run) {
                if (n == QLatin1String("t")) inT = true;
                else if (n == QLatin1String("tab")) run->text += QLatin1Char('\t');
                else if (n == QLatin1String("br")) run->text += QLatin1Char('\n');
                else if (n == QLatin1String("extent")) {
                    TDrawing d;
                    d.cx = r.attributes().value(QLatin1String("cx")).toLongLong();
                    d.cy = r.attributes().value(QLatin1String("cy")).toLongLong();
                    run->drawings.append(d);
                    run->text += QChar(0xFFFC);
                } else if (n == QLatin1String("blip") && !run->drawings.isEmpty()) {
                    run->drawings.last().embed = r.attributes().value(
                        QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                        QLatin1String("embed")).toString();
                }
            }
        } else if (r.isEndElement()) {
            if (n == QLatin1String("body")) inBody = false;
            else if (n == QLatin1String("p")) { if (p && !tabs.isEmpty()) p->props[QStringLiteral("tabs")] = tabs; p = nullptr; run = nullptr; }
            else if (n == QLatin1String("pPr")) inPPr = false;
            else if (n == QLatin1String("rPr")) inRPr = false;
            else if (n == QLatin1String("r")) run = nullptr;
            else if (n == QLatin1String("t")) inT = false;
        } else if (r.isCharacters() && inT && run) {
            run->text += r.text();
        }
    }
    return out;
}

QStringList Texts(const QList<TPara> &paras)
{
    QStringList out;
    for (const TPara &p : paras)
        out << p.text();
    return out;
}

QMap<QString, TRel> Relationships(const QByteArray &xml)
{
    QMap<QString, TRel> out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("Relationship"))
            out.insert(r.attributes().value(QLatin1String("Id")).toString(),
                       {r.attributes().value(QLatin1String("Type")).toString(), r.attributes().value(QLatin1String("Target")).toString()});
    }
    return out;
}

static QMap<QString, QString> TypesOf(const QByteArray &xml, const char *element, const char *key, bool stripSlash)
{
    QMap<QString, QString> out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String(element)) {
            QString k = r.attributes().value(QLatin1String(key)).toString();
            if (stripSlash && k.startsWith(QLatin1Char('/')))
                k = k.mid(1);
            out.insert(k, r.attributes().value(QLatin1String("ContentType")).toString());
        }
    }
    return out;
}

QMap<QString, QString> Overrides(const QByteArray &xml) { return TypesOf(xml, "Override", "PartName", true); }
QMap<QString, QString> Defaults(const QByteArray &xml) { return TypesOf(xml, "Default", "Extension", false); }

QMap<QString, QString> StyleNames(const QByteArray &xml)
{
    QMap<QString, QString> out;
    QXmlStreamReader r(xml);
    QString id;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement())
            continue;
        if (r.name() == QLatin1String("style"))
            id = r.attributes().value(W, QLatin1String("type")) == QLatin1String("paragraph") ? Val(r, "styleId") : QString();
        else if (r.name() == QLatin1String("name") && !id.isEmpty())
            out.insert(id, Val(r));
    }
    return out;
}

QMap<QString, QMap<QString, QString>> Numbering(const QByteArray &xml)
{
    QMap<QString, QMap<QString, QString>> abstracts, out;
    QXmlStreamReader r(xml);
    QString abstractId, numId;
    bool level0 = false;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement())
            continue;
        const QStringView n = r.name();
        if (n == QLatin1String("abstractNum")) { abstractId = Val(r, "abstractNumId"); numId.clear(); }
        else if (n == QLatin1String("lvl")) level0 = Val(r, "ilvl") == QLatin1String("0");
        else if (n == QLatin1String("num")) { numId = Val(r, "numId"); abstractId.clear(); }
        else if (n == QLatin1String("abstractNumId") && !numId.isEmpty()) out.insert(numId, abstracts.value(Val(r)));
        else if (!abstractId.isEmpty() && level0) {
            if (n == QLatin1String("start") || n == QLatin1String("numFmt") || n == QLatin1String("lvlText"))
                abstracts[abstractId][n.toString()] = Val(r);
            else if (n == QLatin1String("ind"))
                for (const QXmlStreamAttribute &at : r.attributes())
                    abstracts[abstractId][QStringLiteral("ind.") + at.name().toString()] = at.value().toString();
        }
    }
    return out;
}

TFooter Footer(const QByteArray &xml)
{
    TFooter f;
    QXmlStreamReader r(xml);
    QString text, jc;
    bool inT = false, inInstr = false;
    QString instr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            if (r.name() == QLatin1String("p")) { text.clear(); jc.clear(); instr.clear(); }
            else if (r.name() == QLatin1String("jc")) jc = Val(r);
            else if (r.name() == QLatin1String("t")) inT = true;
            else if (r.name() == QLatin1String("instrText")) inInstr = true;
        } else if (r.isEndElement()) {
            if (r.name() == QLatin1String("t")) inT = false;
            else if (r.name() == QLatin1String("instrText")) inInstr = false;
            else if (r.name() == QLatin1String("p")) {
                if (instr.trimmed() == QLatin1String("PAGE")) {
                    f.pageField = true;
                    f.pageFieldJc = jc;
                } else {
                    f.texts << text;
                }
            }
        } else if (r.isCharacters()) {
            if (inT) text += r.text();
            if (inInstr) instr += r.text();
        }
    }
    return f;
}

QList<TSectionProp> SectionProps(const QByteArray &documentXml)
{
    QList<TSectionProp> out;
    QXmlStreamReader r(documentXml);
    int depth = 0, sectDepth = -1;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            ++depth;
            if (r.name() == QLatin1String("sectPr") && depth == 3) {   // document, body, sectPr
                sectDepth = depth;
                out.clear();
            } else if (sectDepth > 0 && depth == sectDepth + 1) {
                TSectionProp p;
                p.name = r.name().toString();
                for (const QXmlStreamAttribute &a : r.attributes())
                    p.attrs.insert(a.name().toString(), a.value().toString());
                out.append(p);
            } else if (sectDepth > 0 && depth > sectDepth + 1) {
                ++out.last().children;
            }
        } else if (r.isEndElement()) {
            if (depth == sectDepth)
                sectDepth = -1;
            --depth;
        }
    }
    return out;
}

QList<qint64> DrawingIds(const QMap<QString, QByteArray> &parts)
{
    QList<qint64> out;
    for (auto it = parts.begin(); it != parts.end(); ++it) {
        if (!it.key().endsWith(QLatin1String(".xml")))
            continue;
        QXmlStreamReader r(it.value());
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement() && r.name() == QLatin1String("docPr"))
                out << r.attributes().value(QLatin1String("id")).toLongLong();
        }
    }
    return out;
}

QByteArray EditedTemplate(const QList<TEdit> &edits, const QList<QPair<QString, QByteArray>> &added)
{
    QList<QPair<QString, QByteArray>> entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries)
        for (const TEdit &e : edits)
            if (e.part == name) {
                if (!bytes.contains(e.from))
                    qFatal("template edit: %s has no %s", qPrintable(name), e.from.constData());
                bytes.replace(e.from, e.to);
            }
    return Docx::WriteZip(entries + added);
}

} // namespace DocxTest
