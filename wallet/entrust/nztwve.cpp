// kmpwallet's login and logout: the profile and initialization file from the
// host's locator, the password from the host or its configuration, and the
// Entrust login that becomes the wallet.

#include <cstring>

#include "interfaces/vlxrt/host_runtime.h"
#include "wallet/common/wallet_memory.h"
#include "wallet/entrust/kmpwallet.h"
#include "wallet/entrust/locator.h"
#include "wallet/entrust/nztwve_trace.h"

namespace kmpwallet {

namespace {

constexpr char kSource[] = "nztwve";

struct ParameterName {
    const char* name;
    std::uint32_t length;
};

// The configuration parameters the plug-in knows; only the password is read.
constexpr ParameterName kParameterNames[] = {
    {"ssl_entrust_password", 20},
    {"ssl_entrust_classpath", 21},
};
constexpr const ParameterName& kPasswordParameter = kParameterNames[0];

constexpr char kFoundParameter[] = "found value for \"%s\" configuration parameter\n";
constexpr char kParameterError[] = "error %d occurred while retrieving parameter \"%s\"\n";
constexpr char kSomethingMissing[] =
    "no profile, password, and initialization file were specified - returning.\n";
constexpr char kWhatMayBeMissing[] =
    "one of the following was not specified: profile, password or initialization file.\n";
constexpr char kAllSpecified[] =
    "the profile, password and initialization file were specified - returning.\n";

constexpr std::uint8_t kMaxErrorDepth = 5;
constexpr unsigned kLogoutPause = 10000;

struct AuthData {
    const char* profile = nullptr;
    const char* password = nullptr;
    const char* iniFile = nullptr;
};

// The parameter's value text, or null when it is not set or cannot be read.
const char* passwordParameter(wallet::HostContext* host) {
    OperationTrace trace(host, "nztwveGetStringParameter", kSource);
    if (host == nullptr) return nullptr;
    hostrt::ErrorStack* errors = nlepeget(host);
    char* value = nullptr;
    std::uint32_t valueLength = 0;
    const int result = nlpagsp(errors, host->parameterContext, kPasswordParameter.name,
                               kPasswordParameter.length, 1, &value, &valueLength);
    if (result == 0) {
        trace.message(kLevelInfo, kFoundParameter, kPasswordParameter.name);
        return value;
    }
    if (result == hostrt::kParameterAbsent) {
        // An unset parameter is no error: take back what the lookup reported.
        if (errors != nullptr && errors->depth >= 1 && errors->depth <= kMaxErrorDepth) {
            --errors->depth;
        }
        return nullptr;
    }
    trace.message(kLevelError, kParameterError, result, kPasswordParameter.name);
    return nullptr;
}

AuthData gatherAuthData(wallet::HostContext* host, const TextPair& locator,
                        const TextPair& password) {
    OperationTrace trace(host, "nztwveGetAuthData", kSource);
    AuthData data;
    const LocatorParts parts = splitLocator(locator.text, locator.length);
    if (!parts.entrust) return data;
    data.profile = parts.profile;
    data.iniFile = parts.iniFile;
    data.password = password.length != 0 ? password.text : passwordParameter(host);
    if (data.profile == nullptr || data.password == nullptr || data.iniFile == nullptr) {
        trace.message(kLevelInfo, kSomethingMissing);
        trace.message(kLevelInfo, kWhatMayBeMissing);
    } else {
        trace.message(kLevelInfo, kAllSpecified);
    }
    return data;
}

ResultCode doLogin(wallet::HostContext* host, const TextPair& locator, const TextPair& password,
                   KMPHandle& handle) {
    OperationTrace trace(host, "nztwveDoLogin", kSource);
    const AuthData data = gatherAuthData(host, locator, password);
    const KMPStatus status = IKMPLogin(&handle, data.profile, data.password, data.iniFile, 1, 0, 1);
    if (!entrustFailed(status)) return wallet::kOk;
    handle = 0;
    trace.message(kLevelError, kEntrustFailed, "IKMPLogin", IKMPGetErrString(status),
                  entrustCode(status));
    return wallet::ERR_LOGIN;
}

}  // namespace

}  // namespace kmpwallet

using kmpwallet::LoginRecord;
using kmpwallet::TextPair;

extern "C" {

KMPWALLET_API wallet::ResultCode nztwvelogin(wallet::HostContext* host, LoginRecord** login,
                                             TextPair* locator, TextPair* password) {
    kmpwallet::OperationTrace trace(host, "nztwvelogin", kmpwallet::kSource);
    if (login == nullptr) return wallet::ERR_BAD_ARGUMENT;
    *login = nullptr;
    wallet::OwnedBlock<LoginRecord> record(wallet::allocateRecord<LoginRecord>());
    if (!record) return wallet::ERR_LOGIN;
    const TextPair noText{nullptr, 0};
    KMPHandle handle = 0;
    const wallet::ResultCode result =
        kmpwallet::doLogin(host, locator != nullptr ? *locator : noText,
                           password != nullptr ? *password : noText, handle);
    record->loginHandle = handle;
    record->host = host;
    if (result == wallet::kOk) *login = record.release();
    return result;
}

KMPWALLET_API void nztwvelogout(wallet::HostContext* host, LoginRecord* login) {
    kmpwallet::OperationTrace trace(host, "nztwvelogout", kmpwallet::kSource);
    if (login == nullptr) return;
    if (login->loginHandle != 0) {
        KMPHandle handle = login->loginHandle;
        IKMPLogout(&handle);
        unsigned status = 0;
        sltrusleep(&status, kmpwallet::kLogoutPause, 0);
    }
    wallet::releaseBlock(login);
}

KMPWALLET_API wallet::ResultCode nztwvegci_GetCertInfo(void*, void*, void*, void*) {
    return wallet::kOk;
}
}
