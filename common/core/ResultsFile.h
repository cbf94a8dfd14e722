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

// The results folder as it was when the run started: a different folder at
// the same path at save time (a share unmounted under the player, leaving the
// local folder beneath) is a failed attempt, not a new file on the local disk.
struct TResultsFolder {
    bool Known = false;
    quint64 Device = 0;
    quint64 Inode = 0;
};
TResultsFolder ResultsFolderOf(const QString &path);

// One attempt: open the file denying other writers (exclusive OFD lock, never
// waiting), create it with the header when missing, append the data line at the
// end in one block, flush it to disk, close, and read it back through a new
// descriptor. Where byte-range locks do not reach other computers (ENOLCK, or
// SMB/NFS mounted nobrl/nolock/local_lock), a lock file "<name>.lock" beside
// it is taken first. A region a failed write left is put right with the line
// or taken back while it is still ours alone. A new file is writable by
// everyone who may write into its folder; a symbolic link under the name is
// not followed. Failed when locked, unreachable, in another folder than
// `folder` (when known) or the line does not read back; error gets a
// description.
TAppendOutcome AppendResultOnce(const QString &path, const TResultRecord &rec, QString *error = nullptr,
                                const TResultsFolder &folder = {});

// A series of up to maxAttempts attempts; after each failed one but the last
// sleeps a random 50 ms to 2 s, the range widening with each failure
// (QeClock::Random and QeClock::Sleep), and calls pump (process window messages).
// onAttempt(n) is called before attempt n (0-based). With attemptLimitMs > 0
// each attempt's file work runs on a thread of its own and counts as failed
// after that long, pump running meanwhile. True when written.
bool AppendResultSeries(const QString &path, const TResultRecord &rec,
                        const std::function<void(int)> &onAttempt = {},
                        const std::function<void()> &pump = {}, int maxAttempts = 10,
                        const TResultsFolder &folder = {}, int attemptLimitMs = 0);

// The same protocol, lock file, retries and read-back for a file of this
// system's own beside the results file (the answers journal): no header, the
// record appended whole. error gets the last attempt's failure.
bool AppendRecordSeries(const QString &path, const QByteArray &record, const std::function<void()> &pump = {},
                        int maxAttempts = 10, const TResultsFolder &folder = {}, int attemptLimitMs = 0,
                        QString *error = nullptr);
