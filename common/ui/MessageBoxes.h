#pragma once
// The message boxes of both programs. A "\r" in a text is a line break.
//
// For tests: a sink installed with SetMessageSink receives every message
// instead of a window. Without a sink, when the environment variable
// QE_MESSAGE_LOG names a file, every message is appended to it as one UTF-8
// line "caption<TAB>text" (CR written as the two characters \r, LF as \n)
// and no window is shown.
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

using TMessageSink = std::function<void(QMessageBox::Icon, const QString &caption, const QString &text)>;

// An empty function restores the real message boxes.
void SetMessageSink(TMessageSink sink);

// Modal box with one OK button. The owner defaults to the active window, else
// the first visible top-level window. An empty caption means the system's
// default caption (the application's display name).
// aboveAll: the box stays above every window, the player's stay-on-top one
// included, so that a program it blocks never looks frozen.
void ShowMessage(QMessageBox::Icon icon, const QString &caption, const QString &text,
                 QWidget *owner = nullptr, bool aboveAll = false);

// Caption "Ошибка !", error icon.
void ShowError(const QString &message);
// ShowError above every window.
void ShowErrorAboveAll(const QString &message);
// Caption "Предупреждение !", warning icon.
void ShowWarning(const QString &message);

inline const QString ErrorCaption = QStringLiteral("Ошибка !");
// An allocation failure stopped a command before it changed anything.
inline const QString OutOfMemoryText = QStringLiteral("Недостаточно памяти: команда не выполнена, открытый тест не изменён.");
inline const QString WarningCaption = QStringLiteral("Предупреждение !");

// "\r\n", "\r" and "\n" become "\n", as QMessageBox shows them.
QString DisplayText(const QString &text);
// The one-line form written to the message log.
QString LogLine(const QString &caption, const QString &text);
// Appends that line to the log when QE_MESSAGE_LOG names one; true when it does.
bool AppendToMessageLog(const QString &caption, const QString &text);
