#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/writer/ArchiveWriter.h"

namespace veltrane::pack {
namespace {

std::string Failure(const std::string& action, const std::filesystem::path& path, int error) {
    return "cannot " + action + " " + path.string() + ": " + ErrnoText(error);
}

}  // namespace

std::string ErrnoText(int error) { return std::strerror(error); }

FileDescriptor::~FileDescriptor() { Close(); }

bool FileDescriptor::Close() {
    if (fd_ < 0) return true;
    return ::close(std::exchange(fd_, -1)) == 0;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) throw PackError(Failure("read", path, errno));
    std::vector<std::uint8_t> content;
    std::uint8_t block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw PackError(Failure("read", path, errno));
        if (got == 0) return content;
        content.insert(content.end(), block, block + got);
        if (static_cast<std::int64_t>(content.size()) >= MaxArchiveBytes) {
            throw PackError(path.string() + " is 2 GiB or more; the archive's offsets are 32-bit "
                                            "signed, so a file must stay below 2 GiB");
        }
    }
}

PendingOutput::PendingOutput(std::filesystem::path target, bool executable)
    : target_(std::move(target)) {
    std::string name = target_.string() + ".XXXXXX";
    fd_ = FileDescriptor(::mkstemp(name.data()));
    if (fd_.Get() < 0) throw PackError(Failure("create a file beside", target_, errno));
    temporary_ = name;
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_.Get(), (executable ? 0777 : 0666) & ~mask);
}

PendingOutput::~PendingOutput() {
    if (!committed_) {
        fd_.Close();
        ::unlink(temporary_.c_str());
    }
}

void PendingOutput::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_.Get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) throw PackError(Failure("write", target_, errno));
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

void PendingOutput::Commit() {
    if (::fsync(fd_.Get()) != 0 || !fd_.Close()) throw PackError(Failure("write", target_, errno));
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw PackError(Failure("rename the finished file to", target_, errno));
    }
    committed_ = true;
}

}  // namespace veltrane::pack
