#include "thumbnails/TimeTakenReader.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

TimeTakenReader::TimeTakenReader(int workers, QObject* parent) : QObject(parent)
{
    if (workers <= 0)
        workers = std::clamp(QThread::idealThreadCount(), 1, 4);
    m_pool.setMaxThreadCount(workers);
    connect(&m_watcher, &QFutureWatcherBase::progressValueChanged, this, [this](int done) {
        if (m_wanted)
            emit progress(done);
    });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] {
        if (!m_wanted || m_watcher.isCanceled())
            return;
        m_wanted = false;
        emit finished(m_watcher.future().results());
    });
}

TimeTakenReader::~TimeTakenReader()
{
    // The pool waits for the files being read; the rest are not started.
    cancel();
}

void TimeTakenReader::start(const QList<Job>& jobs)
{
    cancel();
    m_wanted = true;
    m_watcher.setFuture(QtConcurrent::mapped(&m_pool, jobs, [](const Job& job) {
        const imaging::PhotoMetadata metadata = imaging::readFileMetadata(job.nativePath);
        return Result{job.index, imaging::timeTaken(metadata), metadata.camera};
    }));
}

void TimeTakenReader::cancel()
{
    m_wanted = false;
    m_watcher.cancel();
}
