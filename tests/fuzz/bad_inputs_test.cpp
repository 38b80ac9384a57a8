// The named bad inputs: each holds the fault its name promises, as the builder's reader sees
// it, and each goes through one run of the loader with the fuzzers' checks.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "BadInputs.h"
#include "Inspect.h"
#include "LoaderRun.h"

namespace veltrane::fixtures {
namespace {

// What verify reports about each archive fixture, and about its "sfx-" twin; "" for nothing.
const std::map<std::string, std::string> ArchiveFindings = {
    {"one-file", ""},
    {"three-files", ""},
    {"stored", ""},
    {"empty-file", ""},
    {"fifty-files", ""},
    {"count-zero", "holds 0 files; the loader refuses an archive without files"},
    {"count-negative", "holds -1 files"},
    {"count-51", "holds 51 files; the loader takes at most 50"},
    {"count-0x7fffffff", "holds 2147483647 files"},
    {"nextheader-wrong", "but DataLast + 1 is"},
    {"nextheader-self", "points back, so the loader would read a header again"},
    {"nextheader-past-end", "NextHeader is 2147483392"},
    {"cut-in-count", "too short to hold the file count"},
    {"cut-in-header", "does not fit before the end"},
    {"cut-in-stream", "past the end of"},
    {"name-length-255", "the stored name's length byte is 255"},
    // The loader stages a file under the part of its name after the last "\", "/" or ":", so
    // these names are harmless, and verify rightly says nothing; the run below shows the launch.
    {"name-dotdot", ""},
    {"name-slash", ""},
    {"name-stream", ""},
    {"name-device", "Windows cannot create a file named \"CON\""},
    {"name-device-extension", "Windows cannot create a file named \"com1.dll\""},
    {"name-empty", "Windows cannot create a file named \"\""},
    {"name-dotdot-only", "Windows cannot create a file named \"..\""},
    {"preset-dictionary", "asks for a preset dictionary"},
    {"bytes-after-stream", "bytes follow the end of the stream inside its span"},
    {"span-short", "the span ends before the stream does"},
    {"inflates-beyond-original", "inflates to 1048576 bytes, but OriginalSize is 16"},
    {"corrupt-block", "the stream is corrupt"},
    {"corrupt-checksum", "Adler-32 does not match"},
    {"datastart-beyond-end", "DataStart is 2147483392"},
    {"datalast-before-datastart", "lies before DataStart"},
    {"originalsize-negative", "OriginalSize is negative: -1000"},
    {"filedate-nan", "the date lies outside the years 1980 to 2099"},
    {"filedate-infinite", "the date lies outside the years 1980 to 2099"},
    {"filedate-huge", "the date lies outside the years 1980 to 2099"},
    {"filedate-before-1980", "the date lies outside the years 1980 to 2099"},
};

// The faults of a self-extracting file as a whole.
const std::map<std::string, std::string> TrailerFindings = {
    {"sfx-truncated-in-trailer", "a Windows executable without a self-extracting trailer"},
    {"sfx-truncated-in-catalog", "a Windows executable without a self-extracting trailer"},
    {"sfx-truncated-in-stream", "a Windows executable without a self-extracting trailer"},
    {"sfx-first-start-beyond-file", "the first archive's bounds"},
    {"sfx-first-start-negative", "the first archive's bounds -1000"},
    {"sfx-first-start-in-trailer", "the first archive's bounds"},
    {"sfx-archive-cut-trailer-kept", "SecondArchiveLast is"},
    {"sfx-title-length-255", "the title's length byte is 255"},
    {"sfx-magic-lower-case", "a Windows executable without a self-extracting trailer"},
};

std::vector<pack::Finding> Verify(const Bytes& file) {
    const pack::InspectedFile inspected = pack::Inspect(file);
    std::vector<pack::Finding> findings = inspected.findings;
    const std::vector<pack::Finding> more = pack::CheckStreamsAndNames(inspected, file);
    findings.insert(findings.end(), more.begin(), more.end());
    return findings;
}

std::string Text(const std::vector<pack::Finding>& findings) {
    std::string text;
    for (const pack::Finding& f : findings) text += f.where + ": " + f.text + "\n";
    return text;
}

void ExpectFinding(const Fixture& fixture, const std::string& expected) {
    const std::vector<pack::Finding> findings = Verify(fixture.bytes);
    if (expected.empty()) {
        EXPECT_TRUE(findings.empty()) << Text(findings);
        return;
    }
    EXPECT_FALSE(fixture.sound);
    EXPECT_NE(Text(findings).find(expected), std::string::npos) << "expected \"" << expected << "\" among\n"
                                                               << Text(findings);
}

TEST(BadInputs, EachArchiveHoldsTheFaultItsNameSays) {
    const std::vector<Fixture> fixtures = ArchiveFixtures();
    EXPECT_EQ(fixtures.size(), ArchiveFindings.size());
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.name + ": " + fixture.what);
        const auto row = ArchiveFindings.find(fixture.name);
        ASSERT_NE(row, ArchiveFindings.end()) << "a fixture without an expectation";
        ExpectFinding(fixture, row->second);
    }
}

TEST(BadInputs, EachSelfExtractingFileHoldsTheFaultItsNameSays) {
    const std::vector<Fixture> fixtures = SelfExtractingFixtures(TinyLoaderImage());
    EXPECT_EQ(fixtures.size(), ArchiveFindings.size() + TrailerFindings.size());
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.name + ": " + fixture.what);
        const auto trailerRow = TrailerFindings.find(fixture.name);
        const auto archiveRow = ArchiveFindings.find(fixture.name.substr(4));
        ASSERT_TRUE(fixture.name.starts_with("sfx-"));
        ASSERT_TRUE(trailerRow != TrailerFindings.end() || archiveRow != ArchiveFindings.end())
            << "a fixture without an expectation";
        ExpectFinding(fixture, trailerRow != TrailerFindings.end() ? trailerRow->second : archiveRow->second);
    }
}

TEST(BadInputs, EveryFixtureHasItsOwnName) {
    std::set<std::string> names;
    for (const Fixture& f : ArchiveFixtures()) EXPECT_TRUE(names.insert(f.name).second) << f.name;
    for (const Fixture& f : SelfExtractingFixtures(TinyLoaderImage())) EXPECT_TRUE(names.insert(f.name).second) << f.name;
}

TEST(BadInputs, TheTinyLoaderImagePassesForAWindowsExecutable) {
    EXPECT_TRUE(pack::IsWindowsExecutable(TinyLoaderImage()));
}

// Every fixture, quiet and with the window, passes the fuzzers' checks; those verify finds
// nothing wrong with launch the installation program.
TEST(BadInputs, EveryFixtureEndsInAMessageOrALaunchWithinTheStagingDirectory) {
    const std::vector<Fixture> archives = ArchiveFixtures();
    const std::vector<Fixture> selfExtracting = SelfExtractingFixtures(TinyLoaderImage());
    for (const bool quiet : {false, true}) {
        fuzzing::RunPlan plan;
        plan.quiet = quiet;
        for (const Fixture& f : archives) {
            SCOPED_TRACE(f.name + (quiet ? ", quiet" : ""));
            const fuzzing::RunOutcome outcome = fuzzing::RunLoaderAndCheck(fuzzing::PlainLoaderImage(), f.bytes, plan);
            if (Verify(f.bytes).empty()) {
                EXPECT_EQ(outcome.exitCode, 0) << outcome.message;
            }
        }
        for (const Fixture& f : selfExtracting) {
            SCOPED_TRACE(f.name + (quiet ? ", quiet" : ""));
            const fuzzing::RunOutcome outcome = fuzzing::RunLoaderAndCheck(f.bytes, std::nullopt, plan);
            if (Verify(f.bytes).empty()) {
                EXPECT_EQ(outcome.exitCode, 0) << outcome.message;
            }
        }
    }
}

}  // namespace
}  // namespace veltrane::fixtures
