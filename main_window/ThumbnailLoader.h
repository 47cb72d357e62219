#pragma once

#include "main_window/Thumbnails.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Prepares thumbnails on worker threads ahead of the order in which the view shows them, so
// that the user-interface thread only draws. At most a few results wait at any time, each
// worker keeps its full-size buffer from one picture to the next, and a cancelled series is
// dropped as soon as the pictures being decoded are done.
class ThumbnailLoader : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        int index = 0;          // the thumbnail box
        QByteArray nativePath;  // its file
    };

    // workers 0 picks one per processor core, up to four.
    explicit ThumbnailLoader(int workers = 0, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // Starts preparing the jobs, in this order, for TW x TH boxes; whatever was under way is
    // cancelled first.
    void start(const QList<Job>& jobs, int TW, int TH);
    // Drops every queued job and every result; pictures being decoded are thrown away when done.
    void cancel();

    // The prepared thumbnail of one box for a TW x TH box. Waits for it while letting events run;
    // gives up (nothing) as soon as abandon() says so. A job that is not queued (or was queued
    // for another size) is put at the front of the queue.
    std::optional<thumbs::Prepared> take(const Job& job, int TW, int TH, const std::function<bool()>& abandon);

    int workerCount() const { return static_cast<int>(m_threads.size()); }
    // Pictures prepared so far, kept or thrown away.
    int preparedCount() const;
    int sizeWidth() const;
    int sizeHeight() const;

signals:
    void resultReady();

protected:
    bool event(QEvent* event) override;

private:
    struct Queued
    {
        Job job;
        int TW;
        int TH;
    };

    struct InFlight
    {
        int index;
        int TW;
        int TH;
        unsigned generation;
    };

    void run();
    bool mayStartLocked() const;
    void queueLocked(const Job& job, int TW, int TH);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::thread> m_threads;
    std::deque<Queued> m_queue;
    std::map<int, thumbs::Prepared> m_ready;
    int m_priority = -1;  // a box the user-interface thread waits for
    std::vector<InFlight> m_inFlight; // boxes being prepared right now
    int m_maxAhead = 0;
    unsigned m_generation = 0;
    int m_TW = 0;
    int m_TH = 0;
    bool m_stop = false;
    int m_prepared = 0;
};
