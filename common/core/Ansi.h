#pragma once
// Windows-1251 at the file boundary; in memory all text is QString.
#include <QByteArray>
#include <QString>

// Characters Windows-1251 cannot hold become '?'.
QByteArray ToAnsi(const QString &s);
QString FromAnsi(const QByteArray &b);
