// The replaceable time, sleep and random sources.
#include <QtTest>

#include "Clock.h"

class TstClock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replaceableSources();
    void randomRangeAndSeed();
};

void TstClock::replaceableSources()
{
    qint64 now = 1000;
    QList<int> slept;
    QeClock::SetTickSource([&] { return now; });
    QeClock::SetSleeper([&](int ms) { slept.append(ms); now += ms; });
    QCOMPARE(QeClock::TickCount(), qint64(1000));
    QeClock::Sleep(2000);
    QCOMPARE(slept, QList<int>{2000});
    QCOMPARE(QeClock::TickCount(), qint64(3000));
    QeClock::SetTickSource({});
    QeClock::SetSleeper({});
    const qint64 a = QeClock::TickCount();
    QeClock::Sleep(0);
    QVERIFY(QeClock::TickCount() >= a);
    QVERIFY(a < 1000 * 60 * 60);  // the real source counts from start-up
}

void TstClock::randomRangeAndSeed()
{
    QCOMPARE(QeClock::Random(0), 0u);
    QCOMPARE(QeClock::Random(1), 0u);
    QeClock::SeedRandom(42);
    QList<quint32> first;
    QSet<quint32> seen;
    for (int i = 0; i < 2000; ++i) {
        const quint32 r = QeClock::Random(10);
        QVERIFY(r < 10);
        first.append(r);
        seen.insert(r);
    }
    QCOMPARE(seen.size(), 10);
    QeClock::SeedRandom(42);
    for (int i = 0; i < 2000; ++i)
        QCOMPARE(QeClock::Random(10), first.at(i));
}

QTEST_GUILESS_MAIN(TstClock)
#include "tst_Clock.moc"
