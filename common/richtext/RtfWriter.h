#pragma once
// Writes a QTextDocument as RTF in the dialect of the Windows rich edit control:
// font and colour tables, \viewkind4\uc1, \pard, \par, \'xx for Windows-1251
// (or the run font's code page) and \uN? for the rest. Each embedded object is
// written as one placeholder space; its record follows the RTF separately.
#include <QByteArray>

class QTextDocument;

namespace RichText {

QByteArray WriteRtf(const QTextDocument &doc);

} // namespace RichText
