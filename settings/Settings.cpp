#include "settings/Settings.h"

namespace settings {

Props readProps()
{
    return Props{};
}

} // namespace settings
