// The bzip2 stream adaptors.
#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

#include "BZStreams.h"
#include "QeErrors.h"
#include "testutil_core.h"

namespace {
// A pipe-like source that counts what is taken from it.
class CountingSource : public QIODevice {
public:
    explicit CountingSource(QByteArray data) : m_data(std::move(data)) { open(ReadOnly | Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 taken() const { return m_at; }
protected:
    qint64 readData(char *d, qint64 n) override
    {
        const qint64 k = std::min<qint64>(n, m_data.size() - m_at);
        if (k <= 0)
            return -1;
        memcpy(d, m_data.constData() + m_at, size_t(k));
        m_at += k;
        return k;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
private:
    QByteArray m_data;
    qint64 m_at = 0;
};

QByteArray sample(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char("abcdefgh \\{}'\r\n"[rng.bounded(15)]);
    return b;
}

template <class E, class F>
QString thrownText(F f)
{
    try {
        f();
    } catch (const E &e) {
        return e.text();
    } catch (const EQuizError &e) {
        return QStringLiteral("wrong kind ") + e.kind();
    }
    return QStringLiteral("nothing thrown");
}
}

class TstBZStreams : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void compressorRefusals();
    void decompressorRefusals();
    void forwardSeekSkips();
    void damagedData_data();
    void damagedData();
    void stopsAtStreamEnd();
    void readsNoFurtherThanOneChunk();
    void destinationFailure();
};

void TstBZStreams::roundTrip_data()
{
    QTest::addColumn<int>("size");
    for (int s : {0, 1, 4095, 65535, 65536, 65537, 350000})
        QTest::addRow("%d bytes", s) << s;
}

void TstBZStreams::roundTrip()
{
    QFETCH(int, size);
    const QByteArray plain = sample(size, quint32(size) + 1);
    QByteArray packed;
    QBuffer dest(&packed);
    dest.open(QIODevice::WriteOnly);
    dest.write("HEAD");  // output begins at the destination's position
    {
        TBZCompressionStream z(dest);
        // Uneven pieces cross the internal buffer boundaries.
        for (int at = 0; at < size;) {
            const int step = std::min(size - at, 1 + (at % 70001));
            QCOMPARE(z.write(plain.constData() + at, step), qint64(step));
            at += step;
        }
        QCOMPARE(z.pos(), qint64(size));
    }  // destruction finishes the stream
    QVERIFY(packed.startsWith("HEADBZh1"));
    QCOMPARE(Decompress(packed.mid(4)), plain);
}

void TstBZStreams::compressorRefusals()
{
    QByteArray packed;
    QBuffer dest(&packed);
    dest.open(QIODevice::WriteOnly);
    TBZCompressionStream z(dest);
    z.write("abc", 3);
    char c;
    QCOMPARE(thrownText<EStreamError>([&] { z.read(&c, 1); }), QStringLiteral("Invalid stream operation"));
    QCOMPARE(thrownText<EStreamError>([&] { z.seek(0); }), QStringLiteral("Invalid stream operation"));
    QCOMPARE(thrownText<EStreamError>([&] { z.seek(10); }), QStringLiteral("Invalid stream operation"));
    QVERIFY(z.seek(3));
    z.finish();
    QCOMPARE(Decompress(packed), QByteArray("abc"));
}

void TstBZStreams::decompressorRefusals()
{
    QByteArray packed = Compress("hello world");
    QBuffer src(&packed);
    src.open(QIODevice::ReadOnly);
    TBZDecompressionStream z(src);
    QCOMPARE(z.read(6), QByteArray("hello "));
    QCOMPARE(thrownText<EStreamError>([&] { z.write("x", 1); }), QStringLiteral("Invalid stream operation"));
    QCOMPARE(thrownText<EStreamError>([&] { z.seek(2); }), QStringLiteral("Invalid stream operation"));
    QCOMPARE(z.pos(), qint64(6));
    QCOMPARE(z.read(100), QByteArray("world"));
    QVERIFY(z.atEnd());
}

void TstBZStreams::forwardSeekSkips()
{
    const QByteArray plain = sample(200000, 7);
    QByteArray packed = Compress(plain);
    QBuffer src(&packed);
    src.open(QIODevice::ReadOnly);
    TBZDecompressionStream z(src);
    QVERIFY(z.seek(150000));
    QCOMPARE(z.read(10), plain.mid(150000, 10));
    QCOMPARE(thrownText<EReadError>([&] { z.seek(200011); }), QStringLiteral("Stream read error"));
}

void TstBZStreams::damagedData_data()
{
    QTest::addColumn<QByteArray>("packed");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    const QByteArray good = Compress(sample(100000, 3));
    QTest::newRow("not bzip2") << QByteArray("plain text, not compressed") << "EBZDecompressionError"
                               << QStringLiteral("error %1").arg(BZ_DATA_ERROR_MAGIC);
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x55);
    QTest::newRow("corrupted block") << flipped << "EBZDecompressionError"
                                     << QStringLiteral("error %1").arg(BZ_DATA_ERROR);
    QTest::newRow("cut in the middle") << good.left(good.size() / 2) << "EReadError" << "Stream read error";
    QTest::newRow("cut before the end marker") << good.left(good.size() - 3) << "EReadError" << "Stream read error";
    QTest::newRow("empty source") << QByteArray() << "EReadError" << "Stream read error";
}

void TstBZStreams::damagedData()
{
    QFETCH(QByteArray, packed);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QBuffer src(&packed);
    src.open(QIODevice::ReadOnly);
    TBZDecompressionStream z(src);
    QString gotKind, gotText;
    try {
        char buf[8192];
        for (int i = 0; i < 1000 && z.read(buf, sizeof buf) > 0; ++i) {
        }
        // Reading after the end of the delivered data must also fail.
        z.read(buf, sizeof buf);
        char c;
        z.read(&c, 1);
    } catch (const EQuizError &e) {
        gotKind = e.kind();
        gotText = e.text();
    }
    QCOMPARE(gotKind, kind);
    QCOMPARE(gotText, text);
}

void TstBZStreams::stopsAtStreamEnd()
{
    const QByteArray plain = sample(1000, 9);
    const QByteArray stream = Compress(plain);
    QByteArray file = stream + "TRAILING";
    QBuffer src(&file);
    src.open(QIODevice::ReadOnly);
    TBZDecompressionStream z(src);
    QCOMPARE(z.read(5000), plain);
    QVERIFY(z.atEnd());
    QCOMPARE(z.read(10), QByteArray());
    // A random-access source is left right behind the stream.
    QCOMPARE(src.pos(), qint64(stream.size()));
    QCOMPARE(src.readAll(), QByteArray("TRAILING"));

    // An empty stream decompresses to nothing, cleanly.
    QCOMPARE(Decompress(Compress(QByteArray())), QByteArray());
    QVERIFY(Compress(QByteArray()).startsWith("BZh1"));
}

void TstBZStreams::readsNoFurtherThanOneChunk()
{
    const QByteArray stream = Compress(sample(300000, 11));
    CountingSource src(stream + QByteArray(1 << 20, 'G'));
    TBZDecompressionStream z(src);
    char buf[65536];
    qint64 total = 0;
    for (qint64 got; (got = z.read(buf, sizeof buf)) > 0;)
        total += got;
    QCOMPARE(total, qint64(300000));
    QVERIFY(z.atEnd());
    QVERIFY2(src.taken() <= stream.size() + 65536, qPrintable(QString::number(src.taken())));
}

void TstBZStreams::destinationFailure()
{
    QByteArray packed;
    QBuffer dest(&packed);
    dest.open(QIODevice::ReadOnly);  // every write refused
    TBZCompressionStream z(dest);
    z.write(sample(1000, 1));
    QCOMPARE(thrownText<EWriteError>([&] { z.finish(); }), QStringLiteral("Stream write error"));
}

QTEST_GUILESS_MAIN(TstBZStreams)
#include "tst_BZStreams.moc"
