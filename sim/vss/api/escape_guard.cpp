#include "sim/vss/api/escape_guard.h"

#include <setjmp.h>

namespace vsssim {

namespace {

constexpr DWORD kCustomerBit = 0x20000000;
constexpr DWORD kFacilityMask = 0x0FFF0000;
constexpr DWORD kApplicationFacility = 0x0FFF0000;

// A C++ exception travels as a structured one with the customer bit where
// the compiler unwinds through the system's exception dispatch (GCC on x64:
// 0x20474343 and its unwinding twins 0x21474343, 0x22474343; Microsoft's
// 0xE06D7363). The guard sees it first, before any frame could catch it.
bool isCxxException(DWORD code) {
    switch (code) {
        case 0x20474343:
        case 0x21474343:
        case 0x22474343:
        case 0xE06D7363: return true;
        default: return false;
    }
}

// Exceptions the system or the language run-time raise for their own
// purposes pass untouched.
bool isRaisedByApplication(DWORD code) {
    if (isCxxException(code)) return false;
    return (code & kCustomerBit) != 0 || (code & kFacilityMask) == kApplicationFacility;
}

// Per thread: where to resume when an exception leaves the guarded call.
thread_local jmp_buf* t_resume = nullptr;
thread_local DWORD t_code = 0;

LONG CALLBACK leaveGuardedCall(EXCEPTION_POINTERS* info) {
    DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!t_resume || !isRaisedByApplication(code)) return EXCEPTION_CONTINUE_SEARCH;
    t_code = code;
    jmp_buf* resume = t_resume;
    t_resume = nullptr;
    longjmp(*resume, 1);
}

void installHandlerOnce() {
    static PVOID handler = AddVectoredExceptionHandler(1, leaveGuardedCall);
    (void)handler;
}

}  // namespace

bool runGuarded(bool (*function)(void*), void* context, DWORD& exceptionCode) {
    installHandlerOnce();
    jmp_buf resume;
    exceptionCode = 0;
    t_resume = &resume;
    if (setjmp(resume) != 0) {
        exceptionCode = t_code;
        return false;
    }
    bool result = function(context);
    t_resume = nullptr;
    return result;
}

}  // namespace vsssim
