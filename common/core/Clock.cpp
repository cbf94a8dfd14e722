#include "Clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QRandomGenerator>
#include <QThread>

namespace {
struct ClockState {
    QMutex mutex;
    std::function<qint64()> tick;
    std::function<void(int)> sleeper;
    QElapsedTimer timer;
    QRandomGenerator rng;
    ClockState()
    {
        timer.start();
        const quint64 seed = quint64(QDateTime::currentMSecsSinceEpoch()) ^ quint64(timer.nsecsElapsed())
            ^ (quint64(quintptr(this)) << 16);
        rng.seed(quint32(seed ^ (seed >> 32)));
    }
};

ClockState &state()
{
    static ClockState s;
    return s;
}
}

namespace QeClock {
qint64 TickCount()
{
    ClockState &s = state();
    std::function<qint64()> f;
    {
        QMutexLocker lock(&s.mutex);
        f = s.tick;
    }
    return f ? f() : s.timer.elapsed();
}

void Sleep(int ms)
{
    ClockState &s = state();
    std::function<void(int)> f;
    {
        QMutexLocker lock(&s.mutex);
        f = s.sleeper;
    }
    if (f)
        f(ms);
    else if (ms > 0)
        QThread::msleep(ulong(ms));
}

quint32 Random(quint32 n)
{
    if (n == 0)
        return 0;
    ClockState &s = state();
    QMutexLocker lock(&s.mutex);
    return s.rng.bounded(n);
}

void SetTickSource(std::function<qint64()> f)
{
    QMutexLocker lock(&state().mutex);
    state().tick = std::move(f);
}

void SetSleeper(std::function<void(int)> f)
{
    QMutexLocker lock(&state().mutex);
    state().sleeper = std::move(f);
}

void SeedRandom(quint64 seed)
{
    QMutexLocker lock(&state().mutex);
    state().rng.seed(quint32(seed ^ (seed >> 32)));
}
}
