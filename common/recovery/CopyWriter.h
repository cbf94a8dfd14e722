#pragma once
// Writes recovery copies on a worker thread, so that the compression of a
// large test never stalls the editing. Only the newest snapshot waits: one
// handed in while another is written replaces any still waiting.
#include <QObject>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "RecoveryStore.h"

namespace Recovery {
class TCopyWriter : public QObject {
    Q_OBJECT
public:
    explicit TCopyWriter(TRecoveryStore &store, QObject *parent = nullptr);
    ~TCopyWriter() override;  // finishes the write in progress

    void Submit(TSnapshot snapshot);
    // Until nothing waits and nothing is being written.
    void WaitForIdle();
    // Drops a waiting snapshot, waits for the write in progress, then removes
    // this editor's copy: nothing written before reappears afterwards.
    void RemoveCopy();
    bool IsIdle() const;

Q_SIGNALS:
    // From the worker thread, after each write; message is "kind: text" on failure.
    void written(bool ok, const QString &message);

private:
    void run();

    TRecoveryStore &m_store;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::optional<TSnapshot> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
}  // namespace Recovery
