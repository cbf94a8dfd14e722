// Where journals live and how they are replaced: private folders, atomic
// replacement, no links followed, set aside without loss, one lock per run.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "FsHooks.h"
#include "JournalStore.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
TRunJournal Journal(quint16 secondsLeft)
{
    TRunJournal j;
    j.TestHash = TestHash("t");
    j.TestPath = QStringLiteral("/t.qe2");
    j.LastName = QStringLiteral("Петров");
    j.SecondsLeft = secondsLeft;
    j.Items = {{0, {1, 0}, QStringLiteral(" !")}};
    return j;
}

int Mode(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QStringList Entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int FailingSync(int) { errno = EIO; return -1; }
}

class tst_JournalStore : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString Runs() const { return m_dir.filePath(QStringLiteral("state/quizengine2/runs")); }

private Q_SLOTS:
    void init() { QDir(m_dir.filePath(QStringLiteral("state"))).removeRecursively(); }

    void defaultFolderFollowsTheBaseDirectoryRules()
    {
        qputenv("XDG_STATE_HOME", "/srv/state");
        QCOMPARE(TJournalStore::DefaultFolder(), QStringLiteral("/srv/state/quizengine2/runs"));
        qputenv("XDG_STATE_HOME", "relative/state");
        qputenv("HOME", "/home/pupil");
        QCOMPARE(TJournalStore::DefaultFolder(), QStringLiteral("/home/pupil/.local/state/quizengine2/runs"));
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(TJournalStore::DefaultFolder(), QStringLiteral("/home/pupil/.local/state/quizengine2/runs"));
        QVERIFY(TJournalStore::FileNameFor("a\nb") != TJournalStore::FileNameFor("a\nc"));
        QVERIFY(TJournalStore::FileNameFor("a\nb").startsWith(QLatin1String("run-")));
    }

    void writeReadAndPrivate()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QString error;
        QVERIFY2(store.Open(&error), qPrintable(error));
        TRunJournal back;
        QCOMPARE(store.Load(back), TJournalStore::TLoad::None);
        QVERIFY(store.WriteNow(Journal(100)));
        QCOMPARE(store.Load(back), TJournalStore::TLoad::Loaded);
        QCOMPARE(back, Journal(100));
        QCOMPARE(Mode(store.Path()), 0600);
        QCOMPARE(Mode(Runs()), 0700);
        QCOMPARE(Mode(QFileInfo(Runs()).path()), 0700);
        QCOMPARE(Mode(store.InterruptedFolder()), 0700);
        // Nothing beside it but the journal (the lock file comes with Lock()).
        QCOMPARE(Entries(Runs()), QStringList{TJournalStore::FileNameFor(QStringLiteral("id"))});
    }

    // A folder of ours that someone opened up is closed again.
    void folderModesAreMended()
    {
        QVERIFY(QDir().mkpath(Runs()));
        ::chmod(QFile::encodeName(Runs()).constData(), 0777);
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        QCOMPARE(Mode(Runs()), 0700);
    }

    void theLastSubmitIsWhatStays()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        for (quint16 s = 1; s <= 200; ++s)
            store.Submit(Journal(s));
        QVERIFY(store.Flush());
        TRunJournal back;
        QCOMPARE(store.Load(back), TJournalStore::TLoad::Loaded);
        QCOMPARE(back.SecondsLeft, quint16(200));
        QCOMPARE(Entries(Runs()).size(), 1);
    }

    void aFailedSyncKeepsTheOldJournal()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        QVERIFY(store.WriteNow(Journal(10)));
        FsHooks().DataSync = FailingSync;
        const bool ok = store.WriteNow(Journal(20));
        store.Submit(Journal(30));
        const bool flushed = store.Flush();
        FsHooks() = RealFsHooks();
        QVERIFY(!ok);
        QVERIFY(!flushed);
        QVERIFY(store.LastError().contains(QLatin1String("fdatasync")));
        TRunJournal back;
        QCOMPARE(store.Load(back), TJournalStore::TLoad::Loaded);
        QCOMPARE(back.SecondsLeft, quint16(10));
        QCOMPARE(Entries(Runs()).size(), 1);
    }

    void setAsideKeepsEveryJournal()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        QVERIFY(store.WriteNow(Journal(1)));
        const QString first = store.SetAside();
        QVERIFY(store.WriteNow(Journal(2)));
        const QString second = store.SetAside();
        QVERIFY(!first.isEmpty());
        QVERIFY(!second.isEmpty());
        QVERIFY(first != second);
        QCOMPARE(Entries(store.InterruptedFolder()).size(), 2);
        QCOMPARE(QFileInfo(first).path(), store.InterruptedFolder());
        TRunJournal back;
        QCOMPARE(store.Load(back), TJournalStore::TLoad::None);
        QVERIFY(store.SetAside().isEmpty());
        QFile f(second);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(ReadJournal(f.readAll()).SecondsLeft, quint16(2));
    }

    void removeEndsTheRun()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        store.Submit(Journal(5));
        QVERIFY(store.Remove());
        TRunJournal back;
        QCOMPARE(store.Load(back), TJournalStore::TLoad::None);
    }

    // A link under the journal's name is neither read nor written through:
    // the file it leads to stays as it was.
    void linksAreNotFollowed()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        const QString victim = m_dir.filePath(QStringLiteral("victim"));
        {
            QFile v(victim);
            QVERIFY(v.open(QIODevice::WriteOnly));
            v.write(WriteJournal(Journal(7)));
        }
        QVERIFY(QFile::link(victim, store.Path()));
        TRunJournal back;
        QString reason;
        QCOMPARE(store.Load(back, &reason), TJournalStore::TLoad::Bad);
        QVERIFY2(reason.contains(QLatin1String("link")), qPrintable(reason));
        QVERIFY(store.WriteNow(Journal(8)));
        QFile v(victim);
        QVERIFY(v.open(QIODevice::ReadOnly));
        QCOMPARE(ReadJournal(v.readAll()).SecondsLeft, quint16(7));
        QVERIFY(!QFileInfo(store.Path()).isSymLink());
        // A link left as the temporary name is not written through either.
        QVERIFY(QFile::link(victim, store.Path() + QStringLiteral(".new")));
        QVERIFY(store.WriteNow(Journal(9)));
        QVERIFY(QFileInfo(victim).size() > 0);
        QCOMPARE(store.Load(back), TJournalStore::TLoad::Loaded);
        QCOMPARE(back.SecondsLeft, quint16(9));
    }

    void aLinkedFolderIsRefused()
    {
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QDir().mkpath(QFileInfo(Runs()).path()));
        QVERIFY(QFile::link(elsewhere, Runs()));
        TJournalStore store(Runs(), QStringLiteral("id"));
        QString error;
        QVERIFY(!store.Open(&error));
        QVERIFY2(error.contains(QLatin1String("runs")), qPrintable(error));
        QVERIFY(!store.WriteNow(Journal(1)));
        QCOMPARE(Entries(elsewhere), QStringList{});
    }

    void otherFilesUnderTheName()
    {
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        QVERIFY(::mkfifo(QFile::encodeName(store.Path()).constData(), 0600) == 0);
        TRunJournal back;
        QString reason;
        QCOMPARE(store.Load(back, &reason), TJournalStore::TLoad::Bad);
        QVERIFY(reason.contains(QLatin1String("regular")));
        QVERIFY(!store.SetAside().isEmpty());
        // Damaged bytes say what is wrong.
        QFile f(store.Path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(WriteJournal(Journal(3)).left(40));
        f.close();
        QCOMPARE(store.Load(back, &reason), TJournalStore::TLoad::Bad);
        QVERIFY2(reason.contains(QLatin1String("byte")), qPrintable(reason));
    }

    // Root can make files of another account; others cannot, so the check is root's.
    void anotherAccountsFilesAreRefused()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to give a file to another account");
        TJournalStore store(Runs(), QStringLiteral("id"));
        QVERIFY(store.Open());
        QVERIFY(store.WriteNow(Journal(4)));
        QVERIFY(::chown(QFile::encodeName(store.Path()).constData(), 65534, 65534) == 0);
        TRunJournal back;
        QString reason;
        QCOMPARE(store.Load(back, &reason), TJournalStore::TLoad::Bad);
        QVERIFY(reason.contains(QLatin1String("another account")));
        QVERIFY(::chown(QFile::encodeName(Runs()).constData(), 65534, 65534) == 0);
        TJournalStore other(Runs(), QStringLiteral("id"));
        QString error;
        QVERIFY(!other.Open(&error));
        QVERIFY2(error.contains(QLatin1String("another account")), qPrintable(error));
    }

    void oneLockPerRun()
    {
        TJournalStore a(Runs(), QStringLiteral("id")), b(Runs(), QStringLiteral("id")), c(Runs(), QStringLiteral("other"));
        QVERIFY(a.Open() && b.Open() && c.Open());
        QCOMPARE(a.Lock(), TJournalStore::TLock::Taken);
        QCOMPARE(b.Lock(), TJournalStore::TLock::Held);
        QCOMPARE(c.Lock(), TJournalStore::TLock::Taken);
        {
            TJournalStore gone(Runs(), QStringLiteral("again"));
            QVERIFY(gone.Open());
            QCOMPARE(gone.Lock(), TJournalStore::TLock::Taken);
        }
        TJournalStore after(Runs(), QStringLiteral("again"));
        QVERIFY(after.Open());
        QCOMPARE(after.Lock(), TJournalStore::TLock::Taken);
    }

    void findsAWrittenLine()
    {
        const QString res = m_dir.filePath(QStringLiteral("r.res"));
        QFile f(res);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("header\r\n10.12.26\t9:05\tT\tA\tB\tC\t\t1\t2\t50,00\r\nnext\r\n");
        f.close();
        QVERIFY(ResultsFileHoldsLine(res, "10.12.26\t9:05\tT\tA\tB\tC\t\t1\t2\t50,00\r\n"));
        QVERIFY(!ResultsFileHoldsLine(res, "10.12.26\t9:06\tT\tA\tB\tC\t\t1\t2\t50,00\r\n"));
        QVERIFY(!ResultsFileHoldsLine(m_dir.filePath(QStringLiteral("missing.res")), "x"));
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.res"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(!ResultsFileHoldsLine(fifo, "x"));
    }
};

QTEST_GUILESS_MAIN(tst_JournalStore)
#include "tst_JournalStore.moc"
