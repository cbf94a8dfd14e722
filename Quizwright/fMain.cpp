#include "fMain.h"

#include <QApplication>

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    resize(786, 533);
}

TfrmMain::~TfrmMain() = default;

int TfrmMain::RunProgram()
{
    TfrmMain w;
    w.show();
    return QApplication::exec();
}
