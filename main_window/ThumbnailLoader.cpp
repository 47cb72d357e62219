#include "main_window/ThumbnailLoader.h"

#include "imaging/JpegDecoder.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

ThumbnailLoader::ThumbnailLoader(int workers, QObject* parent) : QObject(parent)
{
    if (workers <= 0)
        workers = std::clamp(QThread::idealThreadCount(), 1, 4);
    // Enough results waiting to keep the workers busy while the interface draws, few enough that
    // a cancelled folder wastes little work.
    m_maxAhead = 3 * workers;
    m_threads.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i)
        m_threads.emplace_back([this] { run(); });
}

ThumbnailLoader::~ThumbnailLoader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        ++m_generation;
        m_queue.clear();
        m_ready.clear();
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void ThumbnailLoader::start(const QList<Job>& jobs, int TW, int TH)
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_generation;
        m_queue.clear();
        m_ready.clear();
        m_priority = -1;
        m_TW = TW;
        m_TH = TH;
        for (const Job& job : jobs)
            m_queue.push_back({job, TW, TH});
    }
    m_wake.notify_all();
}

void ThumbnailLoader::cancel()
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_generation;
        m_queue.clear();
        m_ready.clear();
        m_priority = -1;
    }
    m_wake.notify_all();
}

int ThumbnailLoader::sizeWidth() const
{
    const std::lock_guard lock(m_mutex);
    return m_TW;
}

int ThumbnailLoader::sizeHeight() const
{
    const std::lock_guard lock(m_mutex);
    return m_TH;
}

bool ThumbnailLoader::mayStartLocked() const
{
    if (m_queue.empty())
        return false;
    if (m_queue.front().job.index == m_priority)
        return true;
    return static_cast<int>(m_inFlight.size() + m_ready.size()) < m_maxAhead;
}

void ThumbnailLoader::run()
{
    imaging::JpegDecoder decoder;
    cDIBSection work;
    work.KeepMemoryForReuse(true);

    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || mayStartLocked(); });
        if (m_stop)
            return;
        const Queued q = m_queue.front();
        m_queue.pop_front();
        const unsigned generation = m_generation;
        m_inFlight.push_back(q.job.index);
        lock.unlock();

        thumbs::Prepared prepared = thumbs::prepare(decoder, work, q.job.nativePath, q.TW, q.TH);

        lock.lock();
        m_inFlight.erase(std::find(m_inFlight.begin(), m_inFlight.end(), q.job.index));
        if (generation == m_generation && !m_stop) {
            m_ready[q.job.index] = std::move(prepared);
            QMetaObject::invokeMethod(this, &ThumbnailLoader::resultReady, Qt::QueuedConnection);
        } else {
            // Nobody wants this one any more, but someone may be waiting to notice that.
            QMetaObject::invokeMethod(this, [] {}, Qt::QueuedConnection);
        }
        m_wake.notify_all();
    }
}

std::optional<thumbs::Prepared> ThumbnailLoader::take(const Job& job, int TW, int TH,
                                                       const std::function<bool()>& abandon)
{
    {
        const std::lock_guard lock(m_mutex);
        const auto ready = m_ready.find(job.index);
        const bool readyFits = ready != m_ready.end() && ready->second.TW == TW && ready->second.TH == TH;
        if (!readyFits) {
            if (ready != m_ready.end())
                m_ready.erase(ready);
            const auto queued = std::find_if(m_queue.begin(), m_queue.end(),
                                             [&](const Queued& q) { return q.job.index == job.index; });
            if (queued != m_queue.end() && queued->TW == TW && queued->TH == TH) {
                const Queued q = *queued;
                m_queue.erase(queued);
                m_queue.push_front(q);
            } else {
                if (queued != m_queue.end())
                    m_queue.erase(queued);
                m_queue.push_front({job, TW, TH});
            }
            m_priority = job.index;
        }
    }
    m_wake.notify_all();

    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            const auto ready = m_ready.find(job.index);
            if (ready != m_ready.end() && ready->second.TW == TW && ready->second.TH == TH) {
                thumbs::Prepared p = std::move(ready->second);
                m_ready.erase(ready);
                if (m_priority == job.index)
                    m_priority = -1;
                m_wake.notify_all();
                return p;
            }
        }
        if (abandon())
            return std::nullopt;
        {
            // Whatever happened meanwhile (a cancel, a series started anew), the job must be
            // somewhere, or this wait would never end.
            const std::lock_guard lock(m_mutex);
            const bool queued = std::any_of(m_queue.begin(), m_queue.end(),
                                            [&](const Queued& q) { return q.job.index == job.index; });
            const bool busy = std::find(m_inFlight.begin(), m_inFlight.end(), job.index) != m_inFlight.end();
            if (!queued && !busy && m_ready.find(job.index) == m_ready.end()) {
                m_queue.push_front({job, TW, TH});
                m_priority = job.index;
                m_wake.notify_all();
            }
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
