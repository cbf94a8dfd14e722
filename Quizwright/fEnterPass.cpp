#include "fEnterPass.h"
#include "ui_fEnterPass.h"

#include <QPushButton>

TfrmPass::TfrmPass(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::TfrmPass)
{
    ui->setupUi(this);
    ui->edPass->setMaxLength(MaxLength);
    connect(ui->edPass, &QLineEdit::textChanged, this, &TfrmPass::UpdateState);
    connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateState();
}

TfrmPass::~TfrmPass()
{
    delete ui;
}

void TfrmPass::SetLabel(const QString &text)
{
    ui->labInfo->setText(text);
}

QString TfrmPass::Label() const
{
    return ui->labInfo->text();
}

QString TfrmPass::Password() const
{
    return ui->edPass->text();
}

void TfrmPass::showEvent(QShowEvent *e)
{
    // Every showing starts empty, so a password never lingers between asks.
    ui->edPass->clear();
    ui->edPass->setFocus();
    UpdateState();
    QDialog::showEvent(e);
}

void TfrmPass::UpdateState()
{
    ui->btnOk->setEnabled(!ui->edPass->text().isEmpty());
}

std::optional<QString> TfrmPass::Ask()
{
    if (exec() != QDialog::Accepted || Password().isEmpty())
        return std::nullopt;
    return Password();
}
