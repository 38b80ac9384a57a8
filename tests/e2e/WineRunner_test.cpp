// The runner reads what the loader did from Wine's trace and from the installer helper's
// report; a misreading there would let a wrong loader pass, so the readers are tested here on
// lines as Wine 8 and e2e-installer.exe write them.
#include <gtest/gtest.h>

#include "WineRunner.h"

namespace veltrane::e2e {
namespace {

struct TraceCase {
    const char* what;
    const char* trace;
    std::vector<std::string> texts;
    std::vector<bool> truncated;
};

TEST(WineTraceReading, FindsMessageBoxTexts) {
    const TraceCase cases[] = {
        {"plain text with an escaped backslash",
         "0160:trace:msgbox:MSGBOX_OnInit L\"Directory is C:\\\\plain\"\n",
         {"Directory is C:\\plain"}, {false}},
        {"quotes, new line, tab and a character beyond ASCII",
         "0024:trace:msgbox:MSGBOX_OnInit L\"a \\\"b\\\"\\nc\\td\\00e9\"\n",
         {"a \"b\"\nc\td\xC3\xA9"}, {false}},
        {"a text Wine cut short",
         "0024:trace:msgbox:MSGBOX_OnInit L\"You should have at least\"...\n",
         {"You should have at least"}, {true}},
        {"two boxes among other channels' lines",
         "0024:fixme:imm:ImeSetActiveContext stub\n"
         "0024:trace:msgbox:MSGBOX_OnInit L\"first\"\n"
         "0024:trace:process:CreateProcessInternalW app (null) cmdline L\"x.exe\"\n"
         "0028:trace:msgbox:MSGBOX_OnInit L\"second\"",
         {"first", "second"}, {false, false}},
        {"a line without its closing quote is no text", "0024:trace:msgbox:MSGBOX_OnInit L\"cut",
         {}, {}},
        {"no message box at all", "0024:trace:process:NtCreateUserProcess L\"x\"\n", {}, {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const auto boxes = MessageBoxTexts(row.trace);
        ASSERT_EQ(boxes.size(), row.texts.size());
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i].text, row.texts[i]);
            EXPECT_EQ(boxes[i].truncated, row.truncated[i]);
        }
    }
}

TEST(WineTraceReading, FindsCommandLinesHandedToCreateProcess) {
    const char* trace =
        "0024:trace:process:CreateProcessInternalW app (null) cmdline "
        "L\"C:\\\\users\\\\root\\\\Temp\\\\vlr1A.tmp\\\\setup.exe -c \\\"-sC:\\\\e2e\\\"\"\n"
        "0024:trace:process:NtCreateUserProcess L\"\\\\??\\\\C:\\\\x.exe\" cmdline L\"ignored\"\n"
        "0030:trace:process:CreateProcessInternalW app L\"C:\\\\a.exe\" cmdline L\"a.exe "
        "long\"...\n";
    const auto lines = CreatedProcessCommandLines(trace);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "C:\\users\\root\\Temp\\vlr1A.tmp\\setup.exe -c \"-sC:\\e2e\"");
    EXPECT_FALSE(lines[0].truncated);
    EXPECT_EQ(lines[1].text, "a.exe long");
    EXPECT_TRUE(lines[1].truncated);
}

TEST(WineTraceReading, ComparesACutTextByItsBeginning) {
    const TracedText whole{"abc", false};
    const TracedText cut{"abc", true};
    EXPECT_TRUE(whole.Matches("abc"));
    EXPECT_FALSE(whole.Matches("abcd"));
    EXPECT_FALSE(whole.Matches("ab"));
    EXPECT_TRUE(cut.Matches("abcd"));
    EXPECT_TRUE(cut.Matches("abc"));
    EXPECT_FALSE(cut.Matches("abx"));
}

TEST(InstallerReportReading, ReadsCompleteRecordsOnly) {
    const char* report =
        "begin\n"
        "commandline\tC:\\tmp\\vlr1\\setup.exe -c \"-sC:\\e2e\"\n"
        "file\tsetup.exe\t4096\t2021-03-04 05:06:07\t2021-03-04 06:06:07\n"
        "file\tdata one.bin\t0\t1999-12-31 23:59:58\t2000-01-01 00:59:58\n"
        "end\n"
        "begin\r\n"
        "commandline\ta\tb\r\n"
        "end\r\n"
        "begin\n"
        "commandline\tunfinished\n";
    const auto reports = ParseInstallerReports(report);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].commandLine, "C:\\tmp\\vlr1\\setup.exe -c \"-sC:\\e2e\"");
    ASSERT_EQ(reports[0].files.size(), 2u);
    const ReportedFile* data = reports[0].File("data one.bin");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size, 0u);
    EXPECT_EQ(data->lastWriteUtc, "1999-12-31 23:59:58");
    EXPECT_EQ(data->lastWriteLocal, "2000-01-01 00:59:58");
    EXPECT_EQ(reports[0].File("setup.exe")->size, 4096u);
    EXPECT_EQ(reports[0].File("missing.exe"), nullptr);
    EXPECT_EQ(reports[1].commandLine, "a\tb");
    EXPECT_TRUE(reports[1].files.empty());
}

}  // namespace
}  // namespace veltrane::e2e
