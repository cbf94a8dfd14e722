#include "fTestSettings.h"
#include "ui_fTestSettings.h"

#include <QLayout>
#include <QShowEvent>

#include "Ansi.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"

namespace {
constexpr quint16 AllQuestionsRandom = 0xFFFF;

void setBit(quint16 &options, TTestOption bit, bool on)
{
    options = on ? quint16(options | bit) : quint16(options & ~bit);
}
}  // namespace

QString PasswordRefusal(const QString &first, const QString &second)
{
    for (const QString &p : {first, second}) {
        if (p.size() > TfrmTestSettings::PasswordMaxLength)
            return TestSettingsTexts::PasswordTooLong.arg(TfrmTestSettings::PasswordMaxLength);
        // The file keeps Windows-1251: anything else would come back as "?".
        if (FromAnsi(ToAnsi(p)) != p) {
            QString odd;
            for (const QChar ch : p)
                if (FromAnsi(ToAnsi(QString(ch))) != QString(ch) && !odd.contains(ch))
                    odd += ch;
            return TestSettingsTexts::PasswordCharacters.arg(odd);
        }
    }
    return first == second ? QString() : TestSettingsTexts::PasswordsDiffer;
}

int PrepareTestSettings(TQuizDocument &doc)
{
    const int real = doc.questionCount() - int(doc.CalcIQCount());
    if (real < 3)
        doc.header().RandomCount = 0;
    return real;
}

void ApplyTestSettings(TTestInfo &h, const TTestSettingsValues &v)
{
    if (!v.RandomQOrder)
        h.RandomCount = 0;
    else if (v.RandomValue >= v.RealQuestions)
        h.RandomCount = AllQuestionsRandom;
    else
        h.RandomCount = quint16(v.RandomValue);
    setBit(h.Options, EnableBackNavigation, v.EnableBackNavigation);
    setBit(h.Options, RandomVOrder, v.RandomVOrder);
    h.TimeLimit = v.NoTimeLimit ? 0 : quint8(qBound(1, v.TimeLimit, 255));
    setBit(h.Options, CanViewErrors, v.CanViewErrors);
    setBit(h.Options, CanViewComments, v.CanViewComments);
    setBit(h.Options, CanAlwaysViewComments, v.CanAlwaysViewComments);
    if (v.PasswordEntered)
        h.Password = v.Password;
    setBit(h.Options, CountWholeQuestion, v.CountWholeQuestion);
    setBit(h.Options, SetCustomQSize, v.SetCustomQSize);
    h.Zoom = quint8(qBound(0, v.Zoom, 255));
    h.QWidth = quint16(qBound(0, v.QWidth, 0xFFFF));
    h.QHeight = quint16(qBound(0, v.QHeight, 0xFFFF));
    h.QScrollBars = quint8(qMax(0, v.QScrollBars));
}

TfrmTestSettings::TfrmTestSettings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), ui(new Ui::TfrmTestSettings)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmTestSettings"));
    ui->JvSpinEditZoom->setMaximum(ZoomMax);
    // Longer passwords can be typed, so that OK can say why they are refused:
    // a field that silently stops would store a password the teacher never typed.
    ui->edPass1->setMaxLength(PasswordTypingLimit);
    ui->edPass2->setMaxLength(PasswordTypingLimit);
    // Not resizable; as large as its texts need.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(ui->btnOk, &QPushButton::clicked, this, &TfrmTestSettings::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnChangePassword, &QPushButton::clicked, this, &TfrmTestSettings::btnChangePasswordClick);
    connect(ui->chboxNoTimeLimit, &QCheckBox::toggled, this, &TfrmTestSettings::chboxNoTimeLimitClick);
    connect(ui->chboxRandomQOrder, &QCheckBox::toggled, this, &TfrmTestSettings::chboxRandomQOrderClick);
    connect(ui->chboxCanViewComments, &QCheckBox::toggled, this, &TfrmTestSettings::chboxCanViewCommentsClick);
    connect(ui->cboxSetCustomQSize, &QCheckBox::toggled, this, &TfrmTestSettings::cboxSetCustomQSizeClick);
}

TfrmTestSettings::~TfrmTestSettings() { delete ui; }

void TfrmTestSettings::Load(const TTestInfo &h, int realQuestions)
{
    m_realQuestions = realQuestions;
    ui->chboxRandomQOrder->setEnabled(realQuestions > 2);
    ui->chboxRandomQOrder->setChecked(h.RandomCount != 0);
    chboxRandomQOrderClick();
    ui->labTotalCount->setText(QString::number(realQuestions) + u')');
    // A maximum below the minimum: Qt lifts it to the minimum, as the value is.
    ui->spedRandom->setRange(2, realQuestions);
    ui->spedRandom->setValue(h.RandomCount != 0 && h.RandomCount != AllQuestionsRandom ? int(h.RandomCount)
                                                                                         : realQuestions);
    ui->chboxRandomVOrder->setChecked(h.has(RandomVOrder));
    ui->chboxEnableBackNavigation->setChecked(h.has(EnableBackNavigation));

    ui->chboxNoTimeLimit->setChecked(h.TimeLimit == 0);
    chboxNoTimeLimitClick();
    ui->chboxCountWholeQuestion->setChecked(h.has(CountWholeQuestion));
    ui->spedTimeLimit->setValue(int(h.TimeLimit));

    ui->chboxCanViewErrors->setChecked(h.has(CanViewErrors));
    ui->chboxCanViewComments->setChecked(h.has(CanViewComments));
    ui->chboxCanAlwaysViewComments->setChecked(h.has(CanAlwaysViewComments));
    chboxCanViewCommentsClick();

    ui->edPass1->clear();
    ui->edPass2->clear();
    setPasswordFieldsEnabled(false);
    ui->btnChangePassword->setEnabled(true);
    ui->btnChangePassword->setText(h.Password.isEmpty() ? TestSettingsTexts::SetPassword
                                                        : TestSettingsTexts::ChangePassword);

    ui->JvSpinEditQWidth->setValue(int(h.QWidth));
    ui->JvSpinEditQHeight->setValue(int(h.QHeight));
    ui->JvSpinEditZoom->setValue(int(h.Zoom));
    ui->cboxSetCustomQSize->setChecked(h.has(SetCustomQSize));
    cboxSetCustomQSizeClick();
    ui->cboxQScrollBars->setCurrentIndex(h.QScrollBars < ui->cboxQScrollBars->count() ? int(h.QScrollBars) : -1);
}

TTestSettingsValues TfrmTestSettings::Values() const
{
    TTestSettingsValues v;
    v.RealQuestions = m_realQuestions;
    v.RandomQOrder = ui->chboxRandomQOrder->isChecked();
    v.RandomValue = ui->spedRandom->value();
    v.RandomVOrder = ui->chboxRandomVOrder->isChecked();
    v.EnableBackNavigation = ui->chboxEnableBackNavigation->isChecked();
    v.NoTimeLimit = ui->chboxNoTimeLimit->isChecked();
    v.TimeLimit = ui->spedTimeLimit->value();
    v.CanViewErrors = ui->chboxCanViewErrors->isChecked();
    v.CanViewComments = ui->chboxCanViewComments->isChecked();
    v.CanAlwaysViewComments = ui->chboxCanAlwaysViewComments->isChecked();
    v.PasswordEntered = ui->edPass1->isEnabled();
    v.Password = ui->edPass1->text();
    v.CountWholeQuestion = ui->chboxCountWholeQuestion->isChecked();
    v.SetCustomQSize = ui->cboxSetCustomQSize->isChecked();
    v.Zoom = ui->JvSpinEditZoom->value();
    v.QWidth = ui->JvSpinEditQWidth->value();
    v.QHeight = ui->JvSpinEditQHeight->value();
    v.QScrollBars = qMax(0, ui->cboxQScrollBars->currentIndex());
    return v;
}

void TfrmTestSettings::accept()
{
    // A value still being typed counts as if the field had been left.
    for (QSpinBox *sp : findChildren<QSpinBox *>())
        sp->interpretText();
    if (ui->edPass1->isEnabled()) {
        const QString refused = PasswordRefusal(ui->edPass1->text(), ui->edPass2->text());
        if (!refused.isEmpty()) {
            ShowMessage(QMessageBox::NoIcon, QString(), refused, this);
            return;
        }
    }
    QDialog::accept();
}

void TfrmTestSettings::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    ui->PageControl->setCurrentIndex(0);
    ui->btnOk->setFocus();
}

void TfrmTestSettings::btnChangePasswordClick()
{
    ui->btnChangePassword->setEnabled(false);
    ui->btnChangePassword->setText(TestSettingsTexts::EnterNewPassword);
    setPasswordFieldsEnabled(true);
    ui->edPass1->setFocus();
}

void TfrmTestSettings::chboxNoTimeLimitClick()
{
    ui->spedTimeLimit->setEnabled(!ui->chboxNoTimeLimit->isChecked());
}

void TfrmTestSettings::chboxRandomQOrderClick()
{
    ui->spedRandom->setEnabled(ui->chboxRandomQOrder->isChecked() && ui->chboxRandomQOrder->isEnabled());
}

void TfrmTestSettings::chboxCanViewCommentsClick()
{
    const bool on = ui->chboxCanViewComments->isChecked();
    ui->chboxCanAlwaysViewComments->setEnabled(on);
    if (!on)
        ui->chboxCanAlwaysViewComments->setChecked(false);
}

void TfrmTestSettings::cboxSetCustomQSizeClick()
{
    const bool on = ui->cboxSetCustomQSize->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(ui->JvSpinEditQWidth), static_cast<QWidget *>(ui->JvSpinEditQHeight),
                       static_cast<QWidget *>(ui->labQWidth), static_cast<QWidget *>(ui->labQHeight)})
        w->setEnabled(on);
}

void TfrmTestSettings::setPasswordFieldsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(ui->edPass1), static_cast<QWidget *>(ui->edPass2),
                       static_cast<QWidget *>(ui->labEnterPassword), static_cast<QWidget *>(ui->labReEnterPassword)})
        w->setEnabled(enabled);
}
