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
    ui->btnRetry->installEventFilter(this);
}

// Giving up loses the result for good: Enter always retries, even from the
// other button, and "Не сохранять" is only a deliberate click or its own key.
bool TfrmSaveResults::eventFilter(QObject *o, QEvent *e)
{
    if (o == ui->btnRetry && e->type() == QEvent::EnabledChange && ui->btnRetry->isEnabled()
        && isVisible())
        ui->btnRetry->setFocus();
    return QDialog::eventFilter(o, e);
}

TfrmSaveResults::~TfrmSaveResults() { delete ui; }

void TfrmSaveResults::reject() {}

void TfrmSaveResults::closeEvent(QCloseEvent *e) { e->ignore(); }
