// qe2tool: see docs/qe2tool.md.
#include <QApplication>
#include <cstdio>

#include "ProgramOptions.h"
#include "Tool.h"

namespace {

// Qt's remarks about the desktop session mean nothing to a headless tool and
// would only clutter its own messages.
void FilterQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    Qe2Tool::WriteErr(QStringLiteral("qe2tool: ") + message + QLatin1Char('\n'));
}

}  // namespace

int main(int argc, char *argv[])
{
    // Only as the whole command line: a command's own arguments are its own.
    if (argc == 2 && (qstrcmp(argv[1], "--version") == 0 || qstrcmp(argv[1], "-v") == 0)) {
        const QByteArray line = ProgramOptions::VersionLine(QStringLiteral("qe2tool")).toLocal8Bit();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        return 0;
    }
    // Rich text needs a GUI application; the tool runs without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(FilterQtMessages);
    // Our arguments are taken before Qt could treat some of them as its own.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qe2tool"));
    return Qe2Tool::Run(args);
}
