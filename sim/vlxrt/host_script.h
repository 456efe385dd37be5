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

struct Options {
    std::wstring plugin;
    std::wstring registration = L"nzmcs";
    int serverFlag = 0;
    bool nullRegistration = false;
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
