#pragma once
// The real player driven by a script (journal_driver, QE_JOURNAL_DRIVER):
// one process per run with a session, state folder and message log of its own.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <sys/types.h>

QString Driver();

struct TRunOutput {
    QStringList Lines;
    QStringList Messages;
    bool Paused = false;
    bool Ended = false;
};

struct TPlayerSetup {
    QString Program = Driver();
    QString Dir;          // working folder, message log
    QString Session;      // XDG_RUNTIME_DIR and TMPDIR: the single-instance lock
    QString StateHome;    // XDG_STATE_HOME
    QString ConfigDir;    // QE_SYSTEM_CONFIG_DIR when not empty
    QStringList Env;      // more NAME=value
    uid_t Uid = uid_t(-1);
};

// A driven player started and not yet waited for, so that several run at once.
class TDrivenPlayer {
public:
    bool Start(const TPlayerSetup &s, const QStringList &args, const QString &drive,
               const QString &reply = QStringLiteral("Да"));
    // Until it pauses (then kills it, as a power cut would) or ends.
    TRunOutput Finish();
private:
    std::unique_ptr<QProcess> m_p;
    QString m_log;
};

TRunOutput Run(const TPlayerSetup &s, const QStringList &args, const QString &drive,
               const QString &reply = QStringLiteral("Да"));
