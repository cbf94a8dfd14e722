#pragma once
// Zip packages in memory, through libzip.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace Docx {

using TZipEntries = QList<QPair<QString, QByteArray>>;   // name -> bytes, in package order

// The whole archive in memory; entries keep the given order. Throws EDocxError.
QByteArray WriteZip(const TZipEntries &entries);
// Every file entry of an archive (directories skipped). Throws EDocxError
// when the bytes are not a zip archive or an entry cannot be read.
TZipEntries ReadZip(const QByteArray &zip);

} // namespace Docx
