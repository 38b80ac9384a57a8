// veltrane-pack as a user meets it: help, mistakes, refusals, what it writes and lists.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "PackTesting.h"

namespace veltrane::pack {
namespace {

using namespace packtest;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

// A small installer's worth of files.
class PackCli : public ::testing::Test {
protected:
    void SetUp() override {
        scratch.Write("app/setup.exe", ToBytes("MZ the installation program"));
        scratch.Write("app/data/readme.txt", ToBytes(std::string(5000, 'r')));
        scratch.Write("loader.exe", MinimalWindowsExecutable());
    }
    Outcome Pack(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {}) {
        return RunPack(arguments, scratch.Path(), environment);
    }
    ScratchDirectory scratch;
};

TEST_F(PackCli, HelpForTheToolAndEachCommand) {
    struct Case {
        std::vector<std::string> arguments;
        std::string shows;
    };
    const Case cases[] = {
        {{"--help"}, "Usage: veltrane-pack COMMAND"},
        {{"-h"}, "Usage: veltrane-pack COMMAND"},
        {{"help", "sfx"}, "Usage: veltrane-pack sfx"},
        {{"archive", "--help"}, "Usage: veltrane-pack archive -o setup.1"},
        {{"sfx", "-h"}, "--title TITLE"},
        {{"list", "--help"}, "Usage: veltrane-pack list [--json] FILE"},
        {{"verify", "--help"}, "Usage: veltrane-pack verify [--strict] FILE"},
        {{"--version"}, "veltrane-pack "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Outcome outcome = Pack(c.arguments);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_THAT(outcome.out, HasSubstr(c.shows));
        EXPECT_THAT(outcome.err, IsEmpty());
    }
}

TEST_F(PackCli, AWrongCommandLineExitsWith2AndPointsToHelp) {
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const Case cases[] = {
        {{}, "give a command"},
        {{"pack"}, "unknown command pack"},
        {{"archive", "--frob", "-o", "s.1", "app/setup.exe"}, "unknown option --frob"},
        {{"archive", "-o"}, "option -o needs a value"},
        {{"archive", "app/setup.exe"}, "give the output with -o"},
        {{"archive", "-o", "s.1"}, "give the installation executable"},
        {{"archive", "-o", "s.1", "--level", "13", "app/setup.exe"}, "--level 13"},
        {{"archive", "-o", "s.1", "--level", "9x", "app/setup.exe"}, "--level 9x"},
        {{"archive", "-o", "s.1", "--date", "2024-02-30", "app/setup.exe"}, "--date 2024-02-30"},
        {{"archive", "-o", "s.1", "--date", "yesterday", "app/setup.exe"}, "--date yesterday"},
        {{"archive", "-o", "s.1", "app/setup.exe", "--stored-name", "C:\\x"}, "no FILE follows"},
        {{"archive", "-o", "s.1", "--title", "T", "app/setup.exe"}, "unknown option --title"},
        {{"sfx", "-o", "p.exe", "--title", "T", "app/setup.exe"}, "--loader EXE"},
        {{"sfx", "-o", "p.exe", "--loader", "loader.exe", "app/setup.exe"}, "--title TITLE"},
        {{"list"}, "give exactly one FILE"},
        {{"list", "a", "b"}, "give exactly one FILE"},
        {{"list", "--strict", "a"}, "unknown option --strict"},
        {{"verify", "--json", "a"}, "unknown option --json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Outcome outcome = Pack(c.arguments);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_THAT(outcome.err, HasSubstr(c.says));
        EXPECT_THAT(outcome.err, HasSubstr("veltrane-pack --help"));
        EXPECT_THAT(outcome.out, IsEmpty());
    }
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"app", "loader.exe"}));
}

TEST_F(PackCli, RefusalsNameTheFileAndTheLimitAndWriteNothing) {
    std::vector<std::string> fiftyOne = {"archive", "-o", "out.bin", "--base", "many"};
    for (int i = 0; i < 51; ++i) {
        fiftyOne.push_back(scratch.Write("many/f" + std::to_string(i), ToBytes("x")).string());
    }
    scratch.Write("notpe.exe", ToBytes(std::string(300, 'x')));
    scratch.Write("built.exe", AssembleSelfExtracting(MinimalWindowsExecutable(), WriteArchive({}),
                                                      WriteArchive({}), "Old"));
    // A sparse file: 2 GiB long, but nothing written.
    const fs::path huge = scratch.Write("app/huge.bin", {});
    ASSERT_EQ(::truncate(huge.c_str(), std::int64_t{1} << 31), 0);
    const std::string name104 = "C:\\" + std::string(101, 'n');
    const std::string title83(83, 't');

    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::vector<std::string> says;
        std::map<std::string, std::string> environment = {};
    };
    const std::vector<std::string> sfx = {"sfx", "-o", "out.bin", "--loader", "loader.exe",
                                          "--title", "T", "--base", "app"};
    const auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {"51 files", fiftyOne, {"51 files; at most 50"}},
        {"51 files in the second archive",
         with(sfx, [&] {
             std::vector<std::string> a;
             for (int i = 0; i < 51; ++i) a.insert(a.end(), {"--second", "app/setup.exe"});
             a.push_back("app/setup.exe");
             return a;
         }()),
         {"the second archive would hold 51 files"}},
        {"stored name of 104 bytes",
         {"archive", "-o", "out.bin", "--stored-name", name104, "app/setup.exe"},
         {name104, "104 bytes; at most 103"}},
        {"version text of 16 bytes",
         {"archive", "-o", "out.bin", "--version-text", "1.0.0.0.0.0.0.00", "app/setup.exe"},
         {"version text 1.0.0.0.0.0.0.00", "at most 15"}},
        {"title of 83 bytes",
         {"sfx", "-o", "out.bin", "--loader", "loader.exe", "--title", title83, "app/setup.exe"},
         {"the title is 83 bytes; at most 82"}},
        {"a file of 2 GiB", {"archive", "-o", "out.bin", "app/huge.bin"},
         {"app/huge.bin is 2147483648 bytes", "below 2 GiB"}},
        {"a missing input", {"archive", "-o", "out.bin", "app/setup.exe", "app/gone.dll"},
         {"cannot read app/gone.dll: No such file or directory"}},
        {"a folder as input", {"archive", "-o", "out.bin", "app"}, {"app is not a regular file"}},
        {"an input outside the base", {"archive", "-o", "out.bin", "--base", "app", "loader.exe"},
         {"loader.exe is not inside the base folder app"}},
        {"a loader that is no Windows executable", with(sfx, {"--loader", "notpe.exe", "app/setup.exe"}),
         {"the loader image notpe.exe is not a Windows executable"}},
        {"a loader that already carries archives", with(sfx, {"--loader", "built.exe", "app/setup.exe"}),
         {"the loader image built.exe already carries archives"}},
        {"a missing loader", with(sfx, {"--loader", "none.exe", "app/setup.exe"}),
         {"cannot read none.exe"}},
        {"the output is an input", {"archive", "-o", "app/../app/setup.exe", "app/setup.exe"},
         {"the output app/../app/setup.exe is also an input"}},
        {"the output is the loader",
         {"sfx", "-o", "loader.exe", "--loader", "loader.exe", "--title", "T", "app/setup.exe"},
         {"the output loader.exe is also an input"}},
        {"a SOURCE_DATE_EPOCH that is no number", {"archive", "-o", "out.bin", "app/setup.exe"},
         {"SOURCE_DATE_EPOCH=soon is not a number"}, {{"SOURCE_DATE_EPOCH", "soon"}}},
        {"two refusals at once", {"archive", "-o", "out.bin", "app/a.dll", "app/b.dll"},
         {"cannot read app/a.dll", "cannot read app/b.dll"}},
    };
    const Bytes setupBefore = ReadFile(scratch / "app/setup.exe");
    const Bytes loaderBefore = ReadFile(scratch / "loader.exe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = Pack(c.arguments, c.environment);
        EXPECT_EQ(outcome.exitCode, 1);
        for (const std::string& part : c.says) EXPECT_THAT(outcome.err, HasSubstr(part));
        EXPECT_THAT(outcome.err, HasSubstr("nothing written"));
        EXPECT_FALSE(fs::exists(scratch / "out.bin"));
        EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"app", "built.exe", "loader.exe",
                                                               "many", "notpe.exe"}));
    }
    EXPECT_EQ(ReadFile(scratch / "app/setup.exe"), setupBefore);
    EXPECT_EQ(ReadFile(scratch / "loader.exe"), loaderBefore);
}

TEST_F(PackCli, TheLimitsThemselvesAreAccepted) {
    std::vector<std::string> fifty = {"sfx", "-o", "out.exe", "--loader", "loader.exe", "--title",
                                      std::string(82, 't'), "--base", "many"};
    for (int i = 0; i < 50; ++i) {
        fifty.push_back(scratch.Write("many/f" + std::to_string(i), ToBytes("x")).string());
    }
    fifty.insert(fifty.begin() + 9, {"--stored-name", "C:\\" + std::string(100, 'n'),
                                     "--version-text", std::string(15, 'v')});
    const Outcome outcome = Pack(fifty);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const Bytes file = ReadFile(scratch / "out.exe");
    const std::size_t start = MinimalWindowsExecutable().size();
    EXPECT_EQ(ReadInt32(&file[start]), 50);
    EXPECT_EQ(HeaderAt(file, start, 0).StoredName().size(), 103u);
    EXPECT_EQ(HeaderAt(file, start, 0).VersionText(), std::string(15, 'v'));
    EXPECT_EQ(file[file.size() - 136 + 53], 82);
}

TEST_F(PackCli, AFailedReadLeavesNoOutputNorTemporaryFile) {
    // Reading the process's own memory at offset 0 fails with an I/O error, even for root.
    const Outcome outcome = Pack({"archive", "-o", "out.bin", "--stored-name", "C:\\mem",
                                  "/proc/self/mem"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_THAT(outcome.err, HasSubstr("cannot read /proc/self/mem"));
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"app", "loader.exe"}));
}

TEST_F(PackCli, ARefusedBuildLeavesAnEarlierOutputAsItWas) {
    const fs::path earlier = scratch.Write("out.bin", ToBytes("earlier build"));
    EXPECT_EQ(Pack({"archive", "-o", "out.bin", "app/missing.exe"}).exitCode, 1);
    EXPECT_EQ(ReadFile(earlier), ToBytes("earlier build"));
}

TEST_F(PackCli, TheArchiveIsWhatTheWriterLaysOut) {
    const Outcome outcome =
        Pack({"archive", "-o", "setup.1", "--base", "app", "--date", "2024-05-17 19:13:22",
              "--level", "6", "app/setup.exe", "--version-text", "1.0.0.0", "app/data/readme.txt",
              "--stored-name", "C:\\Other\\\\name.dat", "loader.exe"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const double date = MakeFileDate({2024, 5, 17, 19, 13, 22});
    const Bytes expected = WriteArchive(
        {{"C:\\setup.exe", ReadFile(scratch / "app/setup.exe"), date},
         {"C:\\data\\readme.txt", ReadFile(scratch / "app/data/readme.txt"), date, "1.0.0.0"},
         {"C:\\Other\\\\name.dat", MinimalWindowsExecutable(), date}},
        6);
    EXPECT_EQ(ReadFile(scratch / "setup.1"), expected);
}

TEST_F(PackCli, TheSelfExtractingLoaderIsImageArchivesAndTrailer) {
    const Outcome outcome =
        Pack({"sfx", "-o", "product.exe", "--loader", "loader.exe", "--title", "My Product",
              "--base", "app", "--date", "2024-05-17", "--second", "app/data/readme.txt",
              "app/setup.exe"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const double date = MakeFileDate({2024, 5, 17});
    const Bytes expected = AssembleSelfExtracting(
        MinimalWindowsExecutable(),
        WriteArchive({{"C:\\setup.exe", ReadFile(scratch / "app/setup.exe"), date}}),
        WriteArchive({{"C:\\data\\readme.txt", ReadFile(scratch / "app/data/readme.txt"), date}}),
        "My Product");
    EXPECT_EQ(ReadFile(scratch / "product.exe"), expected);
    EXPECT_NE(fs::status(scratch / "product.exe").permissions() & fs::perms::owner_exec,
              fs::perms::none);
}

TEST_F(PackCli, SourceDateEpochGivesTheSameBytesWhateverTheClockAndTimeZone) {
    const auto build = [&](const std::string& output, const std::string& timeZone) {
        const Outcome outcome = Pack({"archive", "-o", output, "--base", "app", "app/setup.exe",
                                      "app/data/readme.txt"},
                                     {{"SOURCE_DATE_EPOCH", "1715973202"}, {"TZ", timeZone}});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        return ReadFile(scratch / output);
    };
    const Bytes first = build("one.1", "UTC0");
    const std::time_t later = std::time(nullptr) + 3600;
    const struct timespec times[2] = {{later, 0}, {later, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (scratch / "app/setup.exe").c_str(), times, 0), 0);
    EXPECT_EQ(build("two.1", "JST-9"), first);
    // 1715973202 is 2024-05-17 19:13:22 UTC.
    EXPECT_EQ(HeaderAt(first, 0, 0).FileDate(), MakeFileDate({2024, 5, 17, 19, 13, 22}));
    EXPECT_EQ(HeaderAt(first, 0, 1).FileDate(), MakeFileDate({2024, 5, 17, 19, 13, 22}));
}

TEST_F(PackCli, WithoutADateEachFileCarriesItsModificationTimeAsLocalTime) {
    const struct timespec times[2] = {{1715973202, 0}, {1715973202, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (scratch / "app/setup.exe").c_str(), times, 0), 0);
    struct Case {
        const char* timeZone;
        CivilTime local;
    };
    const Case cases[] = {
        {"UTC0", {2024, 5, 17, 19, 13, 22}},
        {"JST-9", {2024, 5, 18, 4, 13, 22}},
        {"EST5", {2024, 5, 17, 14, 13, 22}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeZone);
        const Outcome outcome =
            Pack({"archive", "-o", "setup.1", "--base", "app", "app/setup.exe"}, {{"TZ", c.timeZone}});
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(HeaderAt(ReadFile(scratch / "setup.1"), 0, 0).FileDate(), MakeFileDate(c.local));
    }
}

TEST_F(PackCli, TheSummaryCountsFilesAndBytesUnlessQuiet) {
    const Outcome outcome = Pack({"archive", "-o", "setup.1", "--base", "app", "app/setup.exe",
                                  "app/data/readme.txt"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const auto size = fs::file_size(scratch / "setup.1");
    EXPECT_THAT(outcome.out, HasSubstr("wrote setup.1 (" + std::to_string(size) + " bytes): 2 files, 5027 bytes in, " +
                                       std::to_string(size) + " bytes out, ratio "));
    EXPECT_THAT(outcome.out, HasSubstr("%, "));
    EXPECT_THAT(outcome.out, HasSubstr(" s\n"));
    EXPECT_THAT(outcome.err, IsEmpty()) << "no progress bar when standard error is no terminal";

    const Outcome quiet = Pack({"archive", "-q", "-o", "setup.1", "--base", "app", "app/setup.exe"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_THAT(quiet.out, IsEmpty());
}

TEST_F(PackCli, TheBuilderWarnsAboutNamesTheLoaderCannotStage) {
    const Outcome outcome = Pack({"archive", "-o", "setup.1", "--base", "app", "app/setup.exe",
                                  "--stored-name", "C:\\x\\SETUP.EXE", "app/data/readme.txt",
                                  "--stored-name", "C:\\x\\nul.txt", "loader.exe"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_THAT(outcome.err, HasSubstr("warning: app/data/readme.txt and app/setup.exe are both "
                                       "staged as \"SETUP.EXE\""));
    EXPECT_THAT(outcome.err, HasSubstr("warning: loader.exe is staged as \"nul.txt\", which "
                                       "Windows cannot create: it is the name of a device"));
}

TEST_F(PackCli, ListShowsTheTrailerAndEveryHeader) {
    ASSERT_EQ(Pack({"sfx", "-o", "product.exe", "--loader", "loader.exe", "--title", "My Product",
                    "--base", "app", "--date", "2024-05-17 19:13:22", "--stored-name",
                    "C:\\build\\../../evil.dll",
                    "app/setup.exe", "--second", "app/data/readme.txt"})
                  .exitCode,
              0);
    const Outcome text = Pack({"list", "product.exe"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    const std::string start = std::to_string(MinimalWindowsExecutable().size());
    for (const std::string& part : std::vector<std::string>{
             "product.exe: self-extracting loader", "trailer: first archive " + start + " to ",
          std::string("title \"My Product\""), "first archive at " + start,
          std::string("1 file, staged by the loader"), std::string("not read by the loader"),
          std::string("2024-05-17 19:13:22  evil.dll"), std::string("C:\\build\\../../evil.dll"),
          std::string("readme.txt            C:\\data\\readme.txt")}) {
        EXPECT_THAT(text.out, HasSubstr(part));
    }

    const Outcome json = Pack({"list", "--json", "product.exe"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    for (const std::string& part : std::vector<std::string>{
             "\"form\": \"self-extracting\"", "\"firstArchiveStart\": " + start,
          std::string("\"productTitle\": \"My Product\""),
          std::string("\"storedName\": \"C:\\\\build\\\\../../evil.dll\", \"stagedName\": \"evil.dll\""),
          std::string("\"originalSize\": 27"), std::string("\"date\": \"2024-05-17T19:13:22\""),
          std::string("\"problems\": []")}) {
        EXPECT_THAT(json.out, HasSubstr(part));
    }
}

TEST_F(PackCli, VerifyExitsWith0OnlyForASoundFile) {
    ASSERT_EQ(Pack({"archive", "-o", "setup.1", "--base", "app", "app/setup.exe"}).exitCode, 0);
    const Outcome sound = Pack({"verify", "setup.1"});
    EXPECT_EQ(sound.exitCode, 0);
    EXPECT_THAT(sound.out, HasSubstr("setup.1: sound (0 problems, 0 warnings)"));

    Bytes broken = ReadFile(scratch / "setup.1");
    broken.back() ^= 0xFF;
    broken.push_back(0);
    scratch.Write("broken.1", broken);
    const Outcome notSound = Pack({"verify", "broken.1"});
    EXPECT_EQ(notSound.exitCode, 1);
    EXPECT_THAT(notSound.out, HasSubstr("problem: archive: 1 bytes follow the last file's data"));
    EXPECT_THAT(notSound.out, HasSubstr("problem: archive, file 1 (C:\\setup.exe): the stream's Adler-32"));
    EXPECT_THAT(notSound.out, HasSubstr("broken.1: NOT sound (2 problems, 0 warnings)"));

    const Outcome missing = Pack({"verify", "nothing.1"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr("cannot read nothing.1: No such file or directory"));
}

TEST_F(PackCli, WarningsFailVerifyOnlyWhenStrict) {
    scratch.Write("twice.1", WriteArchive({{"C:\\a\\x.dll", ToBytes("1"), MakeFileDate({2024, 1, 1})},
                                           {"C:\\b\\X.DLL", ToBytes("2"), MakeFileDate({2024, 1, 1})}}));
    const Outcome lenient = Pack({"verify", "twice.1"});
    EXPECT_EQ(lenient.exitCode, 0);
    EXPECT_THAT(lenient.out, HasSubstr("warning: archive, file 2 (C:\\b\\X.DLL): staged as \"X.DLL\", like file 1"));
    EXPECT_THAT(lenient.out, HasSubstr("twice.1: sound (0 problems, 1 warning)"));
    EXPECT_EQ(Pack({"verify", "--strict", "twice.1"}).exitCode, 1);
}

}  // namespace
}  // namespace veltrane::pack
