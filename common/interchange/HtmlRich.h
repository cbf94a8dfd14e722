#pragma once
// HTML fragments of the exchange formats to and from our rich-text content
// record, pictures included.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include "Interchange.h"

namespace Interchange {

struct TEmbeddedFile {
    QString Name;      // as referenced: @@PLUGINFILE@@/<Name>
    QByteArray Data;   // raw bytes
};

// html: a question text or feedback; files: the pictures it may reference.
// Unknown tags keep their text; references to missing files are reported.
QByteArray RichRecordFromHtml(const QString &html, const QList<TEmbeddedFile> &files,
                              TReport &report, const QString &where);
// Plain text (line breaks kept) as a record in the default look.
QByteArray RichRecordFromPlain(const QString &text);
// The record as an HTML fragment; each picture object becomes a PNG in files,
// referenced as @@PLUGINFILE@@/<name>. Other objects are reported and dropped.
QString HtmlFromRichRecord(const QByteArray &record, QList<TEmbeddedFile> &files,
                           TReport &report, const QString &where);
// The record's text, objects dropped.
QString PlainFromRichRecord(const QByteArray &record);

} // namespace Interchange
