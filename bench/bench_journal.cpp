// One journal write of a run of 256 questions with ten variants each, half
// of them answered. What the player's UI thread pays is the snapshot of the
// run, its bytes and the hand-over to the writing thread (the goal is under
// 2 ms); the durable write (fdatasync, rename, folder sync) runs on that
// thread and is measured apart, on the folder of $BENCH_JOURNAL_DIR or /tmp.
#include <benchmark/benchmark.h>

#include "JournalStore.h"

#include <QDir>
#include <QTemporaryDir>

namespace {
constexpr int kQuestions = 256;
constexpr int kVariants = 10;

TQuestionList Run()
{
    TQuestionList run;
    for (int i = 0; i < kQuestions; ++i) {
        auto q = std::make_shared<TNQuestion>();
        for (int k = 0; k < kVariants; ++k)
            q->Variants.append(QStringLiteral("Вариант %1 вопроса %2").arg(k).arg(i));
        q->RightMarks = QStringLiteral("!  !      ");
        if (i % 2)
            q->UserMarks = QStringLiteral("! !       ");
        run.push_back(q);
    }
    return run;
}

QHash<const TNQuestion *, QList<quint16>> Orders(const TQuestionList &run)
{
    QHash<const TNQuestion *, QList<quint16>> orders;
    for (const TQuestionPtr &q : run)
        orders.insert(q.get(), {3, 1, 4, 0, 5, 9, 2, 6, 8, 7});
    return orders;
}

TRunJournal Header()
{
    TRunJournal j;
    j.TestHash = TestHash("test");
    j.TestPath = QStringLiteral("/srv/школа/Физика.qe2");
    j.ResultsPath = QStringLiteral("/srv/школа/Физика.res");
    j.LastName = QStringLiteral("Иванов");
    j.FirstName = QStringLiteral("Иван");
    j.Patronymic = QStringLiteral("Иванович");
    j.AskedCount = kQuestions;
    j.CurQuestion = 128;
    j.SecondsLeft = 1234;
    return j;
}

QString Folder(QTemporaryDir &tmp)
{
    const QString base = qEnvironmentVariable("BENCH_JOURNAL_DIR");
    if (!base.isEmpty())
        return QDir(base).filePath(QStringLiteral("bench-journal/quizengine2/runs"));
    return tmp.filePath(QStringLiteral("quizengine2/runs"));
}

// The UI thread's part: snapshot, bytes, hand-over.
void BM_JournalUiThread(benchmark::State &state)
{
    QTemporaryDir tmp;
    TJournalStore store(Folder(tmp), QStringLiteral("bench"));
    if (!store.Open()) {
        state.SkipWithError("no journal folder");
        return;
    }
    const TQuestionList run = Run();
    const auto orders = Orders(run);
    TRunJournal j = Header();
    qint64 bytes = 0;
    for (auto _ : state) {
        j.Items = DrawnOrder(run, run, orders);
        store.Submit(j);
        bytes = WriteJournal(j).size();
    }
    store.Flush();
    state.counters["journal_bytes"] = double(bytes);
}
BENCHMARK(BM_JournalUiThread)->Unit(benchmark::kMicrosecond);

// Only the bytes, for comparison with the whole hand-over.
void BM_JournalBytes(benchmark::State &state)
{
    const TQuestionList run = Run();
    const auto orders = Orders(run);
    TRunJournal j = Header();
    j.Items = DrawnOrder(run, run, orders);
    for (auto _ : state)
        benchmark::DoNotOptimize(WriteJournal(j));
}
BENCHMARK(BM_JournalBytes)->Unit(benchmark::kMicrosecond);

// The writing thread's part, done on the calling thread: one durable replace.
void BM_JournalDurableWrite(benchmark::State &state)
{
    QTemporaryDir tmp;
    TJournalStore store(Folder(tmp), QStringLiteral("bench"));
    if (!store.Open()) {
        state.SkipWithError("no journal folder");
        return;
    }
    const TQuestionList run = Run();
    TRunJournal j = Header();
    j.Items = DrawnOrder(run, run, Orders(run));
    for (auto _ : state) {
        if (!store.WriteNow(j))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_JournalDurableWrite)->Unit(benchmark::kMillisecond);

// Read back and check, as at the player's start.
void BM_JournalRead(benchmark::State &state)
{
    const TQuestionList run = Run();
    TRunJournal j = Header();
    j.Items = DrawnOrder(run, run, Orders(run));
    const QByteArray bytes = WriteJournal(j);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadJournal(bytes));
}
BENCHMARK(BM_JournalRead)->Unit(benchmark::kMicrosecond);
}

BENCHMARK_MAIN();
