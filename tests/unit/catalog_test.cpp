// Reading an archive's catalog: the count, the flag and the chain of headers.
#include <gtest/gtest.h>

#include "archive/Catalog.h"
#include "exceptions/exceptions_Veltrane.h"
#include "loader/FileAccess.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

constexpr const char* CountMessage = "LOADER: Could not read the number of files in the archive from SETUP.1";
constexpr const char* FlagMessage = "LOADER: Could not read the multi-partition flag in the archive file from SETUP.1";
constexpr const char* HeaderMessage = "LOADER: Cannot read a file header in the archive file from SETUP.1";
constexpr const char* TooManyMessage =
    "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the RUveriru. If you want "
    "to have more you can modify the MaxFiles constant in the VeltraneLoadProgram project in the Veltrane "
    "directory";

Bytes Int32Bytes(std::int32_t value) {
    Bytes bytes(4);
    WriteInt32(bytes.data(), value);
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<ArchiveEntry> Entries(int count) {
    std::vector<ArchiveEntry> entries;
    for (int i = 0; i < count; ++i) {
        entries.emplace_back("C:\\build\\file" + std::to_string(i) + ".bin", ToBytes("content " + std::to_string(i)));
    }
    return entries;
}

class CatalogTest : public SimulatedMachine {
protected:
    // Reads the catalog of the archive placed at the start offset of setup.1; the message
    // raised, or "" on success.
    std::string Read(const Bytes& archive, std::int32_t start = 0) {
        PutSetup1(Concat(Bytes(static_cast<std::size_t>(start), 0xAA), archive));
        FileHandle file = OpenForSharedReading(windows, Setup1Path);
        try {
            ReadArchiveCatalog(windows, file.Get(), start, catalog);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    ArchiveCatalog catalog;
};

TEST_F(CatalogTest, ShortOrOverfullArchivesAreRefusedWithTheirMessages) {
    struct Case {
        const char* what;
        Bytes archive;
        const char* message;
        std::int32_t count;
    } cases[] = {
        {"empty file", {}, CountMessage, 0},
        {"3 bytes", {1, 0, 0}, CountMessage, 0},
        {"4 bytes, count 1, no flag", Int32Bytes(1), FlagMessage, 0},
        {"4 bytes, count 0, no flag", Int32Bytes(0), FlagMessage, 0},
        {"count -1 needs its flag too", Int32Bytes(-1), FlagMessage, 0},
        {"51 with nothing behind it", Int32Bytes(51), TooManyMessage, 0},
        {"0x7FFFFFFF", Int32Bytes(0x7FFFFFFF), TooManyMessage, 0},
        {"count 0 and the flag", Concat(Int32Bytes(0), {0}), "", 0},
        {"count -1 and the flag", Concat(Int32Bytes(-1), {0}), "", 0},
        {"INT32_MIN and the flag", Concat(Int32Bytes(INT32_MIN), {0}), "", 0},
        {"count 1, no header", Concat(Int32Bytes(1), {0}), HeaderMessage, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        catalog.Count = 99;
        EXPECT_EQ(Read(c.archive), c.message);
        EXPECT_EQ(catalog.Count, c.count);
    }
}

TEST_F(CatalogTest, ReadsEveryHeaderInArchiveOrderWhateverTheFlag) {
    const Bytes archive = WriteArchive(Entries(3));
    for (const std::uint8_t flag : {0, 1, 255}) {
        SCOPED_TRACE(int(flag));
        Bytes flagged = archive;
        flagged[4] = flag;
        EXPECT_EQ(Read(flagged, 1000), "");  // offsets count from the archive's start
        ASSERT_EQ(catalog.Count, 3);
        EXPECT_EQ(catalog.Headers[0].StoredName(), "C:\\build\\file0.bin");
        EXPECT_EQ(catalog.Headers[2].StoredName(), "C:\\build\\file2.bin");
        EXPECT_EQ(catalog.Headers[1].DataStart(), catalog.Headers[0].NextHeader() + 172);
    }
}

TEST_F(CatalogTest, FiftyFilesAreAcceptedAndFillEveryEntry) {
    EXPECT_EQ(Read(WriteArchive(Entries(50))), "");
    ASSERT_EQ(catalog.Count, 50);
    EXPECT_EQ(catalog.Headers[49].StoredName(), "C:\\build\\file49.bin");
}

TEST_F(CatalogTest, AnArchiveEndingInsideItsThirdHeaderFailsAfterTwo) {
    Bytes archive = WriteArchive(Entries(3));
    const std::int32_t second = ReadInt32(&archive[5 + 124]);  // the first header's NextHeader
    const std::int32_t third = ReadInt32(&archive[static_cast<std::size_t>(second) + 124]);
    archive.resize(static_cast<std::size_t>(third) + 100);
    EXPECT_EQ(Read(archive), HeaderMessage);
    EXPECT_EQ(catalog.Count, 3);
    EXPECT_EQ(catalog.Headers[1].StoredName(), "C:\\build\\file1.bin");
}

TEST_F(CatalogTest, TheWalkFollowsNextHeaderAlone) {
    // The second header points back at the first: the first is read again as the third entry.
    const Bytes backwards = WriteArchive({ArchiveEntry("C:\\a.exe", ToBytes("a")),
                                          ArchiveEntry("C:\\b.dll", ToBytes("b")).WithHeaderDamage(
                                              [](ArchiveFileHeader::Fields& f) { f.nextHeader = 5; }),
                                          ArchiveEntry("C:\\c.dll", ToBytes("c"))});
    EXPECT_EQ(Read(backwards), "");
    ASSERT_EQ(catalog.Count, 3);
    EXPECT_EQ(catalog.Headers[2].StoredName(), "C:\\a.exe");

    // A header pointing at itself is read FileCount times, and the walk still ends.
    const Bytes selfLoop = WriteArchive({ArchiveEntry("C:\\a.exe", ToBytes("a")).WithHeaderDamage(
                                             [](ArchiveFileHeader::Fields& f) { f.nextHeader = 5; }),
                                         ArchiveEntry("C:\\b.dll", ToBytes("b"))});
    EXPECT_EQ(Read(selfLoop), "");
    EXPECT_EQ(catalog.Headers[1].StoredName(), "C:\\a.exe");

    // Past the end of the file: the next read comes back empty.
    const Bytes pastEnd = WriteArchive({ArchiveEntry("C:\\a.exe", ToBytes("a")).WithHeaderDamage(
                                            [](ArchiveFileHeader::Fields& f) { f.nextHeader = 1 << 30; }),
                                        ArchiveEntry("C:\\b.dll", ToBytes("b"))});
    EXPECT_EQ(Read(pastEnd), HeaderMessage);

    // A NextHeader that wraps the 32-bit addition asks for a negative position: the seek fails
    // unnoticed and the next header is read where the first one ended, at its 8 zero bytes.
    const Bytes wrapping = WriteArchive({ArchiveEntry("C:\\a.exe", ToBytes("a")).WithHeaderDamage(
                                             [](ArchiveFileHeader::Fields& f) { f.nextHeader = INT32_MAX; }),
                                         ArchiveEntry("C:\\b.dll", ToBytes("b"))});
    EXPECT_EQ(Read(wrapping, 16), "");
    ASSERT_EQ(catalog.Count, 2);
    EXPECT_EQ(ReadInt32(&catalog.Headers[1].bytes[0]), 0);
    EXPECT_EQ(ReadInt32(&catalog.Headers[1].bytes[4]), 0);
}

TEST_F(CatalogTest, AFailingReadCountsAsShort) {
    windows.FailCall("ReadFile", 1, win::ErrorAccessDenied);
    EXPECT_EQ(Read(WriteArchive(Entries(1))), CountMessage);
    windows.FailCall("ReadFile", windows.CallCount("ReadFile") + 3, win::ErrorAccessDenied);
    EXPECT_EQ(Read(WriteArchive(Entries(1))), HeaderMessage);
}

}  // namespace
}  // namespace veltrane
