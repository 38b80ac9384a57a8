// Path routines shared by the staging sequence and the extraction.
//
// Paths are ANSI byte strings. A "\" or ":" separates a path's directory from its file name,
// except where that byte is the second byte of a double-byte character of the ANSI code page
// (0x5C is a valid trail byte in code page 932, for example).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/WindowsApi.h"

namespace veltrane {

// Which bytes end a directory. Stored names in an archive also count "/", because Windows'
// CreateFileA treats it as "\": left in a file name it would lead outside the staging directory.
enum class Separators { BackslashAndColon, BackslashColonAndSlash };

// The full path of the loader's own executable, as the system reports its module's file name.
std::string LoaderFileName(WindowsApi& api);

std::string AddTrailingBackslash(std::string path);
std::string RemoveTrailingBackslash(std::string path);

// Tells whether a byte is the lead byte of a double-byte character in the ANSI code page.
using LeadByteTest = std::function<bool(std::uint8_t)>;

// The characters after the last separator; the whole path when it holds none.
std::string FileNamePart(const LeadByteTest& isLeadByte, std::string_view path,
                         Separators separators = Separators::BackslashAndColon);
// The characters up to and including the last separator; empty when it holds none.
std::string DirectoryPart(const LeadByteTest& isLeadByte, std::string_view path,
                          Separators separators = Separators::BackslashAndColon);

// The same, with the code page of the Windows the loader runs on.
std::string FileNamePart(WindowsApi& api, std::string_view path,
                         Separators separators = Separators::BackslashAndColon);
std::string DirectoryPart(WindowsApi& api, std::string_view path,
                          Separators separators = Separators::BackslashAndColon);


// True when Windows would open a device rather than a file under this file name: CON, PRN,
// AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$ and CONOUT$, in any case, with or without an
// extension, and with trailing spaces before the extension.
bool IsDeviceName(std::string_view fileName);

}  // namespace veltrane
