#include "Randomize.h"

#include <algorithm>
#include <stdexcept>

#include "Clock.h"

namespace {
// The list index checks that stand for the list's own range errors: a header
// whose counts disagree with the items read must not index past the list.
void CheckIndex(std::size_t i, std::size_t size)
{
    if (i >= size)
        throw std::out_of_range("list index out of bounds");
}

void InformationItemsToFront(TQuestionList &questions)
{
    std::stable_partition(questions.begin(), questions.end(),
                          [](const TQuestionPtr &q) { return q && q->IsInformation(); });
}

void ShuffleRealQuestions(TTestInfo &info, TQuestionList &questions, quint32 &askedCount)
{
    const quint32 swaps = QeClock::Random(32766) + 32766;
    if (info.RandomCount > askedCount)
        info.RandomCount = quint16(askedCount);
    const std::size_t first = info.IQCount;
    for (quint32 n = 0; n < swaps; ++n) {
        const std::size_t a = std::size_t(QeClock::Random(askedCount)) + first;
        const std::size_t b = std::size_t(QeClock::Random(askedCount)) + first;
        CheckIndex(a, questions.size());
        CheckIndex(b, questions.size());
        std::swap(questions[a], questions[b]);
    }
    const std::size_t keep = first + info.RandomCount;
    if (questions.size() > keep)
        questions.resize(keep);
    askedCount = info.RandomCount;
}
}  // namespace

void RandomizeTest(TTestInfo &info, TQuestionList &questions, quint32 &askedCount, const TShowMsg &showMsg)
{
    if (info.IQCount > 0) {
        try {
            InformationItemsToFront(questions);
        } catch (const std::exception &) {
            showMsg(RandomizeTestError1);
        }
    }
    if (askedCount > 2) {
        try {
            ShuffleRealQuestions(info, questions, askedCount);
        } catch (const std::exception &) {
            showMsg(RandomizeTestError2);
        }
    }
}

void RandomizeVariants(TQuestionList &questions, const TShowMsg &showMsg, TVariantOrders *orders)
{
    try {
        for (const TQuestionPtr &q : questions) {
            if (!q)
                continue;
            const quint32 n = quint32(q->Variants.size());
            if (n == 0)
                continue;
            // Kept in step with every swap, so a failure halfway leaves the order true.
            QList<quint16> *order = orders ? &(*orders)[q.get()] : nullptr;
            if (order) {
                order->clear();
                for (quint32 k = 0; k < n; ++k)
                    order->append(quint16(k));
            }
            const quint8 swaps = quint8(2 * QeClock::Random(n) + 1);
            for (quint8 k = 0; k < swaps; ++k) {
                const quint8 i = quint8(QeClock::Random(n));
                const quint8 j = quint8(QeClock::Random(n));
                CheckIndex(std::max(i, j), std::size_t(q->RightMarks.size()));
                q->Variants.swapItemsAt(i, j);
                std::swap(q->RightMarks[i], q->RightMarks[j]);
                if (order)
                    order->swapItemsAt(i, j);
            }
        }
    } catch (const std::exception &) {
        showMsg(RandomizeVariantsError);
    }
}
