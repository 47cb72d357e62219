#pragma once

#include <QByteArray>

// The folders Tessaline keeps its own files in (state, cache, settings) hold the names and
// thumbnails of the user's photos: they are the user's alone from the moment they exist.
namespace platform {

// Makes the folder at the absolute path, and every level above it that is missing, readable by
// the user only (0700) whatever the umask. Levels that were there already keep their modes,
// except the folder itself when it is the user's own: an earlier version may have made it open to
// all. 0 or the errno value of the failure.
int makeOwnFolder(const QByteArray& path);
// Makes the missing levels of the absolute path readable by the user only, and leaves those that
// are there as they are: for a folder the program shares with others, such as the configuration
// folder.
int makeMissingFolders(const QByteArray& path);

} // namespace platform
