// The builder's reader on arbitrary bytes: `list` (as text and as JSON) and `verify` (plain and
// --strict), run on a file as veltrane-pack runs them. Besides surviving every input, their
// verdicts must agree with each other and with the loader: a file verify calls sound gives list
// nothing to complain about, and a file verify --strict calls sound must make the loader stage
// every file and launch the first.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <sstream>
#include <string>

#include "Inspect.h"
#include "LoaderRun.h"
#include "Report.h"

namespace {

using namespace veltrane;

[[noreturn]] void Disagreement(const std::string& what) {
    std::fprintf(stderr, "\n==== pack reader check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// A file in memory that the reader opens by its path, as it opens a file on disk.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (fd_ < 0) Disagreement("memfd_create failed");
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { close(fd_); }

    std::filesystem::path Hold(std::span<const std::uint8_t> bytes) {
        if (ftruncate(fd_, 0) != 0) Disagreement("ftruncate failed");
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (written <= 0) Disagreement("pwrite failed");
            done += static_cast<std::size_t>(written);
        }
        return "/proc/self/fd/" + std::to_string(fd_);
    }

private:
    int fd_;
};

void CheckTheLoaderLaunches(std::span<const std::uint8_t> file) {
    const bool selfExtracting = pack::Inspect(file).form == pack::FileForm::SelfExtracting;
    const fuzzing::RunOutcome outcome =
        selfExtracting ? fuzzing::RunLoaderAndCheck(file, std::nullopt, fuzzing::RunPlan{})
                       : fuzzing::RunLoaderAndCheck(fuzzing::PlainLoaderImage(), file, fuzzing::RunPlan{});
    if (outcome.exitCode != 0) {
        Disagreement("verify --strict calls the file sound, but the loader fails with: " + outcome.message);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    const std::span<const std::uint8_t> input(data, size);
    const std::filesystem::path path = file.Hold(input);
    std::ostringstream out;
    std::ostringstream err;
    const int listed = pack::RunList({.file = path, .json = false}, out, err);
    const int listedAsJson = pack::RunList({.file = path, .json = true}, out, err);
    const int verified = pack::RunVerify({.file = path, .strict = false}, out);
    const int verifiedStrictly = pack::RunVerify({.file = path, .strict = true}, out);
    if (listed != listedAsJson) Disagreement("list exits " + std::to_string(listed) + ", list --json " + std::to_string(listedAsJson));
    if (verified == 0 && listed != 0) Disagreement("verify calls the file sound, but list finds a problem");
    if (verifiedStrictly == 0 && verified != 0) Disagreement("verify --strict calls the file sound, but verify does not");
    if (verifiedStrictly == 0) CheckTheLoaderLaunches(input);
    return 0;
}
