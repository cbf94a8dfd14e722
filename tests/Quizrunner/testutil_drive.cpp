#include "testutil_drive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <grp.h>
#include <unistd.h>

QString Driver() { return qEnvironmentVariable("QE_JOURNAL_DRIVER"); }

bool TDrivenPlayer::Start(const TPlayerSetup &s, const QStringList &args, const QString &drive, const QString &reply)
{
    QDir().mkpath(s.Session);
    QFile::setPermissions(s.Session, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString log = QDir(s.Dir).filePath(QStringLiteral("messages.log"));
    QFile::remove(log);
    m_log = log;
    m_p = std::make_unique<QProcess>();
    QProcess &p = *m_p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), s.Session);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), s.Session);
    env.insert(QStringLiteral("XDG_STATE_HOME"), s.StateHome);
    env.insert(QStringLiteral("HOME"), s.Dir);
    env.insert(QStringLiteral("QE_MESSAGE_LOG"), log);
    env.insert(QStringLiteral("QE_RESUME_REPLY"), reply);
    env.insert(QStringLiteral("QE_DRIVE"), drive);
    if (!s.ConfigDir.isEmpty())
        env.insert(QStringLiteral("QE_SYSTEM_CONFIG_DIR"), s.ConfigDir);
    for (const QString &e : s.Env)
        env.insert(e.section(u'=', 0, 0), e.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(s.Dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (s.Uid != uid_t(-1)) {
        const uid_t uid = s.Uid;
        p.setChildProcessModifier([uid] {
            ::setgroups(0, nullptr);
            if (::setgid(uid) != 0 || ::setuid(uid) != 0)
                ::_exit(99);
        });
    }
    p.start(s.Program, args);
    return p.waitForStarted();
}

TRunOutput TDrivenPlayer::Finish()
{
    TRunOutput out;
    if (!m_p)
        return out;
    QProcess &p = *m_p;
    const QString log = m_log;
    QByteArray pending;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        if (p.state() == QProcess::NotRunning || !p.waitForReadyRead(200)) {
            if (p.state() == QProcess::NotRunning) {
                pending += p.readAllStandardOutput();
                break;
            }
            continue;
        }
        pending += p.readAllStandardOutput();
        if (pending.contains("PAUSED\n")) {
            out.Paused = true;
            p.kill();
            p.waitForFinished(10000);
            break;
        }
    }
    if (!out.Paused) {
        // waitForFinished is false for a process already gone.
        out.Ended = (p.state() == QProcess::NotRunning || p.waitForFinished(60000))
            && p.exitStatus() == QProcess::NormalExit;
        pending += p.readAllStandardOutput();
    }
    out.Lines = QString::fromUtf8(pending).split(u'\n', Qt::SkipEmptyParts);
    QFile f(log);
    if (f.open(QIODevice::ReadOnly))
        out.Messages = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return out;
}

TRunOutput Run(const TPlayerSetup &s, const QStringList &args, const QString &drive, const QString &reply)
{
    TDrivenPlayer p;
    if (!p.Start(s, args, drive, reply))
        return {};
    return p.Finish();
}
