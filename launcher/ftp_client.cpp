#include "launcher/ftp_client.h"

#include <cwchar>
#include <vector>

#include "launcher/ftp_reply.h"
#include "launcher/win_text.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

constexpr DWORD kTimeoutMilliseconds = 30000;
constexpr DWORD kChunkSize = 32 * 1024;

std::wstring lastReply() {
    DWORD error = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoW(&error, nullptr, &length);
    std::wstring reply(length + 1, L'\0');
    if (length == 0 || !InternetGetLastResponseInfoW(&error, reply.data(), &length)) return L"";
    // The length may or may not count a terminating null; the text ends at the first one.
    reply.resize(std::wcslen(reply.c_str()));
    while (!reply.empty() && (reply.back() == L'\n' || reply.back() == L'\r')) reply.pop_back();
    return reply;
}

// The server's own words ("550 No such file") say more than the WinINet code.
std::string serverReply() {
    const std::wstring reply = lastReply();
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

// The size the server states for the file, if it states one. An account may
// fetch without listing, a listing may not parse, and WinINet's FtpGetFileSize
// is no help on every platform; so the listing first, then SIZE.
std::optional<std::uint64_t> FtpClient::statedSize(const std::wstring& remoteName) {
    if (const std::optional<std::uint64_t> listed = listedSize(remoteName)) return listed;
    return reportedSize(remoteName);
}

std::optional<std::uint64_t> FtpClient::listedSize(const std::wstring& remoteName) {
    WIN32_FIND_DATAW found{};
    support::InternetHandle search(
        FtpFindFirstFileW(connection_.get(), remoteName.c_str(), &found, INTERNET_FLAG_RELOAD, 0));
    // An entry of another name (a listing read wrongly) says nothing about this file.
    if (!search.valid() || remoteName != found.cFileName) return std::nullopt;
    return (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
}

// SIZE counts the bytes of an image transfer only once the type is image.
std::optional<std::uint64_t> FtpClient::reportedSize(const std::wstring& remoteName) {
    const std::wstring sizeCommand = L"SIZE " + remoteName;
    if (!FtpCommandW(connection_.get(), FALSE, FTP_TRANSFER_TYPE_BINARY, L"TYPE I", 0, nullptr) ||
        !FtpCommandW(connection_.get(), FALSE, FTP_TRANSFER_TYPE_BINARY, sizeCommand.c_str(), 0,
                     nullptr)) {
        return std::nullopt;
    }
    return sizeFromReply(lastReply());
}

void FtpClient::retrieve(const std::wstring& remoteName, const std::wstring& localPath,
                         TransferObserver& observer) {
    const std::optional<std::uint64_t> expected = statedSize(remoteName);
    support::InternetHandle remote(FtpOpenFileW(connection_.get(), remoteName.c_str(), GENERIC_READ,
                                                FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD,
                                                0));
    checkFtp(remote.valid(), "cannot retrieve " + toNarrow(remoteName));
    support::KernelHandle local(CreateFileW(localPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    check(local.valid(), "cannot create " + toNarrow(localPath));

    observer.transferBegins(expected.value_or(0));
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
    if (expected && received != *expected) {
        throw std::runtime_error("the transfer of " + toNarrow(remoteName) + " ended after " +
                                 std::to_string(received) + " of " + std::to_string(*expected) +
                                 " bytes");
    }
}

void FtpClient::disconnect() {
    connection_.reset();
    internet_.reset();
}

}  // namespace launcher
