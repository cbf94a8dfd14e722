// qe2tool export-docx: the paper test and its answer key, as the editor's export writes them.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "Clock.h"
#include "QuizEngineCommon.h"
#include "Tool.h"
#include "WordExport.h"

namespace Qe2Tool {

int CmdExportDocx(const QStringList &args)
{
    const TArgs a = ParseArgs(args,
                              {{QStringLiteral("template"), {}, true},
                               {QStringLiteral("no-variants"), {}, false},
                               {QStringLiteral("no-letters"), {}, false},
                               {QStringLiteral("format-text"), {}, false},
                               {QStringLiteral("seed"), {}, true}},
                              2, 2);
    const QString test = a.positional[0];
    const QString out = a.positional[1];
    if (a.has(QStringLiteral("seed"))) {
        bool ok = false;
        const quint64 seed = a.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok)
            throw UsageError(QStringLiteral("--seed needs a whole number, not '%1'").arg(a.value(QStringLiteral("seed"))));
        QeClock::SeedRandom(seed);
    }

    Docx::TWordExportSettings settings;
    settings.includeAnswers = !a.has(QStringLiteral("no-variants"));
    settings.numVariants = !a.has(QStringLiteral("no-letters"));
    settings.formatQuestionText = a.has(QStringLiteral("format-text"));
    if (a.has(QStringLiteral("template"))) {
        settings.templatePath = a.value(QStringLiteral("template"));
        if (!QFileInfo(settings.templatePath).isFile())
            throw ToolError(QStringLiteral("%1: no such template").arg(settings.templatePath));
    } else {
        // As the editor looks for them: the working folder first, then beside the programs.
        const QStringList folders = {QDir::current().absoluteFilePath(Docx::kTemplatesFolder),
                                     QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(Docx::kTemplatesFolder)};
        const QStringList found = Docx::FindTemplates(folders);
        if (found.isEmpty())
            throw ToolError(QString(Docx::kMsgNoTemplates).replace(QLatin1Char('\r'), QLatin1Char('\n')) +
                            folders.join(QLatin1Char('\n')));
        settings.templatePath = found.first();
    }

    TTestInfo info;
    TQuestionList questions;
    const TTestLoadResult load = LoadTestFromFile(test, info, questions);
    if (load.HeaderCode != hrOk)
        throw ToolError(QStringLiteral("%1: %2").arg(
            test, HeaderResultMessage(load.HeaderCode).replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified()));
    if (!load.Ok)
        throw ToolError(QStringLiteral("%1: the test body does not read: %2: %3").arg(test, load.ErrorKind, load.ErrorText));

    const QString key = Docx::KeyPathFor(out);
    int problems = 0;
    const Docx::TWordExportResult r = Docx::ExportToWord(info, questions, settings, out, key, [&](const QString &m) {
        ++problems;
        WriteErr(QStringLiteral("qe2tool: ") + QString(m).replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified() +
                 QLatin1Char('\n'));
    });
    if (!r.testWritten || !r.keyWritten)
        return exitFailed;
    WriteOut(QStringLiteral("wrote %1 and %2 (%3 questions, identifier %4)\n")
                 .arg(QDir::toNativeSeparators(out), QDir::toNativeSeparators(key))
                 .arg(r.questionCount)
                 .arg(r.identifier));
    return problems ? exitFailed : exitOk;
}

}  // namespace Qe2Tool
