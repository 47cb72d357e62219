#pragma once

#include "ordering/OrderStore.h"
#include "platform/Worker.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class QTimer;

namespace ordering {

class PictureOrder;

// Keeps the order the user made, so that a folder shown again comes up in it: after another
// folder, the options, a restart or a crash. It says when (this long after a change at the
// latest, not put off by the changes that follow, so that a long run of moves is kept as it goes;
// at once when the folder is left and when the program ends) and hands the order to a thread of
// its own, so that a move costs the window's thread no more than a copy of the paths. An order
// that cannot be written (a full disk, a state folder that cannot be written) is said once for
// its folder and tried again at the next change.
class OrderKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int kKeepAfterMs = 500;

    // Keeps the order of `pictures` (which must outlive it) in `store`. Old orders are pruned
    // first, before any folder's order is read.
    OrderKeeper(const PictureOrder& pictures, OrderStore store, QObject* parent = nullptr);
    // Keeps a change not kept yet, and waits until everything is written.
    ~OrderKeeper() override;

    const OrderStore& store() const { return m_store; }
    // The folder shown, ending in "/"; empty before the first.
    const QByteArray& folder() const { return m_folder; }

    // The folder (ending in "/") whose files are about to be listed with `extensions`: the order
    // shown before is kept first.
    void showFolder(const QByteArray& folder, const QString& extensions);
    // What the listing found: the folder's kept order; at its end the kept names of files not
    // shown (another extension).
    void keptOrderRead(const QList<KeptEntry>& kept);
    void listingFinished(const QList<QByteArray>& hidden);

    // The order shown changed: it is kept within kKeepAfterMs, or once every file is listed.
    void changed();
    // Hands the order shown to the writer now.
    void keepNow();
    // Hands over a change not handed over yet and returns when everything is written.
    void flush();
    // Returns when everything handed over is written.
    void wait() { m_writer.wait(); }
    // A change waits for its time.
    bool pending() const;

    // The offsets of the clocks of the folder shown's devices, read when first asked for.
    const ClockOffsets& clocks();
    // Keeps them with the folder's order, on the writer's thread.
    void keepClocks(const ClockOffsets& offsets);

    // A rename gave the files of `folder` the names in the order shown (`undo`: its undo took
    // them back): the order from before it is put aside for its undo, or comes back.
    void renamed(const QByteArray& folder, bool undo);

signals:
    // The order of a folder could not be written (said once until it is written again).
    void failed(const QString& folder, const QString& errorText);
    // It could be written again.
    void recovered(const QString& folder);

private:
    void written(const QString& folder, bool ok, const QString& errorText);

    const PictureOrder& m_pictures;
    OrderStore m_store;
    platform::Worker m_writer;
    QTimer* m_timer = nullptr;
    QByteArray m_folder;          // the folder shown, ending in "/"
    QString m_extensions;
    bool m_edited = false;        // changed since it was last handed over
    QList<KeptEntry> m_kept;      // the folder's kept order, while its files are listed
    QList<QByteArray> m_hidden;   // kept names the view does not show
    QSet<QString> m_failed;       // folders whose order could not be written
    std::optional<ClockOffsets> m_clocks; // of the folder shown, once read
};

} // namespace ordering
