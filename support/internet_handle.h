#pragma once
// Owner of WinINet handles (sessions, connections, FTP files and searches).
// Kept apart from unique_handle.h so only users of WinINet include its header.

#include <windows.h>
#include <wininet.h>

#include "support/unique_handle.h"

namespace support {

using InternetHandle = UniqueHandle<NullableHandleTraits<HINTERNET, InternetCloseHandle>>;

}  // namespace support
