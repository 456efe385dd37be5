#pragma once
// The launcher's fixed settings: where the update server and the delivery
// database are, and the accounts it uses on them. Two of them can be pointed
// elsewhere for a test or a deployment through environment variables:
//   KDLAUNCHER_UPDATE_SERVER  host or host:port of the update server (FTP)
//   KDLAUNCHER_NET_SERVICE    net service name of the delivery database
// Pure text work: no Windows header.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace launcher {

inline constexpr wchar_t kUpdateServerVariable[] = L"KDLAUNCHER_UPDATE_SERVER";
inline constexpr wchar_t kNetServiceVariable[] = L"KDLAUNCHER_NET_SERVICE";

struct FtpSettings {
    std::wstring host;
    std::uint16_t port = 21;
    std::wstring userName;
    std::wstring password;
};

struct Settings {
    FtpSettings ftp;
    std::wstring netServiceName;
};

// The defaults, with what the two variables name in their place when set and not empty.
Settings makeSettings(const std::optional<std::wstring>& updateServer,
                      const std::optional<std::wstring>& netService);

using NamedValues = std::vector<std::pair<std::wstring, std::wstring>>;

inline constexpr wchar_t kDeliveryAlias[] = L"TRVN_DATA";
inline constexpr wchar_t kDeliveryDriver[] = L"VORLIX";

// The alias's own parameters, as the engine stores them.
NamedValues deliveryAliasParameters(const Settings& settings);

// The connection's parameter list, in the order the engine receives it.
NamedValues connectionParameters(const Settings& settings);

// "host" or "host:port" into `ftp`; a port that is no number from 1 to 65535
// throws std::invalid_argument naming the text.
void applyServerAddress(std::wstring_view address, FtpSettings& ftp);

}  // namespace launcher
