#pragma once

#include "imaging/PhotoMetadata.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include <sys/stat.h>

namespace imaging {

// A picture file opened for reading. Only regular files (or links to them) are opened, and
// without waiting: opening a FIFO would block until some writer came, and a device or a folder
// is no picture.
class RegularFile
{
public:
    explicit RegularFile(const QByteArray& nativePath);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int handle() const { return m_fd; }
    std::int64_t size() const { return m_status.st_size; }
    const struct stat& status() const { return m_status; }
    // The time of the file's last change, as the local clock showed it.
    ClockTime modified() const
    {
        return localClockTime(m_status.st_mtim.tv_sec, std::int32_t(m_status.st_mtim.tv_nsec));
    }

    // Reads up to `bytes` bytes from the current position into `into`, going on after
    // interruptions; fewer at the end of the file. -1 on a read error.
    std::int64_t read(std::uint8_t* into, std::size_t bytes);

private:
    int m_fd = -1;
    struct stat m_status = {};
};

} // namespace imaging
