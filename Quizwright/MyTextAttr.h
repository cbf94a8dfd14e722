#pragma once
// The default text attributes new questions and comments are built with.
#include <QColor>
#include <QString>

struct TMyTextAttr {
    // Style flags.
    static constexpr quint8 StyleBold = 1, StyleItalic = 2, StyleUnderline = 4, StyleStrikeOut = 8;
    // Alignment codes.
    static constexpr quint8 AlignLeft = 0, AlignRight = 1, AlignCenter = 2, AlignJustify = 3;

    qint32 FontSize = 12;   // points
    QString FontName = QStringLiteral("MS Sans Serif");
    quint8 Style = 0;
    QColor FontColor = QColor(0, 0, 0);
    QColor BackColor = QColor(255, 255, 255);
    quint8 Alignment = AlignCenter;

    bool operator==(const TMyTextAttr &) const = default;
};
