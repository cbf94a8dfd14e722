// Writing and reading a large test through our streams, beside raw libbz2
// on the same bytes.
#include <benchmark/benchmark.h>

#include <QBuffer>

#include "Ansi.h"
#include "BZStreams.h"
#include "QuizEngineCommon.h"

#include <QThread>

#include <algorithm>
#include <bzlib.h>
#include <cstdint>
#include <memory>
#include <vector>

namespace {
constexpr int QuestionCount = 1000;
constexpr int BodyBytes = 50 * 1024;

struct XorShift {
    uint64_t s;
    uint32_t next(uint32_t n)
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return uint32_t(s % n);
    }
};

// Text that compresses like what the rich edit control writes: control words,
// Russian letters as \'xx escapes, words from a vocabulary.
QByteArray rtfLikeBody(XorShift &rng)
{
    static const QStringList russian = QStringLiteral(
        "вопрос ответ тест школа ученик учитель задача решение формула число система уравнение "
        "граница функция значение площадь объём скорость время история литература география "
        "верно неверно выберите правильный вариант который следующий определите")
                                          .split(u' ');
    static const char *const english[] = {"x", "y", "n", "sin", "cos", "log", "2", "10", "100", "=", "+", "(a+b)"};
    static const char *const controls[] = {"\\b ", "\\b0 ", "\\i ", "\\i0 ", "\\cf1 ", "\\cf0 ", "\\fs24 ", "\\fs20 ",
                                           "\\ul ", "\\ulnone ", "\\tab "};
    static std::vector<QByteArray> escaped = [] {
        std::vector<QByteArray> out;
        for (const QString &w : russian) {
            QByteArray e;
            for (char c : ToAnsi(w))
                e += "\\'" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            out.push_back(e);
        }
        return out;
    }();
    QByteArray b("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}"
                 "{\\f1\\froman\\fcharset204 Times New Roman;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;"
                 "\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ");
    b.reserve(BodyBytes + 256);
    while (b.size() < BodyBytes) {
        const uint32_t r = rng.next(100);
        if (r < 70)
            b += escaped[rng.next(uint32_t(escaped.size()))];
        else if (r < 85)
            b += english[rng.next(12)];
        else if (r < 95)
            b += controls[rng.next(11)];
        else
            b += "\\par\r\n";
        b += ' ';
    }
    b += "\\par\r\n}\r\n";
    return b;
}

struct Corpus {
    TQuestionList questions;
    QByteArray records;  // the uncompressed body: all question records
    QByteArray file;     // header + compressed body, as saved
    int headerSize = 0;
    int64_t bodyBytes = 0;
    Corpus()
    {
        XorShift rng{0x9E3779B97F4A7C15ull};
        for (int i = 0; i < QuestionCount; ++i) {
            auto q = std::make_shared<TNQuestion>();
            q->Body = rtfLikeBody(rng);
            q->PlainLines.Add(QStringLiteral("Вопрос номер %1").arg(i));
            for (int v = 0; v < 4; ++v) {
                q->Variants.append(QStringLiteral("Вариант ответа %1").arg(v));
                q->RightMarks.append(v == 1 ? QLatin1Char('!') : QLatin1Char(' '));
            }
            bodyBytes += q->Body.size();
            questions.push_back(std::move(q));
        }
        QBuffer buf(&records);
        buf.open(QIODevice::WriteOnly);
        for (const auto &q : questions)
            WriteQuestion(*q, buf);
        TTestInfo info = TTestInfo::NewTestValues();
        file = SaveTestToBytes(info, questions);
        headerSize = 47;
    }
};

const Corpus &corpus()
{
    static const Corpus c;
    return c;
}

// The argument is the number of threads; the label says how many cores there are.
void threadsFromArg(benchmark::State &state)
{
    BZSetThreads(int(state.range(0)));
    state.SetLabel(QStringLiteral("%1 of %2 cores").arg(state.range(0)).arg(QThread::idealThreadCount()).toStdString());
}

void BM_WriteTest(benchmark::State &state)
{
    const Corpus &c = corpus();
    threadsFromArg(state);
    for (auto _ : state) {
        TTestInfo info = TTestInfo::NewTestValues();
        QByteArray out = SaveTestToBytes(info, c.questions);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * c.records.size());
}

void BM_RawCompress(benchmark::State &state)
{
    const Corpus &c = corpus();
    std::vector<char> out(size_t(c.records.size()) + size_t(c.records.size()) / 100 + 600);
    for (auto _ : state) {
        unsigned len = unsigned(out.size());
        const int rc = BZ2_bzBuffToBuffCompress(out.data(), &len, const_cast<char *>(c.records.constData()),
                                                unsigned(c.records.size()), 1, 0, 0);
        if (rc != BZ_OK)
            state.SkipWithError("compress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * c.records.size());
}

void BM_ReadTest(benchmark::State &state)
{
    const Corpus &c = corpus();
    threadsFromArg(state);
    for (auto _ : state) {
        QByteArray bytes = c.file;
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        TTestInfo info;
        TQuestionList out;
        const TTestLoadResult r = LoadTestFromDevice(buf, info, out);
        if (!r.Ok || out.size() != size_t(QuestionCount))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * c.records.size());
}

void BM_RawDecompress(benchmark::State &state)
{
    const Corpus &c = corpus();
    std::vector<char> out(size_t(c.records.size()));
    const QByteArray packed = c.file.mid(c.headerSize);
    for (auto _ : state) {
        unsigned len = unsigned(out.size());
        const int rc = BZ2_bzBuffToBuffDecompress(out.data(), &len, const_cast<char *>(packed.constData()),
                                                  unsigned(packed.size()), 0, 0);
        if (rc != BZ_OK || len != unsigned(c.records.size()))
            state.SkipWithError("decompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * c.records.size());
}

// The same, paying like the loader does for fresh memory to hold the result.
void BM_RawDecompressFreshBuffer(benchmark::State &state)
{
    const Corpus &c = corpus();
    const QByteArray packed = c.file.mid(c.headerSize);
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[size_t(c.records.size())]);
        unsigned len = unsigned(c.records.size());
        const int rc = BZ2_bzBuffToBuffDecompress(out.get(), &len, const_cast<char *>(packed.constData()),
                                                  unsigned(packed.size()), 0, 0);
        if (rc != BZ_OK || len != unsigned(c.records.size()))
            state.SkipWithError("decompress failed");
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(state.iterations() * c.records.size());
}
}

// 1, 2 and all threads, and 4 and 8 where there are as many cores. Real time:
// the work is on other threads than the one timed.
void threadArgs(benchmark::internal::Benchmark *b)
{
    const int cores = QThread::idealThreadCount();
    std::vector<int> counts{1, 2};
    for (int n : {4, 8, cores})
        if (n <= cores && std::find(counts.begin(), counts.end(), n) == counts.end())
            counts.push_back(n);
    for (int n : counts)
        b->Arg(n);
}

BENCHMARK(BM_WriteTest)->Apply(threadArgs)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCompress)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTest)->Apply(threadArgs)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDecompress)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDecompressFreshBuffer)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
