// qe2tool results: statistics per class, damaged lines on stderr, the export.
#include <QtTest>

#include "ResultsFile.h"
#include "testutil_tool.h"

class TestResultsCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statisticsByClass();
    void exportsAndRefuses();
};

namespace {
QByteArray Line(const QString &last, const QString &extra, int score, int possible)
{
    TResultRecord r;
    r.When = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    r.TestName = QStringLiteral("Химия");
    r.LastName = last;
    r.Extra = extra;
    r.Score = quint16(score);
    r.PossibleScore = quint16(possible);
    return ResultsDataLine(r);
}
}

void TestResultsCommand::statisticsByClass()
{
    QTemporaryDir dir;
    const QByteArray bytes = ResultsHeaderLine() + Line(QStringLiteral("Ёлкин"), QStringLiteral("9Б"), 1, 2)
                             + Line(QStringLiteral("Андреев"), QStringLiteral("9А"), 2, 2) + "07.12.26\t9:0"
                             + "\r\n" + Line(QStringLiteral("Борисов"), QStringLiteral("9Б"), 3, 4);
    const QString file = WriteFile(dir.path(), QStringLiteral("9 класс.res"), bytes);
    const TToolRun r = RunTool({QStringLiteral("results"), QStringLiteral("--by"), QStringLiteral("class"), file});
    QVERIFY(r.finished);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outText(), QStringLiteral(
        "runs: 3\ndamaged lines: 1\nmarks: 5 from 85.00, 4 from 70.00, 3 from 50.00\n\n"
        "group\truns\tmean\tmedian\tmin\tmax\tstddev\t5\t4\t3\t2\n"
        "9А\t1\t100.00\t100.00\t100.00\t100.00\t0.00\t1\t0\t0\t0\n"
        "9Б\t2\t62.50\t62.50\t50.00\t75.00\t12.50\t0\t1\t1\t0\n"
        "(all)\t3\t75.00\t75.00\t50.00\t100.00\t20.41\t1\t1\t1\t0\n"));
    QCOMPARE(r.errText(), QStringLiteral("qe2tool: %1:4: полей 2 вместо 10: 07.12.26\t9:0\n").arg(file));
    // The file is read, never touched.
    QCOMPARE(ReadFile(file), bytes);

    const TToolRun own = RunTool({QStringLiteral("results"), QStringLiteral("--marks"), QStringLiteral("100/75/60"), file});
    QCOMPARE(own.exitCode, 0);
    QVERIFY2(own.outText().endsWith(QStringLiteral("(all)\t3\t75.00\t75.00\t50.00\t100.00\t20.41\t1\t1\t0\t1\n")),
             qPrintable(own.outText()));
}

void TestResultsCommand::exportsAndRefuses()
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.path(), QStringLiteral("r.res"), ResultsHeaderLine() + Line(QStringLiteral("Ёлкин"), QString(), 1, 2));
    const QString xlsx = dir.filePath(QStringLiteral("r.xlsx"));
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    TToolRun r = RunTool({QStringLiteral("results"), QStringLiteral("--xlsx"), xlsx, QStringLiteral("--csv"), csv, file});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(ReadFile(xlsx).startsWith("PK"));
    QVERIFY(QString::fromUtf8(ReadFile(csv)).contains(QStringLiteral("Ёлкин,,,,1,2,50.00,3")));

    r = RunTool({QStringLiteral("results"), dir.filePath(QStringLiteral("нет.res"))});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.errText().contains(QStringLiteral("Файл не найден")), qPrintable(r.errText()));
    r = RunTool({QStringLiteral("results"), QStringLiteral("--by"), QStringLiteral("pupil"), file});
    QCOMPARE(r.exitCode, 2);
    r = RunTool({QStringLiteral("results"), QStringLiteral("--marks"), QStringLiteral("50/70/85"), file});
    QCOMPARE(r.exitCode, 2);
    r = RunTool({QStringLiteral("results"), QStringLiteral("--xlsx"), dir.filePath(QStringLiteral("нет/r.xlsx")), file});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("нет"))));
}

QTEST_GUILESS_MAIN(TestResultsCommand)
#include "tst_results.moc"
