#pragma once

#include "platform/Registry.h"

#include <QString>

#include <optional>

namespace about {

// The program the about box starts as its system information tool, looked up the way the
// registry has always named it: the "PATH" value of SOFTWARE\Microsoft\Shared Tools\MSINFO,
// taken as it is (an empty text when the value is of a type that is not read as text); else
// the file MSINFO32.EXE in the folder named by the "MSINFO" value of
// SOFTWARE\Microsoft\Shared Tools Location, when that file exists. Empty when neither leads
// to a program.
std::optional<QString> sysInfoProgram(const platform::Registry& registry);

} // namespace about
