#pragma once
// "Список": the numbering of the selected paragraphs. The dialog only
// collects the values; the caller writes them.
#include <QDialog>

namespace Ui { class TfrmNumbering; }

struct TNumberingValues {
    int Code = 0;       // 0 none, 1 bullet, 2 arabic, 3/4 letters, 5/6 roman
    int Start = 1;
    int Style = 0;      // 0 "1)", 1 "1.", 2 "(1)", 3 "1"
    int Tab = 0;        // points
    bool operator==(const TNumberingValues &) const = default;
};

class TfrmNumbering : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNumbering(QWidget *parent = nullptr);
    ~TfrmNumbering() override;

    // A start number of 0 is shown as 1.
    void SetValues(const TNumberingValues &v);
    TNumberingValues Values() const;

    Ui::TfrmNumbering *ui;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void typeChanged();
};
