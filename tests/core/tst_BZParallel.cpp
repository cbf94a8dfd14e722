// The bzip2 streams on a pool of threads: the same bytes as libbz2 alone,
// readable by libbz2, and the same bytes and errors when reading back.
#include <QBuffer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include "BZStreams.h"
#include "QeErrors.h"
#include "QuizEngineCommon.h"
#include "testutil_core.h"

#include <functional>

namespace {
// libbz2's block holds 100 000 - 19 symbols after its first run-length stage.
constexpr int BlockSymbols = 99981;

struct Threads {
    explicit Threads(int n) { BZSetThreads(n); }
    ~Threads() { BZSetThreads(0); }
};

QByteArray packWith(int threads, const QByteArray &plain, int step = 0)
{
    Threads t(threads);
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    TBZCompressionStream z(buf);
    for (qsizetype at = 0; at < plain.size();) {
        const qsizetype n = step > 0 ? std::min<qsizetype>(step + at % 7, plain.size() - at) : plain.size();
        z.write(plain.constData() + at, n);
        at += n;
    }
    z.finish();
    return out;
}

QByteArray libbz2Unpack(const QByteArray &packed, qsizetype expected)
{
    std::vector<char> out(size_t(expected) + 1);
    unsigned len = unsigned(out.size());
    const int rc = BZ2_bzBuffToBuffDecompress(out.data(), &len, const_cast<char *>(packed.constData()),
                                              unsigned(packed.size()), 0, 0);
    if (rc != BZ_OK)
        return QByteArray("libbz2 error ") + QByteArray::number(rc);
    return QByteArray(out.data(), qsizetype(len));
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32 *>(b.data()), size / 4);
    for (int i = size / 4 * 4; i < size; ++i)
        b[i] = char(rng.bounded(256));
    return b;
}

// Runs of every length around the run-length stage's limits (4 and 255),
// so that blocks fill in steps of 1 to 5 symbols and end inside runs.
QByteArray runs(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b;
    b.reserve(size);
    char c = 0;
    while (b.size() < size) {
        const int r = rng.bounded(10);
        const int len = r < 4 ? 1 + rng.bounded(6) : r < 8 ? 250 + rng.bounded(12) : 1 + rng.bounded(600);
        c = char(c + 1 + rng.bounded(3));
        b.append(std::min(len, size - int(b.size())), c);
    }
    return b;
}

// No two neighbours alike: every byte is one symbol, the last one still open.
QByteArray alternating(int size)
{
    QByteArray b(size, 'a');
    for (int i = 1; i < size; i += 2)
        b[i] = 'b';
    return b;
}

QByteArray text(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    static const char *const words[] = {"\\par ", "\\'e2\\'ee\\'ef\\'f0\\'ee\\'f1 ", "{\\b ", "} ", "x = 2 ",
                                        "\\f0\\fs20 ", "answer ", "question "};
    QByteArray b;
    b.reserve(size + 32);
    while (b.size() < size)
        b += words[rng.bounded(8)];
    b.truncate(size);
    return b;
}

// Bits 0x3141 0x5926 0x5359 are the block magic. A block's map of the byte
// values it uses is 16 bits per group of 16 values, so a block of exactly
// these values holds the magic in its map: valid data a reader must not cut at.
QByteArray falseMagicText(int size, quint32 seed)
{
    const quint16 maps[3] = {0x3141, 0x5926, 0x5359};
    QByteArray alphabet;
    for (int g = 0; g < 16; ++g)
        for (int j = 0; j < 16; ++j)
            if (g >= 3 || (maps[g] >> (15 - j)) & 1)
                alphabet += char(g * 16 + j);
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    char last = 0;
    for (int i = 0; i < size; ++i) {
        char c;
        do
            c = alphabet[rng.bounded(int(alphabet.size()))];
        while (c == last);  // no runs, whose lengths would add values
        b[i] = last = c;
    }
    return b;
}

int magicsAt(const QByteArray &packed, quint64 magic)
{
    int n = 0;
    quint64 w = 0;
    for (qsizetype i = 0; i < packed.size(); ++i)
        for (int bit = 7; bit >= 0; --bit) {
            w = ((w << 1) | ((uchar(packed[i]) >> bit) & 1)) & 0xFFFFFFFFFFFFull;
            if (i >= 6 && w == magic)
                ++n;
        }
    return n;
}

// Reads in a pattern of sizes and writes down all it sees, the error included.
QString readTranscript(int threads, const QByteArray &packed, bool withTrailer = false, bool *pooled = nullptr)
{
    Threads t(threads);
    QByteArray bytes = packed + (withTrailer ? QByteArray("AFTER") : QByteArray());
    QBuffer src(&bytes);
    src.open(QIODevice::ReadOnly);
    QString log;
    QCryptographicHash got(QCryptographicHash::Sha1);
    try {
        TBZDecompressionStream z(src);
        static const int sizes[] = {1, 4096, 3, 65536, 100000, 17, 250000};
        char buf[250000];
        for (int i = 0; i < 400; ++i) {
            const qint64 n = z.read(buf, sizes[i % 7]);
            if (n > 0)
                got.addData(QByteArrayView(buf, n));
            log += QStringLiteral("%1:%2 ").arg(n).arg(z.pos());
            if (z.atEnd()) {
                log += QStringLiteral("end at %1 ").arg(src.pos());
                break;
            }
            if (n <= 0)
                break;
        }
        if (pooled)
            *pooled = z.pooled();
    } catch (const EQuizError &e) {
        log += e.message();
    }
    return log + QStringLiteral(" sha1 ") + QString::fromLatin1(got.result().toHex());
}
}

class TstBZParallel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameBytesAsLibbz2Alone_data();
    void sameBytesAsLibbz2Alone();
    void readsWhatEitherWriterWrote_data();
    void readsWhatEitherWriterWrote();
    void falseMagicInsideABlock();
    void damagedStreamsFailAlike_data();
    void damagedStreamsFailAlike();
    void damagedTestFilesFailAlike();
    void threadCount();
};

void TstBZParallel::sameBytesAsLibbz2Alone_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("tiny") << QByteArray("hello, hello");
    // A block full after exactly its last byte, one before and one after.
    for (int d : {-1, 0, 1, 2})
        QTest::addRow("alternating, one block %+d", d) << alternating(BlockSymbols + 1 + d);
    QTest::newRow("alternating, three blocks exactly") << alternating(3 * BlockSymbols + 1);
    QTest::newRow("one byte, 3 MB") << QByteArray(3 << 20, 'z');
    QTest::newRow("runs around 4 and 255") << runs(2 << 20, 5);
    QTest::newRow("runs, other seed") << runs(700000, 6);
    QTest::newRow("incompressible") << randomBytes(1 << 20, 7);
    QTest::newRow("text, 4 MB") << text(4 << 20, 8);
}

void TstBZParallel::sameBytesAsLibbz2Alone()
{
    QFETCH(QByteArray, plain);
    const QByteArray alone = packWith(1, plain);
    QCOMPARE(libbz2Unpack(alone, plain.size()), plain);
    for (int threads : {2, 5}) {
        const QByteArray pooled = packWith(threads, plain, threads == 5 ? 70001 : 0);
        QCOMPARE(pooled.size(), alone.size());
        QVERIFY2(pooled == alone, qPrintable(QStringLiteral("%1 threads").arg(threads)));
    }
    // A reader that is not ours.
    const QString bzip2 = QStandardPaths::findExecutable(QStringLiteral("bzip2"));
    if (bzip2.isEmpty())
        QSKIP("no bzip2 program here");
    QProcess p;
    p.start(bzip2, {QStringLiteral("-t")});
    QVERIFY(p.waitForStarted());
    p.write(packWith(2, plain));
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

void TstBZParallel::readsWhatEitherWriterWrote_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("tiny") << QByteArray("abc");
    QTest::newRow("text") << text(1500000, 11);
    QTest::newRow("runs") << runs(1 << 20, 12);
    QTest::newRow("incompressible") << randomBytes(600000, 13);
}

void TstBZParallel::readsWhatEitherWriterWrote()
{
    QFETCH(QByteArray, plain);
    const QByteArray packed = packWith(1, plain);
    const QString alone = readTranscript(1, packed, true);
    QVERIFY2(alone.contains(QStringLiteral("end at %1").arg(packed.size())), qPrintable(alone));
    QVERIFY(alone.endsWith(QString::fromLatin1(QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex())));
    for (int threads : {2, 3, 8}) {
        bool pooled = false;
        QCOMPARE(readTranscript(threads, packed, true, &pooled), alone);
        QVERIFY(pooled);
    }
}

void TstBZParallel::falseMagicInsideABlock()
{
    const QByteArray plain = falseMagicText(600000, 21);
    const QByteArray packed = packWith(1, plain);
    // Six full blocks hold it twice, the short last one once.
    QCOMPARE(magicsAt(packed, 0x314159265359ull), 6 * 2 + 1);
    QCOMPARE(packWith(3, plain), packed);
    const QString alone = readTranscript(1, packed);
    QVERIFY(!alone.contains(QStringLiteral("Error")));
    bool pooled = false;
    QCOMPARE(readTranscript(2, packed, false, &pooled), alone);
    QVERIFY(pooled);
    QCOMPARE(readTranscript(4, packed, false, &pooled), alone);
    QVERIFY(pooled);
}

void TstBZParallel::damagedStreamsFailAlike_data()
{
    QTest::addColumn<QByteArray>("packed");
    const QByteArray good = packWith(1, text(700000, 31) + runs(300000, 32));
    QRandomGenerator rng(33);
    for (int i = 0; i < 12; ++i) {
        const int at = rng.bounded(int(good.size()));
        QTest::addRow("cut at %d", at) << good.left(at);
    }
    QTest::newRow("cut in the end marker") << good.left(good.size() - 6);
    QTest::newRow("cut in the stream CRC") << good.left(good.size() - 2);
    for (int i = 0; i < 24; ++i) {
        QByteArray bad = good;
        const int at = i == 0 ? 11 : rng.bounded(int(good.size()));
        const int bit = rng.bounded(8);
        bad[at] = char(bad[at] ^ (1 << bit));
        QTest::addRow("bit %d of byte %d", bit, at) << bad;
    }
    // A magic where there is none: in the middle of a block, and at its start.
    for (int at : {int(good.size() / 3), 4 + 6 + 4 + 3}) {
        QByteArray bad = good;
        bad.replace(at, 6, QByteArray::fromHex("314159265359"));
        QTest::addRow("false magic at %d", at) << bad;
    }
    QByteArray crc = good;
    crc[crc.size() - 1] = char(crc[crc.size() - 1] ^ 0x10);
    QTest::newRow("wrong stream CRC") << crc;
    QTest::newRow("block size 9 header") << QByteArray("BZh9" + good.mid(4));
    QTest::newRow("not bzip2") << QByteArray("plain text, not compressed at all");
    QTest::newRow("header only") << good.left(4);
}

void TstBZParallel::damagedStreamsFailAlike()
{
    QFETCH(QByteArray, packed);
    const QString alone = readTranscript(1, packed);
    QCOMPARE(readTranscript(2, packed), alone);
    QCOMPARE(readTranscript(4, packed), alone);
}

// What the editor and the player see of a damaged file: the same error, at
// the same question and offset, the same questions before it.
void TstBZParallel::damagedTestFilesFailAlike()
{
    TQuestionList questions;
    for (int i = 0; i < 60; ++i) {
        auto q = MakeQuestion(i, i % 5);
        q->Body = text(20000 + 997 * i, quint32(i));
        questions.push_back(std::move(q));
    }
    TTestInfo info = TTestInfo::NewTestValues();
    const QByteArray good = SaveTestToBytes(info, questions);
    QRandomGenerator rng(41);
    auto load = [](int threads, const QByteArray &file) {
        Threads t(threads);
        QByteArray bytes = file;
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        TTestInfo got;
        TQuestionList out;
        const TTestLoadResult r = LoadTestFromDevice(buf, got, out);
        QString s = QStringLiteral("%1 %2 %3 %4 %5 %6 |").arg(r.Ok).arg(r.ErrorKind, r.ErrorText).arg(r.ErrorQuestion)
                        .arg(r.ErrorOffset).arg(out.size());
        for (const auto &q : out)
            s += QString::fromLatin1(QCryptographicHash::hash(q->Body, QCryptographicHash::Md5).toHex().left(8));
        return s;
    };
    QVERIFY2(load(4, good).startsWith(QStringLiteral("1   -1 -1 60 |")), qPrintable(load(4, good)));
    for (int i = 0; i < 12; ++i) {
        QByteArray bad = good;
        const int at = 60 + rng.bounded(int(good.size()) - 60);
        if (i % 2)
            bad.truncate(at);
        else
            bad[at] = char(bad[at] ^ (1 << rng.bounded(8)));
        const QString alone = load(1, bad);
        QVERIFY2(!alone.startsWith(QStringLiteral("1 ")), qPrintable(alone));
        QCOMPARE(load(2, bad), alone);
        QCOMPARE(load(3, bad), alone);
    }
}

void TstBZParallel::threadCount()
{
    const QByteArray env = qgetenv("QE_BZ_THREADS");
    qunsetenv("QE_BZ_THREADS");
    BZSetThreads(0);
    const int cores = std::max(1, QThread::idealThreadCount());
    QCOMPARE(BZThreads(), cores);
    {
        Threads one(1);
        QCOMPARE(BZThreads(), 1);
    }
    QCOMPARE(BZThreads(), cores);
    qputenv("QE_BZ_THREADS", "3");
    QCOMPARE(BZThreads(), 3);
    {
        Threads two(2);
        QCOMPARE(BZThreads(), 2);  // what a test forces wins
    }
    qputenv("QE_BZ_THREADS", "none");
    QCOMPARE(BZThreads(), cores);
    if (env.isNull())
        qunsetenv("QE_BZ_THREADS");
    else
        qputenv("QE_BZ_THREADS", env);
}

QTEST_GUILESS_MAIN(TstBZParallel)
#include "tst_BZParallel.moc"
