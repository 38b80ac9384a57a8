#include "filelist/TextFileWriter.h"

#include "exceptions/exceptions_Veltrane.h"

namespace veltrane {

TextFileWriter::TextFileWriter(WindowsApi& api, const std::string& path)
    : api_(api),
      file_(api, api.CreateFileA(path.c_str(), win::GenericWrite, win::FileShareRead, win::CreateAlways,
                                 win::FileAttributeNormal)) {
    if (!file_) throw EInOutError(api_.GetLastError());
    buffer_.reserve(BufferSize);
}

TextFileWriter::~TextFileWriter() {
    if (!file_) return;
    Flush();
    file_.Reset();
}

void TextFileWriter::WriteLine(std::string_view text) {
    Append(text);
    Append("\r\n");
    RaiseIfFailed();
}

void TextFileWriter::Close() {
    Flush();
    if (!file_.Reset() && errorCode_ == 0) errorCode_ = api_.GetLastError();
    RaiseIfFailed();
}

void TextFileWriter::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t room = BufferSize - buffer_.size();
        buffer_.append(bytes.substr(0, room));
        bytes.remove_prefix(std::min(room, bytes.size()));
        if (buffer_.size() == BufferSize) Flush();
    }
}

// After a failure nothing more is written, as with the run time's text files.
void TextFileWriter::Flush() {
    if (buffer_.empty() || errorCode_ != 0) {
        buffer_.clear();
        return;
    }
    std::uint32_t written = 0;
    const auto length = static_cast<std::uint32_t>(buffer_.size());
    if (!api_.WriteFile(file_.Get(), buffer_.data(), length, &written)) {
        errorCode_ = api_.GetLastError();
    } else if (written != length) {
        errorCode_ = 101;  // the run time's "Disk full"
    }
    buffer_.clear();
}

void TextFileWriter::RaiseIfFailed() const {
    if (errorCode_ != 0) throw EInOutError(errorCode_);
}

}  // namespace veltrane
