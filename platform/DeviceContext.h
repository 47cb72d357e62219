#pragma once
// Device-context stand-in and block transfers; see DeviceContext.cpp.
