#include "platform/SimulatedPath.h"

#include <algorithm>
#include <array>

namespace veltrane {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLead(const SimLeadByteTest& isLeadByte, char c) {
    return isLeadByte && isLeadByte(static_cast<std::uint8_t>(c));
}

// The index of the next "\" from `from` on (or the size), stepping over double-byte characters.
std::size_t FindSeparator(std::string_view text, std::size_t from, const SimLeadByteTest& isLeadByte) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (IsLead(isLeadByte, text[i]) && i + 1 < text.size()) {
            ++i;
        } else if (text[i] == '\\') {
            return i;
        }
    }
    return text.size();
}

// "/" becomes "\", except as the second byte of a double-byte character.
std::string WithBackslashes(std::string_view text, const SimLeadByteTest& isLeadByte) {
    std::string path(text);
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsLead(isLeadByte, path[i]) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '/') {
            path[i] = '\\';
        }
    }
    return path;
}

bool IsValidComponent(std::string_view component, const SimLeadByteTest& isLeadByte) {
    constexpr std::string_view forbidden = "<>:\"|?*";
    for (std::size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        if (IsLead(isLeadByte, c) && i + 1 < component.size()) {
            ++i;
        } else if (static_cast<unsigned char>(c) < 0x20 || forbidden.find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

// Splits "\\server\share\rest" into the root and the rest; empty root when server or share is
// missing.
std::pair<std::string, std::string_view> SplitUncRoot(std::string_view path) {
    const std::string_view afterSlashes = path.substr(2);
    const std::size_t serverEnd = afterSlashes.find('\\');
    if (serverEnd == 0 || serverEnd == std::string_view::npos) return {};
    const std::string_view afterServer = afterSlashes.substr(serverEnd + 1);
    const std::size_t shareEnd = std::min(afterServer.find('\\'), afterServer.size());
    if (shareEnd == 0) return {};
    std::string root = "\\\\" + std::string(afterSlashes.substr(0, serverEnd)) + "\\" +
                       std::string(afterServer.substr(0, shareEnd)) + "\\";
    return {root, afterServer.substr(std::min(shareEnd + 1, afterServer.size()))};
}

// The absolute starting point of a path and the part that remains to be resolved against it.
std::optional<std::pair<SimPath, std::string_view>> SplitStart(std::string_view path,
                                                               const SimPath& current) {
    if (path.starts_with("\\\\?\\") && path.size() >= 6 && path[5] == ':') path.remove_prefix(4);
    if (path.starts_with("\\\\")) {
        auto [root, rest] = SplitUncRoot(path);
        if (root.empty()) return std::nullopt;
        return std::pair{SimPath{root, {}, false}, rest};
    }
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
        const bool absolute = path.size() >= 3 && path[2] == '\\';
        const bool currentDrive =
            UpperAscii(path.substr(0, 1)) == UpperAscii(current.root.substr(0, 1));
        if (!absolute && currentDrive) return std::pair{current, path.substr(2)};
        return std::pair{SimPath{std::string(path.substr(0, 2)) + "\\", {}, false}, path.substr(2)};
    }
    if (path.starts_with("\\")) return std::pair{SimPath{current.root, {}, false}, path};
    return std::pair{current, path};
}

void DropTrailingDotsAndSpaces(std::vector<std::string>& components) {
    std::string& last = components.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) components.pop_back();
}

}  // namespace

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string SimPath::Text() const {
    std::string text = root;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) text += '\\';
        text += components[i];
    }
    return text;
}

std::string SimPath::Key() const { return UpperAscii(Text()); }

std::string SimPath::Name() const { return components.empty() ? std::string() : components.back(); }

SimPath SimPath::Parent() const {
    SimPath parent = *this;
    if (!parent.components.empty()) parent.components.pop_back();
    parent.trailingSeparator = false;
    return parent;
}

std::optional<SimPath> NormalisePath(std::string_view text, const SimPath& currentDirectory,
                                     const SimLeadByteTest& isLeadByte) {
    if (text.empty()) return std::nullopt;
    const std::string path = WithBackslashes(text, isLeadByte);
    auto start = SplitStart(path, currentDirectory);
    if (!start) return std::nullopt;
    auto& [result, rest] = *start;
    bool lastWasName = false;
    std::size_t begin = 0;
    while (begin <= rest.size()) {
        const std::size_t end = FindSeparator(rest, begin, isLeadByte);
        const std::string_view component = rest.substr(begin, end - begin);
        lastWasName = false;
        if (component == "..") {
            if (!result.components.empty()) result.components.pop_back();
        } else if (!component.empty() && component != ".") {
            if (!IsValidComponent(component, isLeadByte)) return std::nullopt;
            result.components.emplace_back(component);
            lastWasName = true;
        }
        begin = end + 1;
    }
    result.trailingSeparator = !rest.empty() && rest.back() == '\\';
    if (lastWasName) DropTrailingDotsAndSpaces(result.components);
    return result;
}

std::string DeviceName(std::string_view text, const SimLeadByteTest& isLeadByte) {
    if (text.starts_with("\\\\.\\") || text.starts_with("//./")) return UpperAscii(text.substr(4));
    const std::string path = WithBackslashes(text, isLeadByte);
    std::size_t nameStart = 0;
    for (std::size_t at = FindSeparator(path, 0, isLeadByte); at < path.size(); at = FindSeparator(path, at + 1, isLeadByte)) {
        nameStart = at + 1;
    }
    std::string_view name = std::string_view(path).substr(nameStart);
    if (name.size() >= 2 && IsLetter(name[0]) && name[1] == ':') name.remove_prefix(2);
    if (name.ends_with(':')) name.remove_suffix(1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const std::string base = UpperAscii(name);
    static constexpr std::array<std::string_view, 6> fixed = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    if (std::find(fixed.begin(), fixed.end(), base) != fixed.end()) return base;
    const bool port = base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT"));
    return port && base[3] >= '1' && base[3] <= '9' ? base : std::string();
}

}  // namespace veltrane
