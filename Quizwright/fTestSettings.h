#pragma once
// "Параметры теста": the test's settings and its editing password. The dialog
// only shows and collects values; the caller loads it from the header and
// applies what it collected (PrepareTestSettings, Load, exec, ApplyTestSettings).
#include <QDialog>
#include <QString>

#include "QuizEngineCommon.h"

class TQuizDocument;
namespace Ui { class TfrmTestSettings; }

// What the dialog's controls hold when it is confirmed.
struct TTestSettingsValues {
    int RealQuestions = 0;           // the spin's maximum: questions with variants
    bool RandomQOrder = false;
    int RandomValue = 2;
    bool RandomVOrder = false;
    bool EnableBackNavigation = false;
    bool NoTimeLimit = false;
    int TimeLimit = 1;
    bool CanViewErrors = false;
    bool CanViewComments = false;
    bool CanAlwaysViewComments = false;
    bool PasswordEntered = false;    // the password button was pressed
    QString Password;
    bool CountWholeQuestion = false;
    bool SetCustomQSize = false;
    int Zoom = 100;
    int QWidth = 500;
    int QHeight = 300;
    int QScrollBars = 0;
};

// Counts the information items and returns the number of real questions. With
// fewer than three, random order cannot be chosen: RandomCount becomes 0 at
// once, without marking the test modified, and a later cancel keeps that.
int PrepareTestSettings(TQuizDocument &doc);

// Writes the collected values into the header field by field; the Options bits
// the dialog does not show are kept. The caller marks the test modified.
void ApplyTestSettings(TTestInfo &header, const TTestSettingsValues &values);

// Why OK refuses the two password entries (too long, a character the file
// cannot keep, different texts); empty when they can be stored as typed.
QString PasswordRefusal(const QString &first, const QString &second);

class TfrmTestSettings : public QDialog {
    Q_OBJECT
public:
    static constexpr int PasswordMaxLength = 14;  // what the Windows readers take back
    static constexpr int PasswordTypingLimit = 256;
    static constexpr int ZoomMax = 255;           // Zoom is one byte

    explicit TfrmTestSettings(QWidget *parent = nullptr);
    ~TfrmTestSettings() override;

    // Every control from the header; the password page locked.
    void Load(const TTestInfo &header, int realQuestions);
    TTestSettingsValues Values() const;

    Ui::TfrmTestSettings *ui;

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void btnChangePasswordClick();
    void chboxNoTimeLimitClick();
    void chboxRandomQOrderClick();
    void chboxCanViewCommentsClick();
    void cboxSetCustomQSizeClick();
    void setPasswordFieldsEnabled(bool enabled);

    int m_realQuestions = 0;
};

namespace TestSettingsTexts {
inline const QString PasswordsDiffer = QStringLiteral("Введенные пароли различаются");
inline const QString PasswordTooLong = QStringLiteral("Пароль не может быть длиннее %1 символов.\rВведите пароль короче.");
inline const QString PasswordCharacters = QStringLiteral("Эти знаки нельзя использовать в пароле: %1\rВведите пароль без них.");
inline const QString ChangePassword = QStringLiteral("Изменить пароль");
inline const QString SetPassword = QStringLiteral("Задать пароль");
inline const QString EnterNewPassword = QStringLiteral("Введите новый пароль");
}
