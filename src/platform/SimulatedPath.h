// Paths of the simulated Windows: normalised as Win32 normalises a path before it reaches the
// file system, and compared without regard to ASCII case.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

struct SimPath {
    std::string root;                     // "C:\" or "\\server\share\", case as written
    std::vector<std::string> components;  // no ".", "..", or empty ones
    bool trailingSeparator = false;       // the text ended in "\" (it names a directory)

    bool IsRoot() const { return components.empty(); }
    std::string Text() const;  // the root and the components joined by "\"
    std::string Key() const;   // Text() in upper case: the identity of the file
    std::string Name() const;  // the last component; empty for a root
    SimPath Parent() const;
};

std::string UpperAscii(std::string_view text);

// Tells the lead bytes of the ANSI code page's double-byte characters. Windows turns an ANSI
// path into characters before it looks for separators, so the second byte of such a character
// is never a "\" or "/" to the file system, whatever its value.
using SimLeadByteTest = std::function<bool(std::uint8_t)>;

// Resolves "/" as "\", "." and "..", repeated separators, and a path relative to the current
// directory (itself absolute). Trailing dots and spaces of the last component are dropped, as
// Win32 does. Empty when the text is no usable path (empty, a UNC path without its share, a
// character a file name cannot hold).
std::optional<SimPath> NormalisePath(std::string_view path, const SimPath& currentDirectory,
                                     const SimLeadByteTest& isLeadByte = {});

// The device Windows opens instead of a file for this path (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, CONIN$, CONOUT$ as the last component, in any case, with or without an extension,
// or "\\.\" followed by a name): its upper-case name, else empty.
std::string DeviceName(std::string_view path, const SimLeadByteTest& isLeadByte = {});

}  // namespace veltrane
