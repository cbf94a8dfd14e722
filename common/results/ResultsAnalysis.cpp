#include "ResultsAnalysis.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

qint64 Minutes(const TResultRow &r) { return r.Date.toJulianDay() * 1440 + r.Time.hour() * 60 + r.Time.minute(); }

const QString &Text(const TResultRow &r, TResultsColumn c)
{
    switch (c) {
    case TResultsColumn::Test: return r.TestName;
    case TResultsColumn::LastName: return r.LastName;
    case TResultsColumn::FirstName: return r.FirstName;
    case TResultsColumn::Patronymic: return r.Patronymic;
    default: return r.Extra;
    }
}

bool IsText(TResultsColumn c)
{
    return c == TResultsColumn::Test || c == TResultsColumn::LastName || c == TResultsColumn::FirstName
           || c == TResultsColumn::Patronymic || c == TResultsColumn::Extra;
}

QStringList Distinct(const QList<TResultRow> &rows, const QString TResultRow::*field)
{
    QMap<QString, QString> seen;  // folded for order, first spelling kept
    for (const TResultRow &r : rows) {
        const QString &s = r.*field;
        const QString key = Results::FoldName(s) + QChar(0) + s;
        if (!seen.contains(key))
            seen.insert(key, s);
    }
    return seen.values();
}

bool Matches(const TResultsFilter &f, const TResultRow &r, const QString &foldedSurname)
{
    if ((f.Test && r.TestName != *f.Test) || (f.Extra && r.Extra != *f.Extra))
        return false;
    if ((f.From.isValid() && r.Date < f.From) || (f.To.isValid() && r.Date > f.To))
        return false;
    return foldedSurname.isEmpty() || Results::FoldName(r.LastName).contains(foldedSurname);
}

}  // namespace

bool TResultsFilter::Accepts(const TResultRow &r) const { return Matches(*this, r, Results::FoldName(Surname)); }

namespace Results {

QString ColumnTitle(TResultsColumn c)
{
    static const QStringList titles{
        QStringLiteral("Дата"), QStringLiteral("Время"), QStringLiteral("Тест"), QStringLiteral("Фамилия"),
        QStringLiteral("Имя"), QStringLiteral("Отчество"), QStringLiteral("Доп. инф."), QStringLiteral("Балл"),
        QStringLiteral("Возможный балл"), QStringLiteral("Процент"), QStringLiteral("Оценка"),
        QStringLiteral("Попытка")};
    return titles.value(int(c));
}

QList<int> Filter(const QList<TResultRow> &rows, const TResultsFilter &filter)
{
    const QString surname = FoldName(filter.Surname);
    QList<int> out;
    out.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i)
        if (Matches(filter, rows.at(i), surname))
            out.append(i);
    return out;
}

void Sort(const QList<TResultRow> &rows, QList<int> &indices, TResultsColumn column, bool descending,
          const TMarkScale &scale)
{
    auto order = [descending](int c) { return descending ? c > 0 : c < 0; };
    if (column == TResultsColumn::LastName) {
        // Surname, first name, patronymic at once: the folded names in
        // Windows-1251, where small Cyrillic letters go in alphabetical order.
        std::vector<std::pair<QByteArray, int>> keys;
        keys.reserve(size_t(indices.size()));
        for (int i : std::as_const(indices))
            keys.emplace_back(NameKey(rows.at(i)), i);
        std::stable_sort(keys.begin(), keys.end(), [&](const auto &x, const auto &y) {
            return order(x.first.compare(y.first));
        });
        for (size_t k = 0; k < keys.size(); ++k)
            indices[qsizetype(k)] = keys[k].second;
        return;
    }
    if (IsText(column)) {
        std::vector<std::pair<QString, int>> keys;
        keys.reserve(size_t(indices.size()));
        for (int i : std::as_const(indices))
            keys.emplace_back(FoldName(Text(rows.at(i), column)), i);
        std::stable_sort(keys.begin(), keys.end(), [&](const auto &x, const auto &y) {
            return order(x.first.compare(y.first));
        });
        for (size_t k = 0; k < keys.size(); ++k)
            indices[qsizetype(k)] = keys[k].second;
        return;
    }
    auto key = [&](const TResultRow &r) -> qint64 {
        switch (column) {
        case TResultsColumn::Date: return Minutes(r);
        case TResultsColumn::Time: return qint64(r.Time.hour() * 60 + r.Time.minute()) * 10000000 + r.Date.toJulianDay();
        case TResultsColumn::Score: return r.Score;
        case TResultsColumn::PossibleScore: return r.PossibleScore;
        case TResultsColumn::Percent: return r.Percent100;
        case TResultsColumn::Mark: return scale.Mark(r) * qint64(1000000) + r.Percent100;
        case TResultsColumn::Attempt: return r.Attempt;
        default: return 0;
        }
    };
    std::vector<std::pair<qint64, int>> keys;
    keys.reserve(size_t(indices.size()));
    for (int i : std::as_const(indices))
        keys.emplace_back(key(rows.at(i)), i);
    std::stable_sort(keys.begin(), keys.end(), [&](const auto &x, const auto &y) {
        return order(x.first < y.first ? -1 : x.first > y.first ? 1 : 0);
    });
    for (size_t k = 0; k < keys.size(); ++k)
        indices[qsizetype(k)] = keys[k].second;
}

TResultsStats Statistics(const QList<TResultRow> &rows, const QList<int> &indices, const TMarkScale &scale)
{
    TResultsStats s;
    s.Count = int(indices.size());
    if (s.Count == 0)
        return s;
    std::vector<int> values;
    values.reserve(size_t(s.Count));
    for (int i : indices) {
        const TResultRow &r = rows.at(i);
        values.push_back(r.Percent100);
        ++s.Marks[size_t(scale.Mark(r) - 2)];
        ++s.Bins[size_t(std::clamp(r.Percent100 / 1000, 0, 9))];
    }
    std::sort(values.begin(), values.end());
    const double sum = std::accumulate(values.begin(), values.end(), 0.0);
    s.Mean = sum / s.Count / 100.0;
    const size_t mid = values.size() / 2;
    s.Median = (values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0) / 100.0;
    s.Min = values.front() / 100.0;
    s.Max = values.back() / 100.0;
    double squares = 0;
    for (int v : values) {
        const double d = v / 100.0 - s.Mean;
        squares += d * d;
    }
    s.StdDev = std::sqrt(squares / s.Count);
    return s;
}

QStringList Tests(const QList<TResultRow> &rows) { return Distinct(rows, &TResultRow::TestName); }
QStringList Extras(const QList<TResultRow> &rows) { return Distinct(rows, &TResultRow::Extra); }

QList<std::pair<QString, QList<int>>> Group(const QList<TResultRow> &rows, const QList<int> &indices, TGroupBy by)
{
    QMap<QString, std::pair<QString, QList<int>>> groups;
    for (int i : indices) {
        const QString &name = by == TGroupBy::Extra ? rows.at(i).Extra : rows.at(i).TestName;
        auto &g = groups[FoldName(name) + QChar(0) + name];
        g.first = name;
        g.second.append(i);
    }
    return groups.values();
}

QString FormatPercent100(double percent)
{
    return QString::number(percent, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString BinTitle(int bin) { return QStringLiteral("%1–%2").arg(bin * 10).arg(bin * 10 + 10); }

}  // namespace Results
