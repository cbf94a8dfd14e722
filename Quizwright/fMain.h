#pragma once
// The editor's main window: the document, the question list on the left, the
// question pane on the right, the commands, start-up and shut-down. The
// document logic lives in TQuizDocument, the list in TQuestionListModel, the
// editing of one question in TQuestionPane; this window wires them together
// and shows every message.
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "MyTextAttr.h"
#include "Preferences.h"
#include "QuizEngineCommon.h"

class QAction;
class QListView;
class QMenu;
class QKeyEvent;
class QModelIndex;
class QProgressBar;
class QSettings;
class TClipboardCommands;
class TfrmAbout;
class TFormatCommands;
class TfrmInfo;
class TfrmPass;
class TQuestionListModel;
class TQuestionPane;
class TQuizDocument;
class TPrefsAutosave;
class TRecoveryCommands;
struct TNodeRecord;
struct TOpenResult;
struct TReadOptions;
namespace Ui { class TfrmMain; }

namespace MainTexts {
inline const QString AccessPasswordLabel = QStringLiteral("Для доступа к редактору тестов необходимо ввести пароль");
inline const QString ConfigReadFailed = QStringLiteral("Ошибка чтения конфигурации:\r\r");
inline const QString StartupFailed = QStringLiteral("Непредусмотренная ситуация. Обратитесь к разработчику.\r\r");
inline const QString Unexpected = QStringLiteral("Непредусмотренная ситуация. Обратитесь к разработчику.");
inline const QString AskDeleteQuestions =
    QStringLiteral("Удалить выбранные вопросы?\r\rВы не сможете отменить эту операцию.");
inline const QString ClosingCaption = QStringLiteral("Редактор тестов");
inline const QString ClosingText = QStringLiteral("Дождитесь завершения работы программы");
inline constexpr int ClosingInfoHeight = 53;
// The question count the player can hold, the count now, the count to add.
inline const QString TooManyQuestions = QStringLiteral(
    "Тест может содержать не больше %1 вопросов.\rВ тесте %2, добавить ещё %3 нельзя.");
}

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Bits of PrefFlags.
    enum TPrefBit : quint8 {
        pfBoldFocused = 1, pfSaveInterface = 2, pfReadInterface = 4,
        pfMaximize = 16, pfStored = 32, pfRecheckClipMarked = 64,
    };
    // Without stored preferences: 0x47, plus the maximise request of a first start.
    static constexpr quint8 DefaultPrefFlags = 0x57;
    static constexpr int DesignWidth = 786;
    static constexpr int DesignHeight = 533;
    static constexpr int SplashPauseMs = 1000;
    static constexpr int HintTimeMs = 32768;

    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The whole program: splash, start-up, the window, the event loop.
    static int RunProgram();
    // KMQuizEngine2.ini in the program's own folder.
    static QString ConfigPath();

    // Start-up up to the configuration; false when the program is to end (its
    // message has been shown).
    bool FormCreate(const QString &configPath);
    // What the command line asks to open: TEST [--question N [--question-hash H]].
    struct TStartArgs {
        QString File;
        int Question = 0;  // 1-based; 0 for none
        QString Hash;
    };
    static TStartArgs StartArguments(const QStringList &args);
    // Opened once the access password has been given.
    void SetStartFile(const QString &path) { m_startFile = path; }
    // Shown once the start file is open (--question N --question-hash H).
    void SetStartQuestion(int position, const QString &textHash)
    {
        m_startQuestion = position;
        m_startHash = textHash;
    }
    // From the item analysis: opens path (asking about unsaved changes, as
    // opening does) and shows the question at its 1-based position when its
    // text's hash is textHash; a question that moved is found by the hash,
    // one that changed is shown at its position with a warning.
    void OpenAtQuestion(const QString &path, int position, const QString &textHash);
    void GoToQuestion(int position, const QString &textHash);
    // Centred on the screen at the design size.
    void ShowCentred();
    // The access password was given: the editor is open for work.
    bool isWorking() const { return m_working; }
    // The program was told to end (configuration, password); its exit code.
    bool isEnding() const { return m_ending; }
    int exitCode() const { return m_exitCode; }
    // RunProgram ends the event loop when the window ends the program.
    bool QuitOnEnd = false;

    // ---- what dialogs answer; the real dialogs unless replaced ----
    // The typed password, nothing when cancelled.
    std::function<std::optional<QString>(const QString &label)> PasswordInput;
    // The chosen file, empty when cancelled. dir and name preset the dialog.
    std::function<QString(bool save, const QString &dir, const QString &name)> FileNameInput;
    // A question box: the button pressed.
    std::function<QMessageBox::StandardButton(const QString &caption, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::Icon icon)> QuestionInput;

    // ---- state ----
    TQuizDocument *Document() const { return m_doc; }
    TQuestionListModel *Model() const;
    TQuestionPane *Pane() const;
    QListView *QTree() const;
    TNodeRecord *CurrentQuestion() const { return m_current; }
    int CurrentRow() const;
    const TKMQuizEngineConfig &Config() const { return m_config; }
    const QString &TemplatesDir() const { return m_templatesDir; }
    quint8 PrefFlags = DefaultPrefFlags;
    TMyTextAttr TextAttr;
    QProgressBar *ProgressBar() const { return m_progress; }
    TfrmInfo *InfoWindow() const { return m_info; }
    TfrmAbout *AboutWindow() const { return m_about; }
    QMenu *QTreeMenu() const { return m_treeMenu; }
    QMenu *RichMenu() const { return m_richMenu; }

    // ---- window operations used across the editor ----
    void SetModified(bool value);
    void TestPropChanged();
    const QString &ApplicationTitle() const { return m_applicationTitle; }
    void SInfo(const QString &text);
    QString StatusText() const;
    // The standard error dialog (caption "Error").
    void ShowMsg(const QString &text);
    QMessageBox::StandardButton ShowMsg2(const QString &caption, const QString &text,
                                         QMessageBox::StandardButtons buttons, QMessageBox::Icon icon);
    void CursorWait();
    void CursorDefault();
    void CreateProgressBar();
    void SetProgress(int percent);
    void DeleteProgressBar();

    // ---- documents ----
    void NewTest();
    bool OpenFile();
    bool ReadTestFromFile(const QString &path);
    void OpenRecentFile(const QString &path);
    bool SaveFile();
    bool SaveFileAs();
    bool SaveTestToFile(const QString &path, bool newName = false);
    bool CheckSaved();
    bool CheckTest();
    void CalcIQCount();

    // ---- the question list ----
    void AddQuestion();
    // Whether adding questions keeps the test within what the player can hold;
    // otherwise says so (at once, or once the event loop runs again) and adds nothing.
    bool RoomForQuestions(qsizetype adding, bool tellLater = false);
    void DeleteSelectedQuestions();
    // Focuses row (showing its question), -1 for none.
    void FocusRow(int row);
    // The focused question one row up (-1) or down (+1).
    void MoveQuestion(int delta);
    void UpdateData();
    void UpdateTreeView();
    void ButtonsState();
    void ButtonsCommentsState();
    void ActiveControlChange(QWidget *control);
    QWidget *ActiveControl() const { return m_activeControl; }
    void SetFormatActionsState(bool enabled);
    // The formatting and insertion commands of the two rich-text editors.
    TFormatCommands *FormatCommands() const { return m_format; }
    // Cut, copy, paste and drops of whole questions.
    TClipboardCommands *Clipboard() const { return m_clip; }
    // Recovery copies, recovery at start, the question before overwriting another's save.
    TRecoveryCommands *Recovery() const { return m_recovery; }
    TPrefsAutosave *PrefsAutosave() const { return m_autosave; }

    // ---- preferences ----
    // The per-user store; the variable QE_EDITOR_SETTINGS names an INI file instead.
    static std::unique_ptr<QSettings> OpenSettings();
    // Start-up: flags, attributes, folders, recent files, bars, panes. Throws
    // EQuizError on a damaged bar value.
    void LoadSettings();
    // At the close: what the window shows now, then the store.
    void SaveSettings();
    const Prefs::TPreferences &Preferences() const { return m_prefs; }

    // The commands, by their names.
    QAction *Action(const char *name) const;

    Ui::TfrmMain *ui;

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void SetUpActions();
    void SetUpMenus();
    void ConnectParts();
    void SetUpRecovery();
    void FormActivate();
    void FormClose();
    void EndProgram(int code);
    std::optional<QString> AskPassword(const QString &label);
    QString AskFileName(bool save, const QString &dir, const QString &name);
    // The common part of every read: status, cursor, progress, messages, focus.
    bool RunRead(const std::function<TOpenResult(const TReadOptions &)> &read);
    int m_startQuestion = 0;
    QString m_startHash;
    void RebuildRecentMenu();
    void DocumentReplaced();
    void QTreeCurrentChanged(const QModelIndex &current);
    void QuestionEdited();
    void QTreeContextMenu(const QPoint &pos);
    void RichContextMenu(const QPoint &pos);
    bool QTreeHasFocus() const;
    // Tab and Shift+Tab between the list and the question's editors, Ctrl+Tab
    // a tab character in the rich texts; true when the key was taken.
    bool TabKey(QObject *watched, QKeyEvent *ke);
    void FocusLastEditor();
    void ShowFloatingBars();

    void actEditUndoExecute();
    void actEditRedoExecute();
    void actEditSelectAllExecute();
    void actEditDeleteExecute();
    void actEditDeleteQuestionsExecute();
    void actEditAddCommentExecute();
    void actEditDeleteCommentExecute();
    void actEditQTitleExecute();
    void actHelpAboutExecute();
    void actServiceParametersExecute();
    void CollectSettings();
    void DockContextMenu(const QPoint &pos);

    TQuizDocument *m_doc;
    TKMQuizEngineConfig m_config;
    QString m_templatesDir;
    QString m_startFile;
    QString m_applicationTitle;
    TNodeRecord *m_current = nullptr;
    TNodeRecord *m_previous = nullptr;
    QPointer<QWidget> m_activeControl;
    QProgressBar *m_progress = nullptr;
    TfrmInfo *m_info = nullptr;
    TfrmAbout *m_about = nullptr;
    TfrmPass *m_pass = nullptr;
    TFormatCommands *m_format = nullptr;
    bool m_formatActionsOff = false;   // as the last SetFormatActionsState(false) left them
    TClipboardCommands *m_clip = nullptr;
    TRecoveryCommands *m_recovery = nullptr;
    TPrefsAutosave *m_autosave = nullptr;
    QMenu *m_treeMenu = nullptr;
    QMenu *m_richMenu = nullptr;
    QList<QAction *> m_recentActions;
    QList<QAction *> m_laterCommands;
    int m_waitCursors = 0;
    Prefs::TPreferences m_prefs;
    bool m_firstActivation = true;
    bool m_working = false;
    bool m_ending = false;
    bool m_closed = false;
    int m_exitCode = 0;
};
