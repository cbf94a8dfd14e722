#include "fNumbering.h"
#include "ui_fNumbering.h"

TfrmNumbering::TfrmNumbering(QWidget *parent) : QDialog(parent), ui(new Ui::TfrmNumbering)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    connect(ui->ComboBoxType, &QComboBox::currentIndexChanged, this, &TfrmNumbering::typeChanged);
    connect(ui->ComboBoxStyle, &QComboBox::currentIndexChanged, this, &TfrmNumbering::typeChanged);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    typeChanged();
}

TfrmNumbering::~TfrmNumbering() { delete ui; }

void TfrmNumbering::SetValues(const TNumberingValues &v)
{
    ui->ComboBoxType->setCurrentIndex(qBound(0, v.Code, 6));
    // The range of the type first, so that the start is not cut by the old one.
    typeChanged();
    ui->JvSpinEditStart->setValue(v.Start == 0 ? 1 : v.Start);
    ui->ComboBoxStyle->setCurrentIndex(qBound(0, v.Style, 3));
    ui->JvSpinEditTab->setValue(v.Tab);
    typeChanged();
}

TNumberingValues TfrmNumbering::Values() const
{
    TNumberingValues v;
    v.Code = ui->ComboBoxType->currentIndex();
    v.Start = ui->JvSpinEditStart->value();
    v.Style = ui->ComboBoxStyle->currentIndex();
    v.Tab = ui->JvSpinEditTab->value();
    return v;
}

void TfrmNumbering::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (parentWidget())
        move(parentWidget()->window()->geometry().center() - rect().center());
}

void TfrmNumbering::typeChanged()
{
    const int code = ui->ComboBoxType->currentIndex();
    const bool numbered = code >= 2;
    ui->JvSpinEditStart->setEnabled(numbered);
    ui->ComboBoxStyle->setEnabled(numbered);
    ui->JvSpinEditTab->setEnabled(code >= 1);
    // Roman numerals past 99 grow too wide for the tab.
    const int low = code == 2 ? 0 : 1;
    const int high = code >= 5 ? 99 : 9999;
    ui->JvSpinEditStart->setRange(low, high);
}
