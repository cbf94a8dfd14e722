#pragma once
// The JSON test description (docs/test-description.md) turned into a test.
// Needs a QGuiApplication: texts go through the rich-text control.
#include <QByteArray>
#include <QString>

#include "QuizEngineCommon.h"
#include "Tool.h"

namespace Qe2Tool {

struct TBuiltTest {
    TTestInfo info;
    TQuestionList questions;
};

// Reads a description; file names in it are relative to baseDir. Throws ToolError
// whose message starts with the JSON path of the bad value ("questions[3].variants: ...").
TBuiltTest BuildTestFromDescription(const QByteArray &json, const QString &baseDir);

}  // namespace Qe2Tool
