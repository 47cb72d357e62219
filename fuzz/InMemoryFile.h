#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

// A regular file that lives in memory, under a path that open() takes like any other: the
// decoders read the files they are handed by path, and a file on a disk would cost a write to
// it for every input. The file is replaced whole by each write.
class InMemoryFile
{
public:
    InMemoryFile() : m_fd(::memfd_create("fuzz-input", MFD_CLOEXEC))
    {
        if (m_fd < 0)
            std::abort();
        m_path = "/proc/self/fd/" + QByteArray::number(m_fd);
    }
    ~InMemoryFile() { ::close(m_fd); }
    InMemoryFile(const InMemoryFile&) = delete;
    InMemoryFile& operator=(const InMemoryFile&) = delete;

    const QByteArray& path() const { return m_path; }

    void write(const std::uint8_t* data, std::size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0)
            std::abort();
        m_size = 0;
        append(data, size);
    }

    void append(const std::uint8_t* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::pwrite(m_fd, data, size, off_t(m_size));
            if (n <= 0)
                std::abort();
            data += n;
            size -= std::size_t(n);
            m_size += std::size_t(n);
        }
    }

private:
    int m_fd = -1;
    QByteArray m_path;
    std::size_t m_size = 0;
};
