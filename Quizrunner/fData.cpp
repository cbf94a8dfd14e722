#include "fData.h"
#include "ui_fData.h"

TfrmData::TfrmData(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TfrmData)
{
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btnNext, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit *ed : {ui->edLastName, ui->edFirstName, ui->edPatronymic})
        connect(ed, &QLineEdit::textChanged, this, &TfrmData::TextChange);
    TextChange();
}

TfrmData::~TfrmData() { delete ui; }

QString TfrmData::LastName() const { return ui->edLastName->text(); }
QString TfrmData::FirstName() const { return ui->edFirstName->text(); }
QString TfrmData::Patronymic() const { return ui->edPatronymic->text(); }
QString TfrmData::AddInfo() const { return ui->edAddInfo->text(); }

QString TfrmData::FIO() const
{
    QString s = LastName() + QLatin1Char(' ') + FirstName() + QLatin1Char(' ') + Patronymic();
    if (!AddInfo().isEmpty())
        s += QStringLiteral(" (") + AddInfo() + QLatin1Char(')');
    return s;
}

// Spaces alone count as a name: only an empty field holds the dialog back.
void TfrmData::TextChange()
{
    ui->btnNext->setEnabled(!LastName().isEmpty() && !FirstName().isEmpty()
                            && !Patronymic().isEmpty());
}
