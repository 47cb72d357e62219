#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdio>

#include <dirent.h>
#include <sys/stat.h>

// The baseline of the folder benchmarks: readdir and stat of every entry of a folder, as bare as
// it gets, in milliseconds.
inline double bareListingMs(const QByteArray& folder)
{
    QElapsedTimer t;
    t.start();
    DIR* dir = ::opendir(folder.constData());
    int n = 0;
    while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            ++n;
    }
    if (dir)
        ::closedir(dir);
    if (n == 0)
        std::fprintf(stderr, "bare listing found nothing\n");
    return double(t.nsecsElapsed()) / 1e6;
}
