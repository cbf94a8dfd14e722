#pragma once
// Between a test run and its journal: opens this account's journal for the
// test, decides whether an interrupted run can go on, and records the run's
// changes. No windows: messages and the question go through the callbacks.
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "JournalStore.h"
#include "TestRun.h"

class TTestRun;

struct TJournalTest {
    QString Identity;       // what names the run: test and results path, or program and test
    QByteArray Hash;        // of the test file's bytes
    QString TestPath, ResultsPath;
    int TimeLimitSeconds = 0;
};

class TRunJournalLink {
public:
    enum class TOpen { Fresh, Resume, OpenElsewhere };
    struct TCallbacks {
        std::function<void(const QString &)> Warn;        // a journal could not be used
        std::function<bool(const QString &)> AskResume;   // true: go on with the run
    };

    // Looks for an unfinished journal of this test in folder (DefaultFolder()
    // unless given). Resume: questions now hold the run rebuilt from stored and
    // resume() says where it goes on. Fresh: call Begin after drawing the run.
    TOpen Open(const TJournalTest &test, const TQuestionList &stored, const TCallbacks &cb,
               const QString &folder = {});
    const TRunResume &Resume() const { return m_resume; }
    const TQuestionList &ResumedQuestions() const { return m_resumed; }
    quint32 ResumedAskedCount() const { return m_base.AskedCount; }
    // The run's items as drawn from the test file, fresh or resumed.
    const QList<TJournalItem> &Drawn() const { return m_base.Items; }

    // The order of a fresh run, as drawn from stored.
    void Begin(const TQuestionList &stored, const TQuestionList &run,
               const QHash<const TNQuestion *, QList<quint16>> &variantOrders, quint32 askedCount);
    // One change of the run; Saving returns once it is on disk, Finished removes the journal.
    void Record(const TTestRun &run, TRunStep step);

    // Waits until every change recorded is on disk.
    void Flush();
    // The journal's path, empty without one.
    QString Path() const;
private:
    void setAside(const QString &message, const TCallbacks &cb);
    std::unique_ptr<TJournalStore> m_store;
    TRunJournal m_base;
    TRunResume m_resume;
    TQuestionList m_resumed;
};

// The question before registration, with the pupil's name, the question
// reached and the time left.
QString ResumeQuestionText(const TRunJournal &j, int timeLimitSeconds);

inline const QString ResumeQuestion = QStringLiteral("Продолжить прерванное тестирование?");
inline const QString RunOpenElsewhereText =
    QStringLiteral("Это тестирование уже открыто в другом сеансе или на другом компьютере");
inline const QString JournalUnavailableText = QStringLiteral("Журнал тестирования недоступен: ");
inline const QString JournalChangedText =
    QStringLiteral("Тест изменен после прерванного тестирования. Журнал отложен:\r");
inline const QString JournalDamagedText =
    QStringLiteral("Журнал прерванного тестирования поврежден и отложен:\r");
