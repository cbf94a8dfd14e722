// Writing through a temporary and a rename: where the new file lands and
// which folder is synced so that the rename survives a power cut.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "FsHooks.h"
#include "QeErrors.h"
#include "SafeFile.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray contentsOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    SafeFile::WriteAtomically(path, [&](QIODevice &dev) { dev.write(bytes); });
}

// Numeric accounts of a staff room: no names needed for ids the kernel checks.
constexpr uid_t Author = 47101, Colleague = 47102;
constexpr gid_t Teachers = 47110, ColleaguesOwn = 47111, Elsewhere = 47112;

// Saves as the colleague (member of Teachers only) in a child process; true when it saved.
bool saveAsColleague(const QString &path, const QByteArray &bytes)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const gid_t groups[] = {Teachers};
        if (::setgroups(1, groups) != 0 || ::setgid(ColleaguesOwn) != 0 || ::setuid(Colleague) != 0)
            ::_exit(3);
        try {
            writeBytes(path, bytes);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct stat statOf(const QString &path)
{
    struct stat st{};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

bool own(const QString &path, uid_t uid, gid_t gid, mode_t mode)
{
    const QByteArray p = QFile::encodeName(path);
    return ::chown(p.constData(), uid, gid) == 0 && ::chmod(p.constData(), mode) == 0;
}

QString thrownBy(const QString &path, const QByteArray &bytes)
{
    try {
        writeBytes(path, bytes);
    } catch (const EWriteError &e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

// As an SMB client refused the rename over a file open on it: it removes the
// target, tries again and fails again. g_renamesRefused counts down.
int g_renamesRefused = 0;
int RefusingRename(const char *from, const char *to)
{
    if (g_renamesRefused <= 0)
        return RealFsHooks().Rename(from, to);
    --g_renamesRefused;
    ::unlink(to);
    errno = EBUSY;
    return -1;
}
// A rename over a file another program on this SMB client holds open: refused,
// and the client's delete of the target only takes effect when that program
// closes it (holderCloses). g_refuseFromNew refuses the new file's rename too.
QByteArray g_doomed;
bool g_refuseFromNew = false;
int SmbRename(const char *from, const char *to)
{
    struct stat st;
    if (::lstat(to, &st) == 0 || (g_refuseFromNew && QByteArray(from).endsWith(".new"))) {
        if (::lstat(to, &st) == 0)
            g_doomed = to;
        errno = EACCES;
        return -1;
    }
    return RealFsHooks().Rename(from, to);
}
void holderCloses()
{
    if (!g_doomed.isEmpty())
        ::unlink(g_doomed.constData());
    g_doomed.clear();
}

// A mount table in which folder is an SMB share.
QByteArray g_mountInfo;
void mountedAsSmb(const QString &folder, const QString &table)
{
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(folder).constData(), &st) == 0);
    QFile f(table);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n36 22 " + QByteArray::number(major(st.st_dev))
            + ':' + QByteArray::number(minor(st.st_dev))
            + " / /mnt/tests rw,relatime shared:7 - cifs //srv/tests rw,vers=3.1.1,cache=strict\n");
    g_mountInfo = QFile::encodeName(table);
    FsHooks().MountInfo = g_mountInfo.constData();
}

int NoLinks(const char *, const char *)
{
    errno = EPERM;
    return -1;
}
}

class TstSafeFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_synced;

    QString folder(const QString &name)
    {
        const QString d = m_dir.filePath(name);
        QDir().mkpath(d);
        return d;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init()
    {
        m_synced.clear();
        SafeFile::SetFolderSyncObserver([this](const QString &f) { m_synced << f; });
    }
    void cleanup()
    {
        SafeFile::SetFolderSyncObserver({});
        FsHooks() = RealFsHooks();
    }

    void refusedRenameKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("links");
        QTest::addColumn<int>("refusals");
        QTest::newRow("hard link kept") << true << 1;
        QTest::newRow("copy kept") << false << 1;
        QTest::newRow("old one cannot go back") << true << 2;
    }
    void refusedRenameKeepsTheOldFile()
    {
        QFETCH(bool, links);
        QFETCH(int, refusals);
        const QString dir = folder(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        const QString path = QDir(dir).filePath(QStringLiteral("t.qe2"));
        writeBytes(path, "old test");
        FsHooks().Rename = RefusingRename;
        if (!links)
            FsHooks().Link = NoLinks;
        g_renamesRefused = refusals;

        const QString text = thrownBy(path, "new test");
        QVERIFY2(text.startsWith(QStringLiteral("Cannot replace file \"%1\".").arg(path)), qPrintable(text));
        const QStringList left = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        if (refusals == 1) {
            QCOMPARE(contentsOf(path), QByteArray("old test"));
            QVERIFY2(text.endsWith(QStringLiteral("The old file is unchanged.")), qPrintable(text));
            QCOMPARE(left, QStringList({QStringLiteral("t.qe2")}));
        } else {
            // Nothing under the name, but the old test is where the message says.
            QCOMPARE(left.size(), 1);
            const QString kept = QDir(dir).filePath(left.first());
            QCOMPARE(contentsOf(kept), QByteArray("old test"));
            QVERIFY2(text.endsWith(QStringLiteral("The old file is kept as \"%1\".").arg(kept)), qPrintable(text));
        }

        FsHooks() = RealFsHooks();
        writeBytes(path, "new test");
        QCOMPARE(contentsOf(path), QByteArray("new test"));
    }

    void testOpenOnTheSameSmbClientIsNeverLost_data()
    {
        QTest::addColumn<bool>("newRefused");
        QTest::newRow("saved") << false;
        QTest::newRow("new file refused too") << true;
    }
    void testOpenOnTheSameSmbClientIsNeverLost()
    {
        QFETCH(bool, newRefused);
        const QString dir = folder(QStringLiteral("smb-") + QString::number(newRefused));
        const QString path = QDir(dir).filePath(QStringLiteral("t.qe2"));
        writeBytes(path, "old test");
        mountedAsSmb(dir, m_dir.filePath(QStringLiteral("mountinfo")));
        FsHooks().Rename = SmbRename;
        g_refuseFromNew = newRefused;
        const QString text = thrownBy(path, "new test");
        holderCloses();
        FsHooks() = RealFsHooks();
        if (newRefused) {
            QVERIFY2(text.endsWith(QStringLiteral("The old file is unchanged.")), qPrintable(text));
            QCOMPARE(contentsOf(path), QByteArray("old test"));
        } else {
            QCOMPARE(text, QStringLiteral("<no error>"));
            QCOMPARE(contentsOf(path), QByteArray("new test"));
        }
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("t.qe2")}));
    }

    void refusedRenameOfANewFileLeavesNothing()
    {
        const QString dir = folder(QStringLiteral("new"));
        FsHooks().Rename = RefusingRename;
        g_renamesRefused = 1;
        QVERIFY(thrownBy(QDir(dir).filePath(QStringLiteral("t.qe2")), "new").startsWith(QStringLiteral("Cannot replace")));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void keepsTheOldFilesPermissions()
    {
        const QString path = QDir(folder(QStringLiteral("modes"))).filePath(QStringLiteral("t.qe2"));
        writeBytes(path, "old");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        writeBytes(path, "new");
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0640));
    }

    void plainFileSyncsItsOwnFolder()
    {
        const QString dir = folder(QStringLiteral("plain"));
        const QString path = QDir(dir).filePath(QStringLiteral("t.qe2"));
        writeBytes(path, "first");
        writeBytes(path, "second");
        QCOMPARE(contentsOf(path), QByteArray("second"));
        QCOMPARE(m_synced, QStringList({dir, dir}));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("t.qe2")}));
    }

    void saveThroughLinksLandsInTheTargetsFolder_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("chain");
        QTest::newRow("absolute link") << false << false;
        QTest::newRow("relative link") << true << false;
        QTest::newRow("link to a link") << false << true;
    }
    void saveThroughLinksLandsInTheTargetsFolder()
    {
        QFETCH(bool, relative);
        QFETCH(bool, chain);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString targetDir = folder(tag + QStringLiteral("/target"));
        const QString linkDir = folder(tag + QStringLiteral("/links"));
        const QString target = QDir(targetDir).filePath(QStringLiteral("t.qe2"));
        writeBytes(target, "old");
        QString link = QDir(linkDir).filePath(QStringLiteral("t.qe2"));
        QVERIFY(QFile::link(relative ? QStringLiteral("../target/t.qe2") : target, link));
        if (chain) {
            const QString outer = QDir(folder(tag + QStringLiteral("/outer"))).filePath(QStringLiteral("t.qe2"));
            QVERIFY(QFile::link(link, outer));
            link = outer;
        }
        m_synced.clear();

        writeBytes(link, "new");
        QCOMPARE(contentsOf(target), QByteArray("new"));
        QVERIFY(QFileInfo(link).isSymLink());
        // The rename happened beside the target: that folder's entry must reach the disk.
        QCOMPARE(m_synced, QStringList({targetDir}));
        QCOMPARE(QDir(targetDir).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("t.qe2")}));
        QCOMPARE(QDir(linkDir).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({QStringLiteral("t.qe2")}));
    }

    void saveByAColleagueKeepsTheGroupFolder()
    {
        // Regression: the new file took the saver's own group, and the author,
        // reaching the test through the shared group only, was refused it.
        if (::geteuid() != 0)
            QSKIP("needs root to save as a second account (setuid in a child process)");
        QVERIFY(own(m_dir.path(), 0, 0, 0711));
        const QString dir = folder(QStringLiteral("staff"));
        QVERIFY(own(dir, Author, Teachers, 0770));
        const QString test = QDir(dir).filePath(QStringLiteral("Физика 7.qe2"));
        writeBytes(test, "author's");
        QVERIFY(own(test, Author, Teachers, 0660));

        QVERIFY(saveAsColleague(test, "colleague's"));
        QCOMPARE(contentsOf(test), QByteArray("colleague's"));
        const struct stat st = statOf(test);
        QCOMPARE(st.st_uid, Colleague);
        QCOMPARE(st.st_gid, Teachers);
        QCOMPARE(st.st_mode & 07777, mode_t(0660));

        // A group the colleague is not in cannot be given: the save still happens.
        QVERIFY(own(test, Author, Elsewhere, 0666));
        QVERIFY(saveAsColleague(test, "again"));
        QCOMPARE(contentsOf(test), QByteArray("again"));
        QCOMPARE(statOf(test).st_gid, ColleaguesOwn);

        // A new file in a set-group-ID folder has the folder's group.
        const QString shared = folder(QStringLiteral("setgid"));
        QVERIFY(own(shared, Author, Teachers, 02770));
        const QString fresh = QDir(shared).filePath(QStringLiteral("new.qe2"));
        QVERIFY(saveAsColleague(fresh, "new"));
        QCOMPARE(statOf(fresh).st_gid, Teachers);
    }

    void failedWriteThroughALinkLeavesTheTarget()
    {
        const QString targetDir = folder(QStringLiteral("failing/target"));
        const QString target = QDir(targetDir).filePath(QStringLiteral("t.qe2"));
        writeBytes(target, "kept");
        const QString link = QDir(folder(QStringLiteral("failing/links"))).filePath(QStringLiteral("t.qe2"));
        QVERIFY(QFile::link(target, link));
        m_synced.clear();
        QVERIFY_THROWS_EXCEPTION(EWriteError, SafeFile::WriteAtomically(link, [](QIODevice &dev) {
            dev.write("half");
            throw EWriteError(QStringLiteral("Stream write error"));
        }));
        QCOMPARE(contentsOf(target), QByteArray("kept"));
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(m_synced.isEmpty());
        QCOMPARE(QDir(targetDir).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("t.qe2")}));
    }
};

QTEST_GUILESS_MAIN(TstSafeFile)
#include "tst_SafeFile.moc"
