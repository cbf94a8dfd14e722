#include <QtTest>

#include "Scoring.h"

namespace {

TQuestionPtr Question(const QString &key, const QString &answer)
{
    auto q = std::make_shared<TNQuestion>();
    for (qsizetype i = 0; i < key.size(); ++i)
        q->Variants << QStringLiteral("вариант %1").arg(i + 1);
    q->RightMarks = key;
    q->UserMarks = answer;
    return q;
}

TQuestionPtr Information()
{
    return std::make_shared<TNQuestion>();
}

} // namespace

class TestScoring : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeQuestionCountsExactAnswersOnly();
    void perVariantCountsAgreeingPositions();
    void unansweredScoresNothingInBothModes();
    void allExactLeavesOnlyInformationItems();
    void keyWithoutCorrectVariantIsNeverExact();
    void informationOnlyTestScoresNothing();
    void formatPercent_data();
    void formatPercent();
};

void TestScoring::wholeQuestionCountsExactAnswersOnly()
{
    const TQuestionPtr info1 = Information(), right = Question("! ! ", "! ! "),
                       oneWrong = Question(" !! ", " !!!"), info2 = Information(),
                       unanswered = Question("!  ", "");
    TQuestionList list{info1, right, oneWrong, info2, unanswered};

    const TRunScore s = ScoreRun(list, CountWholeQuestion | CanViewErrors);
    QCOMPARE(s.Score, quint16(1));
    QCOMPARE(s.PossibleScore, quint16(3));
    QCOMPARE(FormatPercent(s.Score, s.PossibleScore), QStringLiteral("33,33"));
    // What the review shows, in run order.
    QCOMPARE(list, (TQuestionList{info1, oneWrong, info2, unanswered}));
}

void TestScoring::perVariantCountsAgreeingPositions()
{
    // Key: first and third right; ticked: first and second. Positions 1 and 4 agree.
    const TQuestionPtr q = Question("! ! ", "!!  ");
    TQuestionList list{q};
    const TRunScore s = ScoreRun(list, 0);
    QCOMPARE(s.Score, quint16(2));
    QCOMPARE(s.PossibleScore, quint16(4));
    QCOMPARE(FormatPercent(s.Score, s.PossibleScore), QStringLiteral("50,00"));
    QCOMPARE(list, TQuestionList{q});

    // Several questions add up, and the exact one leaves the list.
    const TQuestionPtr exact = Question(" !", " !"), partial = Question("!  ", " ! ");
    TQuestionList two{exact, partial};
    const TRunScore s2 = ScoreRun(two, 0);
    QCOMPARE(s2.Score, quint16(2 + 1));
    QCOMPARE(s2.PossibleScore, quint16(2 + 3));
    QCOMPARE(two, TQuestionList{partial});

    // A damaged answer shorter than the key is compared only as far as it goes.
    TQuestionList shortAnswer{Question("! !", "!")};
    const TRunScore s3 = ScoreRun(shortAnswer, 0);
    QCOMPARE(s3.Score, quint16(1));
    QCOMPARE(s3.PossibleScore, quint16(3));
    QCOMPARE(shortAnswer.size(), size_t(1));
}

void TestScoring::unansweredScoresNothingInBothModes()
{
    for (const quint16 options : {quint16(0), quint16(CountWholeQuestion)}) {
        const TQuestionPtr q = Question("! ! ", "");
        TQuestionList list{q};
        const TRunScore s = ScoreRun(list, options);
        QCOMPARE(s.Score, quint16(0));
        QCOMPARE(s.PossibleScore, quint16(options ? 1 : 4));
        QCOMPARE(list, TQuestionList{q});
    }
}

void TestScoring::allExactLeavesOnlyInformationItems()
{
    for (const quint16 options : {quint16(0), quint16(CountWholeQuestion)}) {
        const TQuestionPtr info = Information();
        TQuestionList list{Question("!!", "!!"), info, Question(" ! ", " ! "), Question("!", "!")};
        const TRunScore s = ScoreRun(list, options);
        QCOMPARE(s.Score, s.PossibleScore);
        QCOMPARE(s.PossibleScore, quint16(options ? 3 : 6));
        QCOMPARE(FormatPercent(s.Score, s.PossibleScore), QStringLiteral("100,00"));
        QCOMPARE(list, TQuestionList{info});
    }
}

void TestScoring::keyWithoutCorrectVariantIsNeverExact()
{
    // No answer can match a key of spaces, since an answer needs a tick.
    for (const quint16 options : {quint16(0), quint16(CountWholeQuestion)}) {
        const TQuestionPtr q = Question("   ", ""), ticked = Question("   ", "  !");
        TQuestionList list{q, ticked};
        const TRunScore s = ScoreRun(list, options);
        QCOMPARE(s.Score, quint16(options ? 0 : 2));
        QCOMPARE(list, (TQuestionList{q, ticked}));
    }
}

void TestScoring::informationOnlyTestScoresNothing()
{
    TQuestionList list{Information(), Information()};
    const TRunScore s = ScoreRun(list, CountWholeQuestion);
    QCOMPARE(s.Score, quint16(0));
    QCOMPARE(s.PossibleScore, quint16(0));
    QCOMPARE(list.size(), size_t(2));
}

void TestScoring::formatPercent_data()
{
    QTest::addColumn<int>("score");
    QTest::addColumn<int>("possible");
    QTest::addColumn<QString>("text");
    QTest::newRow("two thirds") << 2 << 3 << "66,67";
    QTest::newRow("7 of 12") << 7 << 12 << "58,33";
    QTest::newRow("one eighth") << 1 << 8 << "12,50";
    QTest::newRow("half in third decimal up") << 1 << 800 << "0,13";
    QTest::newRow("3/800 up") << 3 << 800 << "0,38";
    QTest::newRow("just under half") << 1 << 801 << "0,12";
    QTest::newRow("all") << 12 << 12 << "100,00";
    QTest::newRow("nothing possible") << 0 << 0 << "0,00";
    QTest::newRow("score without possible") << 3 << 0 << "0,00";
    QTest::newRow("largest") << 65535 << 65535 << "100,00";
    QTest::newRow("grouped") << 65535 << 1 << QStringLiteral("6\u00A0553\u00A0500,00");
}

void TestScoring::formatPercent()
{
    QFETCH(int, score);
    QFETCH(int, possible);
    QFETCH(QString, text);
    QCOMPARE(FormatPercent(quint16(score), quint16(possible)), text);
}

QTEST_GUILESS_MAIN(TestScoring)
#include "tst_Scoring.moc"
