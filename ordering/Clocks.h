#pragma once

#include "ordering/Moves.h"
#include "ordering/Picture.h"

#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Several cameras on one trip: their clocks rarely agree. Each device's pictures are moved by an
// offset of its own before they are ordered by time, so that the photos of one moment stand
// together whoever took them. Nothing of it is written into the photo files.
namespace ordering {

class PictureOrder;

// A device's offset may reach ten years either way (leap days included): more is a typing error.
inline constexpr qint64 kMaxClockOffset = qint64(3653) * 24 * 3600;

// The time a picture shows with its device's offset.
ClockTime shifted(ClockTime time, qint64 offsetSeconds);

// The pictures of one device.
struct DeviceGroup
{
    QString key;   // see Camera; empty: the files name no device
    QString label; // empty: the files name no device
    // Its pictures with a time, by that time as its clock read it (then by id), and their times.
    QList<PictureId> timed;
    std::vector<ClockTime> times;
    qsizetype untimed = 0;      // pictures of it that tell no time
    std::optional<qint32> zone; // the time zone most of its pictures tell

    qsizetype count() const { return timed.size() + untimed; }
};

// The pictures shown, by device: the device with the most pictures first (it is the reference
// whose clock the others are set to), then by label. Pictures whose times are not read yet count
// as telling none.
QList<DeviceGroup> groupByDevice(const PictureOrder& order);

// The offsets that the time zones tell: each zoned device's clock set to the zone of the
// reference (the first group), or, when that has none, of the zoned device with the most pictures.
// Devices without a zone are taken as their clocks read.
ClockOffsets proposedOffsets(const QList<DeviceGroup>& groups);

// The offset that makes a picture taken at `other` show the moment of one taken at `reference`
// whose device has `referenceOffset`; to the second, as offsets are kept. Nothing beyond
// kMaxClockOffset.
std::optional<qint64> offsetToMatch(ClockTime reference, qint64 referenceOffset, ClockTime other);

// Two pictures picked as showing the same moment: the device of `second` gets the offset that
// makes it show the time of `first` (with its device's offset). Nothing, with the reason, when
// they are of one device, a time is missing, or the clocks are further apart than an offset may be.
struct Alignment
{
    QString device;
    qint64 offset = 0;
};
std::optional<Alignment> alignOnPair(const PictureOrder& order, const ClockOffsets& offsets, PictureId first,
                                     PictureId second, QString* why = nullptr);

// The two pictures picked, when exactly two are: the one picked last (the one the keyboard is on,
// else the later shown) second.
std::optional<std::pair<PictureId, PictureId>> pickedPair(const PictureOrder& order);

// An offset as the user types it.
struct OffsetParts
{
    bool negative = false;
    qint64 days = 0;
    qint64 hours = 0;
    qint64 minutes = 0;
    qint64 seconds = 0;
};
OffsetParts splitOffset(qint64 offsetSeconds);
qint64 joinOffset(const OffsetParts& parts);

// Orders pictures by time taken with their devices' offsets, as many times as the offsets change:
// everything that does not depend on them (each picture's device, time and rank by name) is
// taken from the order once. Pictures of the same moment by name, those without a time last.
class TimeSorter
{
public:
    explicit TimeSorter(const PictureOrder& order);

    DisplayOrder sorted(const ClockOffsets& offsets) const;
    // How many pictures `order` and `other` show at different places.
    static qsizetype moved(const DisplayOrder& order, const DisplayOrder& other);

private:
    struct Entry
    {
        ClockTime time;
        int nameRank = 0;
        PictureId id = kNoPicture;
        quint16 device = 0;
        bool timed = false;
    };
    std::vector<Entry> m_entries;
    QList<QString> m_deviceKeys;
};

} // namespace ordering
