#include "sim/vlxrt/host_script.h"

#include <algorithm>
#include <iterator>

namespace wallethost {

namespace {

struct OperationShape {
    const wchar_t* name;
    std::size_t minArguments;
    std::size_t maxArguments;
};

// Every operation the host knows, with how many arguments it takes.
constexpr OperationShape kOperations[] = {
    {L"init", 0, 0},
    {L"login", 0, 2},
    {L"logout", 0, 0},
    {L"reserved3", 0, 0},
    {L"reserved8", 0, 0},
    {L"keypaircount", 0, 0},
    {L"trustpointcount", 0, 0},
    {L"trustpoints", 0, 0},
    {L"keypair", 0, 0},
    {L"sign", 1, 2},
    {L"decrypt", 2, 2},
    {L"encrypt", 3, 3},
    {L"verify", 3, 3},
    {L"validate", 0, 1},
    {L"certinfo", 0, 0},
    {L"memory", 0, 0},
    {L"serverflag", 1, 1},
};

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) return parts;
        start = end + 1;
    }
}

bool parseStep(const std::wstring& word, Step& step, std::wstring& error) {
    const std::size_t equals = word.find(L'=');
    step.operation = word.substr(0, equals);
    step.arguments.clear();
    if (equals != std::wstring::npos && equals + 1 < word.size()) {
        step.arguments = split(word.substr(equals + 1), L',');
    }
    const auto shape =
        std::find_if(std::begin(kOperations), std::end(kOperations),
                     [&](const OperationShape& s) { return step.operation == s.name; });
    if (shape == std::end(kOperations)) {
        error = L"unknown operation: " + step.operation;
        return false;
    }
    if (step.arguments.size() < shape->minArguments ||
        step.arguments.size() > shape->maxArguments) {
        error = L"wrong number of arguments: " + word;
        return false;
    }
    return true;
}

// The numeric options of the host's services, by name.
std::uint32_t* serviceNumber(ServiceOptions& services, const std::wstring& option) {
    if (option == L"--trace-flags") return &services.traceFlags;
    if (option == L"--trace-level") return &services.traceLevel;
    if (option == L"--diagnostic-level") return &services.diagnosticLevel;
    if (option == L"--settings-flags") return &services.settingsFlags;
    if (option == L"--host-flags") return &services.hostFlags;
    return nullptr;
}

}  // namespace

bool parseNumber(const std::wstring& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (number > 0xFFFFFFFFull) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool parseCommandLine(const std::vector<std::wstring>& arguments, Options& options,
                      std::wstring& error) {
    options = Options{};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& word = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (word == L"--null-registration") {
            options.nullRegistration = true;
        } else if (word == L"--register" && hasValue) {
            options.registration = arguments[++i];
        } else if (word == L"--server-flag" && hasValue) {
            std::uint32_t flag = 0;
            if (!parseNumber(arguments[++i], flag)) {
                error = L"--server-flag needs a number";
                return false;
            }
            options.serverFlag = static_cast<int>(flag);
        } else if (word == L"--borrowed-results") {
            options.borrowedResults = true;
        } else if (word == L"--sweep-allocations") {
            options.sweepAllocations = true;
        } else if (word == L"--trace" && hasValue) {
            options.services.traceFile = arguments[++i];
        } else if (word == L"--parameters" && hasValue) {
            options.services.parameterFile = arguments[++i];
        } else if (std::uint32_t* field = serviceNumber(options.services, word);
                   field != nullptr && hasValue) {
            // Levels and flags are bytes of the host's records; the host flags a word.
            const std::uint32_t limit = field == &options.services.hostFlags ? 0xFFFFFFFF : 0xFF;
            if (!parseNumber(arguments[++i], *field) || *field > limit) {
                error = word + L" needs a number up to " + std::to_wstring(limit);
                return false;
            }
        } else if (word.rfind(L"--", 0) == 0) {
            error = L"unknown option: " + word;
            return false;
        } else if (options.plugin.empty()) {
            options.plugin = word;
        } else {
            Step step;
            if (!parseStep(word, step, error)) return false;
            options.steps.push_back(step);
        }
    }
    if (options.plugin.empty()) {
        error = L"no plug-in given";
        return false;
    }
    return true;
}

std::string toHex(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace wallethost
