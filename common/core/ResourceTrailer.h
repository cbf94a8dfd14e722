#pragma once
// Named resources carried by a program file in a trailer at its end
// (docs/resource-trailer.md). Stands in for RT_RCDATA program resources.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace ResourceTrailer {
constexpr quint32 RT_RCDATA = 10;
using TResource = QPair<QString, QByteArray>;  // name, bytes (type RT_RCDATA, language 0)

// Copies program to out (keeping its permission bits 0777, not set-user-ID,
// set-group-ID or sticky) and adds or replaces the named
// resources. A program that already has a trailer keeps its other resources.
// Writes via a temporary file and rename. Throws EQuizError on failure.
void AddResources(const QString &program, const QString &out, const QList<TResource> &resources);
// The named resource of a program file; nullopt when absent or the trailer is damaged/foreign.
std::optional<QByteArray> FindResource(const QString &programFile, const QString &name);
// Names of all resources (for tests and the tool).
QList<TResource> ReadAll(const QString &programFile);
}
