#pragma once
// Move-only owners for Win32 handles. One template, one small traits type per
// kind of handle, so every handle in the tree is closed exactly once.

#include <windows.h>

#include <utility>

namespace support {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    bool valid() const noexcept { return Traits::isValid(handle_); }
    explicit operator bool() const noexcept { return valid(); }
    Handle get() const noexcept { return handle_; }

    // For out-parameters of creating calls; whatever was held is closed first.
    Handle* receive() noexcept {
        reset();
        return &handle_;
    }

    Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    // Closing never disturbs the caller's view of the last error: a handle
    // often goes out of scope between a failing call and its report.
    void reset(Handle handle = Traits::invalid()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (Traits::isValid(old)) {
            DWORD lastError = GetLastError();
            Traits::close(old);
            SetLastError(lastError);
        }
    }

private:
    Handle handle_ = Traits::invalid();
};

// Kernel objects: files, events, processes, threads, mappings, pipes. Both NULL
// and INVALID_HANDLE_VALUE mean "none", since creating calls disagree on which.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { RegCloseKey(h); }
};

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { CloseServiceHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { FindClose(h); }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { FreeLibrary(h); }
};

// Blocks the system allocated for the caller (FormatMessage's buffers).
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { LocalFree(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;

}  // namespace support
