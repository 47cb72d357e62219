#include "ordering/OrderKeeper.h"

#include "ordering/FolderListing.h"
#include "ordering/PictureOrder.h"
#include "platform/FileNames.h"

#include <QDateTime>
#include <QTimer>

namespace ordering {

OrderKeeper::OrderKeeper(const PictureOrder& pictures, OrderStore store, QObject* parent)
    : QObject(parent), m_pictures(pictures), m_store(std::move(store))
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("tmrKeepOrder"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(kKeepAfterMs);
    connect(m_timer, &QTimer::timeout, this, &OrderKeeper::keepNow);
    connect(&m_writer, &platform::Worker::failed, this,
            [this](const QString& folder, const QString& errorText) { written(folder, false, errorText); });
    m_writer.post([store = m_store](const platform::Worker::Ticket&) {
        store.prune(kPruneLimits, QDateTime::currentSecsSinceEpoch());
    });
}

OrderKeeper::~OrderKeeper()
{
    flush();
}

void OrderKeeper::showFolder(const QByteArray& folder, const QString& extensions)
{
    flush();
    m_folder = folder;
    m_extensions = extensions;
    m_hidden = {};
    m_kept = {};
    m_clocks.reset();
}

const ClockOffsets& OrderKeeper::clocks()
{
    // A damaged file is set aside as a damaged order is: the clocks read as they are.
    if (!m_clocks)
        m_clocks = m_folder.isEmpty() ? ClockOffsets{} : m_store.loadClocks(m_folder).offsets;
    return *m_clocks;
}

void OrderKeeper::keepClocks(const ClockOffsets& offsets)
{
    m_clocks = offsets;
    if (m_folder.isEmpty())
        return;
    m_writer.post([this, store = m_store, folder = m_folder, offsets](const platform::Worker::Ticket& ticket) {
        const QString folderText = platform::decodeName(folder);
        QString error;
        if (store.writeClocks(folder, offsets, &error))
            m_writer.deliver(ticket, [this, folderText] { written(folderText, true, {}); });
        else
            m_writer.fail(ticket, folderText, error);
    });
}

void OrderKeeper::keptOrderRead(const QList<KeptEntry>& kept)
{
    m_kept = kept;
}

void OrderKeeper::listingFinished(const QList<QByteArray>& hidden)
{
    m_hidden = hidden;
    // The names of a large folder's kept order take a while to free.
    m_writer.post([kept = std::exchange(m_kept, {})](const platform::Worker::Ticket&) {});
    if (m_edited)
        changed(); // a drop while the files were listed is kept now that they all are
}

void OrderKeeper::changed()
{
    m_edited = true;
    // While the files are listed the order is not whole yet: it is kept once they all are.
    if (m_pictures.listed() && !m_timer->isActive())
        m_timer->start();
}

bool OrderKeeper::pending() const
{
    return m_timer->isActive();
}

void OrderKeeper::keepNow()
{
    m_timer->stop();
    if (m_folder.isEmpty())
        return;
    m_edited = false;
    const QString folderText = platform::decodeName(m_folder);
    if (m_pictures.listed()) {
        QList<QByteArray> paths;
        paths.reserve(m_pictures.count());
        for (const PictureId id : m_pictures.shown())
            paths.append(m_pictures.picture(id).path());
        m_writer.post([this, store = m_store, folder = m_folder, folderText, paths = std::move(paths),
                       hidden = m_hidden](const platform::Worker::Ticket& ticket) {
            QString error;
            if (store.save(folder, namesIn(folder, paths), hidden, &error))
                m_writer.deliver(ticket, [this, folderText] { written(folderText, true, {}); });
            else
                m_writer.fail(ticket, folderText, error);
        });
        return;
    }
    // A listing cut short (another folder, the end) after a drop: kept as the listing would have
    // made the whole folder, on the writer's thread.
    m_writer.post([this, store = m_store, folder = m_folder, folderText, extensions = m_extensions,
                   listed = m_pictures.listedSoFar(), kept = m_kept](const platform::Worker::Ticket& ticket) {
        const WholeFolder whole = listRest(folder, extensions, listed, kept);
        QString error;
        if (store.save(folder, namesIn(folder, whole.paths), whole.hidden, &error))
            m_writer.deliver(ticket, [this, folderText] { written(folderText, true, {}); });
        else
            m_writer.fail(ticket, folderText, error);
    });
}

void OrderKeeper::flush()
{
    if (m_edited)
        keepNow();
    m_writer.wait();
}

void OrderKeeper::renamed(const QByteArray& folder, bool undo)
{
    // The order was handed over before the run; the names carry it now, so only its undo needs
    // it, in whatever folder that is done from, also after a restart.
    m_writer.post([store = m_store, folder, undo](const platform::Worker::Ticket&) {
        undo ? store.unstash(folder) : store.stash(folder);
    });
}

void OrderKeeper::written(const QString& folder, bool ok, const QString& errorText)
{
    if (ok) {
        if (m_failed.remove(folder))
            emit recovered(folder);
        return;
    }
    // Tried again when the folder is left or the program ends, if no change comes before.
    if (folder == platform::decodeName(m_folder))
        m_edited = true;
    if (m_failed.contains(folder))
        return;
    m_failed.insert(folder);
    emit failed(folder, errorText);
}

} // namespace ordering
