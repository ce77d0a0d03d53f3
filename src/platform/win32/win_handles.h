// Move-only owners of Windows handles: each gives its handle back on every way out, and none can
// be copied, so no handle is ever released twice.
#pragma once

#include <windows.h>

#include <utility>

namespace qm::win {

// Traits: `type`, `invalid()` and `close(type)`.
template <typename Traits> class Owned {
public:
    using Handle = typename Traits::type;

    Owned() = default;
    explicit Owned(Handle h) : handle_(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Traits::invalid())) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::invalid());
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::invalid(); }
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    void reset(Handle h = Traits::invalid())
    {
        if (handle_ != Traits::invalid())
            Traits::close(handle_);
        handle_ = h;
    }

private:
    Handle handle_ = Traits::invalid();
};

struct KeyTraits {
    using type = HKEY;
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
struct FileTraits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
// Kernel objects whose failure value is null rather than INVALID_HANDLE_VALUE (mutexes, say).
struct KernelTraits {
    using type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
struct ChangeTraits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindCloseChangeNotification(h); }
};
struct DcTraits {
    using type = HDC;
    static HDC invalid() { return nullptr; }
    static void close(HDC h) { DeleteDC(h); }
};
struct GdiObjectTraits {
    using type = HGDIOBJ;
    static HGDIOBJ invalid() { return nullptr; }
    static void close(HGDIOBJ h) { DeleteObject(h); }
};

using Key = Owned<KeyTraits>;
using File = Owned<FileTraits>;
using KernelObject = Owned<KernelTraits>;
using FindHandle = Owned<FindTraits>;
using ChangeHandle = Owned<ChangeTraits>;
using MemoryDc = Owned<DcTraits>; // a DC made by CreateCompatibleDC or CreateDCA
using GdiObject = Owned<GdiObjectTraits>;

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDcHandle {
public:
    explicit WindowDcHandle(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDcHandle()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    WindowDcHandle(WindowDcHandle&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr))
    {
    }
    WindowDcHandle& operator=(WindowDcHandle&&) = delete;
    WindowDcHandle(const WindowDcHandle&) = delete;
    WindowDcHandle& operator=(const WindowDcHandle&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a DC, with the one it replaced put back at the end.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection()
    {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    Selection(Selection&& other) noexcept
        : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr))
    {
    }
    Selection& operator=(Selection&&) = delete;
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

    bool ok() const { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace qm::win
