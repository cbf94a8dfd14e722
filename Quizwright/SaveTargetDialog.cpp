#include "SaveTargetDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "QuizDocument.h"
#include "fMain.h"

QString AskSaveTarget(QWidget *owner, const QString &objectName, const QString &dir,
                      const QString &filter, const QString &name, const QString &suffix)
{
    QFileDialog dlg(owner, QStringLiteral("Сохранить как"), dir, filter);
    dlg.setObjectName(objectName);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!suffix.isEmpty())
        dlg.setDefaultSuffix(suffix);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!name.isEmpty())
        dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().constFirst();
}

QString ChooseSaveTarget(TfrmMain &owner, const QString &dir, const QString &name,
                         const std::function<QString(const QString &, const QString &)> &ask,
                         const std::function<QString(const QString &)> &targetOf)
{
    QString startDir = dir, startName = name;
    for (;;) {
        const QString chosen = ask ? ask(startDir, startName) : QString();
        if (chosen.isEmpty())
            return QString();
        const QString target = QDir::cleanPath(targetOf ? targetOf(chosen) : chosen);
        // The dialog's own question would be about the name typed, not the file written.
        // A folder is no file to replace: the command says why it cannot write there.
        const QFileInfo fi(target);
        if (!fi.exists() || fi.isDir() ||
            owner.ShowMsg2(DocTexts::QuestionCaption, SaveTargetTexts::AskReplace.arg(QDir::toNativeSeparators(target)),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) == QMessageBox::Yes)
            return target;
        startDir = QFileInfo(chosen).absolutePath();
        startName = QFileInfo(chosen).fileName();
    }
}
