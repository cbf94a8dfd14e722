#include "fPrgSettings.h"
#include "ui_fPrgSettings.h"

#include "Preferences.h"

TfrmPrgSettings::TfrmPrgSettings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      ui(new Ui::TfrmPrgSettings)
{
    ui->setupUi(this);
    setFixedSize(sizeHint());
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->cboxRecovery, &QCheckBox::toggled, ui->spnRecoveryMinutes, &QWidget::setEnabled);
}

TfrmPrgSettings::~TfrmPrgSettings() { delete ui; }

void TfrmPrgSettings::Preset(quint8 flags)
{
    ui->cboxSelectCurrentQuestion->setChecked(flags & Prefs::BoldFocused);
    ui->cboxSaveInterface->setChecked(flags & Prefs::SaveInterface);
    ui->cboxReadInterface->setChecked(flags & Prefs::ReadInterface);
}

quint8 TfrmPrgSettings::Flags() const
{
    quint8 flags = 0;
    if (ui->cboxSelectCurrentQuestion->isChecked())
        flags |= Prefs::BoldFocused;
    if (ui->cboxSaveInterface->isChecked())
        flags |= Prefs::SaveInterface;
    if (ui->cboxReadInterface->isChecked())
        flags |= Prefs::ReadInterface;
    return flags;
}

bool TfrmPrgSettings::Change(quint8 &flags)
{
    Preset(flags);
    if (exec() != QDialog::Accepted)
        return false;
    flags = Flags();
    return true;
}

bool TfrmPrgSettings::Change(quint8 &flags, int &recoveryMinutes)
{
    PresetRecovery(recoveryMinutes);
    if (!Change(flags))
        return false;
    recoveryMinutes = RecoveryMinutes();
    return true;
}

void TfrmPrgSettings::PresetRecovery(int minutes)
{
    ui->cboxRecovery->setChecked(minutes > 0);
    ui->spnRecoveryMinutes->setEnabled(minutes > 0);
    ui->spnRecoveryMinutes->setValue(minutes > 0 ? minutes : Prefs::DefaultRecoveryMinutes);
}

int TfrmPrgSettings::RecoveryMinutes() const
{
    return ui->cboxRecovery->isChecked() ? ui->spnRecoveryMinutes->value() : 0;
}

void TfrmPrgSettings::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    ui->btnOK->setFocus();
}
