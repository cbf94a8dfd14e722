#pragma once
// "Заголовок вопроса": a custom title shown in the list instead of the
// question's first text line.
#include <QDialog>

class TNQuestion;
struct TNodeRecord;
namespace Ui { class TfrmQTitle; }

class TfrmQTitle : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinWidth = 287;

    explicit TfrmQTitle(QWidget *parent = nullptr);
    ~TfrmQTitle() override;

    // Shows the dialog for rec's question; on OK stores HasTitle and Title in it
    // and returns true (the caller repaints the row and marks the test modified).
    bool Change(TNodeRecord &rec);

    // The two halves of Change, for a caller that shows the dialog itself.
    void Preset(const TNQuestion &q);
    void Apply(TNQuestion &q) const;

    Ui::TfrmQTitle *ui;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void updateState();
};
