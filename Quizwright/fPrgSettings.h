#pragma once
// "Параметры": the three interface options of PrefFlags and how often a
// recovery copy is taken.
#include <QDialog>

namespace Ui { class TfrmPrgSettings; }

class TfrmPrgSettings : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrgSettings(QWidget *parent = nullptr);
    ~TfrmPrgSettings() override;

    // Ticks the boxes from the bold-row, save and read bits.
    void Preset(quint8 flags);
    // The bits of the ticked boxes alone: every other bit is 0.
    quint8 Flags() const;
    // Preset, show modally; on OK flags := Flags() and true.
    bool Change(quint8 &flags);
    // The same, and the minutes between recovery copies (0: none).
    bool Change(quint8 &flags, int &recoveryMinutes);
    void PresetRecovery(int minutes);
    int RecoveryMinutes() const;

    Ui::TfrmPrgSettings *ui;

protected:
    void showEvent(QShowEvent *e) override;
};
