#include "platform/Programs.h"
