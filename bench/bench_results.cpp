// A school year of results: 200 000 lines (about 20 MB) written by the
// player's own writer. Reading them (goal: at least 50 MB/s) is measured
// beside a plain read of the same file into memory, then the sort by surname
// and a filter with its statistics, as the results window does them.
#include <benchmark/benchmark.h>

#include "ResultsAnalysis.h"
#include "ResultsFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>

namespace {
const int kLines = 200000;

const QString &YearFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("year.res"));
        const QStringList last{QStringLiteral("Иванов"), QStringLiteral("Ёлкина"), QStringLiteral("Константинопольский"),
                               QStringLiteral("Смирнова"), QStringLiteral("Кузнецов"), QStringLiteral("Попова"),
                               QStringLiteral("Васильев"), QStringLiteral("Петрова"), QStringLiteral("Соколов")};
        const QStringList first{QStringLiteral("Александра"), QStringLiteral("Пётр"), QStringLiteral("Мария"),
                                QStringLiteral("Илья"), QStringLiteral("Софья")};
        QByteArray bytes = ResultsHeaderLine();
        quint32 seed = 12345;
        auto next = [&seed](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        for (int i = 0; i < kLines; ++i) {
            TResultRecord r;
            r.When = QDateTime(QDate(2026, 9, 1).addDays(next(270)), QTime(8 + int(next(8)), int(next(60))));
            r.TestName = QStringLiteral("Контрольная работа №%1").arg(next(40));
            r.LastName = last[int(next(quint32(last.size())))] + QString::number(next(500));
            r.FirstName = first[int(next(quint32(first.size())))];
            r.Patronymic = QStringLiteral("Сергеевич");
            r.Extra = QStringLiteral("%1 «%2»").arg(5 + next(7)).arg(QChar(u'А' + int(next(4))));
            r.PossibleScore = quint16(10 + next(20));
            r.Score = quint16(next(r.PossibleScore + 1u));
            bytes += ResultsDataLine(r);
        }
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
        return p;
    }();
    return path;
}

long long FileSize() { return QFile(YearFile()).size(); }

void BM_PlainRead(benchmark::State &state)
{
    const QByteArray native = QFile::encodeName(YearFile());
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (auto _ : state) {
        QByteArray all;
        all.reserve(FileSize() + 1);
        const int fd = ::open(native.constData(), O_RDONLY);
        ssize_t n;
        while ((n = ::read(fd, buffer.data(), size_t(buffer.size()))) > 0)
            all.append(buffer.constData(), n);
        ::close(fd);
        benchmark::DoNotOptimize(all.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_ReadResults(benchmark::State &state)
{
    for (auto _ : state) {
        const Results::TReadOutcome out = Results::ReadFile(YearFile());
        if (out.Table.Rows.size() != kLines)
            state.SkipWithError("lines lost");
        benchmark::DoNotOptimize(out.Table.Rows.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_ReadResults)->Unit(benchmark::kMillisecond);

// The parse alone, of bytes already in memory.
void BM_ParseResults(benchmark::State &state)
{
    QFile f(YearFile());
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray bytes = f.readAll();
    for (auto _ : state)
        benchmark::DoNotOptimize(Results::Parse(bytes).Rows.data());
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseResults)->Unit(benchmark::kMillisecond);

const QList<TResultRow> &YearRows()
{
    static const QList<TResultRow> rows = Results::ReadFile(YearFile()).Table.Rows;
    return rows;
}

void BM_SortBySurname(benchmark::State &state)
{
    const QList<TResultRow> &rows = YearRows();
    QList<int> all(rows.size());
    std::iota(all.begin(), all.end(), 0);
    for (auto _ : state) {
        QList<int> idx = all;
        Results::Sort(rows, idx, TResultsColumn::LastName, false);
        benchmark::DoNotOptimize(idx.data());
    }
    state.SetItemsProcessed(state.iterations() * rows.size());
}
BENCHMARK(BM_SortBySurname)->Unit(benchmark::kMillisecond);

void BM_SortByPercent(benchmark::State &state)
{
    const QList<TResultRow> &rows = YearRows();
    QList<int> all(rows.size());
    std::iota(all.begin(), all.end(), 0);
    for (auto _ : state) {
        QList<int> idx = all;
        Results::Sort(rows, idx, TResultsColumn::Percent, true);
        benchmark::DoNotOptimize(idx.data());
    }
    state.SetItemsProcessed(state.iterations() * rows.size());
}
BENCHMARK(BM_SortByPercent)->Unit(benchmark::kMillisecond);

void BM_FilterAndStatistics(benchmark::State &state)
{
    const QList<TResultRow> &rows = YearRows();
    TResultsFilter f;
    f.Extra = QStringLiteral("9 «А»");
    f.Surname = QStringLiteral("ёлк");
    for (auto _ : state) {
        const QList<int> idx = Results::Filter(rows, f);
        benchmark::DoNotOptimize(Results::Statistics(rows, idx, TMarkScale()).Mean);
    }
    state.SetItemsProcessed(state.iterations() * rows.size());
}
BENCHMARK(BM_FilterAndStatistics)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    // The file is made before anything is timed.
    std::printf("%s: %lld bytes, %d lines\n", qPrintable(YearFile()), FileSize(), kLines + 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
