// The builder's own file handling on the build machine: reading inputs whole, and writing the
// output under a temporary name that becomes the real one only when everything is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace veltrane::pack {

// A refusal or failure the user must hear about; the message names the file and the reason.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole file; reads that fail or a file that grows to 2 GiB raise PackError.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// A file descriptor that closes itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~FileDescriptor();
    int Get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a delayed write error shows here).
    bool Close();

private:
    int fd_;
};

// The output, written beside its final place under a temporary name. Commit renames it into
// place; until then, and whenever the writing fails, the temporary file is removed, so a failed
// build leaves no half-written output.
class PendingOutput {
public:
    PendingOutput(std::filesystem::path target, bool executable);
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    ~PendingOutput();

    void Write(std::span<const std::uint8_t> bytes);
    void Commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    FileDescriptor fd_;
    bool committed_ = false;
};

std::string ErrnoText(int error);

}  // namespace veltrane::pack
