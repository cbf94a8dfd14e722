#pragma once
// The score after the test; "Просмотр ошибок" leads to the review.
#include <QDialog>

namespace Ui { class TfrmResults; }

class TfrmResults : public QDialog {
    Q_OBJECT
public:
    explicit TfrmResults(QWidget *parent = nullptr);
    ~TfrmResults() override;
    Ui::TfrmResults *ui;
    void reject() override;
protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
};
