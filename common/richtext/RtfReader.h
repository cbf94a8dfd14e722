#pragma once
// Reads RTF as real producers write it into a QTextDocument. Malformed input
// loads what it can; the reader never throws, crashes or loops on bad data.
#include <QByteArray>
#include <QString>

class QTextDocument;

namespace RichText {

struct TRtfReadResult {
    bool ok = true;          // false: not RTF at all, or damaged (what could be read is loaded)
    QString error;
    qint64 errorOffset = -1; // byte offset where reading gave up
};

inline constexpr int kMaxGroupDepth = 512;
inline constexpr int kMaxParam = 1'000'000'000;

// Replaces doc's content. Text that does not start with "{\rtf" is taken as
// plain Windows-1251 text, as the Windows control does.
TRtfReadResult ReadRtf(const QByteArray &rtf, QTextDocument &doc);

} // namespace RichText
