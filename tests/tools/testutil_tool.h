#pragma once
// Runs the built qe2tool (path in $QE2TOOL) and collects what it said.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

struct TToolRun {
    bool finished = false;   // ran to its end, no crash, no hang
    int exitCode = -1;
    QByteArray out, err;
    QString errText() const { return QString::fromUtf8(err); }
    QString outText() const { return QString::fromUtf8(out); }
};

TToolRun RunTool(const QStringList &args);
// Writes bytes to dir/name and returns the path.
QString WriteFile(const QString &dir, const QString &name, const QByteArray &bytes);
QJsonObject ParseJsonObject(const QByteArray &bytes);
QByteArray ReadFile(const QString &path);
