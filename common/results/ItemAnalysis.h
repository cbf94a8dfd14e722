#pragma once
// Item analysis over an answers journal: which questions were too easy, too
// hard, did not tell strong pupils from weak ones, or misled them. Runs of
// another version of a test (another hash of its bytes) are analysed apart.
#include "AnswersJournal.h"

#include <QList>
#include <QString>
#include <optional>

struct TVariantCount {
    int Chosen = 0;      // pupils who ticked it
    bool Right = false;  // in the key
};

enum TItemFlag : unsigned {
    FlagTooHard = 1,          // facility below 0.2
    FlagTooEasy = 2,          // facility above 0.95
    FlagLowDiscrimination = 4,  // upper/lower discrimination below 0.2
    FlagMisleading = 8,       // a wrong variant chosen more often than a right one
};

struct TItemStats {
    int Position = 0;         // 1-based, in the test file
    QString TextHash, TextStart;
    int Seen = 0;             // runs that asked it
    int Answered = 0;
    int FullyRight = 0;
    double Facility = 0;      // FullyRight / Seen
    // Facility among the upper 27 % of the runs that saw it (by their total)
    // minus that among the lower 27 %; absent with fewer than two runs.
    std::optional<double> Discrimination;
    // Between answered fully right (1/0) and the run's total in percent, over
    // the runs that saw it; absent when either does not vary.
    std::optional<double> PointBiserial;
    QList<TVariantCount> Variants;  // in the file's order
    unsigned Flags = 0;
};

struct TItemVersion {
    QString TestName;
    QString TestHash;         // 64 hex digits
    int Runs = 0;
    QDateTime First, Last;    // of its runs
    QList<TItemStats> Items;  // by position
    // Occurrences left out because they contradict the first of the same
    // position in this version (another text, another number of variants).
    int Mismatched = 0;
};

// The columns of the table, as the window and the spreadsheet title them.
enum class TItemColumn { Position, Text, Seen, Answered, Facility, Discrimination, PointBiserial, Variants, Flags, Count };

namespace ItemAnalysis {
inline constexpr double UpperLowerShare = 0.27;
inline constexpr double HardBelow = 0.2;
inline constexpr double EasyAbove = 0.95;
inline constexpr double DiscriminationBelow = 0.2;

// One entry per test and hash among records (of test only, when given),
// sorted by test name, then by the first run.
QList<TItemVersion> Analyse(const QList<TAnswersRecord> &records, const std::optional<QString> &test = {});

QString ColumnTitle(TItemColumn c);

// The flags in words, "; " between them.
QString FlagsText(unsigned flags);
// "1) 12 ✔  2) 3  3) 15": each variant's count, the right ones marked.
QString VariantsText(const TItemStats &item);
// "0,53" / "—" for an absent value.
QString Number(std::optional<double> value);
// A version for people: "demo, версия 3f2a9c01, 30 прохождений, 09.12.26–10.12.26".
QString VersionTitle(const TItemVersion &v);
}
