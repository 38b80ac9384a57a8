// Buffered text output to a file, in the manner of the run time's text files: lines collect in
// a small buffer, so a failing write may show only at a later line or at the close, and any
// failure is raised as EInOutError with the operating system's error code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Handles.h"

namespace veltrane {

class TextFileWriter {
public:
    static constexpr std::size_t BufferSize = 128;

    // Creates or empties the file for writing, others may read it meanwhile; EInOutError when
    // it cannot be created.
    TextFileWriter(WindowsApi& api, const std::string& path);
    // Flushes what is buffered and closes the file; failures are not reported on this path.
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    // Adds the text and CR LF; raises EInOutError when any write so far has failed.
    void WriteLine(std::string_view text);
    // Flushes and closes; raises EInOutError when that or any earlier write failed.
    void Close();

private:
    void Append(std::string_view bytes);
    void Flush();
    void RaiseIfFailed() const;

    WindowsApi& api_;
    FileHandle file_;
    std::string buffer_;
    std::uint32_t errorCode_ = 0;  // the first failure's code; 0 while all is well
};

}  // namespace veltrane
