// The answers journal as the real player writes it: one record per run
// beside the results file, positions and variants in the file's order
// whatever the shuffle, information items left out, both scoring modes;
// several players at once; a journal that cannot be written or is switched
// off leaves the result line alone and asks nothing.
#include <QtTest>
#include <QCryptographicHash>
#include <QTemporaryDir>

#include "AnswersJournal.h"
#include "testutil_Player.h"
#include "testutil_drive.h"

namespace {

QList<QByteArray> DataLines(const QString &results)
{
    QFile f(results);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeAll(QByteArray());
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines;
}

// "ITEM 3 Q2-c|Q2-a|Q2-b [!  ]" -> variants as shown and the marks.
struct TShown {
    QStringList Variants;
    QString Marks;
};

QList<TShown> Dumped(const TRunOutput &o)
{
    QList<TShown> items;
    for (const QString &l : o.Lines) {
        if (!l.startsWith(QLatin1String("ITEM ")))
            continue;
        const QString rest = l.mid(5).section(u' ', 1);
        const qsizetype open = rest.lastIndexOf(QStringLiteral(" ["));
        const QString vars = rest.left(open);
        TShown s;
        s.Variants = vars.isEmpty() ? QStringList() : vars.split(u'|');
        s.Marks = rest.mid(open + 2, rest.size() - open - 3);
        items.append(s);
    }
    return items;
}

QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_AnswersJournal : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_n = 0;
    QString m_dir, m_test, m_results, m_answers;
    TQuestionList m_stored;

    TPlayerSetup Setup(const QString &name = QStringLiteral("p")) const
    {
        TPlayerSetup s;
        s.Dir = m_dir + u'/' + name;
        QDir().mkpath(s.Dir);
        s.Session = s.Dir + QStringLiteral("/session");
        s.StateHome = s.Dir + QStringLiteral("/state");
        return s;
    }
    QStringList Args() const { return {QStringLiteral("KMQuizdispatch"), m_test, m_results}; }
    void SaveTest(quint16 randomCount, bool randomVariants, quint16 extraOptions)
    {
        // I1, Q1, Q2, I2, Q3, Q4, Q5 in the file.
        m_stored = MakeQuestions(5, {0, 3});
        TTestInfo info = TestHeader(randomCount, randomVariants);
        info.Options |= EnableBackNavigation | extraOptions;
        ::SaveTest(m_test, info, m_stored);
    }
    int StoredPosition(const QString &text) const
    {
        for (std::size_t i = 0; i < m_stored.size(); ++i)
            if (m_stored[i]->PlainLines.Get(0) == text)
                return int(i) + 1;
        return 0;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QFileInfo(Driver()).isExecutable(), "QE_JOURNAL_DRIVER"); }

    void init()
    {
        m_dir = m_tmp.filePath(QStringLiteral("case%1").arg(++m_n));
        QDir().mkpath(m_dir);
        m_test = m_dir + QStringLiteral("/Химия.qe2");
        m_results = m_dir + QStringLiteral("/9А.res");
        m_answers = m_dir + QStringLiteral("/9А.answers");
    }

    void recordsWhatWasShownInTheFilesOrder_data()
    {
        QTest::addColumn<int>("randomCount");
        QTest::addColumn<bool>("randomVariants");
        QTest::addColumn<bool>("wholeQuestions");
        QTest::addColumn<int>("asked");
        QTest::newRow("per variant, in order") << 0 << false << false << 5;
        QTest::newRow("whole questions") << 0 << false << true << 5;
        QTest::newRow("questions and variants shuffled") << 0xFFFF << true << false << 5;
        QTest::newRow("three of five, shuffled, whole") << 3 << true << true << 3;
    }
    void recordsWhatWasShownInTheFilesOrder()
    {
        QFETCH(int, randomCount);
        QFETCH(bool, randomVariants);
        QFETCH(bool, wholeQuestions);
        QFETCH(int, asked);
        SaveTest(quint16(randomCount), randomVariants, wholeQuestions ? CountWholeQuestion : 0);
        // Item by item: the first variant, nothing, two variants, the third,
        // the second...; ticks on an information item do nothing.
        const QString drive = QStringLiteral(
            "reg=Ёлкина|Мария|Ивановна|9А;tick=1;next;next;tick=2;tick=3;next;tick=3;next;tick=2;next;"
            "tick=1;tick=2;tick=3;next;tick=2;dump;finish;exit");
        const TRunOutput out = Run(Setup(), Args(), drive);
        QVERIFY2(out.Ended, qPrintable(out.Lines.join(u'\n')));
        QCOMPARE(out.Messages, QStringList());
        QCOMPARE(DataLines(m_results).size(), 1);

        const AnswersJournal::TReadOutcome in = AnswersJournal::ReadFile(m_answers);
        QCOMPARE(int(in.Status), int(AnswersJournal::TReadStatus::Ok));
        QCOMPARE(in.Journal.BadCount, 0);
        QCOMPARE(in.Journal.Records.size(), 1);
        const TAnswersRecord &r = in.Journal.Records.first();
        QCOMPARE(r.TestName, QStringLiteral("Химия"));
        QCOMPARE(r.TestHash, QString::fromLatin1(QCryptographicHash::hash(FileBytes(m_test), QCryptographicHash::Sha256).toHex()));
        QCOMPARE(r.LastName, QStringLiteral("Ёлкина"));
        QCOMPARE(r.Patronymic, QStringLiteral("Ивановна"));
        QCOMPARE(r.Extra, QStringLiteral("9А"));
        QCOMPARE(r.WholeQuestions, wholeQuestions);
        // The same totals as the result line.
        const QList<QByteArray> fields = DataLines(m_results).first().split('\t');
        QCOMPARE(r.Score, fields.value(7).toInt());
        QCOMPARE(r.PossibleScore, fields.value(8).toInt());
        QCOMPARE(r.When.toString(QStringLiteral("dd.MM.yy")), QString::fromLatin1(fields.value(0)));

        // The real questions as the dump saw them, in the order shown.
        QList<TShown> shown = Dumped(out);
        shown.removeIf([](const TShown &s) { return s.Variants.isEmpty(); });
        QCOMPARE(shown.size(), asked);
        QCOMPARE(r.Items.size(), asked);
        int answered = 0;
        for (int i = 0; i < asked; ++i) {
            const TAnswerItem &it = r.Items[i];
            const QString q = shown[i].Variants.first().section(u'-', 0, 0);
            QCOMPARE(it.Position, StoredPosition(q));
            QCOMPARE(it.TextStart, q);
            QCOMPARE(it.TextHash, AnswersJournal::QuestionTextHash(*m_stored[size_t(it.Position - 1)]));
            QCOMPARE(it.Key, QStringLiteral(" ! "));
            QCOMPARE(it.Order.size(), 3);
            QString marks = shown[i].Marks.isEmpty() ? QString() : QStringLiteral("   ");
            for (int k = 0; k < 3; ++k) {
                // "Q2-c" is the file's variant 2.
                QCOMPARE(it.Order[k], shown[i].Variants[k].back().unicode() - u'a');
                if (!marks.isEmpty())
                    marks[it.Order[k]] = shown[i].Marks[k];
            }
            QCOMPARE(it.Marks, marks);
            answered += it.Answered();
        }
        if (randomCount == 0 && !randomVariants) {
            // In order: (I1 takes the first tick), Q1 unanswered, Q2 " !!", (I2), Q3 " ! "...
            QVERIFY(!r.Items[0].Answered());
            QCOMPARE(r.Items[0].Marks, QString());
            QCOMPARE(r.Items[0].Position, 2);
            QCOMPARE(r.Items[1].Marks, QStringLiteral(" !!"));
            QCOMPARE(r.Items[2].Marks, QStringLiteral(" ! "));
            QVERIFY(r.Items[2].FullyRight());
            QCOMPARE(r.Items[2].Position, 5);
            QCOMPARE(r.Items[3].Marks, QStringLiteral("!!!"));
            QCOMPARE(r.Items[4].Marks, QStringLiteral(" ! "));
            QCOMPARE(r.Items[4].Position, 7);
        }
        QVERIFY(answered >= asked - 2);
        QVERIFY(QFileInfo(m_results).isFile());
    }

    // Players of a class finishing together: every run one whole record.
    void playersAppendingAtOnce()
    {
        SaveTest(0xFFFF, true, 0);
        const int players = 4;
        std::vector<std::unique_ptr<TDrivenPlayer>> running;
        for (int i = 0; i < players; ++i) {
            running.push_back(std::make_unique<TDrivenPlayer>());
            TPlayerSetup s = Setup(QStringLiteral("p%1").arg(i));
            // Their back-off, as in a classroom: without it ten tries meet a neighbour's lock.
            s.Env << QStringLiteral("QE_DRIVE_SLEEP=1");
            QVERIFY(running.back()->Start(s, Args(),
                                          QStringLiteral("reg=Ученик%1|А|Б|9А;tick=2;next;tick=2;next;tick=2;next;"
                                                         "tick=2;next;tick=2;next;tick=2;next;tick=2;finish;exit").arg(i)));
        }
        for (auto &p : running) {
            const TRunOutput out = p->Finish();
            QVERIFY2(out.Ended, qPrintable(out.Lines.join(u'\n')));
        }
        QCOMPARE(DataLines(m_results).size(), players);
        const QByteArray bytes = FileBytes(m_answers);
        QCOMPARE(bytes.count('\n'), players);
        const TAnswersJournal j = AnswersJournal::Parse(bytes);
        QCOMPARE(j.BadCount, 0);
        QCOMPARE(j.Records.size(), players);
        QSet<QString> names;
        for (const TAnswersRecord &r : j.Records) {
            names.insert(r.LastName);
            QCOMPARE(r.Items.size(), 5);
            for (const TAnswerItem &it : r.Items)
                QVERIFY(it.Answered());
        }
        QCOMPARE(names.size(), players);
    }

    // A directory under the journal's name: the line is written, nothing is
    // asked, the player's log says why.
    void anUnwritableJournalLeavesTheLine()
    {
        SaveTest(0, false, 0);
        QVERIFY(QDir().mkpath(m_answers));
        const TPlayerSetup s = Setup();
        const TRunOutput out = Run(s, Args(), QStringLiteral("reg=Петров|Пётр|Петрович|9А;tick=2;finish;exit"));
        QVERIFY2(out.Ended, qPrintable(out.Lines.join(u'\n')));
        QCOMPARE(out.Messages, QStringList());
        QCOMPARE(DataLines(m_results).size(), 1);
        QVERIFY(QFileInfo(m_answers).isDir());
        const QString log = QString::fromUtf8(FileBytes(s.StateHome + QStringLiteral("/quizengine2/Quizrunner.log")));
        QVERIFY2(log.contains(QStringLiteral("answers journal not written: ") + m_answers), qPrintable(log));
    }

    void switchedOffInTheSystemConfiguration()
    {
        SaveTest(0, false, 0);
        TPlayerSetup s = Setup();
        s.ConfigDir = m_dir + QStringLiteral("/etc");
        QDir().mkpath(s.ConfigDir);
        QFile ini(s.ConfigDir + QStringLiteral("/Quizrunner.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[AnswersJournal]\nWrite=false\n");
        ini.close();
        const TRunOutput out = Run(s, Args(), QStringLiteral("reg=Петров|Пётр|Петрович|9А;tick=2;finish;exit"));
        QVERIFY2(out.Ended, qPrintable(out.Lines.join(u'\n')));
        QCOMPARE(DataLines(m_results).size(), 1);
        QVERIFY(!QFileInfo::exists(m_answers));

        // The same folder saying nothing of it: written.
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[Other]\nKey=1\n");
        ini.close();
        QVERIFY(Run(s, Args(), QStringLiteral("reg=Сидоров|А|Б|9А;tick=2;finish;exit")).Ended);
        QCOMPARE(AnswersJournal::ReadFile(m_answers).Journal.Records.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_AnswersJournal)
#include "tst_AnswersJournal.moc"
