#include "imaging/RegularFile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace imaging {

RegularFile::RegularFile(const QByteArray& nativePath)
{
    // A zero byte would end the name early and open some other file.
    if (nativePath.isEmpty() || nativePath.contains('\0'))
        return;
    m_fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0)
        return;
    if (::fstat(m_fd, &m_status) != 0 || !S_ISREG(m_status.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    // Regular files never block; reading goes on in the ordinary mode.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::int64_t RegularFile::read(std::uint8_t* into, std::size_t bytes)
{
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(m_fd, into + got, bytes - got);
        if (n > 0)
            got += std::size_t(n);
        else if (n == 0)
            break;
        else if (errno != EINTR)
            return -1;
    }
    return std::int64_t(got);
}

} // namespace imaging
