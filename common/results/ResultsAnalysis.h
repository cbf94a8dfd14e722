#pragma once
// Marks, filters, sorting and statistics over the rows of a results file.
// Every function takes the rows and a list of row indices (what a filter
// shows, in the order shown), so that the rows themselves are never copied.
#include "ResultsReader.h"

#include <QStringList>
#include <array>
#include <optional>

// The five-point scale: a percent at or above Five gives "5", at or above
// Four "4", at or above Three "3", below it "2". Thresholds in hundredths.
struct TMarkScale {
    int Five = 8500;
    int Four = 7000;
    int Three = 5000;

    bool IsValid() const { return 0 <= Three && Three <= Four && Four <= Five && Five <= 10000; }
    int Mark(int percent100) const
    {
        return percent100 >= Five ? 5 : percent100 >= Four ? 4 : percent100 >= Three ? 3 : 2;
    }
    int Mark(const TResultRow &r) const { return Mark(r.Percent100); }
    bool operator==(const TMarkScale &) const = default;
};

struct TResultsFilter {
    std::optional<QString> Test;   // this test only
    QDate From, To;                // inclusive; a null date leaves that side open
    std::optional<QString> Extra;  // this additional information only (may be "")
    QString Surname;               // a part of the surname, case and "ё" aside

    bool Accepts(const TResultRow &r) const;
};

// The columns of the table, in the order shown.
enum class TResultsColumn {
    Date, Time, Test, LastName, FirstName, Patronymic, Extra,
    Score, PossibleScore, Percent, Mark, Attempt, Count
};

struct TResultsStats {
    int Count = 0;
    // Of the percent; all 0 when Count is 0.
    double Mean = 0, Median = 0, Min = 0, Max = 0;
    double StdDev = 0;            // of the runs shown (divided by Count, not Count - 1)
    std::array<int, 4> Marks{};   // runs with "2", "3", "4", "5"
    std::array<int, 10> Bins{};   // 0–10, 10–20, … 90–100 (100 and above in the last)

    int MarkCount(int mark) const { return Marks.at(size_t(mark - 2)); }
};

namespace Results {
// The header texts of the columns.
QString ColumnTitle(TResultsColumn c);

// Indices of the rows the filter accepts, in file order.
QList<int> Filter(const QList<TResultRow> &rows, const TResultsFilter &filter);
// Stable: rows equal by the column keep their order. Dates sort with their
// times, times of day with their dates, names alphabetically ("ё" as "е").
void Sort(const QList<TResultRow> &rows, QList<int> &indices, TResultsColumn column, bool descending,
          const TMarkScale &scale = {});
TResultsStats Statistics(const QList<TResultRow> &rows, const QList<int> &indices, const TMarkScale &scale);

// The tests and the additional informations that occur, sorted, each once.
QStringList Tests(const QList<TResultRow> &rows);
QStringList Extras(const QList<TResultRow> &rows);

// Indices grouped by additional information (the class) or by test, groups sorted.
enum class TGroupBy { Extra, Test };
QList<std::pair<QString, QList<int>>> Group(const QList<TResultRow> &rows, const QList<int> &indices, TGroupBy by);

// "58,33", a percent for people, with the decimal comma.
QString FormatPercent100(double percent);
// The label of a percent bin: "0–10" … "90–100".
QString BinTitle(int bin);
}
