#include "Build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iomanip>
#include <thread>

#include "Files.h"
#include "Inspect.h"
#include "Progress.h"
#include "WindowsNames.h"

namespace veltrane::pack {
namespace {

namespace fs = std::filesystem;

// A file as it will go into an archive, known before anything is read or written.
struct PlannedFile {
    fs::path path;
    std::string storedName;
    std::string versionText;
    std::int64_t size = 0;
    double fileDate = 0;
};

// Every reason not to build, gathered before anything is written, so that one run names them all.
class Refusals {
public:
    void Add(std::string reason) { reasons_.push_back(std::move(reason)); }
    bool Any() const { return !reasons_.empty(); }
    const std::vector<std::string>& Reasons() const { return reasons_; }

private:
    std::vector<std::string> reasons_;
};

CivilTime CivilTimeOf(const std::tm& tm) {
    return CivilTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                     tm.tm_sec);
}

// The date every file gets, when one is given: --date, else SOURCE_DATE_EPOCH in UTC, so that
// the same inputs give the same bytes on any machine.
std::optional<double> CommonFileDate(const BuildOptions& options, Refusals& refusals) {
    if (options.date) return MakeFileDate(*options.date);
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(epoch, &end, 10);
    const auto time = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (*end != '\0' || errno != 0 || seconds < 0 || gmtime_r(&time, &tm) == nullptr) {
        refusals.Add("SOURCE_DATE_EPOCH=" + std::string(epoch) +
                     " is not a number of seconds since 1970");
        return std::nullopt;
    }
    return MakeFileDate(CivilTimeOf(tm));
}

double ModificationDate(const struct stat& status) {
    std::tm tm{};
    localtime_r(&status.st_mtim.tv_sec, &tm);
    return MakeFileDate(CivilTimeOf(tm));
}

std::optional<std::string> DefaultStoredName(const fs::path& path, const fs::path& base) {
    const fs::path relative = fs::absolute(path).lexically_normal().lexically_relative(
        fs::absolute(base).lexically_normal());
    if (relative.empty() || *relative.begin() == ".." || relative == ".") return std::nullopt;
    std::string name = "C:\\" + relative.generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// Checks one input and says how it will be stored; nothing when it is refused.
std::optional<PlannedFile> PlanFile(const InputFile& input, const BuildOptions& options,
                                    std::optional<double> commonDate, Refusals& refusals) {
    const std::string shown = input.path.string();
    struct stat status{};
    if (::stat(input.path.c_str(), &status) != 0) {
        refusals.Add("cannot read " + shown + ": " + ErrnoText(errno));
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        refusals.Add(shown + " is not a regular file");
        return std::nullopt;
    }
    if (FileDescriptor probe(::open(input.path.c_str(), O_RDONLY | O_CLOEXEC)); probe.Get() < 0) {
        refusals.Add("cannot read " + shown + ": " + ErrnoText(errno));
        return std::nullopt;
    }
    bool refused = false;
    if (status.st_size >= MaxArchiveBytes) {
        refusals.Add(shown + " is " + std::to_string(status.st_size) +
                     " bytes; a file must stay below 2 GiB (2147483648 bytes), since the "
                     "archive's offsets are 32-bit signed");
        refused = true;
    }
    std::optional<std::string> storedName = input.storedName;
    if (!storedName) storedName = DefaultStoredName(input.path, options.base);
    if (!storedName) {
        refusals.Add(shown + " is not inside the base folder " + options.base.string() +
                     "; give --base DIR or --stored-name NAME");
        return std::nullopt;
    }
    if (storedName->size() > ArchiveFileHeader::MaxStoredNameLength) {
        refusals.Add("the stored name " + *storedName + " of " + shown + " is " +
                     std::to_string(storedName->size()) + " bytes; at most 103 fit");
        refused = true;
    }
    if (input.versionText.size() > ArchiveFileHeader::MaxVersionTextLength) {
        refusals.Add("the version text " + input.versionText + " of " + shown + " is " +
                     std::to_string(input.versionText.size()) + " bytes; at most 15 fit");
        refused = true;
    }
    if (refused) return std::nullopt;
    return PlannedFile{input.path, *storedName, input.versionText, status.st_size,
                       commonDate.value_or(ModificationDate(status))};
}

std::vector<PlannedFile> PlanArchive(const std::vector<InputFile>& inputs, const std::string& name,
                                     const BuildOptions& options, std::optional<double> commonDate,
                                     Refusals& refusals) {
    if (inputs.size() > static_cast<std::size_t>(MaxFiles)) {
        refusals.Add(name + " would hold " + std::to_string(inputs.size()) +
                     " files; at most 50 fit (the installation executable and 49 more)");
    }
    std::vector<PlannedFile> planned;
    for (const InputFile& input : inputs) {
        if (auto file = PlanFile(input, options, commonDate, refusals)) planned.push_back(*file);
    }
    return planned;
}

bool SamePath(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

// The loader image, read now so that a wrong one is refused before anything is written.
Bytes ReadLoaderImage(const fs::path& path, Refusals& refusals) {
    Bytes image;
    try {
        image = ReadWholeFile(path);
    } catch (const PackError& error) {
        refusals.Add(std::string("the loader image: ") + error.what());
        return {};
    }
    if (!IsWindowsExecutable(image)) {
        refusals.Add("the loader image " + path.string() + " is not a Windows executable");
    } else if (image.size() >= SelfExtractTrailer::Size) {
        SelfExtractTrailer trailer;
        std::copy_n(image.end() - SelfExtractTrailer::Size, SelfExtractTrailer::Size,
                    trailer.bytes.begin());
        if (IsSelfExtracting(trailer)) {
            refusals.Add("the loader image " + path.string() +
                         " already carries archives; give the plain loader");
        }
    }
    return image;
}

void WarnAboutStagedNames(const std::vector<PlannedFile>& files, std::ostream& err) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string staged = StagedName(files[i].storedName);
        if (const auto why = WhyNotCreatable(staged)) {
            err << "veltrane-pack: warning: " << files[i].path.string() << " is staged as \""
                << staged << "\", which Windows cannot create: " << *why << "\n";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (SameWindowsName(staged, StagedName(files[j].storedName))) {
                err << "veltrane-pack: warning: " << files[i].path.string() << " and "
                    << files[j].path.string() << " are both staged as \"" << staged << "\"\n";
                break;
            }
        }
    }
}

// Compresses every file on all cores; each thread reads and compresses whole files in turn.
std::vector<PackedFile> CompressAll(const std::vector<PlannedFile>& files, int level,
                                    ProgressBar& progress) {
    std::vector<PackedFile> packed(files.size());
    std::vector<std::exception_ptr> failures(files.size());
    std::atomic<std::size_t> nextFile{0};
    const auto work = [&] {
        for (std::size_t i; (i = nextFile++) < files.size();) {
            try {
                Bytes content = ReadWholeFile(files[i].path);
                const auto size = static_cast<std::int64_t>(content.size());
                packed[i] = PackFile(ArchiveEntry(files[i].storedName, std::move(content),
                                                  files[i].fileDate, files[i].versionText),
                                     level);
                progress.FileDone(size);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    const std::size_t threadCount =
        std::min<std::size_t>(files.size(), std::max(1u, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < threadCount; ++t) threads.emplace_back(work);
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    return packed;
}

std::int64_t TotalSize(const std::vector<PlannedFile>& files) {
    std::int64_t total = 0;
    for (const PlannedFile& file : files) total += file.size;
    return total;
}

}  // namespace

int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err) {
    const auto started = std::chrono::steady_clock::now();
    Refusals refusals;
    const std::optional<double> commonDate = CommonFileDate(options, refusals);
    const std::string firstName = options.selfExtracting ? "the first archive" : "the archive";
    std::vector<PlannedFile> planned =
        PlanArchive(options.first, firstName, options, commonDate, refusals);
    const std::vector<PlannedFile> second =
        PlanArchive(options.second, "the second archive", options, commonDate, refusals);
    Bytes loader;
    if (options.selfExtracting) {
        loader = ReadLoaderImage(options.loader, refusals);
        if (options.title->size() > SelfExtractTrailer::MaxTitleLength) {
            refusals.Add("the title is " + std::to_string(options.title->size()) +
                         " bytes; at most 82 fit");
        }
    }
    std::vector<fs::path> inputs;
    for (const auto* list : {&options.first, &options.second}) {
        for (const InputFile& input : *list) inputs.push_back(input.path);
    }
    if (options.selfExtracting) inputs.push_back(options.loader);
    for (const fs::path& input : inputs) {
        if (SamePath(options.output, input)) {
            refusals.Add("the output " + options.output.string() + " is also an input");
            break;
        }
    }
    if (refusals.Any()) {
        for (const std::string& reason : refusals.Reasons()) err << "veltrane-pack: " << reason << "\n";
        err << "veltrane-pack: nothing written\n";
        return 1;
    }
    WarnAboutStagedNames(planned, err);

    const std::size_t firstCount = planned.size();
    planned.insert(planned.end(), second.begin(), second.end());
    const std::int64_t bytesIn = TotalSize(planned);
    std::vector<PackedFile> packed;
    {
        ProgressBar progress(bytesIn, planned.size(), !options.quiet);
        packed = CompressAll(planned, options.level, progress);
    }
    const auto firstEnd = packed.begin() + static_cast<std::ptrdiff_t>(firstCount);
    const Bytes firstArchive = LayOutArchive(std::vector<PackedFile>(packed.begin(), firstEnd));
    const Bytes secondArchive = LayOutArchive(std::vector<PackedFile>(firstEnd, packed.end()));
    const Bytes whole =
        options.selfExtracting
            ? AssembleSelfExtracting(loader, firstArchive, secondArchive, *options.title)
            : firstArchive;

    PendingOutput output(options.output, options.selfExtracting);
    output.Write(whole);
    output.Commit();

    if (!options.quiet) {
        const auto bytesOut = static_cast<std::int64_t>(firstArchive.size() +
                                                        (options.selfExtracting ? secondArchive.size() : 0));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        out << "wrote " << options.output.string() << " (" << whole.size() << " bytes): "
            << planned.size() << (planned.size() == 1 ? " file, " : " files, ") << bytesIn
            << " bytes in, " << bytesOut << " bytes out, ratio " << std::fixed
            << std::setprecision(1)
            << (bytesIn > 0 ? 100.0 * static_cast<double>(bytesOut) / static_cast<double>(bytesIn) : 0.0)
            << "%, " << std::setprecision(2) << seconds << " s\n";
    }
    return 0;
}

}  // namespace veltrane::pack
