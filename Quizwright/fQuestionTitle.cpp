#include "fQuestionTitle.h"
#include "ui_fQuestionTitle.h"

#include "Ansi.h"
#include "QuestionListModel.h"

namespace {
const QString NoText = QStringLiteral("#Текст не задан#");
}

TfrmQTitle::TfrmQTitle(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), ui(new Ui::TfrmQTitle)
{
    ui->setupUi(this);
    setMinimumWidth(MinWidth);
    // Only the width follows the user.
    setFixedHeight(sizeHint().height());
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->cboxUseOriginalTitle, &QCheckBox::toggled, this, &TfrmQTitle::updateState);
    connect(ui->edText, &QLineEdit::textChanged, this, &TfrmQTitle::updateState);
}

TfrmQTitle::~TfrmQTitle() { delete ui; }

void TfrmQTitle::Preset(const TNQuestion &q)
{
    ui->cboxUseOriginalTitle->setChecked(!q.HasTitle);
    QString text;
    if (q.HasTitle)
        text = q.Title;
    else if (q.PlainLines.Count() > 0)
        text = FromAnsi(ToAnsi(q.PlainLines.Get(0)));   // a title is single-byte text
    else
        text = NoText;
    ui->edText->setText(text);
    updateState();
}

void TfrmQTitle::Apply(TNQuestion &q) const
{
    q.HasTitle = !ui->cboxUseOriginalTitle->isChecked();
    // Kept even when unused, so ticking the box back and forth loses nothing.
    q.Title = FromAnsi(ToAnsi(ui->edText->text()));
}

bool TfrmQTitle::Change(TNodeRecord &rec)
{
    if (!rec.Question)
        return false;
    Preset(*rec.Question);
    if (exec() != QDialog::Accepted)
        return false;
    Apply(*rec.Question);
    return true;
}

void TfrmQTitle::updateState()
{
    const bool useText = ui->cboxUseOriginalTitle->isChecked();
    ui->edText->setEnabled(!useText);
    ui->btnOK->setEnabled(useText || !ui->edText->text().isEmpty());
}

void TfrmQTitle::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (ui->edText->isEnabled()) {
        ui->edText->setFocus();
        ui->edText->selectAll();
    } else {
        ui->cboxUseOriginalTitle->setFocus();
    }
}
