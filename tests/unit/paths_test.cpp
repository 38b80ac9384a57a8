// Path routines: the file-name and directory parts with the double-byte rule, the backslash
// helpers and the device names.
#include <gtest/gtest.h>

#include "loader/Paths.h"

namespace veltrane {
namespace {

bool NoLeadBytes(std::uint8_t) { return false; }
// Code page 932's lead bytes.
bool ShiftJisLeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

struct PathCase {
    const char* path;
    bool shiftJis;
    Separators separators;
    const char* directory;
    const char* fileName;
};

TEST(Paths, FileNameAndDirectoryPartsSplitAtTheLastSeparator) {
    const auto B = Separators::BackslashAndColon;
    const auto S = Separators::BackslashColonAndSlash;
    const PathCase cases[] = {
        {"C:\\build\\setup.exe", false, B, "C:\\build\\", "setup.exe"},
        {"C:setup.exe", false, B, "C:", "setup.exe"},
        {"setup.exe", false, B, "", "setup.exe"},
        {"C:\\build\\", false, B, "C:\\build\\", ""},
        {"C:\\build\\\\setup.exe", false, B, "C:\\build\\\\", "setup.exe"},
        {"C:\\setup.exe", false, B, "C:\\", "setup.exe"},
        {"", false, B, "", ""},
        // "/" is a separator only where stored names are staged
        {"C:\\build\\../../evil.dll", false, B, "C:\\build\\", "../../evil.dll"},
        {"C:\\build\\../../evil.dll", false, S, "C:\\build\\../../", "evil.dll"},
        {"a/b", false, S, "a/", "b"},
        // 0x95 0x5C is one character in code page 932: its second byte is no separator
        {"C:\\x\\\x95\\.exe", true, B, "C:\\x\\", "\x95\\.exe"},
        {"C:\\x\\\x95\\.exe", false, B, "C:\\x\\\x95\\", ".exe"},
        {"C:\\\x95:x", true, B, "C:\\", "\x95:x"},
        // a lead byte at the very end has no trail byte to swallow
        {"C:\\a\x95", true, B, "C:\\", "a\x95"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        const LeadByteTest lead = c.shiftJis ? LeadByteTest(ShiftJisLeadByte) : LeadByteTest(NoLeadBytes);
        EXPECT_EQ(DirectoryPart(lead, c.path, c.separators), c.directory);
        EXPECT_EQ(FileNamePart(lead, c.path, c.separators), c.fileName);
    }
}

TEST(Paths, TrailingBackslashHelpers) {
    EXPECT_EQ(AddTrailingBackslash(""), "");
    EXPECT_EQ(AddTrailingBackslash("C:"), "C:\\");
    EXPECT_EQ(AddTrailingBackslash("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(RemoveTrailingBackslash("C:\\x\\"), "C:\\x");
    EXPECT_EQ(RemoveTrailingBackslash("C:\\x"), "C:\\x");
    EXPECT_EQ(RemoveTrailingBackslash(""), "");
}

TEST(Paths, DeviceNamesInAnyCaseAndWithAnyExtension) {
    for (const char* name : {"CON", "con", "Prn", "AUX", "nul", "NUL.txt", "COM1", "com9.dll", "LPT1",
                             "lpt9.exe", "CONIN$", "conout$", "NUL .txt", "aux.tar.gz"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsDeviceName(name));
    }
    for (const char* name : {"CONSOLE", "COM0", "COM10", "LPT", "NULL", "xCON", "setup.exe", "", "con_", ".nul"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsDeviceName(name));
    }
}

}  // namespace
}  // namespace veltrane
