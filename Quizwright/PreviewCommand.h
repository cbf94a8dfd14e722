#pragma once
// "Проверить тест": the saved test run in the player beside the editor, started
// as the launcher starts it, with its results file in a temporary folder, so
// that the teacher takes the test exactly as an examinee will.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QProcess;
class QTemporaryDir;
class TfrmMain;

namespace PreviewTexts {
inline const QString Caption = QStringLiteral("Проверить тест");
inline const QString Hint = QStringLiteral("Прохождение теста так, как его пройдёт тестируемый");
inline const QString AskSave = QStringLiteral("Для проверки теста необходимо сохранить тест.\r\rСохранить сейчас?");
inline const QString AlreadyRunning =
    QStringLiteral("Экзаменовка уже запущена\r\rПроверить тест снова можно, когда она будет завершена.");
inline const QString StartFailed = QStringLiteral("Ошибка запуска: ");
}

class TPreviewCommand : public QObject {
    Q_OBJECT
public:
    // Owned by the main window; adds the command (actFilePreview, Ctrl+F9) to
    // its File menu after the export to a program and to its standard tool bar.
    explicit TPreviewCommand(TfrmMain &owner);
    // A player still running ends with the editor: its results are a rehearsal's.
    ~TPreviewCommand() override;

    void Execute();

    // Where the player is looked for: the editor's own folder unless replaced.
    QString ProgramDir;
    // Whether a player holds the one-per-session lock; the real lock unless replaced.
    std::function<bool()> PlayerRunning;

    QAction *Action() const { return m_action; }
    bool IsRunning() const;
    // The player's command line of the running (or last) preview, program first.
    const QStringList &LastCommand() const { return m_lastCommand; }
    // The temporary folder of the running preview; empty when none runs.
    QString ResultsDir() const;

Q_SIGNALS:
    // The player of a preview has ended and its folder is gone.
    void finished();

private:
    void PlayerEnded();

    TfrmMain &m_owner;
    QAction *m_action;
    QProcess *m_process = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_lastCommand;
};

namespace Preview {
// True while a player of this user session holds its single-instance lock.
// Only looks: the lock is not kept.
bool PlayerHoldsLock();
}
