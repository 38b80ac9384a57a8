// Extraction: every catalog entry decompressed into the staging directory, named after the
// file-name part of its stored name, in 4096-byte writes from reads of at most 65536 bytes,
// stamped with its date, and closed on every path.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "archive/Catalog.h"
#include "archive/Extraction.h"
#include "exceptions/exceptions_Veltrane.h"
#include "loader/FileAccess.h"
#include "loader/Paths.h"
#include "progress/ProgressWindow.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

Bytes RandomBytes(std::size_t size, unsigned seed = 1) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

// The byte counts asked for by the log lines of one call ("ReadFile(h8, 65536) -> ...").
std::vector<std::uint32_t> RequestedSizes(const std::vector<std::string>& lines) {
    static const std::regex size(R"(^\w+\(h\d+, (\d+)\))");
    std::vector<std::uint32_t> sizes;
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_search(line, match, size)) sizes.push_back(static_cast<std::uint32_t>(std::stoul(match[1])));
    }
    return sizes;
}

std::vector<std::uint32_t> Chunks(std::uint32_t total, std::uint32_t chunk) {
    std::vector<std::uint32_t> sizes;
    for (; total > chunk; total -= chunk) sizes.push_back(chunk);
    if (total > 0) sizes.push_back(total);
    return sizes;
}

class ExtractionTest : public SimulatedMachine {
protected:
    ExtractionTest() {
        windows.AddDirectory(StagingDir);
        RegisterSetupWindowClass(process);
        process.MainWindowHandle = CreateSetupWindow(process);
    }

    // Extracts the archive from setup.1 into the staging directory; the message raised, or "".
    std::string Extract(const Bytes& archive) {
        PutSetup1(archive);
        FileHandle file = OpenForSharedReading(windows, Setup1Path);
        windows.ClearCallLog();
        try {
            ReadArchiveCatalog(windows, file.Get(), 0, catalog);
            ExtractArchiveFiles(process, file.Get(), 0, catalog, StagingDir);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    std::size_t ProgressMessages() const {
        std::size_t count = 0;
        for (const SimMessage& m : windows.MessagesSentTo(process.ProgressBarHandle)) count += m.message == win::PbmSetPos;
        return count;
    }

    void ExpectEverythingReleased() const {
        EXPECT_TRUE(windows.OpenHandles().empty()) << ::testing::PrintToString(windows.OpenHandles());
        EXPECT_EQ(windows.OutstandingMemoryBlocks(), 0u);
    }

    ArchiveCatalog catalog;
};

TEST_F(ExtractionTest, ReadsSpansInBlocksOf65536AndWritesBlocksOf4096) {
    for (const std::size_t size : {0, 1, 4095, 4096, 4097, 65536, 65537, 200000}) {
        SCOPED_TRACE(size);
        const std::size_t progressBefore = ProgressMessages();
        const Bytes content = RandomBytes(size);
        // Stored (level 0): the span is as long as the content and a little more.
        ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\build\\data.bin", content)}, 0)), "");
        EXPECT_TRUE(windows.FileBytes(Staged("data.bin")) == AsString(content));

        const auto span = static_cast<std::uint32_t>(catalog.Headers[0].DataLast() - catalog.Headers[0].DataStart() + 1);
        const std::vector<std::uint32_t> reads = RequestedSizes(windows.CallLog("ReadFile"));
        ASSERT_GE(reads.size(), 3u);  // the count, the flag and the header come first
        EXPECT_EQ(std::vector<std::uint32_t>(reads.begin() + 3, reads.end()), Chunks(span, 65536));
        EXPECT_EQ(RequestedSizes(windows.CallLog("WriteFile")), Chunks(static_cast<std::uint32_t>(size), 4096));
        EXPECT_EQ(ProgressMessages() - progressBefore, (size + 4095) / 4096);
        ExpectEverythingReleased();
    }
}

TEST_F(ExtractionTest, ASpanIsReadInOneGoWhenItHolds65536Bytes) {
    // Find a stored content length whose span is exactly 65536 and 65537 bytes long.
    for (const std::uint32_t spanLength : {65536u, 65537u}) {
        SCOPED_TRACE(spanLength);
        const std::size_t overhead = WriteArchive({ArchiveEntry("C:\\d", RandomBytes(60000))}, 0).size() - 60000;
        const std::size_t headerBytes = 5 + 172;
        const Bytes content = RandomBytes(spanLength - (overhead - headerBytes));
        ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\d", content)}, 0)), "");
        ASSERT_EQ(catalog.Headers[0].DataLast() - catalog.Headers[0].DataStart() + 1, static_cast<std::int32_t>(spanLength));
        const std::vector<std::uint32_t> reads = RequestedSizes(windows.CallLog("ReadFile"));
        ASSERT_GE(reads.size(), 3u);
        EXPECT_EQ(std::vector<std::uint32_t>(reads.begin() + 3, reads.end()), Chunks(spanLength, 65536));
        EXPECT_TRUE(windows.FileBytes(Staged("d")) == AsString(content));
    }
}

TEST_F(ExtractionTest, OnlyTheFileNamePartOfAStoredNameCounts) {
    struct Case {
        const char* storedName;
        const char* stagedAs;  // nullptr: refused with the create message
    } cases[] = {
        {"C:\\build\\release\\setup.exe", "setup.exe"},
        {"C:setup.exe", "setup.exe"},
        {"setup.exe", "setup.exe"},
        {"C:\\build\\\\setup.exe", "setup.exe"},
        {"C:\\build\\../../evil.dll", "evil.dll"},  // "/" separates too: nothing lands outside
        {"..\\..\\Windows\\evil.dll", "evil.dll"},
        {"C:/Windows/system32/evil.dll", "evil.dll"},
        {"C:\\build\\", nullptr},
        {"C:\\build\\..", nullptr},
        {"C:\\build\\.", nullptr},
        {"C:\\build\\CON", nullptr},
        {"C:\\build\\nul.txt", nullptr},
        {"C:\\build\\COM1.dll", nullptr},
        {"C:\\build\\conout$", nullptr},
        {"C:\\build\\readme.txt:stream", "stream"},  // ":" separates: no alternate data stream
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedName);
        const std::string message = Extract(WriteArchive({ArchiveEntry(c.storedName, ToBytes("x"))}));
        if (c.stagedAs) {
            EXPECT_EQ(message, "");
            EXPECT_EQ(windows.FileBytes(Staged(c.stagedAs)), "x");
            windows.RemovePath(Staged(c.stagedAs));
        } else {
            EXPECT_EQ(message, "LOADER: Could not create the following file, " + std::string(StagingDir) + "\\" +
                                   FileNamePart(windows, c.storedName, Separators::BackslashColonAndSlash));
        }
        EXPECT_TRUE(windows.DevicesOpened().empty());
        EXPECT_EQ(windows.Files(), std::vector<std::string>({Setup1Path, LoaderPath}));
    }
}

TEST_F(ExtractionTest, ADoubleByteNameKeepsItsSecondByteBackslash) {
    windows.SetCodePage(932);
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\build\\\x95\\.exe", ToBytes("x"))})), "");
    EXPECT_EQ(windows.FileBytes(Staged("\x95\\.exe")), "x");
}

TEST_F(ExtractionTest, ALaterEntryOfTheSameNameReplacesTheEarlierAndExistingFilesAreOverwritten) {
    windows.AddFile(Staged("readme.txt"), std::string(10000, 'o'));
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\a\\readme.txt", ToBytes("first")),
                                    ArchiveEntry("C:\\b\\readme.txt", ToBytes("second"))})),
              "");
    EXPECT_EQ(windows.FileBytes(Staged("readme.txt")), "second");
}

TEST_F(ExtractionTest, SpansThatEndEarlyLeaveShortFilesWithoutAMessage) {
    const Bytes content = RandomBytes(20000);
    // DataLast before DataStart: nothing is read, the file is empty.
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\empty.bin", content).WithHeaderDamage(
                                        [](ArchiveFileHeader::Fields& f) { f.dataLast = f.dataStart - 10; }),
                                    ArchiveEntry("C:\\next.bin", ToBytes("next"))})),
              "");
    EXPECT_EQ(windows.FileBytes(Staged("empty.bin")), "");
    EXPECT_EQ(windows.FileBytes(Staged("next.bin")), "next");

    // A span reaching past the end of the file: reading stops there.
    Bytes truncated = WriteArchive({ArchiveEntry("C:\\cut.bin", content, 0)}, 0);
    truncated.resize(truncated.size() - 5000);
    ASSERT_EQ(Extract(truncated), "");
    const std::string cut = windows.FileBytes(Staged("cut.bin"));
    EXPECT_GT(cut.size(), 0u);
    EXPECT_LT(cut.size(), content.size());
    EXPECT_EQ(cut, AsString(content).substr(0, cut.size()));
    ExpectEverythingReleased();
}

TEST_F(ExtractionTest, BytesAfterTheEndOfAStreamAreIgnored) {
    const Bytes content = RandomBytes(9000);
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\a.bin", content).WithStreamDamage(damage::AppendTrailingBytes),
                                    ArchiveEntry("C:\\b.bin", ToBytes("b"))})),
              "");
    EXPECT_TRUE(windows.FileBytes(Staged("a.bin")) == AsString(content));
    EXPECT_EQ(windows.FileBytes(Staged("b.bin")), "b");
}

TEST_F(ExtractionTest, CorruptStreamsFailWithErrorAndKeepWhatWasWritten) {
    windows.SetCurrentTime({0x11111111, 0x01D00000});
    const Bytes content = RandomBytes(10000);
    struct Case {
        const char* what;
        void (*damage)(Bytes&);
        std::size_t partialSize;
    } cases[] = {
        // the last partial block is still in hand when the check fails
        {"a bad checksum after all the data", damage::CorruptChecksum, 8192},
        {"a bad first block", damage::CorruptFirstBlock, 0},
        {"a stream that asks for a preset dictionary", damage::RequirePresetDictionary, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\ok.bin", ToBytes("ok"), 45429.5),
                                        ArchiveEntry("C:\\bad.bin", content, 45429.5).WithStreamDamage(c.damage),
                                        ArchiveEntry("C:\\later.bin", ToBytes("later"))})),
                  "error");
        EXPECT_EQ(windows.FileBytes(Staged("ok.bin")), "ok");
        const std::string partial = windows.FileBytes(Staged("bad.bin"));
        EXPECT_EQ(partial.size(), c.partialSize);
        EXPECT_TRUE(partial == AsString(content).substr(0, c.partialSize));
        EXPECT_NE(windows.LastWriteTime(Staged("ok.bin")).highDateTime, 0x01D00000u);  // stamped
        EXPECT_EQ(windows.LastWriteTime(Staged("bad.bin")).highDateTime, 0x01D00000u);  // not stamped
        EXPECT_FALSE(windows.Exists(Staged("later.bin")));
        ExpectEverythingReleased();
        windows.RemovePath(Staged("ok.bin"));
        windows.RemovePath(Staged("bad.bin"));
    }
}

TEST_F(ExtractionTest, FailuresOfTheSystemAreReportedAndEveryHandleIsClosed) {
    const Bytes archive = WriteArchive({ArchiveEntry("C:\\a.bin", RandomBytes(10000))});
    const std::string writeMessage = "LOADER: Could not write to the file " + Staged("a.bin") +
                                     ". This probably means that your disk is full";
    struct Case {
        const char* what;
        void (*inject)(SimulatedWindows&);
        std::string message;
    } cases[] = {
        {"the create fails", [](SimulatedWindows& w) { w.FailCall("CreateFileA", w.CallCount("CreateFileA") + 2, 5); },
         "LOADER: Could not create the following file, " + Staged("a.bin")},
        {"a span read fails", [](SimulatedWindows& w) { w.FailCall("ReadFile", w.CallCount("ReadFile") + 4, 23); },
         "LOADER: Could not read from this disk. The disk is probably defective. Please use another disk when "
         "you build the distributable files"},
        {"a write fails", [](SimulatedWindows& w) { w.FailCall("WriteFile", w.CallCount("WriteFile") + 2, 112); },
         writeMessage},
        {"a write is short", [](SimulatedWindows& w) { w.ShortenWrite(w.CallCount("WriteFile") + 2, 100); }, writeMessage},
        {"the disk fills up", [](SimulatedWindows& w) { w.SetDriveFreeBytes('C', 5000); }, writeMessage},
        {"memory for the decompressor runs out",
         [](SimulatedWindows& w) { w.FailCall("AllocateMemory", w.CallCount("AllocateMemory") + 1, 8); }, "Out of memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutSetup1(archive);
        c.inject(windows);
        EXPECT_EQ(Extract(archive), c.message);
        ExpectEverythingReleased();
        windows.SetDriveFreeBytes('C', 1LL << 40);
    }
}

TEST_F(ExtractionTest, FilesAreStampedWithTheirDateAsLocalTime) {
    windows.SetTimeZoneBias(-120);  // UTC+2
    windows.SetCurrentTime({0x11111111, 0x01D00000});
    // 17 May 2024 19:13:23 local is 17:13:22 UTC after the two-second step.
    const double may17 = 45429 + (19 * 3600 + 13 * 60 + 23) / 86400.0;
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\a.bin", ToBytes("a"), may17),
                                    ArchiveEntry("C:\\old.bin", ToBytes("b"), 29220.5),       // 1979
                                    ArchiveEntry("C:\\future.bin", ToBytes("c"), 73051.5),    // 2100
                                    ArchiveEntry("C:\\nan.bin", ToBytes("d"), std::nan(""))})),
              "");
    const FileTime stamped = windows.LastWriteTime(Staged("a.bin"));
    const std::uint64_t ticks = std::uint64_t{stamped.highDateTime} << 32 | stamped.lowDateTime;
    const std::uint64_t unixSeconds = ticks / 10'000'000ULL - 11'644'473'600ULL;
    EXPECT_EQ(unixSeconds, 1715966002ULL);  // 2024-05-17T17:13:22Z
    for (const char* unstamped : {"old.bin", "future.bin", "nan.bin"}) {
        SCOPED_TRACE(unstamped);
        EXPECT_EQ(windows.LastWriteTime(Staged(unstamped)).highDateTime, 0x01D00000u);
    }
}

TEST_F(ExtractionTest, TheTotalIsAnnouncedBeforeTheFirstFileAndTheBarClimbs) {
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\a.bin", RandomBytes(8192)),
                                    ArchiveEntry("C:\\b.bin", RandomBytes(8192, 2))})),
              "");
    EXPECT_EQ(process.TotalBytes, 16384);
    EXPECT_EQ(process.BytesWritten, 16384);
    std::vector<std::uintptr_t> positions;
    for (const SimMessage& m : windows.MessagesSentTo(process.ProgressBarHandle)) {
        if (m.message == win::PbmSetPos) positions.push_back(m.wParam);
    }
    EXPECT_EQ(positions, (std::vector<std::uintptr_t>{25, 50, 75, 100}));

    // Sizes adding up to 2 GiB and more are counted in full.
    ArchiveCatalog big;
    big.Count = 3;
    for (int i = 0; i < 3; ++i) WriteInt32(&big.Headers[i].bytes[128], 0x7FFFFFFF);
    EXPECT_EQ(SumOriginalSizes(big, 3), 3LL * 0x7FFFFFFF);
    EXPECT_EQ(SumOriginalSizes(big, 0), 0);
    EXPECT_EQ(SumOriginalSizes(big, -1), 0);
}

TEST_F(ExtractionTest, WithoutABarNothingIsCountedOrSent) {
    process.ProgressBarHandle = 0;
    ASSERT_EQ(Extract(WriteArchive({ArchiveEntry("C:\\a.bin", RandomBytes(8192))})), "");
    EXPECT_EQ(process.BytesWritten, 0);
    EXPECT_EQ(process.TotalBytes, 8192);
    EXPECT_TRUE(windows.CallLog("SendMessageA").empty());
}

}  // namespace
}  // namespace veltrane
