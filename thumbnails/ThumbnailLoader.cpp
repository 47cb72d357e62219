#include "thumbnails/ThumbnailLoader.h"

#include "thumbnails/ThumbnailCache.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace {

const QEvent::Type kResultEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

ThumbnailLoader::ThumbnailLoader(int workers, std::shared_ptr<thumbs::ThumbnailCache> cache, QObject* parent)
    : QObject(parent), m_cache(std::move(cache))
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
        resetLocked();
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void ThumbnailLoader::resetLocked()
{
    ++m_generation;
    m_liveGeneration = m_generation;
    // Assigned afresh rather than cleared, so that the memory of a large folder's series goes too.
    m_previews = {};
    m_previewsStarted = {};
    m_front = {};
    m_queue = {};
    m_started = {};
    m_ready = {};
}

void ThumbnailLoader::start(const QList<Job>& jobs, int TW, int TH, const QList<Job>& previews)
{
    {
        const std::lock_guard lock(m_mutex);
        resetLocked();
        m_TW = TW;
        m_TH = TH;
        m_previews.assign(previews.begin(), previews.end());
        m_queue.assign(jobs.begin(), jobs.end());
        m_limitCheckDue = m_cache != nullptr;
    }
    m_wake.notify_all();
}

void ThumbnailLoader::prioritize(const QList<Job>& jobs)
{
    {
        const std::lock_guard lock(m_mutex);
        // In place of what was put in front before, which is still queued in the series' order.
        std::deque<Job> front;
        for (const Job& job : jobs)
            if (job.again ? !pendingLocked(job.index) : !m_started.contains(job.index))
                front.push_back(job);
        m_front = std::move(front);
    }
    m_wake.notify_all();
}

bool ThumbnailLoader::pendingLocked(int index) const
{
    return std::any_of(m_inFlight.begin(), m_inFlight.end(),
                       [&](const InFlight& f) { return f.index == index && f.generation == m_generation; }) ||
           std::any_of(m_ready.begin(), m_ready.end(), [&](const Result& r) { return r.index == index; });
}

void ThumbnailLoader::preview(const QList<Job>& jobs)
{
    {
        const std::lock_guard lock(m_mutex);
        std::deque<Job> previews;
        for (const Job& job : jobs)
            if (previewOpenLocked(job) && !(job.again && pendingLocked(job.index)))
                previews.push_back(job);
        m_previews = std::move(previews);
    }
    m_wake.notify_all();
}

void ThumbnailLoader::cancel()
{
    {
        const std::lock_guard lock(m_mutex);
        resetLocked();
    }
    m_wake.notify_all();
}

int ThumbnailLoader::preparedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_prepared;
}

int ThumbnailLoader::cacheHitCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_cacheHits;
}

QSize ThumbnailLoader::boxSize() const
{
    const std::lock_guard lock(m_mutex);
    return QSize(m_TW, m_TH);
}

bool ThumbnailLoader::idle() const
{
    const std::lock_guard lock(m_mutex);
    const auto open = [this](const std::deque<Job>& queue) {
        return std::any_of(queue.begin(), queue.end(), [this](const Job& job) { return openLocked(job); });
    };
    const bool previews =
        std::any_of(m_previews.begin(), m_previews.end(), [this](const Job& job) { return previewOpenLocked(job); });
    return !previews && !open(m_front) && !open(m_queue) && m_inFlight.empty() && m_ready.empty() && !m_limitCheckDue &&
           m_checking == 0;
}

void ThumbnailLoader::setGateOpen(bool open)
{
    {
        const std::lock_guard lock(m_mutex);
        m_gateOpen = open;
    }
    m_wake.notify_all();
}

int ThumbnailLoader::heldAtGate() const
{
    const std::lock_guard lock(m_mutex);
    return m_held;
}

bool ThumbnailLoader::openLocked(const Job& job) const
{
    return job.again || !m_started.contains(job.index);
}

bool ThumbnailLoader::previewOpenLocked(const Job& job) const
{
    return !m_started.contains(job.index) && (job.again || !m_previewsStarted.contains(job.index));
}

bool ThumbnailLoader::popStartedLocked()
{
    while (!m_previews.empty() && !previewOpenLocked(m_previews.front()))
        m_previews.pop_front();
    if (!m_previews.empty())
        return true;
    for (std::deque<Job>* queue : {&m_front, &m_queue}) {
        while (!queue->empty() && !openLocked(queue->front()))
            queue->pop_front();
        if (!queue->empty())
            return true;
    }
    return false;
}

bool ThumbnailLoader::mayStartLocked()
{
    return popStartedLocked() && static_cast<int>(m_inFlight.size() + m_ready.size()) < m_maxAhead;
}

void ThumbnailLoader::run()
{
    thumbs::Preparer preparer;
    unsigned preparing = 0; // the series of the picture being prepared
    preparer.setCancelCheck([this, &preparing] { return m_liveGeneration != preparing; });
    std::optional<thumbs::ThumbnailCache::Connection> cache;
    if (m_cache)
        cache.emplace(m_cache);

    bool holding = false; // the preparer keeps a picture's memory for the next
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The size is checked once everything of the series is kept.
        const auto due = [this] {
            return m_stop || mayStartLocked() || (m_limitCheckDue && !popStartedLocked() && m_inFlight.empty());
        };
        if (holding && !due() && !popStartedLocked()) {
            // Nothing left to prepare: the full-size pixels and the file's bytes go back to the
            // system instead of staying for as long as the window lives (tens of megabytes a
            // worker for a large photo).
            lock.unlock();
            preparer.release();
            holding = false;
            lock.lock();
            continue;
        }
        m_wake.wait(lock, due);
        if (m_stop)
            return;
        if (!mayStartLocked()) {
            m_limitCheckDue = false;
            ++m_checking;
            lock.unlock();
            cache->enforceLimit();
            lock.lock();
            --m_checking;
            continue;
        }
        const bool preview = !m_previews.empty();
        std::deque<Job>& from = preview ? m_previews : m_front.empty() ? m_queue : m_front;
        const Job job = from.front();
        from.pop_front();
        (preview ? m_previewsStarted : m_started).insert(job.index);
        holding = true;
        const unsigned generation = m_generation;
        preparing = generation;
        const int TW = m_TW;
        const int TH = m_TH;
        m_inFlight.push_back({job.index, generation});
        lock.unlock();

        std::optional<thumbs::FileStamp> stamp;
        std::optional<thumbs::Prepared> prepared;
        if (cache)
            prepared = cache->find(job.nativePath, TW, TH, stamp);
        const bool hit = prepared.has_value();
        if (!hit && preview) {
            prepared = preparer.preview(job.nativePath, TW, TH);
        } else if (!hit) {
            prepared = preparer.prepare(job.nativePath, TW, TH);
            if (cache && stamp)
                cache->store(job.nativePath, *stamp, *prepared);
        }

        lock.lock();
        ++m_held;
        m_wake.wait(lock, [this] { return m_gateOpen || m_stop; });
        --m_held;
        bool keep = generation == m_generation && !m_stop;
        if (preview && hit) {
            // The picture from the cache is the box's for this series: it needs no second visit.
            // Unless that visit began meanwhile, and finds the same there.
            if (m_started.contains(job.index))
                keep = false;
            else if (keep)
                m_started.insert(job.index);
        }
        // A preview counts as prepared only when it brought the picture from the cache.
        if (!preview || (hit && keep)) {
            ++m_prepared;
            m_cacheHits += hit ? 1 : 0;
        }
        m_inFlight.erase(std::find_if(m_inFlight.begin(), m_inFlight.end(), [&](const InFlight& f) {
            return f.index == job.index && f.generation == generation;
        }));
        // A result of a cancelled series would land in a box that now shows another file.
        if (keep)
            m_ready.push_back({job.index, std::move(*prepared)});
        // Wakes the interface thread, also when the result was thrown away: someone may be
        // waiting to notice that.
        QCoreApplication::postEvent(this, new QEvent(kResultEvent));
        m_wake.notify_all();
    }
}

std::optional<ThumbnailLoader::Result> ThumbnailLoader::takeReady()
{
    std::optional<Result> result;
    {
        const std::lock_guard lock(m_mutex);
        if (m_ready.empty())
            return result;
        result = std::move(m_ready.front());
        m_ready.pop_front();
    }
    m_wake.notify_all();
    return result;
}

bool ThumbnailLoader::event(QEvent* event)
{
    if (event->type() == kResultEvent) {
        emit resultReady();
        return true;
    }
    return QObject::event(event);
}
