// The demo test through every exchange format and back: each text a format
// carries comes back as it was.
#include <QtTest>

#include "HtmlRich.h"
#include "Interchange.h"
#include "QuizEngineCommon.h"

using namespace Interchange;

namespace {

QString Text(const QByteArray &record)
{
    return PlainFromRichRecord(record).trimmed();
}

QString Comment(const TNQuestion &q)
{
    return q.Comment ? Text(*q.Comment) : QString();
}

int Right(const TNQuestion &q)
{
    return int(q.RightMarks.left(q.Variants.size()).count(QLatin1Char('!')));
}

// What each format writes of the test, in order.
bool Carried(TFormat f, const TNQuestion &q)
{
    switch (f) {
    case TFormat::Gift: return !q.IsInformation() || q.HasTitle || !Text(q.Body).isEmpty();
    case TFormat::Moodle: return q.IsInformation() || (q.Variants.size() >= 2 && Right(q) > 0);
    case TFormat::Aiken: return !q.IsInformation() && q.Variants.size() >= 2 && Right(q) == 1;
    case TFormat::Unknown: break;
    }
    return false;
}

} // namespace

class TstInterchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void demoTestKeepsEveryText_data();
    void demoTestKeepsEveryText();
};

void TstInterchange::demoTestKeepsEveryText_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("gift") << int(TFormat::Gift);
    QTest::newRow("moodle") << int(TFormat::Moodle);
    QTest::newRow("aiken") << int(TFormat::Aiken);
}

void TstInterchange::demoTestKeepsEveryText()
{
    QFETCH(int, format);
    const TFormat f = TFormat(format);
    const QString demo = QStringLiteral(QE_BINARY_DIR "/examples/demo.qe2");
    if (!QFile::exists(demo))
        QSKIP("the demo test is made by the build: build the whole tree first");
    TTestInfo info;
    TQuestionList test;
    QVERIFY(LoadTestFromFile(demo, info, test).Ok);
    TQuestionList expected;
    for (const TQuestionPtr &q : test)
        if (Carried(f, *q))
            expected.push_back(q);
    QVERIFY(expected.size() >= 2);

    TReport report;
    const QByteArray file = ExportQuestions(test, f, report);
    const TImportResult back = ImportQuestions(file, f);
    QVERIFY2(back.Ok, qPrintable(back.Error));
    QCOMPARE(back.Questions.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TNQuestion &a = *expected[i], &b = *back.Questions[i];
        QCOMPARE(b.Variants, a.Variants);
        QCOMPARE(b.RightMarks, a.RightMarks.left(a.Variants.size()));
        if (f == TFormat::Aiken) {
            // One line of text, nothing else.
            QCOMPARE(Text(b.Body), Text(a.Body).split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' ')).simplified());
            continue;
        }
        QCOMPARE(Text(b.Body), Text(a.Body));
        QCOMPARE(b.Title, a.HasTitle ? a.Title.simplified() : QString());
        if (f == TFormat::Moodle || !a.IsInformation())
            QCOMPARE(Comment(b), Comment(a));
    }
    // What was read writes a file that reads and writes the same again (the
    // first write already left behind what the format cannot hold).
    TReport again;
    const QByteArray second = ExportQuestions(back.Questions, f, again);
    QCOMPARE(ExportQuestions(ImportQuestions(second, f).Questions, f, again), second);
}

QTEST_MAIN(TstInterchange)
#include "tst_Interchange.moc"
