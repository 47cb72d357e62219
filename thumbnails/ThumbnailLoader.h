#pragma once

#include "thumbnails/Thumbnails.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

namespace thumbs {
class ThumbnailCache;
}

// Prepares thumbnails on worker threads, so that the user-interface thread only draws. A series
// of jobs is prepared in the order given, except that jobs can be moved to the front at any time
// (the ones the user looks at), and quick previews of some can be asked for ahead of them all.
// Results are handed out as they are finished. At most a few results wait at any time, each
// worker keeps its full-size buffer from one picture to the next, and a cancelled series is
// dropped as soon as the pictures being prepared are done (a clip being read is given up at
// once). With a cache, a picture kept from before is taken from it instead of being decoded, and what is
// prepared is kept there; its size limit is checked whenever a series has been worked off.
class ThumbnailLoader : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        int index = 0;          // the thumbnail box
        QByteArray nativePath;  // its file
        // Prepared again for a box that had its picture (or its preview) in this series and gave
        // it up: not held back by having been started before.
        bool again = false;
    };
    struct Result
    {
        int index = 0;
        thumbs::Prepared prepared;
    };

    // workers 0 picks one per processor core, up to four.
    explicit ThumbnailLoader(int workers = 0, std::shared_ptr<thumbs::ThumbnailCache> cache = {},
                             QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // Starts a new series: the jobs, in this order, for TW x TH boxes, after the previews asked
    // for (as by preview); whatever was under way is cancelled first.
    void start(const QList<Job>& jobs, int TW, int TH, const QList<Job>& previews = {});
    // Puts these jobs at the front of the queue, in this order, in place of those an earlier call
    // put there (which stay queued in the series' order); those already started in this series
    // are left out, and jobs to prepare again that are under way or waiting to be taken.
    void prioritize(const QList<Job>& jobs);
    // Previews (Preparer::preview) for these boxes, in this order, before any picture is prepared,
    // in place of those asked for before and not started yet. A box whose picture is under way
    // or done, or whose preview was started in this series (unless `again`), gets none. A box
    // whose picture is in the cache gets that instead, and then no second visit.
    void preview(const QList<Job>& jobs);
    // Drops every queued job and every result; pictures being prepared are thrown away when done.
    void cancel();

    // A result of the series that is waiting, the earliest finished first; nothing when none is.
    std::optional<Result> takeReady();

    // Nothing queued, under way or waiting, and no check of the cache's size due.
    bool idle() const;
    int workerCount() const { return static_cast<int>(m_threads.size()); }
    // Pictures prepared so far, kept or thrown away, and how many of them came from the cache.
    int preparedCount() const;
    int cacheHitCount() const;
    // The box size of the series last started.
    QSize boxSize() const;

    // For tests: with the gate closed, a worker that has prepared a picture holds it until the
    // gate opens again.
    void setGateOpen(bool open);
    int heldAtGate() const;

signals:
    void resultReady();

protected:
    bool event(QEvent* event) override;

private:
    struct InFlight
    {
        int index;
        unsigned generation;
    };

    void run();
    bool popStartedLocked();
    bool openLocked(const Job& job) const;
    bool previewOpenLocked(const Job& job) const;
    bool pendingLocked(int index) const;
    bool mayStartLocked();
    void resetLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::thread> m_threads;
    std::shared_ptr<thumbs::ThumbnailCache> m_cache;
    std::deque<Job> m_previews;    // before anything else
    std::unordered_set<int> m_previewsStarted;
    std::deque<Job> m_front;       // wanted first
    std::deque<Job> m_queue;       // the series in its order
    std::unordered_set<int> m_started; // boxes started in this series
    std::deque<Result> m_ready;
    std::vector<InFlight> m_inFlight; // boxes being prepared right now
    int m_maxAhead = 0;
    unsigned m_generation = 0;
    // The same, for workers to ask while they prepare without taking the lock: a clip being read
    // for a series that was cancelled is given up.
    std::atomic<unsigned> m_liveGeneration{0};
    int m_TW = 0; // the box size of the series, for every job of it
    int m_TH = 0;
    bool m_stop = false;
    bool m_limitCheckDue = false;
    int m_checking = 0;
    int m_prepared = 0;
    int m_cacheHits = 0;
    bool m_gateOpen = true;
    int m_held = 0;
};
