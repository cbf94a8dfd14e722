#pragma once
// The test run of the player: registration, question window, countdown,
// scoring, the result line and the results window with the review.
#include <QObject>
#include <QString>
#include <functional>

#include "QuizEngineCommon.h"

class QWidget;

// What the main window hands to the run; it owns all of it.
struct TRunContext {
    QWidget *MainWindow = nullptr;      // owner of the run's windows
    TTestInfo *TestInfo = nullptr;
    TQuestionList *Questions = nullptr; // run order; scoring removes exact answers
    quint32 *AskedCount = nullptr;
    bool Embedded = false;
    QString TestPath;
    QString TestName;
    QString ResultsPath;                // launcher mode: the third argument; empty when embedded
    std::function<void(const QString &)> SetFIO;  // shows the examinee's name in the top bar
};

class TTestRunPrivate;

class TTestRun : public QObject {
    Q_OBJECT
public:
    // Creates the run's windows (frmData, frmQuestion, frmResults, frmConfirmExit,
    // frmSaveResults), parented to ctx.MainWindow.
    explicit TTestRun(const TRunContext &ctx, QObject *parent = nullptr);
    ~TTestRun() override;
    // Runs the whole test; returns when it is over (the caller then closes the main window).
    void Start();
private:
    TTestRunPrivate *d;
};
