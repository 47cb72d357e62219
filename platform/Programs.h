#pragma once
// Starting another program.

#include <QString>

#include <functional>

namespace platform {

// Starts the program at the path on its own, with no arguments and without waiting for it.
// False when it could not be started: an empty path, a path with a NUL character, a file that
// is missing or not executable. The path is taken as it is, never split or handed to a shell.
bool startProgram(const QString& path);

// How a caller starts programs; tests hand in one that records instead.
using ProgramStarter = std::function<bool(const QString& path)>;

} // namespace platform
