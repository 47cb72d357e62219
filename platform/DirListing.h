#pragma once

#include "platform/ExtensionPattern.h"
#include "platform/SkippedFiles.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <dirent.h>
#include <sys/stat.h>

#include <optional>

namespace platform {

// Walks one folder and yields, one per call, the names of the regular files (or links to
// regular files) whose name does not start with "." and matches the extension setting (see
// ExtensionPattern: "jpg", "jpg;jpeg;heic", "jp*"). Folders, devices, FIFOs, sockets and dangling links
// are never yielded, and nothing is ever opened but the folder itself, so a FIFO cannot block.
class ImageFileEnumerator
{
public:
    ImageFileEnumerator(const QByteArray& nativeFolder, const QString& extensions);
    ~ImageFileEnumerator();
    ImageFileEnumerator(const ImageFileEnumerator&) = delete;
    ImageFileEnumerator& operator=(const ImageFileEnumerator&) = delete;

    // False when the folder could not be opened; errorText() tells why.
    bool isOpen() const { return m_dir != nullptr; }
    QString errorText() const { return m_error; }

    // The next matching name (native bytes), or nothing at the end of the folder. With `found`,
    // that receives what the file is (following links) when it had to be looked at (a link, a
    // file system that does not tell the type of its entries); else it is zeroed. With `others`,
    // the names passed over that are not hidden and do not match are appended to it, whatever
    // they are (nothing is looked at for them).
    std::optional<QByteArray> next(struct stat* found = nullptr, QList<QByteArray>* others = nullptr);
    // From now on, the regular files passed over because the setting does not take them are
    // counted into `skipped` when they look like photos or clips (hidden files never are).
    void countSkipped(SkippedFiles* skipped) { m_skipped = skipped; }

private:
    bool matches(const dirent* entry, struct stat* found, QList<QByteArray>* others) const;
    bool isRegular(const dirent* entry, struct stat* found) const;

    DIR* m_dir = nullptr;
    ExtensionPattern m_extensions;
    QString m_error;
    SkippedFiles* m_skipped = nullptr;
};

// The system's reason for an error number, in the user's language.
QString errorText(int error);

// For tests: on, every directory entry is read as if its file system reported no file type (as
// some network and FUSE file systems, and XFS without ftype, do), so that the listings have to
// ask for each entry's type.
void setEntryTypesUnknown(bool unknown);

// True when the native path names a folder (following links).
bool isDirectory(const QByteArray& nativePath);
// 0 when the native path names a folder, else why not as an error number: ENOENT, ENOTDIR,
// ELOOP for a path through too many links, ENAMETOOLONG for one too long for the system.
int folderError(const QByteArray& nativePath);
// True when the folder can be listed and entered.
bool isReadableDirectory(const QByteArray& nativePath);

// The subfolders of a folder, hidden ones left out, sorted by name without regard to letter case.
QList<QByteArray> subfolderNames(const QByteArray& nativeFolder);

// The folder path with exactly one "/" at its end ("/" stays "/").
QByteArray withTrailingSlash(const QByteArray& nativeFolder);
QString withTrailingSlash(const QString& folder);

// The folder above an absolute, clean path ("/" for "/" itself), and the chain of folders from
// "/" down to the path.
QByteArray parentFolder(const QByteArray& nativeFolder);
QList<QByteArray> folderChain(const QByteArray& nativeFolder);

// A folder as it was when it was opened, and each folder above it, so that a later look can tell
// whether it is still there. A level counts as gone when it is no longer a folder, or when it was
// the root of a volume and is no longer one: a card that is pulled leaves its mount point behind
// as an empty folder of the volume above.
class FolderTrail
{
public:
    FolderTrail() = default;
    explicit FolderTrail(const QByteArray& nativeFolder);

    // The deepest level whose levels above are all still there: the folder itself when nothing
    // went away, "/" at worst.
    QByteArray nearestPresent() const;

private:
    struct Level
    {
        QByteArray path;
        bool volumeRoot;
    };
    QList<Level> m_levels;
};

// A path as a message names it: whole while it is short, else its start and its end (at least
// the folder's own name) around an ellipsis.
QString pathForMessage(const QByteArray& nativePath);
// A path broken after its slashes into lines of at most width characters, so that a deep one
// still fits a tooltip on the screen.
QString wrappedPath(const QByteArray& nativePath, int width);

} // namespace platform
