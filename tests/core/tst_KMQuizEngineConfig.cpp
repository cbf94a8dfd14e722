// The shared configuration file.
#include <QTemporaryDir>
#include <QtTest>

#include "QuizEngineCommon.h"
#include "testutil_core.h"

#include <sys/stat.h>

namespace {
QByteArray configPlain(quint8 version, const QByteArray &password, const QByteArray &text = "note")
{
    return LeBytes().raw("KMQuizEngineConfig").u8(version).u8(7).ansi(password).ansi(text);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}
}

class TstKMQuizEngineConfig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsValidFile();
    void refusals_data();
    void refusals();
    void saveRoundTrip();
    void namedPipeRefused();
};

void TstKMQuizEngineConfig::readsValidFile()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, ConfigFileName, Compress(configPlain(3, "\xcf\xe0\xf0\xee\xeb\xfc", "x")));
    TKMQuizEngineConfig c;
    QCOMPARE(c.AccessPassword, QString());
    QCOMPARE(c.ConfigFlag, quint8(0));
    QVERIFY(c.LoadFromFile(path));
    QCOMPARE(c.AccessPassword, QStringLiteral("Пароль"));
    QVERIFY(c.AccessPassword != QStringLiteral("пароль"));
    QCOMPARE(c.ConfigText, QStringLiteral("x"));
    QCOMPARE(c.ConfigFlag, quint8(7));
}

void TstKMQuizEngineConfig::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = configPlain(3, "secret");
    QTest::newRow("version 2") << Compress(configPlain(2, "secret"));
    QTest::newRow("version 4") << Compress(configPlain(4, "secret"));
    QTest::newRow("plain, uncompressed") << good;
    QTest::newRow("magic in other case") << Compress("kmquizengineconfig" + good.mid(18));
    QTest::newRow("decompressed data ends early") << Compress(good.left(good.size() - 2));
    QTest::newRow("compressed data cut") << Compress(good).left(Compress(good).size() - 5);
    QTest::newRow("password longer than the file") << Compress(LeBytes().raw("KMQuizEngineConfig").u8(3).u8(0).u32(0x7FFFFFFF).raw("ab"));
    QTest::newRow("empty file") << QByteArray();
}

void TstKMQuizEngineConfig::refusals()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    TKMQuizEngineConfig c;
    QVERIFY(!c.LoadFromFile(writeFile(dir, ConfigFileName, bytes)));
    QVERIFY(!c.LoadFromFile(dir.filePath(QStringLiteral("missing.ini"))));
}

void TstKMQuizEngineConfig::saveRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(ConfigFileName);
    TKMQuizEngineConfig c;
    c.AccessPassword = QStringLiteral("Учитель1");
    c.ConfigText = QStringLiteral("школа №5");
    c.ConfigFlag = 1;
    c.SaveToFile(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    QVERIFY(raw.startsWith("BZh1"));
    QCOMPARE(Decompress(raw), LeBytes().raw("KMQuizEngineConfig").u8(3).u8(1).ansi("\xd3\xf7\xe8\xf2\xe5\xeb\xfc\x31")
                                   .ansi("\xf8\xea\xee\xeb\xe0 \xb9\x35").bytes());
    TKMQuizEngineConfig back;
    QVERIFY(back.LoadFromFile(path));
    QCOMPARE(back.AccessPassword, c.AccessPassword);
    QCOMPARE(back.ConfigText, c.ConfigText);
    QCOMPARE(back.ConfigFlag, c.ConfigFlag);
    QVERIFY_THROWS_EXCEPTION(EQuizError, c.SaveToFile(dir.filePath(QStringLiteral("no/such/folder/x.ini"))));
}

void TstKMQuizEngineConfig::namedPipeRefused()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(ConfigFileName);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TKMQuizEngineConfig c;
    QVERIFY(!c.LoadFromFile(fifo));
}

QTEST_GUILESS_MAIN(TstKMQuizEngineConfig)
#include "tst_KMQuizEngineConfig.moc"
