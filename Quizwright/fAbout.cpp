#include "fAbout.h"
#include "ui_fAbout.h"

#include <QDesktopServices>
#include <QEvent>
#include <QMouseEvent>

#include "EditorIcons.h"
#include "MessageBoxes.h"

const QString TfrmAbout::WebAddress = QStringLiteral("https://quizengine.example.org");
const QString TfrmAbout::EmailAddress = QStringLiteral("support@quizengine.example.org");

namespace {
const QString ProductLine = QStringLiteral("Экзаменовка 2.3\r") + QString(45, u'-');
const QString Rule = QString(45, u'-');

QString TextBlock()
{
    return QStringLiteral("Составление тестов для компьютерного тестирования:\n"
                          "вопросы с оформленным текстом и рисунками,\n"
                          "до десяти вариантов ответа, комментарии.\n")
        + Rule
        + QStringLiteral("\nТесты проводит программа тестирования;\n"
                         "результаты записываются в общий файл.\n")
        + Rule;
}

void SetLinkColour(QWidget *w, bool hover)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText,
               w->palette().color(hover ? QPalette::Highlight : QPalette::WindowText));
    if (!hover)
        p = QPalette();
    w->setPalette(p);
}
}  // namespace

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::TfrmAbout)
{
    ui->setupUi(this);
    ui->imgIcon->setPixmap(EditorIcons::ProgramIcon().pixmap(32, 32));
    ui->labText->setText(TextBlock());
    ui->labWWW->setText(WebAddress);
    ui->labEMAIL->setText(QStringLiteral("e-mail: ") + EmailAddress);
    for (QLabel *l : {ui->labWWW, ui->labEMAIL})
        l->installEventFilter(this);
    OpenUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    SetTexts(QString());
}

TfrmAbout::~TfrmAbout()
{
    delete ui;
}

QString TfrmAbout::ProgramLine(const QString &versionText)
{
    return QStringLiteral("Редактор тестов ") + versionText + QStringLiteral("\r\n(загружена версия RichEdit: ")
        + QString::number(RichEditVersion) + QStringLiteral(".0)");
}

void TfrmAbout::SetTexts(const QString &versionText)
{
    ui->labQuizEngine->setText(DisplayText(ProductLine));
    ui->labAboutApp->setText(DisplayText(ProgramLine(versionText)));
}

void TfrmAbout::Execute(const QString &versionText)
{
    SetTexts(versionText);
    adjustSize();
    if (QWidget *owner = parentWidget())
        move(owner->frameGeometry().center() - rect().center());
    exec();
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    auto *label = qobject_cast<QLabel *>(watched);
    if (label && (label == ui->labWWW || label == ui->labEMAIL)) {
        switch (event->type()) {
        case QEvent::Enter: SetLinkColour(label, true); break;
        case QEvent::Leave: SetLinkColour(label, false); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && OpenUrl)
                OpenUrl(label == ui->labWWW ? QUrl(WebAddress) : QUrl(QStringLiteral("mailto:") + EmailAddress));
            return true;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
