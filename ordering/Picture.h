#pragma once

#include "ordering/OrderStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <compare>
#include <cstdint>
#include <optional>
#include <vector>

namespace ordering {

// A picture's identity for as long as its folder is shown: given in the order the files are
// listed, from 1, never given twice while the folder is shown, whatever happens to the order or
// to the file's name. 0 stands for none. It is no place on the screen and no place in the order:
// the view keys its boxes by it, and the order, the selection and the steps are made of it.
using PictureId = int;
inline constexpr PictureId kNoPicture = 0;

// A moment as a camera's clock showed it, without a time zone. Seconds count from 1970-01-01
// 00:00:00 on that clock.
struct ClockTime
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0; // 0 to 999,999,999

    auto operator<=>(const ClockTime&) const = default;
};

// The device a picture was taken with, as its file tells: `key` is the same for the same make,
// model and serial number and differs otherwise (empty: the file names no device), `label` names
// it for people, `zone` is the time zone its clock was set to (seconds east of UTC) where the file
// tells it.
struct Camera
{
    QString key;
    QString label;
    std::optional<qint32> zone;

    bool operator==(const Camera&) const = default;
};

// A picture of the folder shown: its file, and what the order needs of it. A folder of 100,000
// pictures keeps one each, so what only some have (see PictureOrder::identity) lives beside it.
class Picture
{
public:
    Picture() = default;
    explicit Picture(QByteArray path) : m_path(std::move(path)) {}

    // The file's path as the file system knows it; it follows the file through renames.
    const QByteArray& path() const { return m_path; }

    // When the picture was taken, once its file has been read: a time, or none when the file
    // tells none.
    bool takenKnown() const { return m_taken != Taken::Unknown; }
    std::optional<ClockTime> taken() const
    {
        return m_taken == Taken::Known ? std::optional<ClockTime>(ClockTime{m_seconds, m_nanoseconds})
                                       : std::nullopt;
    }

private:
    friend class PictureOrder;
    enum class Taken : std::uint8_t { Unknown, None, Known };

    QByteArray m_path;
    // The time taken, packed.
    std::int64_t m_seconds = 0;
    std::int32_t m_nanoseconds = 0;
    Taken m_taken = Taken::Unknown;
    quint16 m_camera = 0; // see PictureOrder::camera
};

// A file of the folder as its listing found it, before it is a picture of the view.
struct ListedFile
{
    QByteArray path;                   // native
    FileIdentity file;                 // unknown unless the listing looked at it
    int keptRank = Placement::kUnkept; // its place in the folder's kept order
    QString text;                      // the path as text: what the listing orders by
};

// Files found together. `inKeyOrder` holds their indexes by kept rank, then text (empty: not
// sorted yet); the listing sorts them on its own thread.
struct ListedBatch
{
    QList<ListedFile> files;
    std::vector<int> inKeyOrder;
};

// Puts the files' indexes into `inKeyOrder`.
void sortByKey(ListedBatch& batch);

// Where moved pictures land: before a picture, or after the last one.
struct Place
{
    PictureId before = kNoPicture; // kNoPicture: at the end

    static Place end() { return {}; }
    bool atEnd() const { return before == kNoPicture; }
    bool operator==(const Place&) const = default;
};

} // namespace ordering
