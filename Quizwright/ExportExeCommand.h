#pragma once
// The export command of the main window: its questions, its target dialog, its
// progress window and its messages around ExportExe::WriteProgram.
#include <QObject>
#include <QString>
#include <functional>

class TfrmMain;

// What the export and the preview check first, in this order: a test with
// questions, the player in programDir, the test saved (askSave is the question
// when it has unsaved changes). The player's path; empty when a check failed,
// after its message.
QString PlayerForSavedTest(TfrmMain &owner, const QString &programDir, const QString &askSave);

class TExportExeCommand : public QObject {
    Q_OBJECT
public:
    // Owned by the main window for its lifetime; finds the player in the
    // editor's own folder.
    explicit TExportExeCommand(TfrmMain &owner);

    void Execute();

    // Where the player is looked for.
    QString ProgramDir;
    // The target dialog: the chosen path, empty when cancelled. The real dialog
    // unless replaced.
    std::function<QString(const QString &dir, const QString &name)> TargetInput;
    // What the last export wrote, empty when it did not end in a program.
    const QString &LastTarget() const { return m_lastTarget; }

private:
    QString AskTarget(const QString &dir, const QString &name);

    TfrmMain &m_owner;
    QString m_lastTarget;
};
