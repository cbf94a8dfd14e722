// HTML fragments to and from our content records: the look survives both
// ways, pictures become our picture objects and back, nothing is fetched.
#include <QtTest>

#include <QBuffer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "HtmlRich.h"
#include "MJvRichedit.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"

using namespace Interchange;
using namespace RichText;

namespace {

QImage Picture(int w, int h, QRgb a, QRgb b)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, (x + y) % 3 ? a : b);
    return img;
}

QByteArray Png(const QImage &img)
{
    QByteArray b;
    QBuffer buf(&b);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return b;
}

std::unique_ptr<QTextDocument> Loaded(const QByteArray &record)
{
    auto doc = std::make_unique<QTextDocument>();
    LoadRecord(*doc, record);
    return doc;
}

// The format of the character at the first occurrence of text.
QTextCharFormat FormatAt(const QTextDocument &doc, const QString &text)
{
    const QTextCursor found = doc.find(text);
    if (found.isNull())
        return {};
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(found.selectionStart() + 1);
    return c.charFormat();
}

QTextBlock BlockOf(const QTextDocument &doc, const QString &text)
{
    const QTextCursor found = doc.find(text);
    return found.isNull() ? QTextBlock() : found.block();
}

QList<TRichObject> Objects(const QTextDocument &doc)
{
    QList<TRichObject> r;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (IsObjectFormat(it.fragment().charFormat()))
                for (QChar ch : it.fragment().text())
                    if (ch == QChar::ObjectReplacementCharacter)
                        r << ObjectOf(it.fragment().charFormat());
    return r;
}

// What a reader sees of a document: per character its look, per block its layout.
QStringList Look(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextListFormat lf = b.textList() ? b.textList()->format() : QTextListFormat();
        const TParaAttributes a = ParaAttributesOf(b.blockFormat(), b.textList() ? &lf : nullptr);
        out << QStringLiteral("[block align=%1 num=%2 start=%3]").arg(a.alignment).arg(a.numbering).arg(a.numberingStart);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            out << QStringLiteral("%1|%2 %3pt b%4 i%5 u%6 s%7 v%8 fg%9 bg%10")
                       .arg(it.fragment().text(), FontNameOf(f))
                       .arg(f.fontPointSize())
                       .arg(f.fontWeight() >= QFont::DemiBold)
                       .arg(f.fontItalic())
                       .arg(UnderlineTypeOf(f) != 0)
                       .arg(f.fontStrikeOut())
                       .arg(int(f.verticalAlignment()))
                       .arg(f.foreground().color().name(), f.hasProperty(QTextFormat::BackgroundBrush)
                                                               ? f.background().color().name()
                                                               : QStringLiteral("none"));
        }
    }
    return out;
}

bool ReportHas(const TReport &r, const QString &part)
{
    for (const QString &l : r.Lines)
        if (l.contains(part))
            return true;
    return false;
}

const QString kWhere = QStringLiteral("Вопрос 1: ");

} // namespace

class TstHtmlRich : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plainTextInTheEditorsLook();
    void htmlLookImported();
    void lookSurvivesExportAndImport();
    void spacesAndBreaksSurvive();
    void picturesBothWays();
    void picturesThatCannotComeIn();
    void otherObjectsOnExport();
    void onePictureManyReferences();
    void deepHtmlFlattened();
};

void TstHtmlRich::plainTextInTheEditorsLook()
{
    const QByteArray rec = RichRecordFromPlain(QStringLiteral("Столица\r\nФранции?\n\nconst x"));
    QCOMPARE(PlainFromRichRecord(rec), QStringLiteral("Столица\nФранции?\n\nconst x"));
    QCOMPARE(RichRecord::PlainLines(rec),
             (QStringList{QStringLiteral("Столица"), QStringLiteral("Франции?"), QString(), QStringLiteral("const x")}));
    const auto doc = Loaded(rec);
    const QTextCharFormat f = FormatAt(*doc, QStringLiteral("Франции"));
    QCOMPARE(FontNameOf(f), QStringLiteral("MS Sans Serif"));
    QCOMPARE(CharsetOf(f), 204);
    QCOMPARE(f.fontPointSize(), 12.0);
    QCOMPARE(BlockOf(*doc, QStringLiteral("const")).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    // An object mark alone is no object: it is left out, never a broken record.
    const QByteArray marked = RichRecordFromPlain(QStringLiteral("a") + QChar(QChar::ObjectReplacementCharacter) + QStringLiteral("b"));
    QCOMPARE(PlainFromRichRecord(marked), QStringLiteral("ab"));
    QVERIFY(Objects(*Loaded(marked)).isEmpty());
    QCOMPARE(PlainFromRichRecord(QByteArray()), QString());
}

void TstHtmlRich::htmlLookImported()
{
    TReport report;
    const QString html = QStringLiteral(
        "<p style=\"text-align:center\"><b>Жирный</b> <i>курсив</i> <u>подчёркнутый</u> "
        "<span style=\"color:#ff0000;font-family:Arial, sans-serif;font-size:14pt\">красный</span>"
        "<br>вторая строка</p>"
        "<p style=\"text-align:right\">справа<sup>2</sup> <span style=\"background-color:#ffff00\">фон</span></p>"
        "<ul><li>первый</li><li>второй</li></ul><ol><li>номер</li></ol>"
        "<h1>Заголовок</h1><p><font face=\"sans-serif\">общий</font> <a href=\"http://example.invalid/\">ссылка</a></p>");
    const auto doc = Loaded(RichRecordFromHtml(html, {}, report, kWhere));
    QVERIFY2(report.isEmpty(), qPrintable(report.Lines.join('\n')));
    QVERIFY(FormatAt(*doc, QStringLiteral("Жирный")).fontWeight() >= QFont::Bold);
    QVERIFY(FormatAt(*doc, QStringLiteral("курсив")).fontItalic());
    QVERIFY(FormatAt(*doc, QStringLiteral("подчёркнутый")).fontUnderline());
    const QTextCharFormat red = FormatAt(*doc, QStringLiteral("красный"));
    QCOMPARE(red.foreground().color(), QColor(255, 0, 0));
    QCOMPARE(FontNameOf(red), QStringLiteral("Arial"));
    QCOMPARE(red.fontPointSize(), 14.0);
    QCOMPARE(CharsetOf(red), 204);
    // What the fragment leaves unset is the editor's default look.
    const QTextCharFormat plain = FormatAt(*doc, QStringLiteral("вторая"));
    QCOMPARE(FontNameOf(plain), QStringLiteral("MS Sans Serif"));
    QCOMPARE(plain.fontPointSize(), 12.0);
    QCOMPARE(plain.foreground().color(), QColor(0, 0, 0));
    QVERIFY(plain.fontWeight() < QFont::DemiBold);
    QCOMPARE(FontNameOf(FormatAt(*doc, QStringLiteral("общий"))), QStringLiteral("Arial"));
    QVERIFY(FormatAt(*doc, QStringLiteral("Заголовок")).fontPointSize() > 12.0);
    QVERIFY(FormatAt(*doc, QStringLiteral("Заголовок")).fontWeight() >= QFont::Bold);
    QCOMPARE(FormatAt(*doc, QStringLiteral("2")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    QCOMPARE(FormatAt(*doc, QStringLiteral("фон")).background().color(), QColor(255, 255, 0));
    // A <br> is a line break inside the paragraph, not a new paragraph.
    const QTextBlock first = BlockOf(*doc, QStringLiteral("Жирный"));
    QVERIFY(first.text().contains(QChar(QChar::LineSeparator)));
    QVERIFY(first.text().endsWith(QStringLiteral("вторая строка")));
    QCOMPARE(first.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(BlockOf(*doc, QStringLiteral("справа")).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    const QTextBlock bullet = BlockOf(*doc, QStringLiteral("второй"));
    QVERIFY(bullet.textList());
    QCOMPARE(NumberingOf(bullet.textList()->format()), int(NumBullet));
    QCOMPARE(bullet.textList(), BlockOf(*doc, QStringLiteral("первый")).textList());
    const QTextBlock numbered = BlockOf(*doc, QStringLiteral("номер"));
    QVERIFY(numbered.textList());
    QCOMPARE(NumberingOf(numbered.textList()->format()), int(NumArabic));
    QVERIFY(!BlockOf(*doc, QStringLiteral("ссылка")).textList());
    // Paragraph spacing of HTML is not ours: the lines sit as the editor sets them.
    QCOMPARE(first.blockFormat().topMargin(), 0.0);
    QCOMPARE(PlainFromRichRecord(RichRecordFromHtml(html, {}, report, kWhere)).split('\n').first(),
             QStringLiteral("Жирный курсив подчёркнутый красный"));
}

void TstHtmlRich::lookSurvivesExportAndImport()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat base;
    base.setFontFamilies({QStringLiteral("MS Sans Serif")});
    base.setProperty(PropCharset, 204);
    base.setFontPointSize(12);
    base.setForeground(QColor(0, 0, 0));
    QTextBlockFormat center;
    center.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(center);
    c.insertText(QStringLiteral("Обычный "), base);
    QTextCharFormat bold = base;
    bold.setFontWeight(QFont::Bold);
    bold.setFontItalic(true);
    c.insertText(QStringLiteral("жирный курсив"), bold);
    QTextCharFormat times = base;
    times.setFontFamilies({QStringLiteral("Times New Roman")});
    times.setFontPointSize(16);
    times.setForeground(QColor(0, 0, 255));
    times.setBackground(QColor(255, 255, 0));
    times.setFontUnderline(true);
    c.insertText(QStringLiteral(" синий <а & б> \"кавычки\""), times);
    QTextBlockFormat justify;
    justify.setAlignment(Qt::AlignJustify);
    c.insertBlock(justify, base);
    QTextCharFormat sub = base;
    sub.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    sub.setFontStrikeOut(true);
    c.insertText(QStringLiteral("H"), base);
    c.insertText(QStringLiteral("2"), sub);
    c.insertText(QStringLiteral("O"), base);
    QTextBlockFormat left;
    left.setAlignment(Qt::AlignLeft);
    c.insertBlock(left, base);
    c.createList(MakeListFormat(NumBullet, 1, StylePeriod, 0));
    c.insertText(QStringLiteral("пункт один"), base);
    c.insertBlock(c.blockFormat(), base);
    c.insertText(QStringLiteral("пункт два"), base);
    c.insertBlock(left, base);
    c.createList(MakeListFormat(NumUcRoman, 3, StylePeriod, 0));
    c.insertText(QStringLiteral("римский"), base);
    c.insertBlock(left, base);
    c.insertText(QStringLiteral("конец"), base);
    const QByteArray rec = SaveRecord(doc);

    TReport report;
    QList<TEmbeddedFile> files;
    const QString html = HtmlFromRichRecord(rec, files, report, kWhere);
    QVERIFY(files.isEmpty());
    QVERIFY(report.isEmpty());
    // The platform's own font where ours is the default; the HTML has no document around it.
    QVERIFY(!html.contains(QStringLiteral("MS Sans Serif")));
    QVERIFY(!html.contains(QStringLiteral("<html"), Qt::CaseInsensitive));
    QVERIFY(html.contains(QStringLiteral("&lt;а &amp; б&gt;")));
    QVERIFY(html.contains(QStringLiteral("<ol type=\"I\" start=\"3\">")));
    const QByteArray back = RichRecordFromHtml(html, files, report, kWhere);
    QVERIFY(report.isEmpty());
    const auto a = Loaded(rec), b = Loaded(back);
    QCOMPARE(Look(*b), Look(*a));
    QCOMPARE(PlainFromRichRecord(back), PlainFromRichRecord(rec));
    // Once through, the HTML is stable.
    QCOMPARE(HtmlFromRichRecord(back, files, report, kWhere), html);
}

void TstHtmlRich::spacesAndBreaksSurvive()
{
    TReport report;
    QList<TEmbeddedFile> files;
    const QString text = QStringLiteral("  два пробела\tтаб  \n\nпосле пустой\nконец строки") + QChar(QChar::LineSeparator);
    QString withBreak = text;
    QTextDocument doc;
    QTextCursor c(&doc);
    const QStringList lines = withBreak.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (i)
            c.insertBlock();
        c.insertText(lines[i]);
    }
    c.insertText(QStringLiteral("x") + QChar(QChar::LineSeparator) + QStringLiteral("y"));
    const QByteArray rec = SaveRecord(doc);
    const QString html = HtmlFromRichRecord(rec, files, report, kWhere);
    const auto back = Loaded(RichRecordFromHtml(html, files, report, kWhere));
    QCOMPARE(back->toRawText(), Loaded(rec)->toRawText());
    QVERIFY(report.isEmpty());
}

void TstHtmlRich::picturesBothWays()
{
    const QImage red = Picture(7, 5, qRgb(200, 0, 0), qRgb(0, 90, 10));
    const QImage blue = Picture(4, 9, qRgb(0, 0, 220), qRgb(250, 250, 250));
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Рисунок "));
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(PictureObject(red, 1000, 500)));
    c.insertText(QStringLiteral(" и ещё "));
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(PictureObject(blue)));
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(PictureObject(red, 1000, 500)));
    const QByteArray rec = SaveRecord(doc);

    TReport report;
    QList<TEmbeddedFile> files;
    const QString html = HtmlFromRichRecord(rec, files, report, kWhere);
    QVERIFY(report.isEmpty());
    // The same picture twice is one file.
    QCOMPARE(files.size(), 2);
    QCOMPARE(files[0].Name, QStringLiteral("image1.png"));
    QVERIFY(files[0].Data.startsWith("\x89PNG"));
    QCOMPARE(html.count(QStringLiteral("src=\"@@PLUGINFILE@@/image1.png\"")), 2);
    QCOMPARE(html.count(QStringLiteral("src=\"@@PLUGINFILE@@/image2.png\"")), 1);
    QVERIFY(html.contains(QStringLiteral("width=\"%1\" height=\"%2\"").arg(HmmToPx(1000)).arg(HmmToPx(500))));

    const QByteArray back = RichRecordFromHtml(html, files, report, kWhere);
    QVERIFY(report.isEmpty());
    const auto loaded = Loaded(back);
    const QList<TRichObject> objects = Objects(*loaded);
    QCOMPARE(objects.size(), 3);
    QCOMPARE(objects[0].clsid, StaticPictureClsid());
    QCOMPARE(DecodeStoragePicture(objects[0].storage).convertToFormat(QImage::Format_RGB32), red);
    QCOMPARE(DecodeStoragePicture(objects[1].storage).convertToFormat(QImage::Format_RGB32), blue);
    QCOMPARE(objects[1].width, PxToHmm(4));
    QCOMPARE(qAbs(objects[0].width - 1000) <= 30, true);
    QCOMPARE(PlainFromRichRecord(back), QStringLiteral("Рисунок  и ещё "));

    // From the second round on the files are byte for byte the same.
    QList<TEmbeddedFile> again;
    const QString html2 = HtmlFromRichRecord(back, again, report, kWhere);
    QCOMPARE(html2, html);
    QCOMPARE(again.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(again[i].Data, files[i].Data);

    // A picture named as the platform's editor names it, with escapes, and one in a data: URL.
    const QList<TEmbeddedFile> named{{QStringLiteral("схема 1.png"), Png(blue)}};
    const QString theirs = QStringLiteral("<p><img src=\"@@PLUGINFILE@@/%D1%81%D1%85%D0%B5%D0%BC%D0%B0%201.png\" "
                                          "width=\"8\" alt=\"схема\"> "
                                          "<img src=\"data:image/png;base64,%1\"></p>")
                               .arg(QString::fromLatin1(Png(red).toBase64()));
    const auto two = Loaded(RichRecordFromHtml(theirs, named, report, kWhere));
    QVERIFY2(report.isEmpty(), qPrintable(report.Lines.join('\n')));
    const QList<TRichObject> got = Objects(*two);
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].width, PxToHmm(8));
    QCOMPARE(got[0].height, PxToHmm(18));   // one size given: proportions kept
    QCOMPARE(DecodeStoragePicture(got[1].storage).convertToFormat(QImage::Format_RGB32), red);
}

void TstHtmlRich::picturesThatCannotComeIn()
{
    TReport report;
    const QList<TEmbeddedFile> files{{QStringLiteral("broken.png"), QByteArray("\x89PNG not really")},
                                     {QStringLiteral("ok.png"), Png(Picture(3, 3, qRgb(1, 2, 3), qRgb(4, 5, 6)))}};
    // A picture wider than any screen: the header alone says so, nothing is decoded.
    QImage wide(21000, 1, QImage::Format_Mono);
    wide.fill(0);
    QImage square(5001, 5001, QImage::Format_Mono);
    square.fill(0);
    const QList<TEmbeddedFile> huge{{QStringLiteral("wide.png"), Png(wide)}, {QStringLiteral("square.png"), Png(square)}};
    const QString html = QStringLiteral(
        "<p>a<img src=\"@@PLUGINFILE@@/missing.png\">b<img src=\"@@PLUGINFILE@@/broken.png\">"
        "c<img src=\"http://example.invalid/x.png\">d<img src=\"file:///etc/passwd\">"
        "e<img src=\"@@PLUGINFILE@@/ok.png\">f</p>"
        "<p style=\"background-image:url(http://example.invalid/bg.png)\">g</p>");
    const auto doc = Loaded(RichRecordFromHtml(html, files, report, kWhere));
    QCOMPARE(Objects(*doc).size(), 1);
    QCOMPARE(doc->toPlainText().remove(QChar(QChar::ObjectReplacementCharacter)), QStringLiteral("abcdef\ng"));
    QVERIFY(ReportHas(report, QStringLiteral("Вопрос 1: рисунок «@@PLUGINFILE@@/missing.png» не найден среди вложенных файлов")));
    QVERIFY(ReportHas(report, QStringLiteral("рисунок «@@PLUGINFILE@@/broken.png» не удалось прочитать")));
    QVERIFY(ReportHas(report, QStringLiteral("«http://example.invalid/x.png» не вложен в файл")));
    QVERIFY(ReportHas(report, QStringLiteral("«file:///etc/passwd» не вложен в файл")));
    QCOMPARE(report.Lines.size(), 4);

    TReport big;
    const auto none = Loaded(RichRecordFromHtml(QStringLiteral("<img src=\"@@PLUGINFILE@@/wide.png\">"), huge, big, kWhere));
    QVERIFY(Objects(*none).isEmpty());
    QVERIFY(ReportHas(big, QStringLiteral("слишком велик (21000×1 точек)")));
    RichRecordFromHtml(QStringLiteral("<img src=\"@@PLUGINFILE@@/square.png\">"), huge, big, kWhere);
    QVERIFY(ReportHas(big, QStringLiteral("слишком велик (5001×5001 точек)")));

    TReport table;
    const QByteArray t = RichRecordFromHtml(QStringLiteral("<table><tr><td>x1</td><td>x2</td></tr></table>"), {}, table, kWhere);
    QCOMPARE(PlainFromRichRecord(t), QStringLiteral("x1\nx2"));
    QVERIFY(ReportHas(table, QStringLiteral("таблица записана абзацами")));
}

void TstHtmlRich::otherObjectsOnExport()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("файл: "));
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)),
                 ObjectFormat(PackageObject(QStringLiteral("задание.txt"), QByteArray("12345"))));
    TRichObject unknown;
    unknown.clsid = QByteArray(16, '\x11');
    unknown.storage = BuildStorage(unknown.clsid, {{QByteArray("Data"), QByteArray("xyz")}});
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(unknown));
    TReport report;
    QList<TEmbeddedFile> files;
    const QString html = HtmlFromRichRecord(SaveRecord(doc), files, report, kWhere);
    // The package shows as its icon, so that is what goes out; the other cannot be drawn.
    QCOMPARE(files.size(), 1);
    QCOMPARE(html.count(QStringLiteral("<img")), 1);
    QCOMPARE(report.Lines.size(), 2);
    QVERIFY(ReportHas(report, QStringLiteral("записан рисунком, как он показан")));
    QVERIFY(ReportHas(report, QStringLiteral("нельзя записать рисунком, пропущен")));
}

void TstHtmlRich::onePictureManyReferences()
{
    const QImage img = Picture(40, 30, qRgb(1, 2, 3), qRgb(200, 100, 0));
    const QList<TEmbeddedFile> files{{QStringLiteral("p.png"), Png(img)}};
    const QString one = QStringLiteral("<img src=\"@@PLUGINFILE@@/p.png\">");
    const QString dataUrl = QStringLiteral("<img src=\"data:image/png;base64,%1\">").arg(QString::fromLatin1(Png(img).toBase64()));
    TImportPictures pictures;
    TReport report;
    const auto doc = Loaded(RichRecordFromHtml(one.repeated(10) + dataUrl.repeated(5), files, report, kWhere, &pictures));
    QCOMPARE(Objects(*doc).size(), 15);
    // The same bytes, attached or in a data: URL, are decoded once for the whole import.
    RichRecordFromHtml(one, files, report, kWhere, &pictures);
    QCOMPARE(pictures.decoded(), 1);
    QCOMPARE(pictures.used(), 16 * PictureRecordBytes(img.size()));
    QVERIFY(report.isEmpty());

    // Every reference counts: the one that would pass the budget stops the import.
    TImportPictures small(3 * PictureRecordBytes(img.size()));
    RichRecordFromHtml(one.repeated(3), files, report, kWhere, &small);
    QVERIFY_THROWS_EXCEPTION(EPictureBudget, RichRecordFromHtml(one, files, report, kWhere, &small));
    QCOMPARE(small.decoded(), 1);
    // A picture too large to come in is decoded never and charged nothing.
    QImage square(5001, 5001, QImage::Format_Mono);
    square.fill(0);
    TImportPictures none(1);
    RichRecordFromHtml(QStringLiteral("<img src=\"@@PLUGINFILE@@/s.png\">").repeated(3),
                       {{QStringLiteral("s.png"), Png(square)}}, report, kWhere, &none);
    QCOMPARE(none.used(), 0);
    // Without a store (answers) pictures are left out unread.
    TReport answer;
    QVERIFY(Objects(*Loaded(RichRecordFromHtml(one, files, answer, kWhere, nullptr))).isEmpty());
}

void TstHtmlRich::deepHtmlFlattened()
{
    QString html;
    for (int i = 0; i < 2000; ++i)
        html += QStringLiteral("<table><tr><td>%1").arg(i % 10);
    TReport report;
    const QString text = PlainFromRichRecord(RichRecordFromHtml(html, {}, report, kWhere)).remove(QLatin1Char('\n'));
    QCOMPARE(text.size(), 2000);
    QVERIFY(text.startsWith(QStringLiteral("0123456789")));
    QVERIFY(ReportHas(report, QStringLiteral("Вопрос 1: HTML вложен глубже 64 уровней")));
}

QTEST_MAIN(TstHtmlRich)
#include "tst_HtmlRich.moc"
