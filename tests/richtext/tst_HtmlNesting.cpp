// HTML from outside is bounded in depth before Qt parses it: what is deeper is
// flattened, its text kept, and ordinary HTML passes unchanged.
#include <QtTest>

#include <QTextDocument>

#include "HtmlNesting.h"

using namespace RichText;

class TstHtmlNesting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ordinaryHtmlUnchanged_data();
    void ordinaryHtmlUnchanged();
    void deepNestingFlattened();
    void tenThousandTablesKeepTheirText();
};

void TstHtmlNesting::ordinaryHtmlUnchanged_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("paragraphs without end tags") << QString(QStringLiteral("<p>a").repeated(500));
    QTest::newRow("list items without end tags") << QStringLiteral("<ul>") + QStringLiteral("<li>x").repeated(500) + QStringLiteral("</ul>");
    QTest::newRow("table cells without end tags")
        << QStringLiteral("<table>") + QStringLiteral("<tr><td>1<td>2").repeated(300) + QStringLiteral("</table>");
    QTest::newRow("void elements") << QStringLiteral("a<br>b<img src=\"x\"><hr>").repeated(300);
    QTest::newRow("quotes and comments")
        << QStringLiteral("<p title=\"<b><b><b>\">x</p><!-- <div><div><div> -->").repeated(100);
    QTest::newRow("nested 64 deep") << QStringLiteral("<div>").repeated(kMaxHtmlDepth) + QStringLiteral("x") +
                                           QStringLiteral("</div>").repeated(kMaxHtmlDepth);
}

void TstHtmlNesting::ordinaryHtmlUnchanged()
{
    QFETCH(QString, html);
    bool flattened = true;
    QCOMPARE(FlattenHtmlNesting(html, kMaxHtmlDepth, &flattened), html);
    QVERIFY(!flattened);
}

void TstHtmlNesting::deepNestingFlattened()
{
    const QString html = QStringLiteral("<b>").repeated(5) + QStringLiteral("x") + QStringLiteral("</b>").repeated(5) +
                         QStringLiteral("<i>y</i>");
    bool flattened = false;
    QCOMPARE(FlattenHtmlNesting(html, 3, &flattened),
             QStringLiteral("<b><b><b>x</b></b></b><i>y</i>"));
    QVERIFY(flattened);
    // Tags left open count as open: no end tag ever lowers the depth again.
    QCOMPARE(FlattenHtmlNesting(QStringLiteral("<span><span><span>z"), 2),
             QStringLiteral("<span><span>z"));
}

void TstHtmlNesting::tenThousandTablesKeepTheirText()
{
    const int n = 10000;
    QString html;
    for (int i = 0; i < n; ++i)
        html += QStringLiteral("<table><tr><td>%1").arg(i % 10);
    for (int i = 0; i < n; ++i)
        html += QStringLiteral("</td></tr></table>");
    bool flattened = false;
    const QString bounded = FlattenHtmlNesting(html, kMaxHtmlDepth, &flattened);
    QVERIFY(flattened);
    QTextDocument doc;
    doc.setHtml(bounded);
    QString digits;
    for (int i = 0; i < n; ++i)
        digits += QString::number(i % 10);
    QString text = doc.toPlainText();
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    QCOMPARE(text, digits);
}

QTEST_MAIN(TstHtmlNesting)
#include "tst_HtmlNesting.moc"
