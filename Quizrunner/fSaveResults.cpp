#include "fSaveResults.h"
#include "ui_fSaveResults.h"

#include <QCloseEvent>

TfrmSaveResults::TfrmSaveResults(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowStaysOnTopHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TfrmSaveResults)
{
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btnRetry, &QPushButton::clicked, this, [this] { SaveChoice = ChoiceRetry; });
    connect(ui->btnCont, &QPushButton::clicked, this, [this] { SaveChoice = ChoiceDontSave; });
}

TfrmSaveResults::~TfrmSaveResults() { delete ui; }

void TfrmSaveResults::reject() {}

void TfrmSaveResults::closeEvent(QCloseEvent *e) { e->ignore(); }
