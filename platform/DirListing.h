#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <dirent.h>

#include <optional>

namespace platform {

// Walks one folder and yields, one per call, the names of the regular files (or links to
// regular files) whose name does not start with "." and ends in "." + extension, the extension
// compared without regard to letter case. Folders, devices, FIFOs, sockets and dangling links
// are never yielded, and nothing is ever opened but the folder itself, so a FIFO cannot block.
class ImageFileEnumerator
{
public:
    ImageFileEnumerator(const QByteArray& nativeFolder, const QString& extension);
    ~ImageFileEnumerator();
    ImageFileEnumerator(const ImageFileEnumerator&) = delete;
    ImageFileEnumerator& operator=(const ImageFileEnumerator&) = delete;

    // False when the folder could not be opened; errorText() tells why.
    bool isOpen() const { return m_dir != nullptr; }
    QString errorText() const { return m_error; }

    // The next matching name (native bytes), or nothing at the end of the folder.
    std::optional<QByteArray> next();

private:
    bool matches(const dirent* entry) const;

    DIR* m_dir = nullptr;
    QByteArray m_suffix; // "." + extension, lower case
    QString m_error;
};

// True when the native path names a folder (following links).
bool isDirectory(const QByteArray& nativePath);
// True when the folder can be listed and entered.
bool isReadableDirectory(const QByteArray& nativePath);

// The subfolders of a folder, hidden ones left out, sorted by name without regard to letter case.
QList<QByteArray> subfolderNames(const QByteArray& nativeFolder);

// The folder path with exactly one "/" at its end ("/" stays "/").
QByteArray withTrailingSlash(const QByteArray& nativeFolder);
QString withTrailingSlash(const QString& folder);

} // namespace platform
