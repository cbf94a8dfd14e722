#include "CopySchedule.h"

namespace Recovery {
void TCopySchedule::edited(qint64 now)
{
    m_pending = true;
    m_lastEdit = now;
}

void TCopySchedule::copied(qint64 now)
{
    m_pending = false;
    m_copiedOnce = true;
    m_lastCopy = now;
}

bool TCopySchedule::isDue(qint64 now) const
{
    if (!m_pending || isOff() || now - m_lastEdit < PauseMs)
        return false;
    return !m_copiedOnce || now - m_lastCopy >= m_intervalMs;
}
}  // namespace Recovery
