// The editor against the test library and the rich-text control it is built
// on: a test of 256 questions with a picture of about 200 KB in every other one.
//   opening:   editor document (and main window) vs LoadTestFromFile
//   saving:    an unchanged test, editor vs SaveTestToFile
//   focus:     one focus move in the main window vs LoadRichFromStream of that body,
//              each once without and once with the paint that follows
// Compare the pairs' times: the goals are 1.3x, 1.1x and 1.2x.
#include "MJvRichedit.h"
#include "PictureQuestions.h"
#include "MessageBoxes.h"
#include "QuestionPane.h"
#include "fMain.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "QuizEngineCommon.h"

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

// A photo-like picture: smooth colours with noise, so that bzip2 keeps most
// of its size, as it would keep a scanned drawing's.
struct TSample {
    QTemporaryDir dir;
    QString path;
    QString savePath;
    qint64 fileSize = 0;
    qint64 pictureRecordSize = 0;
    TQuestionList questions;
};

TSample &Sample()
{
    static TSample s;
    if (!s.path.isEmpty())
        return s;
    s.path = s.dir.filePath(QStringLiteral("pictures.qe2"));
    s.savePath = s.dir.filePath(QStringLiteral("saved.qe2"));
    s.questions = PictureQuestions(QuestionCount);
    s.pictureRecordSize = s.questions[1]->Body.size();
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(s.path, info, s.questions);
    s.fileSize = QFileInfo(s.path).size();
    return s;
}

void addSizes(benchmark::State &state)
{
    state.counters["file_MB"] = double(Sample().fileSize) / 1e6;
    state.counters["picture_KB"] = double(Sample().pictureRecordSize) / 1e3;
}

// ---- opening ----
void BM_OpenLibrary(benchmark::State &state)
{
    const QString path = Sample().path;
    for (auto _ : state) {
        TTestInfo info;
        TQuestionList list;
        const TTestLoadResult r = LoadTestFromFile(path, info, list);
        if (!r.Ok)
            state.SkipWithError("library load failed");
        benchmark::DoNotOptimize(list.data());
    }
    addSizes(state);
}

void BM_OpenDocument(benchmark::State &state)
{
    const QString path = Sample().path;
    TQuizDocument doc;
    TReadOptions o;
    o.Progress = [](int pct) { benchmark::DoNotOptimize(pct); };
    for (auto _ : state) {
        if (!doc.ReadTestFromFile(path, o).ok())
            state.SkipWithError("document open failed");
    }
}

// ---- saving an unchanged test ----
void BM_SaveLibrary(benchmark::State &state)
{
    TSample &s = Sample();
    TTestInfo info;
    TQuestionList list;
    LoadTestFromFile(s.path, info, list);
    for (auto _ : state)
        SaveTestToFile(s.savePath, info, list);
}

void BM_SaveDocument(benchmark::State &state)
{
    TSample &s = Sample();
    TQuizDocument doc;
    doc.ReadTestFromFile(s.path);
    for (auto _ : state) {
        if (!doc.SaveTestToFile(s.savePath, [](int pct) { benchmark::DoNotOptimize(pct); }).Ok)
            state.SkipWithError("document save failed");
    }
}

TfrmMain &Window();

// ---- one question's body into the rich-text control ----
// The control is on screen, as the window's is (a hidden one defers its
// layout), and of the window's control's size: a shorter one grows a scroll
// bar on a picture and lays the text out twice, and paints half the area;
// painted: the pending paint runs each time too, as the window's focus move
// is measured once with its paint.
void loadBodies(benchmark::State &state, bool painted)
{
    TSample &s = Sample();
    const QSize size = Window().Pane()->questionText()->size();
    TMJvRichEdit edit;
    edit.resize(size);
    edit.show();
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        QBuffer b(&s.questions[size_t(i)]->Body);
        b.open(QIODevice::ReadOnly);
        edit.LoadRichFromStream(b);
        if (painted)
            QCoreApplication::processEvents();
        i = (i + 1) % QuestionCount;
    }
    state.counters["text_w"] = size.width();
    state.counters["text_h"] = size.height();
}

void BM_LoadBodyRichEdit(benchmark::State &state) { loadBodies(state, false); }
void BM_LoadBodyRichEditPainted(benchmark::State &state) { loadBodies(state, true); }

// The question pane alone, as the window's focus move fills it.
void BM_FillQuestionPane(benchmark::State &state)
{
    TSample &s = Sample();
    TQuizDocument doc;
    doc.ReadTestFromFile(s.path);
    TQuestionPane pane;
    pane.setDocument(&doc);
    pane.resize(560, 500);
    pane.show();
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        pane.UpdateView(&doc.model()->record(i));
        i = (i + 1) % QuestionCount;
    }
}

// ---- the real main window, offscreen ----
TfrmMain &Window()
{
    static TfrmMain *w = nullptr;
    if (!w) {
        // No box may wait for a click here.
        SetMessageSink([](QMessageBox::Icon, const QString &, const QString &) {});
        // Started as a teacher starts it: configuration, window, access password.
        TKMQuizEngineConfig config;
        config.AccessPassword = QStringLiteral("bench");
        const QString configPath = Sample().dir.filePath(ConfigFileName);
        config.SaveToFile(configPath);
        qputenv("QE_EDITOR_SETTINGS", Sample().dir.filePath(QStringLiteral("settings.ini")).toLocal8Bit());
        w = new TfrmMain;
        w->PasswordInput = [](const QString &) { return std::optional<QString>(QStringLiteral("bench")); };
        if (!w->FormCreate(configPath))
            qFatal("the editor did not start");
        w->ShowCentred();
        for (int i = 0; i < 20 && !w->isWorking(); ++i)
            QCoreApplication::processEvents();
        if (!w->isWorking() || !w->isVisible())
            qFatal("the editor is not open for work");
    }
    return *w;
}

void BM_OpenWindow(benchmark::State &state)
{
    const QString path = Sample().path;
    TfrmMain &w = Window();
    for (auto _ : state) {
        if (!w.ReadTestFromFile(path))
            state.SkipWithError("window open failed");
        QCoreApplication::processEvents();
    }
}

void BM_SaveWindow(benchmark::State &state)
{
    TSample &s = Sample();
    TfrmMain &w = Window();
    w.ReadTestFromFile(s.path);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (!w.SaveTestToFile(s.savePath))
            state.SkipWithError("window save failed");
        QCoreApplication::processEvents();
    }
}

void focusMoves(benchmark::State &state, bool painted)
{
    TSample &s = Sample();
    TfrmMain &w = Window();
    w.ReadTestFromFile(s.path);
    QCoreApplication::processEvents();
    int i = 1;
    for (auto _ : state) {
        w.FocusRow(i);
        if (painted)
            QCoreApplication::processEvents();
        i = (i + 1) % QuestionCount;
    }
    if (w.CurrentRow() < 0)
        state.SkipWithError("no focused row");
    // The body's control in the window, against the one the body loads are timed in.
    state.counters["text_w"] = w.Pane()->questionText()->width();
    state.counters["text_h"] = w.Pane()->questionText()->height();
}

void BM_FocusMoveWindow(benchmark::State &state) { focusMoves(state, false); }
void BM_FocusMoveWindowPainted(benchmark::State &state) { focusMoves(state, true); }
}

BENCHMARK(BM_OpenLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBodyRichEdit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillQuestionPane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FocusMoveWindow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadBodyRichEditPainted)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FocusMoveWindowPainted)->Unit(benchmark::kMicrosecond);

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
