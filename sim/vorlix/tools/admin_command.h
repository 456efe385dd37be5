#pragma once
// The administration tool's command lines, read from the raw command line so
// that a setting's value keeps its spaces exactly as the caller wrote them.

#include <string>
#include <string_view>

namespace vorlix {

struct AdminCommand {
    enum class Kind { SetSetting, RemoveSetting, StartService, StopService };
    Kind kind = Kind::SetSetting;
    std::wstring name;     // the setting or the service
    std::wstring value;    // SetSetting: everything after the name
    std::wstring machine;  // services: the machine without its leading backslashes, or empty
};

// `commandLine` is the whole line, program name first. Returns false with a
// reason in `error` for anything but the forms below.
//   -ex vorlix registry set NAME VALUE...
//   -ex vorlix registry del NAME
//   -ex service [\\MACHINE] start|stop SERVICE
bool parseAdminCommand(std::wstring_view commandLine, AdminCommand& command, std::wstring& error);

}  // namespace vorlix
