// The loader's thin layer over the inflate half of zlib: the allocation hooks, the check that
// turns a negative zlib result into an exception, and one inflate stream as an owning type.
#pragma once

#include <zlib.h>

#include "platform/WindowsApi.h"

namespace veltrane {

// What zlib's opaque pointer carries to the hooks: the allocator of the Windows the loader runs
// on, and whether an allocation has failed. A failed allocation is reported to zlib as a null
// block rather than by throwing, because an exception must not unwind through zlib's C frames
// (on i386 Windows they carry no unwind information); the stream turns it into EOutOfMemory.
struct ZlibMemory {
    WindowsApi* api = nullptr;
    bool allocationFailed = false;
};

voidpf ZAllocMem(voidpf opaque, uInt items, uInt size);
void ZFreeMem(voidpf opaque, voidpf block);

// Returns a result of 0 or above unchanged; raises Exception "error" for a negative one.
int CheckZResult(int result);

// One zlib-format stream (default window of 2^15 bytes), set up by the constructor and ended by
// the destructor, on every path.
class InflateStream {
public:
    explicit InflateStream(WindowsApi& api);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    z_stream& Record() { return stream_; }
    // inflate with Z_NO_FLUSH, its result checked: EOutOfMemory when zlib could not have its
    // memory, "error" for every other negative result.
    int Inflate();

private:
    int Check(int result);

    ZlibMemory memory_;
    z_stream stream_{};
};

}  // namespace veltrane
