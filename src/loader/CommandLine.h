// The loader's command line: only argument 1 is looked at, for one of two switches.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/WindowsApi.h"

namespace veltrane {

// Argument 1 of a command line, split as the run time splits it: tokens are separated by
// spaces and control characters (codes 1 to 32), and double quotes open and close a stretch
// in which spaces belong to the token (the quotes are not part of it). Token 0 is the
// program's own name. Empty when there is no argument 1.
std::optional<std::string> FirstArgument(std::string_view commandLine);

// True when argument 1 is "*" followed by the keyword, letters a to z compared without regard
// to case (no other character is folded, and no locale is consulted).
bool IsSwitch(std::string_view commandLine, std::string_view keyword);

// "*QUIET": no progress window. Reads the process's command line afresh at each call.
bool IsQuietSwitch(WindowsApi& api);
// "*TODISK": the installation program's command line takes the to-disk form.
bool IsToDiskSwitch(WindowsApi& api);

}  // namespace veltrane
