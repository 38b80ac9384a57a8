#include "CommandLine.h"

#include <getopt.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <utility>

namespace veltrane::pack {
namespace {

constexpr const char* OverviewHelp = R"(Usage: veltrane-pack COMMAND [OPTIONS] ...

Builds what VeltraneLoadProgram loads: an archive "setup.1" or a self-extracting loader.

Commands:
  archive  write an archive to stand beside the plain loader
  sfx      append archives and a trailer to the loader: one self-extracting executable
  list     show the trailer and every file header of an archive or a self-extracting loader
  verify   check an archive or a self-extracting loader the way the loader will read it

Run "veltrane-pack COMMAND --help" for the options of a command.
Exit codes: 0 success, 1 refused, failed or not sound, 2 wrong command line.
)";

constexpr const char* FileOptionsHelp = R"(
The first FILE is the installation executable, which the loader starts; up to 49 more may
follow. Each is compressed as one zlib stream.

Options:
  -o, --output PATH       where to write; written under a temporary name, then renamed
      --base DIR          stored names are "C:\" + the path relative to DIR, with
                          backslashes (default: the current directory)
      --stored-name NAME  store the next FILE under NAME, a Windows path of at most 103 bytes
      --version-text TEXT give the next FILE a version text of at most 15 bytes
      --date DATE         date every file "YYYY-MM-DD[ HH:MM[:SS]]" (local time on the
                          machine that installs); without it SOURCE_DATE_EPOCH (seconds,
                          taken as UTC) dates every file, else each file's modification time
                          as local time
      --level N           compression level, 0 (store) to 12 (smallest), default 10
  -q, --quiet             no summary
  -h, --help              this text
)";

constexpr const char* ArchiveHelp = R"(Usage: veltrane-pack archive -o setup.1 [OPTIONS] INSTALLER [FILE ...]

Writes an archive for the plain loader, which reads it from "setup.1" beside itself.
)";

constexpr const char* SfxHelp = R"(Usage: veltrane-pack sfx -o product.exe --loader VeltraneLoadProgram.exe --title TITLE
                         [--second FILE ...] [OPTIONS] INSTALLER [FILE ...]

Writes a self-extracting loader: the loader image, the first archive (the files the loader
stages), the second archive (carried for the installation program, never read by the loader)
and the 136-byte trailer with the product title.

      --loader EXE        the loader image, a Windows executable
      --title TITLE       the product title, at most 82 bytes
      --second FILE       put FILE into the second archive (at most 50 files)
)";

constexpr const char* ListHelp = R"(Usage: veltrane-pack list [--json] FILE

Shows the form of FILE (an archive or a self-extracting loader), the trailer's offsets and
title, and each file header: stored name, the name the loader stages it under, offsets, sizes
and date.

      --json              the same as one JSON object
  -h, --help              this text
)";

constexpr const char* VerifyHelp = R"(Usage: veltrane-pack verify [--strict] FILE

Walks the header chain as the loader does, checks each span against its header and the file,
inflates each stream and compares its length with OriginalSize and its Adler-32, and reports
every problem it finds. Warns where the loader would stage two files under one name, where a
name cannot be created on Windows, and where a field the loader ignores is not as a writer
puts it. Exit code 0 only for a sound file.

      --strict            count warnings as problems
  -h, --help              this text
)";

enum OptionCode : int {
    Base = 256,
    StoredName,
    VersionText,
    Date,
    Level,
    Loader,
    Title,
    Second,
    Json,
    Strict,
};

constexpr option BuildOptionTable[] = {
    {"output", required_argument, nullptr, 'o'},
    {"base", required_argument, nullptr, Base},
    {"stored-name", required_argument, nullptr, StoredName},
    {"version-text", required_argument, nullptr, VersionText},
    {"date", required_argument, nullptr, Date},
    {"level", required_argument, nullptr, Level},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"loader", required_argument, nullptr, Loader},
    {"title", required_argument, nullptr, Title},
    {"second", required_argument, nullptr, Second},
    {nullptr, 0, nullptr, 0},
};
constexpr std::size_t SfxOnlyOptions = 3;

constexpr option InspectOptionTable[] = {
    {"json", no_argument, nullptr, Json},
    {"strict", no_argument, nullptr, Strict},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// getopt_long over one command's arguments, in order: options by their codes, operands as 1.
class OptionReader {
public:
    OptionReader(const std::string& command, const std::vector<std::string>& arguments)
        : command_(command) {
        storage_.push_back("veltrane-pack " + command);
        storage_.insert(storage_.end(), arguments.begin(), arguments.end());
        for (std::string& argument : storage_) argv_.push_back(argument.data());
        argv_.push_back(nullptr);
        optind = 0;  // glibc: start afresh
        opterr = 0;
    }

    // The next option's code, 1 for an operand, -1 at the end; mistakes raise UsageError.
    int Next(const char* shortOptions, const option* table) {
        const int code = getopt_long(static_cast<int>(argv_.size() - 1), argv_.data(),
                                     shortOptions, table, nullptr);
        if (code == '?') {
            throw UsageError(command_ + ": unknown option " + std::string(argv_[optind - 1]));
        }
        if (code == ':') {
            throw UsageError(command_ + ": option " + std::string(argv_[optind - 1]) +
                             " needs a value");
        }
        argument_ = optarg ? optarg : "";
        return code;
    }
    const std::string& Argument() const { return argument_; }
    // The operands after "--".
    std::vector<std::string> Rest() const {
        return std::vector<std::string>(argv_.begin() + optind, argv_.end() - 1);
    }

private:
    std::string command_;
    std::vector<std::string> storage_;
    std::vector<char*> argv_;
    std::string argument_;
};

int ParseLevel(const std::string& text) {
    int level = -1;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d%n", &level, &consumed) != 1 ||
        consumed != static_cast<int>(text.size()) || level < MinCompressionLevel ||
        level > MaxCompressionLevel) {
        throw UsageError("--level " + text + ": give a number from 0 to 12");
    }
    return level;
}

Command ParseBuild(const std::string& command, const std::vector<std::string>& arguments) {
    BuildOptions options;
    options.selfExtracting = command == "sfx";
    const std::size_t tableSize = std::size(BuildOptionTable) - 1;
    std::vector<option> table(BuildOptionTable,
                              BuildOptionTable + tableSize -
                                  (options.selfExtracting ? 0 : SfxOnlyOptions));
    table.push_back({nullptr, 0, nullptr, 0});

    InputFile next;  // what the options for one file have said so far
    bool pendingFileOptions = false;
    const auto addFile = [&](std::vector<InputFile>& to, const std::string& path) {
        next.path = path;
        to.push_back(std::exchange(next, InputFile{}));
        pendingFileOptions = false;
    };
    OptionReader reader(command, arguments);
    for (int code; (code = reader.Next("-:o:qh", table.data())) != -1;) {
        const std::string& value = reader.Argument();
        switch (code) {
            case 1: addFile(options.first, value); break;
            case 'o': options.output = value; break;
            case 'q': options.quiet = true; break;
            case 'h': return ShowHelp{std::string(options.selfExtracting ? SfxHelp : ArchiveHelp) +
                                      FileOptionsHelp};
            case Base: options.base = value; break;
            case StoredName: next.storedName = value; pendingFileOptions = true; break;
            case VersionText: next.versionText = value; pendingFileOptions = true; break;
            case Date:
                options.date = ParseDate(value);
                if (!options.date) {
                    throw UsageError("--date " + value + ": give a date as YYYY-MM-DD, "
                                     "YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS");
                }
                break;
            case Level: options.level = ParseLevel(value); break;
            case Loader: options.loader = value; break;
            case Title: options.title = value; break;
            case Second: addFile(options.second, value); break;
        }
    }
    for (const std::string& path : reader.Rest()) addFile(options.first, path);

    if (pendingFileOptions) {
        throw UsageError(command + ": --stored-name and --version-text go before the FILE they "
                                   "are for, and no FILE follows");
    }
    if (options.output.empty()) throw UsageError(command + ": give the output with -o PATH");
    if (options.first.empty()) {
        throw UsageError(command + ": give the installation executable and the other files");
    }
    if (options.selfExtracting && options.loader.empty()) {
        throw UsageError("sfx: give the loader image with --loader EXE");
    }
    if (options.selfExtracting && !options.title) {
        throw UsageError("sfx: give the product title with --title TITLE");
    }
    return options;
}

template <typename Options>
Command ParseInspect(const std::string& command, const std::vector<std::string>& arguments,
                     const char* help) {
    Options options;
    std::vector<std::string> files;
    OptionReader reader(command, arguments);
    for (int code; (code = reader.Next("-:h", InspectOptionTable)) != -1;) {
        if (code == 'h') return ShowHelp{help};
        if (code == 1) files.push_back(reader.Argument());
        if constexpr (requires { options.json; }) {
            if (code == Json) options.json = true;
        } else {
            if (code == Json) throw UsageError(command + ": unknown option --json");
        }
        if constexpr (requires { options.strict; }) {
            if (code == Strict) options.strict = true;
        } else {
            if (code == Strict) throw UsageError(command + ": unknown option --strict");
        }
    }
    for (const std::string& path : reader.Rest()) files.push_back(path);
    if (files.size() != 1) throw UsageError(command + ": give exactly one FILE");
    options.file = files.front();
    return options;
}

}  // namespace

std::optional<CivilTime> ParseDate(const std::string& text) {
    static const std::regex Pattern(R"((\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2}))?)?)");
    std::smatch match;
    if (!std::regex_match(text, match, Pattern)) return std::nullopt;
    const auto field = [&](std::size_t i) { return match[i].matched ? std::stoi(match[i]) : 0; };
    const CivilTime time(field(1), field(2), field(3), field(4), field(5), field(6));
    const std::chrono::year_month_day date{std::chrono::year{time.year},
                                           std::chrono::month{static_cast<unsigned>(time.month)},
                                           std::chrono::day{static_cast<unsigned>(time.day)}};
    if (!date.ok() || time.year < 1 || time.hour > 23 || time.minute > 59 || time.second > 59) {
        return std::nullopt;
    }
    return time;
}

Command ParseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) throw UsageError("give a command: archive, sfx, list or verify");
    const std::string& command = arguments.front();
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "-h" || command == "--help" || command == "help") {
        if (command == "help" && !rest.empty()) return ParseCommandLine({rest.front(), "--help"});
        return ShowHelp{OverviewHelp};
    }
    if (command == "--version") return ShowVersion{};
    if (command == "archive" || command == "sfx") return ParseBuild(command, rest);
    if (command == "list") return ParseInspect<ListOptions>(command, rest, ListHelp);
    if (command == "verify") return ParseInspect<VerifyOptions>(command, rest, VerifyHelp);
    throw UsageError("unknown command " + command + "; the commands are archive, sfx, list and "
                                                    "verify");
}

}  // namespace veltrane::pack
