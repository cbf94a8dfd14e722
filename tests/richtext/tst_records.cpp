// The content record, embedded objects and pictures, the control's lines view.
#include "testutil_rich.h"

#include "MJvRichedit.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace RichTest;
using namespace RichText;

namespace {

quint32 Le32(const QByteArray &b, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Bytes of one stream as listed in a corpus *.objects.txt.
QByteArray CorpusStreamBytes(const QString &objectsFile, const QString &stream)
{
    const QStringList lines = QString::fromUtf8(ReadFile(objectsFile)).split(QLatin1Char('\n'));
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].contains(QLatin1String("stream")) && lines[i].contains(QLatin1Char('"') + stream + QLatin1Char('"')))
            return QByteArray::fromHex(lines[i + 1].section(QLatin1String("bytes:"), 1).toLatin1().replace(' ', ""));
    return {};
}

QByteArray StreamOf(const QByteArray &storage, const QString &name)
{
    for (const auto &s : StorageStreams(storage))
        if (s.first == name)
            return s.second;
    return {};
}

QImage TestImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 15 % 256, y * 20 % 256, (x + y) % 2 ? 200 : 30));
    return img;
}

QString ErrorText(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ERichEditError &e) {
        return e.text();
    }
    return QString();
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyControlSavesRtfOnly();
    void twoPicturesKeepTheirPlaces();
    void controlCharactersKeepPositions();
    void failuresKeepWhatWasLoaded();
    void readOnlyClearsResizableFlag();
    void insertedPictureIsStoredLikeWindows();
    void corpusPictureIsDrawn();
    void unknownObjectSurvivesAndDraws();
    void storageKindsDecode();
    void linesView();
    void plainTextRecord();
    void writerEscapesAndEncodes();
    void readerCodePagesAndPictures();
    void zoomScalesShownSizesOnly();
    void paragraphAttributesRoundTrip();
    void pastedContentIsWritable();
    void pictureResizesByItsHandle();
    void loadInsideFrozenParentRedrawsLater();
};

void TestRecords::emptyControlSavesRtfOnly()
{
    TMJvRichEdit ed;
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    ed.SaveRichToStream(buf);
    const QByteArray rec = buf.data();
    QVERIFY(rec.size() > 4);
    QCOMPARE(qsizetype(Le32(rec, 0)), rec.size() - 4);
    QVERIFY(rec.mid(4).startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl"));
    QVERIFY(rec.endsWith(QByteArray("}\r\n", 3) + '\0'));
    ed.setPlainText(QStringLiteral("something"));
    buf.seek(0);
    ed.LoadRichFromStream(buf);
    QCOMPARE(ed.toPlainText(), QString());
    QCOMPARE(ed.Lines().Count(), 0);
}

void TestRecords::twoPicturesKeepTheirPlaces()
{
    TMJvRichEdit ed;
    ed.setPlainText(QStringLiteral("Первая строка\nВторая: "));
    ed.moveCursor(QTextCursor::End);
    QVERIFY(ed.InsertPicture(TestImage(16, 12)));
    ed.textCursor().insertText(QStringLiteral(" и "));
    QVERIFY(ed.InsertPicture(TestImage(32, 20)));
    ed.textCursor().insertText(QStringLiteral(" конец"));
    const QString text = ed.toPlainText();
    const QByteArray rec = ed.SaveRichToBytes();
    const QList<QByteArray> objs = ObjectRecords(rec);
    QCOMPARE(objs.size(), 2);
    QCOMPARE(int(Le32(objs[0], 12)), int(text.indexOf(QChar(QChar::ObjectReplacementCharacter))));
    QCOMPARE(int(Le32(objs[1], 12)), int(text.lastIndexOf(QChar(QChar::ObjectReplacementCharacter))));
    QCOMPARE(Le32(objs[0], 32), 423u);
    QCOMPARE(Le32(objs[0], 36), 317u);
    QCOMPARE(Le32(objs[1], 32), 846u);
    QCOMPARE(Le32(objs[1], 36), 529u);

    TMJvRichEdit back;
    back.LoadRichFromBytes(rec);
    QCOMPARE(back.toPlainText(), text);
    QCOMPARE(back.Lines().Get(1), QStringLiteral("Вторая: \uFFFC и \uFFFC конец"));
    QCOMPARE(ObjectRecords(back.SaveRichToBytes()), objs);
}

// Every character costs one position in the RTF too, or objects after it move.
void TestRecords::controlCharactersKeepPositions()
{
    TMJvRichEdit ed;
    ed.textCursor().insertText(QStringLiteral("a\u000Bb\u000Cc\u0001d"));
    QVERIFY(ed.InsertPicture(TestImage(4, 4)));
    ed.textCursor().insertText(QStringLiteral("end"));
    const QByteArray rec = ed.SaveRichToBytes();
    TMJvRichEdit back;
    back.LoadRichFromBytes(rec);
    QCOMPARE(back.document()->characterCount(), ed.document()->characterCount());
    QCOMPARE(back.toPlainText().indexOf(QChar(QChar::ObjectReplacementCharacter)), 7);
    QVERIFY(back.toPlainText().endsWith(QStringLiteral("\uFFFCend")));
    QCOMPARE(ObjectRecords(back.SaveRichToBytes()), ObjectRecords(rec));
    // a vertical tab is the rich edit's line break
    QCOMPARE(ed.Lines().Count(), 2);
    QCOMPARE(back.Lines().Count(), 2);
    QCOMPARE(back.Lines().Get(0), QStringLiteral("a"));
    QTextDocument doc;
    ReadRtf("{\\rtf1 x\\u11?y\\'0bz}", doc);
    QCOMPARE(DocumentLines(doc), (QStringList{"x", "y", "z"}));
}

void TestRecords::failuresKeepWhatWasLoaded()
{
    const QByteArray good = RichRecord::FromPlainText(QStringLiteral("текст вопроса"));
    TMJvRichEdit ed;
    // what follows the RTF is not an object record
    QCOMPARE(ErrorText([&] { ed.LoadRichFromBytes(good + "XXXX0000000000000000"); }), kBadStreamFormat);
    QCOMPARE(ed.toPlainText(), QStringLiteral("текст вопроса"));
    // an object record whose storage runs past the end
    QByteArray rec = ed.SaveRichToBytes();
    QByteArray obj("BDOC");
    obj.append(QByteArray("\x01\x00\x00\x00\xff\xff\xff\x7f\x00\x00\x00\x00", 12));
    obj.append(36, '\0');
    QCOMPARE(ErrorText([&] { ed.LoadRichFromBytes(rec + obj); }), kBadStreamFormat);
    QCOMPARE(ed.toPlainText(), QStringLiteral("текст вопроса"));
    // a record shorter than its RTF length: the RTF that is there loads
    QByteArray cut = good.left(good.size() - 6);
    QCOMPARE(ErrorText([&] { ed.LoadRichFromBytes(cut); }), kFailedToLoad);
    QVERIFY(ed.toPlainText().startsWith(QStringLiteral("текст")));
    QCOMPARE(ErrorText([&] { ed.LoadRichFromBytes(QByteArray("\x05\x00", 2)); }), kFailedToLoad);
    // a stream that cannot be read is a failure, not an empty text
    ed.LoadRichFromBytes(good);
    QBuffer closed;
    QCOMPARE(ErrorText([&] { ed.LoadRichFromStream(closed); }), kFailedToLoad);
    QCOMPARE(ed.toPlainText(), QStringLiteral("текст вопроса"));
    closed.open(QIODevice::WriteOnly);
    QCOMPARE(ErrorText([&] { ed.LoadRichFromStream(closed); }), kFailedToLoad);
    QCOMPARE(ed.toPlainText(), QStringLiteral("текст вопроса"));
    // an object position beyond the text is put at the end, never over a paragraph mark
    TMJvRichEdit pic;
    pic.setPlainText(QStringLiteral("a\nb"));
    pic.moveCursor(QTextCursor::End);
    pic.InsertPicture(TestImage(4, 4));
    QByteArray moved = pic.SaveRichToBytes();
    const qsizetype objAt = 4 + Le32(moved, 0);
    moved[objAt + 12] = char(1);   // the object claims position 1: the paragraph mark
    TMJvRichEdit back;
    back.LoadRichFromBytes(moved);
    QCOMPARE(back.document()->blockCount(), 2);
    QCOMPARE(back.toPlainText().count(QChar(QChar::ObjectReplacementCharacter)), 1);
}

void TestRecords::readOnlyClearsResizableFlag()
{
    TMJvRichEdit ed;
    ed.InsertPicture(TestImage(8, 8));
    const QByteArray rec = ed.SaveRichToBytes();
    QCOMPARE(Le32(ObjectRecords(rec)[0], 40), kReoResizable);
    TMJvRichEdit player;
    player.SetReadOnly(true);
    player.LoadRichFromBytes(rec);
    QCOMPARE(Le32(ObjectRecords(player.SaveRichToBytes())[0], 40), 0u);
    ed.SetReadOnly(true);
    QCOMPARE(Le32(ObjectRecords(ed.SaveRichToBytes())[0], 40), 0u);
}

void TestRecords::insertedPictureIsStoredLikeWindows()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    const QImage src = TestImage(16, 12);
    QVERIFY(src.save(png, "PNG"));
    TMJvRichEdit ed;
    QVERIFY(ed.InsertPictureFromFile(png));
    QVERIFY(!ed.InsertPictureFromFile(dir.filePath(QStringLiteral("missing.png"))));
    const QByteArray rec = ed.SaveRichToBytes();
    const QByteArray obj = ObjectRecords(rec).value(0);
    QCOMPARE(obj.left(4), QByteArray("BDOC"));
    QCOMPARE(Le32(obj, 4), kDvAspectContent);
    QCOMPARE(obj.mid(16, 16), StaticPictureClsid());
    QCOMPARE(Le32(obj, 32), 423u);
    QCOMPARE(Le32(obj, 36), 317u);
    QCOMPARE(Le32(obj, 40), kReoResizable);
    const QByteArray storage = obj.mid(48);
    QCOMPARE(qsizetype(Le32(obj, 8)), storage.size());
    QCOMPARE(storage.size() % 512, 0);
    const QString objects = CorpusDir() + QStringLiteral("/pictures/pic1_checker24_bitmap.objects.txt");
    QCOMPARE(StreamOf(storage, QStringLiteral("\x01Ole")), CorpusStreamBytes(objects, QStringLiteral("\\x01Ole")));
    QCOMPARE(StreamOf(storage, QStringLiteral("\x01" "CompObj")), CorpusStreamBytes(objects, QStringLiteral("\\x01CompObj")));
    const QByteArray bmp = StreamOf(storage, QStringLiteral("CONTENTS"));
    QVERIFY(bmp.startsWith("BM"));
    QCOMPARE(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32), src);
    QCOMPARE(StorageClassName(storage), QStringLiteral("Picture (Device Independent Bitmap)"));
}

void TestRecords::corpusPictureIsDrawn()
{
    const QImage bmp = QImage(CorpusDir() + QStringLiteral("/pictures/gradient24.bmp")).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!bmp.isNull());
    QTextDocument doc;
    LoadRecord(doc, ReadFile(CorpusDir() + QStringLiteral("/pictures/pic2_gradient24_dib.rec")));
    QImage canvas(400, 200, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        doc.drawContents(&p);
    }
    // the picture is drawn at its record size (846 x 529 = 32 x 20 px) with the bitmap's colours
    const QRgb centre = bmp.pixel(bmp.width() / 2, bmp.height() / 2);
    QRect found;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (canvas.pixel(x, y) == bmp.pixel(0, 0))
                found |= QRect(x, y, 1, 1);
    QVERIFY(!found.isEmpty());
    bool centreSeen = false;
    for (int y = 0; y < canvas.height() && !centreSeen; ++y)
        for (int x = 0; x < canvas.width() && !centreSeen; ++x)
            centreSeen = canvas.pixel(x, y) == centre;
    QVERIFY(centreSeen);
    // all storage kinds of the corpus decode
    for (const QString &f : CorpusFiles(QStringLiteral(".rec"), true)) {
        if (!f.startsWith(QLatin1String("pictures/")))
            continue;
        const QList<QByteArray> objs = ObjectRecords(ReadFile(CorpusDir() + QLatin1Char('/') + f));
        QCOMPARE(objs.size(), 1);
        QVERIFY2(!DecodeStoragePicture(objs[0].mid(48)).isNull(), qPrintable(f));
    }
}

void TestRecords::unknownObjectSurvivesAndDraws()
{
    TRichObject o;
    o.aspect = 4;
    o.clsid = QByteArray("0123456789abcdef");
    o.width = 1000;
    o.height = 500;
    o.flags = 0x10;
    o.user = 77;
    o.storage = QByteArray(1536, '\x5a');   // not a compound file
    QTextDocument doc;
    RegisterObjectHandler(&doc);
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("x"));
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(o));
    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        doc.drawContents(&p);
    }
    QVERIFY(canvas != QImage());
    const QByteArray rec = SaveRecord(doc);
    QTextDocument back;
    LoadRecord(back, rec);
    QCOMPARE(SaveRecord(back), rec);
    const QByteArray obj = ObjectRecords(rec).value(0);
    QCOMPARE(Le32(obj, 4), 4u);
    QCOMPARE(Le32(obj, 44), 77u);
    QCOMPARE(obj.mid(48), o.storage);
}

void TestRecords::storageKindsDecode()
{
    const QImage img = TestImage(6, 5);
    QByteArray bmp;
    {
        QBuffer buf(&bmp);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "BMP");
    }
    const QByteArray dib = bmp.mid(14);
    auto le = [](quint32 v) { QByteArray b; for (int i = 0; i < 4; ++i) b.append(char(v >> (8 * i))); return b; };
    const QByteArray clsid(16, '\x11');
    // a bare DIB in CONTENTS
    QCOMPARE(DecodeStoragePicture(BuildStorage(clsid, {{"CONTENTS", dib}})).convertToFormat(QImage::Format_RGB32), img);
    // a DIB presentation stream
    const QByteArray pres = le(0xFFFFFFFF) + le(8) + le(4) + le(1) + le(0xFFFFFFFF) + le(0) + le(0) + le(6) + le(5) +
                            le(quint32(dib.size())) + dib;
    QCOMPARE(DecodeStoragePicture(BuildStorage(clsid, {{"\x02OlePres000", pres}})).convertToFormat(QImage::Format_RGB32), img);
    // a presentation stream that claims more data than it has
    QVERIFY(DecodeStoragePicture(BuildStorage(clsid, {{"\x02OlePres000", pres.left(pres.size() - 10)}})).isNull());
    // a bitmap in native data
    QCOMPARE(DecodeStoragePicture(BuildStorage(clsid, {{"\x01Ole10Native", le(quint32(bmp.size())) + bmp}}))
                 .convertToFormat(QImage::Format_RGB32), img);
    // anything else is shown by its class name (CompObj user type, else ProgID)
    QByteArray comp = QByteArray(28, '\0') + le(8) + QByteArray("\xd4\xee\xf0\xec\xf3\xeb\xe0", 7) + '\0';
    const QByteArray eq = BuildStorage(clsid, {{"\x01" "CompObj", comp}, {"Equation Native", "xyz"}});
    QVERIFY(DecodeStoragePicture(eq).isNull());
    QCOMPARE(StorageClassName(eq), QStringLiteral("Формула"));
    QByteArray prog = QByteArray(28, '\0') + le(0) + le(0) + le(9) + QByteArray("Paint.1") + QByteArray(2, '\0');
    QCOMPARE(StorageClassName(BuildStorage(clsid, {{"\x01" "CompObj", prog}})), QStringLiteral("Paint.1"));
}

void TestRecords::linesView()
{
    TMJvRichEdit ed;
    ed.setPlainText(QStringLiteral("one\ntwo\n"));
    QCOMPARE(ed.Lines().Count(), 2);
    QCOMPARE(ed.Lines().Get(1), QStringLiteral("two"));
    QCOMPARE(ed.Lines().Get(5), QString());
    ed.moveCursor(QTextCursor::End);
    ed.textCursor().insertText(QStringLiteral("a\u2028b"));
    QCOMPARE(ed.Lines().Count(), 4);
    ed.setPlainText(QString(9000, QLatin1Char('w')));
    QCOMPARE(ed.Lines().Get(0).size(), 8192);
    // edits made while signals are blocked show too
    ed.setPlainText(QStringLiteral("a\nb"));
    QCOMPARE(ed.Lines().Count(), 2);
    {
        const QSignalBlocker block(ed);
        const QSignalBlocker blockDoc(ed.document());
        QTextCursor(ed.document()).insertText(QStringLiteral("q\n"));
    }
    QCOMPARE(ed.Lines().Count(), 3);
    QCOMPARE(ed.Lines().Get(0), QStringLiteral("q"));
    ed.Lines().Clear();
    QCOMPARE(ed.Lines().Count(), 0);
    // lines do not depend on the window's width
    ed.resize(60, 200);
    ed.setPlainText(QStringLiteral("a long line that wraps many times in a narrow window"));
    QCOMPARE(ed.Lines().Count(), 1);
}

void TestRecords::plainTextRecord()
{
    const QByteArray rec = RichRecord::FromPlainText(QStringLiteral("Вопрос\nвторая строка √"));
    QCOMPARE(RichRecord::PlainLines(rec), (QStringList{QStringLiteral("Вопрос"), QStringLiteral("вторая строка √")}));
    QTextDocument doc;
    LoadRecord(doc, rec);
    const FlatDump d = Flatten(Dump(doc));
    QCOMPARE(d.chars[0][QStringLiteral("face")].toString(), QStringLiteral("Times New Roman"));
    QCOMPARE(d.chars[0][QStringLiteral("charset")].toInt(), 204);
    QCOMPARE(d.chars[0][QStringLiteral("size")].toInt(), 12);
    QCOMPARE(RichRecord::PlainLines(RichRecord::FromRtf("{\\rtf1 a\\par b}")), (QStringList{"a", "b"}));
}

void TestRecords::writerEscapesAndEncodes()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("{x}\\ Ж € √ 😀\tend"));
    const QByteArray rtf = WriteRtf(doc);
    QVERIFY(rtf.contains("\\{x\\}\\\\ \\'c6 \\'88 \\u8730? \\u-10179?\\u-8704?\\tab end"));
    QTextDocument back;
    ReadRtf(rtf, back);
    QCOMPARE(back.toPlainText(), doc.toPlainText());
    // a font of another code page encodes with its own bytes
    QTextCharFormat greek;
    greek.setFontFamilies({QStringLiteral("Arial")});
    greek.setProperty(PropCharset, 161);
    c.insertText(QStringLiteral("Ωμέγα"), greek);
    QTextDocument back2;
    ReadRtf(WriteRtf(doc), back2);
    QCOMPARE(back2.toPlainText(), doc.toPlainText());
    QVERIFY(WriteRtf(doc).contains("\\fcharset161 Arial;"));
}

void TestRecords::readerCodePagesAndPictures()
{
    QByteArray png;
    {
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        TestImage(8, 6).save(&buf, "PNG");
    }
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fcharset204 A;}{\\f1\\fcharset238 B;}"
                           "{\\f2\\fcharset161 C;}{\\f3\\fcharset0 D;}{\\f4 E;}}"
                           "\\f0\\'c6\\f1\\'b9\\f2\\'d9\\f3\\'e9\\f4\\'c6"
                           "{\\pict\\pngblip\\picw8\\pich6\\picwgoal1440\\pichgoal720 " + png.toHex() + "}\\par}";
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc).ok);
    QCOMPARE(doc.toPlainText(), QStringLiteral("ЖąΩéЖ\uFFFC"));
    const QByteArray obj = ObjectRecords(SaveRecord(doc)).value(0);
    QCOMPARE(Le32(obj, 32), 2540u);   // 1440 twips = 1 inch
    QCOMPARE(Le32(obj, 36), 1270u);
    QCOMPARE(DecodeStoragePicture(obj.mid(48)).convertToFormat(QImage::Format_RGB32), TestImage(8, 6));
    // and what we write reads back to the same characters in each code page
    QTextDocument back;
    LoadRecord(back, SaveRecord(doc));
    QCOMPARE(back.toPlainText(), doc.toPlainText());
}

void TestRecords::zoomScalesShownSizesOnly()
{
    TMJvRichEdit ed;
    ed.LoadRichFromBytes(ReadFile(CorpusDir() + QStringLiteral("/pictures/pic2_gradient24_dib.rec")));
    const QByteArray before = ed.SaveRichToBytes();
    ed.SetZoom(150);
    QTextCursor c(ed.document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontPointSize(), 18.0);
    QCOMPARE(ed.SaveRichToBytes(), before);
    ed.LoadRichFromBytes(before);   // loading keeps the zoom
    c = QTextCursor(ed.document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontPointSize(), 18.0);
    ed.SetZoom(100);
    QCOMPARE(ed.SaveRichToBytes(), before);
}

void TestRecords::paragraphAttributesRoundTrip()
{
    TMJvRichEdit ed;
    ed.setPlainText(QStringLiteral("one\ntwo\nthree"));
    ed.selectAll();
    TParaAttributes a;
    a.alignment = AlignJustifyValue;
    a.leftIndent = 720;
    a.firstIndent = -360;
    a.rightIndent = 100;
    a.spaceBefore = 60;
    a.spaceAfter = 120;
    a.lineRule = 4;
    a.lineValue = 300;
    a.numbering = NumUcRoman;
    a.numberingStart = 4;
    a.numberingStyle = StyleParens;
    a.numberingTab = 200;
    ed.setParaAttributes(a);
    QCOMPARE(ed.paraAttributes(), a);
    TMJvRichEdit back;
    back.LoadRichFromBytes(ed.SaveRichToBytes());
    back.moveCursor(QTextCursor::End);
    QCOMPARE(back.paraAttributes(), a);
    QCOMPARE(back.document()->blockCount(), 3);
    QVERIFY(ed.SaveRichToBytes().contains("{\\pntext\\f0 (VI)\\tab}"));
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setFontPointSize(14);
    back.selectAll();
    back.mergeCharAttributes(bold);
    QCOMPARE(back.charAttributes().fontPointSize(), 14.0);
    QVERIFY(back.SaveRichToBytes().contains("\\b"));
}

namespace {
class PasteEdit : public TMJvRichEdit {
public:
    using TMJvRichEdit::canInsertFromMimeData;
    using TMJvRichEdit::createMimeDataFromSelection;
    using TMJvRichEdit::insertFromMimeData;
};
} // namespace

void TestRecords::pastedContentIsWritable()
{
    PasteEdit ed;
    QMimeData html;
    html.setHtml(QStringLiteral("<p style='font-family:Comic Sans MS'><b>жирный</b> <span style='color:red'>red</span></p>"));
    html.setText(QStringLiteral("жирный red"));
    QVERIFY(ed.canInsertFromMimeData(&html));
    ed.insertFromMimeData(&html);
    QCOMPARE(ed.toPlainText(), QStringLiteral("жирный red"));
    QTextCursor c(ed.document());
    c.setPosition(2);
    QVERIFY(c.charFormat().fontWeight() != QFont::Bold);   // foreign formats stay out

    QMimeData image;
    image.setImageData(TestImage(10, 10));
    ed.insertFromMimeData(&image);
    QCOMPARE(ObjectRecords(ed.SaveRichToBytes()).size(), 1);

    // our own copies keep their formatting through RTF
    PasteEdit src;
    src.LoadRichFromBytes(ReadFile(CorpusDir() + QStringLiteral("/06_bius.rec")));
    src.selectAll();
    PasteEdit dst;
    std::unique_ptr<QMimeData> copied(src.createMimeDataFromSelection());
    QVERIFY(copied->hasFormat(QStringLiteral("text/rtf")));
    dst.insertFromMimeData(copied.get());
    QCOMPARE(dst.toPlainText(), src.toPlainText());
    QCOMPARE(Flatten(Dump(*dst.document())).chars.size(), Flatten(Dump(*src.document())).chars.size());
    c = QTextCursor(dst.document());
    c.setPosition(8);
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
}

void TestRecords::pictureResizesByItsHandle()
{
    TMJvRichEdit ed;
    ed.resize(300, 200);
    ed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ed));
    QVERIFY(ed.InsertPicture(TestImage(40, 30)));
    QTextCursor at(ed.document());
    const QRect caret = ed.cursorRect(at);
    const QPoint centre = caret.topLeft() + QPoint(20, 15);
    QTest::mouseClick(ed.viewport(), Qt::LeftButton, {}, centre);
    const QPoint handle = caret.topLeft() + QPoint(39, 29);
    QTest::mousePress(ed.viewport(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(ed.viewport(), handle + QPoint(40, 30));
    QTest::mouseRelease(ed.viewport(), Qt::LeftButton, {}, handle + QPoint(40, 30));
    const QByteArray obj = ObjectRecords(ed.SaveRichToBytes()).value(0);
    QVERIFY2(Le32(obj, 32) > 1500, qPrintable(QString::number(Le32(obj, 32))));   // 40 px was 1058
    QVERIFY(Le32(obj, 36) > 1000);
    // read-only: no resizing
    ed.SetReadOnly(true);
    const QByteArray before = ed.SaveRichToBytes();
    QTest::mousePress(ed.viewport(), Qt::LeftButton, {}, caret.topLeft() + QPoint(79, 59));
    QTest::mouseMove(ed.viewport(), caret.topLeft() + QPoint(150, 100));
    QTest::mouseRelease(ed.viewport(), Qt::LeftButton, {}, caret.topLeft() + QPoint(150, 100));
    QCOMPARE(ed.SaveRichToBytes(), before);
}

// Regression: loading while the parent window had redrawing switched off left
// the control switched off for good, so the question text was never painted.
void TestRecords::loadInsideFrozenParentRedrawsLater()
{
    QWidget parent;
    auto *edit = new TMJvRichEdit(&parent);
    parent.setUpdatesEnabled(false);
    edit->LoadRichFromBytes(RichRecord::FromPlainText(QStringLiteral("Вопрос")));
    parent.setUpdatesEnabled(true);
    QVERIFY(edit->updatesEnabled());
    QCOMPARE(edit->Lines().Get(0), QStringLiteral("Вопрос"));
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
