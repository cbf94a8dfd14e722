// qe2tool build: a test file from a JSON description.
#include <QDir>
#include <QFileInfo>

#include "QuizEngineCommon.h"
#include "TestDescription.h"
#include "Tool.h"

namespace Qe2Tool {

int CmdBuild(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {{QStringLiteral("output"), QLatin1Char('o'), true}}, 1, 1);
    if (!a.has(QStringLiteral("output")) || a.value(QStringLiteral("output")).isEmpty())
        throw UsageError(QStringLiteral("-o FILE.qe2 is required"));
    const QString description = a.positional.first();
    const QString out = a.value(QStringLiteral("output"));

    const QByteArray json = ReadWholeFile(description);
    TBuiltTest test;
    try {
        test = BuildTestFromDescription(json, QFileInfo(description).absolutePath());
    } catch (const ToolError &e) {
        throw ToolError(description + QStringLiteral(": ") + e.message());
    }

    try {
        SaveTestToFile(out, test.info, test.questions);
    } catch (const EQuizError &e) {
        throw ToolError(QStringLiteral("%1: cannot write the test: %2").arg(out, e.message()));
    }
    TTestInfo check;
    TQuestionList readBack;
    const TTestLoadResult load = LoadTestFromFile(out, check, readBack);
    if (!load.Ok || readBack.size() != test.questions.size())
        throw ToolError(QStringLiteral("%1: the written test does not read back: %2 %3")
                            .arg(out, load.ErrorKind, load.ErrorText));
    WriteOut(QStringLiteral("wrote %1 (%2 questions, %3 information items)\n")
                 .arg(QDir::toNativeSeparators(out))
                 .arg(test.info.QuestionCount)
                 .arg(test.info.IQCount));
    return exitOk;
}

}  // namespace Qe2Tool
