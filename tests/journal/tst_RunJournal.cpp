// The journal's bytes: what is written reads back equal, and anything else
// (truncated, damaged, foreign, counts that lie) is refused with its offset.
#include <QTest>

#include "RunJournal.h"
#include "TestFileFormat.h"

namespace {
TQuestionPtr Question(const QString &text, const QStringList &variants, const QString &marks)
{
    auto q = std::make_shared<TNQuestion>();
    q->Body = text.toUtf8();
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

// Stored order: I1, Q1 (a b c, b right), Q2 (a b, a right), Q3 (a b c d, c d right).
TQuestionList Stored()
{
    return {Question("I1", {}, {}), Question("Q1", {"1a", "1b", "1c"}, " ! "),
            Question("Q2", {"2a", "2b"}, "! "), Question("Q3", {"3a", "3b", "3c", "3d"}, "  !!")};
}

TRunJournal Sample()
{
    TRunJournal j;
    j.TestHash = TestHash("test bytes");
    j.TestPath = QStringLiteral("/школа/Физика.qe2");
    j.ResultsPath = QStringLiteral("/школа/Физика.res");
    j.LastName = QStringLiteral("Иванов");
    j.FirstName = QStringLiteral("Иван");
    j.Patronymic = QStringLiteral("Иванович");
    j.AddInfo = QStringLiteral("7 «Б»");
    j.AskedCount = 2;
    j.CurQuestion = 3;
    j.SecondsLeft = 517;
    j.ResultTime = 1796000000000;
    j.Items = {{0, {}, {}}, {3, {2, 0, 3, 1}, QStringLiteral("!  !")}, {1, {1, 2, 0}, {}}};
    return j;
}

QByteArray WithCrc(QByteArray b)
{
    // Recomputes the checksum, so the payload checks behind it are reached.
    b.chop(4);
    uchar tail[4];
    TestFileFormat::putU32(tail, JournalChecksum(b.constData(), b.size()));
    b.append(reinterpret_cast<char *>(tail), 4);
    return b;
}

// Offset of the item count in Sample()'s bytes.
qsizetype ItemCountOffset(const QByteArray &b)
{
    return b.size() - 4 - (4 + 2 + 1) - (4 + 2 + 8 + 1 + 4) - (4 + 2 + 6 + 1) - 4;
}
}

class tst_RunJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip()
    {
        const TRunJournal j = Sample();
        const QByteArray bytes = WriteJournal(j);
        QVERIFY(bytes.startsWith("QERUNJNL"));
        QCOMPARE(ReadJournal(bytes), j);
        QCOMPARE(WriteJournal(ReadJournal(bytes)), bytes);
        QCOMPARE(j.FIO(), QStringLiteral("Иванов Иван Иванович (7 «Б»)"));
    }

    void bigRunRoundTrip()
    {
        TRunJournal j = Sample();
        j.Items.clear();
        for (quint32 i = 0; i < 256; ++i) {
            TJournalItem it{i, {}, {}};
            for (quint16 k = 0; k < 10; ++k)
                it.VariantOrder.append(quint16((k * 3 + i) % 10));
            if (i % 2)
                it.UserMarks = QStringLiteral("!  ! !    ");
            j.Items.append(it);
        }
        j.CurQuestion = 256;
        QCOMPARE(ReadJournal(WriteJournal(j)), j);
    }

    void everyTruncationIsRefused()
    {
        const QByteArray bytes = WriteJournal(Sample());
        for (qsizetype n = 0; n < bytes.size(); ++n)
            QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(bytes.left(n)));
    }

    void everyFlippedByteIsRefused()
    {
        const QByteArray bytes = WriteJournal(Sample());
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            QByteArray b = bytes;
            b[i] = char(b[i] ^ 0x20);
            QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(b));
        }
    }

    void foreignAndOtherVersions()
    {
        QByteArray b = WriteJournal(Sample());
        QByteArray v2 = b;
        TestFileFormat::putU32(reinterpret_cast<uchar *>(v2.data()) + JournalFormat::OffVersion, 2);
        try {
            ReadJournal(WithCrc(v2));
            QFAIL("version 2 read");
        } catch (const EJournalError &e) {
            QVERIFY2(e.text().contains(QLatin1String("version 2")), qPrintable(e.text()));
        }
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal("KMQuizEngineFile" + b.mid(16)));
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(QByteArray(64 << 20, 'Q')));
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(b + "x"));
    }

    // Counts that lie are refused before anything is allocated for them, and
    // the message says where.
    void lyingCounts()
    {
        const QByteArray b = WriteJournal(Sample());
        const qsizetype at = ItemCountOffset(b);
        QCOMPARE(TestFileFormat::getU32(reinterpret_cast<const uchar *>(b.constData()) + at), 3u);
        for (quint32 count : {0u, 4u, 65535u, 0xFFFFFFFFu}) {
            QByteArray h = b;
            TestFileFormat::putU32(reinterpret_cast<uchar *>(h.data()) + at, count);
            try {
                ReadJournal(WithCrc(h));
                QFAIL("a lying item count read");
            } catch (const EJournalError &e) {
                QVERIFY2(e.text().contains(QLatin1String("at byte")), qPrintable(e.text()));
            }
        }
        // A variant count far beyond the bytes that remain.
        QByteArray h = b;
        TestFileFormat::putU16(reinterpret_cast<uchar *>(h.data()) + at + 4 + 7 + 4, 999);
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(WithCrc(h)));
        // A string length of 4 GB.
        h = b;
        TestFileFormat::putU32(reinterpret_cast<uchar *>(h.data()) + JournalFormat::OffPayload + 1 + 32, 0xFFFFFFF0u);
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(WithCrc(h)));
    }

    void answersMustBeMarks_data()
    {
        QTest::addColumn<QString>("marks");
        QTest::newRow("spaces only") << QStringLiteral("    ");
        QTest::newRow("other character") << QStringLiteral("!x  ");
    }
    void answersMustBeMarks()
    {
        QFETCH(QString, marks);
        TRunJournal j = Sample();
        j.Items[1].UserMarks = marks;
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(WriteJournal(j)));
    }

    void currentQuestionInRange()
    {
        TRunJournal j = Sample();
        j.CurQuestion = 4;
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(WriteJournal(j)));
        j.CurQuestion = 0;
        QVERIFY_THROWS_EXCEPTION(EJournalError, ReadJournal(WriteJournal(j)));
    }

    void drawnOrderAndRebuild()
    {
        TQuestionList stored = Stored();
        // A run drawn as the player draws it: Q3 with its variants turned, then I1, then Q1.
        TQuestionList run = {stored[3], stored[0], stored[1]};
        QHash<const TNQuestion *, QList<quint16>> orders;
        orders.insert(stored[3].get(), {3, 2, 1, 0});
        stored[3]->Variants = {"3d", "3c", "3b", "3a"};
        stored[3]->RightMarks = "!!  ";
        stored[3]->UserMarks = "! ! ";
        TRunJournal j = Sample();
        j.Items = DrawnOrder(stored, run, orders);
        QCOMPARE(j.Items[0].StoredIndex, 3u);
        QCOMPARE(j.Items[1].VariantOrder, QList<quint16>{});
        QCOMPARE(j.Items[2].VariantOrder, (QList<quint16>{0, 1, 2}));

        // Loaded afresh, the same run comes back: items, variants, key, answers.
        const TQuestionList fresh = Stored();
        j.CurQuestion = 1;
        const TQuestionList back = RebuildRun(ReadJournal(WriteJournal(j)), fresh, 600);
        QCOMPARE(back.size(), std::size_t(3));
        QCOMPARE(back[0]->Variants, (QStringList{"3d", "3c", "3b", "3a"}));
        QCOMPARE(back[0]->RightMarks, QStringLiteral("!!  "));
        QCOMPARE(back[0]->UserMarks, QStringLiteral("! ! "));
        QCOMPARE(back[1]->Body, QByteArray("I1"));
        QCOMPARE(back[2]->Variants, (QStringList{"1a", "1b", "1c"}));
        QVERIFY(back[2]->UserMarks.isEmpty());
    }

    void rebuildRefusesWhatDoesNotFit_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("index past the test") << 0;
        QTest::newRow("question twice") << 1;
        QTest::newRow("variant count differs") << 2;
        QTest::newRow("order no permutation") << 3;
        QTest::newRow("answer length differs") << 4;
        QTest::newRow("more time than the test has") << 5;
        QTest::newRow("asked count above the items") << 6;
    }
    void rebuildRefusesWhatDoesNotFit()
    {
        QFETCH(int, fault);
        TRunJournal j = Sample();
        j.Items = {{0, {}, {}}, {3, {2, 0, 3, 1}, QStringLiteral("!  !")}, {1, {1, 2, 0}, {}}};
        int limit = 600;
        switch (fault) {
        case 0: j.Items[2].StoredIndex = 4; break;
        case 1: j.Items[2].StoredIndex = 3; j.Items[2].VariantOrder = {0, 1, 2, 3}; break;
        case 2: j.Items[2].VariantOrder = {1, 0}; break;
        case 3: j.Items[1].VariantOrder = {2, 2, 3, 1}; break;
        case 4: j.Items[1].UserMarks = QStringLiteral("! "); break;
        case 5: limit = 300; break;
        case 6: j.AskedCount = 4; break;
        }
        const TQuestionList stored = Stored();
        QVERIFY_THROWS_EXCEPTION(EJournalError, RebuildRun(j, stored, limit));
        // The test is left as it was loaded.
        QCOMPARE(stored[3]->Variants, (QStringList{"3a", "3b", "3c", "3d"}));
        QCOMPARE(stored[3]->RightMarks, QStringLiteral("  !!"));
        QVERIFY(stored[3]->UserMarks.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_RunJournal)
#include "tst_RunJournal.moc"
