#include "ordering/FolderListing.h"

#include "ordering/Companions.h"
#include "ordering/Moves.h"
#include "platform/DirListing.h"
#include "platform/ExtensionPattern.h"
#include "platform/FileNames.h"

#include <QElapsedTimer>
#include <QSet>

#include <sys/stat.h>

namespace ordering {

namespace {

// The next matching file of the folder, as a listed file without its kept rank; nothing at the
// end.
std::optional<ListedFile> nextFile(platform::ImageFileEnumerator& files, const QByteArray& folder,
                                   const QString& folderText, QByteArray* name, QList<QByteArray>* others = nullptr)
{
    struct stat st;
    std::optional<QByteArray> next = files.next(&st, others);
    if (!next)
        return std::nullopt;
    *name = std::move(*next);
    return ListedFile{folder + *name, st.st_ino != 0 ? identityOf(st) : FileIdentity{}, Placement::kUnkept,
                      folderText + platform::decodeName(*name)};
}

} // namespace

FolderListing::FolderListing(OrderStore store, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_worker(1, platform::Worker::Priority::Normal)
{
    connect(&m_worker, &platform::Worker::failed, this, &FolderListing::failed);
}

FolderListing::~FolderListing()
{
    cancel();
}

void FolderListing::cancel()
{
    {
        std::lock_guard lock(m_gateMutex);
        m_ticket.cancel();
    }
    m_gate.notify_all();
    m_running = false;
}

void FolderListing::letGo(std::vector<QString> texts)
{
    if (!texts.empty())
        m_worker.post([texts = std::move(texts)](const platform::Worker::Ticket&) {});
}

void FolderListing::release()
{
    {
        std::lock_guard lock(m_gateMutex);
        m_allowed = -1;
    }
    m_gate.notify_all();
}

bool FolderListing::mayHandOver(const platform::Worker::Ticket& ticket, bool& taken)
{
    std::unique_lock lock(m_gateMutex);
    m_gate.wait(lock, [&] { return (taken && m_allowed != 0) || ticket.cancelled(); });
    if (ticket.cancelled())
        return false;
    taken = false;
    if (m_allowed > 0)
        --m_allowed;
    return true;
}

void FolderListing::start(const QByteArray& folder, const QString& extensions)
{
    cancel();
    {
        std::lock_guard lock(m_gateMutex);
        m_ticket = {};
        m_allowed = m_holdAfter;
    }
    m_running = true;
    m_skipped = {};
    m_worker.post(
        [this, store = m_store, folder, extensions, batchFiles = m_batchFiles,
         findThem = m_companions](const platform::Worker::Ticket& ticket) {
            QList<KeptEntry> kept = store.load(folder).entries;
            Placement placement(kept);
            platform::ImageFileEnumerator files(folder, extensions);
            platform::SkippedFiles skipped;
            files.countSkipped(&skipped);
            if (!files.isOpen())
                m_worker.fail(ticket, platform::decodeName(folder), files.errorText());
            const QString folderText = platform::decodeName(folder);
            ListedBatch batch;
            QElapsedTimer since;
            since.start();
            bool first = true;
            // The batch handed over last has been taken (under m_gateMutex).
            auto taken = std::make_shared<bool>(true);
            const auto wasTaken = [&] {
                const std::lock_guard lock(m_gateMutex);
                return *taken;
            };
            // Every hand-over wakes the window's thread, whose turn may be long in coming on a busy
            // machine: a folder listed within one interval comes in one, with the kept order it
            // was placed by and the end of the listing.
            const auto handOver = [&](bool last, QList<QByteArray> hidden, CompanionsFound companions = {}) {
                if (!mayHandOver(ticket, *taken))
                    return;
                sortByKey(batch);
                m_worker.deliver(ticket, [this, ticket, taken, first = std::exchange(first, false),
                                          kept = std::exchange(kept, {}), batch = std::move(batch), last,
                                          hidden = std::move(hidden), companions = std::move(companions),
                                          skipped = last ? skipped : platform::SkippedFiles()] {
                    {
                        const std::lock_guard lock(m_gateMutex);
                        *taken = true;
                    }
                    m_gate.notify_all();
                    if (first)
                        emit keptOrderRead(kept);
                    // A handler may start another listing.
                    if (!batch.files.isEmpty() && !ticket.cancelled())
                        emit found(batch);
                    if (last && !ticket.cancelled() && !companions.isEmpty())
                        emit companionsFound(companions);
                    if (last && !ticket.cancelled()) {
                        m_running = false;
                        m_skipped = skipped;
                        emit finished(hidden);
                    }
                });
                batch = {};
                since.restart();
            };
            QByteArray name;
            // For the companions, which need the whole folder.
            QList<QByteArray> shownNames;
            QList<QByteArray> others;
            while (!ticket.cancelled()) {
                std::optional<ListedFile> file = nextFile(files, folder, folderText, &name, findThem ? &others : nullptr);
                if (!file)
                    break;
                if (findThem)
                    shownNames.append(name);
                if (!placement.isEmpty())
                    file->keptRank = placement.rankOf(name, file->path, &file->file);
                batch.files.append(std::move(*file));
                if (batch.files.size() >= batchFiles || (since.elapsed() >= kBatchMs && wasTaken()))
                    handOver(false, {});
            }
            if (ticket.cancelled())
                return;
            // The last files go first: their companions are found while the window's thread takes
            // them in.
            if (!batch.files.isEmpty() && !others.isEmpty())
                handOver(false, {});
            CompanionsFound companions = findCompanions(folder, shownNames, others);
            // A RAW twin renamed with its picture is not left out of the view.
            for (const CompanionsFound::Found& found : std::as_const(companions.companions)) {
                const QByteArray& path = found.companion.path;
                skipped.remove(QByteArrayView(path).sliced(path.lastIndexOf('/') + 1));
            }
            shownNames = {};
            others = {};
            handOver(true, hiddenNames(placement, extensions), std::move(companions));
        },
        m_ticket);
}

QList<QByteArray> hiddenNames(const Placement& placement, const QString& extensions)
{
    QList<QByteArray> hidden;
    const platform::ExtensionPattern pattern(platform::encodeName(extensions));
    for (QByteArray& name : placement.unclaimed())
        if (!pattern.matches(name))
            hidden.append(std::move(name));
    return hidden;
}

WholeFolder listRest(const QByteArray& folder, const QString& extensions, const QList<ListedFile>& listed,
                     const QList<KeptEntry>& kept)
{
    // The files listed are ids 1 to n in display order, the others follow; each of those takes
    // the place the listing would have given it, by the key it would have had.
    Placement placement(kept);
    QList<ListedFile> files = listed;
    QSet<QByteArray> seen;
    seen.reserve(listed.size());
    for (const ListedFile& f : listed) {
        placement.claimRank(f.keptRank);
        seen.insert(f.path);
    }
    DisplayOrder order;
    order.reserve(listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i)
        order.append(PictureId(i + 1));
    std::vector<PictureId> rest;
    platform::ImageFileEnumerator enumerator(folder, extensions);
    const QString folderText = platform::decodeName(folder);
    QByteArray name;
    while (std::optional<ListedFile> file = nextFile(enumerator, folder, folderText, &name)) {
        if (seen.contains(file->path))
            continue;
        file->keptRank = placement.rankOf(name, file->path, &file->file);
        files.append(std::move(*file));
        rest.push_back(PictureId(files.size()));
    }
    const auto less = [&files](PictureId a, PictureId b) {
        const ListedFile& x = files[a - 1];
        const ListedFile& y = files[b - 1];
        return keptRankThenText(x.keptRank, x.text, y.keptRank, y.text);
    };
    std::stable_sort(rest.begin(), rest.end(), less);
    ListingMerge merge;
    merge.merge(order, rest, less);

    WholeFolder whole;
    whole.paths.reserve(order.size());
    for (const PictureId id : order)
        whole.paths.append(files[id - 1].path);
    whole.hidden = hiddenNames(placement, extensions);
    return whole;
}

} // namespace ordering
