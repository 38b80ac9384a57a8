// "files.inf": four lines in the system directory, written through a small buffer, with the
// run time's input/output errors.
#include <gtest/gtest.h>

#include "exceptions/exceptions_Veltrane.h"
#include "filelist/FilesInf.h"
#include "filelist/routines_API.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

constexpr const char* FilesInfPath = "C:\\Windows\\system32\\files.inf";

class FilesInfTest : public SimulatedMachine {
protected:
    // Writes the list for the title; the message raised, or "".
    std::string Write(const std::string& title = "Sample") {
        const SelfExtractTrailer trailer = SelfExtractTrailer::Make({0, 0, 0, 0, title});
        try {
            WriteFilesInf(windows, trailer);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }
};

TEST_F(FilesInfTest, FourLinesEachEndingInCrLfReplaceAnyEarlierFile) {
    windows.AddFile(FilesInfPath, std::string(5000, 'o'));
    ASSERT_EQ(Write("Sample  \t"), "");
    EXPECT_EQ(windows.FileBytes(FilesInfPath),
              "C:\\Windows\\system32\\~qmrtemp\\Sample.scr\r\n"
              "C:\\Windows\\system32\\~qmrtemp\\Sample.smf\r\n"
              "C:\\Windows\\system32\\~qmrtemp\\\\mpegdll.dll\r\n"
              "C:\\Windows\\system32\\~qmrtemp\\\\uninstall.exe\r\n");
    EXPECT_EQ(windows.CallCount("GetSystemDirectoryA"), 5u);  // the name, then once per line
    EXPECT_FALSE(windows.Exists("C:\\Windows\\system32\\~qmrtemp"));
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(FilesInfTest, AnEmptyTitleLeavesOnlyTheExtensions) {
    ASSERT_EQ(Write("   "), "");
    EXPECT_EQ(windows.FileBytes(FilesInfPath).substr(0, 70),
              "C:\\Windows\\system32\\~qmrtemp\\.scr\r\nC:\\Windows\\system32\\~qmrtemp\\.smf\r\n");
}

TEST_F(FilesInfTest, OutputFailuresCarryTheRunTimesMessages) {
    struct Case {
        const char* what;
        const char* call;
        std::uint32_t nth;
        std::uint32_t code;
        const char* message;
    } cases[] = {
        {"access denied", "CreateFileA", 1, 5, "File access denied"},
        {"a sharing violation", "CreateFileA", 1, 32, "I/O error 32"},
        {"path not found", "CreateFileA", 1, 3, "Invalid filename"},
        {"a full disk at the first flush", "WriteFile", 1, 112, "I/O error 112"},
        {"a full disk at the close", "WriteFile", 2, 112, "I/O error 112"},
        {"the close fails", "CloseHandle", 1, 6, "I/O error 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windows.FailCall(c.call, windows.CallCount(c.call) + c.nth, c.code);
        EXPECT_EQ(Write(), c.message);
        EXPECT_TRUE(windows.OpenHandles().empty());
    }
}

TEST_F(FilesInfTest, AFailingWriteShowsAtALaterLine) {
    // The 128-byte buffer is first flushed during the fourth line: lines 1 to 3 seem to succeed.
    windows.FailCall("WriteFile", 1, 112);
    const SelfExtractTrailer trailer = SelfExtractTrailer::Make({0, 0, 0, 0, "Sample"});
    EXPECT_THROW(WriteFilesInf(windows, trailer), EInOutError);
    EXPECT_EQ(windows.CallLog("WriteFile").size(), 1u);
    EXPECT_EQ(windows.CallCount("GetSystemDirectoryA"), 5u);  // the name and all four lines
}

TEST_F(FilesInfTest, TheSystemDirectoryMustBeHad) {
    const char* message = "Could not retrieve the system directroy from windows";
    windows.FailCall("GetSystemDirectoryA", 1, 5);
    EXPECT_EQ(Write(), message);
    EXPECT_FALSE(windows.Exists(FilesInfPath));

    // Failing only for the fourth line: three lines written and the file closed.
    windows.FailCall("GetSystemDirectoryA", windows.CallCount("GetSystemDirectoryA") + 5, 5);
    EXPECT_THROW(WriteFilesInf(windows, SelfExtractTrailer::Make({0, 0, 0, 0, "Sample"})), EAPIRoutines);
    EXPECT_EQ(windows.FileBytes(FilesInfPath),
              "C:\\Windows\\system32\\~qmrtemp\\Sample.scr\r\n"
              "C:\\Windows\\system32\\~qmrtemp\\Sample.smf\r\n"
              "C:\\Windows\\system32\\~qmrtemp\\\\mpegdll.dll\r\n");
    EXPECT_TRUE(windows.OpenHandles().empty());

    // A directory longer than the buffer is the same failure.
    windows.SetSystemDirectory("C:\\" + std::string(300, 's'));
    EXPECT_THROW(GetSystemDirectoryPath(windows), EAPIRoutines);
}

}  // namespace
}  // namespace veltrane
