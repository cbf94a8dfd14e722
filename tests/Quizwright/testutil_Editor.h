#pragma once
// Driving the editor's real main window in-process: a configuration, the
// window past its access password, and scripted answers for its dialogs.
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>

#include "QuizEngineCommon.h"

class TfrmMain;
class QWidget;

namespace EditorTest {
inline const QString AccessPassword = QStringLiteral("учитель");

// A question for a test file: text lines, variants and marks ("!" correct).
TQuestionPtr Question(const QString &text, const QStringList &variants = {}, const QString &marks = {});
// Writes a test file with the library alone.
void WriteTest(const QString &path, const TQuestionList &questions, const QString &password = {},
               quint8 timeLimit = 10);
QByteArray ReadAll(const QString &path);
// Types text into w key by key, any characters (Qt Test's own typing takes Latin-1 only).
void Type(QWidget *w, const QString &text);
void WriteAll(const QString &path, const QByteArray &bytes);
}

struct TEditorFixture {
    QTemporaryDir Dir;
    QString ConfigPath;
    std::unique_ptr<TfrmMain> Window;
    // Every message box as "caption\ttext" (the log's form).
    QStringList Messages;
    // Question boxes as "caption\ttext", answered from Answers (No when empty).
    QStringList Questions;
    std::deque<QMessageBox::StandardButton> Answers;
    // File dialogs answered from FileNames (empty: cancelled); each call noted.
    std::deque<QString> FileNames;
    QStringList FileDialogs;
    // The window's own file dialog, for tests that drive the real one.
    std::function<QString(bool save, const QString &dir, const QString &name)> RealFileDialog;
    // Password dialogs answered from Passwords (nullopt: cancelled).
    std::deque<std::optional<QString>> Passwords;
    QStringList PasswordLabels;
    // Called as each password is asked, before it is answered.
    std::function<void()> OnPassword;
    // The question the start file opens at (--question, --question-hash); 0: none.
    int StartQuestion = 0;
    QString StartHash;

    TEditorFixture();
    ~TEditorFixture();
    // Creates the window, runs its start-up and gives the access password.
    // False when the editor did not become ready for work.
    bool Start(const QString &startFile = {});
    TfrmMain &W() { return *Window; }
    QString Path(const QString &name) const { return Dir.filePath(name); }
    QString TakeMessages();
};

// A window holding a saved test of n questions "Q1".."Qn" with two variants,
// the first right; the numbers in bad (from 1) get one variant and no mark.
bool StartWith(TEditorFixture &f, int n, const QList<int> &bad = {});
// The list's row texts in order.
QStringList Rows(TfrmMain &w);

// Answers the real file dialogs as they open, one name each, typed into the
// dialog's name field and accepted (an empty name cancels). Each dialog's
// object name is noted, and the text of any message box the dialog shows
// itself (then closed with No).
class TFileDialogDriver {
public:
    explicit TFileDialogDriver(std::deque<QString> names);
    ~TFileDialogDriver();
    QStringList Seen;
private:
    std::deque<QString> m_names;
    int m_ticks = 0;
    std::unique_ptr<class QTimer> m_timer;
};
