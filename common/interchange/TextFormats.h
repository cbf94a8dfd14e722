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

// A byte-order mark decides (UTF-8, UTF-16); a file that is valid UTF-8 is
// UTF-8; any other is Windows-1251 unless its letters outside ASCII stand
// inside Latin words, as in Western European text, which makes it
// Windows-1252. encoding: the name chosen ("UTF-8", "Windows-1251", …).
QString DecodeText(const QByteArray &data, QString *encoding = nullptr);
// HTML character references may name half of a surrogate pair, which no
// file encoding can hold: each such half becomes U+FFFD.
QString WithoutLoneSurrogates(QString text);
// The report's first line for a file that was not UTF-8, empty for UTF-8.
QString EncodingLine(const QString &encoding);

// A name as the platform keeps it: tags removed, spaces evened out.
QString NameWithoutTags(const QString &name);

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
