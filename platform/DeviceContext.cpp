#include "platform/DeviceContext.h"
