#pragma once
// Driving a whole test run through its real windows.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>

#include "QuizEngineCommon.h"
#include "TestRun.h"

class TMCheckBox;
class QAbstractButton;
class QLabel;

// A real question (marks: '!' per correct variant) or, without variants, an information item.
TQuestionPtr RunItem(const QString &text, const QStringList &variants = {},
                     const QString &marks = {}, const QString &comment = {});

// A test, its run and a temporary results file.
struct TRunFixture {
    TTestInfo Info;
    TQuestionList Questions;
    quint32 AskedCount = 0;
    QTemporaryDir Dir;
    QString ResultsPath;
    QString FIO;
    TRunContext Ctx;
    std::unique_ptr<TTestRun> Run;
    int Beeps = 0;
    int DefaultInterval = 0;

    explicit TRunFixture(quint16 options, TQuestionList items, quint8 timeLimit = 0);
    // Creates the run (after Info and Questions are final).
    TTestRun &Make();
    QByteArray ResultsBytes() const;
};

// Steps acted on in order while Start() runs its modal loops; each waits until
// its condition holds. A script that stops matching aborts the test program
// rather than hanging.
class TRunScript : public QObject {
public:
    TRunScript();
    ~TRunScript() override;
    TRunScript &When(std::function<bool()> cond, std::function<void()> act);
    // When w is the active modal window.
    TRunScript &OnModal(QWidget *w, std::function<void()> act);
    bool Done() const { return m_steps.empty(); }
    int Remaining() const { return int(m_steps.size()); }
private:
    void Poll();
    struct Step { std::function<bool()> cond; std::function<void()> act; };
    std::deque<Step> m_steps;
    QTimer m_timer;
    int m_idlePolls = 0;
};

template <class T = QWidget>
T *Child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QString::fromLatin1(name));
}

// Fills the registration and presses "Далее >>".
void Register(TTestRun &run, const QString &last = QStringLiteral("Иванов"),
              const QString &first = QStringLiteral("Иван"),
              const QString &patronymic = QStringLiteral("Иванович"),
              const QString &extra = QString());
// Presses "Завершить" and then OK in the confirmation (script steps).
void FinishSteps(TRunScript &script, TTestRun &run);
QList<TMCheckBox *> Boxes(TTestRun &run);
void Click(QAbstractButton *b);
