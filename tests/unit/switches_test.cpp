// The two switches: only argument 1 counts, a star and the keyword, ASCII letters folded.
#include <gtest/gtest.h>

#include "loader/CommandLine.h"

namespace veltrane {
namespace {

struct SwitchCase {
    const char* commandLine;
    bool quiet;
    bool toDisk;
};

TEST(Switches, OnlyAStarAndTheKeywordAsArgumentOneIsASwitch) {
    const SwitchCase cases[] = {
        {"setup.exe", false, false},
        {"setup.exe ", false, false},
        {"setup.exe *QUIET", true, false},
        {"setup.exe *quiet", true, false},
        {"setup.exe *QuIeT", true, false},
        {"setup.exe *TODISK", false, true},
        {"setup.exe *todisk", false, true},
        {"setup.exe QUIET", false, false},
        {"setup.exe **QUIET", false, false},
        {"setup.exe /QUIET", false, false},
        {"setup.exe *QUIETLY", false, false},
        {"setup.exe *QUIE", false, false},
        {"setup.exe * QUIET", false, false},           // two arguments: the star alone
        {"setup.exe \"*QUIET\"", true, false},         // quotes go when the argument is split
        {"setup.exe *QU\"IE\"T", true, false},
        {"setup.exe x *QUIET", false, false},          // argument 2 is never looked at
        {"setup.exe *QUIET *TODISK", true, false},
        {"setup.exe \"\"", false, false},
        {"\"C:\\Program Files\\setup.exe\" *QUIET", true, false},
        {"\"C:\\Program Files\\setup.exe\"*QUIET", false, false},  // no blank: still token 0
        {"setup.exe\t*QUIET", true, false},
        {"setup.exe\x01*TODISK", false, true},         // control characters separate too
        {"setup.exe *QUIET\x1f", true, false},
        {"setup.exe *\xF1UIET", false, false},         // no folding beyond a to z
        {"setup.exe *qu\xC4\xB1t", false, false},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(IsSwitch(c.commandLine, "QUIET"), c.quiet);
        EXPECT_EQ(IsSwitch(c.commandLine, "TODISK"), c.toDisk);
    }
}

TEST(Switches, ArgumentOneIsSplitAtBlanksAndQuotes) {
    EXPECT_EQ(FirstArgument("a.exe   \"b c\" d"), "b c");
    EXPECT_EQ(FirstArgument("\"a b.exe\" c\"d e\"f g"), "cd ef");
    EXPECT_EQ(FirstArgument("a.exe"), std::nullopt);
    EXPECT_EQ(FirstArgument("a.exe \t "), std::nullopt);
    EXPECT_EQ(FirstArgument(""), std::nullopt);
}

}  // namespace
}  // namespace veltrane
