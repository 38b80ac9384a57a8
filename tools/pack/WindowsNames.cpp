#include "WindowsNames.h"

#include <algorithm>
#include <array>
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

// Windows opens the device for its name with any extension, and ignores spaces before the dot.
bool IsDeviceName(std::string_view fileName) {
    std::string_view stem = fileName.substr(0, fileName.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    const std::string upper = UpperCase(stem);
    static constexpr std::array<std::string_view, 6> Fixed = {"CON", "PRN",   "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    if (std::find(Fixed.begin(), Fixed.end(), upper) != Fixed.end()) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

std::string StagedName(std::string_view storedName) {
    return FileNamePart([](std::uint8_t) { return false; }, storedName,
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
