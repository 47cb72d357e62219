#include "platform/AppIcon.h"

namespace platform {

QIcon applicationIcon()
{
    return QIcon();
}

} // namespace platform
