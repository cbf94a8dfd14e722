#include "fExportSettings.h"

#include "ui_fExportSettings.h"

TfrmExportSettings::TfrmExportSettings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmExportSettings>())
{
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmExportSettings::~TfrmExportSettings() = default;

void TfrmExportSettings::SetTemplates(const QStringList &names)
{
    ui->cboxTemplates->clear();
    ui->cboxTemplates->addItems(names);
    ui->cboxTemplates->setCurrentIndex(names.isEmpty() ? -1 : 0);
}

int TfrmExportSettings::TemplateIndex() const
{
    return ui->cboxTemplates->currentIndex();
}

Docx::TWordExportSettings TfrmExportSettings::Values() const
{
    Docx::TWordExportSettings s;
    s.formatQuestionText = ui->cbFormatQuestionText->isChecked();
    s.includeAnswers = ui->cbIncludeAnswers->isChecked();
    s.numVariants = ui->cbNumVariants->isChecked();
    return s;
}

void TfrmExportSettings::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (parentWidget()) {
        // Centred on the main window.
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    ui->btnOk->setFocus();
}
