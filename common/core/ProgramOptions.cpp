#include "ProgramOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace ProgramOptions {

QString VersionLine(const QString &programName)
{
    return programName + QLatin1Char(' ') + QStringLiteral(QE_VERSION) + QLatin1Char('\n');
}

std::optional<QString> Answer(const QStringList &args, const QString &programName, const TProgramOptions &options)
{
    // A path that merely looks like an option must not cost the parse.
    bool optionLike = false;
    for (qsizetype i = 1; i < args.size(); ++i)
        optionLike = optionLike || args.at(i).startsWith(u'-');
    if (!optionLike)
        return std::nullopt;

    QCommandLineParser parser;
    parser.setApplicationDescription(options.Description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!options.ArgumentsName.isEmpty())
        parser.addPositionalArgument(options.ArgumentsName, options.ArgumentsHelp, options.ArgumentsName);
    if (!parser.parse(args))
        return std::nullopt;
    if (parser.isSet(version))
        return VersionLine(programName);
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        // Usage names the command as it was typed (a link in bin/ or the program itself).
        text.replace(QStringLiteral("<executable_name>"), QFileInfo(args.value(0, programName)).fileName());
        return text;
    }
    return std::nullopt;
}

std::optional<int> AnswerCommandLine(int argc, char **argv, const QString &programName, const TProgramOptions &options)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const std::optional<QString> text = Answer(args, programName, options);
    if (!text)
        return std::nullopt;
    const QByteArray bytes = text->toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace ProgramOptions
