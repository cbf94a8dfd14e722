#pragma once
// The registration dialog: the examinee's names before the test.
#include <QDialog>

namespace Ui { class TfrmData; }

class TfrmData : public QDialog {
    Q_OBJECT
public:
    explicit TfrmData(QWidget *parent = nullptr);
    ~TfrmData() override;
    QString LastName() const;
    QString FirstName() const;
    QString Patronymic() const;
    QString AddInfo() const;
    // "Фамилия Имя Отчество (доп. информация)" as the top bar shows it.
    QString FIO() const;
    Ui::TfrmData *ui;
private:
    void TextChange();
};
