#pragma once
// Test files and player processes for the start-up and randomisation tests.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

#include "QuizEngineCommon.h"

// A question whose body is a small RTF record; no variants makes an information item.
TQuestionPtr MakeQuestion(const QString &text, const QStringList &variants = {},
                          const QString &marks = {});
// real questions "Q1".."Qn" with variants "Qk-a".."Qk-c" (b correct), and
// information items "I1".. inserted before the given 0-based positions of the final list.
TQuestionList MakeQuestions(int real, const QList<int> &infoPositions = {});
// The texts questions were made with, in list order.
QStringList Texts(const TQuestionList &questions);

TTestInfo TestHeader(quint16 randomCount, bool randomVariants);
// Saves through the core writer; returns path.
QString SaveTest(const QString &path, TTestInfo info, const TQuestionList &questions);

// The built player (QE_QUIZRUNNER).
QString PlayerProgram();

// One player process with dir as its TMPDIR and XDG_RUNTIME_DIR (a session
// of its own: its single-instance lock) and a message log in dir.
class TPlayerProcess {
public:
    explicit TPlayerProcess(const QString &dir, const QString &program = PlayerProgram());
    void Start(const QStringList &args);
    // True when the process ended within timeoutMs.
    bool WaitForEnd(int timeoutMs = 30000);
    int ExitCode() const { return m_proc.exitCode(); }
    bool Running() const { return m_proc.state() != QProcess::NotRunning; }
    void Kill();
    // Lines of the message log: "caption<TAB>text" with line breaks as \r.
    QStringList Messages() const;
    QString LogPath() const;
    QProcess &Process() { return m_proc; }
private:
    QString m_dir, m_program;
    QProcess m_proc;
};

// True while some process holds the player's single-instance lock in the
// runtime folder dir.
bool InstanceLockHeld(const QString &dir);
