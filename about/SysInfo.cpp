#include "about/SysInfo.h"

#include <QFileInfo>

namespace about {

std::optional<QString> sysInfoProgram(const platform::Registry& registry)
{
    using platform::RegistryRoot;
    QString path;
    if (platform::GetKeyValue(registry, RegistryRoot::LocalMachine,
                              QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                              QStringLiteral("PATH"), path))
        return path;
    QString folder;
    if (!platform::GetKeyValue(registry, RegistryRoot::LocalMachine,
                               QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                               QStringLiteral("MSINFO"), folder))
        return std::nullopt;
    path = folder + QStringLiteral("/MSINFO32.EXE");
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return path;
}

} // namespace about
