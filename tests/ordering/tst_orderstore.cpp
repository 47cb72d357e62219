#include "ordering/Moves.h"
#include "ordering/OrderStore.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"

#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using ordering::FileIdentity;
using ordering::Placement;
using Entry = ordering::KeptEntry;
using Store = ordering::OrderStore;

Q_DECLARE_METATYPE(QList<Entry>)

namespace {

const QByteArray kFolder = "(folder)";
const QByteArray kFifo = "(fifo)";

QByteArray readAll(const QByteArray& path)
{
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

void setAge(const QByteArray& path, qint64 secondsAgo, qint64 now)
{
    const timespec t{time_t(now - secondsAgo), 0};
    const timespec times[2] = {t, t};
    QVERIFY(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0);
}

QList<QByteArray> namesOf(const QList<Entry>& entries)
{
    QList<QByteArray> names;
    for (const Entry& e : entries)
        names.append(e.name);
    return names;
}

// A folder placed by its kept order, each file by its kept rank, then by name; `names` in the order
// the folder gives them.
QList<QByteArray> listed(Placement& placement, const QByteArray& folder, const QList<QByteArray>& names)
{
    std::vector<int> rank;
    QList<int> order;
    for (const QByteArray& name : names) {
        FileIdentity id;
        rank.push_back(placement.rankOf(name, folder + name, &id));
        order.append(int(order.size()));
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return ordering::keptRankThenText(rank[size_t(a)], platform::decodeName(names[a]), rank[size_t(b)],
                                          platform::decodeName(names[b]));
    });
    QList<QByteArray> shown;
    for (const int i : order)
        shown.append(names[i]);
    return shown;
}

} // namespace

class TestOrderStore : public QObject
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

    // Names hold any byte but "/" and NUL; the folder's too. Written, read back as they were.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QList<Entry>>("entries");
        const FileIdentity id{2049, 131077, 4'000'000, 1'700'000'000'123'456'789};
        QTest::newRow("none") << QByteArray("/home/u/Bilder/") << QList<Entry>{};
        QTest::newRow("hostile names") << QByteArray("/media/u/NIKON D50/DCIM/100 ND\n50%/")
                                       << QList<Entry>{{"IMG_0001.JPG", id},
                                                       {"line\nbreak.jpg", {}},
                                                       {"  blanks and %41 percent .jpg", {1, 2, -3, -4}},
                                                       {"M\xfcnchen-latin1.jpg", id},
                                                       {"M\xc3\xbcnchen \xf0\x9f\x93\xb7.jpg", id},
                                                       {"end 3", id},
                                                       {"Tessaline display order 1", id},
                                                       {"\\tab\t\r+;,=&#?.jpg", id},
                                                       {QByteArray(250, 'x') + ".jpg", id}};
    }
    void roundTrip()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QList<Entry>, entries);
        const QByteArray bytes = ordering::encodeOrder(folder, entries);
        const std::optional<QList<Entry>> back = ordering::decodeOrder(bytes, folder);
        QVERIFY(back.has_value());
        QCOMPARE(namesOf(*back), namesOf(entries));
        for (qsizetype i = 0; i < entries.size(); ++i)
            QVERIFY((*back)[i].id == entries[i].id);
        QCOMPARE(bytes.count('\n'), entries.size() + 3); // one line each, whatever the names hold
        QVERIFY(!ordering::decodeOrder(bytes, folder + "x/"));  // another folder's, the same hash or not

        const Store store(m_state);
        QVERIFY(store.write(folder, entries));
        const Store::Loaded loaded = store.load(folder);
        QCOMPARE(loaded.found, Store::Found::Order);
        QCOMPARE(namesOf(loaded.entries), namesOf(entries));
        QVERIFY(!exists(store.pathFor(folder) + ".damaged"));
    }

    // Anything that is not a whole order of this folder is set aside, kept for a look, and the
    // folder goes by name; the next look finds nothing and nothing to set aside.
    void setAside_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // kFolder, kFifo: that in the file's place
        const QByteArray folder = "/p/";
        const QByteArray good = ordering::encodeOrder(folder, {{"b.jpg", {1, 2, 3, 4}}, {"a.jpg", {1, 5, 6, 7}}});
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("cut in the last line") << good.first(good.size() - 3);
        QTest::newRow("cut before the last line") << good.first(good.lastIndexOf("end "));
        QTest::newRow("one byte changed in a number") << QByteArray(good).replace(" 6 ", " 8 ");
        QTest::newRow("another folder's") << ordering::encodeOrder("/q/", {{"a.jpg", {}}});
        QTest::newRow("another version") << QByteArray(good).replace("order 1", "order 2");
        QTest::newRow("a name with a slash") << ordering::encodeOrder(folder, {{"../a.jpg", {}}});
        QTest::newRow("a folder in its place") << kFolder;
        QTest::newRow("a FIFO in its place") << kFifo;
    }
    void setAside()
    {
        QFETCH(QByteArray, bytes);
        const QByteArray folder = "/p/";
        const Store store(m_state);
        QVERIFY(store.write(folder, {}));
        const QByteArray path = store.pathFor(folder);
        if (bytes == kFolder || bytes == kFifo) {
            QVERIFY(::unlink(path.constData()) == 0);
            QVERIFY((bytes == kFolder ? ::mkdir(path.constData(), 0700) : ::mkfifo(path.constData(), 0600)) ==
                    0);
        } else {
            QFile f(QFile::decodeName(path));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        const Store::Loaded loaded = store.load(folder);
        QCOMPARE(loaded.found, Store::Found::SetAside);
        QVERIFY(loaded.entries.isEmpty());
        QVERIFY(!exists(path));
        QVERIFY(exists(path + ".damaged"));
        if (bytes != kFolder && bytes != kFifo)
            QCOMPARE(readAll(path + ".damaged"), bytes);
        QCOMPARE(store.load(folder).found, Store::Found::Nothing);
    }

    // Kept c, a, x, b, g (g is gone): a file renamed by another program (x to y) keeps its place by
    // its identity; one whose identity no longer matches goes with the new ones, after the kept
    // ones by name, and a name the order knows is placed by name whatever its identity.
    void placementByNameAndIdentity()
    {
        writeNamedFiles(m_folder.chopped(1), {"a.jpg", "b.jpg", "c.jpg", "x.jpg", "z.jpg"});
        const auto idOf = [&](const char* name) { return *ordering::identityOf(m_folder + name); };
        const FileIdentity gone{idOf("a.jpg").dev, 0x7fffffff, 1, 1};
        const QList<Entry> kept{{"c.jpg", idOf("c.jpg")}, {"a.jpg", FileIdentity{}},
                                {"x.jpg", idOf("x.jpg")}, {"b.jpg", idOf("b.jpg")},
                                {"g.jpg", gone},          {"z.jpg", idOf("z.jpg")}};
        QVERIFY(::rename(QByteArray(m_folder + "x.jpg").constData(),
                         QByteArray(m_folder + "y.jpg").constData()) == 0);
        // z.jpg changed after it was kept, then renamed: that is another file now.
        setAge(m_folder + "z.jpg", 3600, QDateTime::currentSecsSinceEpoch());
        QVERIFY(::rename(QByteArray(m_folder + "z.jpg").constData(),
                         QByteArray(m_folder + "v.jpg").constData()) == 0);
        writeNamedFiles(m_folder.chopped(1), {"d.jpg", "A.jpg"});
        for (const QList<QByteArray>& listing :
             {QList<QByteArray>{"y.jpg", "d.jpg", "A.jpg", "a.jpg", "v.jpg", "c.jpg", "b.jpg"},
              QList<QByteArray>{"b.jpg", "c.jpg", "v.jpg", "a.jpg", "A.jpg", "d.jpg", "y.jpg"}}) {
            Placement placement(kept);
            QCOMPARE(listed(placement, m_folder, listing),
                     (QList<QByteArray>{"c.jpg", "a.jpg", "y.jpg", "b.jpg", "A.jpg", "d.jpg", "v.jpg"}));
        }
        Placement none;
        QCOMPARE(listed(none, m_folder, {"b.jpg", "a.jpg"}), (QList<QByteArray>{"a.jpg", "b.jpg"}));
    }

    // Name order (of the listing: by text, U+1F4F7 before U+FF5E unlike their bytes) needs no file,
    // also after it had one; another order of the shown or of the hidden names (another
    // extension's) does. Paths a rename moved out of the folder are not the folder's.
    void saveOrRemove()
    {
        const Store store(m_state);
        const QByteArray path = store.pathFor(m_folder);
        QVERIFY(store.save(m_folder, {"\xef\xbd\x9e.jpg", "\xf0\x9f\x93\xb7.jpg"}, {}));
        QVERIFY(exists(path));
        QVERIFY(store.save(m_folder,
                           {"Z.jpg", "a.jpg", "img10.jpg", "\xf0\x9f\x93\xb7.jpg", "\xef\xbd\x9e.jpg"}, {}));
        QVERIFY(!exists(path));
        QVERIFY(store.save(m_folder, {"a.jpg", "b.jpg"}, {"d.png", "c.png"}));
        QCOMPARE(namesOf(store.load(m_folder).entries),
                 (QList<QByteArray>{"a.jpg", "b.jpg", "d.png", "c.png"}));
        QVERIFY(store.save(m_folder, {"a.jpg", "b.jpg"}, {"c.png", "d.png"}));
        QVERIFY(!exists(path));
        QCOMPARE(ordering::namesIn(m_folder, {m_folder + "b.jpg", "/elsewhere/a.jpg", m_folder + "sub/c.jpg",
                                            m_folder.chopped(1) + "x.jpg", m_folder + "a.jpg"}),
                 (QList<QByteArray>{"b.jpg", "a.jpg"}));
    }

    // An order that cannot be written says why, and leaves nothing behind: here a file stands where
    // the state folder belongs (as root, a folder without write permission would not stop it).
    void writeFailsWithItsReason()
    {
        writeFile(QFile::decodeName(m_state), "not a folder");
        const Store store(m_state);
        QString error;
        QVERIFY(!store.save(m_folder, {"b.jpg", "a.jpg"}, {}, &error));
        QCOMPARE(error, platform::errorText(ENOTDIR));
        QVERIFY(QFile::remove(QFile::decodeName(m_state)));
        QVERIFY(store.save(m_folder, {"b.jpg", "a.jpg"}, {}, &error));
        QCOMPARE(QDir(QFile::decodeName(m_state + "/orders")).entryList(QDir::Files).size(), 1);
        // Name order needs no file, but one left behind would come back: that is a failure too.
        const QByteArray path = store.pathFor(m_folder);
        QVERIFY(::unlink(path.constData()) == 0 && ::mkdir(path.constData(), 0700) == 0);
        QVERIFY(!store.save(m_folder, {"a.jpg", "b.jpg"}, {}, &error));
        QCOMPARE(error, platform::errorText(EISDIR));
    }

    // A rename puts the order aside for its undo, which brings it back; a rename from name order
    // drops an older one put aside, so that its undo leaves the order as it is.
    void stashForUndo()
    {
        const Store store(m_state);
        QVERIFY(store.write(m_folder, {{"b.jpg", {}}, {"a.jpg", {}}}));
        const QByteArray before = readAll(store.pathFor(m_folder));
        store.stash(m_folder);
        QVERIFY(!exists(store.pathFor(m_folder)));
        store.unstash(m_folder);
        QCOMPARE(readAll(store.pathFor(m_folder)), before);
        store.stash(m_folder);
        store.stash(m_folder);
        QVERIFY(store.write(m_folder, {{"c.jpg", {}}}));
        store.unstash(m_folder);
        QCOMPARE(namesOf(store.load(m_folder).entries), QList<QByteArray>{"c.jpg"});
    }

    // Gone after 90 days unseen; temporary files after a day; beyond the bounds the oldest first,
    // but never the newest, the folder shown now.
    void prune_data()
    {
        QTest::addColumn<qsizetype>("maxFiles");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("by age") << qsizetype(100) << qint64(10000)
                                << QStringList{"new", "day", "week", "89 days", "young temp"};
        QTest::newRow("by count") << qsizetype(3) << qint64(10000)
                                  << QStringList{"new", "day", "week", "young temp"};
        QTest::newRow("by size") << qsizetype(100) << qint64(400) << QStringList{"new", "day", "young temp"};
        QTest::newRow("newest beyond every bound")
            << qsizetype(0) << qint64(0) << QStringList{"new", "young temp"};
    }
    void prune()
    {
        QFETCH(qsizetype, maxFiles);
        QFETCH(qint64, maxBytes);
        QFETCH(QStringList, left);
        const Store store(m_state);
        const qint64 now = 2'000'000'000;
        const qint64 day = 24 * 3600;
        // clang-format off
        const QMap<QString, qint64> ages{{"new", 0}, {"day", day}, {"week", 7 * day}, {"89 days", 89 * day},
                                         {"91 days", 91 * day}, {"young temp", day - 60}, {"old temp", day + 60}};
        // clang-format on
        QVERIFY(store.write("/new/", {})); // the folder of the files
        for (auto it = ages.cbegin(); it != ages.cend(); ++it) {
            const QByteArray folder = "/" + it.key().toUtf8() + "/";
            QByteArray path = store.pathFor(folder);
            if (it.key().endsWith("temp"))
                path += ".tmp-AbCdEf";
            writeFile(QFile::decodeName(path), QByteArray(it.key() == "new" ? 300 : 100, 'x'));
            setAge(path, it.value(), now);
        }
        store.prune({90 * day, maxFiles, maxBytes}, now);
        QStringList found;
        for (auto it = ages.cbegin(); it != ages.cend(); ++it) {
            const QByteArray path = store.pathFor("/" + it.key().toUtf8() + "/");
            if (exists(path) || exists(path + ".tmp-AbCdEf"))
                found.append(it.key());
        }
        std::sort(found.begin(), found.end());
        std::sort(left.begin(), left.end());
        QCOMPARE(found, left);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_state;
    QByteArray m_folder;
};

QTEST_GUILESS_MAIN(TestOrderStore)
#include "tst_orderstore.moc"
