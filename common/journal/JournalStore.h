#pragma once
// Where the run journals of this account live and how they are written:
// $XDG_STATE_HOME/quizengine2/runs (default ~/.local/state), folders and files
// private to the account, opened relative to the folder without following
// links, replaced atomically (write beside, fdatasync, rename, sync the
// folder). Writes run on a thread of their own; Flush waits for them.
#include <QByteArray>
#include <QString>
#include <memory>

#include "RunJournal.h"

class TJournalWriter;

class TJournalStore {
public:
    enum class TLock { Taken, Held, Unavailable };
    enum class TLoad { None, Loaded, Bad };

    // The runs folder of this account: $XDG_STATE_HOME when absolute, else
    // $HOME/.local/state, then quizengine2/runs.
    static QString DefaultFolder();
    // The journal's file name for a run identity (test and results path, or
    // the program and its embedded test): "run-<16 hex digits>.qrj".
    static QString FileNameFor(const QString &identity);

    TJournalStore(const QString &folder, const QString &identity);
    ~TJournalStore();
    TJournalStore(const TJournalStore &) = delete;
    TJournalStore &operator=(const TJournalStore &) = delete;

    // Creates the folders (0700) and opens them; false with a reason when the
    // folder is not this account's own (a link, another owner, not a folder).
    bool Open(QString *error = nullptr);
    // An exclusive lock on the journal's lock file, held until the store goes:
    // Held when another player (another machine on a shared home) has it.
    TLock Lock();
    // Reads the journal: None when there is none; Bad with the reason when it
    // is a link, not a regular file, another account's, too large or damaged.
    TLoad Load(TRunJournal &out, QString *reason = nullptr);
    // Moves the journal into the "interrupted" folder under a new name (never
    // over another); returns the new path, empty when there was nothing to move.
    QString SetAside();
    // Removes the journal of a finished run.
    bool Remove();

    // Serialises now and hands the bytes to the writing thread; a later
    // submit replaces one not yet begun.
    void Submit(const TRunJournal &j);
    // Waits until everything submitted is on disk; false when a write failed.
    bool Flush();
    // The same write, on the calling thread.
    bool WriteNow(const TRunJournal &j);

    QString Folder() const { return m_folder; }
    QString Path() const;
    QString InterruptedFolder() const;
    QString LastError() const;

private:
    friend class TJournalWriter;
    // Empty on success, else what failed.
    QString writeBytes(const QByteArray &bytes) const;
    QString m_folder, m_name, m_syncError;
    int m_dir = -1, m_interrupted = -1, m_lock = -1;
    std::unique_ptr<TJournalWriter> m_writer;
};

// True when the results file at path already holds line (the bytes of one
// data line, CR LF included); looks at the last 16 MB.
bool ResultsFileHoldsLine(const QString &path, const QByteArray &line);
