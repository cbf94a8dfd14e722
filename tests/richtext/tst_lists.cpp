// List markers: lists that do not start at 1 show their own numbers.
#include "testutil_rich.h"

#include "MJvRichedit.h"
#include "RichLists.h"
#include "RichRecord.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QtTest>

using namespace RichTest;
using namespace RichText;

namespace {

// The "\pntext" markers the rich edit wrote for each list paragraph.
QStringList WrittenMarkers(const QByteArray &rtf)
{
    QStringList out;
    static const QRegularExpression re(QStringLiteral(R"(\{\\pntext\\f\d+ ([^\\]*)\\tab\})"));
    auto it = re.globalMatch(QString::fromLatin1(rtf));
    while (it.hasNext())
        out << it.next().captured(1);
    return out;
}

QStringList ShownMarkers(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.textList())
            out << ListMarkerText(b);
    return out;
}

QImage Render(QTextDocument &doc, bool ownMarkers)
{
    doc.setTextWidth(300);
    QImage img(300, int(doc.size().height()) + 1, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    doc.drawContents(&p);
    if (ownMarkers)
        DrawListMarkers(p, doc, QRectF());
    return img;
}

// Set QE_SAVE_RENDER to a folder to look at what the tests drew.
void SaveForViewing(const QImage &img, const QByteArray &name)
{
    const QString dir = qEnvironmentVariable("QE_SAVE_RENDER");
    if (!dir.isEmpty())
        img.save(dir + QLatin1Char('/') + QString::fromLatin1(name));
}

QByteArray ListRtf(const char *kind, int start, const char *before, const char *after, const char *para = "")
{
    return QByteArray("{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
                      "\\viewkind4\\uc1\\pard\\f0\\fs24 head\\par\\pard{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart") +
           QByteArray::number(start) + '\\' + kind + "{\\pntxtb " + before + "}{\\pntxta " + after +
           "}}\\fi-360\\li720" + para + " one\\par two\\par three\\par\\pard end\\par}";
}

bool IsInk(QRgb c)
{
    return qGray(c) < 128;
}

// Horizontal extent of the ink in rows [top, bottom) and columns [0, right); empty when there is none.
QPair<int, int> InkColumns(const QImage &img, int top, int bottom, int right)
{
    int first = -1, last = -1;
    for (int y = std::max(top, 0); y < std::min(bottom, img.height()); ++y)
        for (int x = 0; x < std::min(right, img.width()); ++x)
            if (IsInk(img.pixel(x, y))) {
                if (first < 0 || x < first)
                    first = x;
                last = std::max(last, x);
            }
    return {first, last};
}

} // namespace

class TestLists : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void corpusMarkers_data()
    {
        QTest::addColumn<QString>("name");
        const QDir dir(CorpusDir());
        for (const QString &f : dir.entryList({QStringLiteral("*num*.rtf")}))
            QTest::newRow(qPrintable(f)) << dir.filePath(f);
        QVERIFY(dir.entryList({QStringLiteral("*num*.rtf")}).size() >= 4);
    }
    void corpusMarkers()
    {
        QFETCH(QString, name);
        const QByteArray rtf = ReadFile(name);
        const QStringList expected = WrittenMarkers(rtf);
        QVERIFY(!expected.isEmpty());
        QTextDocument doc;
        ReadRtf(rtf, doc);
        QCOMPARE(ShownMarkers(doc), expected);
    }

    void markerStyles_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("period") << ListRtf("pndec", 5, "", ".") << QStringList{"5.", "6.", "7."};
        QTest::newRow("paren") << ListRtf("pndec", 9, "", ")") << QStringList{"9)", "10)", "11)"};
        QTest::newRow("parens") << ListRtf("pndec", 5, "(", ")") << QStringList{"(5)", "(6)", "(7)"};
        QTest::newRow("plain") << ListRtf("pndec", 0, "", "") << QStringList{"0", "1", "2"};
        QTest::newRow("letters") << ListRtf("pnlcltr", 25, "", ".") << QStringList{"y.", "z.", "aa."};
        QTest::newRow("roman") << ListRtf("pnucrm", 3, "(", ")") << QStringList{"(III)", "(IV)", "(V)"};
        QTest::newRow("from one") << ListRtf("pnlcrm", 1, "", ")") << QStringList{"i)", "ii)", "iii)"};
    }
    // Only lists Qt would miscount are drawn by us; what is written stays the same.
    void markerStyles()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, expected);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        QCOMPARE(ShownMarkers(doc), expected);
        const QTextList *list = doc.begin().next().textList();
        QVERIFY(list);
        const bool own = list->format().style() == QTextListFormat::ListStyleUndefined;
        QCOMPARE(own, QTest::currentDataTag() != QByteArray("from one"));
        if (!own)
            QCOMPARE(list->itemText(doc.begin().next()), expected.first());
        QTextDocument again;
        ReadRtf(WriteRtf(doc), again);
        QCOMPARE(ShownMarkers(again), expected);
    }

    void placementMatchesQt_data()
    {
        QTest::addColumn<QByteArray>("para");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("left") << QByteArray() << false;
        QTest::newRow("centred") << QByteArray("\\qc") << false;
        QTest::newRow("right") << QByteArray("\\qr") << false;
        QTest::newRow("justified") << QByteArray("\\qj") << false;
        QTest::newRow("right to left") << QByteArray("\\ri1440") << true;
    }
    // Our markers sit where Qt draws its own: a list from 1 drawn both ways is identical,
    // whatever the paragraphs' alignment and direction.
    void placementMatchesQt()
    {
        QFETCH(QByteArray, para);
        QFETCH(bool, rightToLeft);
        const QByteArray rtf = ListRtf("pndec", 1, "", ".", para.constData());
        QTextDocument native;
        ReadRtf(rtf, native);
        QTextDocument own;
        ReadRtf(rtf, own);
        if (rightToLeft) {
            for (QTextDocument *d : {&native, &own}) {
                QTextCursor c(d);
                c.select(QTextCursor::Document);
                QTextBlockFormat bf;
                bf.setLayoutDirection(Qt::RightToLeft);
                c.mergeBlockFormat(bf);
            }
        }
        QTextList *list = own.begin().next().textList();
        QTextListFormat lf = list->format();
        lf.setStyle(QTextListFormat::ListStyleUndefined);
        list->setFormat(lf);
        const QImage a = Render(native, false);
        const QImage bare = Render(own, false);
        const QImage b = Render(own, true);
        QVERIFY(a != bare);
        const QByteArray tag = QByteArray(QTest::currentDataTag()).replace(' ', '_');
        SaveForViewing(a, "list_native_" + tag + ".png");
        SaveForViewing(b, "list_own_" + tag + ".png");
        QCOMPARE(b, a);
    }

    void wideMarkersSitNextToText_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("markers");
        QTest::newRow("upper roman centred")
            << ListRtf("pnucrm", 98, "", ")", "\\qc") << QStringList{"XCVIII)", "XCIX)", "C)"};
        QTest::newRow("lower roman centred")
            << ListRtf("pnlcrm", 87, "(", ")", "\\qc") << QStringList{"(lxxxvii)", "(lxxxviii)", "(lxxxix)"};
        QTest::newRow("upper roman right")
            << ListRtf("pnucrm", 88, "", ".", "\\qr") << QStringList{"LXXXVIII.", "LXXXIX.", "XC."};
        QTest::newRow("roman from one centred")
            << ListRtf("pnucrm", 1, "", ")", "\\qc") << QStringList{"I)", "II)", "III)"};
        QTest::newRow("letters centred")
            << ListRtf("pnucltr", 700, "", ".", "\\qc") << QStringList{"ZX.", "ZY.", "ZZ."};
        QTest::newRow("arabic centred")
            << ListRtf("pndec", 9998, "", "", "\\qc") << QStringList{"9998", "9999", "10000"};
        QTest::newRow("arabic from one centred")
            << ListRtf("pndec", 1, "", ".", "\\qc") << QStringList{"1.", "2.", "3."};
    }
    // In the control (the player's view too) each marker ends a space before its
    // paragraph's text, however wide the number and whoever draws it.
    void wideMarkersSitNextToText()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, markers);
        TMJvRichEdit edit;
        edit.resize(480, 160);
        edit.setFrameStyle(QFrame::NoFrame);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        edit.LoadRichFromBytes(SaveRecord(doc));
        edit.SetReadOnly(true);
        QCOMPARE(ShownMarkers(*edit.document()), markers);
        const QImage shown = edit.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QByteArray tag = QByteArray(QTest::currentDataTag()).replace(' ', '_');
        SaveForViewing(edit.grab().toImage(), "list_wide_" + tag + ".png");

        int row = 0;
        for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next()) {
            if (!b.textList())
                continue;
            const QTextLine line = b.layout()->lineAt(0);
            const QRectF text = line.naturalTextRect().translated(b.layout()->position());
            const int textLeft = int(text.left());
            QVERIFY2(textLeft > 100, "the centred or right-aligned text stands well inside the control");
            QFont font(b.charFormat().font(), edit.viewport());
            const QFontMetricsF fm(font);
            const qreal space = fm.horizontalAdvance(QLatin1Char(' '));
            const qreal width = fm.horizontalAdvance(markers[row]);
            const auto [inkLeft, inkRight] = InkColumns(shown, int(text.top()), int(text.bottom()), textLeft);
            const QByteArray where = markers[row].toUtf8() + " text at " + QByteArray::number(textLeft) +
                                     ", marker ink " + QByteArray::number(inkLeft) + ".." + QByteArray::number(inkRight);
            QVERIFY2(inkLeft >= 0, where.constData());
            QVERIFY2(inkRight < textLeft - space + 1 && inkRight > textLeft - 2 * space - 2, where.constData());
            QVERIFY2(inkLeft >= textLeft - space - width - 2, where.constData());
            ++row;
        }
        QCOMPARE(row, 3);
    }

    // The control (also the player's read-only view) paints the markers.
    void controlShowsStartNumber()
    {
        TMJvRichEdit edit;
        edit.resize(320, 200);
        edit.setFrameStyle(QFrame::NoFrame);
        QTextDocument doc;
        ReadRtf(ListRtf("pndec", 5, "", "."), doc);
        edit.LoadRichFromBytes(SaveRecord(doc));
        edit.SetReadOnly(true);
        const QImage shown = edit.grab().toImage();

        // the same document drawn by hand with the marker text in place
        QTextDocument *d = edit.document()->clone();
        QImage expected(shown.size(), QImage::Format_RGB32);
        expected.fill(edit.palette().color(QPalette::Base));
        {
            QPainter p(&expected);
            p.setPen(edit.palette().color(QPalette::Text));
            d->setTextWidth(edit.viewport()->width());
            d->drawContents(&p);
            DrawListMarkers(p, *d, QRectF());
        }
        const QImage bare = [&] {
            QImage img(shown.size(), QImage::Format_RGB32);
            img.fill(edit.palette().color(QPalette::Base));
            QPainter p(&img);
            d->drawContents(&p);
            return img;
        }();
        delete d;
        SaveForViewing(shown, "list_from_5.png");
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), expected);
        QVERIFY(shown.convertToFormat(QImage::Format_RGB32) != bare);
        QCOMPARE(edit.Lines().Get(1), QStringLiteral("one"));
        QVERIFY(SaveRecordToRtfContains(edit));
    }

    // Scrolled down a long list, the markers move with their paragraphs.
    void scrolledControlKeepsMarkersInPlace()
    {
        QByteArray rtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\\pard\\f0\\fs24 "
                       "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart5\\pnlcrm{\\pntxta )}}\\fi-360\\li720 ");
        for (int i = 0; i < 60; ++i)
            rtf += "item " + QByteArray::number(i) + "\\par ";
        rtf += "}";
        TMJvRichEdit edit;
        edit.resize(240, 150);
        edit.setFrameStyle(QFrame::NoFrame);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        edit.LoadRichFromBytes(SaveRecord(doc));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.verticalScrollBar()->setValue(333);
        const int scroll = edit.verticalScrollBar()->value();
        QVERIFY(scroll > 0);
        const QImage shown = edit.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);

        std::unique_ptr<QTextDocument> d(edit.document()->clone());
        d->setTextWidth(edit.viewport()->width());
        QImage expected(shown.size(), QImage::Format_RGB32);
        expected.fill(edit.palette().color(QPalette::Base));
        QPainter p(&expected);
        p.setPen(edit.palette().color(QPalette::Text));
        p.translate(0, -scroll);
        const QRectF clip(0, scroll, shown.width(), shown.height());
        d->drawContents(&p, clip);
        DrawListMarkers(p, *d, QRectF());
        p.end();
        SaveForViewing(shown, "list_scrolled.png");
        QCOMPARE(shown, expected);
    }

private:
    static bool SaveRecordToRtfContains(TMJvRichEdit &edit)
    {
        const QByteArray rec = edit.SaveRichToBytes();
        return rec.contains("\\pnstart5") && rec.contains("\\pndec");
    }
};

QTEST_MAIN(TestLists)
#include "tst_lists.moc"
