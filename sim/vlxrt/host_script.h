#pragma once
// The command line of wallethost: which plug-in to load, how the host is set
// up, and the script of operations to drive through its method table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wallethost {

// One operation of the script, written "name" or "name=arg1,arg2,...".
struct Step {
    std::wstring operation;
    std::vector<std::wstring> arguments;
};

// How the host sets up its trace, parameter and diagnostic services.
struct ServiceOptions {
    std::wstring traceFile;             // no trace context without one
    std::uint32_t traceFlags = 1;       // trace context byte 5; 1 = classic tracing
    std::uint32_t traceLevel = 6;       // trace context byte 4, the classic level
    std::uint32_t diagnosticLevel = 0;  // diagnostic settings byte 580
    std::uint32_t settingsFlags = 0;    // diagnostic settings byte 0
    std::uint32_t hostFlags = 0;        // HostContext word 1360
    std::wstring parameterFile;         // no parameters set without one
};

struct Options {
    std::wstring plugin;
    std::wstring registration = L"nzmcs";
    int serverFlag = 0;
    bool nullRegistration = false;
    // What the plug-in hands out stays the plug-in's: the host releases nothing.
    bool borrowedResults = false;
    // Runs the script again and again, the n-th run with the host's n-th
    // allocation failing, until a run needs fewer allocations than that.
    bool sweepAllocations = false;
    ServiceOptions services;
    std::vector<Step> steps;
};

// Fills `options` from the arguments after the program name; false with a
// message in `error` when they make no sense.
bool parseCommandLine(const std::vector<std::wstring>& arguments, Options& options,
                      std::wstring& error);

// Lower-case hex digits, two per byte, nothing between them.
std::string toHex(const std::uint8_t* bytes, std::size_t length);

// A decimal number that fits 32 bits unsigned; false for anything else.
bool parseNumber(const std::wstring& text, std::uint32_t& value);

}  // namespace wallethost
