// Whole questions on the clipboard, 100 large ones (a body with a 300 x 200
// picture, about 240 KB, and a comment):
//   render:  the block a receiver asks for
//   read:    the block read back into new questions
//   paste:   the paste command of the real main window, offscreen: the
//            clipboard read and all questions inserted as one step
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QListView>
#include <QMimeData>
#include <QRandomGenerator>
#include <QImage>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include "ClipboardCommands.h"
#include "MessageBoxes.h"
#include "QuestionClipboard.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "RichObjects.h"
#include "MJvRichedit.h"
#include "RichRecord.h"
#include "fMain.h"

namespace {
constexpr int Count = 100;

struct TSample {
    std::vector<TNodeRecord> records;
    std::vector<const TNodeRecord *> ptrs;
    QByteArray block;
    QTemporaryDir dir;
};

TSample &Sample()
{
    static TSample *s = nullptr;
    if (!s) {
        s = new TSample;
        QRandomGenerator rng(7);
        QImage img(300, 200, QImage::Format_RGB32);
        rng.fillRange(reinterpret_cast<quint32 *>(img.bits()), int(img.sizeInBytes() / 4));
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("Вопрос с рисунком "));
        c.insertText(QString(QChar::ObjectReplacementCharacter), RichText::ObjectFormat(RichText::PictureObject(img)));
        const QByteArray body = RichText::SaveRecord(doc);
        for (int i = 0; i < Count; ++i) {
            TNodeRecord r;
            r.Question = std::make_unique<TNQuestion>();
            r.Question->PlainLines.Add(QStringLiteral("Вопрос %1 с рисунком [объект]").arg(i + 1));
            r.Question->Body = body;
            r.Question->Comment = RichRecord::FromPlainText(QStringLiteral("Комментарий %1").arg(i + 1));
            r.Question->Variants = {"первый", "второй", "третий"};
            r.Question->RightMarks = QStringLiteral("! !");
            s->records.push_back(std::move(r));
        }
        for (const TNodeRecord &r : s->records)
            s->ptrs.push_back(&r);
        s->block = QuestionClipboard::EncodeBlock(s->ptrs);
    }
    return *s;
}

void BM_RenderBlock(benchmark::State &state)
{
    TSample &s = Sample();
    for (auto _ : state)
        benchmark::DoNotOptimize(QuestionClipboard::EncodeBlock(s.ptrs));
    state.SetBytesProcessed(state.iterations() * s.block.size());
}

void BM_ReadBlock(benchmark::State &state)
{
    TSample &s = Sample();
    for (auto _ : state) {
        QuestionClipboard::TDecodeResult r = QuestionClipboard::DecodeBlock(s.block);
        if (!r.Ok || r.Records.size() != size_t(Count))
            state.SkipWithError("block not read");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(state.iterations() * s.block.size());
}

TfrmMain &Window()
{
    static TfrmMain *w = nullptr;
    if (!w) {
        SetMessageSink([](QMessageBox::Icon, const QString &, const QString &) {});
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
        if (!w->isWorking())
            qFatal("the editor is not open for work");
    }
    return *w;
}

void BM_PasteWindow(benchmark::State &state)
{
    TSample &s = Sample();
    TfrmMain &w = Window();
    auto *data = new QMimeData;
    data->setData(QuestionClipboard::MimeType, s.block);
    QGuiApplication::clipboard()->setMimeData(data);
    w.QTree()->setFocus();
    for (auto _ : state) {
        if (!w.Clipboard()->PasteQuestions() || w.Model()->count() != Count)
            state.SkipWithError("paste failed");
        QCoreApplication::processEvents();
        state.PauseTiming();
        w.FocusRow(-1);
        w.Model()->clear();
        w.Document()->SetModified(false);
        state.ResumeTiming();
    }
}
}  // namespace

BENCHMARK(BM_RenderBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PasteWindow)->Unit(benchmark::kMillisecond);

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
