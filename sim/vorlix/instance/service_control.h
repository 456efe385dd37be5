#pragma once
// Windows services through the service control manager: the instance
// service VorlixService<SID> and starting or stopping any service by name.

#include <string>

namespace vorlix {

// Creates (or re-points) the instance's demand-start service to run
// `program` with the instance name and the home it lives in.
bool installInstanceService(const std::string& sid, const std::wstring& program,
                            const std::string& home, std::wstring& error);
bool removeService(const std::wstring& name, std::wstring& error);
// Both wait (up to 30 s) until the service has reached the state; an empty
// machine is this one.
bool startService(const std::wstring& name, std::wstring& error, const std::wstring& machine = {});
bool stopService(const std::wstring& name, std::wstring& error, const std::wstring& machine = {});

}  // namespace vorlix
