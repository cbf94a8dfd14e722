#pragma once
// What the exchange-format tests share.
#include <QString>

#include "QuizEngineCommon.h"

namespace InterchangeTest {
// The first text that differs between the questions written and those read
// back (text, variants, title, comment), empty when every text came back.
QString TextsDifference(const TQuestionList &written, const TQuestionList &read);
}
