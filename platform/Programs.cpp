#include "platform/Programs.h"

#include <QProcess>

namespace platform {

bool startProgram(const QString& path)
{
    // A NUL would cut the path short on its way to exec and start some other file.
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return QProcess::startDetached(path, {});
}

} // namespace platform
