#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// Work done away from the window's thread, and what comes of it handed back to that thread. The
// program's background work goes through workers (the folder's listing, the writing of kept
// orders, the reading of times taken; the thumbnail loader keeps its own pool, whose workers hold
// decoders): a worker runs the jobs posted to it on threads of its own, one after another in the
// order they came, or side by side when it has several threads. What a job finds arrives on the
// thread that owns the worker through deliver(), and what it could not do as failed(what,
// errorText). Each job has a ticket: a job cancelled before it starts is not run, and what it
// delivers after the cancel is dropped, so that results for a view that has gone never reach the
// next.
class Worker : public QObject
{
    Q_OBJECT
public:
    enum class Priority
    {
        // As the window's thread: for work the user waits for.
        Normal,
        // Below it, and never taking the processor from the thread that woke it: for work the
        // user does not wait for.
        Background,
    };

    // Whether a job is still wanted; copies share it.
    class Ticket
    {
    public:
        Ticket() : m_cancelled(std::make_shared<std::atomic_bool>(false)) {}
        void cancel() const { m_cancelled->store(true, std::memory_order_relaxed); }
        bool cancelled() const { return m_cancelled->load(std::memory_order_relaxed); }

    private:
        std::shared_ptr<std::atomic_bool> m_cancelled;
    };

    using Job = std::function<void(const Ticket&)>;

    explicit Worker(int threads = 1, Priority priority = Priority::Background, QObject* parent = nullptr);
    // Runs what is still queued and not cancelled; what it delivers is dropped.
    ~Worker() override;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a job under `ticket` (a new one unless given) and returns the ticket.
    Ticket post(Job job, Ticket ticket = {});
    // From a job: runs `f` on the thread that owns the worker, unless the ticket is cancelled by
    // then.
    void deliver(const Ticket& ticket, std::function<void()> f);
    // From a job: `failed` is emitted on the thread that owns the worker, unless the ticket is
    // cancelled by then. `what` names what could not be done (a folder, a file).
    void fail(const Ticket& ticket, const QString& what, const QString& errorText);

    // Returns when every job posted so far has run or been dropped. What they delivered may
    // still be on its way.
    void wait();
    int threadCount() const { return m_threadCount; }

signals:
    void failed(const QString& what, const QString& errorText);

private:
    struct Queued
    {
        Ticket ticket;
        Job job;
    };
    void run();

    const int m_threadCount;
    const Priority m_priority;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Queued> m_jobs;
    int m_busy = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace platform
