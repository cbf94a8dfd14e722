// The export to word-processor documents against loading what it exports: the
// test of 256 questions with a picture of about 200 KB in every other one
// (the editor benchmark's sample), exported to a test document and its key,
// vs the test library loading that file and LoadRichFromStream loading every
// body. Goal: the export takes at most 3x the loading.
#include "MJvRichedit.h"
#include "PictureQuestions.h"
#include "QuizEngineCommon.h"
#include "WordExport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>

#include <benchmark/benchmark.h>

namespace {
constexpr int QuestionCount = 256;

struct TSample {
    QTemporaryDir dir;
    QString path;
    QString templatePath;
};

TSample &Sample()
{
    static TSample s;
    if (!s.path.isEmpty())
        return s;
    s.path = s.dir.filePath(QStringLiteral("pictures.qe2"));
    s.templatePath = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/Шаблоны/Стандартный.dotx");
    const TQuestionList questions = PictureQuestions(QuestionCount);
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(s.path, info, questions);
    return s;
}

// The test library reads the file, the control loads every body.
void BM_LoadEveryBody(benchmark::State &state)
{
    const QString path = Sample().path;
    TMJvRichEdit edit;
    for (auto _ : state) {
        TTestInfo info;
        TQuestionList list;
        if (!LoadTestFromFile(path, info, list).Ok)
            state.SkipWithError("load failed");
        for (const TQuestionPtr &q : list) {
            QBuffer b(&q->Body);
            b.open(QIODevice::ReadOnly);
            edit.LoadRichFromStream(b);
        }
    }
}

// What the editor does after the dialogs: the same loading, then the export.
void BM_ExportWord(benchmark::State &state)
{
    const TSample &s = Sample();
    if (!QFileInfo::exists(s.templatePath)) {
        state.SkipWithError("the default template is not built");
        return;
    }
    TTestInfo info;
    TQuestionList list;
    if (!LoadTestFromFile(s.path, info, list).Ok)
        state.SkipWithError("load failed");
    Docx::TWordExportSettings settings;
    settings.templatePath = s.templatePath;
    const QString target = s.dir.filePath(QStringLiteral("out.docx"));
    for (auto _ : state) {
        const Docx::TWordExportResult r = Docx::ExportToWord(info, list, settings, target, Docx::KeyPathFor(target),
                                                             [&](const QString &) { state.SkipWithError("export failed"); });
        if (!r.keyWritten)
            state.SkipWithError("export failed");
    }
    state.counters["docx_MB"] = double(QFileInfo(target).size()) / 1e6;
}
}

BENCHMARK(BM_LoadEveryBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportWord)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
