#pragma once
// "Параметры": the three interface options of PrefFlags.
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

    Ui::TfrmPrgSettings *ui;

protected:
    void showEvent(QShowEvent *e) override;
};
