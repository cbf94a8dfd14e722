#include "fPasteSpecial.h"
#include "ui_fPasteSpecial.h"

#include <QImage>
#include <QMimeData>
#include <QTextDocument>

#include "HtmlNesting.h"
#include "RtfWriter.h"

namespace PasteSpecial {
namespace {
const QString RtfMime = QStringLiteral("text/rtf");
const QString RtfMimeWin = QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\"");
}

QString FormName(TForm form)
{
    switch (form) {
    case TForm::RichText: return QStringLiteral("Текст в формате RTF");
    case TForm::Html: return QStringLiteral("Документ HTML");
    case TForm::PlainText: return QStringLiteral("Неформатированный текст");
    case TForm::Picture: return QStringLiteral("Рисунок");
    }
    return QString();
}

QList<TForm> FormsOf(const QMimeData *data)
{
    QList<TForm> forms;
    if (!data)
        return forms;
    if (data->hasFormat(RtfMime) || data->hasFormat(RtfMimeWin))
        forms.append(TForm::RichText);
    if (data->hasHtml())
        forms.append(TForm::Html);
    if (data->hasText())
        forms.append(TForm::PlainText);
    if (data->hasImage())
        forms.append(TForm::Picture);
    return forms;
}

QMimeData *Extract(const QMimeData *data, TForm form)
{
    auto *out = new QMimeData;
    switch (form) {
    case TForm::RichText:
        out->setData(RtfMime, data->data(data->hasFormat(RtfMime) ? RtfMime : RtfMimeWin));
        break;
    case TForm::Html: {
        QTextDocument doc;
        doc.setHtml(RichText::FlattenHtmlNesting(data->html()));
        out->setData(RtfMime, RichText::WriteRtf(doc));
        break;
    }
    case TForm::PlainText:
        out->setText(data->text());
        break;
    case TForm::Picture:
        out->setImageData(data->imageData());
        break;
    }
    return out;
}
}  // namespace PasteSpecial

TfrmPasteSpecial::TfrmPasteSpecial(QWidget *parent) : QDialog(parent), ui(new Ui::TfrmPasteSpecial)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmPasteSpecial"));
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->lbFormats, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

TfrmPasteSpecial::~TfrmPasteSpecial()
{
    delete ui;
}

void TfrmPasteSpecial::SetForms(const QList<PasteSpecial::TForm> &forms)
{
    m_forms = forms;
    ui->lbFormats->clear();
    for (PasteSpecial::TForm f : forms)
        ui->lbFormats->addItem(PasteSpecial::FormName(f));
    if (!forms.isEmpty())
        ui->lbFormats->setCurrentRow(0);
    ui->btnOK->setEnabled(!forms.isEmpty());
}

std::optional<PasteSpecial::TForm> TfrmPasteSpecial::Chosen() const
{
    const int row = ui->lbFormats->currentRow();
    if (row < 0 || row >= m_forms.size())
        return std::nullopt;
    return m_forms.at(row);
}

std::optional<PasteSpecial::TForm> TfrmPasteSpecial::Choose(const QList<PasteSpecial::TForm> &forms)
{
    SetForms(forms);
    if (forms.isEmpty() || exec() != QDialog::Accepted)
        return std::nullopt;
    return Chosen();
}
