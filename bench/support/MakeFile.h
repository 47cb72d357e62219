#pragma once

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

// A file of the benchmark's folders, with `data` in it (empty by default); a benchmark that
// cannot make its files has nothing to measure and ends.
inline void makeFile(const QByteArray& path, const std::vector<char>& data = {})
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || (!data.empty() && ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))) {
        std::perror(path.constData());
        std::exit(1);
    }
    ::close(fd);
}
