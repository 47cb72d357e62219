#pragma once

#include "ordering/Companions.h"
#include "ordering/OrderStore.h"
#include "ordering/Picture.h"
#include "platform/SkippedFiles.h"
#include "platform/Worker.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace ordering {

// Lists a folder's pictures on a thread of its own and hands them to the thread that owns it in
// batches, each file with what it is, its place in the folder's kept order and its text, the
// batch sorted by them: that thread only takes them in (PictureOrder::add) and shows them. It
// reads the kept order first, so that every file goes to its kept place as it comes. Starting
// another listing or cancel() drops the one under way: nothing of it arrives any more.
class FolderListing : public QObject
{
    Q_OBJECT
public:
    // The files found within this long are handed over together, at most this many at a time, and
    // only once the window's thread has taken the batch before (which it does in a turn of its own,
    // between the user's input).
    static constexpr int kBatchMs = 50;
    static constexpr qsizetype kBatchFiles = 8192;

    explicit FolderListing(OrderStore store, QObject* parent = nullptr);
    ~FolderListing() override;

    // Lists the files directly in `folder` (ending in "/") that match `extensions` (see
    // platform::ExtensionPattern).
    void start(const QByteArray& folder, const QString& extensions);
    // Whether the listings started from now on find the pictures' companions (see
    // findCompanions); on at first.
    void setCompanions(bool find) { m_companions = find; }
    void cancel();
    // Started, and neither finished nor cancelled.
    bool running() const { return m_running; }
    // The files of the folder listed last that look like photos or clips but that the extensions
    // did not take; complete once it has finished, empty before.
    const platform::SkippedFiles& skipped() const { return m_skipped; }
    // Frees what a listing made on its own thread, where that holds no one up.
    void letGo(std::vector<QString> texts);

    // For tests, which need a folder that is still being listed: every listing started from now on
    // hands over batches of at most `files` files, and after `batches` of them (-1: never) waits
    // until release().
    void setBatchFiles(qsizetype files) { m_batchFiles = files; }
    void holdAfter(int batches) { m_holdAfter = batches; }
    void release();

signals:
    // The folder's kept order (empty when it has none), before any file.
    void keptOrderRead(const QList<ordering::KeptEntry>& kept);
    // Files found, placed by that order; several batches for a folder that takes a while.
    void found(const ordering::ListedBatch& batch);
    // The files that go with the pictures listed, once every file is listed, just before
    // `finished`; not sent when there are none.
    void companionsFound(const ordering::CompanionsFound& companions);
    // The folder could not be read; `what` is the folder. It finishes all the same, with nothing.
    void failed(const QString& what, const QString& errorText);
    // Every file is listed. `hidden` are the kept names of files the view does not show (of
    // another extension), in their kept order, to be kept with the order shown.
    void finished(const QList<QByteArray>& hidden);

private:
    // Waits, on the listing's thread, until the batch before has been taken and the next may be
    // handed over; false when the listing was cancelled meanwhile.
    bool mayHandOver(const platform::Worker::Ticket& ticket, bool& taken);

    OrderStore m_store;
    platform::Worker::Ticket m_ticket;
    bool m_running = false;
    platform::SkippedFiles m_skipped;
    qsizetype m_batchFiles = kBatchFiles;
    bool m_companions = true;
    int m_holdAfter = -1;
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    int m_allowed = -1; // batches the listing under way may still hand over, -1: any number
    platform::Worker m_worker; // last: its thread ends before the rest goes
};

// The kept names no file listed has taken that `extensions` do not match: files that are not shown
// now, but keep their places for when they are. Kept files of the extensions shown that were
// not listed are gone.
QList<QByteArray> hiddenNames(const Placement& placement, const QString& extensions);

// What a listing cut short would have made of the whole folder: `listed` (the files listed so
// far, in display order, see PictureOrder::listedSoFar) with every other file of the folder at the
// place the listing would have given it, without a second pass. The paths in display order, and
// the hidden names as the listing would have found them.
struct WholeFolder
{
    QList<QByteArray> paths;
    QList<QByteArray> hidden;
};
WholeFolder listRest(const QByteArray& folder, const QString& extensions, const QList<ListedFile>& listed,
                     const QList<KeptEntry>& kept);

} // namespace ordering
