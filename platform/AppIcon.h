#pragma once

#include <QIcon>

namespace platform {

// The program's own icon, drawn at every size it is asked for.
QIcon applicationIcon();

} // namespace platform
