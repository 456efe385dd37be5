// vlxdim: the administration tool. Stores and removes installation settings
// where VCI.dll's setting reader finds them, and starts or stops a service
// through the service control manager, waiting until it got there.
// Silent on success; a failure prints its reason and exits with 1 (2 for a
// command line it does not understand).

#include <windows.h>

#include <cstdio>
#include <string>

#include "sim/vorlix/instance/service_control.h"
#include "sim/vorlix/instance/settings.h"
#include "sim/vorlix/instance/text.h"
#include "sim/vorlix/tools/admin_command.h"

namespace {

using vorlix::AdminCommand;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const wchar_t* const kUsageText =
    L"usage: vlxdim -ex vorlix registry set NAME VALUE\n"
    L"       vlxdim -ex vorlix registry del NAME\n"
    L"       vlxdim -ex service [\\\\MACHINE] start|stop SERVICE\n";

int report(const std::wstring& reason) {
    fwprintf(stderr, L"vlxdim: %ls\n", reason.c_str());
    return kFailed;
}

int run(const AdminCommand& command) {
    std::wstring error;
    switch (command.kind) {
        case AdminCommand::Kind::SetSetting:
            if (!vorlix::storeSetting(vorlix::narrow(command.name), vorlix::narrow(command.value)))
                return report(L"cannot store the setting " + command.name);
            return 0;
        case AdminCommand::Kind::RemoveSetting:
            if (!vorlix::removeSetting(vorlix::narrow(command.name)))
                return report(L"the setting " + command.name + L" is not stored");
            return 0;
        case AdminCommand::Kind::StartService:
            if (!vorlix::startService(command.name, error, command.machine))
                return report(L"cannot start " + command.name + L": " + error);
            return 0;
        case AdminCommand::Kind::StopService:
            if (!vorlix::stopService(command.name, error, command.machine))
                return report(L"cannot stop " + command.name + L": " + error);
            return 0;
    }
    return kFailed;
}

}  // namespace

int wmain() {
    AdminCommand command;
    std::wstring error;
    if (!vorlix::parseAdminCommand(GetCommandLineW(), command, error)) {
        fwprintf(stderr, L"vlxdim: %ls\n%ls", error.c_str(), kUsageText);
        return kUsage;
    }
    return run(command);
}
