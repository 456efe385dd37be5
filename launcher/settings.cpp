#include "launcher/settings.h"

#include <stdexcept>

namespace launcher {
namespace {

// The site's name for its update server and for the delivery database.
constexpr wchar_t kDefaultUpdateServer[] = L"kdupdate";
constexpr wchar_t kDefaultNetService[] = L"TRVN";

bool isSet(const std::optional<std::wstring>& value) { return value && !value->empty(); }

std::string narrowForMessage(std::wstring_view text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

}  // namespace

void applyServerAddress(std::wstring_view address, FtpSettings& ftp) {
    const std::size_t colon = address.rfind(L':');
    ftp.host = std::wstring(address.substr(0, colon));
    if (colon == std::wstring_view::npos) return;
    const std::wstring_view portText = address.substr(colon + 1);
    unsigned long port = 0;
    for (wchar_t c : portText) {
        if (c < L'0' || c > L'9' || port > 65535) {
            port = 0;
            break;
        }
        port = port * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (ftp.host.empty() || port == 0 || port > 65535) {
        throw std::invalid_argument("the update server address '" + narrowForMessage(address) +
                                    "' is not host or host:port");
    }
    ftp.port = static_cast<std::uint16_t>(port);
}

NamedValues deliveryAliasParameters(const Settings& settings) {
    return {{L"SERVER NAME", settings.netServiceName}, {L"USER NAME", L"dlv"}};
}

NamedValues connectionParameters(const Settings& settings) {
    return {{L"SERVER NAME", settings.netServiceName},
            {L"USER NAME", L"dlv"},
            {L"NET PROTOCOL", L"RNP"},
            {L"OPEN MODE", L"READ/WRITE"},
            {L"SCHEMA CACHE SIZE", L"8"},
            {L"LANGDRIVER", L""},
            {L"SQLQRYMODE", L""},
            {L"SQLPASSTHRU MODE", L"SHARED AUTOCOMMIT"},
            {L"SCHEMA CACHE TIME", L"-1"},
            {L"MAX ROWS", L"-1"},
            {L"BATCH COUNT", L"200"},
            {L"ENABLE SCHEMA CACHE", L"FALSE"},
            {L"SCHEMA CACHE DIR", L""},
            {L"ENABLE BCD", L"FALSE"},
            {L"ENABLE INTEGERS", L"FALSE"},
            {L"LIST SYNONYMS", L"NONE"},
            {L"ROWSET SIZE", L"20"},
            {L"BLOBS TO CACHE", L"64"},
            {L"BLOB SIZE", L"32"},
            {L"OBJECT MODE", L"TRUE"},
            {L"PASSWORD", L"dlv4826"}};
}

Settings makeSettings(const std::optional<std::wstring>& updateServer,
                      const std::optional<std::wstring>& netService) {
    Settings settings;
    settings.ftp.userName = L"kdftp";
    settings.ftp.password = L"mxftp5820";
    applyServerAddress(isSet(updateServer) ? *updateServer : kDefaultUpdateServer, settings.ftp);
    settings.netServiceName = isSet(netService) ? *netService : kDefaultNetService;
    return settings;
}

}  // namespace launcher
