// qe2tool embed: a standalone test program, as the editor's export makes it.
#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include "Ansi.h"
#include "QuizEngineCommon.h"
#include "ResourceTrailer.h"
#include "Tool.h"

namespace Qe2Tool {

int CmdEmbed(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {{QStringLiteral("force"), {}, false}}, 3, 3);
    const QString player = a.positional[0];
    const QString test = a.positional[1];
    const QString out = a.positional[2];

    const QFileInfo playerInfo(player), testInfo(test), outInfo(out);
    if (!playerInfo.isFile())
        throw ToolError(QStringLiteral("%1: no such program file").arg(player));
    if (outInfo.exists() && (outInfo.canonicalFilePath() == playerInfo.canonicalFilePath()
                             || outInfo.canonicalFilePath() == testInfo.canonicalFilePath()))
        throw UsageError(QStringLiteral("OUT must be a new file, not the player or the test"));
    // A link counts even when it leads nowhere: the write would follow it.
    if (!a.has(QStringLiteral("force")) && (outInfo.exists() || outInfo.isSymLink()))
        throw ToolError(QStringLiteral("%1: the file exists; --force replaces it").arg(out));

    // Check the very bytes that go into the program: a test that does not load
    // would only fail later, in front of the examinee.
    const QByteArray bytes = ReadWholeFile(test);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TTestInfo info;
    TQuestionList questions;
    const TTestLoadResult load = LoadTestFromDevice(buffer, info, questions);
    if (load.HeaderCode != hrOk)
        throw ToolError(QStringLiteral("%1: %2").arg(
            test, HeaderResultMessage(load.HeaderCode).replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified()));
    if (!load.Ok)
        throw ToolError(QStringLiteral("%1: the test body does not read: %2: %3")
                            .arg(test, load.ErrorKind, load.ErrorText));
    if (questions.empty())
        throw ToolError(QStringLiteral("%1: the test has no questions").arg(test));

    const QString absolute = QDir::toNativeSeparators(testInfo.absoluteFilePath());
    if (!FitsAnsi(absolute))
        WriteErr(QStringLiteral("qe2tool: warning: the test's path has characters that "
                                "Windows-1251 cannot hold; they are stored as '?'\n"));
    QByteArray name = ToAnsi(absolute);
    name.append('\0');
    ResourceTrailer::AddResources(player, out,
                                  {{QStringLiteral("TEST"), bytes},
                                   {QStringLiteral("TEST_FILE_NAME"), name}});
    WriteOut(QStringLiteral("wrote %1 (%2 questions)\n")
                 .arg(QDir::toNativeSeparators(out))
                 .arg(questions.size()));
    return exitOk;
}

}  // namespace Qe2Tool
