#include "fResults.h"
#include "ui_fResults.h"

#include <QCloseEvent>

TfrmResults::TfrmResults(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TfrmResults)
{
    ui->setupUi(this);
    setFixedSize(size());
    QFont f = ui->labCaption->font();
    f.setPixelSize(13);
    f.setBold(true);
    ui->labCaption->setFont(f);
    ui->labResults->setFont(f);
    f.setBold(false);
    ui->labResultsMode2->setFont(f);
    connect(ui->btnViewErrors, &QPushButton::clicked, this, [this] { done(Accepted); });
    connect(ui->btnExit, &QPushButton::clicked, this, [this] { done(Rejected); });
}

TfrmResults::~TfrmResults() { delete ui; }

// Only the two buttons end this window: no Esc, no close box, no Alt+F4.
void TfrmResults::reject() {}

void TfrmResults::closeEvent(QCloseEvent *e) { e->ignore(); }

void TfrmResults::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (ui->btnViewErrors->isEnabled())
        ui->btnViewErrors->setFocus();
    else
        ui->btnExit->setFocus();
}
