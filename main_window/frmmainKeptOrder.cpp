// Keeping the order the user made: the view of a folder comes up in it again after another
// folder, the options, a restart or a crash. The window decides when; the order files are the
// store's (OrderStore) and are written on a thread of their own, so that a move costs this
// thread no more than a copy of the paths.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/DirListing.h"
#include "platform/ExtensionPattern.h"
#include "platform/FileNames.h"
#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include <QDateTime>
#include <QSet>
#include <QTimer>

void frmmain::setUpKeptOrder()
{
    m_orderTimer = new QTimer(this);
    m_orderTimer->setObjectName(QStringLiteral("tmrKeepOrder"));
    m_orderTimer->setSingleShot(true);
    m_orderTimer->setInterval(kKeepOrderAfterMs);
    connect(m_orderTimer, &QTimer::timeout, this, [this] { keepOrderNow(); });
    connect(this, &frmmain::orderChanged, this, [this] { orderEdited(); });
    // Once a start, and before the first folder's order is read, which waits for it.
    m_orderWriter.post(
        [store = m_orders] { store.prune(orders::kPruneLimits, QDateTime::currentSecsSinceEpoch()); });
}

void frmmain::orderEdited()
{
    m_orderEdited = true;
    // Not started again by the next change, so that a long run of moves is kept as it goes. While
    // the files are listed, the order is not whole yet: it is kept once they all are.
    if (m_listed && !m_orderTimer->isActive())
        m_orderTimer->start();
}

void frmmain::keepOrderNow()
{
    m_orderTimer->stop();
    if (m_orderFolder.isEmpty())
        return;
    m_orderEdited = false;
    QList<QByteArray> paths;
    QList<QByteArray> hidden = m_orderHidden;
    paths.reserve(order.size());
    if (m_listed) {
        for (const int i : order) {
            const QByteArray& path = picScroll->element(i).nativePath;
            if (!path.isEmpty()) // the placeholder
                paths.append(path);
        }
    } else {
        paths = listingCarriedOn(&hidden);
    }
    m_orderWriter.post(
        [store = m_orders, folder = m_orderFolder, paths = std::move(paths), hidden = std::move(hidden)] {
            store.save(folder, orders::namesIn(folder, paths), hidden);
        });
}

QList<QByteArray> frmmain::listingCarriedOn(QList<QByteArray>* hidden) const
{
    // A listing cut short (another folder, the end) after a drop: what it would have made of the
    // whole folder. It carries on over the names it had not come to, with their kept places,
    // without boxes; files listed later would otherwise all go after those listed before.
    const int count = picScroll->count();
    std::vector<QString> keys(static_cast<size_t>(count));
    std::vector<int> ranks(static_cast<size_t>(count), orders::Placement::kUnkept);
    QSet<QByteArray> listed;
    for (int i = 1; i < count; ++i) {
        const QByteArray& path = picScroll->element(i).nativePath;
        keys[static_cast<size_t>(i)] = platform::decodeName(path);
        if (static_cast<size_t>(i) < m_listingRanks.size())
            ranks[static_cast<size_t>(i)] = m_listingRanks[static_cast<size_t>(i)];
        listed.insert(path);
    }
    orders::Placement placement = m_placement;
    QList<QByteArray> rest;
    QList<int> whole = order;
    ListingInsertion insertion;
    platform::ImageFileEnumerator files(m_orderFolder, imageerw);
    while (const std::optional<QByteArray> name = files.next()) {
        const QByteArray path = m_orderFolder + *name;
        if (listed.contains(path))
            continue;
        rest.append(path);
        keys.push_back(platform::decodeName(path));
        ranks.push_back(placement.rankOf(*name, path));
        insertion.insert(whole, count + int(rest.size()) - 1,
                         [&](int a, int b) { return keptRankThenName(ranks, keys, a, b); });
    }
    QList<QByteArray> paths;
    paths.reserve(whole.size());
    for (const int i : whole)
        paths.append(i < count ? picScroll->element(i).nativePath : rest[i - count]);
    *hidden = hiddenOf(placement);
    return paths;
}

void frmmain::waitForKeptOrder()
{
    m_orderWriter.wait();
}

void frmmain::flushKeptOrder()
{
    if (m_orderEdited)
        keepOrderNow();
    m_orderWriter.wait();
}

void frmmain::readKeptOrder(const QByteArray& folder)
{
    m_orderFolder = folder;
    m_orderEdited = false;
    m_orderTimer->stop();
    m_orderHidden = {};
    m_placement = orders::Placement(m_orders.load(folder).entries);
    m_listingRanks.assign(1, orders::Placement::kUnkept);
}

QList<QByteArray> frmmain::hiddenOf(const orders::Placement& placement) const
{
    // Files of another extension are not listed now, but keep their places for when they are;
    // the kept files of this one that were not listed are gone.
    QList<QByteArray> hidden;
    const platform::ExtensionPattern extensions(platform::encodeName(imageerw));
    for (QByteArray& name : placement.unclaimed())
        if (!extensions.matches(name))
            hidden.append(std::move(name));
    return hidden;
}

void frmmain::listingDone()
{
    m_orderHidden = hiddenOf(m_placement);
    m_listingRanks = {};
    if (m_orderEdited)
        orderEdited(); // a drop while the files were listed is kept now that they all are
}

void frmmain::keptRank(int index, const QByteArray& name)
{
    const int rank = m_placement.isEmpty() ? orders::Placement::kUnkept
                                           : m_placement.rankOf(name, picScroll->element(index).nativePath);
    m_listingRanks.resize(static_cast<size_t>(index) + 1, orders::Placement::kUnkept);
    m_listingRanks[static_cast<size_t>(index)] = rank;
}

void frmmain::keptOrderRenamed(const renaming::Result& result, bool undo)
{
    if (result.renamed.isEmpty())
        return;
    if (result.ok()) {
        // The order was handed over before the run; the names carry it now, so only its undo
        // needs it, in whatever folder that is done from, also after a restart.
        const renaming::Renamed& first = result.renamed.first();
        const QByteArray folder =
            platform::withTrailingSlash(renaming::folderOf(undo ? first.to : first.from));
        m_orderWriter.post(
            [store = m_orders, folder, undo] { undo ? store.unstash(folder) : store.stash(folder); });
    }
    // The boxes know their files' new names: the view's order under them.
    orderEdited();
}
