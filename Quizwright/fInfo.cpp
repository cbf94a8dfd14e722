#include "fInfo.h"
#include "ui_fInfo.h"

#include <QCoreApplication>
#include <QLabel>

#include "MessageBoxes.h"

namespace {
constexpr int LabelMargin = 8;
}

TfrmInfo::TfrmInfo(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(new Ui::TfrmInfo)
{
    ui->setupUi(this);
    resize(DesignWidth, DesignHeight);
}

TfrmInfo::~TfrmInfo()
{
    delete ui;
}

QString TfrmInfo::Text() const
{
    return ui->labInfo->text();
}

void TfrmInfo::resizeEvent(QResizeEvent *e)
{
    // Anchored on all four sides.
    ui->labInfo->setGeometry(LabelMargin, LabelMargin, width() - 2 * LabelMargin,
                             qMax(0, height() - 2 * LabelMargin));
    QWidget::resizeEvent(e);
}

void TfrmInfo::ShowInfo(const QString &caption, const QString &text, int height)
{
    setWindowTitle(caption);
    ui->labInfo->setText(DisplayText(text));
    resize(DesignWidth, height);
    if (QWidget *owner = parentWidget()) {
        const QRect r = owner->frameGeometry();
        move(r.center() - QPoint(DesignWidth / 2, height / 2));
    }
    show();
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
