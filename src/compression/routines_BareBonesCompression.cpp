#include "compression/routines_BareBonesCompression.h"

#include "exceptions/exceptions_Veltrane.h"

namespace veltrane {

voidpf ZAllocMem(voidpf opaque, uInt items, uInt size) {
    auto& memory = *static_cast<ZlibMemory*>(opaque);
    const std::uint64_t bytes = std::uint64_t{items} * size;
    if (bytes == 0) return nullptr;
    void* block = memory.api->AllocateMemory(static_cast<std::size_t>(bytes));
    if (block == nullptr) memory.allocationFailed = true;
    return block;
}

void ZFreeMem(voidpf opaque, voidpf block) {
    if (block == nullptr) return;
    static_cast<ZlibMemory*>(opaque)->api->ReleaseMemory(block);
}

int CheckZResult(int result) {
    if (result < 0) throw Exception("error");
    return result;
}

InflateStream::InflateStream(WindowsApi& api) : memory_{&api, false} {
    stream_.zalloc = ZAllocMem;
    stream_.zfree = ZFreeMem;
    stream_.opaque = &memory_;
    stream_.next_in = Z_NULL;
    stream_.avail_in = 0;
    // inflateInit is a macro passing zlib's version text and the size of its z_stream.
    // A stream that fails to start releases its own state, and the destructor does not run.
    Check(inflateInit_(&stream_, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))));
}

InflateStream::~InflateStream() { inflateEnd(&stream_); }

int InflateStream::Inflate() { return Check(inflate(&stream_, Z_NO_FLUSH)); }

int InflateStream::Check(int result) {
    if (result == Z_MEM_ERROR && memory_.allocationFailed) throw EOutOfMemory();
    return CheckZResult(result);
}

}  // namespace veltrane
