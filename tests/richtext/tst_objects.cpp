// Embedded objects: damaged storage images read quietly, pictures drawn from
// a cache that holds bytes, not a count.
#include "RichObjects.h"

#include <QApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace RichText;

namespace {
const char ReadStorage[] = "--read-storage";

// Child side: read the storage in the file and say what came of it.
int childMain(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 2;
    QString error;
    const auto streams = StorageStreams(f.readAll(), &error);
    const QByteArray line = (error.isEmpty() ? QStringLiteral("streams %1").arg(streams.size())
                                             : QStringLiteral("error: ") + error).toUtf8();
    fwrite(line.constData(), 1, size_t(line.size()), stdout);
    return 0;
}

QImage Filled(int w, int h, QRgb color)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    return img;
}

QByteArray WithU32(QByteArray b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
    return b;
}

// Draws the object into a 10 x 10 image and returns its middle pixel.
QRgb Draw(const TRichObject &o)
{
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    TRichObjectHandler handler;
    handler.drawObject(&p, QRectF(0, 0, 10, 10), nullptr, 0, ObjectFormat(o));
    p.end();
    return target.pixel(5, 5);
}

// Header field of a compound file: the first sector of the small-block table.
constexpr qsizetype kSmallBatStart = 60;
}

class TestObjects : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_good;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_good = BuildPictureStorage(Filled(8, 6, qRgb(200, 0, 0)));
        QVERIFY(m_good.size() >= 512);
    }
    void init()
    {
        SetPictureCacheBudget(0);  // empty
        SetPictureCacheBudget(kPictureCacheBudget);
    }

    // ---- damaged storages ----

    void damagedStoragesFailWithOurError_data()
    {
        QTest::addColumn<QByteArray>("storage");
        QTest::addColumn<QString>("error");
        // Small streams lose their table: libgsf warns without a log domain.
        QTest::newRow("warning without a domain") << WithU32(m_good, kSmallBatStart, 0xFFFFFFFF)
                                                  << "damaged compound file: ";
        // A table sector beyond the file: a failed assertion, a critical.
        QTest::newRow("critical") << WithU32(m_good, kSmallBatStart, 37) << "damaged compound file: ";
        QTest::newRow("not a compound file") << QByteArray(2048, 'x') << "not a compound file: ";
    }
    void damagedStoragesFailWithOurError()
    {
        QFETCH(QByteArray, storage);
        QFETCH(QString, error);
        QString got;
        QVERIFY(StorageStreams(storage, &got).isEmpty());
        QVERIFY2(got.startsWith(error), qPrintable(got));
        QVERIFY(DecodeStoragePicture(storage).isNull());
        QCOMPARE(StorageClassName(storage), QString());

        // In a process of its own, as a program run with fatal criticals and
        // warnings would meet it: no abort, nothing on the console.
        const QString file = m_dir.filePath(QStringLiteral("%1.bin").arg(QTest::currentDataTag()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(storage);
        f.close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("G_DEBUG"), QStringLiteral("fatal-warnings"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ReadStorage), file});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardError()), QString());
        QVERIFY(QString::fromUtf8(child.readAllStandardOutput()).startsWith(QStringLiteral("error: ") + error));
    }

    void soundStorageReadsWithoutError()
    {
        QString error = QStringLiteral("not cleared");
        const auto streams = StorageStreams(m_good, &error);
        QCOMPARE(error, QString());
        QCOMPARE(streams.size(), 3);
        QCOMPARE(DecodeStoragePicture(m_good).pixel(0, 0), qRgb(200, 0, 0));
        // A damaged one read before leaves nothing behind for the next.
        StorageStreams(WithU32(m_good, kSmallBatStart, 37), &error);
        QVERIFY(!StorageStreams(m_good, &error).isEmpty());
        QCOMPARE(error, QString());
    }

    // ---- picture cache ----

    void smallPicturesAreAllKept()
    {
        for (int i = 0; i < 200; ++i) {
            const QRgb color = qRgb(i, 255 - i, 7);
            QCOMPARE(Draw(PictureObject(Filled(16, 16, color))), color);
        }
        const TPictureCacheStats st = PictureCacheStats();
        QCOMPARE(st.entries, qsizetype(200));
        QVERIFY(st.bytes >= 200 * 16 * 16 * 4);
        QVERIFY(st.bytes <= st.budget);
    }

    void largePicturesStayWithinTheBudget()
    {
        constexpr qsizetype budget = 8 * 1024 * 1024;
        constexpr qsizetype picture = 512 * 512 * 4;
        SetPictureCacheBudget(budget);
        for (int i = 0; i < 12; ++i) {
            const QRgb color = qRgb(10 * i, 0, 255 - 10 * i);
            QCOMPARE(Draw(PictureObject(Filled(512, 512, color))), color);
            const TPictureCacheStats st = PictureCacheStats();
            QVERIFY2(st.bytes <= budget, qPrintable(QString::number(st.bytes)));
            QVERIFY(st.entries >= std::min<qsizetype>(i + 1, budget / picture - 1));
            QVERIFY(st.entries <= budget / picture);
        }
        // One larger than the whole budget is drawn all the same, and not kept.
        const QRgb color = qRgb(1, 2, 3);
        QCOMPARE(Draw(PictureObject(Filled(1500, 1500, color))), color);
        QVERIFY(PictureCacheStats().bytes <= budget);
        QCOMPARE(Draw(PictureObject(Filled(1500, 1500, color))), color);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], ReadStorage) == 0)
        return childMain(QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);
    TestObjects t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_objects.moc"
