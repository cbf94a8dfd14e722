// A whole class finishing at the same second: 30 players, started within
// 50 ms, append to one results file in a network folder where every
// fdatasync takes 100 ms. Counts the players that used up a series of
// attempts and would have shown the retry question (the goal is none), and
// checks that every line arrived whole, once.
#include <benchmark/benchmark.h>

#include "Clock.h"
#include "FsHooks.h"
#include "ResultsFile.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
const char kWriterRole[] = "--burst-writer";
const int kWriters = 30;
const int kStartSpreadMs = 50;
const int kSyncDelayMs = 100;

std::string g_self;
int g_syncDelayMs = 0;

int SlowDataSync(int fd)
{
    ::usleep(useconds_t(g_syncDelayMs) * 1000);
    return RealFsHooks().DataSync(fd);
}

TResultRecord WriterRecord(int index)
{
    TResultRecord r;
    r.When = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    r.TestName = QStringLiteral("Химия");
    r.LastName = QStringLiteral("P%1").arg(index);
    r.FirstName = QStringLiteral("Пётр");
    r.Patronymic = QStringLiteral("Сергеевич");
    // Long enough that bytes of two players would show inside one line.
    r.Extra = QString(300, QChar(u'ж'));
    r.Score = 2;
    r.PossibleScore = 3;
    return r;
}

// One player: waits for its start time, then writes as the player does. Exit
// status 0: written in the first series; 1: only after the retry question;
// 2: never written.
int Writer(const char *path, int index, long long startNs, int syncDelayMs)
{
    g_syncDelayMs = syncDelayMs;
    FsHooks().DataSync = SlowDataSync;
    QeClock::SeedRandom(quint64(::getpid()) * 0x9E3779B97F4A7C15ull ^ quint64(startNs));
    // As the player: the folder as it was when the run started, each attempt
    // off the main thread within its time limit.
    const QString file = QString::fromLocal8Bit(path);
    const TResultsFolder folder = ResultsFolderOf(file);
    // Lets a driving script see that the run has begun before it changes
    // the folder under the players (an unmount, a server outage).
    if (const char *ready = std::getenv("QE_BURST_READY")) {
        const std::string mark = std::string(ready) + "/" + std::to_string(index);
        if (FILE *f = std::fopen(mark.c_str(), "w"))
            std::fclose(f);
    }
    const TResultRecord rec = WriterRecord(index);
    const timespec at{time_t(startNs / 1000000000), long(startNs % 1000000000)};
    while (::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    if (AppendResultSeries(file, rec, {}, {}, 10, folder, 20000))
        return 0;
    for (int series = 0; series < 10; ++series)
        if (AppendResultSeries(file, rec, {}, {}, 10, folder, 20000))
            return 1;
    // What the attempts met, for whoever looks into the round.
    QString error;
    if (AppendResultOnce(file, rec, &error, folder) == TAppendOutcome::Written)
        return 1;
    std::fprintf(stderr, "writer %d: %s\n", index, qPrintable(error));
    return 2;
}

long long NowNs()
{
    timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Header first, then each player's line exactly once and nothing else.
bool LinesWhole(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray rest = f.readAll();
    const QByteArray header = ResultsHeaderLine();
    if (!rest.startsWith(header))
        return false;
    rest.remove(0, header.size());
    std::set<QByteArray> expected;
    for (int i = 0; i < kWriters; ++i)
        expected.insert(ResultsDataLine(WriterRecord(i)));
    int lines = 0;
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf("\r\n");
        if (end < 0)
            return false;
        if (expected.erase(rest.left(end + 2)) != 1)
            return false;
        rest.remove(0, end + 2);
        ++lines;
    }
    return lines == kWriters && expected.empty();
}

void BM_ClassWritesAtOnce(benchmark::State &state)
{
    int retryQuestions = 0, lost = 0, whole = 1, rounds = 0;
    for (auto _ : state) {
        char dirTemplate[] = "/tmp/qe-burst-XXXXXX";
        const char *dir = ::mkdtemp(dirTemplate);
        if (!dir) {
            state.SkipWithError("cannot make a folder");
            return;
        }
        const std::string path = std::string(dir) + "/class.res";
        const long long start = NowNs() + 300LL * 1000000;  // all spawned by then
        std::vector<pid_t> pids;
        for (int i = 0; i < kWriters; ++i) {
            const std::string index = std::to_string(i);
            const std::string at = std::to_string(start + (long long)i * kStartSpreadMs * 1000000 / kWriters);
            const std::string delay = std::to_string(kSyncDelayMs);
            const char *args[] = {g_self.c_str(), kWriterRole, path.c_str(), index.c_str(), at.c_str(),
                                  delay.c_str(), nullptr};
            pid_t pid;
            if (::posix_spawn(&pid, g_self.c_str(), nullptr, nullptr, const_cast<char **>(args), environ) == 0)
                pids.push_back(pid);
            else
                ++lost;
        }
        for (pid_t pid : pids) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
            if (code == 1)
                ++retryQuestions;
            else if (code != 0)
                ++lost;
        }
        if (!LinesWhole(path))
            whole = 0;
        ++rounds;
        ::unlink(path.c_str());
        ::rmdir(dir);
    }
    state.counters["writers"] = kWriters;
    state.counters["retry_question"] = double(retryQuestions) / rounds;
    state.counters["never_written"] = double(lost) / rounds;
    state.counters["lines_whole"] = whole;
}
BENCHMARK(BM_ClassWritesAtOnce)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}

int main(int argc, char **argv)
{
    if (argc == 6 && std::strcmp(argv[1], kWriterRole) == 0)
        return Writer(argv[2], std::atoi(argv[3]), std::atoll(argv[4]), std::atoi(argv[5]));
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, size_t(n)) : std::string(argv[0]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
