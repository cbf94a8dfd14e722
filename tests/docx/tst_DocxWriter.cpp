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
                                      "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/></Types>");
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
    // The default header is shown; the first-page one would need a distinct first page.
    const QString document = QString::fromUtf8(parts.value(QStringLiteral("word/document.xml")));
    QString headerId;
    const QMap<QString, TRel> mainRels = Relationships(parts.value(QStringLiteral("word/_rels/document.xml.rels")));
    for (auto it = mainRels.begin(); it != mainRels.end(); ++it)
        if (it->target == QLatin1String("header1.xml"))
            headerId = it.key();
    QVERIFY(!headerId.isEmpty());
    QVERIFY(document.contains(QStringLiteral("<w:headerReference w:type=\"default\" r:id=\"%1\"/>").arg(headerId)));
    QVERIFY(!document.contains(QStringLiteral("w:type=\"first\"")));
    QVERIFY(!document.contains(QStringLiteral("titlePg")));
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

QTEST_MAIN(TestDocxWriter)
#include "tst_DocxWriter.moc"
