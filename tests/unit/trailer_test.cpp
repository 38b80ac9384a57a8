// Reading the trailer from the end of the loader's own file.
#include <gtest/gtest.h>

#include "archive/Trailer.h"
#include "exceptions/exceptions_Veltrane.h"
#include "SimulatedMachine.h"

namespace veltrane {
namespace {

using namespace testing_support;

class ReadTrailerTest : public SimulatedMachine {
protected:
    // The record after ReadTrailer, or the message it raised.
    std::string ReadTrailerMessage() {
        try {
            ReadTrailer(windows, process.Trailer);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }
    bool TrailerIsAllZero() const { return process.Trailer.bytes == SelfExtractTrailer{}.bytes; }
};

TEST_F(ReadTrailerTest, TheLast136BytesOfTheFileAreTheRecord) {
    const SelfExtractTrailer written = SelfExtractTrailer::Make({1000, 2000, 2001, 3000, "Sample"});
    const std::string image = AsString(LoaderImage());
    const std::string whole = image + std::string(written.bytes.begin(), written.bytes.end());
    struct Case {
        const char* what;
        std::string file;
        bool wholeFileIsTrailer;
    } cases[] = {
        {"a self-extracting file", whole, false},
        {"exactly 136 bytes", std::string(written.bytes.begin(), written.bytes.end()), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windows.AddFile(LoaderPath, c.file);
        process.Trailer.bytes.fill(0xEE);
        EXPECT_EQ(ReadTrailerMessage(), "");
        EXPECT_EQ(process.Trailer.bytes, written.bytes);
        EXPECT_TRUE(IsSelfExtracting(process.Trailer));
    }
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(ReadTrailerTest, AFileThatCannotSupply136BytesGivesTheAllZeroRecord) {
    struct Case {
        const char* what;
        std::string file;
        std::uint32_t shortReadLimit;  // 0: no short read
    } cases[] = {
        {"135 bytes", std::string(135, 'x'), 0},
        {"an empty file", "", 0},
        {"a short read", AsString(LoaderImage()), 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windows.AddFile(LoaderPath, c.file);
        if (c.shortReadLimit) windows.ShortenRead(windows.CallCount("ReadFile") + 1, c.shortReadLimit);
        process.Trailer.bytes.fill(0xEE);
        EXPECT_EQ(ReadTrailerMessage(), "");
        EXPECT_TRUE(TrailerIsAllZero());
        EXPECT_FALSE(IsSelfExtracting(process.Trailer));
    }
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(ReadTrailerTest, AFailedReadGivesTheAllZeroRecord) {
    windows.FailCall("ReadFile", 1, win::ErrorAccessDenied);
    EXPECT_EQ(ReadTrailerMessage(), "");
    EXPECT_TRUE(TrailerIsAllZero());
    EXPECT_TRUE(windows.OpenHandles().empty());
}

TEST_F(ReadTrailerTest, AMissingOrUnopenableFileIsReported) {
    windows.RemovePath(LoaderPath);
    EXPECT_EQ(ReadTrailerMessage(), "LOADER: Could not find the executable, C:\\dist\\setup.exe");
    EXPECT_TRUE(TrailerIsAllZero());

    windows.AddDirectory(LoaderPath);  // a directory in its place is no file
    EXPECT_EQ(ReadTrailerMessage(), "LOADER: Could not find the executable, C:\\dist\\setup.exe");

    windows.RemovePath(LoaderPath);
    windows.AddFile(LoaderPath, AsString(LoaderImage()));
    windows.HoldOpenByAnotherProcess(LoaderPath, win::GenericWrite, 0);
    EXPECT_EQ(ReadTrailerMessage(), "The file C:\\dist\\setup.exe could not be opened for reading");
    EXPECT_TRUE(TrailerIsAllZero());
    EXPECT_TRUE(windows.OpenHandles().empty());
}

}  // namespace
}  // namespace veltrane
