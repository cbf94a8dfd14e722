#pragma once
// Scoring of a finished run.
#include "QuizEngineCommon.h"

struct TRunScore {
    quint16 Score = 0;
    quint16 PossibleScore = 0;
};

// Walks the list from last to first, skipping information items, and removes
// every question answered exactly right, so what remains is what the review shows.
// options: TTestInfo::Options (CountWholeQuestion selects whole-question scoring).
TRunScore ScoreRun(TQuestionList &questions, quint16 options);

// Score*100/PossibleScore as "#,##0.00" with a decimal comma ("58,33", "1 234,00"
// never occurs as scores are 16-bit: "100,00"). A PossibleScore of 0 gives "0,00".
QString FormatPercent(quint16 score, quint16 possibleScore);
