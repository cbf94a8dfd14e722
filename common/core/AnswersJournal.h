#pragma once
// The answers journal: beside a results file, one line of UTF-8 JSON per run
// with what the pupil answered in each question (docs/answers-journal.md).
// The results file holds only totals and stays as it is; this file is what
// item analysis reads.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "QuizEngineCommon.h"

namespace AnswersJournal {
inline constexpr int FormatVersion = 1;
// A record longer than this is not ours (65 535 questions of ten variants fit).
inline constexpr qsizetype MaxLineBytes = qsizetype(64) << 20;
inline constexpr qint64 MaxFileBytes = qint64(1) << 31;
inline constexpr int MaxItems = 65535;
inline constexpr int MaxVariants = 256;
inline constexpr int MaxBadLines = 10000;
inline constexpr int TextStartChars = 80;
}

struct TAnswerItem {
    int Position = 0;          // 1-based position of the question in the test file
    QString TextHash;          // QuestionTextHash of the question
    QString TextStart;         // its first words, for people
    QList<int> Order;          // 0-based file position of each variant as shown
    QString Marks;             // '!' / ' ' per variant in the file's order; empty unanswered
    QString Key;               // '!' per right variant, in the file's order

    bool Answered() const { return !Marks.isEmpty(); }
    bool FullyRight() const { return Answered() && Marks == Key; }
    bool operator==(const TAnswerItem &) const = default;
};

struct TAnswersRecord {
    QDateTime When;            // the result line's time, to the second
    QString TestName;
    QString TestHash;          // SHA-256 of the test's bytes, 64 hex digits
    QString LastName, FirstName, Patronymic, Extra;
    bool WholeQuestions = false;  // scored per whole question rather than per variant
    int Score = 0;
    int PossibleScore = 0;
    QList<TAnswerItem> Items;  // the questions asked, in the order shown
    bool operator==(const TAnswersRecord &) const = default;
};

struct TAnswersBadLine {
    int Line = 0;
    QString Reason;
};

struct TAnswersJournal {
    QList<TAnswersRecord> Records;  // in file order
    QList<TAnswersBadLine> Bad;     // at most MaxBadLines kept ...
    int BadCount = 0;               // ... of this many
};

namespace AnswersJournal {
// results.res -> results.answers: the last extension of the file name replaced
// (or added when it has none).
QString PathFor(const QString &resultsPath);
// The first 16 hex digits of SHA-256 over the question's plain lines joined
// by LF, in UTF-8: the same in the player, the editor and the analysis.
QString QuestionTextHash(const TNQuestion &q);
// The plain lines as one line of at most TextStartChars characters.
QString QuestionTextStart(const TNQuestion &q);
// The record as one line, LF at its end.
QByteArray RecordLine(const TAnswersRecord &rec);
// Throws nothing: a line that is not a whole record of this version gives
// false with the reason.
bool ParseRecord(const QByteArray &line, TAnswersRecord *rec, QString *reason);
// Every line of a journal's content; empty lines are skipped, others that do
// not parse are counted with their line number.
TAnswersJournal Parse(const QByteArray &bytes);

enum class TReadStatus { Ok, Missing, Failed, TooLarge };
struct TReadOutcome {
    TReadStatus Status = TReadStatus::Failed;
    QString Error;
    TAnswersJournal Journal;
};
// Reads the whole file under a shared lock, never writing to it.
TReadOutcome ReadFile(const QString &path);
}
