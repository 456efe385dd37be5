#include "sim/vss/common/wide.h"

#include <objbase.h>

namespace vsssim {

Text guidText(const GUID& id) {
    wchar_t buffer[40] = {};
    StringFromGUID2(id, buffer, 40);
    return toText(buffer);
}

bool parseGuid(const Text& text, GUID& id) {
    std::wstring wide = toWide(text);
    return !wide.empty() && wide.front() == L'{' &&
           SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(wide.c_str()), &id));
}

std::string narrowForConsole(const Text& value) {
    std::wstring wide = toWide(value);
    if (wide.empty()) return std::string();
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetACP();
    int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

}  // namespace vsssim
