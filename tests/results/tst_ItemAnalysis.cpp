// Item analysis against values worked out by hand on small classes:
// facility, upper/lower 27 % discrimination, the point-biserial correlation,
// variant counts and flags, versions of a test kept apart.
#include <QtTest>

#include "ItemAnalysis.h"

namespace {
const QString HashV1 = QString(64, u'a');
const QString HashV2 = QString(64, u'b');

TAnswerItem Item(int pos, const QString &key, const QString &marks, const QString &hash = QStringLiteral("0123456789abcdef"))
{
    TAnswerItem it;
    it.Position = pos;
    it.TextHash = hash;
    it.TextStart = QStringLiteral("Вопрос %1").arg(pos);
    it.Key = key;
    it.Marks = marks;
    for (int k = 0; k < key.size(); ++k)
        it.Order.append(k);
    return it;
}

TAnswersRecord Run(const QString &name, int percent, QList<TAnswerItem> items, const QString &hash = HashV1,
                   const QString &test = QStringLiteral("Физика"))
{
    TAnswersRecord r;
    r.When = QDateTime(QDate(2026, 12, 10), QTime(9, 0));
    r.TestName = test;
    r.TestHash = hash;
    r.LastName = name;
    r.Score = percent;
    r.PossibleScore = 100;
    r.Items = std::move(items);
    return r;
}

const TItemStats *At(const TItemVersion &v, int pos)
{
    for (const TItemStats &s : v.Items)
        if (s.Position == pos)
            return &s;
    return nullptr;
}
} // namespace

class tst_ItemAnalysis : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Five pupils with totals 100, 80, 60, 40, 20 %.
    //  Q1 (key " ! "): right, right, "!  ", right, unanswered.
    //  Q2 (all right, the last pupil was not asked it).
    //  Q4 (key "!  !"): right, then four wrong, three of them ticking variant 2.
    void smallClassByHand()
    {
        const QList<TAnswersRecord> runs{
            Run("П1", 100, {Item(1, " ! ", " ! "), Item(2, "! ", "! "), Item(4, "!  !", "!  !")}),
            Run("П2", 80, {Item(1, " ! ", " ! "), Item(2, "! ", "! "), Item(4, "!  !", "!!  ")}),
            Run("П3", 60, {Item(1, " ! ", "!  "), Item(2, "! ", "! "), Item(4, "!  !", " !  ")}),
            Run("П4", 40, {Item(1, " ! ", " ! "), Item(2, "! ", "! "), Item(4, "!  !", " !  ")}),
            Run("П5", 20, {Item(4, "!  !", " ! !"), Item(1, " ! ", "")}),
        };
        const QList<TItemVersion> vs = ItemAnalysis::Analyse(runs);
        QCOMPARE(vs.size(), 1);
        const TItemVersion &v = vs.first();
        QCOMPARE(v.Runs, 5);
        QCOMPARE(v.Items.size(), 3);
        QCOMPARE(v.Items[0].Position, 1);   // by position, whatever the order shown
        QCOMPARE(v.Items[2].Position, 4);

        const TItemStats &q1 = *At(v, 1);
        QCOMPARE(q1.Seen, 5);
        QCOMPARE(q1.Answered, 4);
        QCOMPARE(q1.FullyRight, 3);
        QCOMPARE(q1.Facility, 0.6);
        // 27 % of 5 is one pupil each side: 1 - 0.
        QVERIFY(q1.Discrimination);
        QCOMPARE(*q1.Discrimination, 1.0);
        // M1 = 73.33, M0 = 40, sd = 28.28, p = 0.6: 1/sqrt(3).
        QVERIFY(q1.PointBiserial);
        QVERIFY(qAbs(*q1.PointBiserial - 0.5773503) < 1e-6);
        QCOMPARE(q1.Variants.size(), 3);
        QCOMPARE(q1.Variants[0].Chosen, 1);
        QCOMPARE(q1.Variants[1].Chosen, 3);
        QCOMPARE(q1.Variants[2].Chosen, 0);
        QVERIFY(!q1.Variants[0].Right && q1.Variants[1].Right);
        QCOMPARE(q1.Flags, 0u);

        // All right: too easy, tells nobody apart, no correlation to speak of.
        const TItemStats &q2 = *At(v, 2);
        QCOMPARE(q2.Seen, 4);
        QCOMPARE(q2.Facility, 1.0);
        QCOMPARE(*q2.Discrimination, 0.0);
        QVERIFY(!q2.PointBiserial);
        QCOMPARE(q2.Flags, unsigned(FlagTooEasy | FlagLowDiscrimination));

        // Facility 0.2 exactly is not "below 0.2"; variant 2 (wrong, 4) beats variant 4 (right, 2).
        const TItemStats &q4 = *At(v, 4);
        QCOMPARE(q4.Facility, 0.2);
        QCOMPARE(*q4.Discrimination, 1.0);
        QVERIFY(qAbs(*q4.PointBiserial - 0.7071068) < 1e-6);
        QCOMPARE(q4.Variants[0].Chosen, 2);
        QCOMPARE(q4.Variants[1].Chosen, 4);
        QCOMPARE(q4.Variants[2].Chosen, 0);
        QCOMPARE(q4.Variants[3].Chosen, 2);
        QCOMPARE(q4.Flags, unsigned(FlagMisleading));
        QCOMPARE(ItemAnalysis::VariantsText(q4), QStringLiteral("1) 2 ✔  2) 4  3) 0  4) 2 ✔"));
        QCOMPARE(ItemAnalysis::FlagsText(q4.Flags), QStringLiteral("неверный вариант выбирают чаще верного"));
        QCOMPARE(ItemAnalysis::Number(q4.PointBiserial), QStringLiteral("0,71"));
        QCOMPARE(ItemAnalysis::Number(std::nullopt), QStringLiteral("—"));
    }

    // Ten pupils, 10 % to 100 %, right: 100, 80 and 30. Three pupils a side
    // (27 % of 10, rounded): 2/3 - 1/3; two a side would give 0.5, four 0.25.
    void upperAndLowerThreeOfTen()
    {
        QList<TAnswersRecord> runs;
        for (int p = 10; p <= 100; p += 10) {
            const bool right = p == 100 || p == 80 || p == 30;
            runs.append(Run(QString::number(p), p, {Item(1, "! ", right ? "! " : " !")}));
        }
        const TItemStats &s = ItemAnalysis::Analyse(runs).first().Items.first();
        QCOMPARE(s.FullyRight, 3);
        QVERIFY(qAbs(*s.Discrimination - 1.0 / 3) < 1e-12);
        QVERIFY(qAbs(*s.PointBiserial - 0.3418817) < 1e-6);
        // Seven ticked the wrong variant, three the right one.
        QCOMPARE(s.Flags, unsigned(FlagMisleading));
        QCOMPARE(ItemAnalysis::Number(s.Discrimination), QStringLiteral("0,33"));
    }

    void hardAndNotDiscriminating()
    {
        QList<TAnswersRecord> runs;
        for (int i = 0; i < 6; ++i)
            runs.append(Run(QString::number(i), 50, {Item(3, "!  ", i == 0 ? "!  " : " ! ")}));
        const TItemStats &s = ItemAnalysis::Analyse(runs).first().Items.first();
        QVERIFY(qAbs(s.Facility - 1.0 / 6) < 1e-12);
        // Equal totals: no correlation; the upper group is the first run.
        QVERIFY(!s.PointBiserial);
        QCOMPARE(s.Flags, unsigned(FlagTooHard | FlagMisleading));
        // A single run tells nothing about discrimination.
        const TItemStats &one = ItemAnalysis::Analyse({runs.first()}).first().Items.first();
        QVERIFY(!one.Discrimination);
        QCOMPARE(one.Flags, unsigned(FlagTooEasy));
    }

    // Another hash is another version; another test is not this one; an
    // entry whose text differs from the first of its position is left out.
    void versionsKeptApart()
    {
        const QList<TAnswersRecord> runs{
            Run("А", 100, {Item(1, "! ", "! ")}),
            Run("Б", 0, {Item(1, "! ", " !")}, HashV2),
            Run("В", 50, {Item(1, "! ", "! "), Item(2, "! ", "! ")}, HashV1, QStringLiteral("Алгебра")),
            Run("Г", 100, {Item(1, "! ", "! ", QStringLiteral("fedcba9876543210"))}),
            Run("Д", 100, {Item(1, "!!!", "!!!")}),
        };
        const QList<TItemVersion> all = ItemAnalysis::Analyse(runs);
        QCOMPARE(all.size(), 3);
        QCOMPARE(all[0].TestName, QStringLiteral("Алгебра"));
        const QList<TItemVersion> physics = ItemAnalysis::Analyse(runs, QStringLiteral("Физика"));
        QCOMPARE(physics.size(), 2);
        QCOMPARE(physics[0].TestHash, HashV1);
        QCOMPARE(physics[0].Runs, 3);
        QCOMPARE(physics[0].Mismatched, 2);
        QCOMPARE(physics[0].Items.first().Seen, 1);
        QCOMPARE(physics[0].Items.first().Facility, 1.0);
        QCOMPARE(physics[1].TestHash, HashV2);
        QCOMPARE(physics[1].Items.first().Facility, 0.0);
        QVERIFY(ItemAnalysis::VersionTitle(physics[1]).contains(QStringLiteral("версия bbbbbbbb")));
    }
};

QTEST_GUILESS_MAIN(tst_ItemAnalysis)
#include "tst_ItemAnalysis.moc"
