#include "fConfirmExit.h"
#include "ui_fConfirmExit.h"

TfrmConfirmExit::TfrmConfirmExit(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      ui(new Ui::TfrmConfirmExit)
{
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmConfirmExit::~TfrmConfirmExit() { delete ui; }

void TfrmConfirmExit::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    ui->btnOK->setFocus();
}
