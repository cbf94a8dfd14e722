// The single-instance guard: one player per user session, seen from other
// processes and other accounts.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "OtherAccount.h"
#include "SingleInstance.h"

#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char HoldInstance[] = "--hold-instance";
constexpr uid_t OtherUid = 65534;  // nobody
constexpr gid_t OtherGid = 65534;

// Second-process side: ask the guard, say what it said, keep the lock until stdin closes.
int childMain(const QString &name)
{
    const QByteArray answer = IsAlreadyRunning(name) ? "running\n" : "first\n";
    fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
    fflush(stdout);
    char buf[64];
    while (fread(buf, 1, sizeof buf, stdin) > 0) {
    }
    return 0;
}

class Child {
public:
    // asOther: the child drops to OtherUid before it starts that copy of us (needs root).
    explicit Child(const QString &name, const TOtherAccountProgram *asOther = nullptr,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        p.setProcessEnvironment(env);
        QString program = QCoreApplication::applicationFilePath();
        if (asOther) {
            program = asOther->program();
            p.setWorkingDirectory(asOther->folder());
            p.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setresgid(OtherGid, OtherGid, OtherGid) != 0
                    || ::setresuid(OtherUid, OtherUid, OtherUid) != 0)
                    ::_exit(127);
            });
        }
        p.start(program, {QString::fromLatin1(HoldInstance), name});
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

int modeOf(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}
}

class TstSingleInstance : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_tmp;  // the temporary folder of the current test, shared like /tmp
    int m_n = 0;

    QString uniqueName() { return QStringLiteral("qe_guard_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_n); }
    QString folder(const QString &name, mode_t mode)
    {
        const QString d = m_dir.filePath(name + QString::number(++m_n));
        if (!QDir().mkpath(d) || ::chmod(QFile::encodeName(d).constData(), mode) != 0)
            qFatal("cannot make %s", qPrintable(d));
        return d;
    }
    QString fallbackPath(const QString &name) const
    {
        return QDir(m_tmp).filePath(QStringLiteral("%1-%2.lock").arg(name).arg(::geteuid()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The second account must reach the shared temporary folder inside.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeGroup | QFile::ExeOther));
    }
    void init()
    {
        m_tmp = folder(QStringLiteral("tmp"), 01777);
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void lockPathFollowsTheRuntimeFolder_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<bool>("usable");
        QTest::newRow("private folder") << folder(QStringLiteral("run"), 0700) << true;
        QTest::newRow("others may read") << folder(QStringLiteral("run"), 0755) << true;
        QTest::newRow("group may write") << folder(QStringLiteral("run"), 0770) << false;
        QTest::newRow("anyone may write") << folder(QStringLiteral("run"), 01777) << false;
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("none")) << false;
        QTest::newRow("relative") << QStringLiteral("run") << false;
        QTest::newRow("unset") << QString() << false;
        const QString file = m_dir.filePath(QStringLiteral("plain-file"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        QTest::newRow("a file") << file << false;
        if (::geteuid() == 0) {
            const QString foreign = folder(QStringLiteral("run"), 0700);
            if (::chown(QFile::encodeName(foreign).constData(), OtherUid, OtherGid) == 0)
                QTest::newRow("another account's") << foreign << false;
        }
    }
    void lockPathFollowsTheRuntimeFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, usable);
        if (!runtime.isNull())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const QString name = uniqueName();
        QCOMPARE(InstanceLockPath(name),
                 usable ? QDir(runtime).filePath(name + QStringLiteral(".lock")) : fallbackPath(name));
    }

    void oneInstancePerSession()
    {
        const QString runtime = folder(QStringLiteral("run"), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const QString name = uniqueName();
        const QString lock = QDir(runtime).filePath(name + QStringLiteral(".lock"));
        const mode_t oldMask = ::umask(0);
        {
            Child first(name);
            QCOMPARE(first.answer(), QByteArray("first"));
            QVERIFY(IsAlreadyRunning(name));
            // Nobody else has any business with the file, whatever the umask.
            QCOMPARE(modeOf(lock), 0600);
            QVERIFY(!QFile::exists(fallbackPath(name)));
            first.crash();  // the kernel drops the lock with the process
        }
        ::umask(oldMask);
        QVERIFY(!IsAlreadyRunning(name));  // this process holds it from now on
        Child second(name);
        QCOMPARE(second.answer(), QByteArray("running"));
    }

    void fallbackIsPrivateToTheAccount()
    {
        const QString name = uniqueName();
        const mode_t oldMask = ::umask(0);
        QVERIFY(!IsAlreadyRunning(name));
        ::umask(oldMask);
        QCOMPARE(modeOf(fallbackPath(name)), 0600);
        Child second(name);
        QCOMPARE(second.answer(), QByteArray("running"));
    }

    void twoAccountsEachHoldTheirOwn()
    {
        if (::geteuid() != 0)
            QSKIP("a second account needs root to start a process under it");
        const TOtherAccountProgram copy;
        if (!copy.isValid())
            QSKIP(qPrintable(copy.error()));
        const QString name = uniqueName();
        QVERIFY(!IsAlreadyRunning(name));
        // The other account shares the temporary folder, as on a terminal server.
        Child other(name, &copy);
        QCOMPARE(other.answer(), QByteArray("first"));
        Child otherAgain(name, &copy);
        QCOMPARE(otherAgain.answer(), QByteArray("running"));
        Child mineAgain(name);
        QCOMPARE(mineAgain.answer(), QByteArray("running"));
    }

    void plantedLinkIsNotFollowed()
    {
        // The link points at the lock another session holds: following it
        // would keep this session out, and widen nothing of the target.
        const QString runtime = folder(QStringLiteral("run"), 0700);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        const QString held = uniqueName();
        Child holder(held, nullptr, env);
        QCOMPARE(holder.answer(), QByteArray("first"));
        const QString target = QDir(runtime).filePath(held + QStringLiteral(".lock"));
        QCOMPARE(modeOf(target), 0600);

        const QString name = uniqueName();
        const QString planted = InstanceLockPath(name);
        QVERIFY(planted.startsWith(m_tmp));
        QVERIFY(QFile::link(target, planted));
        QVERIFY(!IsAlreadyRunning(name));
        QVERIFY(QFileInfo(planted).isSymLink());
        QCOMPARE(modeOf(target), 0600);
    }

    void anotherAccountsFileDoesNotKeepUsOut()
    {
        if (::geteuid() != 0)
            QSKIP("a file of another account needs root to make");
        const QString name = uniqueName();
        const QString planted = InstanceLockPath(name);
        QFile f(planted);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(::fchown(f.handle(), OtherUid, OtherGid), 0);
        QCOMPARE(::fchmod(f.handle(), 0644), 0);
        QCOMPARE(::flock(f.handle(), LOCK_EX | LOCK_NB), 0);  // its owner holds it
        QVERIFY(!IsAlreadyRunning(name));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(planted).constData(), &st), 0);
        QCOMPARE(st.st_uid, OtherUid);
        QCOMPARE(int(st.st_mode & 07777), 0644);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], HoldInstance) == 0)
        return childMain(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TstSingleInstance t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_SingleInstance.moc"
