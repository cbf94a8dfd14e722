#include "LimitSpinEdit.h"

TLimitSpinEdit::TLimitSpinEdit(QWidget *parent) : QSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State TLimitSpinEdit::validate(QString &input, int &pos) const
{
    const QValidator::State s = QSpinBox::validate(input, pos);
    if (s != QValidator::Invalid)
        return s;
    bool ok = false;
    input.trimmed().toLongLong(&ok);
    return ok ? QValidator::Intermediate : s;
}

void TLimitSpinEdit::fixup(QString &input) const
{
    bool ok = false;
    const qint64 v = input.trimmed().toLongLong(&ok);
    if (ok)
        input = textFromValue(int(qBound(qint64(minimum()), v, qint64(maximum()))));
    else
        QSpinBox::fixup(input);
}
