#include "launcher/engine_parameters.h"

#include <cstring>
#include <stdexcept>

#include "launcher/win_text.h"

namespace launcher {

std::string aliasParameterText(const NamedValues& parameters) {
    std::wstring text;
    for (const auto& [name, value] : parameters) {
        if (!text.empty()) text += L';';
        const bool quoted = value.find(L';') != std::wstring::npos;
        text += name + L": " + (quoted ? L"\"" + value + L"\"" : value);
    }
    return toNarrow(text, CP_OEMCP);
}

OptionalFields::OptionalFields(const NamedValues& parameters) {
    for (const auto& [name, value] : parameters) {
        const std::string narrowName = toNarrow(name, CP_ACP);
        const std::string narrowValue = toNarrow(value, CP_ACP);
        if (narrowName.size() > DBIMAXNAMELEN || values_.size() + narrowValue.size() >= 0xFFFF) {
            throw std::length_error("the engine parameter " + toNarrow(name) + " is too long");
        }
        FLDDesc descriptor{};
        descriptor.iFldNum = static_cast<UINT16>(descriptors_.size() + 1);
        std::memcpy(descriptor.szName, narrowName.data(), narrowName.size());
        descriptor.iFldType = fldZSTRING;
        descriptor.iUnits1 = static_cast<INT16>(narrowValue.size());
        descriptor.iOffset = static_cast<UINT16>(values_.size());
        descriptor.iLen = static_cast<UINT16>(narrowValue.size() + 1);
        descriptors_.push_back(descriptor);
        values_.insert(values_.end(), narrowValue.begin(), narrowValue.end());
        values_.push_back('\0');
    }
}

}  // namespace launcher
