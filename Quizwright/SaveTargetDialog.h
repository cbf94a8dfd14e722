#pragma once

#include <QString>

class QWidget;

// The save dialog of the exports: Qt's own dialog (so tests find it by its
// object name), started in dir with name selected. Returns the chosen path,
// or an empty string when cancelled. A non-empty suffix is added to a bare name.
QString AskSaveTarget(QWidget *owner, const QString &objectName, const QString &dir,
                      const QString &filter, const QString &name, const QString &suffix = QString());
