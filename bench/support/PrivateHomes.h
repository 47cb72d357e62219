#pragma once

#include <QFile>
#include <QProcessEnvironment>
#include <QString>

// Settings, thumbnail cache, kept orders and renaming records of a benchmark's own, in folders
// under `root`: a run must neither read the user's nor leave anything in them.
inline constexpr const char* kPrivateHomes[] = {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"};

inline QString privateHome(const QString& root, const char* variable)
{
    // XDG_CONFIG_HOME goes to root/config, and so on.
    return root + QLatin1Char('/') + QString::fromLatin1(variable).sliced(4).chopped(5).toLower();
}

// For this process (before the application object reads them) and the children it starts.
inline void usePrivateHomes(const QString& root)
{
    for (const char* variable : kPrivateHomes)
        qputenv(variable, QFile::encodeName(privateHome(root, variable)));
}

// For a child started with an environment of its own.
inline void usePrivateHomes(QProcessEnvironment& env, const QString& root)
{
    for (const char* variable : kPrivateHomes)
        env.insert(QString::fromLatin1(variable), privateHome(root, variable));
}
