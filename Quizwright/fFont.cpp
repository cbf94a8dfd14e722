#include "fFont.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QIcon Swatch(const QColor &c)
{
    QPixmap pm(24, 12);
    pm.fill(c);
    QPainter p(&pm);
    p.setPen(Qt::darkGray);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}
}  // namespace

QList<QPair<QColor, QString>> TfrmFont::StandardColors()
{
    return {
        {QColor(0, 0, 0), QStringLiteral("Черный")},
        {QColor(128, 0, 0), QStringLiteral("Бордовый")},
        {QColor(0, 128, 0), QStringLiteral("Зеленый")},
        {QColor(128, 128, 0), QStringLiteral("Оливковый")},
        {QColor(0, 0, 128), QStringLiteral("Темно-синий")},
        {QColor(128, 0, 128), QStringLiteral("Фиолетовый")},
        {QColor(0, 128, 128), QStringLiteral("Сине-зеленый")},
        {QColor(128, 128, 128), QStringLiteral("Серый")},
        {QColor(192, 192, 192), QStringLiteral("Серебристый")},
        {QColor(255, 0, 0), QStringLiteral("Красный")},
        {QColor(0, 255, 0), QStringLiteral("Ярко-зеленый")},
        {QColor(255, 255, 0), QStringLiteral("Желтый")},
        {QColor(0, 0, 255), QStringLiteral("Синий")},
        {QColor(255, 0, 255), QStringLiteral("Малиновый")},
        {QColor(0, 255, 255), QStringLiteral("Голубой")},
        {QColor(255, 255, 255), QStringLiteral("Белый")},
    };
}

TfrmFont::TfrmFont(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDialog"));
    setWindowTitle(QStringLiteral("Шрифт"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // Qt's chooser as a plain widget: its lists, sample and effects, our buttons.
    m_chooser = new QFontDialog(this);
    m_chooser->setObjectName(QStringLiteral("fontChooser"));
    m_chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_chooser->setWindowFlags(Qt::Widget);
    m_chooser->setSizeGripEnabled(false);

    m_color = new QComboBox(this);
    m_color->setObjectName(QStringLiteral("cbColor"));
    for (const auto &[c, name] : StandardColors())
        addColor(c, name);
    auto *colorLabel = new QLabel(QStringLiteral("&Цвет:"), this);
    colorLabel->setBuddy(m_color);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(m_color);
    colorRow->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chooser, 1);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
    m_chooser->show();
}

int TfrmFont::addColor(const QColor &color, const QString &name)
{
    m_color->addItem(Swatch(color), name, color);
    return m_color->count() - 1;
}

void TfrmFont::SetFont(const QFont &font)
{
    m_chooser->setCurrentFont(font);
}

QFont TfrmFont::Font() const
{
    return m_chooser->currentFont();
}

void TfrmFont::SetColor(const QColor &color)
{
    const QColor c = color.isValid() ? color.toRgb() : QColor(Qt::black);
    const int standard = int(StandardColors().size());
    // One item for a colour of the selection's own, replaced on the next call.
    while (m_color->count() > standard)
        m_color->removeItem(m_color->count() - 1);
    int index = m_color->findData(c);
    if (index < 0)
        index = addColor(c, QStringLiteral("Другой"));
    m_color->setCurrentIndex(index);
}

QColor TfrmFont::Color() const
{
    return m_color->currentData().value<QColor>();
}
