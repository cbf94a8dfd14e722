#pragma once
// Shown while the result line is being written; asks what to do after a failed series.
#include <QDialog>

namespace Ui { class TfrmSaveResults; }

class TfrmSaveResults : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSaveResults(QWidget *parent = nullptr);
    ~TfrmSaveResults() override;
    enum { ChoiceNone = 0, ChoiceRetry = 1, ChoiceDontSave = 10 };
    quint8 SaveChoice = ChoiceNone;
    Ui::TfrmSaveResults *ui;
    void reject() override;
protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;
};
