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
// when the bytes are not a zip archive, an entry cannot be read, or an entry
// states a size its compressed bytes cannot hold or past these bounds.
inline constexpr unsigned long long kMaxEntryBytes = 256ull << 20;
inline constexpr unsigned long long kMaxArchiveBytes = 1024ull << 20;
TZipEntries ReadZip(const QByteArray &zip);

} // namespace Docx
