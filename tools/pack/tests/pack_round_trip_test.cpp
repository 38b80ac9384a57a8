// What veltrane-pack writes, read back by the loader's own trailer, catalog and extraction code
// on the simulated Windows: the same bytes under the staged names, with the dates given.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "PackTesting.h"
#include "SimulatedMachine.h"
#include "archive/Catalog.h"
#include "archive/Extraction.h"
#include "loader/FileAccess.h"

namespace veltrane::pack {
namespace {

using namespace packtest;
using namespace testing_support;

Bytes RandomBytes(std::size_t size) {
    std::mt19937 generator(7);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

// The FILETIME of a local time on a machine whose clock runs on UTC: 100 ns since 1601.
std::uint64_t FileTimeOf(std::chrono::sys_days day, std::chrono::seconds timeOfDay) {
    using namespace std::chrono;
    const auto since1601 = day + timeOfDay - sys_days(year{1601} / 1 / 1);
    using Ticks = duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return static_cast<std::uint64_t>(duration_cast<Ticks>(since1601).count());
}

class PackRoundTrip : public SimulatedMachine {
protected:
    PackRoundTrip() { windows.AddDirectory(StagingDir); }

    // Reads the catalog of the archive at archiveStart in the file and extracts it.
    void Extract(const std::string& path, std::int32_t archiveStart) {
        FileHandle file = OpenForSharedReading(windows, path);
        ReadArchiveCatalog(windows, file.Get(), archiveStart, catalog);
        ExtractArchiveFiles(process, file.Get(), archiveStart, catalog, StagingDir);
    }

    ScratchDirectory scratch;
    ArchiveCatalog catalog;
};

TEST_F(PackRoundTrip, ASelfExtractingLoaderStagesTheSameBytesWithTheirDate) {
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"setup.exe", ToBytes("MZ the installation program")},
        {"big.bin", RandomBytes(200'000)},
        {"empty.txt", {}},
        {"text.txt", ToBytes(std::string(70'000, 'z'))},
    };
    std::vector<std::string> arguments = {"sfx",    "-o",     "product.exe", "--loader",
                                          "loader.exe", "--title", "Round Trip", "--base", "app",
                                          "--date", "2024-05-17 19:13:22"};
    for (const auto& [name, content] : inputs) {
        scratch.Write("app/" + name, content);
        if (name == "text.txt") arguments.insert(arguments.end(), {"--stored-name", "C:\\build\\../../text.txt"});
        arguments.push_back("app/" + name);
    }
    arguments.insert(arguments.end(), {"--second", "app/big.bin"});
    scratch.Write("loader.exe", MinimalWindowsExecutable());
    const Outcome outcome = RunPack(arguments, scratch.Path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    windows.AddFile(LoaderPath, AsString(ReadFile(scratch / "product.exe")));
    ReadTrailer(windows, process.Trailer);
    ASSERT_TRUE(IsSelfExtracting(process.Trailer));
    EXPECT_EQ(process.Trailer.ProductTitle(), "Round Trip");
    Extract(LoaderPath, process.Trailer.FirstArchiveStart());

    ASSERT_EQ(catalog.Count, 4);
    using namespace std::chrono;
    const std::uint64_t expectedTime =
        FileTimeOf(year{2024} / 5 / 17, hours{19} + minutes{13} + seconds{22});
    for (const auto& [name, content] : inputs) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(windows.Exists(Staged(name)));
        EXPECT_EQ(windows.FileBytes(Staged(name)), AsString(content));
        const FileTime stamped = windows.LastWriteTime(Staged(name));
        EXPECT_EQ(std::uint64_t{stamped.highDateTime} << 32 | stamped.lowDateTime, expectedTime);
    }
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(PackRoundTrip, AnArchiveBesideThePlainLoaderStagesTheSameBytes) {
    const Bytes content = RandomBytes(70'000);
    scratch.Write("setup.exe", content);
    const Outcome outcome = RunPack({"archive", "-o", "setup.1", "--level", "0", "setup.exe"},
                                    scratch.Path(), {{"SOURCE_DATE_EPOCH", "0"}});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    PutSetup1(ReadFile(scratch / "setup.1"));
    Extract(Setup1Path, 0);
    ASSERT_EQ(catalog.Count, 1);
    EXPECT_EQ(windows.FileBytes(Staged("setup.exe")), AsString(content));
}

}  // namespace
}  // namespace veltrane::pack
