#pragma once
// HTML from outside (exchange files, the clipboard) is bounded in depth before
// Qt's parser sees it: its time grows faster than the square of the depth.
#include <QString>

namespace RichText {

inline constexpr int kMaxHtmlDepth = 64;

// The HTML with every tag deeper than maxDepth dropped (their text stays).
// flattened, when given, says whether anything was dropped.
QString FlattenHtmlNesting(const QString &html, int maxDepth = kMaxHtmlDepth, bool *flattened = nullptr);

} // namespace RichText
