#include "fMain.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include "Ansi.h"
#include "Clock.h"
#include "FileLocks.h"
#include "MessageBoxes.h"
#include "Randomize.h"
#include "PlayerLog.h"
#include "AnswersJournal.h"
#include "ResourceTrailer.h"
#include "ResultsFile.h"
#include "RunJournalLink.h"
#include "SingleInstance.h"
#include "TestRun.h"
#include "fSplash.h"
#include "ui_fMain.h"

namespace {
const QString AppTitle = QStringLiteral("Модуль проведения тестирования");
const QString InstanceName = QStringLiteral("KMQuizrunner");
const QString LauncherId = QStringLiteral("KMQuizdispatch");
const QString TestResource = QStringLiteral("TEST");
const QString TestNameResource = QStringLiteral("TEST_FILE_NAME");
constexpr int SplashMinimumMs = 1000;
constexpr int TileWidth = 221;
constexpr int TileHeight = 103;
constexpr int FioRightGap = 15;
constexpr int DestroyPauseMs = 50;

void ShowSplashInfo()
{
    if (TfrmSplash *splash = TfrmSplash::Instance())
        splash->ShowInfo(AppTitle, 8, 102);
}

QList<QRgb> SixteenColourTable()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}
}  // namespace

TfrmMain::TfrmMain(const QStringList &args, const QString &programFile, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      ui(new Ui::TfrmMain), m_args(args), m_programFile(programFile)
{
    ui->setupUi(this);
}

TfrmMain::~TfrmMain()
{
    m_run.reset();
    m_journal.reset();
    delete ui;
}

int TfrmMain::RunProgram()
{
    auto *splash = new TfrmSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    splash->ShowInfo(AppTitle, 8, 102);

    if (IsAlreadyRunning(InstanceName)) {
        // No caption of its own: the system's default for an error box.
        ShowMessage(QMessageBox::Critical, QStringLiteral("Ошибка"), QStringLiteral("Экзаменовка уже запущена"), splash,
                    true);
        delete TfrmSplash::Instance();
        return 1;
    }

    int rc = 1;
    {
        TfrmMain frmMain(QCoreApplication::arguments(), QCoreApplication::applicationFilePath());
        if (frmMain.FormCreate()) {
            frmMain.CreateRun();
            frmMain.showFullScreen();
            frmMain.activateWindow();
            rc = QApplication::exec();
        }
        frmMain.FormDestroy();
    }
    delete TfrmSplash::Instance();
    return rc;
}

QString TfrmMain::TestNameOf(const QString &path)
{
    const qsizetype sep = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    QString name = path.mid(sep + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

bool TfrmMain::FormCreate()
{
    const qint64 startTime = QeClock::TickCount();
    ShowSplashInfo();
    QeClock::SeedRandom(quint64(QDateTime::currentMSecsSinceEpoch()) * 6364136223846793005ULL
                        ^ quint64(QCoreApplication::applicationPid()));
    setWindowTitle(AppTitle);

    TestInfo = TTestInfo::StartingValues();
    Questions.clear();
    AskedCount = 0;
    TestLoaded = false;

    bool loaded = false;
    const std::optional<QByteArray> test = ResourceTrailer::FindResource(m_programFile, TestResource);
    if (test) {
        Embedded = true;
        loaded = ReadTestFromResource(*test);
    } else {
        if (m_args.size() < 4 || m_args.at(1) != LauncherId) {
            ShowError(QStringLiteral("Неверные параметры запуска\r\rЗапускайте 'Quizdispatch'"));
            return false;
        }
        TestPath = m_args.at(2);
        ResultsPath = m_args.at(3);
        loaded = ReadTestFromFile(TestPath);
    }

    if (loaded) {
        TestName = TestNameOf(TestPath);
        if (!ResumeOrDraw())
            return false;
        ui->labTestName->setText(TestName);
        if (!Questions.empty())
            TestLoaded = true;
        else
            ShowError(QStringLiteral("В тесте нет вопросов\r") + TestPath);
    }
    if (!TestLoaded) {
        ShowError(Embedded ? QStringLiteral("Ошибка чтения теста из ресурса: \r\r") + TestPath
                           : QStringLiteral("Ошибка чтения файла. Возможно файл занят.\r\r") + TestPath);
        return false;
    }

    SetUpWindow();

    const qint64 elapsed = QeClock::TickCount() - startTime;
    if (elapsed >= 0 && elapsed < SplashMinimumMs)
        QeClock::Sleep(int(SplashMinimumMs - elapsed));
    return true;
}

bool TfrmMain::ResumeOrDraw()
{
    const TQuestionList stored = Questions;
    TVariantOrders orders;
    const auto draw = [&] {
        if (AskedCount > 2) {
            if (TestInfo.RandomCount != 0)
                RandomizeTest();
            if (TestInfo.has(RandomVOrder))
                ::RandomizeVariants(Questions, [this](const QString &t) { ShowMsg(t); }, &orders);
        }
    };
    // A test without items has no run to keep.
    if (Questions.empty()) {
        draw();
        return true;
    }
    TJournalTest test;
    test.TestPath = TestPath;
    test.ResultsPath = Embedded ? EmbeddedResultsPath(TestPath) : ResultsPath;
    // The results of a standalone program go to its current folder: another
    // folder is another run.
    test.Identity = Embedded ? m_programFile + u'\n' + QDir::currentPath() + u'\n' + TestPath
                             : TestPath + u'\n' + ResultsPath;
    test.Hash = m_testHash;
    test.TimeLimitSeconds = TestInfo.TimeLimit * 60;
    TRunJournalLink::TCallbacks cb;
    cb.Warn = [](const QString &text) { ShowWarning(text); };
    cb.AskResume = [this](const QString &text) { return AskResume(text); };
    m_journal = std::make_unique<TRunJournalLink>();
    switch (m_journal->Open(test, stored, cb)) {
    case TRunJournalLink::TOpen::OpenElsewhere:
        ShowError(RunOpenElsewhereText);
        return false;
    case TRunJournalLink::TOpen::Resume:
        Questions = m_journal->ResumedQuestions();
        AskedCount = m_journal->ResumedAskedCount();
        m_resume = std::make_unique<TRunResume>(m_journal->Resume());
        return true;
    case TRunJournalLink::TOpen::Fresh:
        break;
    }
    draw();
    m_journal->Begin(stored, Questions, orders, AskedCount);
    return true;
}

bool TfrmMain::AskResume(const QString &text)
{
    const QString caption = QStringLiteral("Внимание!");
    if (AppendToMessageLog(caption, text))
        return qEnvironmentVariable("QE_RESUME_REPLY") == QStringLiteral("Да");
    TfrmSplash::CloseSplash();
    QMessageBox box(QMessageBox::Question, caption, DisplayText(text), QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void TfrmMain::SetUpWindow()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    SetFIO(QString());
    const QPixmap tile = QPixmap::fromImage(BackgroundTile(depth() < 8));
    QPalette pal = ui->imgBackgrnd->palette();
    pal.setBrush(QPalette::Window, QBrush(tile));
    ui->imgBackgrnd->setPalette(pal);
}

void TfrmMain::SetFIO(const QString &fio)
{
    ui->labFIO->setText(fio);
}

void TfrmMain::CreateRun()
{
    TRunContext ctx;
    ctx.MainWindow = this;
    ctx.TestInfo = &TestInfo;
    ctx.Questions = &Questions;
    ctx.AskedCount = &AskedCount;
    ctx.Embedded = Embedded;
    ctx.TestPath = TestPath;
    ctx.TestName = TestName;
    ctx.ResultsPath = Embedded ? QString() : ResultsPath;
    ctx.SetFIO = [this](const QString &fio) { SetFIO(fio); };
    ctx.Changed = [this](TRunStep step) {
        if (m_journal && m_run)
            m_journal->Record(*m_run, step);
    };
    const QString results = Embedded ? EmbeddedResultsPath(TestPath) : ResultsPath;
    if (m_journal && PlayerConfig::AnswersJournalEnabled())
        ctx.AnswersPath = AnswersJournal::PathFor(results);
    if (m_journal)
        ctx.Drawn = m_journal->Drawn();
    ctx.TestHash = m_testHash;
    ctx.Log = [](const QString &text) { PlayerLog::Write(text); };
    m_run = std::make_unique<TTestRun>(ctx);
}

bool TfrmMain::ReadTestFromFile(const QString &path)
{
    try {
        const TTestLoadResult r = LoadTestFromFile(path, TestInfo, Questions, {}, true);
        if (r.HeaderCode != hrOk)
            return false;
        QFile f(path);
        if (!FileLocks::OpenSharedRead(f))
            return false;
        m_testHash = TestHash(f.readAll());
        // More information items than items is a damaged header, not a test.
        if (TestInfo.IQCount > TestInfo.QuestionCount)
            return false;
        AskedCount = TestInfo.QuestionCount - TestInfo.IQCount;
        return r.Ok;
    } catch (const std::exception &) {
        return false;
    }
}

bool TfrmMain::ReadTestFromResource(const QByteArray &test)
{
    if (test.isEmpty())
        return false;
    m_testHash = TestHash(test);
    bool decoded = true;
    try {
        QByteArray bytes = test;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const TTestLoadResult r = LoadTestFromDevice(buffer, TestInfo, Questions, {}, true);
        if (r.HeaderCode == hrOk) {
            if (TestInfo.IQCount > TestInfo.QuestionCount)
                decoded = false;
            else
                AskedCount = TestInfo.QuestionCount - TestInfo.IQCount;
            decoded = decoded && r.Ok;
        } else {
            // An unreadable header loads no item; the caller reports the empty test.
            Questions.clear();
        }
    } catch (const std::exception &) {
        decoded = false;
    }
    const std::optional<QByteArray> name = ResourceTrailer::FindResource(m_programFile, TestNameResource);
    if (!name)
        return false;
    const qsizetype zero = name->indexOf('\0');
    TestPath = FromAnsi(zero >= 0 ? name->left(zero) : *name);
    return decoded;
}

void TfrmMain::ShowMsg(const QString &text)
{
    ShowMessage(QMessageBox::Critical, QStringLiteral("Error"), text, this);
}

void TfrmMain::RandomizeTest()
{
    ::RandomizeTest(TestInfo, Questions, AskedCount, [this](const QString &t) { ShowMsg(t); });
}

void TfrmMain::RandomizeVariants()
{
    ::RandomizeVariants(Questions, [this](const QString &t) { ShowMsg(t); });
}

QImage TfrmMain::BackgroundTile(bool sixteenColours)
{
    QImage img(TileWidth, TileHeight, QImage::Format_RGB32);
    const QColor base = sixteenColours ? QColor(192, 192, 192) : QColor(205, 214, 228);
    const QColor line = sixteenColours ? QColor(128, 128, 128) : QColor(184, 195, 213);
    const QColor light = sixteenColours ? QColor(255, 255, 255) : QColor(222, 229, 239);
    img.fill(base);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, !sixteenColours);
    // Card edges: the right and bottom lines of each tile form a grid once tiled.
    p.setPen(light);
    p.drawLine(0, 0, TileWidth - 2, 0);
    p.drawLine(0, 0, 0, TileHeight - 2);
    p.setPen(line);
    p.drawLine(0, TileHeight - 1, TileWidth - 1, TileHeight - 1);
    p.drawLine(TileWidth - 1, 0, TileWidth - 1, TileHeight - 1);
    // A faint ticked box in the middle of each card.
    const QRectF box(TileWidth / 2.0 - 14, TileHeight / 2.0 - 14, 28, 28);
    p.setPen(QPen(line, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 4, 4);
    QPainterPath tick;
    tick.moveTo(box.left() + 7, box.center().y());
    tick.lineTo(box.left() + 12, box.bottom() - 8);
    tick.lineTo(box.right() - 6, box.top() + 7);
    p.setPen(QPen(line, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.end();
    if (sixteenColours)
        return img.convertToFormat(QImage::Format_Indexed8, SixteenColourTable(), Qt::ThresholdDither);
    return img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

bool TfrmMain::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(e);
}

void TfrmMain::showEvent(QShowEvent *e)
{
    TfrmSplash::CloseSplash();
    QWidget::showEvent(e);
}

void TfrmMain::FormActivate()
{
    if (!StartPending || !TestLoaded)
        return;
    StartPending = false;
    // Queued, so the run's modal windows do not nest inside the activation event.
    QTimer::singleShot(0, this, [this] {
        if (m_run)
            m_run->Start(m_resume.get());
        close();
        QCoreApplication::quit();
    });
}

void TfrmMain::FormDestroy()
{
    m_run.reset();
    m_journal.reset();
    Questions.clear();
    TestInfo = TTestInfo::StartingValues();
    QeClock::Sleep(DestroyPauseMs);
    QCoreApplication::processEvents();
    QeClock::Sleep(DestroyPauseMs);
}
