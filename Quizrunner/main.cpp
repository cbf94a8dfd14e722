#include <QApplication>
#include <cstring>

#include "FontAliases.h"
#include "ProgramOptions.h"
#include "SystemTranslations.h"
#include "fMain.h"

int main(int argc, char *argv[])
{
    // The launcher's command line goes to the player untouched.
    if (argc < 2 || std::strcmp(argv[1], "KMQuizdispatch") != 0) {
        const TProgramOptions options{
            QStringLiteral("Модуль проведения тестирования.\n"
                           "Запускается программой-диспетчером: KMQuizdispatch ТЕСТ.qe2 РЕЗУЛЬТАТЫ.res;\n"
                           "программа, в которую экспортирован тест, запускается без параметров."),
            QString(), QString()};
        if (const std::optional<int> rc = ProgramOptions::AnswerCommandLine(argc, argv, QStringLiteral("Quizrunner"), options))
            return *rc;
    }
    QApplication app(argc, argv);
    // Before the first text is laid out: Windows font names of tests find their stand-ins.
    FontAliases::Load(QCoreApplication::applicationDirPath());
    // Names the desktop entry, so that the desktop shows its name and icon for our windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.kestrelmoor.Quizrunner"));
    InstallSystemTranslations();
    return TfrmMain::RunProgram();
}
