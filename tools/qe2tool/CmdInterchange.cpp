// qe2tool import / export: questions to and from the exchange formats of learning platforms.
#include <QDir>
#include <QFileInfo>

#include "Interchange.h"
#include "QuizEngineCommon.h"
#include "Tool.h"

namespace Qe2Tool {

namespace {

Interchange::TFormat FormatOption(const TArgs &a, bool required)
{
    if (!a.has(QStringLiteral("format"))) {
        if (required)
            throw UsageError(QStringLiteral("-f gift|aiken|moodle is required"));
        return Interchange::TFormat::Unknown;
    }
    const Interchange::TFormat f = Interchange::FormatFromName(a.value(QStringLiteral("format")));
    if (f == Interchange::TFormat::Unknown)
        throw UsageError(QStringLiteral("unknown format '%1' (gift, aiken or moodle)").arg(a.value(QStringLiteral("format"))));
    return f;
}

QString OutputOption(const TArgs &a)
{
    if (!a.has(QStringLiteral("output")) || a.value(QStringLiteral("output")).isEmpty())
        throw UsageError(QStringLiteral("-o FILE is required"));
    return a.value(QStringLiteral("output"));
}

const QList<TOptionSpec> kOptions = {{QStringLiteral("format"), QLatin1Char('f'), true},
                                     {QStringLiteral("output"), QLatin1Char('o'), true}};

void PrintReport(const Interchange::TReport &report)
{
    for (const QString &line : report.Lines)
        WriteOut(line + QLatin1Char('\n'));
}

}  // namespace

int CmdImport(const QStringList &args)
{
    const TArgs a = ParseArgs(args, kOptions, 1, 1);
    const Interchange::TFormat format = FormatOption(a, false);
    const QString in = a.positional[0];
    const QString out = OutputOption(a);
    if (QFileInfo(in).isFile() && QFileInfo(in).size() > Interchange::kMaxInputBytes)
        throw ToolError(QStringLiteral("%1: larger than %2 bytes").arg(in).arg(Interchange::kMaxInputBytes));
    const QByteArray data = ReadWholeFile(in);
    const Interchange::TFormat used = format == Interchange::TFormat::Unknown ? Interchange::GuessFormat(data) : format;
    if (used == Interchange::TFormat::Unknown)
        throw ToolError(QStringLiteral("%1: the format cannot be told from the content; give -f gift|aiken|moodle").arg(in));
    const Interchange::TImportResult r = Interchange::ImportQuestions(data, used);
    if (!r.Ok)
        throw ToolError(QStringLiteral("%1: %2").arg(in, r.Error));
    PrintReport(r.Report);
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(out, info, r.Questions);
    WriteOut(QStringLiteral("wrote %1 (%2 questions from %3, %4 report lines)\n")
                 .arg(QDir::toNativeSeparators(out))
                 .arg(r.Questions.size())
                 .arg(Interchange::FormatName(used))
                 .arg(r.Report.Lines.size()));
    return exitOk;
}

int CmdExport(const QStringList &args)
{
    const TArgs a = ParseArgs(args, kOptions, 1, 1);
    const Interchange::TFormat format = FormatOption(a, true);
    const QString test = a.positional[0];
    const QString out = OutputOption(a);
    TTestInfo info;
    TQuestionList questions;
    const TTestLoadResult load = LoadTestFromFile(test, info, questions);
    if (load.HeaderCode != hrOk)
        throw ToolError(QStringLiteral("%1: %2").arg(
            test, HeaderResultMessage(load.HeaderCode).replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified()));
    if (!load.Ok)
        throw ToolError(QStringLiteral("%1: the test body does not read: %2: %3").arg(test, load.ErrorKind, load.ErrorText));
    Interchange::TReport report;
    const QByteArray bytes = Interchange::ExportQuestions(questions, format, report);
    WriteWholeFile(out, bytes);
    PrintReport(report);
    WriteOut(QStringLiteral("wrote %1 (%2 questions as %3, %4 report lines)\n")
                 .arg(QDir::toNativeSeparators(out))
                 .arg(questions.size())
                 .arg(Interchange::FormatName(format))
                 .arg(report.Lines.size()));
    return exitOk;
}

}  // namespace Qe2Tool
