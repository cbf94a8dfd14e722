#include <QApplication>

#include "SystemTranslations.h"
#include "fMain.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallSystemTranslations();
    return TfrmMain::RunProgram();
}
