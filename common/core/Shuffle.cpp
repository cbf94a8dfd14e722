// Reordering of question lists and variants for the document export.
#include "QuizEngineCommon.h"

#include "Clock.h"

#include <algorithm>
#include <stdexcept>

namespace {
std::function<void(const QString &)> &reporter()
{
    static std::function<void(const QString &)> r;
    return r;
}

void report(const QString &message)
{
    if (reporter())
        reporter()(message);
}

TNQuestion &deref(const TQuestionPtr &q)
{
    if (!q)
        throw std::logic_error("null question");
    return *q;
}
}

void SetShuffleErrorReporter(std::function<void(const QString &)> r) { reporter() = std::move(r); }

void ShuffleQuestions(const TTestInfo &info, TQuestionList &list)
{
    try {
        // Information items to the front, both groups keeping their order.
        size_t k = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            if (deref(list[i]).IsInformation()) {
                std::rotate(list.begin() + qsizetype(k), list.begin() + qsizetype(i),
                            list.begin() + qsizetype(i) + 1);
                ++k;
            }
        }
        const size_t m = list.size() - k;
        if (m <= 2 || info.RandomCount == 0 || info.RandomCount == 1)
            return;
        const quint32 rounds = 32766 + QeClock::Random(32766);
        const size_t limit = std::min<size_t>(info.RandomCount, m);
        for (quint32 r = 0; r < rounds; ++r) {
            const size_t a = k + QeClock::Random(quint32(m));
            const size_t b = k + QeClock::Random(quint32(m));
            std::swap(list[a], list[b]);
        }
        if (list.size() > k + limit)
            list.resize(k + limit);
    } catch (...) {
        report(QStringLiteral("Ошибка при перемешивании вопросов!"));
    }
}

void ShuffleVariants(TQuestionList &list)
{
    try {
        for (const TQuestionPtr &p : list) {
            TNQuestion &q = deref(p);
            const quint32 n = quint32(q.Variants.size());
            if (n == 0)
                continue;
            if (quint32(q.RightMarks.size()) < std::min<quint32>(n, 256))
                throw std::out_of_range("key shorter than variants");
            const quint32 r = QeClock::Random(n);
            const quint8 times = quint8(2 * r + 1);
            for (quint8 t = 0; t < times; ++t) {
                const quint8 i = quint8(QeClock::Random(n));
                const quint8 j = quint8(QeClock::Random(n));
                q.Variants.swapItemsAt(i, j);
                std::swap(q.RightMarks[i], q.RightMarks[j]);
            }
        }
    } catch (...) {
        report(QStringLiteral("Ошибка при перемешивании вариантов!"));
    }
}
