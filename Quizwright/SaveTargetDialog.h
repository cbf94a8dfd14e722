#pragma once

#include <QString>
#include <functional>

class QWidget;
class TfrmMain;

namespace SaveTargetTexts {
inline const QString AskReplace = QStringLiteral("Файл \"%1\" уже существует.\rЗаменить его?");
}

// The save dialog of the exports: Qt's own dialog (so tests find it by its
// object name), started in dir with name selected. Returns the chosen path,
// or an empty string when cancelled. A non-empty suffix is added to a bare name.
// It asks nothing about existing files: ChooseSaveTarget does, about the file
// that will really be written.
QString AskSaveTarget(QWidget *owner, const QString &objectName, const QString &dir,
                      const QString &filter, const QString &name, const QString &suffix = QString());

// Runs a save dialog until the teacher settles on a file: ask(dir, name) is the
// dialog (empty when cancelled), targetOf turns its answer into the file the
// command will write (an extension added or replaced). An existing target is
// replaced only after the owner's question is answered Yes; No shows the dialog
// again on the same name. Returns the target, or empty when cancelled.
QString ChooseSaveTarget(TfrmMain &owner, const QString &dir, const QString &name,
                         const std::function<QString(const QString &dir, const QString &name)> &ask,
                         const std::function<QString(const QString &chosen)> &targetOf = {});
