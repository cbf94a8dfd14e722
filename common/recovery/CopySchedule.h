#pragma once
// When the next recovery copy is due: once the teacher has paused for
// PauseMs after the last change, and no sooner than the interval after the
// previous copy. Times are QeClock ticks, handed in, so tests set them.
#include <QtGlobal>

namespace Recovery {
class TCopySchedule {
public:
    static constexpr qint64 PauseMs = 2000;
    static constexpr int DefaultMinutes = 1;
    static constexpr int MaxMinutes = 30;

    // 0 turns the copies off.
    void setIntervalMinutes(int minutes) { m_intervalMs = qint64(qBound(0, minutes, MaxMinutes)) * 60000; }
    bool isOff() const { return m_intervalMs == 0; }
    void edited(qint64 now);
    void copied(qint64 now);
    // The document is clean again: nothing to copy.
    void clear() { m_pending = false; }
    bool isPending() const { return m_pending; }
    bool isDue(qint64 now) const;

private:
    qint64 m_intervalMs = qint64(DefaultMinutes) * 60000;
    bool m_pending = false;
    qint64 m_lastEdit = 0;
    bool m_copiedOnce = false;
    qint64 m_lastCopy = 0;
};
}  // namespace Recovery
