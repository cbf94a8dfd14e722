#pragma once
// Icons of the editor's commands: the desktop's icon theme where it has a
// fitting one, otherwise small images of our own drawn here.
#include <QIcon>
#include <QString>

namespace EditorIcons {
// The theme name used for a command (empty when the theme has nothing fitting).
QString ThemeName(const QString &actionName);
// Our own 16 x 16 image for a command; a null icon for a command without one.
QIcon OwnIcon(const QString &actionName);
// Theme icon when the theme has it, else our own.
QIcon ForAction(const QString &actionName);
// The program's icon (window and About).
QIcon ProgramIcon();
}
