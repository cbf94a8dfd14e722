#pragma once
// What a question record stores, compared field by field, with the first
// difference named.
#include "QuizEngineCommon.h"

#include <QString>

namespace Fuzz {
inline QString StoredDifference(const TNQuestion &a, const TNQuestion &b)
{
    if (a.PlainLines.items() != b.PlainLines.items()) return QStringLiteral("plain lines");
    if (a.Body != b.Body) return QStringLiteral("body");
    if (a.Comment != b.Comment) return QStringLiteral("comment");
    if (a.HasTitle != b.HasTitle || a.Title != b.Title)
        return QStringLiteral("title \"%1\" / \"%2\"").arg(a.Title, b.Title);
    if (a.Variants != b.Variants)
        return QStringLiteral("variants \"%1\" / \"%2\"").arg(a.Variants.join('|'), b.Variants.join('|'));
    if (a.RightMarks != b.RightMarks)
        return QStringLiteral("right marks \"%1\" / \"%2\"").arg(a.RightMarks, b.RightMarks);
    return {};
}

// The answers side, as the exchange formats carry it: variants, marks, title.
inline QString AnswersDifference(const TNQuestion &a, const TNQuestion &b)
{
    if (a.Variants != b.Variants)
        return QStringLiteral("variants: %1 | %2").arg(a.Variants.join('|'), b.Variants.join('|'));
    if (a.RightMarks != b.RightMarks)
        return QStringLiteral("marks: '%1' '%2'").arg(a.RightMarks, b.RightMarks);
    if (a.HasTitle != b.HasTitle || a.Title != b.Title)
        return QStringLiteral("title: '%1' '%2'").arg(a.Title, b.Title);
    return {};
}
}
