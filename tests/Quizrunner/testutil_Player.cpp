#include "testutil_Player.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TQuestionPtr MakeQuestion(const QString &text, const QStringList &variants, const QString &marks)
{
    auto q = std::make_shared<TNQuestion>();
    q->PlainLines.Add(text);
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}"
                     "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    rtf += text.toLatin1();
    rtf += "\\par\r\n}\r\n";
    q->Body = rtf;
    q->Variants = variants;
    q->RightMarks = marks;
    q->ContentReady = true;
    return q;
}

TQuestionList MakeQuestions(int real, const QList<int> &infoPositions)
{
    TQuestionList list;
    for (int k = 1; k <= real; ++k) {
        const QString t = QStringLiteral("Q%1").arg(k);
        list.push_back(MakeQuestion(t, {t + QStringLiteral("-a"), t + QStringLiteral("-b"), t + QStringLiteral("-c")},
                                    QStringLiteral(" ! ")));
    }
    int n = 0;
    for (int pos : infoPositions)
        list.insert(list.begin() + pos, MakeQuestion(QStringLiteral("I%1").arg(++n)));
    return list;
}

QStringList Texts(const TQuestionList &questions)
{
    QStringList out;
    for (const TQuestionPtr &q : questions)
        out << q->PlainLines.Get(0);
    return out;
}

TTestInfo TestHeader(quint16 randomCount, bool randomVariants)
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.RandomCount = randomCount;
    info.Options = randomVariants ? quint16(RandomVOrder) : quint16(0);
    return info;
}

QString SaveTest(const QString &path, TTestInfo info, const TQuestionList &questions)
{
    SaveTestToFile(path, info, questions);
    return path;
}

QString PlayerProgram()
{
    return qEnvironmentVariable("QE_QUIZRUNNER");
}

TPlayerProcess::TPlayerProcess(const QString &dir, const QString &program) : m_dir(dir), m_program(program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), dir);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    // Run journals stay with the test, never in the account's own state folder.
    env.insert(QStringLiteral("XDG_STATE_HOME"), QDir(dir).filePath(QStringLiteral("state")));
    // Private, as a runtime folder must be (Qt warns about any other mode).
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("QE_MESSAGE_LOG"), LogPath());
    m_proc.setProcessEnvironment(env);
    m_proc.setWorkingDirectory(dir);
    m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

QString TPlayerProcess::LogPath() const
{
    return QDir(m_dir).filePath(QStringLiteral("messages.log"));
}

void TPlayerProcess::Start(const QStringList &args)
{
    m_proc.start(m_program, args);
    m_proc.waitForStarted();
}

bool TPlayerProcess::WaitForEnd(int timeoutMs)
{
    return m_proc.state() == QProcess::NotRunning || m_proc.waitForFinished(timeoutMs);
}

void TPlayerProcess::Kill()
{
    if (m_proc.state() != QProcess::NotRunning) {
        m_proc.kill();
        m_proc.waitForFinished(10000);
    }
}

QStringList TPlayerProcess::Messages() const
{
    QFile f(LogPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool InstanceLockHeld(const QString &dir)
{
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(QStringLiteral("KMQuizrunner.lock")));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}
