// qe2tool items: the item analysis of the answers journal beside a results
// file, per version, with damaged lines on stderr.
#include <QtTest>

#include "AnswersJournal.h"
#include "testutil_tool.h"

namespace {
QByteArray Record(const QString &last, int score, const QString &marks, const QString &hash = QString(64, u'c'))
{
    TAnswersRecord r;
    r.When = QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7));
    r.TestName = QStringLiteral("Химия");
    r.TestHash = hash;
    r.LastName = last;
    r.Score = score;
    r.PossibleScore = 2;
    TAnswerItem it;
    it.Position = 2;
    it.TextHash = QStringLiteral("00112233445566ff");
    it.TextStart = QStringLiteral("Формула воды");
    it.Order = {1, 0, 2};
    it.Key = QStringLiteral("!  ");
    it.Marks = marks;
    r.Items = {it};
    return AnswersJournal::RecordLine(r);
}
}

class TestItemsCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void table()
    {
        QTemporaryDir dir;
        const QByteArray journal = Record(QStringLiteral("А"), 2, QStringLiteral("!  ")) + "not a record\n"
                                   + Record(QStringLiteral("Б"), 1, QStringLiteral(" ! "))
                                   + Record(QStringLiteral("В"), 0, QStringLiteral(" ! "))
                                   + Record(QStringLiteral("Г"), 0, QString(), QString(64, u'd'));
        WriteFile(dir.path(), QStringLiteral("9А.answers"), journal);
        const QString res = WriteFile(dir.path(), QStringLiteral("9А.res"), QByteArray());
        const TToolRun r = RunTool({QStringLiteral("items"), res});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        const QString hashC(64, u'c'), hashD(64, u'd');
        // Three runs of 100, 50, 0 %: one a side, 1 - 0; r = (100 - 25) / 40.82 * sqrt(2/9).
        QCOMPARE(r.outText(), QStringLiteral(
            "records: 4\ndamaged lines: 1\n"
            "\ntest: Химия\nhash: %1\nruns: 3\nfrom: 2026-12-10T09:05:07\nto: 2026-12-10T09:05:07\n"
            "pos\tseen\tanswered\tfacility\tdiscrimination\tpoint-biserial\tvariants\tflags\ttext\n"
            "2\t3\t3\t0.33\t1.00\t0.87\t1* 2 0\tmisleading\tФормула воды\n"
            "\ntest: Химия\nhash: %2\nruns: 1\nfrom: 2026-12-10T09:05:07\nto: 2026-12-10T09:05:07\n"
            "pos\tseen\tanswered\tfacility\tdiscrimination\tpoint-biserial\tvariants\tflags\ttext\n"
            "2\t1\t0\t0.00\t-\t-\t0* 0 0\thard\tФормула воды\n").arg(hashC, hashD));
        QVERIFY2(r.errText().startsWith(QStringLiteral("qe2tool: %1:2: not JSON").arg(dir.filePath(QStringLiteral("9А.answers")))),
                 qPrintable(r.errText()));
    }

    void refuses()
    {
        QTemporaryDir dir;
        const QString res = WriteFile(dir.path(), QStringLiteral("r.res"), QByteArray());
        const TToolRun none = RunTool({QStringLiteral("items"), res});
        QVERIFY(none.finished);
        QVERIFY(none.exitCode != 0);
        QVERIFY2(none.errText().contains(QStringLiteral("no answers journal")), qPrintable(none.errText()));
        const TToolRun usage = RunTool({QStringLiteral("items")});
        QVERIFY(usage.finished);
        QVERIFY(usage.exitCode != 0);
    }
};

QTEST_GUILESS_MAIN(TestItemsCommand)
#include "tst_items.moc"
