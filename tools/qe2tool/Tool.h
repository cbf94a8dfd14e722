#pragma once
// qe2tool: administration and inspection of tests from the command line.
// Every command reports on stderr as "qe2tool: ..." and returns an exit status.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace Qe2Tool {

enum TExitCode { exitOk = 0, exitFailed = 1, exitUsage = 2 };

// The operation failed (bad file, write error): exit status 1.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }
private:
    QString m_message;
};

// The command line is wrong: exit status 2 and the command's usage.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

// Options and positional arguments of one command.
struct TArgs {
    QMap<QString, QString> values;   // option name without dashes -> value ("" for flags)
    QStringList positional;
    bool has(const QString &name) const { return values.contains(name); }
    QString value(const QString &name) const { return values.value(name); }
};

struct TOptionSpec {
    QString name;        // long name, without "--"
    QChar shortName;     // or a null QChar
    bool takesValue = false;
};

// Splits args (after the command word) by the known options; "--" ends the options.
// Throws UsageError for unknown options, missing values and wrong positional counts.
TArgs ParseArgs(const QStringList &args, const QList<TOptionSpec> &known, int minPositional,
                int maxPositional);

void WriteOut(const QString &text);
void WriteOut(const QByteArray &bytes);
void WriteErr(const QString &text);

QString UsageText();
QString CommandUsage(const QString &command);

// Runs the command line (without the program name); returns the exit status.
int Run(const QStringList &args);

// The commands; each throws ToolError or UsageError.
int CmdConfig(const QStringList &args);
int CmdInfo(const QStringList &args);
int CmdDump(const QStringList &args);
int CmdBuild(const QStringList &args);
int CmdEmbed(const QStringList &args);
int CmdRichDump(const QStringList &args);
int CmdRichRec(const QStringList &args);
int CmdExportDocx(const QStringList &args);
int CmdImport(const QStringList &args);
int CmdExport(const QStringList &args);
int CmdCheckShare(const QStringList &args);
int CmdResults(const QStringList &args);
int CmdItems(const QStringList &args);

// Whole file into memory, or ToolError naming the file.
QByteArray ReadWholeFile(const QString &path);
// Atomic write (temporary file, then rename), or ToolError.
void WriteWholeFile(const QString &path, const QByteArray &bytes);
// True when every character survives Windows-1251.
bool FitsAnsi(const QString &s);

}  // namespace Qe2Tool
