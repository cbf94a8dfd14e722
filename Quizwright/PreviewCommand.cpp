#include "PreviewCommand.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolBar>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "ExportExe.h"
#include "ExportExeCommand.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"
#include "SingleInstance.h"
#include "RecoveryCommands.h"
#include "fMain.h"

namespace {

const QString InstanceName = QStringLiteral("KMQuizrunner");
const QString LauncherId = QStringLiteral("KMQuizdispatch");

// A sheet with a green "run" triangle, in the 16 x 16 style of the other commands.
QIcon OwnIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(96, 96, 96));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 0.5, 10, 13));
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (int y : {3, 5, 7})
        p.drawLine(QPointF(3.5, y + 0.5), QPointF(9.5, y + 0.5));
    QPainterPath tri;
    tri.moveTo(7, 6.5);
    tri.lineTo(15.5, 11);
    tri.lineTo(7, 15.5);
    tri.closeSubpath();
    p.setPen(QPen(QColor(0, 100, 0), 1));
    p.setBrush(QColor(40, 170, 60));
    p.drawPath(tri);
    return QIcon(pm);
}

}  // namespace

namespace Preview {

bool PlayerHoldsLock()
{
    const QByteArray path = QFile::encodeName(InstanceLockPath(InstanceName));
    int fd;
    do
        fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;  // no lock file: no player has run in this session
    int rc;
    do
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // drops our shared lock at once, should we have got it
    return held;
}

}  // namespace Preview

TPreviewCommand::TPreviewCommand(TfrmMain &owner)
    : QObject(&owner), ProgramDir(QCoreApplication::applicationDirPath()), PlayerRunning(&Preview::PlayerHoldsLock),
      m_owner(owner), m_action(new QAction(PreviewTexts::Caption, &owner))
{
    setObjectName(QStringLiteral("PreviewCommand"));
    m_action->setObjectName(QStringLiteral("actFilePreview"));
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F9));
    m_action->setShortcutContext(Qt::WindowShortcut);
    m_action->setStatusTip(PreviewTexts::Hint);
    m_action->setToolTip(PreviewTexts::Caption);
    m_action->setIcon(QIcon::fromTheme(QStringLiteral("media-playback-start"), OwnIcon()));
    connect(m_action, &QAction::triggered, this, &TPreviewCommand::Execute);

    if (auto *menu = owner.findChild<QMenu *>(QStringLiteral("mnuFile"))) {
        // Right after the export to a program, in the same group.
        const QList<QAction *> items = menu->actions();
        QAction *before = nullptr;
        for (qsizetype i = 0; i < items.size(); ++i)
            if (items.at(i)->objectName() == QLatin1String("actFileExportExe"))
                before = items.value(i + 1);
        if (before)
            menu->insertAction(before, m_action);
        else
            menu->addAction(m_action);
    }
    if (auto *bar = owner.findChild<QToolBar *>(QStringLiteral("TBToolBarStandart"))) {
        bar->addSeparator();
        bar->addAction(m_action);
    }
}

TPreviewCommand::~TPreviewCommand()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

bool TPreviewCommand::IsRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

QString TPreviewCommand::ResultsDir() const
{
    return m_dir ? m_dir->path() : QString();
}

void TPreviewCommand::Execute()
{
    // What may take the program down with it comes after a copy of the work.
    m_owner.Recovery()->WriteCopyNow(true);
    // One player per session: ours, or one the launcher or another editor started.
    if (IsRunning() || (PlayerRunning && PlayerRunning())) {
        // The player keeps itself above other windows: a box under it would
        // leave the editor blocked by a window nobody sees.
        ShowErrorAboveAll(PreviewTexts::AlreadyRunning);
        return;
    }
    const QString player = PlayerForSavedTest(m_owner, ProgramDir, PreviewTexts::AskSave);
    if (player.isEmpty())
        return;
    TQuizDocument &doc = *m_owner.Document();

    auto dir = std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(QStringLiteral("quizengine2-XXXXXX")));
    if (!dir->isValid()) {
        ShowError(PreviewTexts::StartFailed + dir->errorString());
        return;
    }
    // Named after the saved file, never after the test name: after "Сохранить как"
    // that is a full path, and the trial run would land in the class's own results.
    const QString results =
        QDir(dir->path()).filePath(QFileInfo(doc.path()).completeBaseName() + QStringLiteral(".res"));
    auto *process = new QProcess(this);
    process->setProgram(player);
    process->setArguments({LauncherId, doc.path(), results});
    // An examinee's player starts in no folder of the teacher's.
    process->setWorkingDirectory(dir->path());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_lastCommand = QStringList{player} + process->arguments();
    process->start();
    if (!process->waitForStarted()) {
        ShowError(PreviewTexts::StartFailed + player + QStringLiteral("\r\r") + process->errorString());
        delete process;
        return;
    }
    m_dir = std::move(dir);
    m_process = process;
    connect(process, &QProcess::finished, this, &TPreviewCommand::PlayerEnded);
}

void TPreviewCommand::PlayerEnded()
{
    m_process->deleteLater();
    m_process = nullptr;
    m_dir.reset();
    Q_EMIT finished();
}
