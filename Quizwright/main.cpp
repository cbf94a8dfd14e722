#include <QApplication>
#include <QSettings>

#include "FontAliases.h"
#include "ProgramOptions.h"
#include "SystemTranslations.h"
#include "fMain.h"
#include "fResults.h"

int main(int argc, char *argv[])
{
    const TProgramOptions options{QStringLiteral("Редактор тестов."), QStringLiteral("[ТЕСТ.qe2 [--question N] | --results ФАЙЛ.res]"),
                                  QStringLiteral("Тест, который открывается после ввода пароля доступа, "
                                                 "или файл результатов, который открывается в окне результатов.")};
    if (const std::optional<int> rc = ProgramOptions::AnswerCommandLine(argc, argv, QStringLiteral("Quizwright"), options))
        return *rc;
    QApplication app(argc, argv);
    // Before the first text is laid out: Windows font names of tests find their stand-ins.
    FontAliases::Load(QCoreApplication::applicationDirPath());
    // Names the desktop entry, so that the desktop shows its name and icon for our windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.kestrelmoor.Quizwright"));
    InstallSystemTranslations();
    // Reading results needs no access password: the window never writes.
    const QString results = TfrmResults::ResultsFileArgument(QCoreApplication::arguments());
    if (!results.isEmpty())
        return TfrmResults::RunAlone(results, &TfrmMain::OpenSettings);
    return TfrmMain::RunProgram();
}
