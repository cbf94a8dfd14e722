#include "fMain.h"

#include "AnswersJournal.h"
#include "ui_fMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include "ClipboardCommands.h"
#include "Clock.h"
#include "EditorIcons.h"
#include "ConfigLocation.h"
#include "ExportExeCommand.h"
#include "PreviewCommand.h"
#include "ExportWordCommand.h"
#include "InterchangeCommands.h"
#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "PrefsAutosave.h"
#include "RecoveryCommands.h"
#include "SaveTargetDialog.h"
#include "TestFileFormat.h"
#include "fAbout.h"
#include "fEnterPass.h"
#include "fInfo.h"
#include "fPrgSettings.h"
#include "fQuestionTitle.h"
#include "fResults.h"
#include "fSplash.h"
#include "fTestSettings.h"

namespace {
const QString SplashTitle = QStringLiteral("Редактор тестов");
constexpr int SplashInfoX = 8;
constexpr int SplashInfoY = 102;
constexpr int ProgressGap = 20;
constexpr int ProgressTop = 2;
const char *const PasswordReplyVar = "QE_PASSWORD_REPLY";
const char *const SettingsVar = "QE_EDITOR_SETTINGS";

QList<QRect> ScreenAreas()
{
    QList<QRect> areas;
    for (QScreen *s : QGuiApplication::screens())
        areas.append(s->availableGeometry());
    return areas;
}

// Commands whose behaviour comes with later work on the editor: present, disabled.
const char *const LaterCommands[] = {
    "actEditPasteSpecial",
};

QString RussianButtonText(QMessageBox::StandardButton b)
{
    switch (b) {
    case QMessageBox::Yes: return QStringLiteral("&Да");
    case QMessageBox::No: return QStringLiteral("&Нет");
    case QMessageBox::Cancel: return QStringLiteral("Отмена");
    case QMessageBox::Ok: return QStringLiteral("OK");
    default: return QString();
    }
}
}  // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::TfrmMain), m_doc(new TQuizDocument(this))
{
    ui->setupUi(this);
    setWindowIcon(EditorIcons::ProgramIcon());
    ui->vstQTree->setModel(m_doc->model());
    ui->vstQTree->setToolTipDuration(HintTimeMs);
    ui->vstQTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui->vstQTree->installEventFilter(this);
    ui->panMain2->setDocument(m_doc);
    ui->splMain->setStretchFactor(0, 0);
    ui->splMain->setStretchFactor(1, 1);
    ui->splMain->setSizes({220, DesignWidth - 220});
    m_doc->model()->setBaseFont(ui->vstQTree->font());
    statusBar()->setSizeGripEnabled(true);

    m_info = new TfrmInfo(this);
    m_about = new TfrmAbout(this);
    m_pass = new TfrmPass(this);

    SetUpActions();
    SetUpMenus();
    ConnectParts();
    SetUpRecovery();
    qApp->installEventFilter(this);

    PasswordInput = [this](const QString &label) { return AskPassword(label); };
    FileNameInput = [this](bool save, const QString &dir, const QString &name) {
        return AskFileName(save, dir, name);
    };
    SInfo(QString());
}

TfrmMain::~TfrmMain()
{
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    // The pane must not hold a record of the list while the list goes.
    {
        TUpdateLockGuard lock(*m_doc);
        ui->panMain2->UpdateView(nullptr);
        m_current = m_previous = nullptr;
    }
    delete ui;
}

TQuestionListModel *TfrmMain::Model() const { return m_doc->model(); }
TQuestionPane *TfrmMain::Pane() const { return ui->panMain2; }
QListView *TfrmMain::QTree() const { return ui->vstQTree; }

int TfrmMain::CurrentRow() const
{
    return m_current ? Model()->rowOf(m_current) : -1;
}

QAction *TfrmMain::Action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

// ---- set-up -----------------------------------------------------------------

void TfrmMain::SetUpActions()
{
    // The formatting commands take over the window's actions of their names.
    m_format = new TFormatCommands(this);
    ui->TBToolbarFormat->insertWidget(ui->actFormatFontBold, m_format->cbFont());
    ui->TBToolbarFormat->insertWidget(ui->actFormatFontBold, m_format->cbFontSize());
    ui->TBToolbarFormat->insertSeparator(ui->actFormatFontBold);
    m_format->SetMenus(ui->mnuFormat, ui->mnuInsert);
    m_format->SetQuestionText(Pane()->questionText());
    m_format->SetDocument(m_doc);
    m_format->TextAttr = &TextAttr;
    m_format->RebuildDefaultContent = [this] { Pane()->CreateDefContent(TextAttr); };
    m_format->OtherSelectedQuestions = [this] {
        QList<TNQuestion *> out;
        QModelIndexList rows = ui->vstQTree->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
        for (const QModelIndex &i : rows)
            if (i.row() != CurrentRow())
                out.append(Model()->record(i.row()).Question.get());
        return out;
    };
    m_format->StatusInfo = [this](const QString &text) { SInfo(text); };
    m_format->WaitCursor = [this](bool wait) { wait ? CursorWait() : CursorDefault(); };
    connect(m_format, &TFormatCommands::buttonsStateWanted, this, &TfrmMain::ButtonsState);
    connect(ui->mnuFormat, &QMenu::aboutToShow, this, [this] {
        // The menu bar may hold the focus itself (opened again after Esc): the
        // editor the commands act on is the last one that had it.
        QWidget *f = m_activeControl;
        const bool rich = f && (f == Pane()->questionText() || f == Pane()->questionComment());
        QModelIndexList rows = ui->vstQTree->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
        m_format->FormatMenuOpening(rich, rows.size() > 1 || (!rows.isEmpty() && rows.first().row() != CurrentRow()));
    });
    for (QAction *a : findChildren<QAction *>()) {
        if (!a->objectName().startsWith(QLatin1String("act")))
            continue;
        const QIcon icon = EditorIcons::ForAction(a->objectName());
        if (!icon.isNull())
            a->setIcon(icon);
        // Menus show the shortcut; the status bar shows the hint.
        a->setShortcutContext(Qt::WindowShortcut);
    }
    // Ctrl+Y as on Windows, Ctrl+Shift+Z as the editors know it here.
    ui->actEditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    ui->actEditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    for (const char *name : LaterCommands)
        if (QAction *a = Action(name)) {
            a->setEnabled(false);
            m_laterCommands.append(a);
        }
    // The list's clipboard comes later; the editors' own cut, copy and paste work.
    for (QAction *a : {ui->actEditUndo, ui->actEditRedo, ui->actEditCut, ui->actEditCopy, ui->actEditPaste})
        a->setEnabled(false);
    SetFormatActionsState(false);

    connect(ui->actFileNew, &QAction::triggered, this, [this] {
        if (CheckSaved())
            NewTest();
    });
    connect(ui->actFileOpen, &QAction::triggered, this, [this] {
        OpenFile();
        ButtonsState();
    });
    connect(ui->actFileSave, &QAction::triggered, this, [this] { SaveFile(); });
    connect(ui->actFileSaveAs, &QAction::triggered, this, [this] { SaveFileAs(); });
    // Created once and reused; every use loads it from the header afresh.
    auto *settings = new TfrmTestSettings(this);
    connect(ui->actFileParameters, &QAction::triggered, this, [this, settings] {
        UpdateData();
        settings->Load(m_doc->header(), PrepareTestSettings(*m_doc));
        if (settings->exec() != QDialog::Accepted)
            return;
        ApplyTestSettings(m_doc->header(), settings->Values());
        SetModified(true);
    });
    auto *exportExe = new TExportExeCommand(*this);
    connect(ui->actFileExportExe, &QAction::triggered, exportExe, &TExportExeCommand::Execute);
    new TPreviewCommand(*this);
    auto *exportWord = new TExportWordCommand(*this);
    connect(ui->actFileExportWord, &QAction::triggered, exportWord, &TExportWordCommand::Execute);
    new TInterchangeCommands(*this);
    connect(ui->actFileExit, &QAction::triggered, this, &QWidget::close);

    connect(ui->actEditUndo, &QAction::triggered, this, &TfrmMain::actEditUndoExecute);
    connect(ui->actEditRedo, &QAction::triggered, this, &TfrmMain::actEditRedoExecute);
    connect(ui->actEditSelectAll, &QAction::triggered, this, &TfrmMain::actEditSelectAllExecute);
    connect(ui->actEditDelete, &QAction::triggered, this, &TfrmMain::actEditDeleteExecute);
    m_clip = new TClipboardCommands(*this);
    connect(ui->actEditCut, &QAction::triggered, m_clip, &TClipboardCommands::Cut);
    connect(ui->actEditCopy, &QAction::triggered, m_clip, &TClipboardCommands::Copy);
    connect(ui->actEditPaste, &QAction::triggered, m_clip, &TClipboardCommands::Paste);
    connect(ui->actEditPasteSpecial, &QAction::triggered, m_clip, &TClipboardCommands::PasteSpecial);
    connect(ui->actEditAddQuestion, &QAction::triggered, this, &TfrmMain::AddQuestion);
    connect(ui->actEditDeleteQuestions, &QAction::triggered, this, &TfrmMain::actEditDeleteQuestionsExecute);
    connect(ui->actEditAddComment, &QAction::triggered, this, &TfrmMain::actEditAddCommentExecute);
    connect(ui->actEditDeleteComment, &QAction::triggered, this, &TfrmMain::actEditDeleteCommentExecute);
    connect(ui->actEditQTitle, &QAction::triggered, this, &TfrmMain::actEditQTitleExecute);
    connect(ui->actHelpAbout, &QAction::triggered, this, &TfrmMain::actHelpAboutExecute);

    ui->actViewToolBarStandart->setChecked(true);
    ui->actViewToolBarFormat->setChecked(true);
    ui->actViewToolBarStatus->setChecked(true);
    connect(ui->actViewToolBarStandart, &QAction::toggled, ui->TBToolBarStandart, &QWidget::setVisible);
    connect(ui->actViewToolBarFormat, &QAction::toggled, ui->TBToolbarFormat, &QWidget::setVisible);
    connect(ui->actViewToolBarStatus, &QAction::toggled, ui->StatusBar, &QWidget::setVisible);
    // A bar closed from its own menu turns its command off.
    connect(ui->TBToolBarStandart, &QToolBar::visibilityChanged, this, [this](bool v) {
        if (isVisible())
            ui->actViewToolBarStandart->setChecked(v);
    });
    connect(ui->TBToolbarFormat, &QToolBar::visibilityChanged, this, [this](bool v) {
        if (isVisible())
            ui->actViewToolBarFormat->setChecked(v);
    });
    // The two bars close with a button of their own; the menu bar has none.
    Prefs::AddCloseButton(ui->TBToolBarStandart);
    Prefs::AddCloseButton(ui->TBToolbarFormat);
    for (QToolBar *bar : {ui->TBToolBarStandart, ui->TBToolbarFormat})
        bar->setAllowedAreas(Qt::TopToolBarArea | Qt::LeftToolBarArea | Qt::RightToolBarArea);
    connect(ui->actServiceParameters, &QAction::triggered, this, &TfrmMain::actServiceParametersExecute);
    connect(ui->actServiceResults, &QAction::triggered, this, [this] {
        if (TfrmResults *w = TfrmResults::ChooseAndShow(this, &TfrmMain::OpenSettings))
            w->OpenInEditor = [this](const QString &path, int position, const QString &hash) {
                OpenAtQuestion(path, position, hash);
            };
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TfrmMain::DockContextMenu);
}

void TfrmMain::SetUpMenus()
{
    m_treeMenu = new QMenu(this);
    m_treeMenu->setObjectName(QStringLiteral("pmQTree"));
    m_treeMenu->addActions({ui->actEditCut, ui->actEditCopy, ui->actEditPaste});
    m_treeMenu->addSeparator();
    m_treeMenu->addActions({ui->actEditAddQuestion, ui->actEditDeleteQuestions});
    m_treeMenu->addSeparator();
    m_treeMenu->addActions({ui->actEditQTitle, ui->actEditAddComment, ui->actEditDeleteComment});

    m_richMenu = new QMenu(this);
    m_richMenu->setObjectName(QStringLiteral("pmRichEdit"));
    m_richMenu->addActions({ui->actEditUndo, ui->actEditRedo});
    m_richMenu->addSeparator();
    m_richMenu->addActions({ui->actEditCut, ui->actEditCopy, ui->actEditPaste, ui->actEditPasteSpecial,
                            ui->actEditDelete});
    m_richMenu->addSeparator();
    QAction *insertObject = m_richMenu->addAction(ui->actInsertInsertObject->icon(),
                                                  QStringLiteral("Вставить об&ъект..."));
    insertObject->setObjectName(QStringLiteral("actRichInsertObject"));
    insertObject->setStatusTip(ui->actInsertInsertObject->statusTip());
    insertObject->setEnabled(ui->actInsertInsertObject->isEnabled());
    connect(ui->actInsertInsertObject, &QAction::changed, insertObject,
            [insertObject, this] { insertObject->setEnabled(ui->actInsertInsertObject->isEnabled()); });
    connect(insertObject, &QAction::triggered, ui->actInsertInsertObject, &QAction::trigger);
    m_richMenu->addSeparator();
    m_richMenu->addAction(ui->actEditSelectAll);

    connect(ui->vstQTree, &QWidget::customContextMenuRequested, this, &TfrmMain::QTreeContextMenu);
    for (QWidget *re : {static_cast<QWidget *>(Pane()->questionText()), static_cast<QWidget *>(Pane()->questionComment())}) {
        re->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(re, &QWidget::customContextMenuRequested, this, &TfrmMain::RichContextMenu);
    }
}

void TfrmMain::SetUpRecovery()
{
    m_recovery = new TRecoveryCommands(
        *m_doc, *Pane(),
        TRecoveryHost{[this] { UpdateData(); },
                      [this](const std::function<TOpenResult(const TReadOptions &)> &read) { return RunRead(read); },
                      [this] { return CheckSaved(); },
                      [this](const QString &caption, const QString &text, QMessageBox::StandardButtons buttons,
                             QMessageBox::Icon icon) { return ShowMsg2(caption, text, buttons, icon); },
                      [this](const QString &text) { SInfo(text); }},
        this);
    m_autosave = new TPrefsAutosave(this, [this] {
        CollectSettings();
        Prefs::SaveSettings(*OpenSettings(), m_prefs);
        PrefFlags = m_prefs.PrefFlags;
    });
    for (QObject *o : std::initializer_list<QObject *>{this, ui->TBToolBarStandart, ui->TBToolbarFormat, ui->StatusBar})
        m_autosave->Watch(o);
    for (QSplitter *s : {ui->splMain, Pane()->findChild<QSplitter *>(QStringLiteral("splQuestion"))})
        connect(s, &QSplitter::splitterMoved, m_autosave, &TPrefsAutosave::Changed);
}

void TfrmMain::ConnectParts()
{
    connect(m_doc, &TQuizDocument::propChanged, this, &TfrmMain::TestPropChanged);
    connect(m_doc, &TQuizDocument::documentReplaced, this, &TfrmMain::DocumentReplaced);
    connect(ui->vstQTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) { QTreeCurrentChanged(current); });
    connect(ui->vstQTree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_doc->isLocked() && QTreeHasFocus())
            ButtonsState();
    });
    TQuestionPane *pane = Pane();
    connect(pane, &TQuestionPane::questionEdited, this, &TfrmMain::QuestionEdited);
    connect(pane, &TQuestionPane::editorFocused, this, [this] { ActiveControlChange(QApplication::focusWidget()); });
    connect(pane, &TQuestionPane::editorStateChanged, this, &TfrmMain::ButtonsState);
    connect(pane, &TQuestionPane::rowNeedsRepaint, this, [this](TNodeRecord *rec) { Model()->rowChanged(rec); });
    connect(pane, &TQuestionPane::statusInfo, this, &TfrmMain::SInfo);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now == ui->vstQTree && !m_doc->isLocked())
            ActiveControlChange(now);
    });
}

// ---- start-up and shut-down ---------------------------------------------------

QString TfrmMain::ConfigPath()
{
    return ConfigLocation::Find(QCoreApplication::applicationDirPath());
}

TfrmMain::TStartArgs TfrmMain::StartArguments(const QStringList &args)
{
    TStartArgs start;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--question") || a == QLatin1String("--question-hash")) {
            // The value is never the test, even when it is missing or odd.
            const QString value = args.value(++i);
            if (a == QLatin1String("--question")) {
                bool ok = false;
                const int n = value.toInt(&ok);
                start.Question = ok && n > 0 ? n : 0;
            } else {
                start.Hash = value;
            }
        } else if (!a.startsWith(u'-') && start.File.isEmpty()) {
            start.File = a;
        }
    }
    return start;
}

int TfrmMain::RunProgram()
{
    auto *splash = new TfrmSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();

    int rc = 1;
    {
        TfrmMain frmMain;
        frmMain.QuitOnEnd = true;
        const TStartArgs start = StartArguments(QCoreApplication::arguments());
        if (!start.File.isEmpty())
            frmMain.SetStartFile(start.File);
        if (start.Question > 0)
            frmMain.SetStartQuestion(start.Question, start.Hash);
        if (frmMain.FormCreate(ConfigPath())) {
            frmMain.ShowCentred();
            rc = QApplication::exec();
            if (frmMain.isEnding())
                rc = frmMain.exitCode();
        }
    }
    delete TfrmSplash::Instance();
    return rc;
}

bool TfrmMain::FormCreate(const QString &configPath)
{
    if (TfrmSplash *splash = TfrmSplash::Instance())
        splash->ShowInfo(SplashTitle, SplashInfoX, SplashInfoY);
    QeClock::SeedRandom(quint64(QDateTime::currentMSecsSinceEpoch()) * 6364136223846793005ULL
                        ^ quint64(QCoreApplication::applicationPid()));
    m_templatesDir = QDir::currentPath() + u'/' + QStringLiteral("Шаблоны") + u'/';
    m_config = TKMQuizEngineConfig();

    try {
        TUpdateLockGuard lock(*m_doc);
        m_format->GetFontNames();
        LoadSettings();
        Model()->setBoldFocused(PrefFlags & pfBoldFocused);
        Pane()->CreateDefContent(TextAttr);
        Pane()->CreateDefContent2(TextAttr);
        SetFormatActionsState(false);
        QeClock::Sleep(SplashPauseMs);
    } catch (const EQuizError &e) {
        ShowError(MainTexts::StartupFailed + e.message());
        EndProgram(1);
        return false;
    } catch (const std::exception &e) {
        ShowError(MainTexts::StartupFailed + QString::fromLocal8Bit(e.what()));
        EndProgram(1);
        return false;
    }
    NewTest();

    bool read = false;
    try {
        read = m_config.LoadFromFile(configPath);
    } catch (const std::exception &) {
        read = false;
    }
    if (!read) {
        ShowError(MainTexts::ConfigReadFailed + ConfigFileName);
        EndProgram(1);
        return false;
    }
    return true;
}

void TfrmMain::ShowCentred()
{
    resize(DesignWidth, DesignHeight);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    // Stored bounds, each where present, over the design place.
    if (m_prefs.MainLeft || m_prefs.MainTop || m_prefs.MainWidth || m_prefs.MainHeight) {
        QRect r(pos(), size());
        if (m_prefs.MainLeft)
            r.moveLeft(*m_prefs.MainLeft);
        if (m_prefs.MainTop)
            r.moveTop(*m_prefs.MainTop);
        if (m_prefs.MainWidth)
            r.setWidth(*m_prefs.MainWidth);
        if (m_prefs.MainHeight)
            r.setHeight(*m_prefs.MainHeight);
        r = Prefs::UsableBounds(r, ScreenAreas(), minimumSizeHint().boundedTo(QSize(DesignWidth, DesignHeight)),
                                QSize(DesignWidth, DesignHeight));
        resize(r.size());
        move(r.topLeft());
    }
    show();
    activateWindow();
}

void TfrmMain::showEvent(QShowEvent *e)
{
    TfrmSplash::CloseSplash();
    QMainWindow::showEvent(e);
}

bool TfrmMain::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        if (m_firstActivation) {
            m_firstActivation = false;
            // Queued, so the password dialog does not nest inside the activation.
            QTimer::singleShot(0, this, &TfrmMain::FormActivate);
        }
        break;
    case QEvent::StatusTip:
        SInfo(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    default:
        break;
    }
    return QMainWindow::event(e);
}

void TfrmMain::ShowFloatingBars()
{
    // A floating bar restored before this window had a native window of its
    // own belongs to no window: the window manager then puts the maximised
    // window over it. Shown again now, it is this window's, above it.
    for (QToolBar *bar : {ui->TBToolBarStandart, ui->TBToolbarFormat}) {
        if (!bar->isFloating() || bar->isHidden())
            continue;
        const QSize hint = bar->sizeHint();
        const QRect r = Prefs::UsableBounds(bar->geometry(), ScreenAreas(), hint, hint);
        bar->hide();
        if (QWindow *w = bar->windowHandle())
            w->setTransientParent(windowHandle());
        bar->move(r.topLeft());
        bar->show();
        bar->raise();
    }
}

void TfrmMain::FormActivate()
{
    if (m_ending)
        return;
    if (PrefFlags & pfMaximize) {
        PrefFlags &= quint8(~pfMaximize);
        showMaximized();
    }
    ShowFloatingBars();
    const std::optional<QString> typed = PasswordInput ? PasswordInput(MainTexts::AccessPasswordLabel) : std::nullopt;
    if (!typed) {
        EndProgram(0);
        return;
    }
    if (*typed != m_config.AccessPassword) {
        ShowError(DocTexts::WrongPassword);
        EndProgram(1);
        return;
    }
    m_working = true;
    m_autosave->SetEnabled(true);
    ButtonsState();
    if (!m_startFile.isEmpty()) {
        const QString path = m_startFile;
        m_startFile.clear();
        const bool read = RunRead([this, path](const TReadOptions &o) { return m_doc->OpenFile(path, o); });
        RebuildRecentMenu();
        if (read && m_startQuestion > 0)
            GoToQuestion(m_startQuestion, m_startHash);
    }
    m_recovery->OfferRecovery();
}

void TfrmMain::EndProgram(int code)
{
    m_ending = true;
    m_exitCode = code;
    if (isVisible())
        close();
    if (QuitOnEnd)
        QCoreApplication::exit(code);
}

void TfrmMain::closeEvent(QCloseEvent *e)
{
    if (m_closed) {
        e->accept();
        return;
    }
    // FormCloseQuery: an ending program asks nothing.
    if (!m_ending && !CheckSaved()) {
        e->ignore();
        return;
    }
    m_closed = true;
    FormClose();
    e->accept();
}

void TfrmMain::FormClose()
{
    // Taken while the window still shows it all.
    CollectSettings();
    m_clip->LeaveViewerChain();
    const std::optional<bool> keepClipboard = m_clip->AskKeep();
    hide();
    Pane()->stopUpdateTimer();
    if (m_working)
        m_info->ShowInfo(MainTexts::ClosingCaption, MainTexts::ClosingText, MainTexts::ClosingInfoHeight);
    m_autosave->SetEnabled(false);
    SaveSettings();
    m_recovery->Closing();
    {
        TUpdateLockGuard lock(*m_doc);
        if (keepClipboard)
            m_clip->Settle(*keepClipboard);
        m_current = m_previous = nullptr;
        Pane()->UpdateView(nullptr);
        Model()->clear();
    }
    m_info->hide();
    if (QuitOnEnd && !m_ending)
        QCoreApplication::exit(0);
}

std::optional<QString> TfrmMain::AskPassword(const QString &label)
{
    if (qEnvironmentVariableIsSet(PasswordReplyVar)) {
        // For tests of the whole program: the reply as if typed, empty as if cancelled.
        const QString reply = qEnvironmentVariable(PasswordReplyVar);
        if (reply.isEmpty())
            return std::nullopt;
        return reply;
    }
    m_pass->SetLabel(label);
    return m_pass->Ask();
}

QString TfrmMain::AskFileName(bool save, const QString &dir, const QString &name)
{
    QFileDialog dlg(this, save ? QStringLiteral("Сохранить тест") : QStringLiteral("Открыть тест"));
    dlg.setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
    dlg.setNameFilter(DocTexts::FileFilter);
    dlg.setDefaultSuffix(DocTexts::DialogDefaultSuffix);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    if (save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // SaveFileAs asks about the file it writes (".qe2"), not the name typed.
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
    }
    if (!dir.isEmpty())
        dlg.setDirectory(dir);
    if (!name.isEmpty())
        dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().constFirst();
}

// ---- window operations ------------------------------------------------------

void TfrmMain::SetModified(bool value)
{
    m_doc->SetModified(value);
}

void TfrmMain::TestPropChanged()
{
    // The application's title is the same text. It is kept apart from Qt's display
    // name, which the desktop would append to every dialog's title.
    m_applicationTitle = m_doc->caption();
    setWindowTitle(m_applicationTitle);
}

void TfrmMain::SInfo(const QString &text)
{
    statusBar()->showMessage(u' ' + text);
}

QString TfrmMain::StatusText() const
{
    return statusBar()->currentMessage();
}

void TfrmMain::ShowMsg(const QString &text)
{
    ShowMessage(QMessageBox::Critical, QStringLiteral("Error"), text, this);
}

QMessageBox::StandardButton TfrmMain::ShowMsg2(const QString &caption, const QString &text,
                                               QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)
{
    if (QuestionInput)
        return QuestionInput(caption, text, buttons, icon);
    if (AppendToMessageLog(caption, text)) {
        // A headless run declines: nothing is saved or deleted unasked.
        if (buttons & QMessageBox::No)
            return QMessageBox::No;
        return (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok;
    }
    TfrmSplash::CloseSplash();
    QMessageBox box(icon, caption, DisplayText(text), buttons, isVisible() ? this : nullptr);
    for (QMessageBox::StandardButton b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok})
        if (QAbstractButton *btn = box.button(b))
            btn->setText(RussianButtonText(b));
    return QMessageBox::StandardButton(box.exec());
}

void TfrmMain::CursorWait()
{
    const QCursor *c = QApplication::overrideCursor();
    if (c && c->shape() == Qt::WaitCursor)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_waitCursors;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::CursorDefault()
{
    while (m_waitCursors > 0) {
        QApplication::restoreOverrideCursor();
        --m_waitCursors;
    }
}

void TfrmMain::CreateProgressBar()
{
    DeleteProgressBar();
    QStatusBar *bar = statusBar();
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    const int left = ProgressGap + bar->fontMetrics().horizontalAdvance(StatusText());
    m_progress->setGeometry(left, ProgressTop, qMax(0, bar->width() - left), qMax(4, bar->height() - 2 * ProgressTop));
    m_progress->show();
    m_progress->repaint();
}

void TfrmMain::SetProgress(int percent)
{
    if (!m_progress)
        return;
    m_progress->setValue(percent);
    m_progress->repaint();
}

void TfrmMain::DeleteProgressBar()
{
    delete m_progress;
    m_progress = nullptr;
}

// ---- documents --------------------------------------------------------------

void TfrmMain::NewTest()
{
    m_clip->SettleBeforeEmptying();
    SInfo(DocTexts::StatusFreeing);
    m_doc->NewTest();
    SInfo(QString());
    TestPropChanged();
    ButtonsState();
}

void TfrmMain::DocumentReplaced()
{
    // The records the pane and the focus pointed at are gone.
    TUpdateLockGuard lock(*m_doc);
    m_current = m_previous = nullptr;
    Model()->setFocusedRow(-1);
    ui->vstQTree->selectionModel()->clear();
    Pane()->UpdateView(nullptr);
}

bool TfrmMain::RunRead(const std::function<TOpenResult(const TReadOptions &)> &read)
{
    SInfo(DocTexts::StatusReading);
    CursorWait();
    TReadOptions options;
    options.AskPassword = [this]() {
        CursorDefault();
        std::optional<QString> typed = PasswordInput ? PasswordInput(DocTexts::TestPasswordLabel) : std::nullopt;
        CursorWait();
        return typed;
    };
    options.ReadingQuestions = [this]() {
        m_clip->SettleBeforeEmptying();
        SInfo(DocTexts::StatusReading);
        CreateProgressBar();
    };
    options.Progress = [this](int percent) { SetProgress(percent); };
    options.TakePartialQuestions = true;

    ui->vstQTree->setUpdatesEnabled(false);
    const TOpenResult r = read(options);
    if (r.Replaced)
        m_recovery->Remember();
    ui->vstQTree->setUpdatesEnabled(true);
    DeleteProgressBar();
    CursorDefault();
    if (!r.Message.isEmpty()) {
        if (r.Status == TOpenResult::WrongPassword || r.Status == TOpenResult::FileNotFound)
            ShowError(r.Message);
        else
            ShowMsg(r.Message);
    }
    if (r.Replaced && Model()->count() > 0)
        FocusRow(0);
    TestPropChanged();
    SInfo(QString());
    ButtonsState();
    return r.ok();
}

bool TfrmMain::ReadTestFromFile(const QString &path)
{
    return RunRead([this, path](const TReadOptions &o) { return m_doc->ReadTestFromFile(path, o); });
}

bool TfrmMain::OpenFile()
{
    if (!CheckSaved())
        return false;
    const QString path = FileNameInput ? FileNameInput(false, m_doc->openDirectory(), QString()) : QString();
    if (path.isEmpty())
        return false;
    const bool ok = RunRead([this, path](const TReadOptions &o) { return m_doc->OpenFile(path, o); });
    RebuildRecentMenu();
    return ok;
}

void TfrmMain::OpenAtQuestion(const QString &path, int position, const QString &textHash)
{
    if (!m_working)
        return;
    if (!m_doc->isCurrentFile(QFileInfo(path).absoluteFilePath()) && !m_doc->isCurrentFile(path)) {
        if (!CheckSaved())
            return;
        if (!RunRead([this, path](const TReadOptions &o) { return m_doc->OpenFile(path, o); }))
            return;
        RebuildRecentMenu();
    }
    GoToQuestion(position, textHash);
    raise();
    activateWindow();
}

void TfrmMain::GoToQuestion(int position, const QString &textHash)
{
    const int count = Model()->count();
    const auto same = [&](int row) {
        return textHash.isEmpty() || AnswersJournal::QuestionTextHash(Model()->question(row)) == textHash;
    };
    int row = position - 1;
    if (row < 0 || row >= count || !same(row)) {
        int found = -1;
        for (int r = 0; r < count && found < 0; ++r)
            if (same(r))
                found = r;
        if (found >= 0) {
            SInfo(QStringLiteral("Вопрос №%1 теперь стоит под №%2").arg(position).arg(found + 1));
            row = found;
        } else {
            ShowMsg2(QStringLiteral("Внимание!"),
                     QStringLiteral("Вопрос №%1 изменен после тестирования: его текст не тот, что видели ученики.")
                         .arg(position),
                     QMessageBox::Ok, QMessageBox::Warning);
        }
    }
    if (row >= 0 && row < count)
        FocusRow(row);
}

void TfrmMain::OpenRecentFile(const QString &path)
{
    if (m_doc->isCurrentFile(path))
        return;
    if (!CheckSaved())
        return;
    RunRead([this, path](const TReadOptions &o) { return m_doc->OpenRecentFile(path, o); });
    RebuildRecentMenu();
}

void TfrmMain::RebuildRecentMenu()
{
    for (QAction *a : std::as_const(m_recentActions)) {
        ui->mnuFile->removeAction(a);
        delete a;
    }
    m_recentActions.clear();
    const QStringList items = m_doc->recentFiles().items();
    for (int i = 0; i < items.size(); ++i) {
        const QString path = items.at(i);
        auto *a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)), this);
        a->setObjectName(QStringLiteral("actMRU%1").arg(i + 1));
        a->setStatusTip(path);
        connect(a, &QAction::triggered, this, [this, path] { OpenRecentFile(path); });
        ui->mnuFile->insertAction(ui->actFileMRUAnchor, a);
        m_recentActions.append(a);
    }
    if (m_autosave)
        m_autosave->Changed();
}

bool TfrmMain::SaveFile()
{
    if (m_doc->isUntitled())
        return SaveFileAs();
    switch (m_recovery->CheckOverwrite()) {
    case TRecoveryCommands::TOverwrite::Cancel: return false;
    case TRecoveryCommands::TOverwrite::SaveAs: return SaveFileAs();
    case TRecoveryCommands::TOverwrite::Save: break;
    }
    return SaveTestToFile(m_doc->path(), false);
}

bool TfrmMain::SaveFileAs()
{
    const QString path = ChooseSaveTarget(
        *this, m_doc->saveDirectory(), m_doc->testName(),
        [this](const QString &dir, const QString &name) { return FileNameInput ? FileNameInput(true, dir, name) : QString(); },
        [](const QString &chosen) { return TQuizDocument::WithTestExtension(QFileInfo(chosen).absoluteFilePath()); });
    if (path.isEmpty())
        return false;
    return SaveTestToFile(path, true);
}

bool TfrmMain::SaveTestToFile(const QString &path, bool newName)
{
    UpdateData();
    SInfo(DocTexts::StatusSaving);
    CreateProgressBar();
    CursorWait();
    m_info->ShowInfo(DocTexts::SaveInfoCaption, DocTexts::SaveInfoText);
    const TProgress progress = [this](int percent) { SetProgress(percent); };
    const TSaveResult r = newName ? m_doc->SaveTestAs(path, progress) : m_doc->SaveTestToFile(path, progress);
    m_info->hide();
    DeleteProgressBar();
    CursorDefault();
    SInfo(QString());
    if (!r.Ok)
        ShowMsg(r.Message);
    else
        m_recovery->Remember();
    if (r.Ok && newName)
        RebuildRecentMenu();
    TestPropChanged();
    if (!CheckTest())
        ShowWarning(DocTexts::FaultyQuestions);
    return r.Ok;
}

bool TfrmMain::CheckSaved()
{
    // Edits typed in the last half second count as changes too; the editors'
    // own modified states stay set after a save, so only pending ones are taken.
    if (Pane()->updateTimer()->isActive()) {
        Pane()->stopUpdateTimer();
        QuestionEdited();
    }
    if (!m_doc->isModified())
        return true;
    switch (ShowMsg2(DocTexts::QuestionCaption, DocTexts::AskSave,
                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Warning)) {
    case QMessageBox::Yes: return SaveFile();
    case QMessageBox::No: return true;
    default: return false;
    }
}

bool TfrmMain::CheckTest()
{
    return m_doc->CheckTest().Passed;
}

void TfrmMain::CalcIQCount()
{
    m_doc->CalcIQCount();
}

// ---- the question list --------------------------------------------------------

void TfrmMain::UpdateData()
{
    // The flush takes what the pending timer would, and later than the save it must not.
    Pane()->stopUpdateTimer();
    if (m_clip)
        m_clip->CurrentQuestionFlushing();
    if (m_current && Model()->rowOf(m_current) >= 0 && Pane()->UpdateData(m_current))
        Model()->rowChanged(m_current);
}

void TfrmMain::QTreeCurrentChanged(const QModelIndex &current)
{
    if (m_doc->isLocked())
        return;
    // The question being left takes its edits first.
    UpdateData();
    const int row = current.isValid() ? current.row() : -1;
    m_current = row >= 0 && row < Model()->count() ? &Model()->record(row) : nullptr;
    Model()->setFocusedRow(m_current ? row : -1);
    if (m_current != m_previous) {
        Pane()->UpdateView(m_current);
        ButtonsState();
    }
    m_previous = m_current;
}

void TfrmMain::FocusRow(int row)
{
    QItemSelectionModel *sel = ui->vstQTree->selectionModel();
    if (row < 0 || row >= Model()->count()) {
        sel->clear();
        QTreeCurrentChanged(QModelIndex());
        return;
    }
    const QModelIndex idx = Model()->index(row);
    // Only a row that is not wholly in view is scrolled, and then to the middle;
    // asked before the focus change, whose own scrolling brings the row to an edge.
    // Only the height counts: a row is as wide as its text.
    QListView *tree = ui->vstQTree;
    const QRect r = tree->visualRect(idx);
    const bool inView = r.isValid() && r.top() >= 0 && r.bottom() < tree->viewport()->height();
    if (sel->currentIndex() == idx) {
        sel->select(idx, QItemSelectionModel::ClearAndSelect);
        QTreeCurrentChanged(idx);
    } else {
        sel->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
    }
    if (!inView)
        tree->scrollTo(idx, QAbstractItemView::PositionAtCenter);
}

void TfrmMain::QuestionEdited()
{
    if (m_doc->isLocked() || !m_current)
        return;
    if (!Pane()->FastUpdateData(m_current))
        return;
    const int row = CurrentRow();
    if (row >= 0 && Model()->isClipMarked(row)) {
        // The copy no longer matches the question.
        if (PrefFlags & pfRecheckClipMarked)
            TQuestionListModel::CheckBadState(*m_current);
        ui->vstQTree->selectionModel()->clearSelection();
        m_clip->EmptyClipboard();
    }
    UpdateTreeView();
}

void TfrmMain::UpdateTreeView()
{
    if (m_current)
        Model()->rowChanged(m_current);
}

bool TfrmMain::RoomForQuestions(qsizetype adding, bool tellLater)
{
    const qsizetype count = Model()->count();
    if (adding <= 0 || count + adding <= qsizetype(TestFileFormat::MaxQuestions))
        return true;
    const QString text = MainTexts::TooManyQuestions.arg(TestFileFormat::MaxQuestions).arg(count).arg(adding);
    if (tellLater)
        QTimer::singleShot(0, this, [text] { ShowError(text); });
    else
        ShowError(text);
    return false;
}

void TfrmMain::AddQuestion()
{
    if (!RoomForQuestions(1))
        return;
    ui->vstQTree->setUpdatesEnabled(false);
    const int row = Model()->appendQuestion(nullptr, 0);
    SetModified(true);
    if (!m_doc->isLocked())
        FocusRow(row);
    ui->vstQTree->setUpdatesEnabled(true);
    if (!m_doc->isLocked())
        ui->vstQTree->scrollTo(Model()->index(row), QAbstractItemView::PositionAtCenter);
}

void TfrmMain::actEditDeleteQuestionsExecute()
{
    if (!m_current && !ui->vstQTree->selectionModel()->hasSelection())
        return;
    if (ShowMsg2(DocTexts::QuestionCaption, MainTexts::AskDeleteQuestions, QMessageBox::Yes | QMessageBox::No,
                 QMessageBox::Information) != QMessageBox::Yes)
        return;
    DeleteSelectedQuestions();
}

void TfrmMain::DeleteSelectedQuestions()
{
    Pane()->stopUpdateTimer();
    QItemSelectionModel *sel = ui->vstQTree->selectionModel();
    QList<int> rows;
    for (const QModelIndex &i : sel->selectedIndexes())
        rows.append(i.row());
    if (rows.isEmpty() && m_current)
        rows.append(CurrentRow());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;

    const int n = Model()->count();
    const int first = rows.constFirst();
    const int last = rows.constLast();
    const int before = first - 1;
    int target = -1;
    if (rows.size() == 1) {
        target = last + 1 < n ? last + 1 : -1;
    } else if (last + 1 < n) {
        target = last + 1;
    } else {
        int r = last - 1;
        while (r >= 0 && rows.contains(r))
            --r;
        target = (r < 0 || r == before) ? -1 : r;
    }
    // Records keep their addresses while rows around them go.
    TNodeRecord *targetRec = target >= 0 ? &Model()->record(target) : nullptr;
    TNodeRecord *beforeRec = before >= 0 ? &Model()->record(before) : nullptr;
    {
        TUpdateLockGuard lock(*m_doc);
        if (m_current && rows.contains(CurrentRow())) {
            m_current = m_previous = nullptr;
            Pane()->UpdateView(nullptr);
        }
        sel->clear();
        Model()->removeQuestions(rows);
    }
    if (TNodeRecord *focus = targetRec ? targetRec : beforeRec)
        FocusRow(Model()->rowOf(focus));
    else if (Model()->count() == 0)
        FocusRow(-1);
    SetModified(true);
    TestPropChanged();
    ButtonsState();
}

void TfrmMain::MoveQuestion(int delta)
{
    const int row = CurrentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= Model()->count())
        return;
    {
        TUpdateLockGuard lock(*m_doc);
        Model()->moveQuestion(row, to);
        const QModelIndex idx = Model()->index(to);
        ui->vstQTree->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
        Model()->setFocusedRow(to);
    }
    ui->vstQTree->scrollTo(Model()->index(to), QAbstractItemView::PositionAtCenter);
    SetModified(true);
}

bool TfrmMain::QTreeHasFocus() const
{
    return QApplication::focusWidget() == ui->vstQTree;
}

void TfrmMain::QTreeContextMenu(const QPoint &pos)
{
    const QModelIndex idx = ui->vstQTree->indexAt(pos);
    // A right click selects the row under it.
    if (idx.isValid() && !ui->vstQTree->selectionModel()->isSelected(idx))
        FocusRow(idx.row());
    ButtonsState();
    m_treeMenu->popup(ui->vstQTree->viewport()->mapToGlobal(pos));
}

void TfrmMain::RichContextMenu(const QPoint &pos)
{
    auto *w = qobject_cast<QWidget *>(sender());
    if (!w)
        return;
    ButtonsState();
    m_richMenu->popup(w->mapToGlobal(pos));
}

void TfrmMain::ActiveControlChange(QWidget *control)
{
    m_activeControl = control;
    if (m_format)
        m_format->SetActiveEditor(qobject_cast<TMJvRichEdit *>(control));
    ButtonsState();
}

void TfrmMain::SetFormatActionsState(bool enabled)
{
    if (!m_format)
        return;
    // Setting them all again costs more than the rest of a focus move's states.
    if (!enabled && m_formatActionsOff && !m_format->cbFont()->isEnabled())
        return;
    m_format->SetFormatActionsState(enabled);
    m_formatActionsOff = !enabled;
}

void TfrmMain::ButtonsState()
{
    if (m_doc->isLocked())
        return;
    TQuestionPane *pane = Pane();
    QWidget *f = QApplication::focusWidget();
    // Typing a font name or size leaves the editor that it formats in charge.
    if (m_format && m_format->IsFormatBox(f))
        f = m_activeControl;
    using E = TQuestionPane::TEditor;
    const E editor = f == pane->questionText() ? E::Text
                   : f == pane->questionComment() ? E::Comment
                   : f == pane->variants() ? E::Variants : E::None;
    if (editor == E::Text || editor == E::Comment) {
        m_format->SetActiveEditor(static_cast<TMJvRichEdit *>(f));
        m_format->MirrorSelection();
        m_formatActionsOff = false;
        ui->actEditUndo->setEnabled(pane->canUndo(editor));
        ui->actEditRedo->setEnabled(pane->canRedo(editor));
        const bool sel = pane->hasSelection(editor);
        ui->actEditCopy->setEnabled(sel);
        ui->actEditCut->setEnabled(sel);
        ui->actEditDelete->setEnabled(sel);
        ui->actEditPaste->setEnabled(pane->canPaste(editor));
    } else if (f == ui->vstQTree) {
        SetFormatActionsState(false);
        // In the list, undo takes back the last import of questions.
        auto *interchange = findChild<TInterchangeCommands *>(QString(), Qt::FindDirectChildrenOnly);
        ui->actEditUndo->setEnabled(interchange && interchange->CanUndoImport());
        ui->actEditRedo->setEnabled(false);
        ui->actEditCopy->setEnabled(m_current != nullptr);
        ui->actEditCut->setEnabled(m_current != nullptr);
        ui->actEditPaste->setEnabled(m_clip->CanPasteQuestions());
        ui->actEditDelete->setEnabled(false);
    } else if (editor == E::Variants) {
        SetFormatActionsState(false);
        ui->actEditUndo->setEnabled(pane->canUndo(editor));
        ui->actEditRedo->setEnabled(false);
        const bool sel = pane->hasSelection(editor);
        ui->actEditCopy->setEnabled(sel);
        ui->actEditCut->setEnabled(sel);
        ui->actEditDelete->setEnabled(sel);
        ui->actEditPaste->setEnabled(pane->canPaste(editor));
    } else {
        SetFormatActionsState(false);
    }
    ui->actEditPasteSpecial->setEnabled((editor == E::Text || editor == E::Comment) && ui->actEditPaste->isEnabled());
    const bool hasCurrent = m_current != nullptr;
    pane->setEnabled(hasCurrent);
    ui->actEditDeleteQuestions->setEnabled(hasCurrent);
    ui->actEditQTitle->setEnabled(hasCurrent);
    ButtonsCommentsState();
}

void TfrmMain::ButtonsCommentsState()
{
    const bool hasComment = m_current && m_current->Question && m_current->Question->Comment.has_value();
    ui->actEditDeleteComment->setEnabled(hasComment);
    ui->actEditAddComment->setEnabled(m_current && !ui->actEditDeleteComment->isEnabled());
}

// ---- commands routed by focus -------------------------------------------------

void TfrmMain::FocusLastEditor()
{
    // A shortcut pressed in a tool bar's box acts on the editor last worked in.
    if (Pane()->focusedEditor() != TQuestionPane::TEditor::None || !m_activeControl)
        return;
    QWidget *w = m_activeControl;
    if (w == Pane()->questionText() || w == Pane()->questionComment() || w == Pane()->variants())
        if (w->isVisible() && w->isEnabled())
            w->setFocus();
}

void TfrmMain::actEditUndoExecute()
{
    if (QTreeHasFocus()) {
        if (auto *interchange = findChild<TInterchangeCommands *>(QString(), Qt::FindDirectChildrenOnly))
            interchange->UndoImport();
        ButtonsState();
        return;
    }
    FocusLastEditor();
    if (!Pane()->Undo())
        ShowError(MainTexts::Unexpected);
    ButtonsState();
}

void TfrmMain::actEditRedoExecute()
{
    FocusLastEditor();
    if (!Pane()->Redo())
        ShowError(MainTexts::Unexpected);
    ButtonsState();
}

void TfrmMain::actEditSelectAllExecute()
{
    if (QTreeHasFocus()) {
        ui->vstQTree->selectAll();
        return;
    }
    if (!Pane()->SelectAll())
        ShowError(MainTexts::Unexpected);
}

void TfrmMain::actEditDeleteExecute()
{
    if (!Pane()->DeleteSelection())
        ShowError(MainTexts::Unexpected);
}

void TfrmMain::actEditAddCommentExecute()
{
    if (!m_current || m_current->Question->Comment)
        return;
    Pane()->AddComment(*m_current);
    Model()->rowChanged(m_current);
    ButtonsCommentsState();
}

void TfrmMain::actEditDeleteCommentExecute()
{
    if (!m_current || !m_current->Question->Comment)
        return;
    if (ShowMsg2(DocTexts::QuestionCaption, PaneTexts::AskDeleteComment, QMessageBox::Ok | QMessageBox::Cancel,
                 QMessageBox::Question) != QMessageBox::Ok)
        return;
    Pane()->DeleteComment(*m_current);
    Model()->rowChanged(m_current);
    ButtonsCommentsState();
}

void TfrmMain::actEditQTitleExecute()
{
    if (!m_current)
        return;
    // The title dialog shows the question as it is now.
    Pane()->FastUpdateData(m_current);
    TfrmQTitle dlg(this);
    if (dlg.Change(*m_current)) {
        Model()->rowChanged(m_current);
        SetModified(true);
    }
}

void TfrmMain::actHelpAboutExecute()
{
    m_about->Execute(TfrmSplash::ProgramVersionText());
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *e)
{
    const QEvent::Type t = e->type();
    if (t != QEvent::KeyPress && t != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, e);
    auto *ke = static_cast<QKeyEvent *>(e);
    const Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
    if (watched == ui->vstQTree && (ke->key() == Qt::Key_Up || ke->key() == Qt::Key_Down)
        && mods == Qt::AltModifier) {
        // Alt+Up/Down moves the question on the press: Alt is often let go
        // before the arrow, and the release alone would then swallow the move.
        if (t == QEvent::KeyPress && m_working)
            MoveQuestion(ke->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }
    if (t == QEvent::KeyPress && TabKey(watched, ke))
        return true;
    if (t == QEvent::KeyPress && mods == Qt::ControlModifier
        && (ke->key() == Qt::Key_PageUp || ke->key() == Qt::Key_PageDown)) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->window() == this && m_current) {
            const int to = CurrentRow() + (ke->key() == Qt::Key_PageUp ? -1 : 1);
            if (to >= 0 && to < Model()->count())
                FocusRow(to);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

bool TfrmMain::TabKey(QObject *watched, QKeyEvent *ke)
{
    const Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
    TMJvRichEdit *text = Pane()->questionText();
    TMJvRichEdit *comment = Pane()->questionComment();
    QWidget *variants = Pane()->variants();
    // Ctrl+Tab is how a tab character gets into the rich texts (aligned columns).
    if (ke->key() == Qt::Key_Tab && mods == Qt::ControlModifier) {
        if (watched != text && watched != comment)
            return false;
        auto *re = static_cast<TMJvRichEdit *>(watched);
        if (!re->isReadOnly())
            re->textCursor().insertText(QStringLiteral("\t"));
        return true;
    }
    const bool back = (ke->key() == Qt::Key_Backtab || ke->key() == Qt::Key_Tab) && mods == Qt::ShiftModifier;
    if (!back && !(ke->key() == Qt::Key_Tab && mods == Qt::NoModifier))
        return false;
    // The four parts a question is written in, in the order they are read.
    const QList<QWidget *> order{ui->vstQTree, text, comment, variants};
    const int from = order.indexOf(qobject_cast<QWidget *>(watched));
    if (from < 0)
        return false;
    for (int step = 1; step < order.size(); ++step) {
        const int i = (from + (back ? -step : step) + order.size()) % order.size();
        QWidget *w = order.at(i);
        if (w->isVisible() && w->isEnabled()) {
            w->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return true;
        }
    }
    return true;
}

// ---- preferences ------------------------------------------------------------

std::unique_ptr<QSettings> TfrmMain::OpenSettings()
{
    const QString path = qEnvironmentVariable(SettingsVar);
    if (!path.isEmpty())
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, Prefs::Organization,
                                       Prefs::Application);
}

void TfrmMain::LoadSettings()
{
    m_prefs = Prefs::LoadSettings(*OpenSettings());
    PrefFlags = m_prefs.PrefFlags;
    m_recovery->SetIntervalMinutes(m_prefs.RecoveryMinutes);
    TextAttr = m_prefs.DefaultAttributes;
    m_doc->setOpenDirectory(m_prefs.DefOpenPath);
    m_doc->setSaveDirectory(m_prefs.DefSavePath);
    m_doc->recentFiles().clear();
    // Oldest first, so that the newest ends up first.
    for (auto it = m_prefs.RecentFiles.crbegin(); it != m_prefs.RecentFiles.crend(); ++it)
        m_doc->recentFiles().add(*it);
    RebuildRecentMenu();
    Prefs::PlacePanes(ui->splMain, Pane()->findChild<QSplitter *>(QStringLiteral("splQuestion")), m_prefs);
    if (m_prefs.BarsStored) {
        Prefs::PlaceBars(*this, ui->TBToolBarStandart, ui->TBToolbarFormat, m_prefs.Bars, ScreenAreas());
        ui->StatusBar->setVisible(m_prefs.StatusVisible);
    }
    ui->TBToolbarMenu->show();
    ui->actViewToolBarStandart->setChecked(!ui->TBToolBarStandart->isHidden());
    ui->actViewToolBarFormat->setChecked(!ui->TBToolbarFormat->isHidden());
    ui->actViewToolBarStatus->setChecked(!ui->StatusBar->isHidden());
}

void TfrmMain::CollectSettings()
{
    m_prefs.PrefFlags = PrefFlags;
    m_prefs.WindowState = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    const QRect bounds = isMinimized() ? normalGeometry() : QRect(pos(), size());
    m_prefs.MainLeft = bounds.x();
    m_prefs.MainTop = bounds.y();
    m_prefs.MainWidth = bounds.width();
    m_prefs.MainHeight = bounds.height();
    Prefs::ReadPanes(ui->splMain, Pane()->findChild<QSplitter *>(QStringLiteral("splQuestion")), m_prefs);
    m_prefs.DefOpenPath = m_doc->openDirectory();
    m_prefs.DefSavePath = m_doc->saveDirectory();
    m_prefs.RecentFiles = m_doc->recentFiles().items();
    Prefs::ReadBars(*this, ui->TBToolBarStandart, ui->TBToolbarFormat, m_prefs.Bars);
    // The menu bar is the top dock's first row here, outside Qt's tool-bar
    // areas: the bars of the top dock are stored a row below it.
    for (Prefs::TBarPlace &bar : m_prefs.Bars)
        if (bar.CurrentDock == Prefs::DockTop)
            ++bar.DockRow;
    Prefs::TBarPlace &menu = m_prefs.Bars[Prefs::BarMenu];
    menu.CurrentDock = Prefs::DockTop;
    menu.DockRow = 0;
    menu.DockPos = 0;
    menu.Visible = true;
    m_prefs.StatusVisible = !ui->StatusBar->isHidden();
    m_prefs.DefaultAttributes = TextAttr;
}

void TfrmMain::SaveSettings()
{
    if (!Prefs::SaveSettings(*OpenSettings(), m_prefs))
        ShowError(Prefs::SaveFailed);
    PrefFlags = m_prefs.PrefFlags;
}

void TfrmMain::actServiceParametersExecute()
{
    TfrmPrgSettings dlg(this);
    quint8 flags = PrefFlags;
    int minutes = m_prefs.RecoveryMinutes;
    if (!dlg.Change(flags, minutes))
        return;
    PrefFlags = flags;
    m_prefs.RecoveryMinutes = minutes;
    m_recovery->SetIntervalMinutes(minutes);
    m_autosave->Changed();
    Model()->setBoldFocused(PrefFlags & pfBoldFocused);
    UpdateTreeView();
}

void TfrmMain::DockContextMenu(const QPoint &pos)
{
    if (!Prefs::OnDock(*this, pos))
        return;
    QMenu menu(this);
    menu.addActions({ui->actViewToolBarStandart, ui->actViewToolBarFormat});
    menu.exec(mapToGlobal(pos));
}
