#include "ordering/Clocks.h"

#include "ordering/PictureOrder.h"
#include "platform/FileNames.h"

#include <QHash>

#include <algorithm>
#include <numeric>

namespace ordering {

namespace {

QByteArray fileName(const QByteArray& path)
{
    return path.sliced(path.lastIndexOf('/') + 1);
}

} // namespace

ClockTime shifted(ClockTime time, qint64 offsetSeconds)
{
    return {time.seconds + offsetSeconds, time.nanoseconds};
}

QList<DeviceGroup> groupByDevice(const PictureOrder& order)
{
    const qsizetype devices = order.cameras().size();
    QList<DeviceGroup> groups(devices);
    std::vector<QHash<qint32, qsizetype>> zones(static_cast<size_t>(devices));
    for (qsizetype i = 0; i < devices; ++i) {
        groups[i].key = order.cameras()[i].key;
        groups[i].label = order.cameras()[i].label;
    }
    std::vector<PictureId> byId(order.shown().cbegin(), order.shown().cend());
    std::sort(byId.begin(), byId.end());
    for (const PictureId id : byId) {
        const int device = order.cameraIndex(id);
        DeviceGroup& g = groups[device];
        if (const std::optional<ClockTime> taken = order.picture(id).taken())
            g.timed.append(id);
        else
            ++g.untimed;
        if (const std::optional<qint32> zone = order.zoneOf(id))
            ++zones[size_t(device)][*zone];
    }
    for (qsizetype i = 0; i < devices; ++i) {
        DeviceGroup& g = groups[i];
        std::stable_sort(g.timed.begin(), g.timed.end(), [&order](PictureId a, PictureId b) {
            return *order.picture(a).taken() < *order.picture(b).taken();
        });
        g.times.reserve(size_t(g.timed.size()));
        for (const PictureId id : g.timed)
            g.times.push_back(*order.picture(id).taken());
        // The zone most of its pictures tell; of two as many, the one further west, so that the
        // choice does not depend on the hash's order.
        qsizetype most = 0;
        for (auto it = zones[size_t(i)].cbegin(); it != zones[size_t(i)].cend(); ++it) {
            if (it.value() > most || (it.value() == most && it.key() < *g.zone)) {
                most = it.value();
                g.zone = it.key();
            }
        }
    }
    groups.removeIf([](const DeviceGroup& g) { return g.count() == 0; });
    std::stable_sort(groups.begin(), groups.end(), [](const DeviceGroup& a, const DeviceGroup& b) {
        if (a.count() != b.count())
            return a.count() > b.count();
        return a.label != b.label ? a.label < b.label : a.key < b.key;
    });
    return groups;
}

ClockOffsets proposedOffsets(const QList<DeviceGroup>& groups)
{
    ClockOffsets offsets;
    const auto zoned = std::find_if(groups.cbegin(), groups.cend(), [](const DeviceGroup& g) { return g.zone.has_value(); });
    if (zoned == groups.cend())
        return offsets;
    const qint32 reference = *zoned->zone;
    for (const DeviceGroup& g : groups) {
        // A clock set to a zone further east reads later for the same moment.
        if (g.zone && *g.zone != reference)
            offsets.insert(g.key, qint64(reference) - *g.zone);
    }
    return offsets;
}

std::optional<qint64> offsetToMatch(ClockTime reference, qint64 referenceOffset, ClockTime other)
{
    qint64 offset = reference.seconds + referenceOffset - other.seconds;
    const qint32 fraction = reference.nanoseconds - other.nanoseconds;
    if (fraction >= 500'000'000)
        ++offset;
    else if (fraction < -500'000'000)
        --offset;
    if (offset > kMaxClockOffset || offset < -kMaxClockOffset)
        return std::nullopt;
    return offset;
}

std::optional<Alignment> alignOnPair(const PictureOrder& order, const ClockOffsets& offsets, PictureId first,
                                     PictureId second, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (!order.contains(first) || !order.contains(second))
        return fail(QStringLiteral("Es sind nicht zwei Bilder gewählt."));
    const QString& device = order.camera(second).key;
    if (order.cameraIndex(first) == order.cameraIndex(second))
        return fail(QStringLiteral("Beide Bilder stammen vom selben Gerät."));
    for (const PictureId id : {first, second}) {
        if (!order.picture(id).taken())
            return fail(QStringLiteral("\"%1\" nennt keine Aufnahmezeit.")
                            .arg(platform::displayName(platform::decodeName(fileName(order.picture(id).path())))));
    }
    const std::optional<qint64> offset =
        offsetToMatch(*order.picture(first).taken(), offsets.value(order.camera(first).key),
                      *order.picture(second).taken());
    if (!offset)
        return fail(QStringLiteral("Die Uhren der beiden Geräte gehen um mehr als zehn Jahre auseinander."));
    return Alignment{device, *offset};
}

std::optional<std::pair<PictureId, PictureId>> pickedPair(const PictureOrder& order)
{
    const Selection& picked = order.selection();
    if (picked.count() != 2)
        return std::nullopt;
    const QList<PictureId> two = picked.inOrder(order.shown());
    if (two.size() != 2)
        return std::nullopt;
    if (picked.focus == two[0])
        return std::pair{two[1], two[0]};
    return std::pair{two[0], two[1]};
}

OffsetParts splitOffset(qint64 offsetSeconds)
{
    OffsetParts parts;
    parts.negative = offsetSeconds < 0;
    quint64 left = parts.negative ? quint64(0) - quint64(offsetSeconds) : quint64(offsetSeconds);
    parts.seconds = qint64(left % 60);
    left /= 60;
    parts.minutes = qint64(left % 60);
    left /= 60;
    parts.hours = qint64(left % 24);
    parts.days = qint64(left / 24);
    return parts;
}

qint64 joinOffset(const OffsetParts& parts)
{
    const qint64 total = ((parts.days * 24 + parts.hours) * 60 + parts.minutes) * 60 + parts.seconds;
    return parts.negative ? -total : total;
}

TimeSorter::TimeSorter(const PictureOrder& order)
{
    for (const Camera& c : order.cameras())
        m_deviceKeys.append(c.key);
    const DisplayOrder& shown = order.shown();
    // Ranks by name once, so that sorting again compares numbers.
    std::vector<QString> texts;
    texts.reserve(size_t(shown.size()));
    for (const PictureId id : shown)
        texts.push_back(platform::decodeName(order.picture(id).path()));
    std::vector<int> byName(texts.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [&texts](int a, int b) { return texts[size_t(a)] < texts[size_t(b)]; });
    m_entries.resize(texts.size());
    for (size_t rank = 0; rank < byName.size(); ++rank)
        m_entries[size_t(byName[rank])].nameRank = int(rank);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        Entry& e = m_entries[size_t(i)];
        const PictureId id = shown[i];
        const std::optional<ClockTime> taken = order.picture(id).taken();
        e.id = id;
        e.device = quint16(order.cameraIndex(id));
        e.timed = taken.has_value();
        e.time = taken.value_or(ClockTime{});
    }
}

DisplayOrder TimeSorter::sorted(const ClockOffsets& offsets) const
{
    std::vector<qint64> offsetOf(size_t(m_deviceKeys.size()), 0);
    for (qsizetype i = 0; i < m_deviceKeys.size(); ++i)
        offsetOf[size_t(i)] = offsets.value(m_deviceKeys[i]);
    std::vector<Entry> entries = m_entries;
    for (Entry& e : entries)
        e.time = shifted(e.time, offsetOf[e.device]);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.timed != b.timed)
            return a.timed;
        if (a.timed && a.time != b.time)
            return a.time < b.time;
        return a.nameRank < b.nameRank;
    });
    DisplayOrder order;
    order.reserve(qsizetype(entries.size()));
    for (const Entry& e : entries)
        order.append(e.id);
    return order;
}

qsizetype TimeSorter::moved(const DisplayOrder& order, const DisplayOrder& other)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < order.size(); ++i)
        count += i >= other.size() || order[i] != other[i];
    return count + std::max<qsizetype>(0, other.size() - order.size());
}

} // namespace ordering
