// One recovery copy of the editor benchmark's test (256 questions, a picture
// of about 200 KB in every other one), open in the main window with an edit
// in the focused picture question:
//   ui_thread: what the editing waits for (the pane's edit taken, the
//              snapshot, the hand-over to the worker); goal under 50 ms
//   total:     until the copy and its description are on disk
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "PictureQuestions.h"
#include "QuestionPane.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "RecoveryCommands.h"
#include "fMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
constexpr int QuestionCount = 256;

struct TBench {
    QTemporaryDir dir;
    TfrmMain *window = nullptr;
};

TBench &Bench()
{
    static TBench b;
    if (b.window)
        return b;
    SetMessageSink([](QMessageBox::Icon, const QString &, const QString &) {});
    qputenv("XDG_STATE_HOME", QFile::encodeName(b.dir.filePath(QStringLiteral("state"))));
    qputenv("QE_EDITOR_SETTINGS", QFile::encodeName(b.dir.filePath(QStringLiteral("settings.ini"))));
    const QString test = b.dir.filePath(QStringLiteral("pictures.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(test, info, PictureQuestions(QuestionCount));
    TKMQuizEngineConfig config;
    config.AccessPassword = QStringLiteral("bench");
    const QString configPath = b.dir.filePath(ConfigFileName);
    config.SaveToFile(configPath);
    b.window = new TfrmMain;
    b.window->PasswordInput = [](const QString &) { return std::optional<QString>(QStringLiteral("bench")); };
    b.window->SetStartFile(test);
    if (!b.window->FormCreate(configPath))
        qFatal("the editor did not start");
    b.window->ShowCentred();
    for (int i = 0; i < 50 && !b.window->isWorking(); ++i)
        QCoreApplication::processEvents();
    if (!b.window->isWorking() || b.window->Document()->questionCount() != QuestionCount)
        qFatal("the editor is not open on the test");
    b.window->FocusRow(1);  // a question with a picture
    return b;
}

// A keystroke in the focused question: its text is taken again at the copy.
void Edit(TfrmMain &w)
{
    TMJvRichEdit *text = w.Pane()->questionText();
    QTextCursor c = text->textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("x"));
    w.SetModified(true);
}

void copies(benchmark::State &state, bool wait)
{
    TfrmMain &w = *Bench().window;
    TRecoveryCommands &r = *w.Recovery();
    for (auto _ : state) {
        Edit(w);
        if (!w.Pane()->isTextModified())
            state.SkipWithError("the edit did not reach the pane");
        QElapsedTimer t;
        t.start();
        if (!r.WriteCopyNow(wait))
            state.SkipWithError("no copy taken");
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        r.Writer().WaitForIdle();
    }
    if (TNodeRecord *rec = w.CurrentQuestion())
        state.counters["body_KB"] = double(rec->Question->Body.size()) / 1e3;
    state.counters["copy_MB"] = double(QFileInfo(r.Store().OwnCopyPath()).size()) / 1e6;
}

void BM_RecoveryCopyUiThread(benchmark::State &state) { copies(state, false); }
void BM_RecoveryCopyTotal(benchmark::State &state) { copies(state, true); }
}  // namespace

// Each copy compresses the whole test on the worker: a few iterations are enough.
BENCHMARK(BM_RecoveryCopyUiThread)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecoveryCopyTotal)->UseManualTime()->Iterations(4)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
