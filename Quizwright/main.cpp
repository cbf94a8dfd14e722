#include <QApplication>

#include "ProgramOptions.h"
#include "SystemTranslations.h"
#include "fMain.h"

int main(int argc, char *argv[])
{
    const TProgramOptions options{QStringLiteral("Редактор тестов."), QStringLiteral("[ТЕСТ.qe2]"),
                                  QStringLiteral("Тест, который открывается после ввода пароля доступа.")};
    if (const std::optional<int> rc = ProgramOptions::AnswerCommandLine(argc, argv, QStringLiteral("Quizwright"), options))
        return *rc;
    QApplication app(argc, argv);
    // Names the desktop entry, so that the desktop shows its name and icon for our windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.kestrelmoor.Quizwright"));
    InstallSystemTranslations();
    return TfrmMain::RunProgram();
}
