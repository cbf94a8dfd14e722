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
    // Room the title bar needs beside the caption's text: icon, buttons, margins.
    static constexpr int TitleBarExtra = 110;
    // The width at which the window's caption shows whole.
    static int CaptionWidth(const QString &caption);
protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
private:
    void FitCaption();
};
