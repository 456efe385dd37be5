#include "launcher/ftp_client.h"

#include <vector>

#include "launcher/win_text.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

constexpr DWORD kTimeoutMilliseconds = 30000;
constexpr DWORD kChunkSize = 32 * 1024;

// The server's own words ("550 No such file") say more than the WinINet code.
std::string serverReply() {
    DWORD error = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoW(&error, nullptr, &length);
    std::wstring reply(length + 1, L'\0');
    if (length == 0 || !InternetGetLastResponseInfoW(&error, reply.data(), &length)) return "";
    reply.resize(length);
    while (!reply.empty() && (reply.back() == L'\n' || reply.back() == L'\r')) reply.pop_back();
    return reply.empty() ? "" : " [" + toNarrow(reply) + "]";
}

void checkFtp(bool succeeded, const std::string& what) {
    if (!succeeded) {
        const DWORD code = GetLastError();
        throw Win32Error(what + serverReply(), code);
    }
}

void setTimeouts(HINTERNET internet) {
    DWORD timeout = kTimeoutMilliseconds;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_SEND_TIMEOUT}) {
        InternetSetOptionW(internet, option, &timeout, sizeof timeout);
    }
}

}  // namespace

void FtpClient::connect() {
    disconnect();
    internet_.reset(InternetOpenW(L"kdlauncher", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    checkFtp(internet_.valid(), "cannot start WinINet");
    setTimeouts(internet_.get());
    connection_.reset(InternetConnectW(internet_.get(), settings_.host.c_str(), settings_.port,
                                       settings_.userName.c_str(), settings_.password.c_str(),
                                       INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    checkFtp(connection_.valid(), "cannot connect to the update server");
}

// WinINet's FtpGetFileSize is no help on every platform; the listing is.
std::uint64_t FtpClient::listedSize(const std::wstring& remoteName) {
    WIN32_FIND_DATAW found{};
    support::InternetHandle search(
        FtpFindFirstFileW(connection_.get(), remoteName.c_str(), &found, INTERNET_FLAG_RELOAD, 0));
    checkFtp(search.valid(), "the update server does not list " + toNarrow(remoteName));
    return (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
}

void FtpClient::retrieve(const std::wstring& remoteName, const std::wstring& localPath,
                         TransferObserver& observer) {
    const std::uint64_t expected = listedSize(remoteName);
    support::InternetHandle remote(FtpOpenFileW(connection_.get(), remoteName.c_str(), GENERIC_READ,
                                                FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD,
                                                0));
    checkFtp(remote.valid(), "cannot retrieve " + toNarrow(remoteName));
    support::KernelHandle local(CreateFileW(localPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    check(local.valid(), "cannot create " + toNarrow(localPath));

    observer.transferBegins(expected);
    std::vector<char> chunk(kChunkSize);
    std::uint64_t received = 0;
    for (;;) {
        DWORD read = 0;
        checkFtp(InternetReadFile(remote.get(), chunk.data(), kChunkSize, &read),
                 "the transfer of " + toNarrow(remoteName) + " broke off");
        if (read == 0) break;
        DWORD written = 0;
        check(WriteFile(local.get(), chunk.data(), read, &written, nullptr) && written == read,
              "cannot write " + toNarrow(localPath));
        received += read;
        observer.transferProgress(received);
    }
    if (received != expected) {
        throw std::runtime_error("the transfer of " + toNarrow(remoteName) + " ended after " +
                                 std::to_string(received) + " of " + std::to_string(expected) +
                                 " bytes");
    }
}

void FtpClient::disconnect() {
    connection_.reset();
    internet_.reset();
}

}  // namespace launcher
