#pragma once
// Lets a structured exception raised by application code (customer bit set,
// or facility 0xFFF such as a writer's informational failure 0x4FFF0007)
// leave an event method
// without ending the process: the event ends there and is reported failed
// with the exception's code. The frames between are abandoned without C++
// unwinding, as a platform that is not written in the writer's language
// would abandon them.

#include <windows.h>

namespace vsssim {

// Calls `function(context)`; when such an exception leaves it, returns false
// and sets `exceptionCode`.
bool runGuarded(bool (*function)(void*), void* context, DWORD& exceptionCode);

}  // namespace vsssim
