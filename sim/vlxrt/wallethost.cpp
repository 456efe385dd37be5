// wallethost: a stand-in for the network-security host that loads wallet
// plug-ins. It loads one plug-in, registers it, builds the host records at
// their agreed offsets and drives the method table through a script given on
// the command line, printing one line per operation: its name, the result
// code and what it got back.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/vlxrt/host_script.h"
#include "sim/vlxrt/host_services.h"
#include "sim/vlxrt/vlxsim.h"
#include "support/unique_handle.h"
#include "wallet/common/wallet_contract.h"
#include "wallet/common/wallet_memory.h"

namespace wallethost {

namespace {

using wallet::ResultCode;
using Bytes = std::vector<std::uint8_t>;

constexpr int kExitUsage = 2;
constexpr int kExitPlugin = 3;
constexpr std::uint32_t kDefaultSignatureCapacity = 4096;
constexpr std::uint8_t kUntouched = 0xCC;
constexpr unsigned kMaxSweep = 1000;

bool readFile(const std::wstring& path, Bytes& bytes) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    bytes.assign(GetFileSize(file.get(), nullptr), 0);
    DWORD got = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
           got == bytes.size();
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Host records are zero-filled blocks larger than any offset a plug-in reads.
template <typename Record>
std::unique_ptr<Record> zeroedRecord() {
    auto record = std::make_unique<Record>();
    std::memset(record.get(), 0, sizeof(Record));
    return record;
}

class ScriptError {
public:
    explicit ScriptError(std::wstring message) : message(std::move(message)) {}
    std::wstring message;
};

class PluginHost {
public:
    PluginHost(const wallet::WalletMethodTable* methods, const Options& options)
        : methods_(methods), borrowed_(options.borrowedResults), services_(options.services) {
        context_ = zeroedRecord<wallet::HostContext>();
        contextPointer_ = context_.get();
        services_.attach(*context_);
    }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;
    ~PluginHost() { forgetKeyRecord(); }

    void run(const Step& step) {
        using Handler = void (PluginHost::*)(const Step&);
        static const std::map<std::wstring, Handler> handlers = {
            {L"init", &PluginHost::init},
            {L"login", &PluginHost::login},
            {L"logout", &PluginHost::logout},
            {L"reserved3", &PluginHost::reserved3},
            {L"reserved8", &PluginHost::reserved8},
            {L"keypaircount", &PluginHost::keyPairCount},
            {L"trustpointcount", &PluginHost::trustpointCount},
            {L"trustpoints", &PluginHost::trustpoints},
            {L"keypair", &PluginHost::keyPair},
            {L"sign", &PluginHost::sign},
            {L"decrypt", &PluginHost::decrypt},
            {L"encrypt", &PluginHost::encrypt},
            {L"verify", &PluginHost::verify},
            {L"validate", &PluginHost::validate},
            {L"certinfo", &PluginHost::certInfo},
            {L"memory", &PluginHost::memory},
            {L"serverflag", &PluginHost::serverFlag},
        };
        (this->*handlers.at(step.operation))(step);
    }

private:
    wallet::Host host() { return &contextPointer_; }
    wallet::Key key() { return &keyRecord_; }

    // A slot the plug-in leaves empty is reported, not called.
    template <typename Slot>
    bool offered(const char* name, Slot slot) {
        if (slot != nullptr) return true;
        std::printf("%s absent\n", name);
        return false;
    }

    static void report(const char* name, ResultCode code, const std::string& details = {}) {
        std::printf("%s %lu%s\n", name, static_cast<unsigned long>(code), details.c_str());
        std::fflush(stdout);
    }

    static std::string bytesField(const std::uint8_t* bytes, std::uint32_t length) {
        return " length=" + std::to_string(length) + " bytes=" + toHex(bytes, length);
    }

    static Bytes fileArgument(const Step& step, std::size_t index) {
        Bytes bytes;
        if (!readFile(step.arguments.at(index), bytes)) {
            throw ScriptError(L"cannot read " + step.arguments.at(index));
        }
        return bytes;
    }

    static std::uint32_t numberArgument(const Step& step, std::size_t index,
                                        std::uint32_t fallback) {
        if (index >= step.arguments.size()) return fallback;
        std::uint32_t value = 0;
        if (!parseNumber(step.arguments[index], value)) {
            throw ScriptError(L"not a number: " + step.arguments[index]);
        }
        return value;
    }

    // The host owns what a plug-in hands out and releases it by the rule,
    // unless the plug-in keeps it.
    void releaseResult(void* block) {
        if (!borrowed_) wallet::releaseBlock(block);
    }

    void forgetKeyRecord() {
        releaseResult(keyRecord_);
        keyRecord_ = nullptr;
    }

    void init(const Step&) {
        if (offered("init", methods_->Init)) report("init", methods_->Init(host()));
    }

    // Locator and password as given (without their NULs in the lengths), or empty.
    void login(const Step& step) {
        if (!offered("login", methods_->Login)) return;
        std::string locator = step.arguments.size() > 0 ? narrow(step.arguments[0]) : "";
        std::string password = step.arguments.size() > 1 ? narrow(step.arguments[1]) : "";
        report("login", methods_->Login(host(), static_cast<std::uint32_t>(locator.size()),
                                        locator.data(), static_cast<std::uint32_t>(password.size()),
                                        password.data(), &wallet_));
    }

    // The wallet and the key records it gave are dead after this.
    void logout(const Step&) {
        if (!offered("logout", methods_->Logout)) return;
        report("logout", methods_->Logout(host(), wallet_));
        wallet_ = nullptr;
        forgetKeyRecord();
    }

    void reserved3(const Step&) {
        if (offered("reserved3", methods_->Reserved3)) report("reserved3", methods_->Reserved3());
    }

    void reserved8(const Step&) {
        if (offered("reserved8", methods_->Reserved8)) report("reserved8", methods_->Reserved8());
    }

    void keyPairCount(const Step&) {
        if (!offered("keypaircount", methods_->GetKeyPairCount)) return;
        std::uint32_t count = 0;
        const ResultCode code = methods_->GetKeyPairCount(host(), wallet_, &count);
        report("keypaircount", code, " count=" + std::to_string(count));
    }

    void trustpointCount(const Step&) {
        if (!offered("trustpointcount", methods_->GetTrustpointCount)) return;
        std::uint32_t count = 0;
        const ResultCode code = methods_->GetTrustpointCount(host(), wallet_, &count);
        report("trustpointcount", code, " count=" + std::to_string(count));
    }

    void trustpoints(const Step&) {
        if (!offered("trustpoints", methods_->GetTrustpoints)) return;
        std::uint8_t* certificate = nullptr;
        std::uint32_t length = 0;
        const ResultCode code = methods_->GetTrustpoints(host(), wallet_, &certificate, &length);
        report("trustpoints", code, code == wallet::kOk ? bytesField(certificate, length) : "");
        if (code == wallet::kOk) releaseResult(certificate);
    }

    // Keeps the key record for the operations that need a key.
    void keyPair(const Step&) {
        if (!offered("keypair", methods_->GetKeyPair)) return;
        std::uint8_t* certificate = nullptr;
        std::uint32_t length = 0;
        void* record = nullptr;
        std::uint32_t recordSize = 0;
        const ResultCode code =
            methods_->GetKeyPair(host(), wallet_, &certificate, &length, &record, &recordSize);
        if (code != wallet::kOk) {
            report("keypair", code);
            return;
        }
        report("keypair", code,
               bytesField(certificate, length) + " keysize=" + std::to_string(recordSize));
        releaseResult(certificate);
        forgetKeyRecord();
        keyRecord_ = record;
    }

    void sign(const Step& step) {
        if (!offered("sign", methods_->Sign)) return;
        const Bytes hash = fileArgument(step, 0);
        std::uint32_t length = numberArgument(step, 1, kDefaultSignatureCapacity);
        Bytes signature(length, kUntouched);
        // A capacity of 0 is a host that passes no buffer at all.
        std::uint8_t* buffer = signature.empty() ? nullptr : signature.data();
        const ResultCode code = methods_->Sign(
            key(), hash.data(), static_cast<std::uint32_t>(hash.size()), &buffer, &length);
        const auto shown =
            static_cast<std::uint32_t>(std::min<std::size_t>(length, signature.size()));
        report("sign", code, code == wallet::kOk ? bytesField(signature.data(), shown) : "");
    }

    // Shows the whole buffer: the plug-in tells no length, and what it left
    // untouched matters as much as what it wrote.
    void decrypt(const Step& step) {
        if (!offered("decrypt", methods_->Decrypt)) return;
        const Bytes data = fileArgument(step, 0);
        std::uint32_t capacity = numberArgument(step, 1, 0);
        Bytes output(capacity, kUntouched);
        const ResultCode code = methods_->Decrypt(
            key(), data.data(), static_cast<std::uint32_t>(data.size()), output.data(), &capacity);
        report("decrypt", code,
               bytesField(output.data(), static_cast<std::uint32_t>(output.size())) +
                   " capacity=" + std::to_string(capacity));
    }

    std::unique_ptr<wallet::PeerRecord> peerRecord(const Bytes& certificate) {
        auto peer = zeroedRecord<wallet::PeerRecord>();
        peer->length = static_cast<std::uint32_t>(certificate.size());
        peer->der = certificate.data();
        return peer;
    }

    void encrypt(const Step& step) {
        if (!offered("encrypt", methods_->Encrypt)) return;
        const Bytes certificate = fileArgument(step, 0);
        const Bytes data = fileArgument(step, 1);
        const std::uint32_t size = numberArgument(step, 2, 0);
        Bytes output(size, kUntouched);
        const ResultCode code =
            methods_->Encrypt(nullptr, peerRecord(certificate).get(), data.data(),
                              static_cast<std::uint32_t>(data.size()), output.data(), size);
        report("encrypt", code, bytesField(output.data(), size));
    }

    void verify(const Step& step) {
        if (!offered("verify", methods_->Verify)) return;
        const Bytes certificate = fileArgument(step, 0);
        const Bytes hash = fileArgument(step, 1);
        const Bytes signature = fileArgument(step, 2);
        report("verify", methods_->Verify(nullptr, peerRecord(certificate).get(), hash.data(),
                                          static_cast<std::uint32_t>(hash.size()), signature.data(),
                                          static_cast<std::uint32_t>(signature.size())));
    }

    // Without a file the host passes no certificate record at all.
    void validate(const Step& step) {
        if (!offered("validate", methods_->Validate)) return;
        auto context = zeroedRecord<wallet::ValidationContext>();
        auto record = zeroedRecord<wallet::CertificateRecord>();
        Bytes certificate;
        wallet::CertificateRecord* recordPointer = nullptr;
        if (!step.arguments.empty()) {
            certificate = fileArgument(step, 0);
            record->length = static_cast<std::uint32_t>(certificate.size());
            record->der = certificate.data();
            recordPointer = record.get();
        }
        report("validate", methods_->Validate(key(), context.get(), &recordPointer));
    }

    void certInfo(const Step&) {
        if (!offered("certinfo", methods_->GetCertInfo)) return;
        report("certinfo", methods_->GetCertInfo(host(), wallet_, &keyRecord_, nullptr));
    }

    void memory(const Step&) {
        VlxsimMemoryCounters counters{};
        vlxsim_memory_counters(&counters);
        std::printf("memory allocated=%u released=%u foreign=%u\n", counters.allocated,
                    counters.released, counters.foreign);
    }

    void serverFlag(const Step& step) {
        sscoreserverflag = static_cast<int>(numberArgument(step, 0, 0));
        std::printf("serverflag %d\n", sscoreserverflag);
    }

    const wallet::WalletMethodTable* methods_;
    bool borrowed_;
    HostServices services_;
    std::unique_ptr<wallet::HostContext> context_;
    wallet::HostContext* contextPointer_ = nullptr;
    void* wallet_ = nullptr;
    void* keyRecord_ = nullptr;
};

// Loads the plug-in and calls its registration export; the table is null
// when registration did not give one.
const wallet::WalletMethodTable* registerPlugin(HMODULE plugin, const Options& options) {
    const std::string exportName = narrow(options.registration);
    // void(*)() is the generic function pointer type GetProcAddress results pass through.
    auto registration = reinterpret_cast<wallet::RegistrationFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(plugin, exportName.c_str())));
    if (registration == nullptr) {
        std::fprintf(stderr, "wallethost: %s has no export %s\n", narrow(options.plugin).c_str(),
                     exportName.c_str());
        return nullptr;
    }
    auto record = zeroedRecord<wallet::RegistrationRecord>();
    const ResultCode code = registration(options.nullRegistration ? nullptr : record.get());
    std::printf("register %lu\n", static_cast<unsigned long>(code));
    return code == wallet::kOk ? record->methods : nullptr;
}

// One run of the script by a host of its own; false for a script error.
bool runScript(const wallet::WalletMethodTable* methods, const Options& options) {
    PluginHost host(methods, options);
    for (const Step& step : options.steps) {
        try {
            host.run(step);
        } catch (const ScriptError& error) {
            std::fprintf(stderr, "wallethost: %s\n", narrow(error.message).c_str());
            return false;
        }
    }
    std::fflush(stdout);
    return true;
}

unsigned refusedAllocations() {
    VlxsimMemoryCounters counters{};
    vlxsim_memory_counters(&counters);
    return counters.refused;
}

int runHost(const Options& options) {
    sscoreserverflag = options.serverFlag;
    support::ModuleHandle plugin(LoadLibraryW(options.plugin.c_str()));
    if (!plugin) {
        std::fprintf(stderr, "wallethost: cannot load %s (error %lu)\n",
                     narrow(options.plugin).c_str(), GetLastError());
        return kExitPlugin;
    }
    const wallet::WalletMethodTable* methods = registerPlugin(plugin.get(), options);
    if (methods == nullptr) return options.nullRegistration ? 0 : kExitPlugin;
    if (!options.sweepAllocations) return runScript(methods, options) ? 0 : kExitUsage;
    for (unsigned failing = 1; failing <= kMaxSweep; ++failing) {
        std::printf("sweep %u\n", failing);
        const unsigned refusedBefore = refusedAllocations();
        vlxsim_fail_allocation(failing);
        if (!runScript(methods, options)) return kExitUsage;
        vlxsim_fail_allocation(0);
        if (refusedAllocations() == refusedBefore) return 0;
    }
    std::fprintf(stderr, "wallethost: the script still allocates after %u runs\n", kMaxSweep);
    return kExitUsage;
}

}  // namespace

}  // namespace wallethost

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    wallethost::Options options;
    std::wstring error;
    if (!wallethost::parseCommandLine(arguments, options, error)) {
        std::fprintf(
            stderr,
            "wallethost: %s\nusage: wallethost [--register NAME] [--server-flag N] "
            "[--null-registration] [--borrowed-results] [--sweep-allocations] [--trace FILE] "
            "[--trace-flags N] [--trace-level N] [--diagnostic-level N] "
            "[--settings-flags N] [--host-flags N] [--parameters FILE] "
            "PLUGIN.dll [operation[=arg,...]]...\n",
            wallethost::narrow(error).c_str());
        return wallethost::kExitUsage;
    }
    return wallethost::runHost(options);
}
