#pragma once
// Windows services through the service control manager: the instance
// service VorlixService<SID> and starting or stopping any service by name.

#include <windows.h>

#include <string>

#include "support/unique_handle.h"

namespace vorlix {

// Wine's service control manager names the control pipe of a starting
// service in one registry value and hands the pipe to whichever process
// asks for it first: another service process starting at the same time, or
// a program started by hand that tries the service dispatcher, which then
// runs as that service. So every service start here, and every program
// started by hand while it tries the dispatcher, holds this lock. A holder
// that dies leaves it abandoned, which the next one takes over; a wait
// longer than two minutes goes on without it.
class ServiceStartLock {
public:
    ServiceStartLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Global\\VorlixSimServiceStart")) {
        if (!mutex_) return;
        const DWORD waited = WaitForSingleObject(mutex_.get(), kLongestHoldMillis);
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~ServiceStartLock() {
        if (owned_) ReleaseMutex(mutex_.get());
    }
    ServiceStartLock(const ServiceStartLock&) = delete;
    ServiceStartLock& operator=(const ServiceStartLock&) = delete;

private:
    static constexpr DWORD kLongestHoldMillis = 120000;
    support::KernelHandle mutex_;
    bool owned_ = false;
};

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
