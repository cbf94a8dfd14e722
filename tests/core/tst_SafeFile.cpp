// Writing through a temporary and a rename: where the new file lands and
// which folder is synced so that the rename survives a power cut.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "QeErrors.h"
#include "SafeFile.h"

#include <sys/stat.h>

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
    void cleanup() { SafeFile::SetFolderSyncObserver({}); }

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
