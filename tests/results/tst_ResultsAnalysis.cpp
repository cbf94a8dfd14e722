// Marks, statistics, filters and sorting over rows read from real files.
#include <QtTest>

#include "ResultsAnalysis.h"
#include "testutil_results.h"

#include <numeric>

using namespace ResultsTest;

namespace {
TResultRow Row(int percent100, const QString &last = QStringLiteral("Иванов"))
{
    TResultRow r;
    r.Percent100 = percent100;
    r.LastName = last;
    return r;
}

QList<int> All(const QList<TResultRow> &rows)
{
    QList<int> idx(rows.size());
    std::iota(idx.begin(), idx.end(), 0);
    return idx;
}

QStringList Surnames(const QList<TResultRow> &rows, const QList<int> &idx)
{
    QStringList out;
    for (int i : idx)
        out << rows[i].LastName;
    return out;
}
}

class TestResultsAnalysis : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void marksAtEachThreshold_data();
    void marksAtEachThreshold();
    void statisticsByHand();
    void statisticsOfNothing();
    void filters();
    void sortsDatesAndNumbersAsSuch();
    void sortsNamesAlphabetically();
    void groupsByClassAndTest();
};

void TestResultsAnalysis::marksAtEachThreshold_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("five");
    QTest::addColumn<int>("four");
    QTest::addColumn<int>("three");
    QTest::addColumn<int>("mark");
    const int d5 = 8500, d4 = 7000, d3 = 5000;
    QTest::newRow("100") << 10000 << d5 << d4 << d3 << 5;
    QTest::newRow("85,00") << 8500 << d5 << d4 << d3 << 5;
    QTest::newRow("84,99") << 8499 << d5 << d4 << d3 << 4;
    QTest::newRow("70,00") << 7000 << d5 << d4 << d3 << 4;
    QTest::newRow("69,99") << 6999 << d5 << d4 << d3 << 3;
    QTest::newRow("50,00") << 5000 << d5 << d4 << d3 << 3;
    QTest::newRow("49,99") << 4999 << d5 << d4 << d3 << 2;
    QTest::newRow("0") << 0 << d5 << d4 << d3 << 2;
    QTest::newRow("above 100") << 20000 << d5 << d4 << d3 << 5;
    QTest::newRow("own scale 90/75/60: 89,99") << 8999 << 9000 << 7500 << 6000 << 4;
    QTest::newRow("own scale 90/75/60: 60,00") << 6000 << 9000 << 7500 << 6000 << 3;
    QTest::newRow("equal thresholds give no 4") << 8000 << 8000 << 8000 << 5000 << 5;
}

void TestResultsAnalysis::marksAtEachThreshold()
{
    QFETCH(int, percent);
    QFETCH(int, five);
    QFETCH(int, four);
    QFETCH(int, three);
    QFETCH(int, mark);
    const TMarkScale scale{five, four, three};
    QVERIFY(scale.IsValid());
    QCOMPARE(scale.Mark(percent), mark);
}

void TestResultsAnalysis::statisticsByHand()
{
    // 100, 66,67, 50, 33,33, 0 and 85: sorted 0, 33.33, 50, 66.67, 85, 100.
    const QList<TResultRow> rows{Row(10000), Row(6667), Row(5000), Row(3333), Row(0), Row(8500)};
    TResultsStats s = Results::Statistics(rows, All(rows), TMarkScale());
    QCOMPARE(s.Count, 6);
    QCOMPARE(s.Mean, 335.0 / 6);             // (100 + 66.67 + 50 + 33.33 + 0 + 85) / 6
    QCOMPARE(s.Median, 58.335);              // (50 + 66.67) / 2
    QCOMPARE(s.Min, 0.0);
    QCOMPARE(s.Max, 100.0);
    // Squared deviations from 55.8333 add up to 6576.60; / 6, root.
    QVERIFY2(qAbs(s.StdDev - 33.107429) < 1e-5, qPrintable(QString::number(s.StdDev, 'f', 6)));
    QCOMPARE(s.MarkCount(5), 2);
    QCOMPARE(s.MarkCount(4), 0);
    QCOMPARE(s.MarkCount(3), 2);
    QCOMPARE(s.MarkCount(2), 2);
    const std::array<int, 10> bins{1, 0, 0, 1, 0, 1, 1, 0, 1, 1};
    QCOMPARE(s.Bins, bins);

    // Of what a filter shows only: the odd count takes the middle value.
    s = Results::Statistics(rows, {0, 2, 4}, TMarkScale());
    QCOMPARE(s.Count, 3);
    QCOMPARE(s.Median, 50.0);
    QCOMPARE(s.Mean, 50.0);
    QVERIFY(qAbs(s.StdDev - std::sqrt(5000.0 / 3)) < 1e-9);
}

void TestResultsAnalysis::statisticsOfNothing()
{
    const TResultsStats s = Results::Statistics({}, {}, TMarkScale());
    QCOMPARE(s.Count, 0);
    QCOMPARE(s.Mean, 0.0);
    QCOMPARE(s.StdDev, 0.0);
    QCOMPARE(s.Bins, (std::array<int, 10>{}));
}

void TestResultsAnalysis::filters()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    TResultRecord yo = Run(1, QStringLiteral("9А"), 3, 3, QDate(2026, 12, 1));
    yo.LastName = QStringLiteral("Ёжиков");
    QVERIFY(Append(path, yo));
    QVERIFY(Append(path, Run(2, QStringLiteral("9Б"), 2, 3, QDate(2026, 12, 7))));
    QVERIFY(Append(path, Run(3, QString(), 1, 3, QDate(2026, 12, 8), QTime(8, 0), QStringLiteral("Физика"))));
    QVERIFY(Append(path, Run(4, QStringLiteral("9А"), 0, 3, QDate(2027, 1, 10), QTime(8, 0), QStringLiteral("Физика"))));
    const QList<TResultRow> rows = Results::ReadFile(path).Table.Rows;
    QCOMPARE(rows.size(), 4);

    TResultsFilter f;
    QCOMPARE(Results::Filter(rows, f), QList<int>({0, 1, 2, 3}));
    f.Test = QStringLiteral("Физика");
    QCOMPARE(Results::Filter(rows, f), QList<int>({2, 3}));
    f.Extra = QString();  // those who gave no class
    QCOMPARE(Results::Filter(rows, f), QList<int>({2}));
    f = TResultsFilter();
    f.Extra = QStringLiteral("9А");
    QCOMPARE(Results::Filter(rows, f), QList<int>({0, 3}));
    f = TResultsFilter();
    f.From = QDate(2026, 12, 7);
    f.To = QDate(2026, 12, 8);  // both ends belong
    QCOMPARE(Results::Filter(rows, f), QList<int>({1, 2}));
    f.To = QDate();
    QCOMPARE(Results::Filter(rows, f), QList<int>({1, 2, 3}));
    f = TResultsFilter();
    f.Surname = QStringLiteral("ЕЖИК");
    QCOMPARE(Results::Filter(rows, f), QList<int>({0}));
    QVERIFY(f.Accepts(rows[0]) && !f.Accepts(rows[1]));
    f.Surname = QStringLiteral("ник");
    QCOMPARE(Results::Filter(rows, f), QList<int>({1, 2, 3}));

    QCOMPARE(Results::Tests(rows), QStringList({QStringLiteral("Физика"), QStringLiteral("Химия")}));
    QCOMPARE(Results::Extras(rows), QStringList({QString(), QStringLiteral("9А"), QStringLiteral("9Б")}));
}

void TestResultsAnalysis::sortsDatesAndNumbersAsSuch()
{
    auto dated = [](const char *last, QDate d, QTime t, int percent) {
        TResultRow r = Row(percent, QString::fromUtf8(last));
        r.Date = d;
        r.Time = t;
        return r;
    };
    // As text "01.02.27" < "31.12.26", "14:30" < "9:05" and "100,00" < "9,50".
    const QList<TResultRow> rows{
        dated("a", QDate(2027, 2, 1), QTime(9, 5), 950),
        dated("b", QDate(2026, 12, 31), QTime(14, 30), 10000),
        dated("c", QDate(2026, 12, 31), QTime(9, 5), 5000),
        dated("d", QDate(2026, 12, 31), QTime(9, 5), 950),
    };
    QList<int> idx = All(rows);
    Results::Sort(rows, idx, TResultsColumn::Date, false);
    QCOMPARE(idx, QList<int>({2, 3, 1, 0}));  // equal moments keep their order
    Results::Sort(rows, idx, TResultsColumn::Date, true);
    QCOMPARE(idx, QList<int>({0, 1, 2, 3}));
    Results::Sort(rows, idx, TResultsColumn::Time, false);
    QCOMPARE(idx, QList<int>({2, 3, 0, 1}));
    idx = All(rows);
    Results::Sort(rows, idx, TResultsColumn::Percent, false);
    QCOMPARE(idx, QList<int>({0, 3, 2, 1}));
    Results::Sort(rows, idx, TResultsColumn::Percent, true);
    QCOMPARE(idx, QList<int>({1, 2, 0, 3}));
    // Marks follow a scale of one's own.
    idx = All(rows);
    Results::Sort(rows, idx, TResultsColumn::Mark, true, TMarkScale{9000, 5000, 900});
    QCOMPARE(idx, QList<int>({1, 2, 0, 3}));
}

void TestResultsAnalysis::sortsNamesAlphabetically()
{
    QList<TResultRow> rows{Row(0, QStringLiteral("Жуков")), Row(0, QStringLiteral("Ёлкин")),
                           Row(0, QStringLiteral("Дьяков")), Row(0, QStringLiteral("абрамов")),
                           Row(0, QStringLiteral("Елизаров")), Row(0, QStringLiteral("Ёлкин"))};
    rows[1].FirstName = QStringLiteral("Яков");
    rows[5].FirstName = QStringLiteral("Антон");
    QList<int> idx = All(rows);
    Results::Sort(rows, idx, TResultsColumn::LastName, false);
    QCOMPARE(Surnames(rows, idx), QStringList({QStringLiteral("абрамов"), QStringLiteral("Дьяков"),
                                               QStringLiteral("Елизаров"), QStringLiteral("Ёлкин"),
                                               QStringLiteral("Ёлкин"), QStringLiteral("Жуков")}));
    QCOMPARE(idx.mid(3, 2), QList<int>({5, 1}));  // then by first name
    Results::Sort(rows, idx, TResultsColumn::LastName, true);
    QCOMPARE(rows[idx.first()].LastName, QStringLiteral("Жуков"));
}

void TestResultsAnalysis::groupsByClassAndTest()
{
    QList<TResultRow> rows{Row(1000), Row(2000), Row(3000)};
    rows[0].Extra = QStringLiteral("9Б");
    rows[1].Extra = QStringLiteral("9А");
    rows[2].Extra = QStringLiteral("9Б");
    const auto groups = Results::Group(rows, All(rows), Results::TGroupBy::Extra);
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups[0].first, QStringLiteral("9А"));
    QCOMPARE(groups[0].second, QList<int>({1}));
    QCOMPARE(groups[1].second, QList<int>({0, 2}));
}

QTEST_GUILESS_MAIN(TestResultsAnalysis)
#include "tst_ResultsAnalysis.moc"
