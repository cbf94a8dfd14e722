#pragma once
// What the plain-text formats share: decoding a file, the limits of our model
// applied with a report, and a question made from its parts.
#include <QByteArray>
#include <QString>

#include "Interchange.h"

namespace Interchange {

inline constexpr int kMaxVariants = 10;
inline constexpr int kMaxPlainLines = 1000;
inline constexpr int kMaxQuestions = 65535;

// UTF-8 (a byte-order mark dropped); a file that is not UTF-8 is read as Windows-1251.
QString DecodeText(const QByteArray &data);

// "Вопрос 3 (строка 17): "
QString Where(int number, int line);

// The text as Windows-1251 can hold it; a changed text is reported as what.
QString AnsiOnly(const QString &text, const QString &what, TReport &report, const QString &where);

// Body and PlainLines from a content record. False when the text has more
// lines than a question may keep.
bool SetBody(TNQuestion &q, const QByteArray &record);

// True when the record is plain text in the default look: a plain-text format
// then loses nothing of it.
bool IsPlainLook(const QByteArray &record);
// True when the record is text in one look throughout: one face, size and colour,
// no bold, italic, underline, objects or lists, one alignment. A plain-text
// format keeps all of it but the face, size, colour and alignment, which the
// platform gives its own.
bool IsUniformLook(const QByteArray &record);

} // namespace Interchange
