#include "fParagraph.h"
#include "ui_fParagraph.h"

TfrmParagraph::TfrmParagraph(QWidget *parent) : QDialog(parent), ui(new Ui::TfrmParagraph)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    connect(ui->JvSpinEditIdentLeft, &QAbstractSpinBox::editingFinished, this, &TfrmParagraph::leftLeft);
    connect(ui->ComboBoxLineSpacingRule, &QComboBox::currentIndexChanged, this, &TfrmParagraph::ruleChanged);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ruleChanged();
}

TfrmParagraph::~TfrmParagraph() { delete ui; }

void TfrmParagraph::SetValues(const TParagraphValues &v)
{
    ui->ComboBoxAlign->setCurrentIndex(qBound(0, v.Alignment, 3));
    ui->JvSpinEditIdentLeft->setValue(v.LeftIndent);
    ui->JvSpinEditIndentRight->setValue(v.RightIndent);
    ui->JvSpinEditIndentFirst->setMinimum(-ui->JvSpinEditIdentLeft->value());
    ui->JvSpinEditIndentFirst->setValue(v.FirstIndent);
    ui->JvSpinEditLineSpacing->setValue(v.LineValue);
    ui->JvSpinEditSpaceBefore->setValue(v.SpaceBefore);
    ui->JvSpinEditSpaceAfter->setValue(v.SpaceAfter);
    ui->ComboBoxLineSpacingRule->setCurrentIndex(qBound(0, v.LineRule, 5));
    ruleChanged();
}

TParagraphValues TfrmParagraph::Values() const
{
    TParagraphValues v;
    v.Alignment = ui->ComboBoxAlign->currentIndex();
    v.LeftIndent = ui->JvSpinEditIdentLeft->value();
    v.RightIndent = ui->JvSpinEditIndentRight->value();
    v.FirstIndent = ui->JvSpinEditIndentFirst->value();
    v.SpaceBefore = ui->JvSpinEditSpaceBefore->value();
    v.SpaceAfter = ui->JvSpinEditSpaceAfter->value();
    v.LineRule = ui->ComboBoxLineSpacingRule->currentIndex();
    v.LineValue = ui->JvSpinEditLineSpacing->value();
    return v;
}

void TfrmParagraph::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (parentWidget())
        move(parentWidget()->window()->geometry().center() - rect().center());
    ui->ComboBoxAlign->setFocus();
}

// The first line may hang out of the paragraph, but not past the page's edge.
void TfrmParagraph::leftLeft()
{
    ui->JvSpinEditIndentFirst->setMinimum(-ui->JvSpinEditIdentLeft->value());
}

void TfrmParagraph::ruleChanged()
{
    const int rule = ui->ComboBoxLineSpacingRule->currentIndex();
    ui->JvSpinEditLineSpacing->setEnabled(rule >= 3 && rule <= 5);
}
