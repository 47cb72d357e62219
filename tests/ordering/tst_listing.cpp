#include "ordering/FolderListing.h"
#include "ordering/OrderKeeper.h"
#include "ordering/PictureOrder.h"
#include "ordering/Summary.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/Worker.h"

#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <future>
#include <numeric>

#include <sys/stat.h>
#include <unistd.h>

using namespace ordering;

namespace {

QList<QByteArray> names(int n, const char* prefix)
{
    QList<QByteArray> list;
    for (int k = 1; k <= n; ++k)
        list.append(prefix + QByteArray::number(k).rightJustified(4, '0') + ".jpg");
    return list;
}

QList<QByteArray> namesOf(const QList<KeptEntry>& entries)
{
    QList<QByteArray> list;
    for (const KeptEntry& e : entries)
        list.append(e.name);
    return list;
}

// The names shown, in display order.
QList<QByteArray> shownNames(const PictureOrder& pictures)
{
    QList<QByteArray> list;
    for (const PictureId id : pictures.shown())
        list.append(pictures.picture(id).path().mid(pictures.picture(id).path().lastIndexOf('/') + 1));
    return list;
}

// A listing that feeds a PictureOrder as the window does, and what arrived, in the order it came.
struct Listed
{
    PictureOrder pictures;
    QStringList events;
    QList<qsizetype> batches;
    QList<QByteArray> hidden;
    QString error;
    bool done = false;

    void follow(FolderListing& listing)
    {
        QObject::connect(&listing, &FolderListing::keptOrderRead, &listing,
                         [this](const QList<KeptEntry>& kept) { events.append(QStringLiteral("kept %1").arg(kept.size())); });
        QObject::connect(&listing, &FolderListing::found, &listing, [this](const ListedBatch& batch) {
            events.append(QStringLiteral("found"));
            batches.append(batch.files.size());
            pictures.add(batch);
        });
        QObject::connect(&listing, &FolderListing::failed, &listing, [this](const QString&, const QString& text) {
            events.append(QStringLiteral("failed"));
            error = text;
        });
        QObject::connect(&listing, &FolderListing::companionsFound, &listing, [this](const CompanionsFound& found) {
            events.append(QStringLiteral("companions"));
            pictures.setCompanions(found);
        });
        QObject::connect(&listing, &FolderListing::finished, &listing, [this](const QList<QByteArray>& h) {
            events.append(QStringLiteral("finished"));
            hidden = h;
            pictures.finishListing();
            done = true;
        });
    }
};

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = QFile::encodeName(m_dir->path()) + "/state";
        m_folder = QFile::encodeName(m_dir->path()) + "/photos/";
        QDir().mkpath(QFile::decodeName(m_folder));
    }

    // One thread: jobs in the order posted. A job cancelled before it starts never runs, and what
    // a job delivers after its cancel never arrives; failures arrive on the owner's thread as
    // failed(). Several threads run jobs side by side.
    void worker()
    {
        platform::Worker serial;
        QStringList ran;
        QStringList arrived;
        QSignalSpy failed(&serial, &platform::Worker::failed);
        std::promise<void> gate;
        std::shared_future<void> open = gate.get_future().share();
        serial.post([open](const platform::Worker::Ticket&) { open.wait(); });
        const platform::Worker::Ticket kept = serial.post([&](const platform::Worker::Ticket& t) {
            ran.append("kept");
            serial.deliver(t, [&] { arrived.append("kept"); });
        });
        const platform::Worker::Ticket dropped = serial.post([&](const platform::Worker::Ticket&) { ran.append("dropped"); });
        const platform::Worker::Ticket late = serial.post([&](const platform::Worker::Ticket& t) {
            ran.append("late");
            serial.deliver(t, [&] { arrived.append("late"); });
            serial.fail(t, "late", "should not arrive");
        });
        serial.post([&](const platform::Worker::Ticket& t) {
            ran.append("failing");
            serial.fail(t, "/p/a.jpg", "no room");
            QVERIFY(QThread::currentThread() != thread());
        });
        dropped.cancel();
        gate.set_value();
        serial.wait();
        late.cancel();
        QCOMPARE(ran, (QStringList{"kept", "late", "failing"}));
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed[0], (QList<QVariant>{"/p/a.jpg", "no room"}));
        QCOMPARE(arrived, QStringList{"kept"});
        QVERIFY(!kept.cancelled());

        platform::Worker pool(2, platform::Worker::Priority::Normal);
        std::promise<void> first;
        std::promise<void> second;
        pool.post([&](const platform::Worker::Ticket&) {
            first.set_value();
            second.get_future().wait();
        });
        pool.post([&](const platform::Worker::Ticket&) {
            first.get_future().wait();
            second.set_value();
        });
        pool.wait(); // would never return if the two did not run side by side
    }

    // Every file goes to its kept place as it comes: kept names by their rank, a file another
    // program renamed by what it is, the others after them by name; the view is in that order
    // after every batch, without a second pass. Kept names of another extension are handed back to
    // be kept; gone files are not. In batches of a hundred at most, or of as many as come within
    // the interval.
    void listingPlacesEachFileAsItComes_data()
    {
        QTest::addColumn<qsizetype>("batchFiles");
        QTest::newRow("as they come") << FolderListing::kBatchFiles;
        QTest::newRow("a hundred at a time") << qsizetype(100);
    }
    void listingPlacesEachFileAsItComes()
    {
        QFETCH(qsizetype, batchFiles);
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "x.jpg", "y.png"});
        const OrderStore store(m_state);
        const auto idOf = [&](const char* name) { return *identityOf(m_folder + name); };
        QVERIFY(store.write(m_folder, {{"c.jpg", idOf("c.jpg")},
                                       {"y.png", idOf("y.png")},
                                       {"x.jpg", idOf("x.jpg")},
                                       {"gone.jpg", {}},
                                       {"a.jpg", idOf("a.jpg")}}));
        QVERIFY(::rename(QByteArray(m_folder + "x.jpg").constData(), QByteArray(m_folder + "z.jpg").constData()) == 0);
        writeNamedFiles(m_folder.chopped(1), names(300, "n"));

        FolderListing listing(store);
        listing.setBatchFiles(batchFiles);
        Listed listed;
        listed.follow(listing);
        listing.start(m_folder, QStringLiteral("jpg"));
        QVERIFY(listing.running());
        QTRY_VERIFY(listed.done);
        QVERIFY(!listing.running());
        QCOMPARE(listed.events.first(), QStringLiteral("kept 5"));
        QCOMPARE(listed.events.last(), QStringLiteral("finished"));
        QCOMPARE(std::accumulate(listed.batches.cbegin(), listed.batches.cend(), qsizetype(0)), 305);
        QCOMPARE(*std::max_element(listed.batches.cbegin(), listed.batches.cend()) <= batchFiles, true);
        if (batchFiles == 100)
            QCOMPARE(listed.batches.size(), 4);
        QCOMPARE(listed.pictures.count(), 305);
        QCOMPARE(shownNames(listed.pictures).mid(0, 6),
                 (QList<QByteArray>{"c.jpg", "z.jpg", "a.jpg", "b.jpg", "d.jpg", "n0001.jpg"}));
        QCOMPARE(shownNames(listed.pictures).last(), QByteArray("n0300.jpg"));
        QCOMPARE(listed.hidden, QList<QByteArray>{"y.png"});
        // What the listing had to look at: the file another program renamed.
        const PictureId z = listed.pictures.shown()[1];
        QVERIFY(listed.pictures.identity(z) == idOf("z.jpg"));
        QVERIFY(!listed.pictures.picture(z).takenKnown());

        // The next listing of the folder without a kept order: by name.
        store.remove(m_folder);
        FolderListing next(store);
        Listed again;
        again.follow(next);
        next.start(m_folder, QStringLiteral("jpg"));
        QTRY_VERIFY(again.done);
        QCOMPARE(again.events.first(), QStringLiteral("kept 0"));
        QCOMPARE(shownNames(again.pictures).mid(0, 5),
                 (QList<QByteArray>{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "n0001.jpg"}));
        QVERIFY(again.hidden.isEmpty());
    }

    // What the folder holds besides what is shown: files that look like photos or clips by their
    // extension (in any letter case, links to such files too) and are not taken by the setting,
    // by extension. Hidden files, folders, dangling links, FIFOs and other files are not counted,
    // whether or not the file system tells the entries' types.
    void skippedPhotosAndClips_data()
    {
        QTest::addColumn<QString>("extensions");
        QTest::addColumn<bool>("typesUnknown");
        QTest::addColumn<QString>("photos");
        QTest::addColumn<QString>("clips");
        QTest::newRow("jpg") << "jpg" << false << "heic 3, png 1" << "mov 1";
        QTest::newRow("jpg, types unknown") << "jpg" << true << "heic 3, png 1" << "mov 1";
        QTest::newRow("every photo") << "jpg;heic;png" << false << "" << "mov 1";
        QTest::newRow("everything") << "*" << false << "" << "";
        QTest::newRow("clips only") << "mov" << false << "heic 3, jpg 2, png 1" << "";
    }
    void skippedPhotosAndClips()
    {
        QFETCH(QString, extensions);
        QFETCH(bool, typesUnknown);
        QFETCH(QString, photos);
        QFETCH(QString, clips);
        const QByteArray f = m_folder;
        writeNamedFiles(f.chopped(1), {"a.jpg", "b.JPG", "c.heic", "d.HEIC", "e.mov", "f.txt", "g.xmp", "noext",
                                       ".hidden.heic", "h.png"});
        QVERIFY(QDir().mkdir(QFile::decodeName(f + "folder.heic")));
        QCOMPARE(::symlink("c.heic", QByteArray(f + "link.heic").constData()), 0);
        QCOMPARE(::symlink("nowhere.heic", QByteArray(f + "dangling.heic").constData()), 0);
        QCOMPARE(::mkfifo(QByteArray(f + "pipe.heic").constData(), 0600), 0);
        platform::setEntryTypesUnknown(typesUnknown);
        FolderListing listing{OrderStore(m_state)};
        Listed listed;
        listed.follow(listing);
        listing.start(f, extensions);
        QVERIFY(listing.skipped().isEmpty());
        QTRY_VERIFY(listed.done);
        platform::setEntryTypesUnknown(false);
        const auto text = [](const QMap<QByteArray, qsizetype>& counts) {
            QStringList parts;
            for (auto it = counts.cbegin(); it != counts.cend(); ++it)
                parts.append(QString::fromLatin1(it.key()) + u' ' + QString::number(it.value()));
            return parts.join(QStringLiteral(", "));
        };
        QCOMPARE(text(listing.skipped().photos), photos);
        QCOMPARE(text(listing.skipped().clips), clips);

        // The next listing starts without them.
        listing.start(f, QStringLiteral("*"));
        QVERIFY(listing.skipped().isEmpty());
    }

    // What the window says of them, and of a renaming run.
    void summaryTexts_data()
    {
        QTest::addColumn<qsizetype>("shown");
        QTest::addColumn<QList<QByteArray>>("skipped"); // file names
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("finished");
        QTest::newRow("nothing else") << qsizetype(284) << QList<QByteArray>{} << "284 Bilder"
                                      << "Fertig: 284 Dateien umbenannt.";
        QTest::newRow("one, and thousands")
            << qsizetype(1234) << QList<QByteArray>{"a.HEIC"} << "1.234 Bilder · 1 weiteres Foto (.heic) nicht angezeigt"
            << "Fertig: 1.234 Dateien umbenannt.\n\n1 weiteres Foto (.heic) des Ordners wurde nicht angezeigt und "
               "behält seinen Namen.";
        QTest::newRow("photos of two kinds")
            << qsizetype(1) << QList<QByteArray>{"a.heic", "b.heic", "c.png", "d.txt"}
            << "1 Bild · 3 weitere Fotos (.heic, .png) nicht angezeigt"
            << "Fertig: 1 Datei umbenannt.\n\n3 weitere Fotos (.heic, .png) des Ordners wurden nicht angezeigt und "
               "behalten ihre Namen.";
        QTest::newRow("photos and clips")
            << qsizetype(0) << QList<QByteArray>{"a.heic", "b.mp4", "c.MOV"}
            << "Keine Bilder · 1 weiteres Foto und 2 Videos (.heic, .mov, .mp4) nicht angezeigt"
            << "Fertig: keine Datei umbenannt.\n\n1 weiteres Foto und 2 Videos (.heic, .mov, .mp4) des Ordners "
               "wurden nicht angezeigt und behalten ihre Namen.";
        QTest::newRow("a clip") << qsizetype(2) << QList<QByteArray>{"a.mp4"}
                                << "2 Bilder · 1 weiteres Video (.mp4) nicht angezeigt"
                                << "Fertig: 2 Dateien umbenannt.\n\n1 weiteres Video (.mp4) des Ordners wurde nicht "
                                   "angezeigt und behält seinen Namen.";
    }
    void summaryTexts()
    {
        QFETCH(qsizetype, shown);
        QFETCH(QList<QByteArray>, skipped);
        QFETCH(QString, line);
        QFETCH(QString, finished);
        platform::SkippedFiles files;
        for (const QByteArray& name : skipped)
            files.add(name);
        QCOMPARE(shownLine(shown, files), line);
        QCOMPARE(finishedText(shown, {}, files, false), finished);
        QCOMPARE(finishedText(shown, {}, files, true).section(u' ', 0, 0), QStringLiteral("Fertig:"));
        QVERIFY(!finishedText(shown, {}, files, true).contains(QStringLiteral("angezeigt")));
    }

    // The files that go with the pictures come with the listing, after every file is listed (a
    // companion can come before its picture), and the pictures carry them through renames; a
    // picture renamed without them leaves them behind. A folder without any says nothing of them.
    void companionsComeWithTheListing()
    {
        writeNamedFiles(m_folder.chopped(1), {"IMG_0001.JPG", "IMG_0001.CR2", "IMG_0001.JPG.xmp", ".IMG_0001.xmp",
                                              "IMG_0002.JPG", "IMG_0002.HEIC", "IMG_0002.xmp", "IMG_0003.jpg",
                                              "img_0003.NEF", "MVI_0004.MP4", "MVI_0004.THM"});
        QVERIFY(QDir().mkdir(QFile::decodeName(m_folder + "IMG_0003.d"))); // refused by the rename, not passed over
        FolderListing listing{OrderStore(m_state)};
        listing.setBatchFiles(2);
        Listed listed;
        listed.follow(listing);
        listing.start(m_folder, QStringLiteral("jpg;heic;mp4"));
        QTRY_VERIFY(listed.done);
        QCOMPARE(listed.events.mid(listed.events.size() - 2), (QStringList{"companions", "finished"}));
        QCOMPARE(listed.events.count(QStringLiteral("companions")), 1);
        const PictureOrder& p = listed.pictures;
        QMap<QByteArray, QByteArray> byPicture;
        for (const PictureId id : p.shown()) {
            QByteArray list;
            for (const renaming::Companion& c : p.companions(id))
                list += (c.afterWholeName ? " +" : " ") + c.path.mid(m_folder.size());
            byPicture[p.picture(id).path().mid(m_folder.size())] = list;
        }
        QCOMPARE(byPicture, (QMap<QByteArray, QByteArray>{{"IMG_0001.JPG", " IMG_0001.CR2 +IMG_0001.JPG.xmp"},
                                                          {"IMG_0002.HEIC", ""},
                                                          {"IMG_0002.JPG", ""},
                                                          {"IMG_0003.jpg", " IMG_0003.d img_0003.NEF"},
                                                          {"MVI_0004.MP4", " MVI_0004.THM"}}));
        QCOMPARE(p.unclaimedCompanions().size(), 1);
        QCOMPARE(p.unclaimedCompanions().first().name, QByteArray("IMG_0002.xmp"));

        // Without companions, the listing of the same folder says nothing of them.
        FolderListing without{OrderStore(m_state)};
        without.setCompanions(false);
        Listed bare;
        bare.follow(without);
        without.start(m_folder, QStringLiteral("jpg;heic;mp4"));
        QTRY_VERIFY(bare.done);
        QCOMPARE(bare.pictures.count(), 5);
        QVERIFY(!bare.events.contains(QStringLiteral("companions")));

        PictureOrder pictures = listed.pictures;
        const PictureId first = pictures.shown().first();
        const PictureId third = pictures.shown()[3];
        QCOMPARE(pictures.picture(third).path(), m_folder + "IMG_0003.jpg");
        pictures.renamed({{m_folder + "IMG_0001.JPG", m_folder + "img0001.jpg"},
                          {m_folder + "IMG_0001.CR2", m_folder + "img0001.CR2"},
                          {m_folder + "IMG_0001.JPG.xmp", m_folder + "img0001.jpg.xmp"},
                          {m_folder + "IMG_0003.jpg", m_folder + "img0003.jpg"},
                          {m_folder + "img_0003.NEF", m_folder + "img0003.NEF"}});
        QCOMPARE(pictures.companions(first),
                 (QList<renaming::Companion>{{m_folder + "img0001.CR2", false}, {m_folder + "img0001.jpg.xmp", true}}));
        QVERIFY(pictures.companions(third).isEmpty()); // its folder stayed behind

        FolderListing plain{OrderStore(m_state)};
        Listed alone;
        alone.follow(plain);
        QDir(QFile::decodeName(m_folder)).removeRecursively();
        QDir().mkpath(QFile::decodeName(m_folder));
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "notes.txt"});
        plain.start(m_folder, QStringLiteral("jpg"));
        QTRY_VERIFY(alone.done);
        QVERIFY(!alone.events.contains(QStringLiteral("companions")));
    }

    // Another listing started meanwhile drops the one under way: nothing of it arrives any more. A
    // folder that cannot be read says so and finishes with nothing.
    void cancelledAndFailed()
    {
        const QByteArray other = QFile::encodeName(m_dir->path()) + "/other/";
        QDir().mkpath(QFile::decodeName(other));
        writeNamedFiles(m_folder.chopped(1), names(3000, "a"));
        writeNamedFiles(other.chopped(1), names(3, "b"));
        FolderListing listing{OrderStore(m_state)};
        listing.setBatchFiles(100);
        Listed first;
        first.follow(listing);
        bool restarted = false;
        connect(&listing, &FolderListing::found, this, [&] {
            if (!std::exchange(restarted, true))
                listing.start(other, QStringLiteral("jpg"));
        });
        QSignalSpy finished(&listing, &FolderListing::finished);
        listing.start(m_folder, QStringLiteral("jpg"));
        QTRY_COMPARE(finished.size(), 1);
        QTest::qWait(50); // what the dropped one may still be doing
        QCOMPARE(finished.size(), 1);
        QCOMPARE(first.batches.first(), 100); // a0...: then b0001 to b0003 (".../other/" first), no more of a
        QCOMPARE(first.pictures.count(), 103);
        QCOMPARE(shownNames(first.pictures).mid(0, 3), (QList<QByteArray>{"b0001.jpg", "b0002.jpg", "b0003.jpg"}));

        Listed failing;
        FolderListing gone{OrderStore(m_state)};
        failing.follow(gone);
        gone.start(m_folder + "gone/", QStringLiteral("jpg"));
        QTRY_VERIFY(failing.done);
        QCOMPARE(failing.events, (QStringList{"failed", "kept 0", "finished"}));
        QCOMPARE(failing.error, platform::errorText(ENOENT));
        QCOMPARE(failing.pictures.count(), 0);
    }

    // A change is kept within the interval, not put off by the changes that follow it; one made
    // while the files are listed waits for them all.
    void keptWithinTheInterval()
    {
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "c.jpg"});
        FolderListing listing{OrderStore(m_state)};
        Listed listed;
        OrderKeeper keeper(listed.pictures, OrderStore(m_state));
        const QString file = QFile::decodeName(keeper.store().pathFor(m_folder));
        keeper.showFolder(m_folder, QStringLiteral("jpg"));
        listed.follow(listing);
        connect(&listing, &FolderListing::keptOrderRead, &keeper, &OrderKeeper::keptOrderRead);
        connect(&listing, &FolderListing::finished, &keeper, &OrderKeeper::listingFinished);
        bool pendingWhileListed = true;
        connect(&listing, &FolderListing::found, this, [&] {
            keeper.changed();
            pendingWhileListed = keeper.pending();
        });
        listing.start(m_folder, QStringLiteral("jpg"));
        QTRY_VERIFY(listed.done);
        QVERIFY(!pendingWhileListed);
        QVERIFY(keeper.pending());
        keeper.flush(); // name order: no file

        listed.pictures.dropOne(listed.pictures.shown().last(), listed.pictures.shown().first(), false);
        keeper.changed();
        QVERIFY(keeper.pending());
        QVERIFY(!QFile::exists(file));
        QTimer again; // a change every 100 ms does not put it off
        connect(&again, &QTimer::timeout, &keeper, &OrderKeeper::changed);
        again.start(100);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), OrderKeeper::kKeepAfterMs + 400);
        again.stop();
        keeper.flush();
        QCOMPARE(namesOf(keeper.store().load(m_folder).entries), (QList<QByteArray>{"c.jpg", "a.jpg", "b.jpg"}));
    }

    // An order that cannot be written is said once for its folder, tried again at the next change,
    // and said to be written again when it is.
    void failureSaidOnce()
    {
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "c.jpg"});
        writeFile(QFile::decodeName(m_state), "not a folder");
        PictureOrder pictures;
        ListedBatch batch;
        for (const QByteArray name : {"a.jpg", "b.jpg", "c.jpg"})
            batch.files.append({m_folder + name, {}, 'c' - name[0], QString::fromLatin1(name)});
        OrderKeeper keeper(pictures, OrderStore(m_state));
        QSignalSpy failed(&keeper, &OrderKeeper::failed);
        QSignalSpy recovered(&keeper, &OrderKeeper::recovered);
        keeper.showFolder(m_folder, QStringLiteral("jpg"));
        pictures.add(batch);
        pictures.finishListing();
        keeper.listingFinished({});
        // The first to the end, each time: c b a, b a c, a c b, c b a, b a c (never by name).
        const auto rotate = [&] {
            pictures.click(pictures.shown().first());
            pictures.movePicked(Place::end());
            keeper.changed();
            keeper.keepNow();
            keeper.wait();
        };
        for (int k = 0; k < 3; ++k) {
            rotate();
            QTRY_COMPARE(failed.size(), 1);
        }
        QCOMPARE(failed[0], (QList<QVariant>{platform::decodeName(m_folder), platform::errorText(ENOTDIR)}));
        QVERIFY(recovered.isEmpty());
        QVERIFY(QFile::remove(QFile::decodeName(m_state)));
        rotate();
        QTRY_COMPARE(recovered.size(), 1);
        QCOMPARE(recovered[0][0].toString(), platform::decodeName(m_folder));
        QCOMPARE(namesOf(keeper.store().load(m_folder).entries), (QList<QByteArray>{"b.jpg", "a.jpg", "c.jpg"}));
        QCOMPARE(failed.size(), 1);
    }

    // A listing cut short after a drop is kept as the listing would have made the whole folder: the
    // files not listed yet each before the first picture shown whose rank, then name, is greater
    // than its own; the hidden names as it would have found them.
    void listingCutShortAfterADrop()
    {
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "h.jpg", "z.png"});
        const QList<KeptEntry> kept{{"h.jpg", {}}, {"z.png", {}}, {"a.jpg", {}}};
        Placement placement(kept);
        ListedBatch batch;
        for (const QByteArray name : {"c.jpg", "a.jpg"}) {
            FileIdentity id;
            const int rank = placement.rankOf(name, m_folder + name, &id);
            batch.files.append({m_folder + name, id, rank, platform::decodeName(QByteArray(m_folder + name))});
        }
        PictureOrder pictures;
        OrderKeeper keeper(pictures, OrderStore(m_state));
        keeper.showFolder(m_folder, QStringLiteral("jpg"));
        keeper.keptOrderRead(kept);
        pictures.add(batch);
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"a.jpg", "c.jpg"}));
        pictures.dropOne(pictures.shown().last(), pictures.shown().first(), false);
        keeper.changed();
        QVERIFY(!keeper.pending()); // not while the files are listed
        keeper.flush();
        QCOMPARE(namesOf(keeper.store().load(m_folder).entries),
                 (QList<QByteArray>{"h.jpg", "b.jpg", "c.jpg", "a.jpg", "d.jpg", "e.jpg", "z.png"}));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_state;
    QByteArray m_folder;
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
