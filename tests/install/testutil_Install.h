#pragma once
// Running installed programs and checking an installed tree (a DESTDIR of
// `cmake --install` or a package unpacked by dpkg -x) with its prefix /usr.
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace InstallTest {
struct TResult {
    bool Started = false;
    int ExitCode = -1;
    QString Out;
    QString Err;
};

// Runs program with args and waits up to timeoutMs; env defaults to ours.
TResult Run(const QString &program, const QStringList &args,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), int timeoutMs = 60000,
            const QString &workDir = {});
// Our environment without any display, so that a program that tried to open
// a window would fail instead.
QProcessEnvironment NoDisplay();
// A path found in PATH, empty when the tool is not installed.
QString Tool(const QString &name);

// The programs' folder, the commands and the shared data of a tree rooted at root.
inline QString ProgramDir(const QString &root) { return root + QStringLiteral("/usr/lib/quizengine2"); }
inline QString Command(const QString &root, const QString &name) { return root + QStringLiteral("/usr/bin/") + name; }
inline QString Template(const QString &root)
{
    return root + QStringLiteral("/usr/share/quizengine2/Шаблоны/Стандартный.dotx");
}

// Every fault of the tree's layout (programs, links, template, desktop files,
// file type, icons, AppStream, documentation), one line each; empty when whole.
QStringList LayoutFaults(const QString &root);
// Faults of the three commands' --version and --help, run without a display.
QStringList OptionFaults(const QString &root);
// The keys of a desktop file's [Desktop Entry] group, values as written.
QMap<QString, QString> DesktopEntry(const QString &path);
// A test file of two questions, written with the library.
void WriteDemoTest(const QString &path);
}
