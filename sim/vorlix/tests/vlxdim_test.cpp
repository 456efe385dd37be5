// vlxdim run as the writer runs it: settings read back through VCI.dll's
// slzgetevar, services started and stopped through the service control manager.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "sim/vorlix/tests/vci_client.h"
#include "support/unique_handle.h"

namespace vorlix::test {
namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

int vlxdim(const std::string& arguments) { return runTool(L"vlxdim.exe\" " + wide(arguments)); }

// The setting as VCI.dll reads it, or nothing when it returns -1.
std::optional<std::string> setting(const std::string& name) {
    char buffer[512];
    int32_t length = vci().slzgetevar(name.c_str(), buffer, sizeof buffer);
    if (length < 0) return std::nullopt;
    return std::string(buffer, size_t(length));
}

DWORD serviceState(const std::string& name) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    support::ServiceHandle service(
        OpenServiceW(manager.get(), wide(name).c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
    return status.dwCurrentState;
}

std::string computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &size);
    return std::string(name, name + size);
}

TEST(Vlxdim, StoredSettingIsFoundByTheClientLibraryUntilRemoved) {
    std::string name = "VLX_T" + std::to_string(GetCurrentProcessId()) + "_VSS_TNAME";
    ASSERT_EQ(vlxdim("-ex vorlix registry set " + name + " C:\\trace dir\\w  x.txt"), 0);
    EXPECT_EQ(setting(name), "C:\\trace dir\\w  x.txt");
    ASSERT_EQ(vlxdim("-ex vorlix registry set " + name + " 0x20"), 0);  // replaces
    EXPECT_EQ(setting(name), "0x20");
    ASSERT_EQ(vlxdim("-ex vorlix registry del " + name), 0);
    EXPECT_EQ(setting(name), std::nullopt);
    EXPECT_EQ(vlxdim("-ex vorlix registry del " + name), 1);  // nothing left to remove
    EXPECT_EQ(vlxdim("-ex vorlix registry set " + name), 2);  // no value
    EXPECT_EQ(setting(name), std::nullopt);
}

TEST(Vlxdim, StartsAndStopsAServiceWaitingForItsState) {
    TestInstance db(R"({"service": false, "state": "down"})");
    std::string service = "VorlixService" + db.sid();
    ASSERT_EQ(serviceState(service), DWORD(SERVICE_STOPPED));
    ASSERT_EQ(vlxdim("-ex service  start " + service), 0);
    EXPECT_EQ(serviceState(service), DWORD(SERVICE_RUNNING));
    EXPECT_EQ(vlxdim("-ex service  start " + service), 0);  // already running
    ASSERT_EQ(vlxdim("-ex service \\\\" + computerName() + " stop " + service), 0);
    EXPECT_EQ(serviceState(service), DWORD(SERVICE_STOPPED));
    EXPECT_EQ(vlxdim("-ex service  stop " + service), 0);  // already stopped
}

TEST(Vlxdim, UnknownServiceOrCommandFails) {
    EXPECT_EQ(
        vlxdim("-ex service  start VorlixVssWriterNONE" + std::to_string(GetCurrentProcessId())),
        1);
    EXPECT_EQ(vlxdim("-ex service  restart X"), 2);
    EXPECT_EQ(vlxdim(""), 2);
}

}  // namespace
}  // namespace vorlix::test
