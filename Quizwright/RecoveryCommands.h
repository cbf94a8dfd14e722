#pragma once
// The editor's side of the recovery store: when to take a copy of the open
// test, the copies of ended editors offered at start, and the question before
// a save over a file someone else changed since it was opened. The copies are
// written by Recovery::TCopyWriter off the UI thread.
#include <QMessageBox>
#include <QObject>
#include <functional>
#include <memory>

#include "CopySchedule.h"
#include "CopyWriter.h"
#include "FileStamp.h"
#include "RecoveryStore.h"

class QTimer;
class QWidget;
class TQuestionPane;
class TQuizDocument;
struct TOpenResult;
struct TReadOptions;

namespace RecoveryTexts {
inline const QString ChangedOnDisk =
    QStringLiteral("Файл теста был изменён другим пользователем после открытия. Заменить его?");
inline const QString SaveAsButton = QStringLiteral("Сохранить как…");
inline const QString AskDelete =
    QStringLiteral("Удалить копию для восстановления?\r\rВы не сможете отменить эту операцию.");
inline const QString DeleteFailed = QStringLiteral("Не удалось удалить копию для восстановления.");
inline const QString CopyFailed = QStringLiteral("Копия для восстановления не записана: ");
}

// What the commands need of the window.
struct TRecoveryHost {
    // The pane's pending edits into the questions (the window's UpdateData).
    std::function<void()> Flush;
    // A read with the window's messages, progress and password question.
    std::function<bool(const std::function<TOpenResult(const TReadOptions &)> &)> RunRead;
    std::function<bool()> CheckSaved;
    std::function<QMessageBox::StandardButton(const QString &caption, const QString &text,
                                              QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)> Ask;
    std::function<void(const QString &)> Status;
};

class TRecoveryCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 250;
    enum class TOverwrite { Save, Cancel, SaveAs };

    TRecoveryCommands(TQuizDocument &doc, TQuestionPane &pane, TRecoveryHost host, QWidget *window,
                      const QString &folder = Recovery::DefaultFolder());
    ~TRecoveryCommands() override;

    Recovery::TRecoveryStore &Store() { return *m_store; }
    Recovery::TCopyWriter &Writer() { return *m_writer; }
    Recovery::TCopySchedule &Schedule() { return m_schedule; }
    void SetIntervalMinutes(int minutes) { m_schedule.setIntervalMinutes(minutes); }

    // ---- copies ----
    // A change of the document: the copy waits for the pause.
    void Edited();
    // The poll timer's handler: writes the copy once it is due.
    void Poll();
    // A copy of a modified document at once (before a command that may take
    // the program down with it); wait: until it is on disk. False when none
    // was taken (clean, or copies are off).
    bool WriteCopyNow(bool wait);
    // An orderly close: the work was saved or given up.
    void Closing();

    // ---- recovery at start ----
    // Lists the copies of editors no longer running and opens the one chosen.
    void OfferRecovery();
    // Which entry to open (-1: none). The dialog unless replaced; the
    // deleter asks and removes one entry, true when it went.
    std::function<int(const std::vector<Recovery::TEntry> &entries,
                      const std::function<bool(int)> &deleter)> ChooseCopy;
    // The entry's copy as a modified document with its original path.
    bool OpenCopy(const Recovery::TEntry &entry);
    // Asks about and removes one entry.
    bool DeleteEntry(const Recovery::TEntry &entry);

    // ---- another teacher's save ----
    // The file as it is now, after an open or a save.
    void Remember();
    // Before a save over the document's own file.
    TOverwrite CheckOverwrite();
    // The question; a box with Да / Нет / "Сохранить как…" unless replaced.
    std::function<TOverwrite()> AskOverwrite;

private:
    void DocumentChanged();
    TOverwrite AskOverwriteBox();
    int ChooseInDialog(const std::vector<Recovery::TEntry> &entries, const std::function<bool(int)> &deleter);

    TQuizDocument &m_doc;
    TRecoveryHost m_host;
    QWidget *m_window;
    std::unique_ptr<Recovery::TRecoveryStore> m_store;
    Recovery::TCopyWriter *m_writer;
    Recovery::TCopySchedule m_schedule;
    QTimer *m_poll;
    QString m_stampPath;
    TFileStamp m_stamp;
};
