// Question and variant shuffling for the document export.
#include <QtTest>

#include "Clock.h"
#include "QuizEngineCommon.h"
#include "testutil_core.h"

#include <set>

namespace {
TQuestionList mixed(int real, int info)
{
    TQuestionList list;
    // Information items scattered among the real questions.
    for (int i = 0; real + info > 0; ++i) {
        const bool item = info > 0 && (i % 4 == 1 || real == 0);
        list.push_back(MakeQuestion(i, item ? 0 : 3));
        --(item ? info : real);
    }
    return list;
}

int infoCount(const TQuestionList &l) { return int(CalcIQCount(l)); }
}

class TstShuffle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QeClock::SeedRandom(12345); }
    void questions_data();
    void questions();
    void variantsKeepTheirMarks();
    void variantEdgeCases();
    void errorsAreReported();
};

void TstShuffle::questions_data()
{
    QTest::addColumn<int>("real");
    QTest::addColumn<int>("info");
    QTest::addColumn<int>("randomCount");
    QTest::addColumn<int>("expectedSize");
    QTest::addColumn<bool>("realOrderKept");
    QTest::newRow("2 real, all: only items moved") << 2 << 2 << 0xFFFF << 4 << true;
    QTest::newRow("3 real, all: shuffled") << 3 << 1 << 0xFFFF << 4 << false;
    QTest::newRow("RandomCount 5 of 20 plus 2 items") << 20 << 2 << 5 << 7 << false;
    QTest::newRow("RandomCount 30 of 20") << 20 << 0 << 30 << 20 << false;
    QTest::newRow("RandomCount 0 keeps order") << 10 << 3 << 0 << 13 << true;
    QTest::newRow("RandomCount 1 keeps order") << 10 << 3 << 1 << 13 << true;
    QTest::newRow("only items") << 0 << 4 << 0xFFFF << 4 << true;
    QTest::newRow("empty") << 0 << 0 << 0xFFFF << 0 << true;
}

void TstShuffle::questions()
{
    QFETCH(int, real);
    QFETCH(int, info);
    QFETCH(int, randomCount);
    QFETCH(int, expectedSize);
    QFETCH(bool, realOrderKept);
    TQuestionList list = mixed(real, info);
    const TQuestionList before = list;
    TTestInfo t = TTestInfo::NewTestValues();
    t.RandomCount = quint16(randomCount);
    ShuffleQuestions(t, list);

    QCOMPARE(int(list.size()), expectedSize);
    // Information items first, in their old order.
    TQuestionList itemsBefore, realBefore;
    for (const auto &q : before)
        (q->IsInformation() ? itemsBefore : realBefore).push_back(q);
    for (int i = 0; i < info; ++i)
        QCOMPARE(list[i], itemsBefore[i]);
    QCOMPARE(infoCount(list), info);
    // The rest are distinct real questions of the test.
    std::set<TNQuestion *> seen;
    for (size_t i = size_t(info); i < list.size(); ++i) {
        QVERIFY(!list[i]->IsInformation());
        QVERIFY(std::find(realBefore.begin(), realBefore.end(), list[i]) != realBefore.end());
        QVERIFY(seen.insert(list[i].get()).second);
    }
    const TQuestionList realAfter(list.begin() + info, list.end());
    const TQuestionList realPrefix(realBefore.begin(), realBefore.begin() + qsizetype(realAfter.size()));
    QCOMPARE(realAfter == realPrefix, realOrderKept);
}

void TstShuffle::variantsKeepTheirMarks()
{
    TQuestionList list;
    for (int i = 0; i < 50; ++i)
        list.push_back(MakeQuestion(i, 1 + i % 10));
    for (auto &q : list)
        for (int v = 0; v < q->Variants.size(); ++v)
            q->Variants[v] += q->RightMarks[v] == QLatin1Char('!') ? QStringLiteral(" RIGHT") : QStringLiteral(" WRONG");
    const TQuestionList copies = [&] {
        TQuestionList c;
        for (auto &q : list) c.push_back(std::make_shared<TNQuestion>(*q));
        return c;
    }();
    ShuffleVariants(list);
    int moved = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const TNQuestion &q = *list[i];
        QCOMPARE(q.RightMarks.size(), q.Variants.size());
        for (int v = 0; v < q.Variants.size(); ++v)
            QCOMPARE(q.Variants[v].endsWith(QStringLiteral("RIGHT")), q.RightMarks[v] == QLatin1Char('!'));
        QStringList a = q.Variants, b = copies[i]->Variants;
        a.sort();
        b.sort();
        QCOMPARE(a, b);
        moved += q.Variants != copies[i]->Variants;
    }
    QVERIFY(moved > 10);
}

void TstShuffle::variantEdgeCases()
{
    TQuestionList list{MakeQuestion(1, 1), MakeQuestion(2, 0)};
    const TNQuestion one = *list[0], none = *list[1];
    ShuffleVariants(list);
    QVERIFY(SameStoredQuestion(*list[0], one));
    QVERIFY(SameStoredQuestion(*list[1], none));
}

void TstShuffle::errorsAreReported()
{
    QStringList reported;
    SetShuffleErrorReporter([&](const QString &m) { reported.append(m); });
    TQuestionList list{MakeQuestion(1, 3), MakeQuestion(2, 3)};
    list[1]->RightMarks = QStringLiteral("!");  // key shorter than the variants
    const QStringList firstVariants = list[0]->Variants;
    ShuffleVariants(list);
    QCOMPARE(reported, QStringList{QStringLiteral("Ошибка при перемешивании вариантов!")});
    QCOMPARE(list[1]->Variants, MakeQuestion(2, 3)->Variants);

    TQuestionList withNull{MakeQuestion(1, 0), nullptr, MakeQuestion(3, 2)};
    ShuffleQuestions(TTestInfo::NewTestValues(), withNull);
    QCOMPARE(reported.size(), 2);
    QCOMPARE(reported.last(), QStringLiteral("Ошибка при перемешивании вопросов!"));
    QCOMPARE(withNull.size(), size_t(3));
    SetShuffleErrorReporter({});
}

QTEST_GUILESS_MAIN(TstShuffle)
#include "tst_Shuffle.moc"
