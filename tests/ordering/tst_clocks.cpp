#include "ordering/Clocks.h"
#include "ordering/OrderStore.h"
#include "ordering/PictureOrder.h"
#include "platform/FileNames.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>

using namespace ordering;

Q_DECLARE_METATYPE(ordering::ClockOffsets)

namespace {

constexpr qint64 kNone = std::numeric_limits<qint64>::min();

// "2023-07-12 10:00:00.250" on a clock.
ClockTime at(const char* text)
{
    const QString s = QString::fromLatin1(text);
    const qsizetype dot = s.indexOf(u'.');
    const QDateTime t = QDateTime::fromString(dot < 0 ? s : s.first(dot), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QDateTime utc(t.date(), t.time(), Qt::UTC);
    Q_ASSERT(utc.isValid());
    const qint32 ns = dot < 0 ? 0 : qint32(s.sliced(dot + 1).leftJustified(9, u'0').toInt());
    return {utc.toSecsSinceEpoch(), ns};
}

Camera camera(const char* key, std::optional<qint32> zone = std::nullopt)
{
    return {QString::fromLatin1(key), QStringLiteral("Label ") + QString::fromLatin1(key), zone};
}

struct Shot
{
    const char* name;
    const char* device; // "" none
    const char* time;   // nullptr: none
    std::optional<qint32> zone = std::nullopt;
};

// The shots listed by name and read.
void show(PictureOrder& order, const QList<Shot>& shots)
{
    ListedBatch batch;
    for (const Shot& s : shots)
        batch.files.append({QByteArray("/p/") + s.name, {}, Placement::kUnkept, QString::fromLatin1(s.name)});
    order.clear();
    order.add(batch);
    order.finishListing();
    for (PictureId id = 1; id <= shots.size(); ++id) {
        const Shot& s = shots[id - 1];
        order.setTaken(id, s.time ? std::optional(at(s.time)) : std::nullopt, camera(s.device, s.zone));
    }
}

QStringList names(const PictureOrder& order, const DisplayOrder& ids)
{
    QStringList out;
    for (const PictureId id : ids)
        out.append(QString::fromLatin1(order.picture(id).path().sliced(3)));
    return out;
}

ClockOffsets offsets(std::initializer_list<std::pair<const char*, qint64>> list)
{
    ClockOffsets o;
    for (const auto& [key, value] : list)
        o.insert(QString::fromLatin1(key), value);
    return o;
}

} // namespace

class TestClocks : public QObject
{
    Q_OBJECT

private slots:
    // Two bodies of one model are two devices, a body without serial a third; files naming none
    // form one group. The most pictures first, then by label; untimed pictures count.
    void groupsByModelAndSerial()
    {
        PictureOrder order;
        show(order, {{"a.jpg", "R6#1", "2023-07-12 10:00:00"},
                     {"b.jpg", "R6#2", "2023-07-12 09:00:00"},
                     {"c.jpg", "R6#1", "2023-07-12 08:00:00"},
                     {"d.jpg", "", "2023-07-12 11:00:00"},
                     {"e.jpg", "R6", nullptr},
                     {"f.jpg", "R6#2", nullptr},
                     {"g.jpg", "R6#2", "2023-07-12 07:00:00"}});
        const QList<DeviceGroup> groups = groupByDevice(order);
        QCOMPARE(groups.size(), 4);
        QCOMPARE(groups[0].key, "R6#2");
        QCOMPARE(groups[0].count(), 3);
        QCOMPARE(groups[0].untimed, 1);
        QCOMPARE(names(order, groups[0].timed), (QStringList{"g.jpg", "b.jpg"}));
        QCOMPARE(groups[0].times.front(), at("2023-07-12 07:00:00"));
        QCOMPARE(groups[1].key, "R6#1");
        QCOMPARE(names(order, groups[1].timed), (QStringList{"c.jpg", "a.jpg"}));
        // One picture each: by label, "" (none) before "Label R6".
        QCOMPARE(groups[2].key, "");
        QCOMPARE(groups[2].label, "");
        QCOMPARE(groups[3].key, "R6");
        QCOMPARE(groups[3].timed.size(), 0);

        // A picture read again with another device leaves its first one.
        order.setTaken(1, at("2023-07-12 10:00:00"), camera("R6"));
        const QList<DeviceGroup> again = groupByDevice(order);
        QCOMPARE(again[0].key, "R6#2");
        QCOMPARE(again[1].key, "R6");
        QCOMPARE(again[1].count(), 2);
        QCOMPARE(again[3].key, "R6#1");
        QCOMPARE(again[3].count(), 1);
    }

    // The clocks moved by their offsets, either way, over the end of a day, of a month and of a
    // year; an offset of a device no picture has changes nothing.
    void ordersWithOffsets_data()
    {
        QTest::addColumn<QList<Shot>>("shots");
        QTest::addColumn<ClockOffsets>("offsets");
        QTest::addColumn<QStringList>("expected");
        const QList<Shot> midnight{{"a.jpg", "cam", "2023-07-12 23:59:30"},
                                   {"b.jpg", "phone", "2023-07-13 00:59:40"},
                                   {"c.jpg", "cam", "2023-07-13 00:00:10"}};
        QTest::newRow("no offsets") << midnight << ClockOffsets{} << QStringList{"a.jpg", "c.jpg", "b.jpg"};
        QTest::newRow("back over midnight")
            << midnight << offsets({{"phone", -3600}}) << QStringList{"a.jpg", "b.jpg", "c.jpg"};
        QTest::newRow("forward over midnight")
            << midnight << offsets({{"cam", 3600}, {"phone", 0}}) << QStringList{"a.jpg", "b.jpg", "c.jpg"};
        QTest::newRow("a second short") << midnight << offsets({{"phone", -3569}})
                                        << QStringList{"a.jpg", "c.jpg", "b.jpg"};
        QTest::newRow("other device's offset")
            << midnight << offsets({{"tablet", -7200}}) << QStringList{"a.jpg", "c.jpg", "b.jpg"};
        const QList<Shot> monthEnd{{"a.jpg", "cam", "2024-02-29 23:50:00"},
                                   {"b.jpg", "phone", "2024-03-01 00:40:00"},
                                   {"c.jpg", "phone", "2024-02-28 23:50:00"}};
        QTest::newRow("month end as read") << monthEnd << ClockOffsets{} << QStringList{"c.jpg", "a.jpg", "b.jpg"};
        QTest::newRow("back into the leap day") << monthEnd << offsets({{"phone", -3600}})
                                                << QStringList{"c.jpg", "b.jpg", "a.jpg"};
        QTest::newRow("forward into March") << monthEnd << offsets({{"cam", 3600}})
                                            << QStringList{"c.jpg", "b.jpg", "a.jpg"};
        QTest::newRow("a day back") << monthEnd << offsets({{"cam", -86400 - 1}})
                                    << QStringList{"a.jpg", "c.jpg", "b.jpg"};
        const QList<Shot> yearEnd{{"a.jpg", "cam", "2023-12-31 23:59:59"},
                                  {"b.jpg", "phone", "2024-01-01 00:00:00"},
                                  {"c.jpg", "phone", nullptr}};
        QTest::newRow("over new year") << yearEnd << offsets({{"phone", -2}}) << QStringList{"b.jpg", "a.jpg", "c.jpg"};
        QTest::newRow("ten years") << yearEnd << offsets({{"cam", kMaxClockOffset}})
                                   << QStringList{"b.jpg", "a.jpg", "c.jpg"};
    }
    void ordersWithOffsets()
    {
        QFETCH(QList<Shot>, shots);
        QFETCH(ClockOffsets, offsets);
        QFETCH(QStringList, expected);
        PictureOrder order;
        show(order, shots);
        QCOMPARE(names(order, TimeSorter(order).sorted(offsets)), expected);
        order.orderByTime(offsets);
        QCOMPARE(names(order, order.shown()), expected);
    }

    // A burst of one second from two devices interleaves by the fractions of the second; two
    // pictures of one moment stand by name, those without a time last, by name too.
    void burstFromTwoDevices()
    {
        PictureOrder order;
        show(order, {{"z1.jpg", "cam", "2023-07-12 10:00:00.100"},
                     {"z2.jpg", "cam", "2023-07-12 10:00:00.500"},
                     {"z3.jpg", "cam", "2023-07-12 10:00:00.900"},
                     {"b.jpg", "phone", nullptr},
                     {"p1.jpg", "phone", "2023-07-12 11:00:00.300"},
                     {"p2.jpg", "phone", "2023-07-12 11:00:00.500"},
                     {"a.jpg", "cam", nullptr},
                     {"p3.jpg", "phone", "2023-07-12 11:00:00.700"}});
        QVERIFY(order.orderByTime(offsets({{"phone", -3600}})));
        QCOMPARE(names(order, order.shown()),
                 (QStringList{"z1.jpg", "p1.jpg", "p2.jpg", "z2.jpg", "p3.jpg", "z3.jpg", "a.jpg", "b.jpg"}));
        QCOMPARE(order.history().nextUndo()->kind, History::Step::Kind::ByTime);
        QVERIFY(!order.orderByTime(offsets({{"phone", -3600}}))); // so already: no step
        QVERIFY(order.undo());
        QCOMPARE(names(order, order.shown()).first(3), (QStringList{"a.jpg", "b.jpg", "p1.jpg"}));
        QVERIFY(order.redo());
        QCOMPARE(names(order, order.shown()).at(1), "p1.jpg");
        QVERIFY(order.orderByTime());
        QCOMPARE(names(order, order.shown()).first(4), (QStringList{"z1.jpg", "z2.jpg", "z3.jpg", "p1.jpg"}));
    }

    // One picture of each device showing the same moment: the second's device gets the offset
    // that makes them show one time, rounded to the second; its own offset does not count, the
    // first's does.
    void alignsOnAPair_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<qint64>("firstOffset");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("phone an hour ahead") << "2023-07-12 10:00:00" << "2023-07-12 11:00:00" << qint64(0)
                                             << qint64(-3600);
        QTest::newRow("phone behind over midnight")
            << "2023-07-13 00:00:05" << "2023-07-12 23:58:00" << qint64(0) << qint64(125);
        QTest::newRow("first moved") << "2023-07-12 10:00:00" << "2023-07-12 10:00:00" << qint64(-60) << qint64(-60);
        QTest::newRow("fraction rounds up")
            << "2023-07-12 10:00:01.200" << "2023-07-12 10:00:00.600" << qint64(0) << qint64(1);
        QTest::newRow("fraction rounds down")
            << "2023-07-12 10:00:01.000" << "2023-07-12 10:00:00.600" << qint64(0) << qint64(0);
        QTest::newRow("fraction back over half")
            << "2023-07-12 10:00:00.300" << "2023-07-12 10:00:00.900" << qint64(0) << qint64(-1);
        QTest::newRow("fraction back under half")
            << "2023-07-12 10:00:00.500" << "2023-07-12 10:00:00.900" << qint64(0) << qint64(0);
        QTest::newRow("ten years") << "2033-07-11 10:00:00" << "2023-07-12 10:00:00" << qint64(0)
                                   << qint64(3652) * 86400;
        QTest::newRow("beyond ten years") << "2033-07-13 10:00:01" << "2023-07-12 10:00:00" << qint64(0) << kNone;
        QTest::newRow("beyond ten years back")
            << "2013-07-10 10:00:00" << "2023-07-12 10:00:01" << qint64(0) << kNone;
        QTest::newRow("moved beyond ten years")
            << "2023-07-12 10:00:00" << "2023-07-12 10:00:00" << kMaxClockOffset + 1 << kNone;
    }
    void alignsOnAPair()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(qint64, firstOffset);
        QFETCH(qint64, expected);
        PictureOrder order;
        const QByteArray a = first.toLatin1();
        const QByteArray b = second.toLatin1();
        show(order, {{"a.jpg", "cam", a.constData()}, {"b.jpg", "phone", b.constData()}});
        QString why;
        const std::optional<Alignment> alignment =
            alignOnPair(order, offsets({{"cam", firstOffset}, {"phone", 999}}), 1, 2, &why);
        if (expected == kNone) {
            QVERIFY(!alignment);
            QVERIFY(why.contains(u"zehn Jahre"));
            return;
        }
        QVERIFY2(alignment, qPrintable(why));
        QCOMPARE(alignment->device, "phone");
        QCOMPARE(alignment->offset, expected);
    }

    void refusesPairs_data()
    {
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("reason");
        QTest::newRow("same device") << 3 << "selben Gerät";
        QTest::newRow("no time") << 4 << "\"d.jpg\" nennt keine Aufnahmezeit";
        QTest::newRow("not shown") << 5 << "nicht zwei Bilder";
    }
    void refusesPairs()
    {
        QFETCH(int, second);
        QFETCH(QString, reason);
        PictureOrder order;
        show(order, {{"a.jpg", "cam", "2023-07-12 10:00:00"},
                     {"b.jpg", "phone", "2023-07-12 10:00:00"},
                     {"c.jpg", "cam", "2023-07-12 10:00:00"},
                     {"d.jpg", "phone", nullptr}});
        QString why;
        QVERIFY(!alignOnPair(order, {}, 1, second, &why));
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    // Zoned devices are set to the reference's zone, or to that of the zoned device with the
    // most pictures when the reference has none; zone-less devices keep their clocks.
    void proposesFromZones_data()
    {
        QTest::addColumn<QList<Shot>>("shots");
        QTest::addColumn<ClockOffsets>("expected");
        QTest::newRow("reference zoned")
            << QList<Shot>{{"a", "cam", "2023-07-12 10:00:00", 3600}, {"b", "cam", "2023-07-12 10:00:00", 3600},
                           {"c", "phone", "2023-07-12 10:00:00", 7200}, {"d", "old", "2023-07-12 10:00:00"}}
            << offsets({{"phone", -3600}});
        QTest::newRow("reference zone-less")
            << QList<Shot>{{"a", "cam", "2023-07-12 10:00:00"}, {"b", "cam", "2023-07-12 10:00:00"},
                           {"b2", "cam", "2023-07-12 10:00:00"}, {"c", "phone", "2023-07-12 10:00:00", -18000},
                           {"c2", "phone", "2023-07-12 10:00:00", -18000}, {"d", "tab", "2023-07-12 10:00:00", 19800}}
            << offsets({{"tab", -18000 - 19800}});
        QTest::newRow("a phone that moved: its usual zone")
            << QList<Shot>{{"a", "cam", "2023-07-12 10:00:00", 0}, {"b", "cam", "2023-07-12 10:00:00", 0},
                           {"b2", "cam", "2023-07-12 10:00:00", 0}, {"c", "phone", "2023-07-12 10:00:00", 3600},
                           {"c2", "phone", "2023-07-12 10:00:00", 7200}, {"c3", "phone", "2023-07-12 10:00:00", 7200}}
            << offsets({{"phone", -7200}});
        QTest::newRow("no zones") << QList<Shot>{{"a", "cam", "2023-07-12 10:00:00"}, {"b", "phone", nullptr}}
                                  << ClockOffsets{};
        QTest::newRow("same zones") << QList<Shot>{{"a", "cam", "2023-07-12 10:00:00", 3600},
                                                   {"b", "phone", nullptr, 3600}}
                                    << ClockOffsets{};
        QTest::newRow("nothing") << QList<Shot>{} << ClockOffsets{};
    }
    void proposesFromZones()
    {
        QFETCH(QList<Shot>, shots);
        QFETCH(ClockOffsets, expected);
        PictureOrder order;
        show(order, shots);
        QCOMPARE(proposedOffsets(groupByDevice(order)), expected);
    }

    void splitsOffsets_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QList<qint64>>("parts"); // sign (1: negative), days, hours, minutes, seconds
        QTest::newRow("zero") << qint64(0) << QList<qint64>{0, 0, 0, 0, 0};
        QTest::newRow("a second back") << qint64(-1) << QList<qint64>{1, 0, 0, 0, 1};
        QTest::newRow("a day less a second") << qint64(86399) << QList<qint64>{0, 0, 23, 59, 59};
        QTest::newRow("an hour back") << qint64(-3600) << QList<qint64>{1, 0, 1, 0, 0};
        QTest::newRow("ten years back") << -kMaxClockOffset << QList<qint64>{1, 3653, 0, 0, 0};
        QTest::newRow("a day, an hour, a minute, a second")
            << qint64(90061) << QList<qint64>{0, 1, 1, 1, 1};
    }
    void splitsOffsets()
    {
        QFETCH(qint64, offset);
        QFETCH(QList<qint64>, parts);
        const OffsetParts p = splitOffset(offset);
        QCOMPARE((QList<qint64>{p.negative ? 1 : 0, p.days, p.hours, p.minutes, p.seconds}), parts);
        QCOMPARE(joinOffset(p), offset);
    }

    // Kept and read back, for this folder only; keys of any bytes; nothing to keep is no file; a
    // file not whole, not ours or not a file is set aside and reads as no offsets.
    void keepsOffsets()
    {
        QTemporaryDir state;
        const OrderStore store(QFile::encodeName(state.path()));
        const QByteArray folder = "/trip/";
        const ClockOffsets kept{{QStringLiteral("cam"), -3600},
                                {platform::decodeName("5:Ca\xffon0:0:"), 120},
                                {QString(), 7},
                                {QStringLiteral("zero"), 0}};
        QVERIFY(store.writeClocks(folder, kept));
        const OrderStore::LoadedClocks loaded = store.loadClocks(folder);
        QCOMPARE(loaded.found, OrderStore::Found::Order);
        ClockOffsets expected = kept;
        expected.remove(QStringLiteral("zero"));
        QCOMPARE(loaded.offsets, expected);
        QCOMPARE(store.loadClocks("/other/").found, OrderStore::Found::Nothing);
        QCOMPARE(store.load(folder).found, OrderStore::Found::Nothing); // the order is another file

        QVERIFY(store.writeClocks(folder, {{QStringLiteral("cam"), 0}}));
        struct stat st;
        QVERIFY(::lstat(store.clocksPathFor(folder).constData(), &st) != 0);
        QCOMPARE(store.loadClocks(folder).found, OrderStore::Found::Nothing);
    }

    void setsDamagedOffsetsAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = encodeClocks("/trip/", {{QStringLiteral("cam"), -3600}, {QStringLiteral("ph"), 60}});
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut short") << good.first(good.size() - 2);
        QTest::newRow("a digit changed") << QByteArray(good).replace("-3600", "-3500");
        QTest::newRow("another folder's") << encodeClocks("/else/", {{QStringLiteral("cam"), 1}});
        QTest::newRow("an order") << encodeOrder("/trip/", {{"a.jpg", {}}});
        QTest::newRow("no number") << encodeClocks("/trip/", {{QStringLiteral("cam"), 1}}).replace("\n1 ", "\nx ");
        QTest::newRow("folder") << QByteArray("(folder)");
    }
    void setsDamagedOffsetsAside()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir state;
        const OrderStore store(QFile::encodeName(state.path()));
        QVERIFY(store.writeClocks("/trip/", {{QStringLiteral("cam"), 5}}));
        const QByteArray path = store.clocksPathFor("/trip/");
        if (bytes == "(folder)") {
            QVERIFY(::unlink(path.constData()) == 0 && ::mkdir(path.constData(), 0700) == 0);
        } else {
            QFile f(QFile::decodeName(path));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        const OrderStore::LoadedClocks loaded = store.loadClocks("/trip/");
        QCOMPARE(loaded.found, OrderStore::Found::SetAside);
        QVERIFY(loaded.offsets.isEmpty());
        struct stat st;
        QVERIFY(::lstat(QByteArray(path + ".damaged").constData(), &st) == 0);
        QCOMPARE(store.loadClocks("/trip/").found, OrderStore::Found::Nothing);
    }
};

QTEST_MAIN(TestClocks)
#include "tst_clocks.moc"
