#pragma once
// The player's full-screen background window. It owns the test for the life
// of the process, loads it at creation and starts the run on its first activation.
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "QuizEngineCommon.h"

namespace Ui { class TfrmMain; }
class TTestRun;
class TRunJournalLink;
struct TRunResume;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // args as QCoreApplication::arguments() gives them (program first);
    // programFile is searched for the embedded test.
    TfrmMain(const QStringList &args, const QString &programFile, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The whole program: splash, single-instance guard, loading, run. Returns the exit code.
    static int RunProgram();

    // Loads the test and sets the window up; false when the program is to end
    // (the messages have been shown then).
    bool FormCreate();
    // Creates the run's windows; call after a successful FormCreate.
    void CreateRun();
    // Frees the test data, then lets pending window messages through once.
    void FormDestroy();

    bool ReadTestFromFile(const QString &path);
    bool ReadTestFromResource(const QByteArray &test);
    void RandomizeTest();
    void RandomizeVariants();
    void ShowMsg(const QString &text);
    void SetFIO(const QString &fio);
    // "Продолжить прерванное тестирование?" with Да / Нет; true for Да.
    // With QE_MESSAGE_LOG the question is logged and answered by
    // QE_RESUME_REPLY ("Да"; anything else is Нет).
    bool AskResume(const QString &text);
    // The run's journal; null when the account has no usable state folder.
    TRunJournalLink *Journal() const { return m_journal.get(); }

    // The file name of path without directory and last extension ('/' or '\\').
    static QString TestNameOf(const QString &path);
    // The 221 x 103 background tile; sixteenColours for displays below 8 bits per pixel.
    static QImage BackgroundTile(bool sixteenColours);

    TTestInfo TestInfo;
    TQuestionList Questions;
    bool Embedded = false;
    QString TestPath;
    QString TestName;
    QString ResultsPath;
    quint32 AskedCount = 0;
    bool TestLoaded = false;
    bool StartPending = true;

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void FormActivate();
    void SetUpWindow();
    // Resumes an interrupted run or draws a new one; false when the run is
    // open elsewhere (the message has been shown).
    bool ResumeOrDraw();

    Ui::TfrmMain *ui;
    QStringList m_args;
    QString m_programFile;
    std::unique_ptr<TTestRun> m_run;
    std::unique_ptr<TRunJournalLink> m_journal;
    std::unique_ptr<TRunResume> m_resume;
    QByteArray m_testHash;
};
