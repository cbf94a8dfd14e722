// Reading results files as the player writes them, and the lines it does not.
#include <QtTest>

#include "Ansi.h"
#include "Clock.h"
#include "ResultsReader.h"
#include "testutil_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ResultsTest;

class TestResultsReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void readsWhatThePlayerWrites();
    void readsGroupedPercents();
    void keepsBadLinesWithTheirNumbers_data();
    void keepsBadLinesWithTheirNumbers();
    void emptyHeaderOnlyAndHeaderless();
    void zerosBeforeALineAreSkipped();
    void growingFileIsReadAgain();
    void marksRepeatsOfOnePupil();
    void refusals();
    void waitsOutAWriterThenGivesUp();
    void cancelsFromProgress();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name = QStringLiteral("class.res")) const { return m_dir->filePath(name); }
};

void TestResultsReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QeClock::SetSleeper([](int) {});
}

void TestResultsReader::cleanup()
{
    QeClock::SetSleeper({});
}

void TestResultsReader::readsWhatThePlayerWrites()
{
    TResultRecord first = Run(1, QStringLiteral("9 «Б»"), 2, 3, QDate(2026, 12, 7), QTime(9, 5));
    first.LastName = QStringLiteral("Ёлкина");
    first.FirstName = QStringLiteral("Алёна");
    TResultRecord second = Run(2, QString(), 3, 3, QDate(2027, 1, 31), QTime(14, 30), QStringLiteral("Физика"));
    QVERIFY(Append(path(), first));
    QVERIFY(Append(path(), second));
    const QByteArray before = ReadRaw(path());
    struct stat st1;
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st1), 0);

    const Results::TReadOutcome out = Results::ReadFile(path());
    QCOMPARE(out.Status, Results::TReadStatus::Ok);
    const TResultsTable &t = out.Table;
    QVERIFY(t.HasHeader);
    QCOMPARE(t.Lines, 3);
    QCOMPARE(t.BadCount, 0);
    QCOMPARE(t.Rows.size(), 2);
    const TResultRow &a = t.Rows[0];
    QCOMPARE(a.Line, 2);
    QCOMPARE(a.Date, QDate(2026, 12, 7));
    QCOMPARE(a.Time, QTime(9, 5));
    QCOMPARE(a.TestName, QStringLiteral("Химия"));
    QCOMPARE(a.LastName, QStringLiteral("Ёлкина"));
    QCOMPARE(a.FirstName, QStringLiteral("Алёна"));
    QCOMPARE(a.Patronymic, QStringLiteral("Сергеевич"));
    QCOMPARE(a.Extra, QStringLiteral("9 «Б»"));
    QCOMPARE(a.Score, 2);
    QCOMPARE(a.PossibleScore, 3);
    QCOMPARE(a.Percent100, 6667);
    QCOMPARE(a.PercentText(), QStringLiteral("66,67"));
    const TResultRow &b = t.Rows[1];
    QCOMPARE(b.Date, QDate(2027, 1, 31));
    QCOMPARE(b.Time, QTime(14, 30));
    QCOMPARE(b.Extra, QString());
    QCOMPARE(b.Percent100, 10000);

    // Read, never written: not a byte, not the time stamp.
    QCOMPARE(ReadRaw(path()), before);
    struct stat st2;
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st2), 0);
    QCOMPARE(st2.st_mtim.tv_nsec, st1.st_mtim.tv_nsec);
    QCOMPARE(st2.st_mtim.tv_sec, st1.st_mtim.tv_sec);
}

void TestResultsReader::readsGroupedPercents()
{
    // Scores above the possible give percents with thousands split by a no-break space.
    QVERIFY(Append(path(), Run(1, QString(), 2000, 1)));
    QVERIFY(Append(path(), Run(2, QString(), 1, 8)));
    QVERIFY(ReadRaw(path()).contains("200\xA0" "000,00"));
    const TResultsTable t = Results::ReadFile(path()).Table;
    QCOMPARE(t.BadCount, 0);
    QCOMPARE(t.Rows.size(), 2);
    QCOMPARE(t.Rows[0].Percent100, 20000000);
    QCOMPARE(t.Rows[1].Percent100, 1250);  // 12,5 rounded half up to two places
}

void TestResultsReader::keepsBadLinesWithTheirNumbers_data()
{
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<QString>("reason");
    const QString good = QStringLiteral("07.12.26\t9:05\tХимия\tИванов\tПётр\tСергеевич\t9А\t2\t3\t66,67");
    auto row = [&](const char *name, const QString &text, const char *reason) {
        QTest::newRow(name) << Line(text) << QString::fromUtf8(reason);
    };
    row("cut in the first name", good.left(30), "полей 5 вместо 10");
    row("cut in the percent", good.chopped(1), "неверный процент");
    row("cut after the comma", good.chopped(2), "неверный процент");
    row("nine fields", QStringLiteral("07.12.26\t9:05\tХимия\tИванов\tПётр\t9А\t2\t3\t66,67"), "полей 9 вместо 10");
    row("two lines run together", good + good, "полей 19 вместо 10");
    row("foreign line", QStringLiteral("Результаты за четверть"), "полей 1 вместо 10");
    row("no such date", QString(good).replace(QStringLiteral("07.12.26"), QStringLiteral("31.02.26")), "неверная дата");
    row("not a date", QString(good).replace(QStringLiteral("07.12.26"), QStringLiteral("вчера")), "неверная дата");
    row("no such time", QString(good).replace(QStringLiteral("9:05"), QStringLiteral("9:65")), "неверное время");
    row("negative score", QString(good).replace(QStringLiteral("\t2\t3\t"), QStringLiteral("\t-2\t3\t")), "неверный балл");
    row("score too large", QString(good).replace(QStringLiteral("\t2\t3\t"), QStringLiteral("\t99999\t3\t")), "неверный балл");
    row("possible not a number", QString(good).replace(QStringLiteral("\t2\t3\t"), QStringLiteral("\t2\tx\t")), "неверный возможный балл");
    row("percent of other scores", QString(good).replace(QStringLiteral("66,67"), QStringLiteral("33,33")), "процент не сходится с баллами");
    row("bad grouping", QString(good).replace(QStringLiteral("\t2\t3\t66,67"), QStringLiteral("\t2000\t1\t20 00 00,00")), "неверный процент");
    row("empty line", QString(), "пустая строка");
    row("only zero bytes", QString(351, QChar(0)), "только нулевые байты");
    row("second header", QStringLiteral("Дата\tВремя\tТест\tФамилия\tИмя\tОтчество\tДоп. инф.\tБалл\tВозможный балл\tПроцент"),
        "повторная строка заголовка");
}

void TestResultsReader::keepsBadLinesWithTheirNumbers()
{
    QFETCH(QByteArray, bad);
    QFETCH(QString, reason);
    QVERIFY(Append(path(), Run(1, QStringLiteral("9А"), 1, 2)));
    QByteArray bytes = ReadRaw(path()) + bad;
    WriteRaw(path(), bytes);
    QVERIFY(Append(path(), Run(2, QStringLiteral("9А"), 2, 2)));
    // And once more as the last line, cut by a failed write.
    bytes = ReadRaw(path()) + bad.chopped(2);

    for (const bool unterminated : {false, true}) {
        if (unterminated) {
            if (bad.size() == 2)
                continue;  // an empty last line is no line
            WriteRaw(path(), bytes);
        }
        const TResultsTable t = Results::ReadFile(path()).Table;
        QCOMPARE(t.Rows.size(), 2);
        QCOMPARE(t.Rows[0].Line, 2);
        QCOMPARE(t.Rows[1].Line, 4);
        QCOMPARE(t.BadCount, unterminated ? 2 : 1);
        QCOMPARE(t.Bad.size(), t.BadCount);
        QCOMPARE(t.Bad[0].Line, 3);
        QVERIFY2(t.Bad[0].Reason.startsWith(reason), qPrintable(t.Bad[0].Reason));
        QCOMPARE(t.Bad[0].Text, FromAnsi(bad.chopped(2)));
        if (unterminated) {
            QCOMPARE(t.Bad[1].Line, 5);
            QVERIFY2(t.Bad[1].Reason.startsWith(reason), qPrintable(t.Bad[1].Reason));
            // A header is whole without its line end.
            if (!reason.contains(QStringLiteral("заголовка")))
                QVERIFY2(t.Bad[1].Reason.endsWith(QStringLiteral("(строка не дописана)")), qPrintable(t.Bad[1].Reason));
        }
    }
}

// What a share leaves of a write lost in an outage, right before the next
// player's line.
void TestResultsReader::zerosBeforeALineAreSkipped()
{
    QVERIFY(Append(path(), Run(1, QStringLiteral("9А"), 1, 2)));
    const QByteArray lost(351, '\0');
    WriteRaw(path(), ReadRaw(path()) + lost);
    QVERIFY(Append(path(), Run(2, QStringLiteral("9Б"), 2, 2)));
    const TResultsTable t = Results::ReadFile(path()).Table;
    QCOMPARE(t.BadCount, 0);
    QCOMPARE(t.Rows.size(), 2);
    QCOMPARE(t.Rows[1].Line, 3);
    QCOMPARE(t.Rows[1].Extra, QStringLiteral("9Б"));
    QCOMPARE(t.Rows[1].Score, 2);
}

void TestResultsReader::emptyHeaderOnlyAndHeaderless()
{
    WriteRaw(path(), QByteArray());
    Results::TReadOutcome out = Results::ReadFile(path());
    QCOMPARE(out.Status, Results::TReadStatus::Ok);
    QVERIFY(!out.Table.HasHeader);
    QCOMPARE(out.Table.Rows.size(), 0);
    QCOMPARE(out.Table.BadCount, 0);

    WriteRaw(path(), ResultsHeaderLine());
    out = Results::ReadFile(path());
    QVERIFY(out.Table.HasHeader);
    QCOMPARE(out.Table.Rows.size(), 0);
    QCOMPARE(out.Table.BadCount, 0);

    // A file made empty by another program gets no header from the player;
    // lines with bare LF come from files edited elsewhere.
    WriteRaw(path(), ResultsDataLine(Run(1, QString(), 1, 1)) + ResultsDataLine(Run(2, QString(), 0, 1)).replace("\r\n", "\n"));
    out = Results::ReadFile(path());
    QVERIFY(!out.Table.HasHeader);
    QCOMPARE(out.Table.Rows.size(), 2);
    QCOMPARE(out.Table.Rows[0].Line, 1);
    QCOMPARE(out.Table.Rows[1].Percent100, 0);
}

void TestResultsReader::growingFileIsReadAgain()
{
    for (int n = 1; n <= 3; ++n)
        QVERIFY(Append(path(), Run(n, QStringLiteral("9А"), n, 3)));
    QCOMPARE(Results::ReadFile(path()).Table.Rows.size(), 3);
    QVERIFY(Append(path(), Run(4, QStringLiteral("9А"), 3, 3)));
    const TResultsTable t = Results::ReadFile(path()).Table;
    QCOMPARE(t.Rows.size(), 4);
    QCOMPARE(t.Rows.last().LastName, QStringLiteral("Ученик4"));
    QCOMPARE(t.Rows.last().Line, 5);
}

void TestResultsReader::marksRepeatsOfOnePupil()
{
    TResultRecord a = Run(1, QStringLiteral("9А"), 1, 3);
    a.LastName = QStringLiteral("Ёлкин");
    TResultRecord again = a;
    again.LastName = QStringLiteral("елкин ");
    again.FirstName = QStringLiteral("ПЁТР");
    TResultRecord otherTest = a;
    otherTest.TestName = QStringLiteral("Физика");
    TResultRecord otherPupil = a;
    otherPupil.Patronymic = QStringLiteral("Иванович");
    for (const TResultRecord &r : {a, otherTest, again, otherPupil, a})
        QVERIFY(Append(path(), r));
    const TResultsTable t = Results::ReadFile(path()).Table;
    QCOMPARE(t.Rows.size(), 5);
    const QList<std::pair<int, int>> expected{{1, 3}, {1, 1}, {2, 3}, {1, 1}, {3, 3}};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(t.Rows[i].Attempt, expected[i].first);
        QCOMPARE(t.Rows[i].Attempts, expected[i].second);
    }
}

void TestResultsReader::refusals()
{
    Results::TReadOutcome out = Results::ReadFile(path(QStringLiteral("нет.res")));
    QCOMPARE(out.Status, Results::TReadStatus::Missing);
    QVERIFY(out.Error.contains(QStringLiteral("нет.res")));
    QVERIFY(!QFile::exists(path(QStringLiteral("нет.res"))));  // never created

    out = Results::ReadFile(m_dir->path());
    QCOMPARE(out.Status, Results::TReadStatus::Failed);
    QVERIFY(!out.Error.isEmpty());

    const QString fifo = path(QStringLiteral("fifo.res"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    out = Results::ReadFile(fifo);  // must not wait for a writer
    QCOMPARE(out.Status, Results::TReadStatus::Failed);
}

void TestResultsReader::waitsOutAWriterThenGivesUp()
{
    QVERIFY(Append(path(), Run(1, QString(), 1, 1)));
    // A player appending: an exclusive lock of another open file description.
    const int fd = ::open(QFile::encodeName(path()).constData(), O_RDWR);
    QVERIFY(fd >= 0);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    QCOMPARE(::fcntl(fd, F_OFD_SETLK, &fl), 0);

    int sleeps = 0;
    QeClock::SetSleeper([&](int) {
        // The writer is done after a few tries.
        if (++sleeps == 3) {
            fl.l_type = F_UNLCK;
            ::fcntl(fd, F_OFD_SETLK, &fl);
        }
    });
    Results::TReadOutcome out = Results::ReadFile(path());
    QCOMPARE(out.Status, Results::TReadStatus::Ok);
    QCOMPARE(sleeps, 3);
    QCOMPARE(out.Table.Rows.size(), 1);

    fl.l_type = F_WRLCK;
    QCOMPARE(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    sleeps = 0;
    QeClock::SetSleeper([&](int) { ++sleeps; });
    out = Results::ReadFile(path());
    QCOMPARE(out.Status, Results::TReadStatus::Locked);
    QVERIFY(sleeps > 3);
    QVERIFY(out.Error.contains(path()));
    ::close(fd);
}

void TestResultsReader::cancelsFromProgress()
{
    QByteArray bytes = ResultsHeaderLine();
    const QByteArray line = ResultsDataLine(Run(1, QString(), 1, 2));
    while (bytes.size() < 3 * (1 << 20))
        bytes += line;
    WriteRaw(path(), bytes);
    QList<qint64> seen;
    Results::TReadOutcome out = Results::ReadFile(path(), [&](qint64 done, qint64 total) {
        seen << done;
        return done * 4 < total * 3;  // cancel in the parse
    });
    QCOMPARE(out.Status, Results::TReadStatus::Cancelled);
    QVERIFY(out.Table.Rows.isEmpty());
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));

    seen.clear();
    out = Results::ReadFile(path(), [&](qint64 done, qint64 total) {
        seen << done * 100 / total;
        return true;
    });
    QCOMPARE(out.Status, Results::TReadStatus::Ok);
    QCOMPARE(seen.last(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(out.Table.Rows.size(), (bytes.size() - ResultsHeaderLine().size()) / line.size());
}

QTEST_GUILESS_MAIN(TestResultsReader)
#include "tst_ResultsReader.moc"
