// File locks, seen from a second process.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "Clock.h"
#include "FileLocks.h"
#include "FsHooks.h"
#include "QuizEngineCommon.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char HoldFileLock[] = "--hold-file-lock";

// Second-process side: take the lock, say how it went, keep it until stdin closes.
int childMain(const QString &arg)
{
    QFile f(arg);
    if (!f.open(QIODevice::ReadWrite))
        return 2;
    const QByteArray answer = FileLocks::TryLockExclusive(f) ? "locked\n" : "refused\n";
    fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
    fflush(stdout);
    char buf[64];
    while (fread(buf, 1, sizeof buf, stdin) > 0) {
    }
    return 0;
}

// Lock calls that fail the way some mounts make them fail; unlocking still works.
int g_lockError = 0;
int FailingLock(int fd, int cmd, struct flock *fl)
{
    if (fl->l_type == F_UNLCK)
        return RealFsHooks().LockCall(fd, cmd, fl);
    errno = g_lockError;
    return -1;
}

class LocksFailWith {
public:
    explicit LocksFailWith(int err)
    {
        g_lockError = err;
        FsHooks().LockCall = FailingLock;
    }
    ~LocksFailWith() { FsHooks() = RealFsHooks(); }
};

class Child {
public:
    Child(const char *mode, const QString &arg)
    {
        p.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode), arg});
    }
    ~Child() { release(); }
    QByteArray answer()
    {
        if (!p.waitForReadyRead(30000))
            return "no answer";
        return p.readLine().trimmed();
    }
    void release()
    {
        if (p.state() != QProcess::NotRunning) {
            p.closeWriteChannel();
            p.waitForFinished(30000);
        }
    }
    void crash()
    {
        p.kill();
        p.waitForFinished(30000);
    }
private:
    QProcess p;
};
}

class TstFileLocks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exclusiveLockOfAnotherProcess();
    void sharedLocksCoexist();
    void lockErrorsWithoutAHolder_data();
    void lockErrorsWithoutAHolder();
    void loadWaitsOutAReplace();
};

void TstFileLocks::exclusiveLockOfAnotherProcess()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(path, info, {});
    {
        Child writer(HoldFileLock, path);
        QCOMPARE(writer.answer(), QByteArray("locked"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!FileLocks::TryLockShared(f));
        QVERIFY(!FileLocks::TryLockExclusive(f));
        TQuestionList out;
        const TTestLoadResult r = LoadTestFromFile(path, info, out);
        QVERIFY(!r.Ok);
        QCOMPARE(r.ErrorKind, QStringLiteral("EFOpenError"));
        writer.release();
        QVERIFY(FileLocks::TryLockShared(f));
    }
    {
        Child writer(HoldFileLock, path);
        QCOMPARE(writer.answer(), QByteArray("locked"));
        writer.crash();  // the kernel drops the lock with the process
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(FileLocks::TryLockExclusive(f));
    }
}

void TstFileLocks::sharedLocksCoexist()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(FileLocks::TryLockShared(f));
    QFile second(path);
    QVERIFY(second.open(QIODevice::ReadOnly));
    QVERIFY(FileLocks::TryLockShared(second));
    {
        Child writer(HoldFileLock, path);
        QCOMPARE(writer.answer(), QByteArray("refused"));
    }
    FileLocks::Unlock(f);
    FileLocks::Unlock(second);
    Child writer(HoldFileLock, path);
    QCOMPARE(writer.answer(), QByteArray("locked"));
}

void TstFileLocks::lockErrorsWithoutAHolder_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("loads");
    // Only these two say that another process holds the file.
    QTest::newRow("EAGAIN") << EAGAIN << false;
    QTest::newRow("EACCES") << EACCES << false;
    // No lock manager on the mount, or locks not supported there: nobody
    // holds the file, so it is read without the lock.
    QTest::newRow("ENOLCK") << ENOLCK << true;
    QTest::newRow("EOPNOTSUPP") << EOPNOTSUPP << true;
    QTest::newRow("EINVAL") << EINVAL << true;
}

void TstFileLocks::lockErrorsWithoutAHolder()
{
    QFETCH(int, error);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("пароль");
    SaveTestToFile(path, info, {});
    TKMQuizEngineConfig config;
    config.ConfigText = QStringLiteral("text");
    const QString configPath = dir.filePath(QStringLiteral("c.cfg"));
    config.SaveToFile(configPath);

    LocksFailWith failing(error);
    QFile f(path);
    QCOMPARE(FileLocks::OpenSharedRead(f), loads);
    f.close();
    TTestInfo got;
    TQuestionList out;
    const TTestLoadResult r = LoadTestFromFile(path, got, out);
    QVERIFY2(r.Ok == loads, qPrintable(r.ErrorText));
    if (loads) {
        QCOMPARE(got.Password, info.Password);
    } else {
        QCOMPARE(r.ErrorKind, QStringLiteral("EFOpenError"));
        QVERIFY(r.ErrorText.contains(QStringLiteral("being written by another program")));
    }
    TKMQuizEngineConfig gotConfig;
    QCOMPARE(gotConfig.LoadFromFile(configPath), loads);
}

// A save on an SMB client leaves the name empty for a moment; a load then
// waits briefly rather than telling a pupil the test is gone.
void TstFileLocks::loadWaitsOutAReplace()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("back");
    int naps = 0, slept = 0;
    bool appear = true;
    QeClock::SetSleeper([&](int ms) {
        slept += ms;
        if (++naps == 3 && appear)
            SaveTestToFile(path, info, {});
    });
    TTestInfo got;
    TQuestionList out;
    const TTestLoadResult r = LoadTestFromFile(path, got, out);
    QVERIFY2(r.Ok, qPrintable(r.ErrorText));
    QCOMPARE(got.Password, info.Password);
    QCOMPARE(naps, 3);

    appear = false;
    naps = slept = 0;
    const TTestLoadResult none = LoadTestFromFile(dir.filePath(QStringLiteral("none.qe2")), got, out);
    QeClock::SetSleeper({});
    QVERIFY(!none.Ok);
    QVERIFY2(none.ErrorText.endsWith(QStringLiteral("No such file.")), qPrintable(none.ErrorText));
    QVERIFY2(slept >= 1000 && slept <= 2000, qPrintable(QString::number(slept)));
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], HoldFileLock) == 0)
        return childMain(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TstFileLocks t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_FileLocks.moc"
