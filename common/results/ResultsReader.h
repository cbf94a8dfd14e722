#pragma once
// Reading results files as the player writes them: Windows-1251, one TAB
// between fields, CR LF, the percent with a decimal comma. The file is only
// ever read, under a shared lock; a line that does not parse is kept with its
// line number and the reason, never dropped.
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <atomic>
#include <functional>

struct TResultRow {
    int Line = 0;  // 1-based line number in the file
    QDate Date;
    QTime Time;
    QString TestName, LastName, FirstName, Patronymic, Extra;
    int Score = 0;
    int PossibleScore = 0;
    int Percent100 = 0;  // the percent as written, in hundredths
    // Among the rows of the same pupil (surname, first name, patronymic, case
    // and "ё" aside) and test, in file order: this is run Attempt of Attempts.
    int Attempt = 1;
    int Attempts = 1;
    // The names folded (see FoldName) in Windows-1251, "\x01" between them:
    // what sorting and repeats compare. Set by the reader; NameKey() makes it
    // for rows made otherwise.
    QByteArray NameKeyBytes;

    double Percent() const { return Percent100 / 100.0; }
    QString PercentText() const;  // "58,33"
    QString FullName() const;
};

struct TBadLine {
    int Line = 0;
    QString Reason;
    QString Text;  // decoded, cut at MaxBadText characters
};

struct TResultsTable {
    bool HasHeader = false;
    QList<TResultRow> Rows;
    QList<TBadLine> Bad;  // at most MaxBadLines kept ...
    int BadCount = 0;     // ... of this many
    int Lines = 0;        // lines in the file, the header and empty ones included
    qint64 Bytes = 0;
};

namespace Results {
inline constexpr int MaxBadLines = 10000;
inline constexpr int MaxBadText = 500;
// Far beyond years of results of a whole school; a bigger file is not ours.
inline constexpr qint64 MaxFileBytes = qint64(1) << 30;

// Called now and then with bytes done of total; returning false cancels.
using TProgress = std::function<bool(qint64 done, qint64 total)>;

// Parses the whole content of a results file. Empty result when cancelled.
TResultsTable Parse(const QByteArray &bytes, const TProgress &progress = {});

enum class TReadStatus { Ok, Missing, Locked, Failed, TooLarge, Cancelled };
struct TReadOutcome {
    TReadStatus Status = TReadStatus::Failed;
    QString Error;  // a Russian text for the window, naming the file
    TResultsTable Table;
};
// Reads the file under a shared lock (a player appending holds an exclusive
// one for a moment: a few tries are made before Locked), then parses it.
// Progress runs over reading and parsing together.
TReadOutcome ReadFile(const QString &path, const TProgress &progress = {});

// "Мария Ёлкина" and "марИя елкина" are the same pupil: end spaces cut,
// small letters, "ё" as "е".
QString FoldName(const QString &s);
// The row's NameKeyBytes, or the same made from its names.
QByteArray NameKey(const TResultRow &r);
}
