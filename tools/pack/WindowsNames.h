// What Windows makes of the names the loader stages files under.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane::pack {

// The name the loader stages a stored name under: the part after the last "\", ":" or "/".
// Taken as in a single-byte code page, since the builder cannot know the user's.
std::string StagedName(std::string_view storedName);

// Why Windows cannot create a file of this name in a directory, or nothing when it can.
std::optional<std::string> WhyNotCreatable(std::string_view fileName);

// Windows compares file names without regard to case.
bool SameWindowsName(std::string_view a, std::string_view b);

}  // namespace veltrane::pack
