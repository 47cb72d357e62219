#include "main_window/ThumbnailLoader.h"

#include "imaging/JpegDecoder.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace {

const QEvent::Type kResultEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

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

int ThumbnailLoader::preparedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_prepared;
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
        m_inFlight.push_back({q.job.index, q.TW, q.TH, generation});
        lock.unlock();

        thumbs::Prepared prepared = thumbs::prepare(decoder, work, q.job.nativePath, q.TW, q.TH);

        lock.lock();
        ++m_prepared;
        m_inFlight.erase(std::find_if(m_inFlight.begin(), m_inFlight.end(), [&](const InFlight& f) {
            return f.index == q.job.index && f.generation == generation;
        }));
        if (generation == m_generation && !m_stop)
            m_ready[q.job.index] = std::move(prepared);
        // Wakes the interface thread, also when the result was thrown away: someone may be
        // waiting to notice that.
        QCoreApplication::postEvent(this, new QEvent(kResultEvent));
        m_wake.notify_all();
    }
}

std::optional<thumbs::Prepared> ThumbnailLoader::take(const Job& job, int TW, int TH,
                                                       const std::function<bool()>& abandon)
{
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
            if (ready != m_ready.end())
                m_ready.erase(ready); // prepared for another size
            queueLocked(job, TW, TH);
        }
        m_wake.notify_all();
        if (abandon())
            return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void ThumbnailLoader::queueLocked(const Job& job, int TW, int TH)
{
    // Whatever happened meanwhile (a cancel, a series started anew, another size), the job must
    // be under way or at the front of the queue, or the wait for it would never end.
    m_priority = job.index;
    const bool busy = std::any_of(m_inFlight.begin(), m_inFlight.end(), [&](const InFlight& f) {
        return f.index == job.index && f.TW == TW && f.TH == TH && f.generation == m_generation;
    });
    if (busy)
        return;
    const auto queued =
        std::find_if(m_queue.begin(), m_queue.end(), [&](const Queued& q) { return q.job.index == job.index; });
    if (queued != m_queue.end() && queued == m_queue.begin() && queued->TW == TW && queued->TH == TH)
        return;
    if (queued != m_queue.end())
        m_queue.erase(queued);
    m_queue.push_front({job, TW, TH});
}

bool ThumbnailLoader::event(QEvent* event)
{
    if (event->type() == kResultEvent) {
        emit resultReady();
        return true;
    }
    return QObject::event(event);
}
