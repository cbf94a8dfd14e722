// The recovery store: copies equal to a save, descriptions read within their
// bounds, copies of running editors kept apart from those of ended ones, and
// damaged or hostile files listed as damaged.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "CopySchedule.h"
#include "CopyWriter.h"
#include "RecoveryStore.h"

using namespace Recovery;

namespace {
TQuestionList SampleQuestions(int n)
{
    TQuestionList list;
    for (int i = 0; i < n; ++i) {
        auto q = std::make_shared<TNQuestion>();
        q->PlainLines.Add(QStringLiteral("Вопрос %1").arg(i));
        q->Body = QByteArray(100 + i, char('a' + i % 26));
        q->Variants = {QStringLiteral("да"), QStringLiteral("нет")};
        q->RightMarks = QStringLiteral("! ");
        list.push_back(q);
    }
    return list;
}

TSnapshot Sample(int n, const QString &original = QStringLiteral("/tmp/тест.qe2"))
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("secret");
    return TakeSnapshot(info, SampleQuestions(n), original, QStringLiteral("тест"), TFileStamp{true, 1, 2, 3, 4});
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

void writeBytes(const QString &path, const QByteArray &b)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(b);
}

// An ended editor's copy, as a crash leaves it: the files, no lock held.
QString PlantOrphan(const QString &folder, const QString &id, int questions)
{
    TRecoveryStore other(folder);
    TSnapshot s = Sample(questions);
    other.Write(s);
    QFile::rename(other.OwnCopyPath(), folder + u'/' + id + CopySuffix);
    QFile::rename(folder + u'/' + other.id() + DescriptionSuffix, folder + u'/' + id + DescriptionSuffix);
    return folder + u'/' + id + CopySuffix;
}
}  // namespace

class tst_RecoveryStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void descriptionRoundTrip();
    void hostileDescriptions_data();
    void hostileDescriptions();
    void copyEqualsSave();
    void runningEditorsAreNotOffered();
    void orphanAdoptedAndDiscarded();
    void damagedEntries();
    void writerRemovesAfterWrite();
    void schedule();
    void stampSeesReplacement();
    void defaultFolder();
};

void tst_RecoveryStore::descriptionRoundTrip()
{
    TDescription d;
    d.OriginalPath = QStringLiteral("/home/учитель/Тесты/физика.qe2");
    d.Title = QStringLiteral("физика");
    d.Time = QDateTime(QDate(2026, 12, 10), QTime(9, 15, 30, 123), Qt::UTC);
    d.Pid = 4242;
    d.Host = QStringLiteral("class-7");
    d.CopySize = 12345678901;
    QVERIFY(!ReadDescription(WriteDescription(d)));  // past the largest copy there may be
    d.CopySize = 123456789;
    d.Original = {true, ~quint64(0), 77, 1765350000123456789, 99};
    const std::optional<TDescription> back = ReadDescription(WriteDescription(d));
    QVERIFY(back);
    QCOMPARE(*back, d);
    d.Original = TFileStamp();
    d.OriginalPath.clear();
    QCOMPARE(*ReadDescription(WriteDescription(d)), d);
}

void tst_RecoveryStore::hostileDescriptions_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = WriteDescription(Sample(1).Description);
    auto with = [&](const char *from, const QByteArray &to) {
        if (!good.contains(from))
            qFatal("no %s in the sample description", from);
        return QByteArray(good).replace(from, to);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not json") << QByteArray("\x00\xff{{", 4);
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("cut") << good.left(good.size() / 2);
    QTest::newRow("format 2") << with("\"format\": 1", "\"format\": 2");
    QTest::newRow("format text") << with("\"format\": 1", "\"format\": \"1\"");
    QTest::newRow("relative original") << with("/tmp/", "../../");
    QTest::newRow("huge original") << with("/tmp/", "/" + QByteArray(MaxPathChars + 10, 'x') + "/");
    QTest::newRow("huge size") << with("\"copySize\": \"0\"", "\"copySize\": \"99999999999999999999\"");
    QTest::newRow("negative pid") << with("\"pid\": \"0\"", "\"pid\": \"-5\"");
    QTest::newRow("stamp not object") << with("\"originalStamp\": {", "\"originalStamp\": 5, \"x\": {");
    QTest::newRow("over 64 KB") << QByteArray(good).insert(1, "\"pad\": \"" + QByteArray(MaxDescriptionBytes, ' ') + "\",");
}

void tst_RecoveryStore::hostileDescriptions()
{
    QFETCH(QByteArray, bytes);
    QString why;
    QVERIFY(!ReadDescription(bytes, &why));
    QVERIFY(!why.isEmpty());
}

void tst_RecoveryStore::copyEqualsSave()
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("state/quizengine2/recovery"));
    TRecoveryStore store(folder);
    QVERIFY(!store.HasOwnCopy());
    TSnapshot s = Sample(20);
    TTestInfo info = s.Header;
    const QByteArray saved = SaveTestToBytes(info, s.Questions);
    store.Write(s);
    QFile copy(store.OwnCopyPath());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), saved);
    QCOMPARE(modeOf(store.OwnCopyPath()), 0600);
    QCOMPARE(modeOf(folder), 0700);
    QCOMPARE(s.Description.CopySize, saved.size());
    QCOMPARE(s.Description.Pid, QCoreApplication::applicationPid());
    // Written again over the first, nothing left beside it.
    store.Write(s);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3);  // copy, description, lock
    store.RemoveOwn();
    QVERIFY(!store.HasOwnCopy());
}

void tst_RecoveryStore::runningEditorsAreNotOffered()
{
    QTemporaryDir tmp;
    auto a = std::make_unique<TRecoveryStore>(tmp.path());
    TRecoveryStore b(tmp.path());
    TSnapshot s = Sample(3);
    a->Write(s);
    b.Write(s);
    // Each holds its lock: neither sees the other's copy, nor its own.
    QVERIFY(a->ListOrphans().empty());
    QVERIFY(b.ListOrphans().empty());
    // An orderly end takes the copy and the lock with it.
    a.reset();
    QVERIFY(b.ListOrphans().empty());
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), 3);
}

void tst_RecoveryStore::orphanAdoptedAndDiscarded()
{
    QTemporaryDir tmp;
    PlantOrphan(tmp.path(), QStringLiteral("111-aaaa"), 4);
    PlantOrphan(tmp.path(), QStringLiteral("222-bbbb"), 5);
    // A lock file nobody holds says the editor ended.
    writeBytes(tmp.filePath(QStringLiteral("111-aaaa.lock")), QByteArray());
    // Half-written files of writes a crash cut short: never listed, gone with their copy.
    writeBytes(tmp.filePath(QStringLiteral("111-aaaa.qe2.tmp5eed")), "half");
    writeBytes(tmp.filePath(QStringLiteral("222-bbbb.json.tmpf00d")), "{");
    TRecoveryStore store(tmp.path());
    std::vector<TEntry> list = store.ListOrphans();
    QCOMPARE(list.size(), size_t(2));
    for (const TEntry &e : list) {
        QVERIFY2(!e.Damaged, qPrintable(e.Problem));
        QCOMPARE(e.Description.OriginalPath, QStringLiteral("/tmp/тест.qe2"));
        QCOMPARE(e.Description.Title, QStringLiteral("тест"));
        QCOMPARE(e.Description.Original, (TFileStamp{true, 1, 2, 3, 4}));
    }
    const TEntry first = list[0];
    QVERIFY(store.Adopt(first));
    QVERIFY(store.HasOwnCopy());
    TTestInfo info;
    TQuestionList read;
    QVERIFY(LoadTestFromFile(store.OwnCopyPath(), info, read).Ok);
    QCOMPARE(info.Password, QStringLiteral("secret"));
    list = store.ListOrphans();
    QCOMPARE(list.size(), size_t(1));
    QVERIFY(list[0].Id != first.Id);
    QVERIFY(store.Discard(list[0]));
    QVERIFY(store.ListOrphans().empty());
    // Only this editor's adopted copy and its lock are left.
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), 3);
}

void tst_RecoveryStore::damagedEntries()
{
    QTemporaryDir tmp;
    const QString f = tmp.path() + u'/';
    const QString good = PlantOrphan(tmp.path(), QStringLiteral("1-good"), 2);
    PlantOrphan(tmp.path(), QStringLiteral("2-cut"), 2);
    QFile::resize(f + QStringLiteral("2-cut.qe2"), 20);
    PlantOrphan(tmp.path(), QStringLiteral("3-garbage"), 2);
    QFile(f + QStringLiteral("3-garbage.qe2")).open(QIODevice::ReadWrite);
    {
        QFile g(f + QStringLiteral("3-garbage.qe2"));
        QVERIFY(g.open(QIODevice::ReadWrite));
        g.write("garbage!");
    }
    writeBytes(f + QStringLiteral("4-nocopy.json"), WriteDescription(Sample(1).Description));
    writeBytes(f + QStringLiteral("5-nodesc.qe2"), QByteArray("x"));
    writeBytes(f + QStringLiteral("6-huge.json"), QByteArray(MaxDescriptionBytes + 1, ' '));
    writeBytes(f + QStringLiteral("6-huge.qe2"), QByteArray());
    QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), f + QStringLiteral("7-link.json")));
    QVERIFY(QFile::link(good, f + QStringLiteral("7-link.qe2")));
    writeBytes(f + QStringLiteral("*.json"), QByteArray("{}"));
    QDir(tmp.path()).mkdir(QStringLiteral("8-dir.json"));
    TRecoveryStore store(tmp.path());
    const std::vector<TEntry> list = store.ListOrphans();
    QStringList damaged, fine;
    for (const TEntry &e : list)
        (e.Damaged ? damaged : fine).append(e.Id);
    QCOMPARE(fine, QStringList{QStringLiteral("1-good")});
    damaged.sort();
    QCOMPARE(damaged, (QStringList{QStringLiteral("*"), QStringLiteral("2-cut"), QStringLiteral("3-garbage"),
                                   QStringLiteral("4-nocopy"), QStringLiteral("5-nodesc"), QStringLiteral("6-huge"),
                                   QStringLiteral("7-link"), QStringLiteral("8-dir")}));
    // Removing a damaged link removes the link, not what it leads to.
    for (const TEntry &e : list)
        if (e.Id == QStringLiteral("7-link"))
            QVERIFY(store.Discard(e));
    QVERIFY(QFile::exists(good));
    QVERIFY(QFile::exists(QStringLiteral("/etc/passwd")));
}

void tst_RecoveryStore::writerRemovesAfterWrite()
{
    QTemporaryDir tmp;
    TRecoveryStore store(tmp.path());
    TCopyWriter writer(store);
    QSignalSpy spy(&writer, &TCopyWriter::written);
    writer.Submit(Sample(50));
    writer.WaitForIdle();
    QVERIFY(store.HasOwnCopy());
    QVERIFY(spy.wait(5000) || spy.count() == 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    // A removal while a write is under way waits for it and leaves nothing.
    writer.Submit(Sample(200));
    writer.RemoveCopy();
    QVERIFY(!store.HasOwnCopy());
    writer.WaitForIdle();
    QVERIFY(!store.HasOwnCopy());
}

void tst_RecoveryStore::schedule()
{
    TCopySchedule s;
    QVERIFY(!s.isDue(100000));
    s.edited(1000);
    QVERIFY(!s.isDue(2999));
    QVERIFY(s.isDue(3000));
    s.copied(3000);
    // The next edit waits for the pause and the minute since the last copy.
    s.edited(4000);
    QVERIFY(!s.isDue(6000));
    QVERIFY(!s.isDue(62999));
    QVERIFY(s.isDue(63000));
    s.edited(62000);
    QVERIFY(!s.isDue(63999));
    QVERIFY(s.isDue(64000));
    s.clear();
    QVERIFY(!s.isDue(100000));
    s.setIntervalMinutes(0);
    s.edited(200000);
    QVERIFY(s.isOff());
    QVERIFY(!s.isDue(10000000));
    s.setIntervalMinutes(99);  // held to the most there is
    QVERIFY(!s.isDue(3000 + 30 * 60000 - 1));
    QVERIFY(s.isDue(3000 + 30 * 60000));
}

void tst_RecoveryStore::stampSeesReplacement()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("t.qe2"));
    QVERIFY(!TFileStamp::Of(path).Exists);
    writeBytes(path, "one");
    const TFileStamp first = TFileStamp::Of(path);
    QVERIFY(first.Exists);
    QCOMPARE(TFileStamp::Of(path), first);
    // The same size and, on a coarse clock, the same time: a new file all the same.
    writeBytes(path + QStringLiteral(".new"), "two");
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
    QVERIFY(TFileStamp::Of(path) != first);
}

void tst_RecoveryStore::defaultFolder()
{
    qputenv("XDG_STATE_HOME", "/x/state");
    QCOMPARE(DefaultFolder(), QStringLiteral("/x/state/quizengine2/recovery"));
    qputenv("XDG_STATE_HOME", "relative/state");
    QCOMPARE(DefaultFolder(), QDir::homePath() + QStringLiteral("/.local/state/quizengine2/recovery"));
    qunsetenv("XDG_STATE_HOME");
}

QTEST_GUILESS_MAIN(tst_RecoveryStore)
#include "tst_RecoveryStore.moc"
