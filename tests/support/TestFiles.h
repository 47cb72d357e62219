#pragma once

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// Writes a file for a test, or fails the test.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(content);
}

// Files in a folder that hold their own names as contents, so that a test can follow each one
// through renames by what it holds. Names need not be UTF-8.
inline void writeNamedFiles(const QByteArray& folder, const QList<QByteArray>& names)
{
    for (const QByteArray& name : names) {
        const QByteArray path = folder + '/' + name;
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY2(fd >= 0 && ::write(fd, name.constData(), size_t(name.size())) == name.size(), path.constData());
        ::close(fd);
    }
}

// Creates an empty file by its native path bytes (names need not be UTF-8), or fails the test.
inline void touch(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    ::close(fd);
}

// Sets a file's modification time, or fails the test.
inline void setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime),
             qPrintable(path));
}
