#include "Scoring.h"

#include <algorithm>
#include <limits>

namespace {

// The totals are 16-bit in the result line; a run too large for them stops at
// the top instead of wrapping round to a small, wrong number.
quint16 AddSaturated(quint16 a, qsizetype b)
{
    const qint64 sum = qint64(a) + qint64(b);
    return quint16(std::min<qint64>(sum, std::numeric_limits<quint16>::max()));
}

} // namespace

TRunScore ScoreRun(TQuestionList &questions, quint16 options)
{
    const bool wholeQuestion = (options & CountWholeQuestion) != 0;
    TRunScore total;
    for (auto i = qsizetype(questions.size()) - 1; i >= 0; --i) {
        const TQuestionPtr &q = questions[size_t(i)];
        if (!q || q->IsInformation())
            continue;
        // An answer needs at least one tick, so an empty one never matches,
        // not even a key without any correct variant.
        const bool answered = !q->UserMarks.isEmpty();
        const bool exact = answered && q->UserMarks == q->RightMarks;
        if (wholeQuestion) {
            total.PossibleScore = AddSaturated(total.PossibleScore, 1);
            if (exact)
                total.Score = AddSaturated(total.Score, 1);
        } else {
            total.PossibleScore = AddSaturated(total.PossibleScore, q->Variants.size());
            if (answered) {
                const qsizetype n = std::min(q->RightMarks.size(), q->UserMarks.size());
                qsizetype same = 0;
                for (qsizetype k = 0; k < n; ++k)
                    if (q->RightMarks.at(k) == q->UserMarks.at(k))
                        ++same;
                total.Score = AddSaturated(total.Score, same);
            }
        }
        if (exact)
            questions.erase(questions.begin() + i);
    }
    return total;
}

QString FormatPercent(quint16 score, quint16 possibleScore)
{
    if (possibleScore == 0)
        return QStringLiteral("0,00");
    // Hundredths of a percent, rounded half up, in integers so that values such
    // as 0.125 % are not pushed below the half by binary floating point.
    const quint64 num = quint64(score) * 10000u;
    const quint64 hundredths = (2 * num + possibleScore) / (2 * quint64(possibleScore));
    const QString whole = QString::number(hundredths / 100);

    // "#,##0.00": thousands grouped by the Russian separator, a no-break space.
    QString grouped;
    const qsizetype len = whole.size();
    for (qsizetype i = 0; i < len; ++i) {
        if (i > 0 && (len - i) % 3 == 0)
            grouped += QChar(0x00A0);
        grouped += whole.at(i);
    }
    return grouped + QLatin1Char(',') + QStringLiteral("%1").arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}
