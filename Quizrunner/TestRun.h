#pragma once
// The test run of the player: registration, question window, countdown,
// scoring, the result line and the results window with the review.
#include <QObject>
#include <QString>
#include <functional>

#include "QuizEngineCommon.h"

class QWidget;
class QTimer;
class TfrmData;
class TfrmQuestion;
class TfrmResults;
class TfrmConfirmExit;
class TfrmSaveResults;
struct TRunState;

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

    // One step of the countdown (the timer's tick; tests call it directly).
    void OnTimer();
    // Milliseconds between countdown ticks (1000).
    void SetTimerInterval(int ms);
    // The 1000 Hz beep of the last minute; tests count it.
    void SetBeeper(std::function<void()> beeper);

    TfrmData *frmData() const;
    TfrmQuestion *frmQuestion() const;
    TfrmResults *frmResults() const;
    TfrmConfirmExit *frmConfirmExit() const;
    TfrmSaveResults *frmSaveResults() const;
    QTimer *tmTest() const;
    const TRunState &State() const;
    quint16 Score() const;
    quint16 PossibleScore() const;
    // The results file this run writes to.
    QString ResultsFilePath() const;
private:
    TTestRunPrivate *d;
};
