#pragma once

#include "imaging/PhotoMetadata.h"
#include "platform/Worker.h"
#include "thumbnails/ThumbnailLoader.h"

#include <QList>
#include <QObject>

#include <optional>

// Reads when pictures were taken from their files alone (without decoding them), on threads of
// its own, for the pictures whose thumbnails have not told it yet. One series at a time: a new
// one, or cancel(), drops the one under way, whose results then never arrive.
class TimeTakenReader : public QObject
{
    Q_OBJECT
public:
    using Job = ThumbnailLoader::Job; // a thumbnail box and its file
    struct Result
    {
        int index = 0;
        std::optional<imaging::ClockTime> taken; // nothing when the file tells no time at all
        imaging::CameraData camera;              // read with it
    };

    // workers 0 picks one per processor core, up to four.
    explicit TimeTakenReader(int workers = 0, QObject* parent = nullptr);
    ~TimeTakenReader() override;

    void start(const QList<Job>& jobs);
    void cancel();
    // A series is under way.
    bool busy() const { return m_wanted; }

signals:
    // So many files of the series have been read.
    void progress(int done);
    // The series has been read whole; every job has its result, in the series' order.
    void finished(const QList<TimeTakenReader::Result>& results);

private:
    platform::Worker m_worker;
    platform::Worker::Ticket m_series;
    QList<Result> m_results;
    qsizetype m_done = 0;
    bool m_wanted = false;
};
