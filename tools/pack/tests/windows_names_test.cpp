// The names the loader stages files under, and which of them Windows can create.
#include "WindowsNames.h"

#include <gtest/gtest.h>

namespace veltrane::pack {
namespace {

TEST(StagedName, ThePartAfterTheLastBackslashColonOrSlash) {
    struct Case {
        const char* stored;
        const char* staged;
    };
    const Case cases[] = {
        {"C:\\App\\setup.exe", "setup.exe"},
        {"C:\\App\\\\setup.exe", "setup.exe"},
        {"C:setup.exe", "setup.exe"},
        {"setup.exe", "setup.exe"},
        {"C:\\App\\", ""},
        {"C:\\build\\../../evil.dll", "evil.dll"},
        {"C:/App/x.dll", "x.dll"},
    };
    for (const Case& c : cases) EXPECT_EQ(StagedName(c.stored), c.staged) << c.stored;
}

TEST(WindowsNames, WhatWindowsCannotCreate) {
    struct Case {
        std::string name;
        const char* why;  // nullptr: creatable
    };
    const Case cases[] = {
        {"setup.exe", nullptr},
        {"CONSOLE.txt", nullptr},
        {"COM0", nullptr},
        {"COM10", nullptr},
        {"lpt", nullptr},
        {"a b.txt", nullptr},
        {"", "empty"},
        {"CON", "device"},
        {"con.txt", "device"},
        {"Prn.log.bak", "device"},
        {"aux", "device"},
        {"NUL.", "device"},
        {"nul .txt", "device"},
        {"COM1", "device"},
        {"com9.dat", "device"},
        {"LPT1", "device"},
        {"lpt9.x", "device"},
        {"CONIN$", "device"},
        {"conout$.txt", "device"},
        {"a<b", "character <"},
        {"a>b", "character >"},
        {"a\"b", "character \""},
        {"a|b", "character |"},
        {"a?b", "character ?"},
        {"a*b", "character *"},
        {std::string("a\x01" "b"), "control character"},
        {std::string("a\x1f"), "control character"},
        {"name.", "ends in a dot or a space"},
        {"name ", "ends in a dot or a space"},
    };
    for (const Case& c : cases) {
        const auto why = WhyNotCreatable(c.name);
        if (c.why == nullptr) {
            EXPECT_EQ(why, std::nullopt) << "\"" << c.name << "\"";
        } else {
            ASSERT_TRUE(why.has_value()) << "\"" << c.name << "\"";
            EXPECT_NE(why->find(c.why), std::string::npos) << "\"" << c.name << "\": " << *why;
        }
    }
}

TEST(WindowsNames, CaseDoesNotMakeTwoNamesDifferent) {
    EXPECT_TRUE(SameWindowsName("Setup.EXE", "setup.exe"));
    EXPECT_FALSE(SameWindowsName("setup.exe", "setup.ex"));
}

}  // namespace
}  // namespace veltrane::pack
