// Owning wrappers for the handles the loader opens, so that "closed on every path, normal or
// exceptional" is a property of the type rather than of each function. Move-only; the empty
// value is part of each type. Release never touches the error code a caller is about to read:
// callers read GetLastError right after the failing call, before any wrapper goes out of scope.
#pragma once

#include <utility>

#include "platform/WindowsApi.h"

namespace veltrane {

template <typename Traits>
class UniqueHandle {
public:
    UniqueHandle(WindowsApi& api, Handle handle) : api_(&api), handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : api_(other.api_), handle_(std::exchange(other.handle_, Traits::Empty)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            api_ = other.api_;
            handle_ = std::exchange(other.handle_, Traits::Empty);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Handle Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Empty; }
    explicit operator bool() const { return IsValid(); }

    // Releases the handle now; returns what the release call returned (true when empty).
    bool Reset() {
        if (!IsValid()) return true;
        return Traits::Release(*api_, std::exchange(handle_, Traits::Empty));
    }

private:
    WindowsApi* api_;
    Handle handle_;
};

struct FileHandleTraits {
    static constexpr Handle Empty = InvalidHandleValue;
    static bool Release(WindowsApi& api, Handle h) { return api.CloseHandle(h); }
};

struct FindHandleTraits {
    static constexpr Handle Empty = InvalidHandleValue;
    static bool Release(WindowsApi& api, Handle h) { return api.FindClose(h); }
};

struct DeviceContextTraits {
    static constexpr Handle Empty = NullHandle;
    static bool Release(WindowsApi& api, Handle h) { return api.DeleteDC(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using MemoryDeviceContext = UniqueHandle<DeviceContextTraits>;

// BeginPaint ... EndPaint as one scope: EndPaint runs however the painting ends.
class PaintBracket {
public:
    PaintBracket(WindowsApi& api, WindowHandle window) : api_(api), window_(window) {
        api_.BeginPaint(window_, &paint_);
    }
    ~PaintBracket() { api_.EndPaint(window_, &paint_); }
    PaintBracket(const PaintBracket&) = delete;
    PaintBracket& operator=(const PaintBracket&) = delete;

    Handle DeviceContext() const { return paint_.deviceContext; }

private:
    WindowsApi& api_;
    WindowHandle window_;
    PaintStruct paint_;
};

}  // namespace veltrane
