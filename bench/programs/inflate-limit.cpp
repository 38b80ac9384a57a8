// The limit of the loader's extraction: the least work that turns the loader's zlib streams
// into files the way the loader does. It reads each stream from the installer file with reads
// of at most 65536 bytes, never past the stream's span, inflates it with the same zlib into a
// 4096-byte block, writes each block, and does nothing else: no progress, no dates, no checks
// beyond zlib's own.
//
//   bench-inflate-limit INSTALLER OUTPUT_DIRECTORY LIST
//
// LIST holds one line per stream, "<offset> <length> <name>": the span's first byte in
// INSTALLER, its length, and the file to make in OUTPUT_DIRECTORY. Built for Windows (run under
// Wine, the loader's own calls: CreateFileA, SetFilePointer, ReadFile, WriteFile) and natively
// (open, lseek, read, write). Exit code 0 when every stream came out whole.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/WindowsHeader.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::uint32_t InputBufferSize = 65536;
constexpr std::uint32_t OutputBlockSize = 4096;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// A file opened for reading or made anew for writing, closed by the destructor; on Windows
// through the calls the loader makes, elsewhere through POSIX.
#ifdef _WIN32
class File {
public:
    static File Open(const std::string& name) {
        return File(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr), name);
    }
    // The loader's own way of making a staged file.
    static File Create(const std::string& name) {
        return File(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr), name);
    }
    File(File&& other) noexcept : handle_(other.handle_), name_(std::move(other.name_)) {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File& operator=(File&&) = delete;
    ~File() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }

    void Seek(std::uint32_t offset) {
        if (SetFilePointer(handle_, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER) {
            Fail("cannot seek in " + name_);
        }
    }
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t size) {
        DWORD read = 0;
        if (!ReadFile(handle_, buffer, size, &read, nullptr)) Fail("cannot read " + name_);
        return read;
    }
    void Write(const std::uint8_t* buffer, std::uint32_t size) {
        DWORD written = 0;
        if (!WriteFile(handle_, buffer, size, &written, nullptr) || written != size) {
            Fail("cannot write " + name_);
        }
    }

private:
    File(HANDLE handle, const std::string& name) : handle_(handle), name_(name) {
        if (handle_ == INVALID_HANDLE_VALUE) Fail("cannot open " + name_);
    }
    HANDLE handle_;
    std::string name_;
};
#else
class File {
public:
    static File Open(const std::string& name) { return File(open(name.c_str(), O_RDONLY), name); }
    static File Create(const std::string& name) {
        return File(open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644), name);
    }
    File(File&& other) noexcept : handle_(other.handle_), name_(std::move(other.name_)) {
        other.handle_ = -1;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File& operator=(File&&) = delete;
    ~File() {
        if (handle_ >= 0) close(handle_);
    }

    void Seek(std::uint32_t offset) {
        if (lseek(handle_, offset, SEEK_SET) < 0) Fail("cannot seek in " + name_);
    }
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t size) {
        const ssize_t read = ::read(handle_, buffer, size);
        if (read < 0) Fail("cannot read " + name_);
        return static_cast<std::uint32_t>(read);
    }
    void Write(const std::uint8_t* buffer, std::uint32_t size) {
        if (write(handle_, buffer, size) != static_cast<ssize_t>(size)) Fail("cannot write " + name_);
    }

private:
    File(int handle, const std::string& name) : handle_(handle), name_(name) {
        if (handle_ < 0) Fail("cannot open " + name_);
    }
    int handle_;
    std::string name_;
};
#endif

// One zlib stream from init to end.
class Inflater {
public:
    Inflater() {
        if (inflateInit(&stream_) != Z_OK) Fail("inflateInit failed");
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream& Stream() { return stream_; }

private:
    z_stream stream_{};
};

struct Span {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::string name;
};

std::vector<Span> ReadList(const char* listFile) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(listFile, "r"), std::fclose);
    if (!in) Fail(std::string("cannot open the list ") + listFile);
    std::vector<Span> spans;
    unsigned long offset = 0;
    unsigned long length = 0;
    char name[261];
    while (std::fscanf(in.get(), "%lu %lu %260s", &offset, &length, name) == 3) {
        spans.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length), name});
    }
    if (!std::feof(in.get()) || spans.empty()) Fail(std::string("cannot read the list ") + listFile);
    return spans;
}

// zpipe's loop: one place refills the input, one drains each output block.
void InflateSpan(File& archive, const Span& span, File& output, std::uint8_t* input) {
    archive.Seek(span.offset);
    std::uint32_t remaining = span.length;
    Inflater inflater;
    z_stream& z = inflater.Stream();
    std::uint8_t block[OutputBlockSize];
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        z.next_out = block;
        z.avail_out = OutputBlockSize;
        while (z.avail_out > 0 && result != Z_STREAM_END) {
            if (z.avail_in == 0) {
                z.avail_in = archive.Read(input, std::min(remaining, InputBufferSize));
                z.next_in = input;
                remaining -= z.avail_in;
                if (z.avail_in == 0) Fail(span.name + ": the stream ends early");
            }
            result = inflate(&z, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END) Fail(span.name + ": inflate failed");
        }
        const std::uint32_t length = OutputBlockSize - z.avail_out;
        if (length > 0) output.Write(block, length);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-inflate-limit INSTALLER OUTPUT_DIRECTORY LIST\n");
        return 2;
    }
    try {
        const std::vector<Span> spans = ReadList(argv[3]);
        const std::string directory = std::string(argv[2]) + "/";
        File archive = File::Open(argv[1]);
        const auto input = std::make_unique<std::uint8_t[]>(InputBufferSize);
        for (const Span& span : spans) {
            File output = File::Create(directory + span.name);
            InflateSpan(archive, span, output, input.get());
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench-inflate-limit: %s\n", failure.what());
        return 1;
    }
    return 0;
}
