#include <QtTest>

#include "Ansi.h"
#include "Clock.h"
#include "FileLocks.h"
#include "FsHooks.h"
#include "OtherAccount.h"
#include "ResultsFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <iostream>
#include <set>
#include <string>
#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <utime.h>
#include <unistd.h>

// The test executable doubles as the other processes the tests need; these
// are the first arguments that select a role instead of running the tests.
static const char *const kHoldLock = "--hold-lock";
static const char *const kWriter = "--writer";
static const char *const kSizeLimited = "--size-limited";
static const char *const kAsAccount = "--as-account";

// The account the second pupil's player runs under in the tests.
static const uid_t kOtherUid = 65534;
static const gid_t kOtherGid = 65534;
// Exit status of that child when it could not become the other account.
static const int kCannotSwitch = 77;

namespace {

TResultRecord Record()
{
    TResultRecord r;
    r.When = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    r.TestName = QStringLiteral("Химия");
    r.LastName = QStringLiteral("Иванов");
    r.FirstName = QStringLiteral("Пётр");
    r.Patronymic = QStringLiteral("Сергеевич");
    r.Extra = QStringLiteral("9 «Б»");
    r.Score = 2;
    r.PossibleScore = 3;
    return r;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<cannot open>");
    return f.readAll();
}

void WriteFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

// Child: takes the exclusive lock a running writer holds, says so, and keeps
// it until a line (or end of input) arrives.
int HoldLock(const char *path)
{
    const int fd = ::open(path, O_RDWR);
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "locked" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    ::close(fd);
    return 0;
}

TResultRecord WriterRecord(int process, int index)
{
    TResultRecord r = Record();
    r.LastName = QStringLiteral("P%1").arg(process);
    r.FirstName = QString::number(index);
    // Long enough that two writers' bytes would show up inside one line.
    r.Extra = QString(300, QChar(u'ж'));
    return r;
}

// Child: appends `count` lines as one player would, with a back-off of 0-2 ms
// instead of 0-2 s, once the parent says go.
int Writer(const char *path, int process, int count)
{
    QeClock::SetSleeper([](int ms) { ::usleep(useconds_t(ms)); });
    std::string go;
    std::getline(std::cin, go);
    for (int i = 0; i < count; ++i) {
        int series = 0;
        while (!AppendResultSeries(QString::fromLocal8Bit(path), WriterRecord(process, i))) {
            if (++series == 100) {
                std::cerr << "line " << i << " never written" << std::endl;
                return 2;
            }
        }
    }
    return 0;
}

// Child: may grow the file by only a few bytes, so the write stops half-way.
int SizeLimited(const char *path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    struct stat st;
    if (::stat(path, &st) != 0)
        return 3;
    struct rlimit lim;
    lim.rlim_cur = lim.rlim_max = rlim_t(st.st_size + 10);
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0)
        return 3;
    QString error;
    if (AppendResultOnce(QString::fromLocal8Bit(path), Record(), &error) != TAppendOutcome::Failed)
        return 1;
    std::cout << error.toStdString() << std::endl;
    return error.isEmpty() ? 1 : 0;
}

TResultRecord SecondRecord()
{
    TResultRecord r = Record();
    r.LastName = QStringLiteral("Петров");
    return r;
}

// Child: becomes the other account, then appends as that pupil's player would.
int AsAccount(const char *path)
{
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kOtherGid, kOtherGid, kOtherGid) != 0
        || ::setresuid(kOtherUid, kOtherUid, kOtherUid) != 0 || ::geteuid() != kOtherUid)
        return kCannotSwitch;
    QString error;
    if (AppendResultOnce(QString::fromLocal8Bit(path), SecondRecord(), &error) == TAppendOutcome::Written)
        return 0;
    std::cout << error.toStdString() << std::endl;
    return 1;
}

// Failures some mounts produce, injected through the library's hooks; every
// test puts the real calls back in cleanup().
int g_linkError = 0;
int FailingLink(const char *, const char *)
{
    errno = g_linkError;
    return -1;
}

int g_lockError = 0;
int FailingLock(int fd, int cmd, struct flock *fl)
{
    if (fl->l_type == F_UNLCK)
        return RealFsHooks().LockCall(fd, cmd, fl);
    errno = g_lockError;
    return -1;
}

// Whether fd is open on a file called name (not on a temporary one beside it).
bool IsFile(int fd, const char *name)
{
    char target[4096];
    const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                                 target, sizeof target - 1);
    return n > 0 && QByteArray(target, int(n)).endsWith(QByteArray("/") + name);
}

std::function<int(int)> g_onSync;
int HookedSync(int fd)
{
    return g_onSync ? g_onSync(fd) : RealFsHooks().DataSync(fd);
}

std::function<void()> g_beforeLock;
int HookedLock(int fd, int cmd, struct flock *fl)
{
    if (fl->l_type == F_WRLCK && g_beforeLock) {
        const std::function<void()> once = std::move(g_beforeLock);
        g_beforeLock = {};
        once();
    }
    return RealFsHooks().LockCall(fd, cmd, fl);
}

void NoHardLinks()
{
    g_linkError = EPERM;  // what an SMB mount answers
    FsHooks().Link = FailingLink;
}

// A mount table in which `folder` is on a mount of `type` with `options`.
QByteArray g_mountInfo;
void MountedAs(const QTemporaryDir &tmp, const QString &folder, const QByteArray &type, const QByteArray &options)
{
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(folder).constData(), &st) == 0);
    g_mountInfo = QFile::encodeName(tmp.filePath(QStringLiteral("mountinfo")));
    WriteFile(tmp.filePath(QStringLiteral("mountinfo")),
              "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
              "36 22 " + QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev))
                  + " / /mnt/share rw,relatime shared:7 - " + type + " //srv/results rw," + options + "\n");
    FsHooks().MountInfo = g_mountInfo.constData();
}

QByteArray ThisHost()
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

void MakeOld(const QString &path, int age)
{
    const time_t when = ::time(nullptr) - age;
    const struct utimbuf times{when, when};
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
}

// A lock file as another player leaves it, `age` seconds old.
void PlantLockFile(const QString &path, const QByteArray &host, qint64 pid, int age)
{
    WriteFile(path, host + '\n' + QByteArray::number(pid) + "\n1700000000\n5eed\n");
    MakeOld(path, age);
}

// Where the hooked call is on the results file itself, not a temporary.
int ResultsFd(int fd) { return IsFile(fd, "r.res") ? fd : -1; }

// A results file that holds a line already, its syncs through g_onSync.
struct TSyncedFile {
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("r.res"));
    const QByteArray Line = ResultsDataLine(Record());
    const QByteArray Before = ResultsHeaderLine() + ResultsDataLine(SecondRecord());
    TSyncedFile()
    {
        WriteFile(Path, Before);
        FsHooks().DataSync = HookedSync;
    }
};

// Overwrites [at, at + n) of the file under fd with zeros through another
// descriptor: what a server that lost a write serves afterwards.
void ZeroTail(int fd, qsizetype n)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return;
    const QByteArray zeros(n, '\0');
    const int other = ::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), O_WRONLY);
    if (other < 0)
        return;
    (void)::pwrite(other, zeros.constData(), size_t(n), st.st_size - n);
    ::close(other);
}

int FailingTruncate(int, long long)
{
    errno = EIO;
    return -1;
}

} // namespace

class TestResultsFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void headerLine();
    void dataLineExactBytes();
    void dataLineDateAndTime_data();
    void dataLineDateAndTime();
    void dataLineWithoutTimeGetsTheCurrentOne();
    void dataLineKeepsItsShape();
    void embeddedResultsPath_data();
    void embeddedResultsPath();

    void newFileGetsHeaderThenLines();
    void relativePathLandsInCurrentFolder();
    void existingFileGetsOnlyTheLine_data();
    void existingFileGetsOnlyTheLine();
    void unusableTargetsFailWithoutHanging();
    void failedWriteLeavesNoPartialLine();
    void missingFolderFailsEveryAttempt();
    void lockedFileRetriedUntilReleased();
    void concurrentWritersNeverInterleave();

    void newFileWritableByWhoMayWriteItsFolder_data();
    void newFileWritableByWhoMayWriteItsFolder();
    void withoutHardLinksHeaderComesWithTheFirstLine();
    void lockErrorsWithoutAHolder_data();
    void lockErrorsWithoutAHolder();
    void cutBackOnlyWhenTheEndIsOurs();
    void backOffSpreadsAttemptsApart();
    void plantedLinkIsNotFollowed_data();
    void plantedLinkIsNotFollowed();

    void locksThatStayLocalTakeALockFile_data();
    void locksThatStayLocalTakeALockFile();
    void modesMadeUpByTheMount_data();
    void modesMadeUpByTheMount();
    void staleLockFilesAreBroken_data();
    void staleLockFilesAreBroken();
    void lineThatDoesNotReadBackIsPutRight_data();
    void lineThatDoesNotReadBackIsPutRight();
    void zerosALostWriteLeavesLaterAreFilled_data();
    void zerosALostWriteLeavesLaterAreFilled();
    void replacedFolderIsNotWrittenTo();
    void folderGoneJustBeforeTheOpen();
    void hungAttemptIsGivenUp();
    void writeOutlastingItsAttemptIsWaitedFor();
    void oldTemporaryFilesAreRemoved();

private:
    QList<int> m_sleeps;
    std::function<void(int)> m_onSleep;
};

void TestResultsFile::init()
{
    m_sleeps.clear();
    m_onSleep = {};
    QeClock::SetSleeper([this](int ms) {
        m_sleeps << ms;
        if (m_onSleep)
            m_onSleep(ms);
    });
}

void TestResultsFile::cleanup()
{
    QeClock::SetSleeper({});
    FsHooks() = RealFsHooks();
    g_onSync = {};
    g_beforeLock = {};
}

void TestResultsFile::headerLine()
{
    const QByteArray h = ResultsHeaderLine();
    QVERIFY(h.startsWith("\xC4\xE0\xF2\xE0\t\xC2\xF0\xE5\xEC\xFF\t"));  // "Дата\tВремя\t"
    QVERIFY(h.endsWith("\t\xCF\xF0\xEE\xF6\xE5\xED\xF2\r\n"));         // "\tПроцент\r\n"
    QCOMPARE(FromAnsi(h),
             QStringLiteral("Дата\tВремя\tТест\tФамилия\tИмя\tОтчество\tДоп. инф.\tБалл\t"
                            "Возможный балл\tПроцент\r\n"));
}

void TestResultsFile::dataLineExactBytes()
{
    const QByteArray expected =
        "07.12.26\t9:05\t"
        "\xD5\xE8\xEC\xE8\xFF\t"                          // Химия
        "\xC8\xE2\xE0\xED\xEE\xE2\t"                      // Иванов
        "\xCF\xB8\xF2\xF0\t"                              // Пётр
        "\xD1\xE5\xF0\xE3\xE5\xE5\xE2\xE8\xF7\t"          // Сергеевич
        "9 \xAB\xC1\xBB\t"                                // 9 «Б»
        "2\t3\t66,67\r\n";
    QCOMPARE(ResultsDataLine(Record()), expected);
}

void TestResultsFile::dataLineDateAndTime_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("morning") << QDateTime(QDate(2026, 12, 7), QTime(9, 5, 59)) << QByteArray("07.12.26\t9:05\t");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 15), QTime(14, 30)) << QByteArray("15.03.26\t14:30\t");
    QTest::newRow("midnight") << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << QByteArray("01.01.00\t0:00\t");
    QTest::newRow("last minute") << QDateTime(QDate(2099, 10, 31), QTime(23, 59)) << QByteArray("31.10.99\t23:59\t");
}

void TestResultsFile::dataLineDateAndTime()
{
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, prefix);
    TResultRecord r = Record();
    r.When = when;
    QVERIFY2(ResultsDataLine(r).startsWith(prefix), ResultsDataLine(r).constData());
}

void TestResultsFile::dataLineWithoutTimeGetsTheCurrentOne()
{
    TResultRecord r = Record();
    r.When = QDateTime();
    const QString line = FromAnsi(ResultsDataLine(r));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d\\t\\d{1,2}:\\d\\d\\t")).match(line).hasMatch(),
             qPrintable(line));
}

void TestResultsFile::relativePathLandsInCurrentFolder()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString name = EmbeddedResultsPath(QStringLiteral("C:\\Tests\\Химия.qe2"));
    const bool written = AppendResultSeries(name, Record());
    QDir::setCurrent(previous);
    QVERIFY(written);
    QCOMPARE(ReadAll(dir.filePath(QStringLiteral("Химия.res"))), ResultsHeaderLine() + ResultsDataLine(Record()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Химия.res")});
}

void TestResultsFile::dataLineKeepsItsShape()
{
    TResultRecord r = Record();
    r.LastName = QStringLiteral("Ив\tанов");
    r.FirstName = QStringLiteral("Пётр\r\n");
    r.Patronymic = QStringLiteral("a\nb\rc");
    r.Extra = QStringLiteral("漢字 €№ \U0001F600!");
    r.TestName = QStringLiteral("Тест\t2");
    r.Score = 7;
    r.PossibleScore = 12;
    const QByteArray line = ResultsDataLine(r);

    QVERIFY(line.endsWith("\r\n"));
    const QByteArray body = line.chopped(2);
    QVERIFY(!body.contains('\r'));
    QVERIFY(!body.contains('\n'));
    const QList<QByteArray> f = body.split('\t');
    QCOMPARE(f.size(), 10);
    QCOMPARE(FromAnsi(f[2]), QStringLiteral("Тест 2"));
    QCOMPARE(FromAnsi(f[3]), QStringLiteral("Ив анов"));
    QCOMPARE(FromAnsi(f[4]), QStringLiteral("Пётр  "));
    QCOMPARE(f[5], QByteArray("a b c"));
    // One '?' per character the code page lacks, a surrogate pair included.
    QCOMPARE(f[6], QByteArray("?? \x88\xB9 ?!"));
    QCOMPARE(f[7], QByteArray("7"));
    QCOMPARE(f[8], QByteArray("12"));
    QCOMPARE(f[9], QByteArray("58,33"));

    r.Score = 0;
    r.PossibleScore = 0;
    QVERIFY(ResultsDataLine(r).endsWith("\t0\t0\t0,00\r\n"));
}

void TestResultsFile::embeddedResultsPath_data()
{
    QTest::addColumn<QString>("testPath");
    QTest::addColumn<QString>("resultsPath");
    QTest::newRow("windows") << QStringLiteral("C:\\Tests\\Химия.qe2") << QStringLiteral("Химия.res");
    QTest::newRow("unix") << QStringLiteral("/srv/tests/Физика.qe2") << QStringLiteral("Физика.res");
    QTest::newRow("mixed") << QStringLiteral("\\\\server\\share/dir\\a.qe2") << QStringLiteral("a.res");
    QTest::newRow("last extension only") << QStringLiteral("C:\\x.y\\Тест.v2.qe2") << QStringLiteral("Тест.v2.res");
    QTest::newRow("no extension") << QStringLiteral("/tmp/dir.d/test") << QStringLiteral("test.res");
    QTest::newRow("bare name") << QStringLiteral("Химия.qe2") << QStringLiteral("Химия.res");
    QTest::newRow("drive relative") << QStringLiteral("D:Химия.qe2") << QStringLiteral("Химия.res");
}

void TestResultsFile::embeddedResultsPath()
{
    QFETCH(QString, testPath);
    QFETCH(QString, resultsPath);
    QCOMPARE(EmbeddedResultsPath(testPath), resultsPath);
}

void TestResultsFile::newFileGetsHeaderThenLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Химия.res"));
    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Written);
    QVERIFY(error.isEmpty());
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));

    TResultRecord second = Record();
    second.LastName = QStringLiteral("Петров");
    QVERIFY(AppendResultSeries(path, second));
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()) + ResultsDataLine(second));
    QVERIFY(m_sleeps.isEmpty());
    // Creation leaves no temporary file behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Химия.res")});
}

void TestResultsFile::existingFileGetsOnlyTheLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("with lines") << QByteArray(ResultsHeaderLine() + "old\r\n");
    QTest::newRow("without final line break") << QByteArray("no header, no end");
}

void TestResultsFile::existingFileGetsOnlyTheLine()
{
    QFETCH(QByteArray, before);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    WriteFile(path, before);
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), before + ResultsDataLine(Record()));
}

void TestResultsFile::unusableTargetsFailWithoutHanging()
{
    QTemporaryDir dir;
    QString error;
    QCOMPARE(AppendResultOnce(dir.path(), Record(), &error), TAppendOutcome::Failed);
    QVERIFY(!error.isEmpty());

    const QString fifo = dir.filePath(QStringLiteral("fifo.res"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    error.clear();
    QCOMPARE(AppendResultOnce(fifo, Record(), &error), TAppendOutcome::Failed);
    QVERIFY(error.contains(QStringLiteral("not a regular file")));

    error.clear();
    QCOMPARE(AppendResultOnce(QString(), Record(), &error), TAppendOutcome::Failed);
    QVERIFY(!error.isEmpty());
}

void TestResultsFile::failedWriteLeavesNoPartialLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    const QByteArray before = ResultsHeaderLine() + ResultsDataLine(Record());
    WriteFile(path, before);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kSizeLimited), path});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(ReadAll(path), before);
}

void TestResultsFile::missingFolderFailsEveryAttempt()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("нет/r.res"));
    QList<int> attempts;
    int pumps = 0;
    QVERIFY(!AppendResultSeries(path, Record(), [&](int n) { attempts << n; }, [&] { ++pumps; }));
    QCOMPARE(attempts, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    QCOMPARE(pumps, 10);
    QCOMPARE(m_sleeps.size(), 9);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("нет"))));

    // A retried series starts again from attempt 0.
    attempts.clear();
    QVERIFY(!AppendResultSeries(path, Record(), [&](int n) { attempts << n; }, {}, 3));
    QCOMPARE(attempts, (QList<int>{0, 1, 2}));
}

void TestResultsFile::lockedFileRetriedUntilReleased()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    const QByteArray before = ResultsHeaderLine();
    WriteFile(path, before);

    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHoldLock), path});
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(60000));
    QCOMPARE(holder.readLine(), QByteArray("locked\n"));

    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Failed);
    QVERIFY(error.contains(QStringLiteral("locked")));
    QCOMPARE(ReadAll(path), before);

    // The holder lets go during the third back-off, so the fourth attempt writes.
    m_onSleep = [&](int) {
        if (m_sleeps.size() == 3) {
            holder.write("release\n");
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(60000));
        }
    };
    QList<int> attempts;
    int pumps = 0;
    QVERIFY(AppendResultSeries(path, Record(), [&](int n) { attempts << n; }, [&] { ++pumps; }));
    QCOMPARE(attempts, (QList<int>{0, 1, 2, 3}));
    QCOMPARE(pumps, 3);
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(ReadAll(path), before + ResultsDataLine(Record()));
}

void TestResultsFile::concurrentWritersNeverInterleave()
{
    const int writers = 8, lines = 200;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shared.res"));

    std::vector<std::unique_ptr<QProcess>> procs;
    for (int p = 0; p < writers; ++p) {
        auto proc = std::make_unique<QProcess>();
        proc->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc->start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kWriter), path, QString::number(p), QString::number(lines)});
        QVERIFY(proc->waitForStarted());
        procs.push_back(std::move(proc));
    }
    for (auto &proc : procs)
        proc->write("go\n");
    for (auto &proc : procs) {
        QVERIFY(proc->waitForFinished(600000));
        QCOMPARE(proc->exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc->exitCode(), 0);
    }

    const QByteArray all = ReadAll(path);
    QVERIFY(all.endsWith("\r\n"));
    QList<QByteArray> got = all.split('\n');
    QCOMPARE(got.takeLast(), QByteArray());
    QCOMPARE(got.size(), 1 + writers * lines);
    QCOMPARE(got.takeFirst() + '\n', ResultsHeaderLine());
    std::set<std::pair<int, int>> seen;
    for (const QByteArray &raw : std::as_const(got)) {
        const QByteArray line = raw + '\n';
        const QList<QByteArray> f = line.split('\t');
        QCOMPARE(f.size(), 10);
        QVERIFY(f[3].startsWith('P'));
        bool ok1 = false, ok2 = false;
        const int p = f[3].mid(1).toInt(&ok1), i = f[4].toInt(&ok2);
        QVERIFY(ok1 && ok2);
        QCOMPARE(line, ResultsDataLine(WriterRecord(p, i)));
        QVERIFY2(seen.insert({p, i}).second, line.left(60).constData());
    }
    QCOMPARE(int(seen.size()), writers * lines);
    qInfo("%d writers x %d lines appended whole", writers, lines);
}

void TestResultsFile::newFileWritableByWhoMayWriteItsFolder_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("groupFolder");
    QTest::addColumn<bool>("hardLinks");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("secondWrites");
    // A folder every pupil writes into, like /tmp.
    QTest::newRow("everyone") << 01777 << false << true << 0666 << true;
    QTest::newRow("everyone, no hard links") << 01777 << false << false << 0666 << true;
    // A class's folder: its group, passed on to new files by the set-group-ID bit.
    QTest::newRow("group") << 02770 << true << true << 0664 << true;
    QTest::newRow("group, no hard links") << 02770 << true << false << 0664 << true;
    // Only its owner writes there: nobody else gains write access.
    QTest::newRow("owner only") << 0755 << false << true << 0644 << false;
}

void TestResultsFile::newFileWritableByWhoMayWriteItsFolder()
{
    QFETCH(int, folderMode);
    QFETCH(bool, groupFolder);
    QFETCH(bool, hardLinks);
    QFETCH(int, fileMode);
    QFETCH(bool, secondWrites);
    if (::geteuid() != 0)
        QSKIP("a second account needs root to switch to; run the tests as root to cover it");
    // Under /tmp itself, so that the other account can reach the folder.
    QTemporaryDir dir(QStringLiteral("/tmp/qe-accounts-XXXXXX"));
    QVERIFY(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    if (groupFolder)
        QCOMPARE(::chown(folder.constData(), 0, kOtherGid), 0);
    QCOMPARE(::chmod(folder.constData(), mode_t(folderMode)), 0);
    if (!hardLinks)
        NoHardLinks();

    const QString path = dir.filePath(QStringLiteral("r.res"));
    const mode_t oldMask = ::umask(022);
    const TAppendOutcome first = AppendResultOnce(path, Record());
    ::umask(oldMask);
    QCOMPARE(first, TAppendOutcome::Written);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), fileMode);
    if (groupFolder)
        QCOMPARE(st.st_gid, kOtherGid);

    const TOtherAccountProgram copy;
    if (!copy.isValid())
        QSKIP(qPrintable(copy.error()));
    QProcess child;
    child.setWorkingDirectory(copy.folder());
    child.start(copy.program(), {QString::fromLatin1(kAsAccount), path});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    if (child.exitCode() == kCannotSwitch)
        QSKIP("cannot switch to a second account (uid 65534) here");
    const QByteArray said = child.readAllStandardOutput();
    if (secondWrites) {
        QVERIFY2(child.exitCode() == 0, said.constData());
        QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()) + ResultsDataLine(SecondRecord()));
    } else {
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(said.contains("Permission denied"), said.constData());
        QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));
    }
}

void TestResultsFile::withoutHardLinksHeaderComesWithTheFirstLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    const QByteArray a = ResultsDataLine(Record()), b = ResultsDataLine(SecondRecord());
    NoHardLinks();

    // Alone: header and line, no temporary file left behind.
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + a);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("r.res")});
    QVERIFY(QFile::remove(path));

    // A second player gets in between the creation and the creator's lock:
    // whoever writes first writes the header too.
    FsHooks().LockCall = HookedLock;
    bool secondWritten = false;
    g_beforeLock = [&] { secondWritten = AppendResultOnce(path, SecondRecord()) == TAppendOutcome::Written; };
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QVERIFY(secondWritten);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + b + a);
    QVERIFY(QFile::remove(path));

    // The first write fails after the creation: the file is left empty, and the
    // next attempt still puts the header in.
    FsHooks().DataSync = HookedSync;
    g_onSync = [](int fd) {
        if (!IsFile(fd, "r.res"))
            return RealFsHooks().DataSync(fd);
        errno = EIO;
        return -1;
    };
    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Failed);
    g_onSync = {};
    QVERIFY2(error.contains(QStringLiteral("write")), qPrintable(error));
    QCOMPARE(ReadAll(path), QByteArray());
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + a);

    // Where hard links work, an empty file is someone else's: no header.
    FsHooks() = RealFsHooks();
    WriteFile(path, QByteArray());
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), a);
}

void TestResultsFile::lockErrorsWithoutAHolder_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("written");
    QTest::newRow("EAGAIN") << EAGAIN << false;
    QTest::newRow("EACCES") << EACCES << false;
    // No lock manager on an NFS mount: nobody can hold the file, append anyway.
    QTest::newRow("ENOLCK") << ENOLCK << true;
    QTest::newRow("EOPNOTSUPP") << EOPNOTSUPP << true;
}

void TestResultsFile::lockErrorsWithoutAHolder()
{
    QFETCH(int, error);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    const QByteArray before = ResultsHeaderLine();
    WriteFile(path, before);
    g_lockError = error;
    FsHooks().LockCall = FailingLock;

    QString message;
    QCOMPARE(AppendResultOnce(path, Record(), &message), written ? TAppendOutcome::Written : TAppendOutcome::Failed);
    if (written) {
        QCOMPARE(ReadAll(path), before + ResultsDataLine(Record()));
        // A new file too.
        const QString fresh = dir.filePath(QStringLiteral("new.res"));
        QCOMPARE(AppendResultOnce(fresh, Record()), TAppendOutcome::Written);
        QCOMPARE(ReadAll(fresh), ResultsHeaderLine() + ResultsDataLine(Record()));
    } else {
        QVERIFY2(message.contains(QStringLiteral("locked by another writer")), qPrintable(message));
        QCOMPARE(ReadAll(path), before);
    }
}

void TestResultsFile::cutBackOnlyWhenTheEndIsOurs()
{
    // Locks that only hold on this computer: another one appends while our
    // line is on its way, and then our sync fails.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.res"));
    const QByteArray before = ResultsHeaderLine();
    const QByteArray other = ResultsDataLine(SecondRecord());
    WriteFile(path, before);
    FsHooks().DataSync = HookedSync;
    bool appended = false;
    g_onSync = [&](int) {
        if (appended) {
            errno = EIO;
            return -1;
        }
        appended = true;
        QFile elsewhere(path);
        if (!elsewhere.open(QIODevice::Append) || elsewhere.write(other) != other.size())
            return 0;  // the check below then fails
        elsewhere.close();
        errno = EIO;
        return -1;
    };
    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Failed);
    QVERIFY(!error.isEmpty());
    QCOMPARE(ReadAll(path), before + ResultsDataLine(Record()) + other);

    // Nobody else wrote: our bytes are taken back.
    g_onSync = [](int) {
        errno = EIO;
        return -1;
    };
    QCOMPARE(AppendResultOnce(path, SecondRecord(), &error), TAppendOutcome::Failed);
    QCOMPARE(ReadAll(path), before + ResultsDataLine(Record()) + other);
}

void TestResultsFile::backOffSpreadsAttemptsApart()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("нет/r.res"));
    QeClock::SeedRandom(20261207);
    const int series = 200;
    for (int i = 0; i < series; ++i)
        QVERIFY(!AppendResultSeries(path, Record()));
    // No back-off after the tenth attempt: the question comes at once.
    QCOMPARE(m_sleeps.size(), series * 9);
    std::set<int> distinct;
    QList<int> firstMax(9, 0);
    QList<qint64> sum(9, 0);
    for (int i = 0; i < m_sleeps.size(); ++i) {
        const int ms = m_sleeps[i], k = i % 9;
        QVERIFY2(ms >= 50 && ms <= 2000, QByteArray::number(ms).constData());
        distinct.insert(ms);
        firstMax[k] = std::max(firstMax[k], ms);
        sum[k] += ms;
    }
    // Drawn from a continuous range, not from a few steps players would share.
    QVERIFY2(distinct.size() > 500, QByteArray::number(qulonglong(distinct.size())).constData());
    // Early retries come soon, later ones spread wider.
    QVERIFY(firstMax[0] < 1000);
    QVERIFY(firstMax[8] > 1500);
    QVERIFY(sum[0] < sum[4] && sum[4] <= sum[8] + sum[8] / 10);
}

void TestResultsFile::plantedLinkIsNotFollowed_data()
{
    QTest::addColumn<bool>("hardLinks");
    QTest::addColumn<bool>("dangling");
    QTest::newRow("to a file") << true << false;
    QTest::newRow("to a file, no hard links") << false << false;
    QTest::newRow("to a missing file") << true << true;
    QTest::newRow("to a missing file, no hard links") << false << true;
}

void TestResultsFile::plantedLinkIsNotFollowed()
{
    QFETCH(bool, hardLinks);
    QFETCH(bool, dangling);
    QTemporaryDir home, shared;
    const QString victim = home.filePath(QStringLiteral("notes.txt"));
    if (!dangling)
        WriteFile(victim, "private\r\n");
    const QString path = shared.filePath(QStringLiteral("results.res"));
    QVERIFY(QFile::link(victim, path));
    if (!hardLinks)
        NoHardLinks();

    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Failed);
    QVERIFY2(error.contains(QStringLiteral("symbolic link")), qPrintable(error));
    if (dangling)
        QVERIFY(!QFileInfo::exists(victim));
    else
        QCOMPARE(ReadAll(victim), QByteArray("private\r\n"));
    QVERIFY(QFileInfo(path).isSymLink());
    QCOMPARE(QDir(shared.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("results.res")});
}

void TestResultsFile::locksThatStayLocalTakeALockFile_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("lockError");
    QTest::addColumn<bool>("hardLinks");
    QTest::addColumn<bool>("lockFileUsed");
    QTest::newRow("SMB nobrl") << QByteArray("cifs") << QByteArray("vers=3.1.1,nobrl") << 0 << true << true;
    QTest::newRow("SMB nobrl, no hard links") << QByteArray("cifs") << QByteArray("nobrl") << 0 << false << true;
    QTest::newRow("NFSv3 nolock") << QByteArray("nfs") << QByteArray("vers=3,nolock,local_lock=all") << 0 << true << true;
    QTest::newRow("NFS local_lock=posix") << QByteArray("nfs4") << QByteArray("local_lock=posix") << 0 << true << true;
    QTest::newRow("no lock manager") << QByteArray("nfs") << QByteArray("vers=3,local_lock=none") << ENOLCK << true << true;
    QTest::newRow("no lock manager, no hard links") << QByteArray("nfs") << QByteArray("vers=3") << ENOLCK << false << true;
    // The server enforces the locks but forgets them when restarted, while
    // writes are still in flight: the lock file is taken as well.
    QTest::newRow("SMB with locks") << QByteArray("cifs") << QByteArray("vers=3.1.1") << 0 << true << true;
    QTest::newRow("SMB3 type") << QByteArray("smb3") << QByteArray("vers=3.1.1") << 0 << true << true;
    // NFS servers let clients reclaim their locks after a restart: a lock
    // file is not needed and not looked at.
    QTest::newRow("NFS local_lock=flock") << QByteArray("nfs") << QByteArray("local_lock=flock") << 0 << true << false;
    QTest::newRow("NFSv4") << QByteArray("nfs4") << QByteArray("vers=4.2") << 0 << true << false;
}

void TestResultsFile::modesMadeUpByTheMount_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<bool>("madeUp");
    QTest::addColumn<QString>("fileMode");
    QTest::newRow("SMB3 as mounted by default") << QByteArray("cifs")
        << QByteArray("vers=3.1.1,cache=strict,nounix,file_mode=0755,dir_mode=0755") << true << QStringLiteral("0755");
    QTest::newRow("SMB3 POSIX extensions") << QByteArray("smb3") << QByteArray("vers=3.1.1,posix,file_mode=0755") << false << QString();
    QTest::newRow("SMB1 unix extensions") << QByteArray("cifs") << QByteArray("vers=1.0,unix") << false << QString();
    QTest::newRow("SMB with ACLs") << QByteArray("cifs") << QByteArray("cifsacl,file_mode=0644") << false << QString();
    QTest::newRow("NFS") << QByteArray("nfs4") << QByteArray("vers=4.2") << false << QString();
}

void TestResultsFile::modesMadeUpByTheMount()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, options);
    QFETCH(bool, madeUp);
    QFETCH(QString, fileMode);
    QTemporaryDir tmp;
    MountedAs(tmp, tmp.path(), type, options);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(tmp.path()).constData(), &st) == 0);
    QString mode;
    QCOMPARE(FileLocks::ModesFromMount(quint64(st.st_dev), &mode), madeUp);
    if (madeUp)
        QCOMPARE(mode, fileMode);
}

void TestResultsFile::locksThatStayLocalTakeALockFile()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, options);
    QFETCH(int, lockError);
    QFETCH(bool, hardLinks);
    QFETCH(bool, lockFileUsed);
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("share"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/r.res"), lock = path + QStringLiteral(".lock");
    MountedAs(tmp, folder, type, options);
    if (lockError) {
        g_lockError = lockError;
        FsHooks().LockCall = FailingLock;
    }
    if (!hardLinks)
        NoHardLinks();
    WriteFile(path, ResultsHeaderLine());

    // Another computer is in the middle of its append.
    PlantLockFile(lock, "pupil-07", 4242, 2);
    QString error;
    const TAppendOutcome outcome = AppendResultOnce(path, Record(), &error);
    if (!lockFileUsed) {
        QCOMPARE(outcome, TAppendOutcome::Written);
        QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));
        return;
    }
    QCOMPARE(outcome, TAppendOutcome::Failed);
    QVERIFY2(error.contains(QStringLiteral("locked by another writer")), qPrintable(error));
    QCOMPARE(ReadAll(path), ResultsHeaderLine());

    // It is done: our line goes in, and the lock file goes with us.
    QVERIFY(QFile::remove(lock));
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("r.res")});

    // A new file is made under the lock file too.
    QVERIFY(QFile::remove(path));
    QCOMPARE(AppendResultOnce(path, Record(), &error), TAppendOutcome::Written);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("r.res")});
}

void TestResultsFile::staleLockFilesAreBroken_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("broken");
    QTest::newRow("this host, process gone") << ThisHost() << qint64(2147483646) << 1 << true;
    QTest::newRow("this host, process alive") << ThisHost() << qint64(::getpid()) << 1 << false;
    QTest::newRow("other host, fresh") << QByteArray("pupil-07") << qint64(4242) << 20 << false;
    QTest::newRow("other host, five minutes old") << QByteArray("pupil-07") << qint64(4242) << 300 << true;
    QTest::newRow("empty, old") << QByteArray() << qint64(0) << 300 << true;
}

void TestResultsFile::staleLockFilesAreBroken()
{
    QFETCH(QByteArray, host);
    QFETCH(qint64, pid);
    QFETCH(int, age);
    QFETCH(bool, broken);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("r.res")), lock = path + QStringLiteral(".lock");
    g_lockError = ENOLCK;
    FsHooks().LockCall = FailingLock;
    WriteFile(path, ResultsHeaderLine());
    if (host.isEmpty()) {
        WriteFile(lock, QByteArray());  // its maker stopped between O_EXCL and its write
        MakeOld(lock, age);
    } else {
        PlantLockFile(lock, host, pid, age);
    }
    const QByteArray planted = ReadAll(lock);
    QCOMPARE(AppendResultOnce(path, Record()), broken ? TAppendOutcome::Written : TAppendOutcome::Failed);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + (broken ? ResultsDataLine(Record()) : QByteArray()));
    QCOMPARE(QFileInfo::exists(lock), !broken);
    if (!broken)
        QCOMPARE(ReadAll(lock), planted);
    QCOMPARE(QDir(tmp.path()).entryList({QStringLiteral(".res-*")}, QDir::Files | QDir::Hidden), QStringList());
}

void TestResultsFile::lineThatDoesNotReadBackIsPutRight_data()
{
    QTest::addColumn<bool>("zeroed");
    QTest::addColumn<bool>("serverDown");
    // The write was acknowledged, but the server has zeros where the line went.
    QTest::newRow("zeros read back") << true << false;
    // The server went away mid-write: the file grew by zeros nobody can cut
    // back now; the next attempt puts the line there.
    QTest::newRow("server down, zeros left") << true << true;
    // The line got there after all, but could not be confirmed then: it is
    // not written a second time.
    QTest::newRow("server down, line there") << false << true;
}

void TestResultsFile::lineThatDoesNotReadBackIsPutRight()
{
    QFETCH(bool, zeroed);
    QFETCH(bool, serverDown);
    const TSyncedFile file;
    const QString &path = file.Path;
    const QByteArray &line = file.Line, &before = file.Before;
    static qsizetype s_lineSize;
    static bool s_zeroed, s_serverDown;
    s_lineSize = line.size();
    s_zeroed = zeroed;
    s_serverDown = serverDown;
    g_onSync = [](int fd) {
        if (ResultsFd(fd) < 0)
            return RealFsHooks().DataSync(fd);
        if (s_zeroed)
            ZeroTail(fd, s_lineSize);
        if (!s_serverDown) {
            g_onSync = {};
            return RealFsHooks().DataSync(fd);
        }
        errno = EIO;
        return -1;
    };
    if (serverDown)
        FsHooks().Truncate = FailingTruncate;

    QList<QByteArray> seen;
    const bool written = AppendResultSeries(path, Record(), [&](int n) {
        seen << ReadAll(path);
        if (n == 1) {  // the server is back
            g_onSync = {};
            FsHooks() = RealFsHooks();
        }
    });
    QVERIFY(written);
    QCOMPARE(ReadAll(path), before + line);
    QCOMPARE(seen.size(), serverDown ? 2 : 1);
    if (serverDown)
        QCOMPARE(seen[1], before + (zeroed ? QByteArray(line.size(), '\0') : line));
}

void TestResultsFile::zerosALostWriteLeavesLaterAreFilled_data()
{
    QTest::addColumn<bool>("nextSeries");
    QTest::newRow("next attempt") << false;
    QTest::newRow("after the retry question") << true;
}

// A write is lost with its server and the file looks as before; once the
// server is back it grows by zeros where the line went. The line goes there,
// not after them.
void TestResultsFile::zerosALostWriteLeavesLaterAreFilled()
{
    QFETCH(bool, nextSeries);
    const TSyncedFile file;
    const QString &path = file.Path;
    const QByteArray &line = file.Line, &before = file.Before;
    static qsizetype s_lineSize;
    s_lineSize = line.size();
    g_onSync = [](int fd) {
        if (ResultsFd(fd) < 0)
            return RealFsHooks().DataSync(fd);
        struct stat st;
        if (::fstat(fd, &st) != 0 || ::ftruncate(fd, st.st_size - s_lineSize) != 0)
            return -1;
        errno = EIO;
        return -1;
    };
    const auto serverBack = [&] {
        g_onSync = {};
        FsHooks() = RealFsHooks();
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(line.size(), '\0'));
    };
    if (nextSeries) {
        QVERIFY(!AppendResultSeries(path, Record(), {}, {}, 1));
        QCOMPARE(ReadAll(path), before);
        serverBack();
        QVERIFY(AppendResultSeries(path, Record()));
    } else {
        QVERIFY(AppendResultSeries(path, Record(), [&](int n) {
            if (n == 1)
                serverBack();
        }));
    }
    QCOMPARE(ReadAll(path), before + line);
}

void TestResultsFile::replacedFolderIsNotWrittenTo()
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("share"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/r.res");
    const TResultsFolder atStart = ResultsFolderOf(path);
    QVERIFY(atStart.Known);
    QCOMPARE(AppendResultOnce(path, Record(), nullptr, atStart), TAppendOutcome::Written);

    // The share goes; the mount point beneath is an empty local folder.
    QVERIFY(QDir().rename(folder, tmp.filePath(QStringLiteral("gone"))));
    QVERIFY(QDir().mkdir(folder));
    QString error;
    QVERIFY(!AppendResultSeries(path, Record(), {}, {}, 2, atStart));
    QCOMPARE(AppendResultOnce(path, Record(), &error, atStart), TAppendOutcome::Failed);
    QVERIFY2(error.contains(QStringLiteral("no longer the one")), qPrintable(error));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // Back at its place, it is written again.
    QVERIFY(QDir().rmdir(folder));
    QVERIFY(QDir().rename(tmp.filePath(QStringLiteral("gone")), folder));
    QVERIFY(AppendResultSeries(path, Record(), {}, {}, 1, atStart));
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()) + ResultsDataLine(Record()));
}

namespace {
std::atomic<int> g_hangs{0};
std::atomic<bool> g_release{false}, g_returned{false};
int HangingLock(int fd, int cmd, struct flock *fl)
{
    if (fl->l_type == F_WRLCK && g_hangs.fetch_sub(1) > 0) {
        // A hard NFS mount whose lock manager stopped answering, for at most 10 s.
        for (int i = 0; i < 1000 && !g_release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        g_returned = true;
    }
    return RealFsHooks().LockCall(fd, cmd, fl);
}
}

// The share goes between the look at the folder and the open of the file,
// which then finds one on the local disk beneath the mount point.
void TestResultsFile::folderGoneJustBeforeTheOpen()
{
    QTemporaryDir tmp;
    static QByteArray s_folder, s_gone;
    s_folder = QFile::encodeName(tmp.filePath(QStringLiteral("share")));
    s_gone = QFile::encodeName(tmp.filePath(QStringLiteral("gone")));
    QVERIFY(::mkdir(s_folder.constData(), 0777) == 0);
    const QString path = QFile::decodeName(s_folder) + QStringLiteral("/r.res");
    const TResultsFolder atStart = ResultsFolderOf(path);
    FsHooks().Link = [](const char *from, const char *to) {
        const int rc = RealFsHooks().Link(from, to);
        if (QByteArray(to).endsWith("/r.res") && ::rename(s_folder.constData(), s_gone.constData()) == 0
            && ::mkdir(s_folder.constData(), 0777) == 0)
            WriteFile(QFile::decodeName(s_folder) + QStringLiteral("/r.res"), ResultsHeaderLine());
        return rc;
    };
    QString error;
    QCOMPARE(AppendResultOnce(path, Record(), &error, atStart), TAppendOutcome::Failed);
    QVERIFY2(error.contains(QStringLiteral("no longer the one")), qPrintable(error));
    QCOMPARE(ReadAll(path), ResultsHeaderLine());
    QCOMPARE(ReadAll(QFile::decodeName(s_gone) + QStringLiteral("/r.res")), ResultsHeaderLine());
}

void TestResultsFile::hungAttemptIsGivenUp()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("r.res"));
    WriteFile(path, ResultsHeaderLine());
    g_hangs = 1;
    g_release = g_returned = false;
    FsHooks().LockCall = HangingLock;
    int pumps = 0;
    QList<int> attempts;
    QElapsedTimer timer;
    timer.start();
    const bool written = AppendResultSeries(path, Record(), [&](int n) { attempts << n; }, [&] { ++pumps; }, 3, {}, 300);
    const qint64 took = timer.elapsed();
    g_release = true;
    QVERIFY(written);
    QVERIFY2(took < 3000, QByteArray::number(took).constData());
    QCOMPARE(attempts, (QList<int>{0, 1}));
    QVERIFY2(pumps >= 5, QByteArray::number(pumps).constData());  // the window kept being served
    // The given-up attempt, once its call returns, writes nothing.
    QTRY_VERIFY_WITH_TIMEOUT(g_returned.load(), 15000);
    QTest::qWait(200);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));
}

namespace {
std::atomic<int> g_slowSyncs{0};
int SlowSync(int fd)
{
    // A server that went away in the middle of the write, back after a while.
    if (g_slowSyncs.fetch_sub(1) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    return RealFsHooks().DataSync(fd);
}
}

void TestResultsFile::writeOutlastingItsAttemptIsWaitedFor()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("r.res"));
    WriteFile(path, ResultsHeaderLine());
    g_slowSyncs = 1;
    FsHooks().DataSync = SlowSync;
    QList<int> attempts;
    QVERIFY(AppendResultSeries(path, Record(), [&](int n) { attempts << n; }, {}, 10, {}, 200));
    QVERIFY2(attempts.size() >= 2, QByteArray::number(attempts.size()).constData());
    QTest::qWait(900);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()));

    // Across series too: the retry after the question waits for the same write.
    g_slowSyncs = 1;
    TResultRecord second = Record();
    second.LastName = QStringLiteral("Петров");
    QVERIFY(!AppendResultSeries(path, second, {}, {}, 1, {}, 200));
    QVERIFY(AppendResultSeries(path, second, {}, {}, 10, {}, 200));
    QTest::qWait(900);
    QCOMPARE(ReadAll(path), ResultsHeaderLine() + ResultsDataLine(Record()) + ResultsDataLine(second));
}

void TestResultsFile::oldTemporaryFilesAreRemoved()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("r.res"));
    const QStringList old{QStringLiteral(".res-4242-1f3a.tmp"), QStringLiteral(".res-4242-77.lnk"),
                          QStringLiteral(".res-17-a0.lck")};
    const QStringList kept{QStringLiteral(".res-4242-1f3b.tmp"), QStringLiteral("notes.tmp"),
                           QStringLiteral(".res-notes.txt")};
    for (const QString &name : old + kept) {
        WriteFile(tmp.filePath(name), "x");
        if (name != kept.first())
            MakeOld(tmp.filePath(name), 3600);
    }
    QCOMPARE(AppendResultOnce(path, Record()), TAppendOutcome::Written);
    QStringList expected = kept + QStringList{QStringLiteral("r.res")};
    expected.sort();
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], kHoldLock) == 0)
        return HoldLock(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], kWriter) == 0)
        return Writer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 3 && std::strcmp(argv[1], kSizeLimited) == 0)
        return SizeLimited(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], kAsAccount) == 0)
        return AsAccount(argv[2]);
    TestResultsFile tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_ResultsFile.moc"
