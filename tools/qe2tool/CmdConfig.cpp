// qe2tool config: the shared configuration file that unlocks the editor.
#include <QDir>
#include <QFileInfo>

#include "QuizEngineCommon.h"
#include "Tool.h"

namespace Qe2Tool {

namespace {

bool HasControlCharacters(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

}  // namespace

int CmdConfig(const QStringList &args)
{
    const TArgs a = ParseArgs(args,
                              {{QStringLiteral("password"), {}, true},
                               {QStringLiteral("text"), {}, true},
                               {QStringLiteral("flag"), {}, true}},
                              1, 1);
    if (!a.has(QStringLiteral("password")))
        throw UsageError(QStringLiteral("--password is required"));

    TKMQuizEngineConfig config;
    config.AccessPassword = a.value(QStringLiteral("password"));
    // The editor's password dialog cannot confirm an empty entry, so an empty
    // password would lock everyone out.
    if (config.AccessPassword.isEmpty())
        throw UsageError(QStringLiteral("the access password must not be empty"));
    if (!FitsAnsi(config.AccessPassword) || HasControlCharacters(config.AccessPassword))
        throw UsageError(QStringLiteral(
            "the access password has characters that cannot be typed or stored in Windows-1251"));
    config.ConfigText = a.value(QStringLiteral("text"));
    if (!FitsAnsi(config.ConfigText))
        throw UsageError(QStringLiteral("--text has characters that Windows-1251 cannot hold"));
    if (a.has(QStringLiteral("flag"))) {
        bool ok = false;
        const int flag = a.value(QStringLiteral("flag")).toInt(&ok, 0);
        if (!ok || flag < 0 || flag > 255)
            throw UsageError(QStringLiteral("--flag must be a number from 0 to 255, not '%1'")
                                 .arg(a.value(QStringLiteral("flag"))));
        config.ConfigFlag = quint8(flag);
    }

    QString path = a.positional.first();
    if (QFileInfo(path).isDir())
        path = QDir(path).filePath(ConfigFileName);
    config.SaveToFile(path);

    TKMQuizEngineConfig check;
    if (!check.LoadFromFile(path) || check.AccessPassword != config.AccessPassword
        || check.ConfigText != config.ConfigText || check.ConfigFlag != config.ConfigFlag)
        throw ToolError(QStringLiteral("%1: the written file does not read back").arg(path));
    WriteOut(QStringLiteral("wrote %1\n").arg(QDir::toNativeSeparators(path)));
    return exitOk;
}

}  // namespace Qe2Tool
