// The simulated Windows, where the loader's tests lean on it: path rules, sharing, temporary
// names, free space, DOS dates, and the counting behind fault injection and the call limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SimulatedWindows.h"

namespace veltrane {
namespace {

constexpr std::uint32_t ReadWrite = win::GenericRead | win::GenericWrite;
constexpr std::uint32_t ShareReadWrite = win::FileShareRead | win::FileShareWrite;
constexpr std::uint32_t ShareDelete = 0x4;

class SimulatedWindowsTest : public ::testing::Test {
protected:
    Handle Open(const std::string& path, std::uint32_t access = win::GenericRead,
                std::uint32_t share = ShareReadWrite,
                std::uint32_t disposition = win::OpenExisting) {
        return windows.CreateFileA(path.c_str(), access, share, disposition,
                                   win::FileAttributeNormal);
    }

    std::string Read(Handle file, std::uint32_t count) {
        std::string bytes(count, '\0');
        std::uint32_t read = 0;
        EXPECT_TRUE(windows.ReadFile(file, bytes.data(), count, &read));
        bytes.resize(read);
        return bytes;
    }

    bool Write(Handle file, const std::string& bytes, std::uint32_t* written = nullptr) {
        std::uint32_t count = 0;
        const bool ok =
            windows.WriteFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &count);
        if (written != nullptr) *written = count;
        return ok;
    }

    SimulatedWindows windows;
};

TEST_F(SimulatedWindowsTest, PathsAreNormalisedAndComparedWithoutCase) {
    windows.AddFile("C:\\Data\\Sub\\File.Txt", "x");
    const struct {
        const char* path;
        bool found;
    } cases[] = {
        {"C:\\Data\\Sub\\File.Txt", true},
        {"c:\\data\\sub\\FILE.TXT", true},
        {"C:/Data/Sub/File.Txt", true},
        {"C:\\Data\\\\Sub\\\\File.Txt", true},
        {"C:\\Data\\.\\Sub\\File.Txt", true},
        {"C:\\Data\\Other\\..\\Sub\\File.Txt", true},
        {"C:\\..\\..\\Data\\Sub\\File.Txt", true},  // ".." stops at the root
        {"C:\\Data\\Sub\\File.Txt.", true},         // trailing dots and spaces of the name go
        {"C:\\Data\\Sub\\File.Txt  ", true},
        {"Data\\Sub\\File.Txt", true},    // relative to the current directory
        {"\\Data\\Sub\\File.Txt", true},  // relative to the current drive's root
        {"C:\\Data\\Sub\\..\\File.Txt", false},
        {"C:\\Data\\Sub\\File", false},
        {"D:\\Data\\Sub\\File.Txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(windows.Exists(c.path), c.found);
        const Handle file = Open(c.path);
        EXPECT_EQ(file != InvalidHandleValue, c.found);
        if (file != InvalidHandleValue) {
            EXPECT_EQ(Read(file, 10), "x");
        }
        windows.CloseHandle(file);
    }
    // A name keeps the case it was first written in.
    EXPECT_EQ(windows.Files(), std::vector<std::string>{"C:\\Data\\Sub\\File.Txt"});
}

TEST_F(SimulatedWindowsTest, UncPathsHaveTheirShareAsRoot) {
    windows.AddFile("\\\\Server\\Share\\dir\\a.bin", "y");
    EXPECT_TRUE(windows.Exists("//server/share/DIR/x/../a.bin"));
    EXPECT_TRUE(windows.IsDirectory("\\\\server\\share\\"));
    EXPECT_FALSE(windows.Exists("\\\\server\\other\\dir\\a.bin"));
}

TEST_F(SimulatedWindowsTest, CreatingAFileNeedsItsDirectory) {
    const struct {
        const char* path;
        std::uint32_t disposition;
        std::uint32_t error;  // 0: the open succeeds
    } cases[] = {
        {"C:\\missing\\a.txt", win::CreateAlways, win::ErrorPathNotFound},
        {"C:\\missing\\a.txt", win::OpenExisting, win::ErrorPathNotFound},
        {"C:\\dir\\absent.txt", win::OpenExisting, win::ErrorFileNotFound},
        {"C:\\dir\\file.txt\\a.txt", win::CreateAlways, win::ErrorPathNotFound},
        {"C:\\dir", win::CreateAlways, win::ErrorAccessDenied},
        {"C:\\dir\\", win::OpenExisting, win::ErrorAccessDenied},
        {"Q:\\a.txt", win::CreateAlways, win::ErrorPathNotFound},
        {"C:\\dir\\new.txt", win::CreateAlways, 0},
    };
    windows.AddFile("C:\\dir\\file.txt", "abc");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Handle file = Open(c.path, ReadWrite, 0, c.disposition);
        if (c.error == 0) {
            EXPECT_NE(file, InvalidHandleValue);
            EXPECT_TRUE(windows.CloseHandle(file));
        } else {
            EXPECT_EQ(file, InvalidHandleValue);
            EXPECT_EQ(windows.GetLastError(), c.error);
        }
    }
    EXPECT_EQ(windows.Files(), (std::vector<std::string>{"C:\\dir\\file.txt", "C:\\dir\\new.txt"}));
}

TEST_F(SimulatedWindowsTest, SharingRulesHoldAgainstEveryOpen) {
    const struct {
        const char* what;
        std::uint32_t heldAccess, heldShare, access, share;
        bool opens;
    } cases[] = {
        {"readers sharing reading", win::GenericRead, win::FileShareRead, win::GenericRead,
         win::FileShareRead, true},
        {"writer, holder shares only reading", win::GenericRead, win::FileShareRead,
         win::GenericWrite, ShareReadWrite, false},
        {"reader not sharing the holder's writing", win::GenericWrite, ShareReadWrite,
         win::GenericRead, win::FileShareRead, false},
        {"reader sharing the holder's writing", win::GenericWrite, ShareReadWrite, win::GenericRead,
         ShareReadWrite, true},
        {"holder shares nothing", win::GenericRead, 0, win::GenericRead, ShareReadWrite, false},
        {"no access asked, holder shares nothing", ReadWrite, 0, 0, ShareReadWrite, true},
        {"no access held, new open shares nothing", 0, 0, ReadWrite, 0, true},
        {"writer sharing all, holder shares writing", win::GenericWrite, win::FileShareWrite,
         win::GenericWrite, ShareReadWrite, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        windows.AddFile("C:\\shared.bin", "data");
        windows.HoldOpenByAnotherProcess("C:\\shared.bin", c.heldAccess, c.heldShare);
        const Handle file = Open("C:\\shared.bin", c.access, c.share);
        EXPECT_EQ(file != InvalidHandleValue, c.opens);
        if (!c.opens) {
            EXPECT_EQ(windows.GetLastError(), win::ErrorSharingViolation);
        }
        windows.CloseHandle(file);
        windows.EndHoldByAnotherProcess("C:\\shared.bin");
    }
}

TEST_F(SimulatedWindowsTest, OwnHandlesShareByTheSameRulesUntilClosed) {
    windows.AddFile("C:\\a.bin", "data");
    const Handle first = Open("C:\\a.bin", win::GenericRead, win::FileShareRead);
    EXPECT_EQ(Open("C:\\a.bin", ReadWrite, ShareReadWrite, win::CreateAlways), InvalidHandleValue);
    EXPECT_EQ(windows.GetLastError(), win::ErrorSharingViolation);
    EXPECT_EQ(windows.FileBytes("C:\\a.bin"),
              "data");  // the refused CREATE_ALWAYS truncated nothing
    EXPECT_TRUE(windows.CloseHandle(first));
    const Handle second = Open("C:\\a.bin", ReadWrite, 0, win::CreateAlways);
    EXPECT_NE(second, InvalidHandleValue);
    EXPECT_EQ(windows.FileBytes("C:\\a.bin"), "");
    EXPECT_TRUE(windows.CloseHandle(second));
}

TEST_F(SimulatedWindowsTest, DeletingNeedsEveryOpenToShareDeletion) {
    windows.AddFile("C:\\a.tmp");
    windows.AddDirectory("C:\\dir");
    const Handle open = Open("C:\\a.tmp", win::GenericRead, ShareReadWrite);
    EXPECT_FALSE(windows.DeleteFileA("C:\\a.tmp"));
    EXPECT_EQ(windows.GetLastError(), win::ErrorSharingViolation);
    windows.CloseHandle(open);
    const Handle sharing = Open("C:\\a.tmp", win::GenericRead, ShareReadWrite | ShareDelete);
    EXPECT_TRUE(windows.DeleteFileA("C:\\A.TMP"));
    EXPECT_FALSE(windows.Exists("C:\\a.tmp"));
    windows.CloseHandle(sharing);
    EXPECT_FALSE(windows.DeleteFileA("C:\\a.tmp"));
    EXPECT_EQ(windows.GetLastError(), win::ErrorFileNotFound);
    EXPECT_FALSE(windows.DeleteFileA("C:\\dir"));
    EXPECT_EQ(windows.GetLastError(), win::ErrorAccessDenied);
}

TEST_F(SimulatedWindowsTest, DeviceNamesOpenDevicesNotFiles) {
    for (const char* path : {"C:\\dir\\NUL", "C:\\con.txt", "aux", "C:\\x\\com1.log", "LPT9",
                             "conout$", "C:\\PRN .txt"}) {
        SCOPED_TRACE(path);
        const Handle device = Open(path, win::GenericWrite, 0, win::CreateAlways);
        EXPECT_NE(device, InvalidHandleValue);
        EXPECT_TRUE(windows.CloseHandle(device));
    }
    EXPECT_EQ(windows.DevicesOpened().size(), 7u);
    EXPECT_EQ(windows.Files(), std::vector<std::string>{});
    for (const char* path : {"C:\\COM0", "C:\\console", "C:\\nul2.txt"}) {
        SCOPED_TRACE(path);
        windows.CloseHandle(Open(path, win::GenericWrite, 0, win::CreateAlways));
    }
    EXPECT_EQ(windows.DevicesOpened().size(), 7u);
    EXPECT_EQ(windows.Files().size(), 3u);
}

TEST_F(SimulatedWindowsTest, ReadsWritesAndSeeksFollowWin32) {
    windows.AddFile("C:\\f.bin", "0123456789");
    windows.SetCurrentTime(ToFileTime(1000));
    const Handle file = Open("C:\\f.bin", ReadWrite, 0);
    EXPECT_EQ(windows.SetFilePointer(file, 8, win::FileBegin), 8u);
    EXPECT_EQ(Read(file, 5), "89");
    EXPECT_EQ(Read(file, 5), "");  // at the end: success with nothing
    EXPECT_EQ(windows.SetFilePointer(file, -3, win::FileCurrent), 7u);
    EXPECT_EQ(windows.SetFilePointer(file, -8, win::FileCurrent), win::InvalidSetFilePointer);
    EXPECT_EQ(windows.GetLastError(), win::ErrorNegativeSeek);
    EXPECT_EQ(windows.SetFilePointer(file, 0, win::FileCurrent), 7u);  // unchanged by the failure
    EXPECT_EQ(windows.SetFilePointer(file, 2, win::FileEnd), 12u);
    EXPECT_TRUE(Write(file, "AB"));
    EXPECT_EQ(windows.FileBytes("C:\\f.bin"), std::string("0123456789\0\0AB", 14));
    EXPECT_EQ(ToU64(windows.LastWriteTime("C:\\f.bin")), 1000u);
    windows.CloseHandle(file);

    const Handle readOnly = Open("C:\\f.bin", win::GenericRead);
    EXPECT_FALSE(Write(readOnly, "x"));
    EXPECT_EQ(windows.GetLastError(), win::ErrorAccessDenied);
    EXPECT_TRUE(windows.CloseHandle(readOnly));
    EXPECT_FALSE(windows.CloseHandle(readOnly));
    EXPECT_EQ(windows.GetLastError(), win::ErrorInvalidHandle);
}

TEST_F(SimulatedWindowsTest, TemporaryNamesComeFromTheCounterAndSkipTakenNames) {
    windows.AddDirectory("C:\\Temp");
    windows.SetTempFileCounter(0x1A);
    windows.AddFile("C:\\Temp\\vlr1B.TMP");
    const struct {
        const char* path;
        const char* prefix;
        std::uint32_t number;
        const char* name;
    } cases[] = {
        {"C:\\Temp\\", "vlr", 0x1A, "C:\\Temp\\vlr1A.TMP"},
        {"C:\\Temp\\", "vlr", 0x1C, "C:\\Temp\\vlr1C.TMP"},  // 1B is taken
        {"C:\\Temp", "vlrextra", 0x1D, "C:\\Temp\\vlr1D.TMP"},
        {"C:\\Temp\\", "", 0x1E, "C:\\Temp\\1E.TMP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char name[261] = {};
        EXPECT_EQ(windows.GetTempFileNameA(c.path, c.prefix, 0, name), c.number);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(windows.FileBytes(c.name), "");
    }
    windows.SetTempFileCounter(0xFFFF);
    char name[261] = {};
    EXPECT_EQ(windows.GetTempFileNameA("C:\\Temp", "v", 0, name), 0xFFFFu);
    EXPECT_EQ(windows.GetTempFileNameA("C:\\Temp", "v", 0, name), 1u);  // 0 is never used
    EXPECT_EQ(windows.GetTempFileNameA("C:\\Temp\\", "vlr", 0x12345, name), 0x2345u);
    EXPECT_STREQ(name, "C:\\Temp\\vlr2345.TMP");
    EXPECT_FALSE(windows.Exists(name));  // a given number only names the file
    EXPECT_EQ(windows.GetTempFileNameA("C:\\NoSuchDir\\", "vlr", 0, name), 0u);
    EXPECT_EQ(windows.GetLastError(), win::ErrorPathNotFound);
}

TEST_F(SimulatedWindowsTest, FreeSpaceIsReportedExactlyAndUsedUpByWrites) {
    const std::int64_t values[] = {0,
                                   7999999,
                                   8000000,
                                   0xFFFFFFFFll,
                                   0x100000000ll,
                                   5000000000ll,
                                   (std::int64_t{1} << 40) + 3 * 4096};
    for (const std::int64_t freeBytes : values) {
        SCOPED_TRACE(freeBytes);
        windows.SetDriveFreeBytes('D', freeBytes);
        std::uint32_t sectors = 0, bytes = 0, clusters = 0, total = 0;
        EXPECT_TRUE(windows.GetDiskFreeSpaceA("D:\\", &sectors, &bytes, &clusters, &total));
        EXPECT_EQ(std::uint64_t{sectors} * bytes * clusters, static_cast<std::uint64_t>(freeBytes));
    }
    windows.SetDriveFreeBytes('D', -1);
    EXPECT_FALSE(windows.GetDiskFreeSpaceA("D:\\", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(windows.GetLastError(), win::ErrorPathNotFound);
    EXPECT_FALSE(windows.GetDiskFreeSpaceA("E:\\", nullptr, nullptr, nullptr, nullptr));

    windows.SetDriveFreeBytes('C', 5);
    const Handle file = Open("C:\\out.bin", win::GenericWrite, 0, win::CreateAlways);
    EXPECT_TRUE(Write(file, "abc"));
    std::uint32_t written = 99;
    EXPECT_FALSE(Write(file, "def", &written));
    EXPECT_EQ(windows.GetLastError(), win::ErrorDiskFull);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(windows.FileBytes("C:\\out.bin"), "abc");
    EXPECT_EQ(windows.DriveFreeBytes('C'), 2);
    windows.CloseHandle(file);
}

TEST_F(SimulatedWindowsTest, SystemTextsFollowWindowsBufferRules) {
    windows.SetTempPath("C:\\T\\");           // 5 characters
    windows.SetSystemDirectory("C:\\Win");      // 6 characters
    windows.SetModuleFileName("C:\\a\\b.exe");  // 10 characters
    const struct {
        std::uint32_t size;
        std::uint32_t tempResult, systemResult, moduleResult;
        const char *temp, *system, *module;
    } cases[] = {
        {261, 5, 6, 10, "C:\\T\\", "C:\\Win", "C:\\a\\b.exe"},
        {7, 5, 6, 7, "C:\\T\\", "C:\\Win", "C:\\a\\b"},  // the name is cut to fit
        {6, 5, 7, 6, "C:\\T\\", "", "C:\\a\\"},         // too small: the size needed
        {5, 6, 7, 5, "", "", "C:\\a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        char temp[261] = {}, system[261] = {}, module[261] = {};
        EXPECT_EQ(windows.GetTempPathA(c.size, temp), c.tempResult);
        EXPECT_STREQ(temp, c.temp);
        EXPECT_EQ(windows.GetSystemDirectoryA(system, c.size), c.systemResult);
        EXPECT_STREQ(system, c.system);
        EXPECT_EQ(windows.GetModuleFileNameA(module, c.size), c.moduleResult);
        EXPECT_STREQ(module, c.module);
    }
}

TEST_F(SimulatedWindowsTest, LeadBytesFollowTheCodePage) {
    const struct {
        std::uint32_t codePage;
        std::vector<std::uint8_t> lead, notLead;
    } cases[] = {
        {1252, {}, {0x5C, 0x81, 0xE0, 0xFE}},
        {932, {0x81, 0x9F, 0xE0, 0xFC}, {0x5C, 0x80, 0xA0, 0xDF, 0xFD}},
        {936, {0x81, 0xA0, 0xFE}, {0x5C, 0x80, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        windows.SetCodePage(c.codePage);
        for (const std::uint8_t byte : c.lead) EXPECT_TRUE(windows.IsDBCSLeadByte(byte)) << +byte;
        for (const std::uint8_t byte : c.notLead) EXPECT_FALSE(windows.IsDBCSLeadByte(byte)) << +byte;
    }
}

TEST_F(SimulatedWindowsTest, SetFileTimeChangesOnlyTheTimesGiven) {
    windows.SetCurrentTime(ToFileTime(500));
    windows.AddFile("C:\\a.bin", "x", ToFileTime(100));
    const Handle readOnly = Open("C:\\a.bin", win::GenericRead);
    const FileTime stamp = ToFileTime(777);
    EXPECT_FALSE(windows.SetFileTime(readOnly, nullptr, nullptr, &stamp));
    EXPECT_EQ(windows.GetLastError(), win::ErrorAccessDenied);
    windows.CloseHandle(readOnly);
    const Handle file = Open("C:\\a.bin", ReadWrite);
    EXPECT_TRUE(windows.SetFileTime(file, nullptr, nullptr, nullptr));
    EXPECT_EQ(ToU64(windows.LastWriteTime("C:\\a.bin")), 100u);
    EXPECT_TRUE(windows.SetFileTime(file, nullptr, nullptr, &stamp));
    EXPECT_EQ(ToU64(windows.LastWriteTime("C:\\a.bin")), 777u);
    windows.CloseHandle(file);
}

TEST_F(SimulatedWindowsTest, DosDatesConvertWithTheRealPacking) {
    FileTime time;
    // 15 March 2024, 19:13:22: date 15 + 3*32 + 44*512, time 22/2 + 13*32 + 19*2048.
    ASSERT_TRUE(windows.DosDateTimeToFileTime(0x586F, 0x99AB, &time));
    EXPECT_EQ(ToU64(time), 133550036020000000ull);
    windows.SetTimeZoneBias(-60);  // local time is an hour ahead of UTC
    FileTime utc;
    ASSERT_TRUE(windows.LocalFileTimeToFileTime(&time, &utc));
    EXPECT_EQ(ToU64(utc), 133550036020000000ull - 36000000000ull);

    const struct {
        const char* what;
        std::uint16_t date, time;
    } invalid[] = {
        {"month 0", 15 + 0 * 32 + 44 * 512, 0},
        {"month 13", 15 + 13 * 32 + 44 * 512, 0},
        {"day 0", 0 + 3 * 32 + 44 * 512, 0},
        {"30 February", 30 + 2 * 32 + 44 * 512, 0},
        {"29 February 2023", 29 + 2 * 32 + 43 * 512, 0},
        {"hour 24", 0x586F, 24 * 2048},
        {"minute 60", 0x586F, 60 * 32},
        {"second 60", 0x586F, 30},
        {"all zero", 0, 0},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(windows.DosDateTimeToFileTime(c.date, c.time, &time));
        EXPECT_EQ(windows.GetLastError(), win::ErrorInvalidParameter);
    }
    EXPECT_TRUE(
        windows.DosDateTimeToFileTime(29 + 2 * 32 + 44 * 512, 0, &time));  // 2024 is a leap year
}

TEST_F(SimulatedWindowsTest, InjectedFaultsCountEveryUseOfTheirCall) {
    windows.FailCall("WriteFile", 3, win::ErrorDiskFull);
    windows.FailCallsFrom("ReadFile", 2, 23);
    windows.AddFile("C:\\in.bin", "abcdef");
    const Handle out = Open("C:\\out.bin", win::GenericWrite, 0, win::CreateAlways);
    const Handle in = Open("C:\\in.bin");
    std::vector<bool> writes;
    for (int i = 0; i < 4; ++i) writes.push_back(Write(out, "x"));
    EXPECT_EQ(writes, (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(windows.FileBytes("C:\\out.bin"), "xxx");

    char buffer[2];
    std::uint32_t read = 7;
    std::vector<bool> reads;
    for (int i = 0; i < 3; ++i) reads.push_back(windows.ReadFile(in, buffer, 2, &read));
    EXPECT_EQ(reads, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(windows.GetLastError(), 23u);
    EXPECT_EQ(windows.CallCount("ReadFile"), 3u);
    windows.CloseHandle(in);
    windows.CloseHandle(out);
}

TEST_F(SimulatedWindowsTest, InjectedFaultsFailEachCallInItsOwnWay) {
    windows.FailCall("CreateFileA", 1, win::ErrorSharingViolation);
    windows.FailCall("GetTempPathA", 1, win::ErrorPathNotFound);
    windows.FailCall("WinExec", 1, 2);
    windows.FailCall("AllocateMemory", 1, win::ErrorNotEnoughMemory);
    windows.FailCall("CloseHandle", 1, win::ErrorInvalidHandle);
    windows.AddFile("C:\\a.bin");
    EXPECT_EQ(Open("C:\\a.bin"), InvalidHandleValue);
    EXPECT_EQ(windows.GetLastError(), win::ErrorSharingViolation);
    char path[261];
    EXPECT_EQ(windows.GetTempPathA(261, path), 0u);
    EXPECT_EQ(windows.WinExec("setup.exe", 5), 2u);
    EXPECT_EQ(windows.AllocateMemory(16), nullptr);
    const Handle file = Open("C:\\a.bin");
    EXPECT_FALSE(windows.CloseHandle(file));
    EXPECT_EQ(windows.OpenHandles(), std::vector<std::string>{});  // a failing close still closes

    EXPECT_THROW(windows.FailCall("GetLastError", 1, 5), std::invalid_argument);
    EXPECT_THROW(windows.FailCall("ReadFlie", 1, 5), std::invalid_argument);
}

TEST_F(SimulatedWindowsTest, ShortReadsAndWritesStillSucceed) {
    windows.AddFile("C:\\in.bin", "abcdefgh");
    windows.ShortenRead(2, 3);
    windows.ShortenWrite(1, 1);
    const Handle in = Open("C:\\in.bin");
    EXPECT_EQ(Read(in, 2), "ab");
    EXPECT_EQ(Read(in, 5), "cde");
    EXPECT_EQ(Read(in, 5), "fgh");
    const Handle out = Open("C:\\out.bin", win::GenericWrite, 0, win::CreateAlways);
    std::uint32_t written = 0;
    EXPECT_TRUE(Write(out, "xyz", &written));
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(windows.FileBytes("C:\\out.bin"), "x");
    windows.CloseHandle(in);
    windows.CloseHandle(out);
}

TEST_F(SimulatedWindowsTest, TheCallLimitStopsEveryCallButReleases) {
    windows.AddFile("C:\\a.bin");
    windows.SetCallLimit(2);
    const Handle file = Open("C:\\a.bin");
    EXPECT_EQ(windows.GetLastError(), 0u);
    EXPECT_THROW(windows.SetFilePointer(file, 0, win::FileBegin), CallLimitExceeded);
    EXPECT_THROW(windows.GetLastError(), CallLimitExceeded);
    EXPECT_TRUE(windows.CloseHandle(file));
    EXPECT_EQ(windows.TotalCallCount(), 3u);
}

TEST_F(SimulatedWindowsTest, TheLogHasOneLinePerCall) {
    windows.AddFile("C:\\x\\a.exe", "abc");
    const Handle file = Open("C:\\x\\a.exe", 0xC0000000, 0, win::OpenExisting);
    Read(file, 65536);
    windows.CloseHandle(file);
    windows.DeleteFileA("C:\\x\\b");
    const std::string h = "h" + std::to_string(file);
    EXPECT_EQ(windows.CallLog(),
              (std::vector<std::string>{
                  "CreateFileA(\"C:\\x\\a.exe\", 0xC0000000, 0, 3, 0x80) -> " + h,
                  "ReadFile(" + h + ", 65536) -> 3",
                  "CloseHandle(" + h + ") -> true",
                  "DeleteFileA(\"C:\\x\\b\") -> false, error 2",
              }));
    EXPECT_EQ(windows.CallLog("ReadFile").size(), 1u);
    windows.SetCallLogEnabled(false);
    windows.GetLastError();
    EXPECT_EQ(windows.CallLog().size(), 4u);
}

TEST_F(SimulatedWindowsTest, OpenHandlesListsWhatWasNotReleased) {
    windows.AddFile("C:\\a.bin");
    FindData data;
    const Handle find = windows.FindFirstFileA("C:\\a.bin", data);
    const Handle file = Open("C:\\a.bin");
    const Handle memory = windows.CreateCompatibleDC(NullHandle);
    EXPECT_EQ(windows.OpenHandles().size(), 3u);
    EXPECT_TRUE(windows.FindClose(find));
    EXPECT_TRUE(windows.CloseHandle(file));
    EXPECT_TRUE(windows.DeleteDC(memory));
    EXPECT_EQ(windows.OpenHandles(), std::vector<std::string>{});
}

// The window procedure of the tests' class, reaching the simulator through one pointer.
SimulatedWindows* paintingWindows = nullptr;

std::intptr_t PaintingProcedure(WindowHandle window, std::uint32_t message, std::uintptr_t,
                                std::intptr_t) {
    if (message == win::WmPaint) {
        PaintStruct paint;
        paintingWindows->BeginPaint(window, &paint);
        paintingWindows->EndPaint(window, &paint);
    }
    return 7;
}

TEST_F(SimulatedWindowsTest, WindowsPaintOnceShownAndTheBarAnswersLikeTheControl) {
    paintingWindows = &windows;
    WindowClass windowClass;
    windowClass.windowProcedure = PaintingProcedure;
    windowClass.className = "Setup";
    ASSERT_NE(windows.RegisterClassA(windowClass), 0);
    const WindowHandle main =
        windows.CreateWindowExA(0, "setup", "Initializing...", win::WsBorder, 0, 0, 400, 90, 0,
                                NullHandle, SimulatedWindows::ModuleInstance, nullptr);
    const WindowHandle bar =
        windows.CreateWindowExA(0, win::ProgressClass, nullptr, win::WsChild, 52, 18, 334, 20, main,
                                NullHandle, SimulatedWindows::ModuleInstance, nullptr);
    ASSERT_NE(bar, 0u);
    Rect client;
    EXPECT_TRUE(windows.GetClientRect(main, &client));
    EXPECT_EQ(client.right, 396);
    EXPECT_EQ(client.bottom, 63);

    windows.UpdateWindow(main);  // hidden: nothing to paint
    EXPECT_TRUE(windows.DeliveredMessages().empty());
    windows.ShowWindow(main, win::SwShow);
    windows.UpdateWindow(main);
    windows.UpdateWindow(main);  // painted already
    EXPECT_EQ(windows.DeliveredMessages(), (std::vector<SimMessage>{{main, win::WmPaint, 0, 0}}));
    EXPECT_EQ(windows.SendMessageA(main, 0x1234, 1, 2), 7);

    EXPECT_EQ(windows.SendMessageA(bar, win::PbmSetRange, 0, (100 << 16) | 0), (100 << 16) | 0);
    EXPECT_EQ(windows.SendMessageA(bar, win::PbmSetStep, 10, 0), 10);
    EXPECT_EQ(windows.SendMessageA(bar, win::PbmSetPos, 40, 0), 0);
    EXPECT_EQ(windows.SendMessageA(bar, win::PbmSetPos, 250, 0), 40);
    EXPECT_EQ(windows.Window(bar)->progressBar->position, 100);
    EXPECT_EQ(windows.MessagesSentTo(bar).size(), 4u);
    EXPECT_EQ(windows.OpenHandles(), std::vector<std::string>{});
    paintingWindows = nullptr;
}

}  // namespace
}  // namespace veltrane
