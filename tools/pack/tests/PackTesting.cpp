#include "PackTesting.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace veltrane::pack::packtest {
namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-pack-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path ScratchDirectory::Write(const std::string& name, const Bytes& content) const {
    const fs::path path = path_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    return path;
}

std::vector<std::string> ScratchDirectory::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (name == "SOURCE_DATE_EPOCH" || name == "TZ" || overrides.contains(name)) continue;
        environment.push_back(variable);
    }
    for (const auto& [name, value] : overrides) environment.push_back(name + "=" + value);
    return environment;
}

}  // namespace

Outcome RunPack(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                const std::map<std::string, std::string>& environment) {
    // The captured output lives outside the working directory, which tests look into.
    char outPattern[] = "/tmp/veltrane-pack-out-XXXXXX";
    char errPattern[] = "/tmp/veltrane-pack-err-XXXXXX";
    const int outFd = ::mkstemp(outPattern);
    const int errFd = ::mkstemp(errPattern);

    std::vector<std::string> argvStorage = {VELTRANE_PACK};
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argvStorage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStorage = Environment(environment);
    std::vector<char*> envp;
    for (std::string& variable : envStorage) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        if (::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(outFd);
    ::close(errFd);
    Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(outPattern),
                    ReadText(errPattern)};
    ::unlink(outPattern);
    ::unlink(errPattern);
    return outcome;
}

Bytes MinimalWindowsExecutable() {
    Bytes image(256, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteInt32(&image[0x3C], 0x80);
    std::copy_n("PE\0\0", 4, &image[0x80]);
    return image;
}

ArchiveFileHeader HeaderAt(const Bytes& file, std::size_t start, int index) {
    std::size_t position = start + FirstHeaderOffset;
    ArchiveFileHeader header;
    for (int i = 0; i <= index; ++i) {
        std::copy_n(&file.at(position), ArchiveFileHeader::Size, header.bytes.begin());
        position = start + static_cast<std::size_t>(header.NextHeader());
    }
    return header;
}

}  // namespace veltrane::pack::packtest
