#include "fSplash.h"

#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include "ui_fSplash.h"

namespace {
QPointer<TfrmSplash> g_splash;
QString g_versionText;

QString CompiledVersion()
{
#ifdef QE_VERSION
    return QStringLiteral(QE_VERSION);
#else
    return QString();
#endif
}
}  // namespace

TfrmSplash::TfrmSplash(const QString &title, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui(new Ui::TfrmSplash)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(PictureWidth, PictureHeight);
    setCursor(Qt::BusyCursor);
    RenderPicture(title.isEmpty() ? QStringLiteral("Экзаменовка") : title);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    g_splash = this;
}

TfrmSplash::~TfrmSplash()
{
    delete ui;
}

TfrmSplash *TfrmSplash::Instance()
{
    return g_splash.data();
}

void TfrmSplash::CloseSplash()
{
    if (g_splash && g_splash->isVisible())
        g_splash->close();
}

QString TfrmSplash::ProgramVersionText()
{
    return g_versionText;
}

QString TfrmSplash::VersionLine(const QString &text)
{
    const QString version = CompiledVersion();
    if (version.isEmpty())
        return text;
#ifdef QE_DEBUG_BUILD
    return text + QStringLiteral(" (") + version + QStringLiteral(" отладочная версия)");
#else
    return text + QStringLiteral(" (") + version + u')';
#endif
}

void TfrmSplash::RenderPicture(const QString &title)
{
    m_picture = QPixmap(PictureWidth, PictureHeight);
    QPainter p(&m_picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, PictureHeight);
    bg.setColorAt(0.0, QColor(22, 30, 48));
    bg.setColorAt(0.75, QColor(8, 10, 18));
    bg.setColorAt(1.0, Qt::black);
    p.fillRect(m_picture.rect(), bg);

    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPixelSize(34);
    titleFont.setBold(true);
    p.setFont(titleFont);
    p.setPen(QColor(226, 232, 240));
    p.drawText(QRect(20, 14, PictureWidth - 40, 48), Qt::AlignLeft | Qt::AlignVCenter, title);

    QLinearGradient accent(20, 0, PictureWidth - 20, 0);
    accent.setColorAt(0.0, QColor(232, 160, 48));
    accent.setColorAt(1.0, QColor(232, 160, 48, 0));
    p.fillRect(QRect(20, 72, PictureWidth - 40, 2), accent);
    p.end();
    ui->imgSplash->setPixmap(m_picture);
}

void TfrmSplash::ShowInfo(const QString &text, int x, int y)
{
    if (!isVisible())
        return;
    g_versionText = CompiledVersion();
    QPainter p(&m_picture);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(QColor(128, 128, 128));
    p.setBackground(Qt::black);
    p.setBackgroundMode(Qt::OpaqueMode);
    const QString line = VersionLine(text);
    const QRect box(x, y, p.fontMetrics().horizontalAdvance(line), p.fontMetrics().height());
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop, line);
    p.end();
    ui->imgSplash->setPixmap(m_picture);
    ui->imgSplash->repaint();
}

bool TfrmSplash::event(QEvent *e)
{
    if (e->type() == QEvent::WindowDeactivate && isVisible())
        close();
    return QWidget::event(e);
}
