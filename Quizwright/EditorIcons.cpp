#include "EditorIcons.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
struct TIconLook {
    const char *theme;   // freedesktop icon name, or nullptr
    const char *glyph;   // our own image: a short mark
    QRgb colour;
};

const QHash<QString, TIconLook> &Looks()
{
    static const QHash<QString, TIconLook> looks = {
        {QStringLiteral("actFileNew"), {"document-new", "", qRgb(255, 255, 255)}},
        {QStringLiteral("actFileOpen"), {"document-open", "", qRgb(230, 190, 80)}},
        {QStringLiteral("actFileSave"), {"document-save", "", qRgb(60, 90, 170)}},
        {QStringLiteral("actFileSaveAs"), {"document-save-as", "", qRgb(60, 90, 170)}},
        {QStringLiteral("actFileParameters"), {"document-properties", "P", qRgb(90, 90, 90)}},
        {QStringLiteral("actFileExportWord"), {nullptr, "W", qRgb(40, 80, 170)}},
        {QStringLiteral("actFileExportExe"), {nullptr, "E", qRgb(170, 60, 40)}},
        {QStringLiteral("actFileExit"), {"application-exit", "\u00d7", qRgb(170, 40, 40)}},
        {QStringLiteral("actEditUndo"), {"edit-undo", "\u21b6", qRgb(40, 90, 160)}},
        {QStringLiteral("actEditRedo"), {"edit-redo", "\u21b7", qRgb(40, 90, 160)}},
        {QStringLiteral("actEditCut"), {"edit-cut", "\u2702", qRgb(60, 60, 60)}},
        {QStringLiteral("actEditCopy"), {"edit-copy", "\u2750", qRgb(60, 60, 60)}},
        {QStringLiteral("actEditPaste"), {"edit-paste", "\u25a6", qRgb(120, 90, 40)}},
        {QStringLiteral("actEditDelete"), {"edit-delete", "\u2715", qRgb(170, 40, 40)}},
        {QStringLiteral("actEditSelectAll"), {"edit-select-all", "", 0}},
        {QStringLiteral("actEditAddQuestion"), {nullptr, "?+", qRgb(200, 150, 0)}},
        {QStringLiteral("actEditDeleteQuestions"), {nullptr, "?\u2212", qRgb(180, 40, 40)}},
        {QStringLiteral("actEditAddComment"), {nullptr, "\u270e+", qRgb(40, 120, 60)}},
        {QStringLiteral("actEditDeleteComment"), {nullptr, "\u270e\u2212", qRgb(180, 40, 40)}},
        {QStringLiteral("actEditQTitle"), {nullptr, "T", qRgb(60, 60, 140)}},
        {QStringLiteral("actHelpAbout"), {"help-about", "i", qRgb(40, 90, 160)}},
        {QStringLiteral("actFormatFontBold"), {"format-text-bold", "B", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatFontItalic"), {"format-text-italic", "I", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatFontUnderline"), {"format-text-underline", "U", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatFontSuperscript"), {nullptr, "x\u00b2", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatFontSubscript"), {nullptr, "x\u2082", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatFontSetTextColor"), {nullptr, "A", qRgb(200, 0, 0)}},
        {QStringLiteral("actFormatFontSetTextBackColor"), {nullptr, "\u25a0", qRgb(240, 200, 0)}},
        {QStringLiteral("actFormatFont"), {"font-select", "F", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatAlignLeft"), {"format-justify-left", "\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatAlignRight"), {"format-justify-right", "\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatAlignCenter"), {"format-justify-center", "\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatAlignJustify"), {"format-justify-fill", "\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatBullet"), {nullptr, "\u2022\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatNumbers"), {nullptr, "1\u2261", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatIndentIncrease"), {"format-indent-more", "\u21e5", qRgb(0, 0, 0)}},
        {QStringLiteral("actFormatIndentDecrease"), {"format-indent-less", "\u21e4", qRgb(0, 0, 0)}},
        {QStringLiteral("actInsertPicture"), {"insert-image", "\u25a3", qRgb(40, 130, 60)}},
        {QStringLiteral("actInsertInsertObject"), {"insert-object", "\u25a4", qRgb(90, 90, 90)}},
    };
    return looks;
}

QPixmap Sheet(QRgb fill, const QString &glyph, QRgb glyphColour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10.5, 1.5);
    page.lineTo(13.5, 4.5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QColor(90, 90, 90));
    p.setBrush(QColor(fill));
    p.drawPath(page);
    if (!glyph.isEmpty()) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(glyphColour));
        p.drawText(QRect(3, 3, 11, 11), Qt::AlignCenter, glyph);
    }
    return pm;
}

QPixmap Glyph(const QString &glyph, QRgb colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(glyph.size() > 1 ? 10 : 13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(colour));
    p.drawText(pm.rect(), Qt::AlignCenter, glyph);
    return pm;
}

QPixmap Own(const QString &actionName, const TIconLook &look)
{
    if (actionName == QLatin1String("actFileNew"))
        return Sheet(qRgb(255, 255, 255), QString(), 0);
    if (actionName == QLatin1String("actFileOpen")) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setPen(QColor(150, 110, 30));
        p.setBrush(QColor(look.colour));
        p.drawRect(1, 4, 13, 9);
        p.drawRect(1, 2, 5, 2);
        return pm;
    }
    if (actionName.startsWith(QLatin1String("actFileSave"))) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setPen(QColor(30, 50, 110));
        p.setBrush(QColor(look.colour));
        p.drawRect(1, 1, 13, 13);
        p.setBrush(Qt::white);
        p.drawRect(4, 1, 7, 5);
        if (actionName.endsWith(QLatin1String("As"))) {
            p.setPen(QColor(200, 150, 0));
            p.drawLine(9, 12, 14, 7);
        }
        return pm;
    }
    const QString glyph = QString::fromUtf8(look.glyph);
    if (glyph.isEmpty())
        return QPixmap();
    return Glyph(glyph, look.colour);
}
}  // namespace

QString EditorIcons::ThemeName(const QString &actionName)
{
    const auto it = Looks().constFind(actionName);
    return it == Looks().constEnd() || !it->theme ? QString() : QString::fromLatin1(it->theme);
}

QIcon EditorIcons::OwnIcon(const QString &actionName)
{
    const auto it = Looks().constFind(actionName);
    if (it == Looks().constEnd())
        return QIcon();
    const QPixmap pm = Own(actionName, *it);
    return pm.isNull() ? QIcon() : QIcon(pm);
}

QIcon EditorIcons::ForAction(const QString &actionName)
{
    const QString theme = ThemeName(actionName);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme))
        return QIcon::fromTheme(theme);
    return OwnIcon(actionName);
}

QIcon EditorIcons::ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(QPen(QColor(40, 50, 80), 1.5));
        p.setBrush(QColor(250, 250, 245));
        p.drawRoundedRect(QRectF(4, 2, 22, 28), 2, 2);
        p.setPen(QPen(QColor(232, 160, 48), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(9, 16);
        tick.lineTo(14, 22);
        tick.lineTo(23, 9);
        p.drawPath(tick);
        p.setPen(QPen(QColor(60, 90, 170), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, 28), QPointF(29, 19));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
