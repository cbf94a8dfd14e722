#include "ExportWordCommand.h"
#include "SaveTargetDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "WordExport.h"
#include "fExportSettings.h"
#include "fInfo.h"
#include "RecoveryCommands.h"
#include "fMain.h"

TExportWordCommand::TExportWordCommand(TfrmMain &owner)
    : QObject(&owner), m_owner(owner), m_settings(new TfrmExportSettings(&owner))
{
    setObjectName(QStringLiteral("SaveDialogWord"));
    TemplateFolders = {QDir::current().absoluteFilePath(Docx::kTemplatesFolder),
                       QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(Docx::kTemplatesFolder)};
    TargetInput = [this](const QString &dir, const QString &name) { return AskTarget(dir, name); };
    OpenDocument = [](const QString &path) {
        if (qEnvironmentVariable("QE_NO_OPEN") != QLatin1String("1"))
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
}

QString TExportWordCommand::AskTarget(const QString &dir, const QString &name)
{
    return AskSaveTarget(&m_owner, QStringLiteral("SaveDialogWordWindow"), dir, ExportWordTexts::TargetFilter, name, QStringLiteral("docx"));
}

void TExportWordCommand::Execute()
{
    // What may take the program down with it comes after a copy of the work.
    m_owner.Recovery()->WriteCopyNow(true);
    m_lastWritten.clear();
    TQuizDocument &doc = *m_owner.Document();
    if (doc.questionCount() == 0) {
        ShowError(Docx::kMsgEmptyTest);
        return;
    }
    const QStringList templates = Docx::FindTemplates(TemplateFolders);
    if (templates.isEmpty()) {
        ShowError(Docx::kMsgNoTemplates + TemplateFolders.join(QLatin1Char('\r')));
        return;
    }
    // The question texts go straight from their records into the documents:
    // the clipboard is not used, so there is nothing to warn about.
    QStringList names;
    for (const QString &t : templates)
        names << QFileInfo(t).fileName();
    m_settings->SetTemplates(names);
    if (m_settings->exec() != QDialog::Accepted)
        return;
    Docx::TWordExportSettings settings = m_settings->Values();
    settings.templatePath = templates.value(std::max(0, m_settings->TemplateIndex()));
    m_owner.UpdateData();

    const QString suggested = QFileInfo(doc.testName()).fileName() + QStringLiteral(".docx");
    const QString target = ChooseSaveTarget(m_owner, doc.saveDirectory(), suggested, TargetInput, [](const QString &chosen) {
        return chosen.endsWith(QLatin1String(".docx"), Qt::CaseInsensitive) ? chosen : chosen + QStringLiteral(".docx");
    });
    if (target.isEmpty())
        return;
    const QString key = Docx::KeyPathFor(target);
    if (QFileInfo::exists(key) &&
        m_owner.ShowMsg2(DocTexts::QuestionCaption, SaveTargetTexts::AskReplace.arg(QDir::toNativeSeparators(key)),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) != QMessageBox::Yes)
        return;

    m_owner.InfoWindow()->ShowInfo(ExportWordTexts::InfoCaption, ExportWordTexts::InfoText);
    m_owner.CursorWait();
    const Docx::TWordExportResult r = Docx::ExportToWord(doc.header(), doc.model()->questionList(), settings, target, key,
                                                         [](const QString &m) { ShowError(m); });
    m_owner.CursorDefault();
    m_owner.InfoWindow()->hide();
    if (r.testWritten)
        m_lastWritten << target;
    if (r.keyWritten)
        m_lastWritten << key;
    for (const QString &p : std::as_const(m_lastWritten))
        if (OpenDocument)
            OpenDocument(p);
}
