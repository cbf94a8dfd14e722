#pragma once
// "Завершить тестирование?" asked before the question window closes.
#include <QDialog>

namespace Ui { class TfrmConfirmExit; }

class TfrmConfirmExit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConfirmExit(QWidget *parent = nullptr);
    ~TfrmConfirmExit() override;
    Ui::TfrmConfirmExit *ui;
protected:
    void showEvent(QShowEvent *e) override;
};
