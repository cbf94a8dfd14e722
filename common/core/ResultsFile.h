#pragma once
// The shared results file: Windows-1251, TAB-separated, CR LF, one line per run.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

struct TResultRecord {
    QDateTime When;
    QString TestName;
    QString LastName, FirstName, Patronymic, Extra;
    quint16 Score = 0;
    quint16 PossibleScore = 0;
};

// "Дата\tВремя\t...\tПроцент\r\n" in Windows-1251.
QByteArray ResultsHeaderLine();
// One data line in Windows-1251; TAB/CR/LF typed by the examinee become spaces,
// characters Windows-1251 lacks become '?'.
QByteArray ResultsDataLine(const TResultRecord &rec);
// Embedded mode: the test file's name with ".res", in the current directory.
QString EmbeddedResultsPath(const QString &testPath);

enum class TAppendOutcome { Written, Failed };

// One attempt: open the file denying other writers (exclusive OFD lock, never
// waiting), create it with the header when missing, append the data line at the
// end in one block, flush it to disk, close. A new file is writable by everyone
// who may write into its folder; a symbolic link under the name is not
// followed. Failed when locked, unreachable or the write fails; error gets a
// description.
TAppendOutcome AppendResultOnce(const QString &path, const TResultRecord &rec, QString *error = nullptr);

// A series of up to maxAttempts attempts; after each failed one but the last
// sleeps a random 50 ms to 2 s, the range widening with each failure
// (QeClock::Random and QeClock::Sleep), and calls pump (process window messages).
// onAttempt(n) is called before attempt n (0-based). True when written.
bool AppendResultSeries(const QString &path, const TResultRecord &rec,
                        const std::function<void(int)> &onAttempt = {},
                        const std::function<void()> &pump = {}, int maxAttempts = 10);
