#include "CopyWriter.h"

namespace Recovery {
TCopyWriter::TCopyWriter(TRecoveryStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    m_thread = std::thread([this] { run(); });
}

TCopyWriter::~TCopyWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending.reset();
    }
    m_wake.notify_all();
    m_thread.join();
}

void TCopyWriter::Submit(TSnapshot snapshot)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(snapshot);
    }
    m_wake.notify_all();
}

void TCopyWriter::WaitForIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && !m_pending; });
}

void TCopyWriter::RemoveCopy()
{
    std::unique_lock lock(m_mutex);
    m_pending.reset();
    m_idle.wait(lock, [this] { return !m_busy; });
    m_store.RemoveOwn();
}

bool TCopyWriter::IsIdle() const
{
    std::lock_guard lock(m_mutex);
    return !m_busy && !m_pending;
}

void TCopyWriter::run()
{
    for (;;) {
        TSnapshot s;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            s = std::move(*m_pending);
            m_pending.reset();
            m_busy = true;
        }
        bool ok = true;
        QString message;
        try {
            m_store.Write(s);
        } catch (const EQuizError &e) {
            ok = false;
            message = e.message();
        } catch (const std::bad_alloc &) {
            ok = false;
            message = QStringLiteral("EOutOfMemory: Out of memory");
        }
        // The questions are let go here, off the UI thread.
        s = TSnapshot();
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
        Q_EMIT written(ok, message);
    }
}
}  // namespace Recovery
