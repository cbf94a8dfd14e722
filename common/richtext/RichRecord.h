#pragma once
// The rich-text content record to and from a QTextDocument.
#include <QByteArray>

class QTextDocument;

namespace RichText {

// RTF without objects (one placeholder space per object), then one "BDOC"
// record per object in document order. Throws ERichEditError
// ("Не могу получить объект") when an object has no storage.
QByteArray SaveRecord(const QTextDocument &doc);

// Replaces doc's content. An empty record gives an empty document. Throws
// ERichEditError: "Failed to Load Stream" when the record is shorter than its
// RTF length says (the RTF that is there is loaded), "Неверный формат потока"
// when what follows the RTF is not a whole object record (objects read so far
// stay). readOnly clears every object's resizable flag.
void LoadRecord(QTextDocument &doc, const QByteArray &record, bool readOnly = false);

} // namespace RichText

#include <QStringList>
namespace RichText {
// The lines view of a document: by paragraphs and forced line breaks (U+2028),
// objects as U+FFFC, a last empty line not counted, at most kMaxLineLength
// characters per line.
inline constexpr int kMaxLineLength = 8192;
QStringList DocumentLines(const QTextDocument &doc);
} // namespace RichText
