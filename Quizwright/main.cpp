#include <QApplication>

#include "fMain.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return TfrmMain::RunProgram();
}
