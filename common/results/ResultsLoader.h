#pragma once
// Reads a results file on a worker thread, so that a school year of results
// does not freeze a window: progress and the outcome come as signals on the
// loader's own thread. A read asked for while one runs follows it.
#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

#include "ResultsReader.h"

class TResultsLoader : public QObject {
    Q_OBJECT
public:
    explicit TResultsLoader(QObject *parent = nullptr);
    ~TResultsLoader() override;  // cancels and waits

    void load(const QString &path);
    bool isLoading() const { return m_thread != nullptr; }
    // Stops a read in progress (its outcome is dropped) and waits for the thread.
    void cancel();

Q_SIGNALS:
    void progress(int percent);
    void loaded(std::shared_ptr<const Results::TReadOutcome> outcome);

private:
    void start();
    void finished();

    QString m_path;
    bool m_pending = false;
    QThread *m_thread = nullptr;
    std::shared_ptr<Results::TReadOutcome> m_outcome;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::shared_ptr<std::atomic<int>> m_percent;
};
