#include "ResultsLoader.h"

#include <QMetaObject>

TResultsLoader::TResultsLoader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<const Results::TReadOutcome>>();
}

TResultsLoader::~TResultsLoader() { cancel(); }

void TResultsLoader::load(const QString &path)
{
    m_path = path;
    if (m_thread) {
        m_pending = true;
        return;
    }
    start();
}

void TResultsLoader::start()
{
    m_pending = false;
    auto outcome = std::make_shared<Results::TReadOutcome>();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto percent = std::make_shared<std::atomic<int>>(-1);
    m_outcome = outcome;
    m_cancel = cancelled;
    m_percent = percent;
    const QString path = m_path;
    // The thread never outlives the loader (see cancel), so this is safe to post to.
    TResultsLoader *self = this;
    m_thread = QThread::create([=] {
        *outcome = Results::ReadFile(path, [=](qint64 done, qint64 total) {
            const int now = total > 0 ? int(done * 100 / total) : 100;
            // One queued call per percent, not per chunk.
            if (percent->exchange(now) != now && !cancelled->load())
                QMetaObject::invokeMethod(self, [self, now] { Q_EMIT self->progress(now); }, Qt::QueuedConnection);
            return !cancelled->load();
        });
    });
    connect(m_thread, &QThread::finished, this, &TResultsLoader::finished);
    m_thread->start();
}

void TResultsLoader::finished()
{
    QThread *t = m_thread;
    m_thread = nullptr;
    if (!t)
        return;
    t->deleteLater();
    const std::shared_ptr<const Results::TReadOutcome> outcome = m_outcome;
    m_outcome.reset();
    if (m_pending) {
        start();  // the file changed meanwhile: this reading is already old
        return;
    }
    if (outcome->Status != Results::TReadStatus::Cancelled)
        Q_EMIT loaded(outcome);
}

void TResultsLoader::cancel()
{
    m_pending = false;
    if (!m_thread)
        return;
    m_cancel->store(true);
    QThread *t = m_thread;
    m_thread = nullptr;
    t->wait();
    delete t;
    m_outcome.reset();
}
