#pragma once

#include <QMainWindow>

class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The whole program: configuration, password, main window, event loop.
    static int RunProgram();
};
