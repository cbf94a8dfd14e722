// Resources carried in a trailer at the end of a program file.
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "QeErrors.h"
#include "ResourceTrailer.h"
#include "testutil_core.h"

#include <sys/stat.h>

using namespace ResourceTrailer;

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray programBytes()
{
    QByteArray b("\x7f" "ELF fake program ");
    QRandomGenerator rng(5);
    for (int i = 0; i < 100000; ++i)
        b.append(char(rng.bounded(256)));
    return b;
}

const QByteArray TestBytes = QByteArray("KMQuizEngineFile") + QByteArray(3000, 'q');
const QByteArray NameBytes("C:\\Tests\\\xd2\xe5\xf1\xf2.qe2", 18);
}

class TstResourceTrailer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void roundTrip();
    void exportAgainReplaces();
    void noTrailer();
    void damagedTrailers_data();
    void damagedTrailers();
    void randomDamageNeverMisleads();
    void failedWriteLeavesNothing();
    void exportKeepsOnlyPermissionBits();
private:
    QTemporaryDir m_dir;
    QString m_program;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TstResourceTrailer::initTestCase()
{
    m_program = path(QStringLiteral("Quizrunner"));
    writeFile(m_program, programBytes());
    QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                         | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

void TstResourceTrailer::roundTrip()
{
    const QString out = path(QStringLiteral("exported"));
    AddResources(m_program, out, {{"TEST", TestBytes}, {"TEST_FILE_NAME", NameBytes + '\0'}});
    const QByteArray bytes = readFile(out);
    QVERIFY(bytes.startsWith(programBytes()));
    QCOMPARE(FindResource(out, QStringLiteral("TEST")), std::optional<QByteArray>(TestBytes));
    QCOMPARE(FindResource(out, QStringLiteral("test_file_name")), std::optional<QByteArray>(NameBytes + '\0'));
    QCOMPARE(FindResource(out, QStringLiteral("OTHER")), std::nullopt);
    QVERIFY(QFileInfo(out).permissions().testFlag(QFile::ExeOwner));
    QCOMPARE(QFileInfo(out).permissions(), QFileInfo(m_program).permissions());
    const QList<TResource> all = ReadAll(out);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].first, QStringLiteral("TEST"));
    // Footer at the very end, as documented.
    QCOMPARE(bytes.right(8), QByteArray("QERSRC\x1a\x01"));
    QCOMPARE(bytes.size(), programBytes().size() + TestBytes.size() + NameBytes.size() + 1
                               + 2 * 26 + 4 + 14 + 40);
}

void TstResourceTrailer::exportAgainReplaces()
{
    const QString first = path(QStringLiteral("first"));
    const QString second = path(QStringLiteral("second"));
    AddResources(m_program, first, {{"TEST", TestBytes}, {"TEST_FILE_NAME", NameBytes}, {"EXTRA", "keep me"}});
    AddResources(first, second, {{"test", "new test"}});
    QCOMPARE(FindResource(second, QStringLiteral("TEST")), std::optional<QByteArray>("new test"));
    QCOMPARE(FindResource(second, QStringLiteral("TEST_FILE_NAME")), std::optional<QByteArray>(NameBytes));
    QCOMPARE(FindResource(second, QStringLiteral("EXTRA")), std::optional<QByteArray>("keep me"));
    QCOMPARE(ReadAll(second).size(), 3);
    // The program part is not grown by repeated exports.
    QVERIFY(readFile(second).startsWith(programBytes()));
    QCOMPARE(readFile(second).size(), readFile(first).size() - TestBytes.size() + 8);

    // Exporting a file onto itself.
    AddResources(second, second, {{"TEST", TestBytes}});
    QCOMPARE(FindResource(second, QStringLiteral("TEST")), std::optional<QByteArray>(TestBytes));
    QCOMPARE(FindResource(second, QStringLiteral("EXTRA")), std::optional<QByteArray>("keep me"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("second")),
             QStringList{"second"});
}

void TstResourceTrailer::noTrailer()
{
    QCOMPARE(FindResource(m_program, QStringLiteral("TEST")), std::nullopt);
    QVERIFY(ReadAll(m_program).isEmpty());
    QCOMPARE(FindResource(path(QStringLiteral("missing")), QStringLiteral("TEST")), std::nullopt);
    const QString tiny = path(QStringLiteral("tiny"));
    writeFile(tiny, "QERSRC\x1a\x01");
    QCOMPARE(FindResource(tiny, QStringLiteral("TEST")), std::nullopt);
}

void TstResourceTrailer::damagedTrailers_data()
{
    QTest::addColumn<int>("offsetFromEnd");  // where the little-endian value goes, counted from the end
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("value");
    // Footer fields, counted back from the end of the file.
    QTest::newRow("magic") << 1 << 1 << qint64(0x02);
    QTest::newRow("format version") << 16 << 4 << qint64(2);
    QTest::newRow("directory size too big") << 24 << 4 << qint64(0x7FFFFFFF);
    QTest::newRow("directory size short") << 24 << 4 << qint64(10);
    QTest::newRow("entry count huge") << 20 << 4 << qint64(0xFFFFFFFF);
    QTest::newRow("entry count one more") << 20 << 4 << qint64(2);
    QTest::newRow("directory offset beyond file") << 32 << 8 << qint64(0x7FFFFFFFFFFF);
    QTest::newRow("trailer start beyond directory") << 40 << 8 << qint64(0x7FFFFFFFFFFF);
    // The single entry (TEST, 26 + 4 bytes) just before the footer.
    QTest::newRow("entry size beyond data") << 40 + 30 - 16 << 8 << qint64(0x7FFFFFFF);
    QTest::newRow("entry offset before trailer") << 40 + 30 - 8 << 8 << qint64(5);
    QTest::newRow("name length beyond directory") << 40 + 30 - 24 << 2 << qint64(0xFFFF);
}

void TstResourceTrailer::damagedTrailers()
{
    QFETCH(int, offsetFromEnd);
    QFETCH(int, width);
    QFETCH(qint64, value);
    const QString good = path(QStringLiteral("good"));
    AddResources(m_program, good, {{"TEST", TestBytes}});
    QByteArray bytes = readFile(good);
    for (int i = 0; i < width; ++i)
        bytes[bytes.size() - offsetFromEnd + i] = char(quint64(value) >> (8 * i));
    const QString bad = path(QStringLiteral("bad"));
    writeFile(bad, bytes);
    QCOMPARE(FindResource(bad, QStringLiteral("TEST")), std::nullopt);
    QVERIFY(ReadAll(bad).isEmpty());
    // A damaged trailer is no trailer: a new export appends a fresh one.
    const QString again = path(QStringLiteral("again"));
    AddResources(bad, again, {{"TEST", "x"}});
    QCOMPARE(FindResource(again, QStringLiteral("TEST")), std::optional<QByteArray>("x"));
}

void TstResourceTrailer::randomDamageNeverMisleads()
{
    const QString good = path(QStringLiteral("good2"));
    AddResources(m_program, good, {{"TEST", TestBytes}, {"TEST_FILE_NAME", NameBytes}});
    const QByteArray original = readFile(good);
    const int trailerSize = 40 + 2 * 26 + 4 + 14;
    const QString bad = path(QStringLiteral("bad2"));
    QRandomGenerator rng(77);
    int found = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = original;
        const int at = bytes.size() - 1 - int(rng.bounded(trailerSize));
        bytes[at] = char(bytes[at] ^ (1 << rng.bounded(8)));
        writeFile(bad, bytes);
        const std::optional<QByteArray> r = FindResource(bad, QStringLiteral("TEST"));
        if (r) {
            // Only bytes of the file itself can come back.
            QVERIFY(r->size() <= bytes.size());
            ++found;
        }
    }
    QVERIFY(found < 300);
}

void TstResourceTrailer::failedWriteLeavesNothing()
{
    QVERIFY_THROWS_EXCEPTION(EQuizError, AddResources(m_program, path(QStringLiteral("no/dir/out")), {{"TEST", "x"}}));
    QVERIFY_THROWS_EXCEPTION(EFOpenError, AddResources(path(QStringLiteral("missing")), path(QStringLiteral("o")), {}));
    QVERIFY(!QFile::exists(path(QStringLiteral("o"))));
}

void TstResourceTrailer::exportKeepsOnlyPermissionBits()
{
    // A player installed set-user-ID or set-group-ID must not hand that to
    // every copy a teacher exports; the sticky bit means nothing on a program.
    const QString program = path(QStringLiteral("special"));
    writeFile(program, programBytes());
    const QByteArray native = QFile::encodeName(program);
    QCOMPARE(::chmod(native.constData(), 07751), 0);
    struct stat st;
    QCOMPARE(::stat(native.constData(), &st), 0);
    if ((st.st_mode & 07777) != 07751)
        QSKIP("this file system does not keep set-ID bits");
    const QString out = path(QStringLiteral("special-exported"));
    AddResources(program, out, {{"TEST", TestBytes}});
    QCOMPARE(::stat(QFile::encodeName(out).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0751);
    AddResources(out, out, {{"TEST", "again"}});  // exported again, onto itself
    QCOMPARE(::stat(QFile::encodeName(out).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0751);
}

QTEST_GUILESS_MAIN(TstResourceTrailer)
#include "tst_ResourceTrailer.moc"
