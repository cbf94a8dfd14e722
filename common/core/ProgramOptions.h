#pragma once
// --help and --version of the programs, answered from the bare command line
// before any window, display or lock is touched.
#include <QString>
#include <QStringList>
#include <optional>

struct TProgramOptions {
    QString Description;    // the first line of the help text
    QString ArgumentsName;  // the synopsis of the arguments, e.g. "[ФАЙЛ]"; empty when none
    QString ArgumentsHelp;  // what they are
};

namespace ProgramOptions {
// The text to print when args (argv, the command as typed first) ask for help or the
// version and parse as our options; nullopt otherwise, so that launcher
// arguments, a file to open or Qt's own options go on to the program as before.
std::optional<QString> Answer(const QStringList &args, const QString &programName, const TProgramOptions &options);

// Answer() for main(): prints the text to standard output and gives the exit
// code 0, or nullopt when the program is to run.
std::optional<int> AnswerCommandLine(int argc, char **argv, const QString &programName, const TProgramOptions &options);

// "<program> <version>"
QString VersionLine(const QString &programName);
}
