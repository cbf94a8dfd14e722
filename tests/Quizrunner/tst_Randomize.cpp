// The player's own question and variant shuffles, with a seeded generator.
#include <QtTest>

#include "Clock.h"
#include "Randomize.h"
#include "testutil_Player.h"

namespace {
struct TMessages {
    QStringList list;
    TShowMsg sink() { return [this](const QString &t) { list << t; }; }
};

// The real questions of a list must be distinct and taken from Q1..Qn.
void CheckDistinctReal(const QStringList &texts, int n)
{
    QSet<QString> seen;
    for (const QString &t : texts) {
        QVERIFY2(t.startsWith(u'Q'), qPrintable(t));
        const int k = t.mid(1).toInt();
        QVERIFY(k >= 1 && k <= n);
        QVERIFY2(!seen.contains(t), qPrintable(t));
        seen.insert(t);
    }
}
}  // namespace

class TestRandomize : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QeClock::SeedRandom(20261208); }

    void informationItemsFirstAndSubsetAsked()
    {
        // 10 real questions, two information items stored in the middle, 4 asked.
        TQuestionList list = MakeQuestions(10, {4, 7});
        TTestInfo info = TestHeader(4, false);
        info.IQCount = 2;
        quint32 asked = 10;
        TMessages msgs;
        RandomizeTest(info, list, asked, msgs.sink());
        QVERIFY(msgs.list.isEmpty());
        QCOMPARE(list.size(), std::size_t(6));
        QCOMPARE(Texts(list).mid(0, 2), QStringList({QStringLiteral("I1"), QStringLiteral("I2")}));
        CheckDistinctReal(Texts(list).mid(2), 10);
        QCOMPARE(asked, 4u);
        QCOMPARE(info.RandomCount, quint16(4));
    }

    void allQuestionsWhenCountIsAllOrTooLarge_data()
    {
        QTest::addColumn<int>("randomCount");
        QTest::newRow("0xFFFF") << 0xFFFF;
        QTest::newRow("50 of 10") << 50;
    }
    void allQuestionsWhenCountIsAllOrTooLarge()
    {
        QFETCH(int, randomCount);
        TQuestionList list = MakeQuestions(10);
        const QStringList stored = Texts(list);
        TTestInfo info = TestHeader(quint16(randomCount), false);
        quint32 asked = 10;
        TMessages msgs;
        RandomizeTest(info, list, asked, msgs.sink());
        QVERIFY(msgs.list.isEmpty());
        QCOMPARE(list.size(), std::size_t(10));
        CheckDistinctReal(Texts(list), 10);
        QVERIFY(Texts(list) != stored);
        QCOMPARE(info.RandomCount, quint16(10));
        QCOMPARE(asked, 10u);
    }

    void headerCountsBeyondTheListReportAndKeepItems()
    {
        // A header that announces more real questions than were read must not
        // index past the list: the shuffle reports and the items all survive.
        TQuestionList list = MakeQuestions(3);
        TTestInfo info = TestHeader(0xFFFF, false);
        info.IQCount = 2;
        quint32 asked = 5;
        TMessages msgs;
        RandomizeTest(info, list, asked, msgs.sink());
        QCOMPARE(msgs.list, QStringList({RandomizeTestError2}));
        QCOMPARE(asked, 5u);
        QCOMPARE(list.size(), std::size_t(3));
        CheckDistinctReal(Texts(list), 3);
    }

    void variantsKeepTheirMarks()
    {
        TQuestionList list;
        for (int k = 0; k < 20; ++k)
            list.push_back(MakeQuestion(QStringLiteral("Q"), {QStringLiteral("right1"), QStringLiteral("wrong1"),
                                                             QStringLiteral("right2"), QStringLiteral("wrong2"),
                                                             QStringLiteral("wrong3")},
                                        QStringLiteral("! !  ")));
        list.push_back(MakeQuestion(QStringLiteral("info")));
        list.push_back(MakeQuestion(QStringLiteral("one"), {QStringLiteral("only")}, QStringLiteral("!")));
        TMessages msgs;
        RandomizeVariants(list, msgs.sink());
        QVERIFY(msgs.list.isEmpty());
        int moved = 0;
        for (int k = 0; k < 20; ++k) {
            const TNQuestion &q = *list[k];
            QCOMPARE(q.Variants.size(), 5);
            QCOMPARE(q.RightMarks.size(), 5);
            for (int i = 0; i < 5; ++i)
                QCOMPARE(q.RightMarks[i] == u'!', q.Variants[i].startsWith(QStringLiteral("right")));
            QStringList sorted = q.Variants;
            sorted.sort();
            QCOMPARE(sorted, QStringList({QStringLiteral("right1"), QStringLiteral("right2"), QStringLiteral("wrong1"),
                                          QStringLiteral("wrong2"), QStringLiteral("wrong3")}));
            if (q.Variants.first() != QStringLiteral("right1"))
                ++moved;
        }
        QVERIFY(moved > 0);
        QVERIFY(list[20]->Variants.isEmpty());
        QVERIFY(list[20]->RightMarks.isEmpty());
        QCOMPARE(list[21]->Variants, QStringList({QStringLiteral("only")}));
        QCOMPARE(list[21]->RightMarks, QStringLiteral("!"));
    }

    void variantIndicesAreEightBit()
    {
        // Indices are taken modulo 256, so variants from position 256 on never move.
        QStringList variants;
        QString marks;
        for (int i = 0; i < 300; ++i) {
            variants << QString::number(i);
            marks += (i % 7 == 0) ? u'!' : u' ';
        }
        const QStringList storedTail = variants.mid(256);
        const QString storedMarkTail = marks.mid(256);
        TQuestionList list{MakeQuestion(QStringLiteral("big"), variants, marks)};
        RandomizeVariants(list, [](const QString &) {});
        QCOMPARE(list[0]->Variants.mid(256), storedTail);
        QCOMPARE(list[0]->RightMarks.mid(256), storedMarkTail);
        for (int i = 0; i < 300; ++i)
            QCOMPARE(list[0]->RightMarks[i] == u'!', list[0]->Variants[i].toInt() % 7 == 0);
    }

    void shortKeyStopsTheVariantShuffle()
    {
        TQuestionList list{MakeQuestion(QStringLiteral("bad"), {QStringLiteral("a"), QStringLiteral("b"),
                                                               QStringLiteral("c")}, QString()),
                           MakeQuestion(QStringLiteral("good"), {QStringLiteral("x"), QStringLiteral("y"),
                                                                QStringLiteral("z")}, QStringLiteral("!  "))};
        TMessages msgs;
        RandomizeVariants(list, msgs.sink());
        QCOMPARE(msgs.list, QStringList({RandomizeVariantsError}));
        QVERIFY(list[0]->RightMarks.isEmpty());
        QCOMPARE(list[1]->Variants, QStringList({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}));
    }
};

QTEST_GUILESS_MAIN(TestRandomize)
#include "tst_Randomize.moc"
