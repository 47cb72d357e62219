#include "platform/Worker.h"

#include <QMetaObject>

#include <algorithm>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

Worker::Worker(int threads, Priority priority, QObject* parent)
    : QObject(parent), m_threadCount(std::max(1, threads)), m_priority(priority)
{
}

Worker::~Worker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

Worker::Ticket Worker::post(Job job, Ticket ticket)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({ticket, std::move(job)});
        // Threads start when there is work for them, and stay.
        if (int(m_threads.size()) < m_threadCount && int(m_jobs.size()) > int(m_threads.size()) - m_busy)
            m_threads.emplace_back([this] { run(); });
    }
    m_wake.notify_one();
    return ticket;
}

void Worker::deliver(const Ticket& ticket, std::function<void()> f)
{
    // The functor runs on this object's thread; pending ones go with the object.
    QMetaObject::invokeMethod(
        this,
        [ticket, f = std::move(f)] {
            if (!ticket.cancelled())
                f();
        },
        Qt::QueuedConnection);
}

void Worker::fail(const Ticket& ticket, const QString& what, const QString& errorText)
{
    deliver(ticket, [this, what, errorText] { emit failed(what, errorText); });
}

void Worker::wait()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
}

void Worker::run()
{
    if (m_priority == Priority::Background) {
        // Woken by the window's thread, it must not take that thread's processor from it (the
        // scheduler would let a thread it just woke run first), and it yields to it.
        sched_param batch{};
        ::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &batch);
        ::setpriority(PRIO_PROCESS, ::gettid(), 10);
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // stopped, with nothing left to do
        {
            // What the job holds goes outside the lock too.
            const Queued next = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_busy;
            lock.unlock();
            if (!next.ticket.cancelled())
                next.job(next.ticket);
        }
        lock.lock();
        --m_busy;
        if (m_jobs.empty() && m_busy == 0)
            m_idle.notify_all();
    }
}

} // namespace platform
