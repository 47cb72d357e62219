#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. It is read before any window system is touched, so that
// --help, --version and a bad folder work on a terminal without a display.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString folder;  // the folder to open, empty for none
    QString message; // what to print for Help, Version and Error
};

// args: the arguments without the program name. Options of the toolkit itself (-platform
// offscreen, -style fusion, ...) are left for it.
CommandLine parseCommandLine(const QStringList& args);

QString usageText();
QString versionText();
