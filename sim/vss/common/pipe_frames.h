#pragma once
// Length-prefixed frames over a byte-mode named pipe: a 32-bit little-endian
// length, then that many bytes. Documents can be far larger than one pipe
// message, so frames are not bound to the pipe's message size.

#include <windows.h>

#include <functional>
#include <string>

#include "sim/vss/model/record.h"

namespace vsssim {

enum class PipeStatus { Ok, Closed, TimedOut, Stopped };

// Both ends open their handles for overlapped I/O. A null `stop` waits for
// as long as the transfer takes.
PipeStatus awaitClient(HANDLE pipe, HANDLE stop);
PipeStatus readFrame(HANDLE pipe, std::string& frame, HANDLE stop);
// The frame is the text `compose` puts into its sink, composed twice: once
// to count its bytes, once into the pipe a slice at a time, so that it is
// never held whole. Closed when it does not fit the 32-bit length.
PipeStatus writeFrame(HANDLE pipe, const std::function<void(TextSink&)>& compose);

// Waits until a frame begins to arrive, at most `timeoutMs`; Closed when the
// other end went away (its process may have died).
PipeStatus awaitFrame(HANDLE pipe, DWORD timeoutMs);

}  // namespace vsssim
