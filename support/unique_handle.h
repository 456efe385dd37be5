#pragma once
// Move-only owners for Win32 handles. One template, one small traits type per
// kind of handle, so every handle in the tree is closed exactly once.

#include <windows.h>
#include <wincrypt.h>

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

// Handles whose "none" is null or zero and that one call closes.
template <typename H, auto closeFunction>
struct NullableHandleTraits {
    using Handle = H;
    static Handle invalid() noexcept { return Handle{}; }
    static bool isValid(Handle h) noexcept { return h != Handle{}; }
    static void close(Handle h) noexcept { closeFunction(h); }
};

inline void releaseCryptProvider(HCRYPTPROV h) noexcept { CryptReleaseContext(h, 0); }
inline void closeCertStore(HCERTSTORE h) noexcept { CertCloseStore(h, 0); }

// CryptoAPI provider contexts, keys and hashes are all ULONG_PTR values: the
// traits, not the handle type, say how each is closed.
using CryptProviderTraits = NullableHandleTraits<HCRYPTPROV, releaseCryptProvider>;
using CryptKeyTraits = NullableHandleTraits<HCRYPTKEY, CryptDestroyKey>;
using CryptHashTraits = NullableHandleTraits<HCRYPTHASH, CryptDestroyHash>;
using CertStoreTraits = NullableHandleTraits<HCERTSTORE, closeCertStore>;
using CertContextTraits = NullableHandleTraits<PCCERT_CONTEXT, CertFreeCertificateContext>;
using CertChainTraits = NullableHandleTraits<PCCERT_CHAIN_CONTEXT, CertFreeCertificateChain>;
// Fonts, brushes, pens and bitmaps.
using GdiObjectTraits = NullableHandleTraits<HGDIOBJ, DeleteObject>;

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using CryptProvider = UniqueHandle<CryptProviderTraits>;
using CryptKey = UniqueHandle<CryptKeyTraits>;
using CryptHash = UniqueHandle<CryptHashTraits>;
using CertStore = UniqueHandle<CertStoreTraits>;
using CertContext = UniqueHandle<CertContextTraits>;
using CertChain = UniqueHandle<CertChainTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;

}  // namespace support
