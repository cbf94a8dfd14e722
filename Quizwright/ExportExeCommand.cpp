#include "ExportExeCommand.h"
#include "SaveTargetDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "ExportExe.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"
#include "fInfo.h"
#include "RecoveryCommands.h"
#include "fMain.h"

QString PlayerForSavedTest(TfrmMain &owner, const QString &programDir, const QString &askSave)
{
    TQuizDocument &doc = *owner.Document();
    if (doc.questionCount() == 0) {
        ShowError(ExportTexts::EmptyTest);
        return {};
    }
    const QString player = ExportExe::PlayerPath(programDir);
    if (!QFileInfo(player).isFile()) {
        ShowError(ExportTexts::FileNotFound + ExportTexts::PlayerFileName);
        return {};
    }
    // The player reads the file, and edits typed in the last half second are changes too.
    owner.UpdateData();
    if (doc.isModified()) {
        if (owner.ShowMsg2(DocTexts::QuestionCaption, askSave, QMessageBox::Ok | QMessageBox::Cancel,
                           QMessageBox::Question) != QMessageBox::Ok)
            return {};
        if (!owner.SaveFile() || doc.isModified())
            return {};
    }
    return player;
}

TExportExeCommand::TExportExeCommand(TfrmMain &owner)
    : QObject(&owner), ProgramDir(QCoreApplication::applicationDirPath()), m_owner(owner)
{
    setObjectName(QStringLiteral("SaveDialogExe"));
    TargetInput = [this](const QString &dir, const QString &name) { return AskTarget(dir, name); };
}

QString TExportExeCommand::AskTarget(const QString &dir, const QString &name)
{
    return AskSaveTarget(&m_owner, QStringLiteral("SaveDialogExeWindow"), dir, ExportTexts::TargetFilter, name);
}

void TExportExeCommand::Execute()
{
    // What may take the program down with it comes after a copy of the work.
    m_owner.Recovery()->WriteCopyNow(true);
    m_lastTarget.clear();
    const QString player = PlayerForSavedTest(m_owner, ProgramDir, ExportTexts::AskSave);
    if (player.isEmpty())
        return;
    TQuizDocument &doc = *m_owner.Document();
    const QString target = ChooseSaveTarget(m_owner, doc.saveDirectory(), doc.testName(), TargetInput);
    if (target.isEmpty())
        return;

    m_owner.CursorWait();
    m_owner.InfoWindow()->ShowInfo(ExportTexts::InfoCaption, ExportTexts::InfoText);
    const ExportExe::TExportResult r = ExportExe::WriteProgram(player, doc.path(), target);
    m_owner.CursorDefault();
    m_owner.InfoWindow()->hide();
    if (!r.Ok) {
        ShowError(r.Message);
        return;
    }
    m_lastTarget = target;
    if (!m_owner.CheckTest())
        ShowWarning(DocTexts::FaultyQuestions);
}
