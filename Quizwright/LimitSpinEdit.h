#pragma once
// A spin edit that takes any typed number and cuts it back to its limits when
// the field is left, instead of refusing the keystroke that passes a limit.
#include <QSpinBox>

class TLimitSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit TLimitSpinEdit(QWidget *parent = nullptr);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};
