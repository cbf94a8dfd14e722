#pragma once
// "Специальная вставка": which of the clipboard's forms a rich-text editor
// inserts. The dialog only picks one; the caller inserts it.
#include <QDialog>
#include <QList>
#include <optional>

class QMimeData;
namespace Ui { class TfrmPasteSpecial; }

namespace PasteSpecial {
// The forms a rich-text editor can insert, in the order they are offered.
enum class TForm { RichText, Html, PlainText, Picture };
QString FormName(TForm form);
// The forms data offers that the editor can insert.
QList<TForm> FormsOf(const QMimeData *data);
// New data holding only that form of data (the caller owns it). HTML comes as
// rich text written by our own writer, so that it saves as it shows.
QMimeData *Extract(const QMimeData *data, TForm form);
}

class TfrmPasteSpecial : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPasteSpecial(QWidget *parent = nullptr);
    ~TfrmPasteSpecial() override;

    // Lists the forms, the first one chosen; the chosen one after OK, nothing
    // when cancelled or there was nothing to choose.
    void SetForms(const QList<PasteSpecial::TForm> &forms);
    std::optional<PasteSpecial::TForm> Chosen() const;
    std::optional<PasteSpecial::TForm> Choose(const QList<PasteSpecial::TForm> &forms);

    Ui::TfrmPasteSpecial *ui;

private:
    QList<PasteSpecial::TForm> m_forms;
};
