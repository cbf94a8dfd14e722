// The package writer's output read back: structure, styles, paragraphs and
// characters of the corpus, lists, pictures and the footer.
#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextDocument>
#include <QtTest>
#include <QXmlStreamReader>

#include <cmath>

#include "DocxError.h"
#include "DocxWriter.h"
#include "DocxZip.h"
#include "RichDump.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "RtfReader.h"
#include "testutil_docx.h"

using namespace DocxTest;

namespace {

QString Corpus(const QString &name)
{
    return QStringLiteral(QE_CORPUS_DIR "/richedit/") + name;
}

QByteArray Package(const QTextDocument &doc, const QString &styleId = {}, const QString &footer = QStringLiteral("F"))
{
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::Load(DefaultTemplate());
    Docx::TDocxDocument d(tpl);
    d.addRichText(doc, styleId);
    d.setFooter(footer);
    return d.package();
}

// A picture of w x h pixels, as the editor inserts one (its size at 96 dpi).
QTextDocument *PictureText(QTextDocument *doc, int w, int h, int count = 1)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    QTextCursor c(doc);
    for (int i = 0; i < count; ++i)
        c.insertText(QString(QChar::ObjectReplacementCharacter), RichText::ObjectFormat(RichText::PictureObject(img)));
    return doc;
}

QList<TDrawing> Drawings(const QByteArray &documentXml)
{
    QList<TDrawing> out;
    for (const TPara &p : Paragraphs(documentXml))
        for (const TRun &r : p.runs)
            out += r.drawings;
    return out;
}

const char *const kHeaderType = "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/></Types>";
const char *const kHeaderRel = "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/></Relationships>";

// A header showing a logo, as word processors save one: drawing ids 1 and 5.
QByteArray HeaderWithLogo()
{
    QByteArray xml = "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                     "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"><w:p>";
    for (const char *id : {"1", "5"})
        xml += QByteArray("<w:r><w:drawing><wp:inline><wp:extent cx=\"9525\" cy=\"9525\"/><wp:docPr id=\"") + id +
               "\" name=\"Logo\"/></wp:inline></w:drawing></w:r>";
    return xml + "</w:p></w:hdr>";
}

} // namespace

class TestDocxWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void zipRoundTrip();
    void damagedTemplates();
    void defaultTemplateStyles();
    void foreignTemplateParts();
    void templateNumberingKept();
    void templatePartNamesNeverClash();
    void packageStructure();
    void corpusCharacters_data();
    void corpusCharacters();
    void corpusParagraphs();
    void lists_data();
    void lists();
    void listStartNumber();
    void tabsAndBreaks();
    void styledTextKeepsListsNotIndents();
    void corpusPicture_data();
    void corpusPicture();
    void otherObjectIsDrawn();
    void unsafeCharactersDropped();
    void drawingIdsUniqueAcrossPackage();
    void picturesFitTheTextArea_data();
    void picturesFitTheTextArea();
    void sectionPropertiesKept();
    void footerDistanceRaised_data();
    void footerDistanceRaised();
    void noteSeparators();
    void photoKeptAsJpeg();
    void fontsListed();
};

void TestDocxWriter::zipRoundTrip()
{
    const Docx::TZipEntries in = {{QStringLiteral("[Content_Types].xml"), "<a/>"},
                                  {QStringLiteral("word/документ.xml"), QByteArray(100000, 'x')},
                                  {QStringLiteral("empty"), QByteArray()}};
    const Docx::TZipEntries out = Docx::ReadZip(Docx::WriteZip(in));
    QCOMPARE(out, in);
}

void TestDocxWriter::damagedTemplates()
{
    QVERIFY_THROWS_EXCEPTION(EDocxError, Docx::TDocxTemplate::FromBytes("not a zip at all"));
    // A zip that is no word-processing package.
    QVERIFY_THROWS_EXCEPTION(EDocxError, Docx::TDocxTemplate::FromBytes(
                                             Docx::WriteZip({{QStringLiteral("a.txt"), "x"}})));
    // Content types but no main part.
    QVERIFY_THROWS_EXCEPTION(EDocxError, Docx::TDocxTemplate::FromBytes(Docx::WriteZip(
        {{QStringLiteral("[Content_Types].xml"),
          "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"}})));
    // A truncated copy of the real template.
    const QByteArray good = ReadFile(DefaultTemplate());
    QVERIFY(!good.isEmpty());
    QVERIFY_THROWS_EXCEPTION(EDocxError, Docx::TDocxTemplate::FromBytes(good.left(good.size() / 2)));
    // Section properties nested as deep as a hostile file likes: read without running out of stack.
    const int depth = 300000;
    const QByteArray deep = "<w:docGrid>" + QByteArray("<w:a>").repeated(depth) + QByteArray("</w:a>").repeated(depth) + "</w:docGrid>";
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(
        EditedTemplate({{QStringLiteral("word/document.xml"), "<w:cols w:space=\"708\"/>", "<w:cols w:space=\"708\"/>" + deep}}));
    Docx::TDocxDocument d(tpl);
    d.addParagraph(QString(), QStringLiteral("x"));
    QVERIFY(XmlError(Parts(d.package()).value(QStringLiteral("word/document.xml"))).isEmpty());
}

void TestDocxWriter::defaultTemplateStyles()
{
    const QByteArray zip = ReadFile(DefaultTemplate());
    QCOMPARE(EntryOrder(zip).value(0), QStringLiteral("[Content_Types].xml"));
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(zip);
    const QMap<QString, QString> names = StyleNames(Parts(zip).value(QStringLiteral("word/styles.xml")));
    for (const char *n : {"СТ: Заголовок вопроса", "СТ: Текст вопроса", "СТ: Заголовок вариантов",
                          "СТ: Варианты ответов", "СТ: Правильные варианты ответов"}) {
        const QString id = tpl.paragraphStyleId(QString::fromUtf8(n));
        QVERIFY2(!id.isEmpty(), n);
        QCOMPARE(names.value(id), QString::fromUtf8(n));
    }
    QCOMPARE(tpl.paragraphStyleId(QStringLiteral("Обычный")), QStringLiteral("Normal"));
    QCOMPARE(tpl.paragraphStyleId(QStringLiteral("ст: текст вопроса")), tpl.paragraphStyleId(QStringLiteral("СТ: Текст вопроса")));
    QVERIFY(tpl.paragraphStyleId(QStringLiteral("СТ: Нет такого")).isEmpty());
    QCOMPARE(tpl.pageSize.value(QStringLiteral("w")), QStringLiteral("11906"));
    QCOMPARE(tpl.pageSize.value(QStringLiteral("h")), QStringLiteral("16838"));
    const QString styles = QString::fromUtf8(Parts(zip).value(QStringLiteral("word/styles.xml")));
    QVERIFY(styles.contains(QStringLiteral("w:lang w:val=\"ru-RU\"")));
}

// A template with more than the writer keeps: what the kept parts refer to comes
// along, the header of its section stays a header, its body stays behind, and no
// relationship of the result points nowhere.
void TestDocxWriter::foreignTemplateParts()
{
    Docx::TZipEntries entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries) {
        if (name == QLatin1String("[Content_Types].xml"))
            bytes.replace("</Types>", "<Default Extension=\"odttf\" ContentType=\"application/vnd.openxmlformats-officedocument.obfuscatedFont\"/>"
                                      "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>"
                                      "<Override PartName=\"/word/header2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/></Types>");
        if (name == QLatin1String("word/_rels/document.xml.rels"))
            bytes.replace("</Relationships>", "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
                                              "<Relationship Id=\"rId10\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header2.xml\"/></Relationships>");
        if (name == QLatin1String("word/document.xml"))
            bytes.replace("<w:sectPr>", "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId9\"/><w:headerReference w:type=\"first\" r:id=\"rId10\"/><w:titlePg/>");
    }
    entries.append({QStringLiteral("word/header2.xml"), "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"});
    entries.append({QStringLiteral("word/header1.xml"), "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"});
    entries.append({QStringLiteral("word/_rels/fontTable.xml.rels"),
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/font\" Target=\"fonts/font1.odttf\"/></Relationships>"});
    entries.append({QStringLiteral("word/fonts/font1.odttf"), QByteArray(64, '\x5a')});
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(Docx::WriteZip(entries));
    Docx::TDocxDocument d(tpl);
    d.addParagraph(QString(), QStringLiteral("x"));
    const QMap<QString, QByteArray> parts = Parts(d.package());
    QVERIFY(parts.contains(QStringLiteral("word/fonts/font1.odttf")));
    QVERIFY(parts.contains(QStringLiteral("word/_rels/fontTable.xml.rels")));
    QVERIFY(parts.contains(QStringLiteral("word/header1.xml")));
    const QByteArray types = parts.value(QStringLiteral("[Content_Types].xml"));
    QVERIFY(Overrides(types).contains(QStringLiteral("word/header1.xml")));
    // Both headers are shown, the first page keeping its own (the distinct first page stays, in the schema's place).
    const QString document = QString::fromUtf8(parts.value(QStringLiteral("word/document.xml")));
    QString headerId, firstId;
    const QMap<QString, TRel> mainRels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    for (auto it = mainRels.begin(); it != mainRels.end(); ++it) {
        if (it->target == QLatin1String("header1.xml"))
            headerId = it.key();
        if (it->target == QLatin1String("header2.xml"))
            firstId = it.key();
    }
    QVERIFY(!headerId.isEmpty() && !firstId.isEmpty());
    QVERIFY(document.contains(QStringLiteral("<w:headerReference w:type=\"default\" r:id=\"%1\"/>").arg(headerId)));
    QVERIFY(document.contains(QStringLiteral("<w:headerReference w:type=\"first\" r:id=\"%1\"/>").arg(firstId)));
    QVERIFY(document.indexOf(QStringLiteral("<w:titlePg/>")) > document.indexOf(QStringLiteral("<w:cols ")));
    QVERIFY(!document.contains(QStringLiteral("<w:p/>")));   // the template's body stays behind
    QVERIFY(Overrides(types).contains(QStringLiteral("word/fonts/font1.odttf")));
    for (auto it = parts.begin(); it != parts.end(); ++it) {
        if (!it.key().endsWith(QLatin1String(".rels")))
            continue;
        // "x/_rels/y.rels" speaks for "x/y": targets are relative to x/.
        const QString base = it.key().section(QStringLiteral("_rels/"), 0, 0);
        for (const TRel &r : Relationships(it.value())) {
            const QString target = QDir::cleanPath(base + r.target);
            QVERIFY2(parts.contains(target), qPrintable(it.key() + QStringLiteral(" -> ") + target));
        }
    }
    // The main part relates only to what it uses.
    for (const TRel &r : Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels"))))
        QVERIFY2(!r.type.endsWith(QLatin1String("/font")), qPrintable(r.target));
}

// A header picture at word/media/image1.png is how word processors save a
// logo; a footer part of the template's own, and damaged relationships naming
// parts twice or naming the main part as styles, must not make an unwritable package.
void TestDocxWriter::templatePartNamesNeverClash()
{
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::red);
    QByteArray logoPng;
    {
        QBuffer b(&logoPng);
        b.open(QIODevice::WriteOnly);
        logo.save(&b, "PNG");
    }
    Docx::TZipEntries entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries) {
        if (name == QLatin1String("[Content_Types].xml"))
            bytes.replace("</Types>", "<Default Extension=\"png\" ContentType=\"image/png\"/>"
                                      "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>"
                                      "<Override PartName=\"/word/footer1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml\"/></Types>");
        if (name == QLatin1String("_rels/.rels"))
            bytes.replace("</Relationships>", "<Relationship Id=\"rId98\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
                                              "<Relationship Id=\"rId99\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/></Relationships>");
        if (name == QLatin1String("word/_rels/document.xml.rels"))
            bytes.replace("</Relationships>", "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
                                              "<Relationship Id=\"rId10\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
                                              "<Relationship Id=\"rId11\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"document.xml\"/></Relationships>");
        if (name == QLatin1String("word/document.xml"))
            bytes.replace("<w:sectPr>", "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId9\"/>");
    }
    entries.append({QStringLiteral("word/header1.xml"), "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"});
    entries.append({QStringLiteral("word/_rels/header1.xml.rels"),
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target=\"media/image1.png\"/>"
                    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer\" Target=\"footer1.xml\"/></Relationships>"});
    entries.append({QStringLiteral("word/media/image1.png"), logoPng});
    entries.append({QStringLiteral("word/footer1.xml"), "<w:ftr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"});
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(Docx::WriteZip(entries));

    QImage img(24, 16, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Рисунок "));
    c.insertText(QString(QChar::ObjectReplacementCharacter), RichText::ObjectFormat(RichText::PictureObject(img)));
    Docx::TDocxDocument d(tpl);
    d.addRichText(doc);
    d.setFooter(QStringLiteral("Идентификатор теста: 7"));
    const QByteArray zip = d.package();
    const QStringList order = EntryOrder(zip);
    QCOMPARE(QSet<QString>(order.begin(), order.end()).size(), order.size());
    const QMap<QString, QByteArray> parts = Parts(zip);
    QCOMPARE(parts.value(QStringLiteral("word/media/image1.png")), logoPng);   // the template's logo is untouched

    // Our picture and our footer went under names of their own, and the main part points at them.
    const QMap<QString, TRel> rels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QString pictureTarget, footerTarget;
    int headers = 0;
    for (const TRel &r : rels) {
        if (r.type.endsWith(QLatin1String("/image")))
            pictureTarget = r.target;
        if (r.type.endsWith(QLatin1String("/footer")))
            footerTarget = r.target;
        if (r.type.endsWith(QLatin1String("/header")))
            ++headers;
        QVERIFY2(!r.type.endsWith(QLatin1String("/styles")) || r.target != QLatin1String("document.xml"), qPrintable(r.target));
    }
    QCOMPARE(headers, 1);
    QVERIFY(pictureTarget.startsWith(QLatin1String("media/")) && pictureTarget != QLatin1String("media/image1.png"));
    QImage png;
    QVERIFY(png.loadFromData(parts.value(QStringLiteral("word/") + pictureTarget), "PNG"));
    QCOMPARE(png.convertToFormat(QImage::Format_RGB32), img);
    QVERIFY(!footerTarget.isEmpty() && footerTarget != QLatin1String("footer1.xml"));
    QCOMPARE(Footer(parts.value(QStringLiteral("word/") + footerTarget)).texts.value(0), QStringLiteral("Идентификатор теста: 7"));
    const QMap<QString, QString> overrides = Overrides(parts.value(QStringLiteral("[Content_Types].xml")));
    QVERIFY(overrides.value(QStringLiteral("word/") + footerTarget).endsWith(QLatin1String("footer+xml")));
    QVERIFY(overrides.value(QStringLiteral("word/footer1.xml")).endsWith(QLatin1String("footer+xml")));
    QVERIFY(overrides.value(QStringLiteral("word/document.xml")).contains(QLatin1String("document")));
}

// A template with lists of its own keeps them; ours are numbered after them.
void TestDocxWriter::templateNumberingKept()
{
    Docx::TZipEntries entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries) {
        if (name == QLatin1String("[Content_Types].xml"))
            bytes.replace("</Types>", "<Override PartName=\"/word/numbering.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml\"/></Types>");
        if (name == QLatin1String("word/_rels/document.xml.rels"))
            bytes.replace("</Relationships>", "<Relationship Id=\"rId8\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering\" Target=\"numbering.xml\"/></Relationships>");
    }
    entries.append({QStringLiteral("word/numbering.xml"),
                    "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                    "<w:abstractNum w:abstractNumId=\"3\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"upperRoman\"/>"
                    "<w:lvlText w:val=\"%1:\"/></w:lvl></w:abstractNum>"
                    "<w:num w:numId=\"7\"><w:abstractNumId w:val=\"3\"/></w:num></w:numbering>"});
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(Docx::WriteZip(entries));
    QCOMPARE(tpl.numberingBase, 7);
    QTextDocument doc;
    RichText::ReadRtf(ReadFile(Corpus(QStringLiteral("15_num_arabic_period.rtf"))), doc);
    Docx::TDocxDocument d(tpl);
    d.addRichText(doc);
    const QMap<QString, QByteArray> parts = Parts(d.package());
    const QByteArray numberingXml = parts.value(QStringLiteral("word/numbering.xml"));
    QVERIFY2(XmlError(numberingXml).isEmpty(), qPrintable(XmlError(numberingXml)));
    const auto numbering = Numbering(numberingXml);
    QCOMPARE(numbering.value(QStringLiteral("7")).value(QStringLiteral("numFmt")), QStringLiteral("upperRoman"));
    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    const QString ours = paras.value(1).props.value(QStringLiteral("numId"));
    QVERIFY(ours.toInt() > 7);
    QCOMPARE(numbering.value(ours).value(QStringLiteral("numFmt")), QStringLiteral("decimal"));
    // Definitions before instances, one numbering relationship and one content type.
    QVERIFY(numberingXml.lastIndexOf("<w:abstractNum ") < numberingXml.indexOf("<w:num "));
    int rels = 0;
    for (const TRel &r : Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels"))))
        rels += r.type.endsWith(QLatin1String("/numbering"));
    QCOMPARE(rels, 1);
    QCOMPARE(QString::fromUtf8(parts.value(QStringLiteral("[Content_Types].xml"))).count(QStringLiteral("/word/numbering.xml")), 1);
}

void TestDocxWriter::packageStructure()
{
    QTextDocument doc;
    RichText::LoadRecord(doc, ReadFile(Corpus(QStringLiteral("pictures/pic1_checker24_bitmap.rec"))));
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::Load(DefaultTemplate());
    Docx::TDocxDocument d(tpl);
    d.addParagraph(tpl.paragraphStyleId(QStringLiteral("СТ: Заголовок вопроса")), QStringLiteral("Вопрос №: 1"));
    d.addRichText(doc);
    QTextDocument list;
    RichText::ReadRtf(ReadFile(Corpus(QStringLiteral("14_bullets.rtf"))), list);
    d.addRichText(list);
    d.setFooter(QStringLiteral("Идентификатор теста: 77"));
    const QByteArray zip = d.package();
    QVERIFY_THROWS_EXCEPTION(EDocxError, d.addParagraph(QString(), QStringLiteral("late")));

    const QMap<QString, QByteArray> parts = Parts(zip);
    QCOMPARE(EntryOrder(zip).value(0), QStringLiteral("[Content_Types].xml"));
    for (auto it = parts.begin(); it != parts.end(); ++it)
        if (it.key().endsWith(QLatin1String(".xml")) || it.key().endsWith(QLatin1String(".rels")))
            QVERIFY2(XmlError(it.value()).isEmpty(), qPrintable(it.key() + QStringLiteral(": ") + XmlError(it.value())));

    // Every part has a content type, every override names a part, and the main
    // part is a document, not the template it came from.
    const QByteArray types = parts.value(QStringLiteral("[Content_Types].xml"));
    const QMap<QString, QString> overrides = Overrides(types), defaults = Defaults(types);
    for (const QString &name : parts.keys()) {
        if (name == QLatin1String("[Content_Types].xml"))
            continue;
        const QString ext = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
        QVERIFY2(overrides.contains(name) || defaults.contains(ext), qPrintable(name));
    }
    for (const QString &name : overrides.keys())
        QVERIFY2(parts.contains(name), qPrintable(name));
    QCOMPARE(overrides.value(QStringLiteral("word/document.xml")),
             QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"));
    QCOMPARE(defaults.value(QStringLiteral("png")), QStringLiteral("image/png"));

    const QMap<QString, TRel> root = Relationships(parts.value(QStringLiteral("_rels/.rels")));
    bool officeDocument = false;
    for (const TRel &r : root) {
        QVERIFY2(parts.contains(r.target), qPrintable(r.target));
        officeDocument |= r.type.endsWith(QLatin1String("/officeDocument")) && r.target == QLatin1String("word/document.xml");
    }
    QVERIFY(officeDocument);
    const QMap<QString, TRel> rels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QStringList types2;
    for (const TRel &r : rels) {
        QVERIFY2(parts.contains(QStringLiteral("word/") + r.target), qPrintable(r.target));
        types2 << r.type.mid(r.type.lastIndexOf(QLatin1Char('/')) + 1);
    }
    for (const char *t : {"styles", "settings", "numbering", "footer", "image"})
        QVERIFY2(types2.contains(QLatin1String(t)), t);

    // The footer: the identifier, then the page number at the right, referenced by the section.
    const QString document = QString::fromUtf8(parts.value(QStringLiteral("word/document.xml")));
    QString footerId;
    for (auto it = rels.begin(); it != rels.end(); ++it)
        if (it->type.endsWith(QLatin1String("/footer")))
            footerId = it.key();
    QVERIFY(document.contains(QStringLiteral("<w:footerReference w:type=\"default\" r:id=\"%1\"/>").arg(footerId)));
    QVERIFY(!document.contains(QStringLiteral("titlePg")));   // the first page shows the same footer
    const TFooter footer = Footer(parts.value(QStringLiteral("word/") + rels.value(footerId).target));
    QCOMPARE(footer.texts, QStringList{QStringLiteral("Идентификатор теста: 77")});
    QVERIFY(footer.pageField);
    QCOMPARE(footer.pageFieldJc, QStringLiteral("right"));
    // Page setup from the template.
    QVERIFY(document.contains(QStringLiteral("w:pgSz w:h=\"16838\" w:w=\"11906\"")));

    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    QCOMPARE(paras.first().style, tpl.paragraphStyleId(QStringLiteral("СТ: Заголовок вопроса")));
    QCOMPARE(paras.first().text(), QStringLiteral("Вопрос №: 1"));
}

void TestDocxWriter::corpusCharacters_data()
{
    QTest::addColumn<QString>("file");
    for (const char *f : {"02_russian_cp1251", "03_unicode_u", "04_fonts", "05_sizes", "06_bius", "07_supersub",
                          "08_colors", "29_line_breaks", "30_special_chars"})
        QTest::newRow(f) << QString::fromLatin1(f);
}

// Every character of the corpus texts reaches the document with the attributes the model holds.
void TestDocxWriter::corpusCharacters()
{
    QFETCH(QString, file);
    QTextDocument doc;
    RichText::ReadRtf(ReadFile(Corpus(file + QStringLiteral(".rtf"))), doc);
    const QList<TPara> paras = Paragraphs(Parts(Package(doc)).value(QStringLiteral("word/document.xml")));
    QStringList docxChars;
    QList<QJsonObject> docxAttrs;
    for (const TPara &p : paras) {
        for (const TRun &r : p.runs)
            for (QChar c : r.text) {
                docxChars << QString(c);
                docxAttrs << r.attrs;
            }
        docxChars << QStringLiteral("\r");
        docxAttrs << QJsonObject();
    }
    const QList<QJsonObject> dump = RichDump(doc);
    int checked = 0;
    for (const QJsonObject &run : dump) {
        if (run.value(QStringLiteral("type")) != QLatin1String("run"))
            continue;
        const int start = run.value(QStringLiteral("start")).toInt();
        const QString text = run.value(QStringLiteral("text")).toString();
        for (int i = 0; i < text.size(); ++i) {
            const int pos = start + i;
            if (text[i] == QLatin1Char('\r'))
                continue;
            QVERIFY2(pos < docxChars.size(), qPrintable(QStringLiteral("text ends at %1").arg(docxChars.size())));
            const QString expected = text[i] == QChar(QChar::LineSeparator) ? QStringLiteral("\n") : QString(text[i]);
            QCOMPARE(docxChars[pos], expected);
            for (const char *key : {"face", "size", "bold", "italic", "underlineType", "strike", "color", "background",
                                    "offset", "super", "sub"}) {
                const QJsonValue want = run.value(QLatin1String(key)), got = docxAttrs[pos].value(QLatin1String(key));
                QVERIFY2(want == got, qPrintable(QStringLiteral("%1 at %2 (%3): want %4 got %5").arg(QLatin1String(key))
                                                     .arg(pos).arg(text[i]).arg(want.toVariant().toString(), got.toVariant().toString())));
            }
            ++checked;
        }
    }
    QVERIFY(checked > 3);
}

// Paragraph attributes, from the RTF each corpus file states.
void TestDocxWriter::corpusParagraphs()
{
    auto parasOf = [](const char *name) {
        QTextDocument doc;
        RichText::ReadRtf(ReadFile(Corpus(QLatin1String(name))), doc);
        return Paragraphs(Parts(Package(doc)).value(QStringLiteral("word/document.xml")));
    };
    const QList<TPara> align = parasOf("10_alignment.rtf");
    QStringList jc;
    for (const TPara &p : align)
        jc << p.props.value(QStringLiteral("jc"));
    QCOMPARE(jc, (QStringList{"left", "left", "right", "center", "both", "left"}));

    const QList<TPara> ind = parasOf("11_indents.rtf");
    QCOMPARE(ind[1].props.value(QStringLiteral("ind.left")), QStringLiteral("720"));
    QCOMPARE(ind[2].props.value(QStringLiteral("ind.right")), QStringLiteral("1440"));
    QCOMPARE(ind[3].props.value(QStringLiteral("ind.firstLine")), QStringLiteral("360"));
    QCOMPARE(ind[4].props.value(QStringLiteral("ind.left")), QStringLiteral("720"));
    QCOMPARE(ind[4].props.value(QStringLiteral("ind.hanging")), QStringLiteral("360"));
    QCOMPARE(ind[5].props.value(QStringLiteral("ind.left")), QStringLiteral("1134"));
    QCOMPARE(ind[5].props.value(QStringLiteral("ind.right")), QStringLiteral("567"));
    QCOMPARE(ind[5].props.value(QStringLiteral("ind.firstLine")), QStringLiteral("567"));
    QCOMPARE(ind[6].props.value(QStringLiteral("ind.left")), QStringLiteral("0"));

    QTextDocument spacing;
    RichText::ReadRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\sb240\\sa120 a\\par"
                      "\\pard\\sl360\\slmult1 b\\par\\pard\\sl480\\slmult1 c\\par\\pard\\sl300\\slmult0 d\\par"
                      "\\pard\\sl-280\\slmult0 e\\par}", spacing);
    const QList<TPara> sp = Paragraphs(Parts(Package(spacing)).value(QStringLiteral("word/document.xml")));
    QCOMPARE(sp[0].props.value(QStringLiteral("spacing.before")), QStringLiteral("240"));
    QCOMPARE(sp[0].props.value(QStringLiteral("spacing.after")), QStringLiteral("120"));
    QCOMPARE(sp[0].props.value(QStringLiteral("spacing.line")), QStringLiteral("240"));
    QCOMPARE(sp[1].props.value(QStringLiteral("spacing.line")), QStringLiteral("360"));
    QCOMPARE(sp[1].props.value(QStringLiteral("spacing.lineRule")), QStringLiteral("auto"));
    QCOMPARE(sp[2].props.value(QStringLiteral("spacing.line")), QStringLiteral("480"));
    QCOMPARE(sp[3].props.value(QStringLiteral("spacing.lineRule")), QStringLiteral("atLeast"));
    QCOMPARE(sp[3].props.value(QStringLiteral("spacing.line")), QStringLiteral("300"));
    QCOMPARE(sp[4].props.value(QStringLiteral("spacing.lineRule")), QStringLiteral("exact"));
    QCOMPARE(sp[4].props.value(QStringLiteral("spacing.line")), QStringLiteral("280"));
    // The paragraph mark that ends the text is not a paragraph of its own.
    QCOMPARE(sp.size(), 5);
}

void TestDocxWriter::lists_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("numFmt");
    QTest::addColumn<QString>("lvlText");
    QTest::newRow("bullets") << "14_bullets" << "bullet" << QStringLiteral("\u2022");
    QTest::newRow("period") << "15_num_arabic_period" << "decimal" << "%1.";
    QTest::newRow("paren") << "16_num_arabic_paren" << "decimal" << "%1)";
    QTest::newRow("parens") << "17_num_arabic_parens" << "decimal" << "(%1)";
    QTest::newRow("plain") << "18_num_arabic_plain" << "decimal" << "%1";
    QTest::newRow("ucletter") << "20_num_ucletter" << "upperLetter" << "%1.";
    QTest::newRow("lcroman") << "21_num_lcroman" << "lowerRoman" << "%1.";
}

void TestDocxWriter::lists()
{
    QFETCH(QString, file);
    QFETCH(QString, numFmt);
    QFETCH(QString, lvlText);
    QTextDocument doc;
    RichText::ReadRtf(ReadFile(Corpus(file + QStringLiteral(".rtf"))), doc);
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    QVERIFY(XmlError(parts.value(QStringLiteral("word/numbering.xml"))).isEmpty());
    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    const auto numbering = Numbering(parts.value(QStringLiteral("word/numbering.xml")));
    // Each paragraph is in the list exactly when the model's is, all in one list.
    QTextDocument model;
    RichText::ReadRtf(ReadFile(Corpus(file + QStringLiteral(".rtf"))), model);
    QString id;
    int items = 0;
    for (QTextBlock b = model.begin(); b.isValid() && b.blockNumber() < paras.size(); b = b.next()) {
        const TPara &p = paras[b.blockNumber()];
        QCOMPARE(p.props.contains(QStringLiteral("numId")), b.textList() != nullptr);
        if (!b.textList())
            continue;
        if (id.isEmpty())
            id = p.props.value(QStringLiteral("numId"));
        QCOMPARE(p.props.value(QStringLiteral("numId")), id);
        QCOMPARE(numbering[id].value(QStringLiteral("start")),
                 QString::number(RichText::NumberingStartOf(b.textList()->format())));
        ++items;
    }
    QVERIFY(items >= 2);
    QVERIFY(numbering.contains(id));
    QCOMPARE(numbering[id].value(QStringLiteral("numFmt")), numFmt);
    QCOMPARE(numbering[id].value(QStringLiteral("lvlText")), lvlText);
    // Text after the marker where the control puts it.
    QTextDocument check;
    RichText::ReadRtf(ReadFile(Corpus(file + QStringLiteral(".rtf"))), check);
    const QTextBlock item = check.findBlockByNumber(1);
    const QTextListFormat lf = item.textList()->format();
    const RichText::TParaAttributes a = RichText::ParaAttributesOf(item.blockFormat(), &lf);
    QCOMPARE(numbering[id].value(QStringLiteral("ind.left")), QString::number(a.leftIndent));
    QCOMPARE(numbering[id].value(QStringLiteral("ind.hanging")), QString::number(-a.firstIndent));
}

void TestDocxWriter::listStartNumber()
{
    QTextDocument doc;
    RichText::ReadRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard{\\pntext 5.\\tab}{\\*\\pn\\pnlvlbody\\pnf0"
                      "\\pnindent0\\pnstart5\\pndec{\\pntxta.}}\\fi-360\\li360 five\\par{\\pntext 6.\\tab}six\\par"
                      "\\pard mid\\par\\pard{\\pntext a)\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcltr"
                      "{\\pntxta)}}\\fi-360\\li360 a\\par}", doc);
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    const auto numbering = Numbering(parts.value(QStringLiteral("word/numbering.xml")));
    QCOMPARE(paras.size(), 4);
    const QString first = paras[0].props.value(QStringLiteral("numId")), second = paras[3].props.value(QStringLiteral("numId"));
    QVERIFY(first != second);   // separate lists count separately
    QCOMPARE(numbering[first].value(QStringLiteral("start")), QStringLiteral("5"));
    QCOMPARE(numbering[second].value(QStringLiteral("numFmt")), QStringLiteral("lowerLetter"));
    QCOMPARE(numbering[second].value(QStringLiteral("lvlText")), QStringLiteral("%1)"));
}

void TestDocxWriter::tabsAndBreaks()
{
    QTextDocument doc;
    RichText::ReadRtf(ReadFile(Corpus(QStringLiteral("23_tabs.rtf"))), doc);
    const QList<TPara> paras = Paragraphs(Parts(Package(doc)).value(QStringLiteral("word/document.xml")));
    QStringList withTabs;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString expected;
        for (const QTextOption::Tab &t : b.blockFormat().tabPositions())
            expected += QLatin1String(t.type == QTextOption::RightTab ? "right" : t.type == QTextOption::CenterTab ? "center"
                                      : t.type == QTextOption::DelimiterTab ? "decimal" : "left") +
                        QStringLiteral("@%1;").arg(RichText::PxToTwips(t.position));
        if (b.blockNumber() < paras.size()) {
            QCOMPARE(paras[b.blockNumber()].props.value(QStringLiteral("tabs")), expected);
            QCOMPARE(paras[b.blockNumber()].text().count(QLatin1Char('\t')), b.text().count(QLatin1Char('\t')));
        }
        if (!expected.isEmpty())
            withTabs << expected;
    }
    QVERIFY(!withTabs.isEmpty());

    QTextDocument lines;
    RichText::ReadRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard one\\line two\\tab three\\par}", lines);
    const QList<TPara> lp = Paragraphs(Parts(Package(lines)).value(QStringLiteral("word/document.xml")));
    QCOMPARE(Texts(lp), QStringList{QStringLiteral("one\ntwo\tthree")});
}

// In the question-text style the style gives the paragraph its look; a list stays a list.
void TestDocxWriter::styledTextKeepsListsNotIndents()
{
    QTextDocument doc;
    RichText::ReadRtf(ReadFile(Corpus(QStringLiteral("15_num_arabic_period.rtf"))), doc);
    const QList<TPara> paras = Paragraphs(Parts(Package(doc, QStringLiteral("QuestionText"))).value(QStringLiteral("word/document.xml")));
    for (const TPara &p : paras) {
        QCOMPARE(p.style, QStringLiteral("QuestionText"));
        QVERIFY(!p.props.contains(QStringLiteral("ind.left")));
        QVERIFY(!p.props.contains(QStringLiteral("jc")));
    }
    QVERIFY(paras[1].props.contains(QStringLiteral("numId")));
}

void TestDocxWriter::corpusPicture_data()
{
    QTest::addColumn<QString>("file");
    const QStringList pics = QDir(Corpus(QStringLiteral("pictures"))).entryList({QStringLiteral("*.rec")}, QDir::Files, QDir::Name);
    QVERIFY(!pics.isEmpty());
    for (const QString &p : pics)
        QTest::newRow(qPrintable(p)) << p;
}

// A picture at the object's size (0.01 mm = 360 EMU), its pixels in a PNG part.
void TestDocxWriter::corpusPicture()
{
    QFETCH(QString, file);
    QTextDocument doc;
    RichText::LoadRecord(doc, ReadFile(Corpus(QStringLiteral("pictures/") + file)));
    RichText::TRichObject obj;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (RichText::IsObjectFormat(it.fragment().charFormat()))
                obj = RichText::ObjectOf(it.fragment().charFormat());
    QVERIFY(obj.width > 0);
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    const QMap<QString, TRel> rels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QList<TDrawing> drawings;
    for (const TPara &p : paras)
        for (const TRun &r : p.runs)
            drawings += r.drawings;
    QCOMPARE(drawings.size(), 1);
    QCOMPARE(drawings[0].cx, qint64(obj.width) * 360);
    QCOMPARE(drawings[0].cy, qint64(obj.height) * 360);
    QVERIFY(rels.contains(drawings[0].embed));
    QVERIFY(rels[drawings[0].embed].type.endsWith(QLatin1String("/image")));
    QImage png;
    QVERIFY(png.loadFromData(parts.value(QStringLiteral("word/") + rels[drawings[0].embed].target), "PNG"));
    const QImage expected = RichText::DecodeStoragePicture(obj.storage);
    QVERIFY(!expected.isNull());
    QCOMPARE(png.size(), expected.size());
    QCOMPARE(png.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
}

// An object that is no picture is shown as the control draws it; two of the same share a part.
void TestDocxWriter::otherObjectIsDrawn()
{
    RichText::TRichObject obj;
    obj.storage = RichText::BuildStorage(QByteArray(16, '\x11'), {{"\x01Ole10Native", QByteArray(40, 'z')}});
    obj.width = 2540;   // 1 inch
    obj.height = 1270;
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QString(QChar(0xFFFC)), RichText::ObjectFormat(obj));
    c.insertText(QStringLiteral(" и "));
    c.insertText(QString(QChar(0xFFFC)), RichText::ObjectFormat(obj));
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    QStringList media;
    for (const QString &n : parts.keys())
        if (n.startsWith(QLatin1String("word/media/")))
            media << n;
    QCOMPARE(media.size(), 1);
    QImage png;
    QVERIFY(png.loadFromData(parts.value(media.first()), "PNG"));
    QCOMPARE(png.size(), QSize(2 * 96, 2 * 48));
    // Not a blank page: the frame and the class name are drawn.
    int dark = 0;
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x)
            dark += qGray(png.pixel(x, y)) < 128;
    QVERIFY(dark > 50);
    const QList<TPara> paras = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
    QCOMPARE(paras.size(), 1);
    QCOMPARE(paras[0].text(), QStringLiteral("\uFFFC и \uFFFC"));
    // Drawing ids are unique within the document.
    const QString xml = QString::fromUtf8(parts.value(QStringLiteral("word/document.xml")));
    QVERIFY(xml.contains(QStringLiteral("<wp:docPr id=\"1\"")));
    QVERIFY(xml.contains(QStringLiteral("<wp:docPr id=\"2\"")));
}

void TestDocxWriter::unsafeCharactersDropped()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("a") + QChar(0x01) + QStringLiteral("b") + QChar(0xD800) + QStringLiteral("c") +
                 QChar(0xFFFF) + QStringLiteral("d") + QStringLiteral("\U0001F600"));
    const QByteArray zip = Package(doc, {}, QStringLiteral("x") + QChar(0x02));
    const QMap<QString, QByteArray> parts = Parts(zip);
    QVERIFY(XmlError(parts.value(QStringLiteral("word/document.xml"))).isEmpty());
    QVERIFY(XmlError(parts.value(QStringLiteral("word/footer1.xml"))).isEmpty());
    QCOMPARE(Texts(Paragraphs(parts.value(QStringLiteral("word/document.xml")))),
             QStringList{QStringLiteral("abcd\U0001F600")});
}

// A logo in the template's header keeps its ids; the export's drawings come after them.
void TestDocxWriter::drawingIdsUniqueAcrossPackage()
{
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(EditedTemplate(
        {{QStringLiteral("[Content_Types].xml"), "</Types>", kHeaderType},
         {QStringLiteral("word/_rels/document.xml.rels"), "</Relationships>", kHeaderRel},
         {QStringLiteral("word/document.xml"), "<w:sectPr>", "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId9\"/>"}},
        {{QStringLiteral("word/header1.xml"), HeaderWithLogo()}}));
    QCOMPARE(tpl.drawingIdBase, 5);
    QTextDocument doc;
    Docx::TDocxDocument d(tpl);
    d.addRichText(*PictureText(&doc, 20, 10, 3));
    const QMap<QString, QByteArray> parts = Parts(d.package());
    const QList<qint64> ids = DrawingIds(parts);
    QCOMPARE(ids.size(), 5);
    QCOMPARE(QSet<qint64>(ids.begin(), ids.end()).size(), ids.size());
    QVERIFY(XmlError(parts.value(QStringLiteral("word/document.xml"))).isEmpty());
}

void TestDocxWriter::picturesFitTheTextArea_data()
{
    QTest::addColumn<QList<TEdit>>("edits");
    QTest::addColumn<int>("textWidth");    // twips
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<QSize>("picture");
    const QString doc = QStringLiteral("word/document.xml");
    const QByteArray a4Size = "<w:pgSz w:w=\"11906\" w:h=\"16838\"/>";
    QTest::newRow("A4, taller and wider") << QList<TEdit>{} << 11906 - 1418 - 850 << 16838 - 2 * 1134 << QSize(700, 1000);
    QTest::newRow("A4, wide") << QList<TEdit>{} << 11906 - 1418 - 850 << 16838 - 2 * 1134 << QSize(2000, 300);
    QTest::newRow("A5") << QList<TEdit>{{doc, a4Size, "<w:pgSz w:w=\"8391\" w:h=\"11906\"/>"}}
                        << 8391 - 1418 - 850 << 11906 - 2 * 1134 << QSize(640, 480);
    QTest::newRow("A4 landscape, two columns")
        << QList<TEdit>{{doc, a4Size, "<w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/>"},
                        {doc, "<w:cols w:space=\"708\"/>", "<w:cols w:num=\"2\" w:space=\"708\"/>"}}
        << (16838 - 1418 - 850 - 708) / 2 << 11906 - 2 * 1134 << QSize(700, 1000);
    QTest::newRow("margins in millimetres")
        << QList<TEdit>{{doc, "w:left=\"1418\"", "w:left=\"40mm\""}} << 11906 - 2268 - 850 << 16838 - 2 * 1134 << QSize(700, 1000);
}

// Scaled down to the column and the page's text height, the aspect kept; a small one keeps its size.
void TestDocxWriter::picturesFitTheTextArea()
{
    QFETCH(QList<TEdit>, edits);
    QFETCH(int, textWidth);
    QFETCH(int, textHeight);
    QFETCH(QSize, picture);
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(EditedTemplate(edits));
    QCOMPARE(tpl.textWidth(), textWidth);
    QCOMPARE(tpl.textHeight(), textHeight);
    QTextDocument big, small;
    Docx::TDocxDocument d(tpl);
    d.addRichText(*PictureText(&big, picture.width(), picture.height()));
    d.addRichText(*PictureText(&small, 24, 16));
    const QList<TDrawing> drawings = Drawings(Parts(d.package()).value(QStringLiteral("word/document.xml")));
    QCOMPARE(drawings.size(), 2);
    const TDrawing &p = drawings[0];
    QVERIFY2(p.cx <= qint64(textWidth) * 635, qPrintable(QString::number(p.cx)));
    QVERIFY2(p.cy <= qint64(textHeight) * 635, qPrintable(QString::number(p.cy)));
    // One side fills its room (the height keeps a line's allowance free).
    QVERIFY(p.cx > qint64(textWidth) * 635 * 9 / 10 || p.cy > qint64(textHeight - 567) * 635 * 9 / 10);
    QVERIFY(qAbs(double(p.cx) / p.cy - double(picture.width()) / picture.height()) < 0.01);
    const RichText::TRichObject own = RichText::PictureObject(QImage(24, 16, QImage::Format_RGB32));
    QCOMPARE(drawings[1].cx, qint64(own.width) * 360);
    QCOMPARE(drawings[1].cy, qint64(own.height) * 360);
}

// Columns, grid, page numbers, borders, the first page and the vertical alignment
// stay as the template has them, in the schema's order; only the footer is ours.
void TestDocxWriter::sectionPropertiesKept()
{
    const QString doc = QStringLiteral("word/document.xml");
    const QByteArray sect =
        "<w:sectPr w:rsidR=\"00AB\"><w:headerReference w:type=\"default\" r:id=\"rId9\"/>"
        "<w:footerReference w:type=\"default\" r:id=\"rId10\"/>"
        "<w:footnotePr><w:numFmt w:val=\"lowerRoman\"/></w:footnotePr>"
        "<w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/>"
        "<w:pgMar w:top=\"851\" w:right=\"851\" w:bottom=\"851\" w:left=\"851\" w:header=\"425\" w:footer=\"709\" w:gutter=\"0\"/>"
        "<w:pgBorders w:offsetFrom=\"page\"><w:top w:val=\"single\" w:sz=\"4\" w:space=\"24\" w:color=\"auto\"/>"
        "<w14:x xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\"><w:top/></w14:x>"
        "<w:bottom w:val=\"single\" w:sz=\"4\" w:space=\"24\" w:color=\"auto\"/></w:pgBorders>"
        "<w:pgNumType w:fmt=\"upperRoman\" w:start=\"3\"/>"
        "<w:cols w:num=\"2\" w:space=\"567\" w:sep=\"1\"/><w:vAlign w:val=\"center\"/><w:titlePg/>"
        "<w:docGrid w:type=\"lines\" w:linePitch=\"360\"/><w:printerSettings r:id=\"rId11\"/>"
        "<w14:extra xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\"/></w:sectPr>";
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(EditedTemplate(
        {{QStringLiteral("[Content_Types].xml"), "</Types>", kHeaderType},
         {QStringLiteral("word/_rels/document.xml.rels"), "</Relationships>", kHeaderRel},
         {QStringLiteral("word/settings.xml"), "<w:characterSpacingControl", "<w:evenAndOddHeaders/><w:characterSpacingControl"},
         {doc, "<w:p/>", "<w:p><w:pPr><w:sectPr><w:cols w:num=\"3\"/></w:sectPr></w:pPr></w:p>"},
         {doc, "<w:sectPr>\n      <w:pgSz w:w=\"11906\" w:h=\"16838\"/>\n      <w:pgMar w:top=\"1134\" w:right=\"850\" w:bottom=\"1134\" w:left=\"1418\" w:header=\"567\" w:footer=\"567\" w:gutter=\"0\"/>\n      <w:cols w:space=\"708\"/>\n    </w:sectPr>", sect}},
        {{QStringLiteral("word/header1.xml"), HeaderWithLogo()}}));
    Docx::TDocxDocument d(tpl);
    d.addParagraph(QString(), QStringLiteral("x"));
    d.setFooter(QStringLiteral("F"));
    const QMap<QString, QByteArray> parts = Parts(d.package());
    const QByteArray xml = parts.value(doc);
    QVERIFY2(XmlError(xml).isEmpty(), qPrintable(XmlError(xml)));
    const QList<TSectionProp> props = SectionProps(xml);
    QStringList names;
    for (const TSectionProp &p : props)
        names << p.name;
    QCOMPARE(names, (QStringList{"headerReference", "footerReference", "footerReference", "footerReference", "footnotePr", "pgSz", "pgMar",
                                 "pgBorders", "pgNumType", "cols", "vAlign", "titlePg", "docGrid"}));
    auto prop = [&](const char *name) {
        for (const TSectionProp &p : props)
            if (p.name == QLatin1String(name))
                return p;
        return TSectionProp();
    };
    QCOMPARE(prop("cols").attrs.value(QStringLiteral("num")), QStringLiteral("2"));
    QCOMPARE(prop("cols").attrs.value(QStringLiteral("sep")), QStringLiteral("1"));
    QCOMPARE(prop("pgSz").attrs.value(QStringLiteral("orient")), QStringLiteral("landscape"));
    QCOMPARE(prop("pgNumType").attrs.value(QStringLiteral("fmt")), QStringLiteral("upperRoman"));
    QCOMPARE(prop("pgBorders").children, 2);
    QCOMPARE(prop("vAlign").attrs.value(QStringLiteral("val")), QStringLiteral("center"));
    QCOMPARE(prop("docGrid").attrs.value(QStringLiteral("linePitch")), QStringLiteral("360"));
    QCOMPARE(prop("footnotePr").children, 1);
    QCOMPARE(tpl.textWidth(), (16838 - 2 * 851 - 567) / 2);
    // The footer on every page, the distinct first one too; the template's own footer stays behind.
    const QMap<QString, TRel> rels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    QStringList footerTypes;
    for (const TSectionProp &p : props)
        if (p.name == QLatin1String("footerReference")) {
            footerTypes << p.attrs.value(QStringLiteral("type"));
            QVERIFY(rels.value(p.attrs.value(QStringLiteral("id"))).type.endsWith(QLatin1String("/footer")));
        }
    QCOMPARE(footerTypes, (QStringList{"default", "even", "first"}));
    QVERIFY(rels.contains(prop("headerReference").attrs.value(QStringLiteral("id"))));
}

void TestDocxWriter::footerDistanceRaised_data()
{
    QTest::addColumn<QByteArray>("footer");
    QTest::addColumn<bool>("withFooter");
    QTest::addColumn<QString>("written");
    QTest::newRow("none") << QByteArray("w:footer=\"0\"") << true << "567";
    QTest::newRow("3 mm") << QByteArray("w:footer=\"170\"") << true << "567";
    QTest::newRow("in points") << QByteArray("w:footer=\"5pt\"") << true << "567";
    QTest::newRow("15 mm kept") << QByteArray("w:footer=\"850\"") << true << "850";
    QTest::newRow("no footer added") << QByteArray("w:footer=\"0\"") << false << "0";
}

// The page number the export adds prints at least 10 mm from the paper's edge.
void TestDocxWriter::footerDistanceRaised()
{
    QFETCH(QByteArray, footer);
    QFETCH(bool, withFooter);
    QFETCH(QString, written);
    const Docx::TDocxTemplate tpl = Docx::TDocxTemplate::FromBytes(
        EditedTemplate({{QStringLiteral("word/document.xml"), "w:footer=\"567\"", footer}}));
    Docx::TDocxDocument d(tpl);
    d.addParagraph(QString(), QStringLiteral("x"));
    if (withFooter)
        d.setFooter(QStringLiteral("F"));
    for (const TSectionProp &p : SectionProps(Parts(d.package()).value(QStringLiteral("word/document.xml"))))
        if (p.name == QLatin1String("pgMar")) {
            QCOMPARE(p.attrs.value(QStringLiteral("footer")), written);
            QCOMPARE(p.attrs.value(QStringLiteral("bottom")), QStringLiteral("1134"));
        }
}

// Settings naming footnote and endnote separators, as word processors save
// them: the parts come along, or the references go when the template lacks them.
void TestDocxWriter::noteSeparators()
{
    const TEdit settings{QStringLiteral("word/settings.xml"), "<w:compat>",
                         "<w:footnotePr><w:numFmt w:val=\"decimal\"/><w:footnote w:id=\"-1\"/><w:footnote w:id=\"0\"/></w:footnotePr>"
                         "<w:endnotePr><w:endnote w:id=\"-1\"/><w:endnote w:id=\"0\"/></w:endnotePr><w:compat>"};
    auto notes = [](const char *root, const char *item) {
        QByteArray x = QByteArray("<w:") + root + " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">";
        for (const char *type : {"separator", "continuationSeparator"})
            x += QByteArray("<w:") + item + " w:type=\"" + type + "\" w:id=\"" + (type[0] == 's' ? "-1" : "0") +
                 "\"><w:p><w:r><w:separator/></w:r></w:p></w:" + item + ">";
        return x + "</w:" + root + ">";
    };
    const QString wml = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.");
    auto package = [](const QByteArray &tpl) {
        Docx::TDocxDocument d(Docx::TDocxTemplate::FromBytes(tpl));
        d.addParagraph(QString(), QStringLiteral("x"));
        return Parts(d.package());
    };
    auto relTargets = [](const QMap<QString, QByteArray> &parts) {
        QMap<QString, QString> out;   // type -> target
        for (const TRel &r : Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels"))))
            out.insert(r.type.section(QLatin1Char('/'), -1), r.target);
        return out;
    };

    const QMap<QString, QByteArray> kept = package(EditedTemplate(
        {settings,
         {QStringLiteral("[Content_Types].xml"), "</Types>",
          ("<Override PartName=\"/word/footnotes.xml\" ContentType=\"" + wml + "footnotes+xml\"/>"
           "<Override PartName=\"/word/endnotes.xml\" ContentType=\"" + wml + "endnotes+xml\"/></Types>").toUtf8()},
         {QStringLiteral("word/_rels/document.xml.rels"), "</Relationships>",
          "<Relationship Id=\"rId20\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>"
          "<Relationship Id=\"rId21\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes\" Target=\"endnotes.xml\"/></Relationships>"}},
        {{QStringLiteral("word/footnotes.xml"), notes("footnotes", "footnote")},
         {QStringLiteral("word/endnotes.xml"), notes("endnotes", "endnote")}}));
    QCOMPARE(kept.value(QStringLiteral("word/footnotes.xml")), notes("footnotes", "footnote"));
    QCOMPARE(kept.value(QStringLiteral("word/endnotes.xml")), notes("endnotes", "endnote"));
    QCOMPARE(relTargets(kept).value(QStringLiteral("footnotes")), QStringLiteral("footnotes.xml"));
    QCOMPARE(relTargets(kept).value(QStringLiteral("endnotes")), QStringLiteral("endnotes.xml"));
    const QMap<QString, QString> types = Overrides(kept.value(QStringLiteral("[Content_Types].xml")));
    QCOMPARE(types.value(QStringLiteral("word/footnotes.xml")), wml + QStringLiteral("footnotes+xml"));
    QVERIFY(kept.value(QStringLiteral("word/settings.xml")).contains("<w:footnote w:id=\"0\"/>"));

    const QMap<QString, QByteArray> dropped = package(EditedTemplate({settings}));
    QVERIFY(!relTargets(dropped).contains(QStringLiteral("footnotes")));
    const QByteArray s = dropped.value(QStringLiteral("word/settings.xml"));
    QVERIFY2(XmlError(s).isEmpty(), qPrintable(XmlError(s)));
    QVERIFY2(!s.contains("<w:footnote ") && !s.contains("<w:endnote "), s.constData());
    // The rest of the settings as they were.
    QVERIFY(s.contains("<w:footnotePr><w:numFmt w:val=\"decimal\"/></w:footnotePr><w:endnotePr></w:endnotePr><w:compat>"));
    QVERIFY(s.contains("<w:defaultTabStop w:val=\"708\"/>"));
}

// A photo inserted from a JPEG file goes into the package as a JPEG of about
// its size, not as a PNG many times larger; it still shows the same picture.
void TestDocxWriter::photoKeptAsJpeg()
{
    QImage photo(640, 480, QImage::Format_RGB32);
    quint32 noise = 12345;
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = int((noise >> 16) % 17) - 8;
            const double v = 60 * std::sin(x / 23.0) * std::cos(y / 31.0);
            photo.setPixel(x, y, qRgb(std::clamp(int(90 + x / 5 + v) + n, 0, 255), std::clamp(int(120 + v) + n, 0, 255),
                                      std::clamp(int(200 - y / 4 - v) + n, 0, 255)));
        }
    QByteArray file;
    {
        QBuffer b(&file);
        b.open(QIODevice::WriteOnly);
        QVERIFY(photo.save(&b, "JPEG", 90));
    }
    const QImage inserted = QImage::fromData(file, "JPEG");   // what the editor keeps of it
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QString(QChar::ObjectReplacementCharacter), RichText::ObjectFormat(RichText::PictureObject(inserted)));
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    const QList<TDrawing> drawings = Drawings(parts.value(QStringLiteral("word/document.xml")));
    QCOMPARE(drawings.size(), 1);
    const QString target = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels"))).value(drawings[0].embed).target;
    QVERIFY2(target.endsWith(QLatin1String(".jpeg")), qPrintable(target));
    const QByteArray part = parts.value(QStringLiteral("word/") + target);
    QVERIFY(part.startsWith("\xFF\xD8\xFF"));
    QVERIFY2(part.size() < file.size() * 2, qPrintable(QStringLiteral("%1 bytes from %2").arg(part.size()).arg(file.size())));
    QCOMPARE(Defaults(parts.value(QStringLiteral("[Content_Types].xml"))).value(QStringLiteral("jpeg")), QStringLiteral("image/jpeg"));
    const QImage back = QImage::fromData(part, "JPEG");
    QCOMPARE(back.size(), inserted.size());
    qint64 diff = 0;
    for (int y = 0; y < back.height(); y += 7)
        for (int x = 0; x < back.width(); x += 7)
            diff += qAbs(qGray(back.pixel(x, y)) - qGray(inserted.pixel(x, y)));
    QVERIFY(diff / ((back.width() / 7 + 1) * (back.height() / 7 + 1)) < 6);
}

// Every font of the text is in the font table with its character set, once;
// a template without a font table gets one.
void TestDocxWriter::fontsListed()
{
    QTextDocument doc;
    RichText::ReadRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Verdana;}{\\f1\\froman\\fcharset2 Symbol;}"
                      "{\\f2\\froman\\fcharset204 Times New Roman;}{\\f3\\fcharset161 Tahoma;}}"
                      "\\pard\\f0 a\\f1 b\\f2 c\\f3 d\\par}", doc);
    auto fonts = [](const QByteArray &xml) {
        QMap<QString, QString> out;   // name -> charset, "" without one; a repeated name counts as "twice"
        QXmlStreamReader r(xml);
        QString name;
        while (!r.atEnd()) {
            r.readNext();
            if (!r.isStartElement())
                continue;
            if (r.name() == QLatin1String("font")) {
                name = r.attributes().value(Docx::Ns::W, QLatin1String("name")).toString();
                out.insert(name, out.contains(name) ? QStringLiteral("twice") : QString());
            } else if (r.name() == QLatin1String("charset") && out.value(name) != QLatin1String("twice")) {
                out.insert(name, r.attributes().value(Docx::Ns::W, QLatin1String("val")).toString());
            }
        }
        return out;
    };
    const QMap<QString, QByteArray> parts = Parts(Package(doc));
    const QMap<QString, QString> table = fonts(parts.value(QStringLiteral("word/fontTable.xml")));
    QCOMPARE(table.value(QStringLiteral("Verdana")), QStringLiteral("CC"));
    QCOMPARE(table.value(QStringLiteral("Symbol")), QStringLiteral("02"));
    QCOMPARE(table.value(QStringLiteral("Tahoma")), QStringLiteral("A1"));
    QCOMPARE(table.value(QStringLiteral("Times New Roman")), QStringLiteral("CC"));   // the template's, not twice
    QCOMPARE(table.value(QStringLiteral("Arial")), QStringLiteral("CC"));
    QCOMPARE(table.size(), 5);

    const QByteArray bare = EditedTemplate({{QStringLiteral("word/_rels/document.xml.rels"),
                                             "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/fontTable\" Target=\"fontTable.xml\"/>", ""}});
    Docx::TDocxDocument d(Docx::TDocxTemplate::FromBytes(bare));
    d.addRichText(doc);
    const QMap<QString, QByteArray> own = Parts(d.package());
    QString target;
    for (const TRel &r : Relationships(own.value(QStringLiteral("word/_rels/document.xml.rels"))))
        if (r.type.endsWith(QLatin1String("/fontTable")))
            target = r.target;
    QVERIFY(!target.isEmpty());
    QVERIFY(XmlError(own.value(QStringLiteral("word/") + target)).isEmpty());
    QCOMPARE(fonts(own.value(QStringLiteral("word/") + target)).value(QStringLiteral("Symbol")), QStringLiteral("02"));
    QVERIFY(Overrides(own.value(QStringLiteral("[Content_Types].xml"))).value(QStringLiteral("word/") + target).endsWith(QLatin1String("fontTable+xml")));
}

QTEST_MAIN(TestDocxWriter)
#include "tst_DocxWriter.moc"
