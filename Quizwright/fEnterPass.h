#pragma once
// "Введите пароль": the access password of the editor and the editing
// password of a test. The dialog only collects the text; the caller compares.
#include <QDialog>
#include <QString>
#include <optional>

namespace Ui { class TfrmPass; }

class TfrmPass : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxLength = 20;

    explicit TfrmPass(QWidget *parent = nullptr);
    ~TfrmPass() override;

    void SetLabel(const QString &text);
    QString Label() const;
    // Shows the dialog modally with an empty field; the typed text, or nothing
    // when it was cancelled.
    std::optional<QString> Ask();
    QString Password() const;

    Ui::TfrmPass *ui;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void UpdateState();
};
