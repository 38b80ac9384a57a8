#include "loader/Paths.h"

namespace veltrane {
namespace {

bool IsSeparator(char c, Separators separators) {
    if (c == '\\' || c == ':') return true;
    return separators == Separators::BackslashColonAndSlash && c == '/';
}

// Index one past the last separator, or 0 when there is none. Walks from the start so that a
// lead byte always swallows its trail byte, whatever that byte's value.
std::size_t EndOfDirectoryPart(const LeadByteTest& isLeadByte, std::string_view path,
                               Separators separators) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(path[i]);
        if (isLeadByte(byte) && i + 1 < path.size()) {
            ++i;
        } else if (IsSeparator(path[i], separators)) {
            end = i + 1;
        }
    }
    return end;
}

}  // namespace

std::string LoaderFileName(WindowsApi& api) {
    char buffer[261] = {};
    const std::uint32_t length = api.GetModuleFileNameA(buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

std::string AddTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string RemoveTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::string FileNamePart(const LeadByteTest& isLeadByte, std::string_view path,
                         Separators separators) {
    return std::string(path.substr(EndOfDirectoryPart(isLeadByte, path, separators)));
}

std::string DirectoryPart(const LeadByteTest& isLeadByte, std::string_view path,
                          Separators separators) {
    return std::string(path.substr(0, EndOfDirectoryPart(isLeadByte, path, separators)));
}

std::string FileNamePart(WindowsApi& api, std::string_view path, Separators separators) {
    return FileNamePart([&api](std::uint8_t b) { return api.IsDBCSLeadByte(b); }, path, separators);
}

std::string DirectoryPart(WindowsApi& api, std::string_view path, Separators separators) {
    return DirectoryPart([&api](std::uint8_t b) { return api.IsDBCSLeadByte(b); }, path,
                         separators);
}


bool IsDeviceName(std::string_view fileName) {
    std::string_view base = fileName.substr(0, fileName.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string upper(base);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
        upper == "CONIN$" || upper == "CONOUT$") {
        return true;
    }
    const bool numberedPort = upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT"));
    return numberedPort && upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace veltrane
