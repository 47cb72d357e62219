#include "thumbnails/TimeTakenReader.h"

#include <QThread>

#include <algorithm>
#include <utility>

namespace {

// Files read by one job: few enough that the progress moves, enough that handing the results over
// costs nothing beside reading them.
constexpr qsizetype kFilesAJob = 16;

int workerCount(int workers)
{
    return workers > 0 ? workers : std::clamp(QThread::idealThreadCount(), 1, 4);
}

} // namespace

TimeTakenReader::TimeTakenReader(int workers, QObject* parent)
    : QObject(parent), m_worker(workerCount(workers), platform::Worker::Priority::Normal)
{
}

TimeTakenReader::~TimeTakenReader()
{
    // The worker waits for the files being read; the rest are not started.
    cancel();
}

void TimeTakenReader::start(const QList<Job>& jobs)
{
    cancel();
    m_series = {};
    m_wanted = true;
    m_results = QList<Result>(jobs.size());
    m_done = 0;
    if (jobs.isEmpty()) {
        m_worker.post([this](const platform::Worker::Ticket& series) {
            m_worker.deliver(series, [this] {
                m_wanted = false;
                emit finished({});
            });
        }, m_series);
        return;
    }
    for (qsizetype first = 0; first < jobs.size(); first += kFilesAJob) {
        m_worker.post(
            [this, first, part = jobs.mid(first, kFilesAJob)](const platform::Worker::Ticket& series) {
                QList<Result> read;
                read.reserve(part.size());
                for (const Job& job : part) {
                    const imaging::PhotoMetadata metadata = imaging::readFileMetadata(job.nativePath);
                    read.append({job.index, imaging::timeTaken(metadata), metadata.camera});
                }
                m_worker.deliver(series, [this, first, read] {
                    std::copy(read.cbegin(), read.cend(), m_results.begin() + first);
                    m_done += read.size();
                    emit progress(int(m_done));
                    if (m_done < m_results.size())
                        return;
                    m_wanted = false;
                    emit finished(std::exchange(m_results, {}));
                });
            },
            m_series);
    }
}

void TimeTakenReader::cancel()
{
    m_wanted = false;
    m_series.cancel();
}
