#pragma once
// Parameter lists in the shapes the database engine takes them: the text of
// DbiAddAlias and the optional fields of DbiOpenDatabase.

#include <string>
#include <vector>

#include "interfaces/bde/idapi.h"
#include "launcher/settings.h"

namespace launcher {

// "NAME: value;NAME: value" in the OEM code page, as the engine keeps alias
// settings; a value holding a semicolon goes in double quotes.
std::string aliasParameterText(const NamedValues& parameters);

// One text field per parameter, in order: the descriptors, and the values
// (system code page, each NUL-terminated) at the offsets they name.
class OptionalFields {
public:
    explicit OptionalFields(const NamedValues& parameters);

    UINT16 count() const { return static_cast<UINT16>(descriptors_.size()); }
    pFLDDesc descriptors() { return descriptors_.data(); }
    pBYTE values() { return values_.data(); }

private:
    std::vector<FLDDesc> descriptors_;
    std::vector<BYTE> values_;
};

}  // namespace launcher
