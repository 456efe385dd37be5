#pragma once
// The writer's plain-text trace: one destination per process (a file, standard
// output, or none), switched on per instance by a trace level and a file name
// kept as installation settings. Entries are written whole and flushed at
// once, so concurrent events interleave only at entry boundaries.

#include <cstdint>
#include <string>

#include "trace_text.h"

namespace snapscribe {

// True when any of `bits` is set in the trace level.
bool tracing(std::uint32_t bits);

// Write one entry and flush; return the characters written, 0 without a
// destination. A format starting with a line feed is preceded by the time
// when TRC_TIME is set. traceMsg uses the runtime's wide conventions (%s is a
// wide text, %hs a narrow one), traceMsgA the narrow ones (%s narrow, %ls
// wide). Narrow text goes out in the system code page.
int traceMsg(const wchar_t* format, ...);
int traceMsgA(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

// Write a finished text as one entry, with the same time rule, so that text
// from elsewhere is never taken for a format.
int traceText(const std::wstring& text);

// Open the trace of instance `sid` (system code page) from the settings and
// stored values; 1 when a destination was open already, else 0.
int initTrace(const std::string& sid);
void closeTrace();

// The stored recovery-tool options read by the last initTrace.
const std::string& recoveryToolOptions();

}  // namespace snapscribe
