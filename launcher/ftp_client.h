#pragma once
// Fetches one release package from the update server through WinINet:
// passive mode, no proxy, image transfers.

#include <cstdint>
#include <optional>
#include <string>

#include "launcher/settings.h"
#include "support/internet_handle.h"

namespace launcher {

// Told about a transfer as it runs, on the thread that called retrieve().
class TransferObserver {
public:
    virtual ~TransferObserver() = default;
    virtual void transferBegins(std::uint64_t expectedBytes) = 0;
    virtual void transferProgress(std::uint64_t bytesSoFar) = 0;
};

class FtpClient {
public:
    void configure(const FtpSettings& settings) { settings_ = settings; }

    // Throws Win32Error (with the server's last reply in its text) on failure.
    void connect();
    bool connected() const { return connection_.valid(); }

    // Fetches `remoteName` from the account's initial directory into
    // `localPath`, replacing any file there; never resumes a partial file. A
    // transfer that ends off the size the server stated is a failure; when the
    // server states none, the archive's own checks judge the file.
    void retrieve(const std::wstring& remoteName, const std::wstring& localPath,
                  TransferObserver& observer);

    void disconnect();

private:
    std::optional<std::uint64_t> statedSize(const std::wstring& remoteName);
    std::optional<std::uint64_t> listedSize(const std::wstring& remoteName);
    std::optional<std::uint64_t> reportedSize(const std::wstring& remoteName);

    FtpSettings settings_;
    support::InternetHandle internet_;
    support::InternetHandle connection_;
};

}  // namespace launcher
