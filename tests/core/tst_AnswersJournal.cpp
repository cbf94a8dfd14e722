// The answers journal's records: written and read back, the name beside the
// results file, and lines that are not whole records refused with a reason
// and counted, never taken in part.
#include <QtTest>
#include <QCryptographicHash>
#include <QTemporaryDir>

#include "AnswersJournal.h"

namespace {
TAnswersRecord Sample()
{
    TAnswersRecord r;
    r.When = QDateTime(QDate(2026, 12, 10), QTime(9, 5, 31));
    r.TestName = QStringLiteral("Химия \"9\"\tкласс");
    r.TestHash = QString(64, u'0');
    r.LastName = QStringLiteral("Ёлкина");
    r.FirstName = QStringLiteral("Мария");
    r.Patronymic = QString();
    r.Extra = QStringLiteral("9А");
    r.WholeQuestions = true;
    r.Score = 1;
    r.PossibleScore = 2;
    TAnswerItem a;
    a.Position = 3;
    a.TextHash = QStringLiteral("0123456789abcdef");
    a.TextStart = QStringLiteral("Столица Франции");
    a.Order = {2, 0, 1};
    a.Marks = QStringLiteral("!  ");
    a.Key = QStringLiteral(" ! ");
    TAnswerItem b = a;
    b.Position = 1;
    b.Marks.clear();
    r.Items = {a, b};
    return r;
}

QByteArray Replace(QByteArray line, const char *from, const char *to)
{
    return line.replace(from, to);
}
} // namespace

class tst_AnswersJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip()
    {
        const TAnswersRecord r = Sample();
        const QByteArray line = AnswersJournal::RecordLine(r);
        QVERIFY(line.endsWith('\n'));
        QCOMPARE(line.count('\n'), 1);  // a TAB or LF typed in a name stays inside the line
        TAnswersRecord back;
        QString why;
        QVERIFY2(AnswersJournal::ParseRecord(line.chopped(1), &back, &why), qPrintable(why));
        QCOMPARE(back, r);
        QVERIFY(line.contains("\"answered\":false"));
        QVERIFY(line.contains("\"scoring\":\"question\""));
        QVERIFY(line.contains("\"when\":\"2026-12-10T09:05:31\""));
    }

    void nameBesideTheResults_data()
    {
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("answers");
        QTest::newRow("res") << "/srv/9А.res" << "/srv/9А.answers";
        QTest::newRow("two dots") << "/srv/9.А.res" << "/srv/9.А.answers";
        QTest::newRow("no extension") << "/srv/results" << "/srv/results.answers";
        QTest::newRow("dot in the folder") << "/srv/a.b/results" << "/srv/a.b/results.answers";
        QTest::newRow("hidden") << "/srv/.res" << "/srv/.res.answers";
        QTest::newRow("relative") << "Физика.res" << "Физика.answers";
    }
    void nameBesideTheResults()
    {
        QFETCH(QString, results);
        QFETCH(QString, answers);
        QCOMPARE(AnswersJournal::PathFor(results), answers);
    }

    void textHashIsOfThePlainLines()
    {
        TNQuestion q;
        q.PlainLines.Add(QStringLiteral("Сколько будет"));
        q.PlainLines.Add(QStringLiteral("2 + 2?"));
        // SHA-256 of "Сколько будет\n2 + 2?" in UTF-8, first 16 hex digits.
        const QByteArray expected = QCryptographicHash::hash(QStringLiteral("Сколько будет\n2 + 2?").toUtf8(),
                                                             QCryptographicHash::Sha256).toHex().left(16);
        QCOMPARE(AnswersJournal::QuestionTextHash(q), QString::fromLatin1(expected));
        TNQuestion other = q;
        other.PlainLines.Put(1, QStringLiteral("2 + 3?"));
        QVERIFY(AnswersJournal::QuestionTextHash(other) != AnswersJournal::QuestionTextHash(q));
        // The body's bytes do not matter, the text does.
        other = q;
        other.Body = "{\\rtf1 other}";
        QCOMPARE(AnswersJournal::QuestionTextHash(other), AnswersJournal::QuestionTextHash(q));
        q.PlainLines.Put(0, QString(200, u'ж'));
        QCOMPARE(AnswersJournal::QuestionTextStart(q).size(), AnswersJournal::TextStartChars);
    }

    void refusedLines_data()
    {
        const QByteArray good = AnswersJournal::RecordLine(Sample()).chopped(1);
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("cut") << good.left(good.size() / 2);
        QTest::newRow("not an object") << QByteArray("[1,2]");
        QTest::newRow("foreign") << Replace(good, "qe2-answers", "other");
        QTest::newRow("newer version") << Replace(good, "\"version\":1", "\"version\":2");
        QTest::newRow("no date") << Replace(good, "2026-12-10T09:05:31", "yesterday");
        QTest::newRow("short hash") << Replace(good, QByteArray(64, '0').constData(), "00");
        QTest::newRow("score above possible") << Replace(good, "\"score\":1", "\"score\":3");
        QTest::newRow("fractional score") << Replace(good, "\"score\":1", "\"score\":0.5");
        QTest::newRow("unknown scoring") << Replace(good, "\"question\"", "\"other\"");
        QTest::newRow("position 0") << Replace(good, "\"pos\":3", "\"pos\":0");
        QTest::newRow("position twice") << Replace(good, "\"pos\":1", "\"pos\":3");
        QTest::newRow("order not a permutation") << Replace(good, "[2,0,1]", "[2,2,1]");
        QTest::newRow("order out of range") << Replace(good, "[2,0,1]", "[3,0,1]");
        QTest::newRow("marks too short") << Replace(good, "\"marks\":\"!  \"", "\"marks\":\"! \"");
        QTest::newRow("marks of another kind") << Replace(good, "\"marks\":\"!  \"", "\"marks\":\"x  \"");
        QTest::newRow("answered without marks") << Replace(good, "\"answered\":false", "\"answered\":true");
        QTest::newRow("ticks nothing") << Replace(good, "\"marks\":\"!  \"", "\"marks\":\"   \"");
        QTest::newRow("key and order disagree") << Replace(good, "\"key\":\" ! \"", "\"key\":\" !  \"");
        QTest::newRow("bad text hash") << Replace(good, "0123456789abcdef", "0123456789ABCDEF");
    }
    void refusedLines()
    {
        QFETCH(QByteArray, line);
        TAnswersRecord r = Sample();
        const TAnswersRecord before = r;
        QString why;
        QVERIFY(!AnswersJournal::ParseRecord(line, &r, &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(r, before);  // nothing taken in part
    }

    // Damaged lines are counted with their numbers; the others are read.
    void journalWithDamage()
    {
        const QByteArray good = AnswersJournal::RecordLine(Sample());
        const QByteArray bytes = good + "\n" + "{\"format\":\"qe2-answers\"\n" + good + good.left(40);
        const TAnswersJournal j = AnswersJournal::Parse(bytes);
        QCOMPARE(j.Records.size(), 2);
        QCOMPARE(j.BadCount, 2);
        QCOMPARE(j.Bad.size(), 2);
        QCOMPARE(j.Bad[0].Line, 3);
        QCOMPARE(j.Bad[1].Line, 5);
        // CR LF as a copy through Windows leaves it.
        QByteArray crlf = good;
        crlf.replace('\n', "\r\n");
        QCOMPARE(AnswersJournal::Parse(crlf + crlf).Records.size(), 2);
    }

    void readFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("9А.answers"));
        QCOMPARE(int(AnswersJournal::ReadFile(path).Status), int(AnswersJournal::TReadStatus::Missing));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(AnswersJournal::RecordLine(Sample()));
        f.close();
        const AnswersJournal::TReadOutcome out = AnswersJournal::ReadFile(path);
        QCOMPARE(int(out.Status), int(AnswersJournal::TReadStatus::Ok));
        QCOMPARE(out.Journal.Records.size(), 1);
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("dir.answers"))));
        const AnswersJournal::TReadOutcome d = AnswersJournal::ReadFile(dir.filePath(QStringLiteral("dir.answers")));
        QCOMPARE(int(d.Status), int(AnswersJournal::TReadStatus::Failed));
        QVERIFY(!d.Error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_AnswersJournal)
#include "tst_AnswersJournal.moc"
