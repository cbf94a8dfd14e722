#pragma once
// The player's own randomisation of a run: information items to the front,
// real questions shuffled and cut to the asked number, variants shuffled with
// their key. Random numbers come from QeClock::Random.
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

#include "QuizEngineCommon.h"

using TShowMsg = std::function<void(const QString &)>;

inline const QString RandomizeTestError1 = QStringLiteral("Ошибка при перемешивании вопросов/1");
inline const QString RandomizeTestError2 = QStringLiteral("Ошибка при перемешивании вопросов/2");
inline const QString RandomizeVariantsError = QStringLiteral("Ошибка при перемешивании вариантов");

// Reorders and shortens questions; lowers info.RandomCount to askedCount when it
// is larger and sets askedCount to it. Positions from info.IQCount on take part
// in the shuffle. Failures are reported through showMsg; the list keeps the
// order reached.
void RandomizeTest(TTestInfo &info, TQuestionList &questions, quint32 &askedCount,
                   const TShowMsg &showMsg);

// For each shuffled question, the stored position of each variant as shown.
using TVariantOrders = QHash<const TNQuestion *, QList<quint16>>;

// Shuffles Variants and RightMarks of every question together; stops at the
// first failure (reported through showMsg). orders, when given, gets the order drawn.
void RandomizeVariants(TQuestionList &questions, const TShowMsg &showMsg, TVariantOrders *orders = nullptr);
