#pragma once
// Questions in and out of the plain-text and XML exchange formats of learning
// platforms. No windows: the editor and qe2tool both call this.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "QuizEngineCommon.h"

namespace Interchange {

enum class TFormat { Unknown, Gift, Aiken, Moodle };

// Every question skipped or changed on the way, one line each, in file order
// ("Вопрос 3 (строка 17): ..."). Empty when nothing was lost.
struct TReport {
    QStringList Lines;
    void add(const QString &line) { Lines << line; }
    bool isEmpty() const { return Lines.isEmpty(); }
};

struct TImportResult {
    bool Ok = false;           // false: the file could not be read at all; nothing in Questions
    QString Error;             // why, with the line number where there is one
    int ErrorLine = 0;         // 1-based, 0 when none applies
    TQuestionList Questions;   // complete questions only, in file order
    TReport Report;
};

// Reading is bounded: inputs over this size are refused before parsing.
inline constexpr qsizetype kMaxInputBytes = 64 * 1024 * 1024;

TFormat GuessFormat(const QByteArray &data);
TFormat FormatFromName(const QString &name);   // "gift", "aiken", "moodle"; Unknown otherwise
QString FormatName(TFormat f);

TImportResult ImportQuestions(const QByteArray &data, TFormat format);   // Unknown: guessed
// Writes every question the format can hold; the rest go to report.
QByteArray ExportQuestions(const TQuestionList &questions, TFormat format, TReport &report);

// One per format; ImportQuestions/ExportQuestions dispatch to them.
TImportResult ImportGift(const QByteArray &data);
QByteArray ExportGift(const TQuestionList &questions, TReport &report);
TImportResult ImportAiken(const QByteArray &data);
QByteArray ExportAiken(const TQuestionList &questions, TReport &report);
TImportResult ImportMoodleXml(const QByteArray &data);
QByteArray ExportMoodleXml(const TQuestionList &questions, TReport &report);

} // namespace Interchange
