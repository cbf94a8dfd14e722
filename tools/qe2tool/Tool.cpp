#include "Tool.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "Ansi.h"
#include "FileLocks.h"
#include "QeErrors.h"

namespace Qe2Tool {

namespace {

struct TCommand {
    const char *name;
    int (*run)(const QStringList &);
    const char *usage;
};

const TCommand Commands[] = {
    {"config", CmdConfig,
     "qe2tool config --password P [--text T] [--flag N] FILE\n"
     "    Writes the shared configuration file (KMQuizEngine2.ini) with the editor's\n"
     "    access password P. FILE may be a directory: the file is then made inside it.\n"
     "    --text T   the second text of the file (not used by the editor)\n"
     "    --flag N   the switch byte, 0..255 (not used by the editor)\n"},
    {"info", CmdInfo,
     "qe2tool info [--show-password] FILE\n"
     "    Prints the header of a test file.\n"},
    {"dump", CmdDump,
     "qe2tool dump [--show-password] FILE\n"
     "    Prints the whole test as JSON.\n"},
    {"build", CmdBuild,
     "qe2tool build DESC.json -o FILE.qe2\n"
     "    Builds a test file from a JSON test description.\n"},
    {"embed", CmdEmbed,
     "qe2tool embed [--force] PLAYER TEST OUT\n"
     "    Makes a standalone test program OUT: a copy of the player PLAYER that\n"
     "    carries the test file TEST. OUT must not exist yet; --force replaces it.\n"},
    {"richdump", CmdRichDump,
     "qe2tool richdump [--lines] FILE\n"
     "    FILE is RTF or a rich-text content record. Prints its formatting as JSON\n"
     "    lines (doc, para, run), or with --lines its lines as index<TAB>text.\n"},
    {"richrec", CmdRichRec,
     "qe2tool richrec IN OUT\n"
     "    Reads RTF or a content record and writes it as a content record.\n"},
    {"export-docx", CmdExportDocx,
     "qe2tool export-docx [--template T] [--no-variants] [--no-letters] [--format-text]\n"
     "                    [--seed N] TEST.qe2 OUT.docx\n"
     "    Writes the paper test OUT.docx and its answer key \"OUT (ответы).docx\" beside it,\n"
     "    shuffled as the editor's export does. --seed N repeats a shuffle and identifier.\n"},
    {"import", CmdImport,
     "qe2tool import FILE [-f gift|aiken|moodle] -o TEST.qe2\n"
     "    Makes a new test of the questions in FILE, a file of a learning platform's\n"
     "    exchange format (guessed from the content without -f). Prints what was\n"
     "    skipped or changed, one line each.\n"},
    {"export", CmdExport,
     "qe2tool export TEST.qe2 -f gift|aiken|moodle -o FILE\n"
     "    Writes the questions of the test in an exchange format; prints what\n"
     "    the format could not hold, one line each.\n"},
    {"check-share", CmdCheckShare,
     "qe2tool check-share FOLDER\n"
     "    Tries in the results folder FOLDER what the player and the editor rely on\n"
     "    (locks, hard links, O_EXCL, new files' permissions, rename over an open\n"
     "    file) and prints what is safe, what is unsafe and how to mend it.\n"
     "    Exit status 1 when anything is unsafe.\n"},
    {"results", CmdResults,
     "qe2tool results [--by class|test] [--marks 85/70/50] [--xlsx OUT] [--csv OUT] FILE.res\n"
     "    Prints the statistics of a results file (tab-separated), per class or per\n"
     "    test with --by; damaged lines go to standard error with their numbers.\n"
     "    --xlsx and --csv write every run with its mark as a spreadsheet.\n"},
    {"items", CmdItems,
     "qe2tool items [--test NAME] FILE.res\n"
     "    Prints the item analysis of the answers journal beside FILE.res\n"
     "    (FILE.answers), per version of each test: for each question the runs\n"
     "    that saw it, facility, discrimination (upper/lower 27 %), the point-biserial\n"
     "    correlation, each variant's count (* right) and flags (tab-separated).\n"},
};

const TCommand *FindCommand(const QString &name)
{
    for (const TCommand &c : Commands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

}  // namespace

QString UsageText()
{
    QString text = QStringLiteral(
        "Usage: qe2tool COMMAND [OPTIONS] ARGS...\n"
        "Exit status: 0 done, 1 the operation failed, 2 wrong arguments.\n\n");
    for (const TCommand &c : Commands)
        text += QString::fromUtf8(c.usage) + QLatin1Char('\n');
    text += QStringLiteral("qe2tool --help\n    Prints this text.\n");
    return text;
}

QString CommandUsage(const QString &command)
{
    const TCommand *c = FindCommand(command);
    return c ? QStringLiteral("Usage: ") + QString::fromUtf8(c->usage) : UsageText();
}

TArgs ParseArgs(const QStringList &args, const QList<TOptionSpec> &known, int minPositional,
                int maxPositional)
{
    TArgs result;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            result.positional << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name, inlineValue;
        bool hasInline = false;
        if (a.startsWith(QLatin1String("--"))) {
            name = a.mid(2);
            const int eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                inlineValue = name.mid(eq + 1);
                name = name.left(eq);
                hasInline = true;
            }
        } else if (a.size() == 2) {
            for (const TOptionSpec &s : known)
                if (s.shortName == a[1])
                    name = s.name;
            if (name.isEmpty())
                throw UsageError(QStringLiteral("unknown option '%1'").arg(a));
        } else {
            throw UsageError(QStringLiteral("unknown option '%1'").arg(a));
        }
        const TOptionSpec *found = nullptr;
        for (const TOptionSpec &s : known)
            if (s.name == name)
                found = &s;
        if (!found)
            throw UsageError(QStringLiteral("unknown option '%1'").arg(a));
        if (result.values.contains(name))
            throw UsageError(QStringLiteral("option --%1 given twice").arg(name));
        if (found->takesValue) {
            if (hasInline) {
                result.values.insert(name, inlineValue);
            } else {
                if (i + 1 >= args.size())
                    throw UsageError(QStringLiteral("option --%1 needs a value").arg(name));
                result.values.insert(name, args[++i]);
            }
        } else {
            if (hasInline)
                throw UsageError(QStringLiteral("option --%1 takes no value").arg(name));
            result.values.insert(name, QString());
        }
    }
    if (result.positional.size() < minPositional)
        throw UsageError(QStringLiteral("missing arguments"));
    if (result.positional.size() > maxPositional)
        throw UsageError(QStringLiteral("too many arguments: '%1'").arg(result.positional.last()));
    return result;
}

void WriteOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void WriteOut(const QString &text) { WriteOut(text.toUtf8()); }

void WriteErr(const QString &text)
{
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

QByteArray ReadWholeFile(const QString &path)
{
    QFileInfo fi(path);
    if (fi.isDir())
        throw ToolError(QStringLiteral("%1: is a directory").arg(path));
    // A pipe or device would block the read or never end.
    if (fi.exists() && !fi.isFile())
        throw ToolError(QStringLiteral("%1: not a regular file").arg(path));
    // As the programs load: a file that a save on a share is replacing may
    // be missing, or locked, for a moment.
    QFile f(path);
    if (!FileLocks::OpenSharedRead(f)) {
        if (!QFileInfo::exists(path))
            throw ToolError(QStringLiteral("%1: no such file").arg(path));
        QFile plain(path);
        if (!plain.open(QIODevice::ReadOnly))
            throw ToolError(QStringLiteral("%1: cannot open: %2").arg(path, plain.errorString()));
        throw ToolError(QStringLiteral("%1: cannot open: being written by another program").arg(path));
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ToolError(QStringLiteral("%1: cannot read: %2").arg(path, f.errorString()));
    return bytes;
}

void WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw ToolError(QStringLiteral("%1: cannot create: %2").arg(path, f.errorString()));
    if (f.write(bytes) != bytes.size() || !f.commit())
        throw ToolError(QStringLiteral("%1: cannot write: %2").arg(path, f.errorString()));
}

bool FitsAnsi(const QString &s) { return FromAnsi(ToAnsi(s)) == s; }

int Run(const QStringList &args)
{
    if (args.isEmpty()) {
        WriteErr(QStringLiteral("qe2tool: missing command\n") + UsageText());
        return exitUsage;
    }
    const QString command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        WriteOut(UsageText());
        return exitOk;
    }
    const TCommand *c = FindCommand(command);
    if (!c) {
        WriteErr(QStringLiteral("qe2tool: unknown command '%1'\n").arg(command) + UsageText());
        return exitUsage;
    }
    const QStringList rest = args.mid(1);
    if (rest.contains(QLatin1String("--help")) && !rest.contains(QLatin1String("--"))) {
        WriteOut(CommandUsage(command));
        return exitOk;
    }
    try {
        return c->run(rest);
    } catch (const UsageError &e) {
        WriteErr(QStringLiteral("qe2tool: %1: %2\n").arg(command, e.message()) + CommandUsage(command));
        return exitUsage;
    } catch (const ToolError &e) {
        WriteErr(QStringLiteral("qe2tool: %1\n").arg(e.message()));
        return exitFailed;
    } catch (const EQuizError &e) {
        WriteErr(QStringLiteral("qe2tool: %1\n").arg(e.message()));
        return exitFailed;
    } catch (const std::bad_alloc &) {
        WriteErr(QStringLiteral("qe2tool: out of memory\n"));
        return exitFailed;
    }
}

}  // namespace Qe2Tool
