#include "WindowsNames.h"

#include <algorithm>
#include <cctype>

#include "loader/Paths.h"

namespace veltrane::pack {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
    return upper;
}

}  // namespace

std::string StagedName(std::string_view storedName) {
    // As the loader does: Windows reads a name up to its first NUL byte.
    return FileNamePart([](std::uint8_t) { return false; }, storedName.substr(0, storedName.find('\0')),
                        Separators::BackslashColonAndSlash);
}

std::optional<std::string> WhyNotCreatable(std::string_view fileName) {
    if (fileName.empty()) return "the name is empty";
    if (IsDeviceName(fileName)) return "it is the name of a device";
    for (const char c : fileName) {
        if (static_cast<unsigned char>(c) < 32) return "it holds a control character";
        if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
            return std::string("it holds the character ") + c;
        }
    }
    if (fileName.back() == '.' || fileName.back() == ' ') {
        return "it ends in a dot or a space, which Windows removes";
    }
    return std::nullopt;
}

bool SameWindowsName(std::string_view a, std::string_view b) {
    return UpperCase(a) == UpperCase(b);
}

}  // namespace veltrane::pack
