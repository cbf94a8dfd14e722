#include "fResults.h"
#include "ui_fResults.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>

TfrmResults::TfrmResults(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TfrmResults)
{
    ui->setupUi(this);
    FitCaption();
    setFixedSize(size());
    QFont f = ui->labCaption->font();
    f.setPixelSize(13);
    f.setBold(true);
    ui->labCaption->setFont(f);
    ui->labResults->setFont(f);
    f.setBold(false);
    ui->labResultsMode2->setFont(f);
    connect(ui->btnViewErrors, &QPushButton::clicked, this, [this] { done(Accepted); });
    connect(ui->btnExit, &QPushButton::clicked, this, [this] { done(Rejected); });
}

TfrmResults::~TfrmResults() { delete ui; }

int TfrmResults::CaptionWidth(const QString &caption)
{
    // The title bar's font is the desktop's; the bold application font is
    // about its size, and the icon and the buttons take the rest.
    QFont f = QApplication::font();
    f.setBold(true);
    return QFontMetrics(f).horizontalAdvance(caption) + TitleBarExtra;
}

void TfrmResults::FitCaption()
{
    const int dx = CaptionWidth(windowTitle()) - width();
    if (dx <= 0)
        return;
    // Wider by dx: the texts span it, the buttons stay in the middle.
    resize(width() + dx, height());
    for (QWidget *w : {static_cast<QWidget *>(ui->labCaption), static_cast<QWidget *>(ui->labResults),
                       static_cast<QWidget *>(ui->labResultsMode2), static_cast<QWidget *>(ui->panBottom)})
        w->resize(w->width() + dx, w->height());
    for (QWidget *w : {ui->btnExit, ui->btnViewErrors})
        w->move(w->x() + dx / 2, w->y());
}

// Only the two buttons end this window: no Esc, no close box, no Alt+F4.
void TfrmResults::reject() {}

void TfrmResults::closeEvent(QCloseEvent *e) { e->ignore(); }

void TfrmResults::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (ui->btnViewErrors->isEnabled())
        ui->btnViewErrors->setFocus();
    else
        ui->btnExit->setFocus();
}
