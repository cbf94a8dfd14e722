#include "SaveTargetDialog.h"

#include <QFileDialog>

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
    if (!name.isEmpty())
        dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().constFirst();
}
