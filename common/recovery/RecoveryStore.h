#pragma once
// Recovery copies of an editor's unsaved test: a complete test file written by
// the test library's writer, and beside it a small description (the original
// path, the test's name, the time, the process). Each running editor has an id
// and holds a lock file of that id; copies whose lock nobody holds belong to
// editors that ended without saving (a crash, a kill, a power cut) and are
// offered at the next start. The format of the description is in
// docs/recovery.md. Nothing here shows a window.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <mutex>
#include <optional>
#include <vector>

#include "FileStamp.h"
#include "QuizEngineCommon.h"

namespace Recovery {
inline constexpr int FormatVersion = 1;
// Bounds of what a description may hold; anything beyond is a damaged one.
inline constexpr qint64 MaxDescriptionBytes = 64 * 1024;
inline constexpr int MaxPathChars = 4096;
inline constexpr int MaxTitleChars = 1024;
inline constexpr int MaxHostChars = 255;
inline constexpr int MaxIdChars = 64;
inline constexpr qint64 MaxCopyBytes = qint64(4) << 30;
// More files than this in the folder are not looked at.
inline constexpr int MaxEntries = 1000;
inline const QString CopySuffix = QStringLiteral(".qe2");
inline const QString DescriptionSuffix = QStringLiteral(".json");
inline const QString LockSuffix = QStringLiteral(".lock");
inline const QString TempInfix = QStringLiteral(".tmp");

// <state folder>/quizengine2/recovery, the state folder being $XDG_STATE_HOME
// when it is an absolute path, else ~/.local/state.
QString DefaultFolder();

struct TDescription {
    QString OriginalPath;  // empty for a test never saved
    QString Title;         // the test's name as the caption shows it
    QDateTime Time;        // UTC, when the copy was taken
    qint64 Pid = 0;
    QString Host;
    qint64 CopySize = 0;   // bytes of the copy beside it
    TFileStamp Original;   // the original as it was last opened or saved
    bool operator==(const TDescription &) const = default;
};
QByteArray WriteDescription(const TDescription &d);
// Nothing (and why in *why) for anything that is not a description of this
// format within its bounds.
std::optional<TDescription> ReadDescription(const QByteArray &bytes, QString *why = nullptr);

// What a copy is written from. The questions are copies of their own, so the
// editing goes on while a worker writes them; their texts and pictures share
// their bytes with the document's until either side changes them.
struct TSnapshot {
    TTestInfo Header;
    TQuestionList Questions;
    TDescription Description;
};
TSnapshot TakeSnapshot(const TTestInfo &header, const TQuestionList &questions, const QString &originalPath,
                       const QString &title, const TFileStamp &original);

struct TEntry {
    QString Id;
    bool Damaged = false;
    QString Problem;           // for the list, when damaged
    TDescription Description;  // when not damaged
    QString CopyPath;
};

class TRecoveryStore {
public:
    explicit TRecoveryStore(QString folder = DefaultFolder());
    // Removes this editor's copy and its lock: reached only by an orderly end,
    // after the work was saved or given up.
    ~TRecoveryStore();
    TRecoveryStore(const TRecoveryStore &) = delete;
    TRecoveryStore &operator=(const TRecoveryStore &) = delete;

    const QString &folder() const { return m_folder; }
    const QString &id() const { return m_id; }
    QString OwnCopyPath() const { return path(m_id, CopySuffix); }
    bool HasOwnCopy() const;

    // The copy, then its description, each written beside and renamed over;
    // the folder (0700) and this editor's lock are made at the first write.
    // Fills the description's time, process, host and size. Throws EQuizError;
    // one caller at a time (the writer's worker).
    void Write(TSnapshot &s);
    // This editor's copy and description go; its lock stays.
    void RemoveOwn();
    // The copies of editors no longer running, damaged ones included, newest first.
    std::vector<TEntry> ListOrphans() const;
    // The entry's copy becomes this editor's own, to be removed when the work
    // is saved or given up. False when its files could not be moved.
    bool Adopt(const TEntry &e);
    // Removes every file of the entry.
    bool Discard(const TEntry &e);

private:
    QString path(const QString &id, const QString &suffix) const;
    bool ensureSession();
    bool usableFolder() const;
    TEntry examine(const QString &id) const;
    void writeFile(const QString &name, const QByteArray &data) const;
    void removeFiles(const QString &id) const;

    QString m_folder;
    QString m_id;
    int m_lockFd = -1;
    mutable std::mutex m_mutex;
};

// Whether the lock file of id is held by a running editor.
bool IsLockHeld(const QString &lockPath);
}  // namespace Recovery
