#include "ItemAnalysis.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <map>

namespace ItemAnalysis {

namespace {

struct TOccurrence {
    double Total = 0;  // the run's percent
    bool Right = false;
};

struct TItemAcc {
    TItemStats Stats;
    QList<TOccurrence> Runs;
};

double PercentOf(const TAnswersRecord &r)
{
    return r.PossibleScore > 0 ? 100.0 * r.Score / r.PossibleScore : 0.0;
}

void Finish(TItemAcc &acc)
{
    TItemStats &s = acc.Stats;
    const int n = int(acc.Runs.size());
    s.Facility = n > 0 ? double(s.FullyRight) / n : 0.0;

    if (n >= 2) {
        QList<TOccurrence> sorted = acc.Runs;
        // Highest totals first; equal totals keep the order of the runs.
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const TOccurrence &a, const TOccurrence &b) { return a.Total > b.Total; });
        const int group = std::max(1, int(std::lround(n * UpperLowerShare)));
        int upper = 0, lower = 0;
        for (int i = 0; i < group; ++i) {
            upper += sorted[i].Right;
            lower += sorted[n - 1 - i].Right;
        }
        s.Discrimination = double(upper - lower) / group;
    }

    // r = (M1 - M0) / sd * sqrt(p q), sd of all the totals (divided by n).
    double mean = 0;
    for (const TOccurrence &o : acc.Runs)
        mean += o.Total;
    mean = n > 0 ? mean / n : 0;
    double var = 0;
    for (const TOccurrence &o : acc.Runs)
        var += (o.Total - mean) * (o.Total - mean);
    const double sd = n > 0 ? std::sqrt(var / n) : 0;
    const int right = s.FullyRight;
    if (sd > 1e-9 && right > 0 && right < n) {
        double m1 = 0, m0 = 0;
        for (const TOccurrence &o : acc.Runs)
            (o.Right ? m1 : m0) += o.Total;
        m1 /= right;
        m0 /= (n - right);
        const double p = double(right) / n;
        s.PointBiserial = (m1 - m0) / sd * std::sqrt(p * (1 - p));
    }

    if (n > 0 && s.Facility < HardBelow)
        s.Flags |= FlagTooHard;
    if (n > 0 && s.Facility > EasyAbove)
        s.Flags |= FlagTooEasy;
    if (s.Discrimination && *s.Discrimination < DiscriminationBelow)
        s.Flags |= FlagLowDiscrimination;
    int leastRight = -1, mostWrong = -1;
    for (const TVariantCount &v : s.Variants) {
        if (v.Right)
            leastRight = leastRight < 0 ? v.Chosen : std::min(leastRight, v.Chosen);
        else
            mostWrong = std::max(mostWrong, v.Chosen);
    }
    if (leastRight >= 0 && mostWrong > leastRight)
        s.Flags |= FlagMisleading;
}

} // namespace

QList<TItemVersion> Analyse(const QList<TAnswersRecord> &records, const std::optional<QString> &test)
{
    struct TVersionAcc {
        TItemVersion Version;
        std::map<int, TItemAcc> Items;
    };
    QList<TVersionAcc> versions;
    QHash<QString, int> index;  // test name + '\n' + hash
    for (const TAnswersRecord &r : records) {
        if (test && r.TestName != *test)
            continue;
        const QString key = r.TestName + u'\n' + r.TestHash;
        auto found = index.constFind(key);
        if (found == index.constEnd()) {
            found = index.insert(key, int(versions.size()));
            TVersionAcc v;
            v.Version.TestName = r.TestName;
            v.Version.TestHash = r.TestHash;
            v.Version.First = v.Version.Last = r.When;
            versions.append(std::move(v));
        }
        TVersionAcc &v = versions[*found];
        ++v.Version.Runs;
        v.Version.First = std::min(v.Version.First, r.When);
        v.Version.Last = std::max(v.Version.Last, r.When);
        const double total = PercentOf(r);
        for (const TAnswerItem &it : r.Items) {
            auto [pos, fresh] = v.Items.try_emplace(it.Position);
            TItemAcc &acc = pos->second;
            if (fresh) {
                acc.Stats.Position = it.Position;
                acc.Stats.TextHash = it.TextHash;
                acc.Stats.TextStart = it.TextStart;
                for (QChar c : it.Key)
                    acc.Stats.Variants.append({0, c == u'!'});
            } else if (acc.Stats.TextHash != it.TextHash || acc.Stats.Variants.size() != it.Key.size()) {
                ++v.Version.Mismatched;
                continue;
            }
            TItemStats &s = acc.Stats;
            ++s.Seen;
            const bool right = it.FullyRight();
            if (it.Answered()) {
                ++s.Answered;
                for (qsizetype k = 0; k < it.Marks.size(); ++k)
                    if (it.Marks[k] == u'!' && k < s.Variants.size())
                        ++s.Variants[k].Chosen;
            }
            s.FullyRight += right;
            acc.Runs.append({total, right});
        }
    }
    QList<TItemVersion> out;
    out.reserve(versions.size());
    for (TVersionAcc &v : versions) {
        for (auto &[pos, acc] : v.Items) {
            Finish(acc);
            v.Version.Items.append(std::move(acc.Stats));
        }
        out.append(std::move(v.Version));
    }
    std::stable_sort(out.begin(), out.end(), [](const TItemVersion &a, const TItemVersion &b) {
        if (a.TestName != b.TestName)
            return a.TestName.localeAwareCompare(b.TestName) < 0;
        return a.First < b.First;
    });
    return out;
}

QString ColumnTitle(TItemColumn c)
{
    switch (c) {
    case TItemColumn::Position: return QStringLiteral("№");
    case TItemColumn::Text: return QStringLiteral("Вопрос");
    case TItemColumn::Seen: return QStringLiteral("Видели");
    case TItemColumn::Answered: return QStringLiteral("Ответили");
    case TItemColumn::Facility: return QStringLiteral("Решаемость");
    case TItemColumn::Discrimination: return QStringLiteral("Различение (27 %)");
    case TItemColumn::PointBiserial: return QStringLiteral("Бисериальная r");
    case TItemColumn::Variants: return QStringLiteral("Выбор вариантов (✔ верные)");
    case TItemColumn::Flags: return QStringLiteral("Замечания");
    case TItemColumn::Count: break;
    }
    return QString();
}

QString FlagsText(unsigned flags)
{
    QStringList parts;
    if (flags & FlagTooHard)
        parts << QStringLiteral("слишком трудный");
    if (flags & FlagTooEasy)
        parts << QStringLiteral("слишком легкий");
    if (flags & FlagLowDiscrimination)
        parts << QStringLiteral("плохо различает сильных и слабых");
    if (flags & FlagMisleading)
        parts << QStringLiteral("неверный вариант выбирают чаще верного");
    return parts.join(QStringLiteral("; "));
}

QString VariantsText(const TItemStats &item)
{
    QStringList parts;
    for (qsizetype k = 0; k < item.Variants.size(); ++k)
        parts << QStringLiteral("%1) %2%3").arg(k + 1).arg(item.Variants[k].Chosen)
                     .arg(item.Variants[k].Right ? QStringLiteral(" ✔") : QString());
    return parts.join(QStringLiteral("  "));
}

QString Number(std::optional<double> value)
{
    if (!value)
        return QStringLiteral("—");
    // -0,00 reads as a fault.
    const double v = std::fabs(*value) < 0.005 ? 0.0 : *value;
    return QString::number(v, 'f', 2).replace(u'.', u',');
}

QString VersionTitle(const TItemVersion &v)
{
    const QString when = v.First.date() == v.Last.date()
        ? v.First.toString(QStringLiteral("dd.MM.yy"))
        : v.First.toString(QStringLiteral("dd.MM.yy")) + QChar(0x2013) + v.Last.toString(QStringLiteral("dd.MM.yy"));
    return QStringLiteral("%1, версия %2, прохождений: %3, %4")
        .arg(v.TestName, v.TestHash.left(8)).arg(v.Runs).arg(when);
}

} // namespace ItemAnalysis
