#pragma once
// The one place the programs take time and sleep from, so tests can run
// countdowns, back-offs and the splash minimum in milliseconds.
#include <QtGlobal>
#include <functional>

namespace QeClock {
// Milliseconds from an arbitrary, monotonic origin (GetTickCount).
qint64 TickCount();
void Sleep(int ms);
// Random(n): uniform 0..n-1 from the program's generator, seeded once from the clock.
quint32 Random(quint32 n);

// Test hooks; pass empty functions to restore the real ones.
void SetTickSource(std::function<qint64()> f);
void SetSleeper(std::function<void(int)> f);
void SeedRandom(quint64 seed);
}
