#pragma once
// The test run of the player: registration, question window, countdown,
// scoring, the result line and the results window with the review.
#include <QObject>
#include <QString>
#include <functional>

#include "QuizEngineCommon.h"
#include "RunJournal.h"

class QWidget;
class QTimer;
class TfrmData;
class TfrmQuestion;
class TfrmResults;
class TfrmConfirmExit;
class TfrmSaveResults;
struct TRunState;

// Changes of the run that its journal records.
enum class TRunStep { Registered, Answered, Moved, Tick, Saving, Saved, Review, Finished };

// Where a resumed run goes on (from its journal): the registration is not
// asked again; phase 1 goes on in the question window, 2 at the save of the
// result line, 3 at the results window.
struct TRunResume {
    QString LastName, FirstName, Patronymic, AddInfo;
    quint16 CurQuestion = 1;
    quint16 SecondsLeft = 0;
    quint8 Phase = 1;
    qint64 ResultTime = 0;
};

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
    // Told of every change that matters; on Saving it returns once the
    // journal that says so is on disk.
    std::function<void(TRunStep)> Changed;
    // The answers journal beside the results file: where the run's record
    // goes after its result line (empty: not written), the run's items as
    // drawn from the test file (DrawnOrder) and the test's SHA-256.
    QString AnswersPath;
    QList<TJournalItem> Drawn;
    QByteArray TestHash;
    // Failures the pupil is not asked about (the player's log).
    std::function<void(const QString &)> Log;
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
    // With resume, the run goes on from there (the questions hold its answers).
    void Start(const TRunResume *resume = nullptr);

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

    // What the journal records. Marks: per item in run order, the item on
    // show from its boxes; from the scoring on, the answers as scored.
    QStringList Marks() const;
    quint8 Phase() const;          // 1 answering, 2 saving, 3 done
    bool Reviewing() const;
    qint64 ResultTime() const;     // ms since the epoch of the result line; 0 before
    TRunResume Registration() const;
private:
    TTestRunPrivate *d;
};
