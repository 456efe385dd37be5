#pragma once
// The requestor's document as the backup events read it: components by
// index, their names and options, each failed call raising the
// informational failure.

#include <windows.h>

#include <vswriter.h>

#include <string>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {

// A text the platform hands out, released with its owner.
class PlatformText {
public:
    PlatformText() = default;
    ~PlatformText() { SysFreeString(text_); }
    PlatformText(const PlatformText&) = delete;
    PlatformText& operator=(const PlatformText&) = delete;

    BSTR* receive() { return &text_; }
    // Null when the platform gave no text.
    const wchar_t* get() const { return text_; }
    std::wstring text() const { return text_ == nullptr ? std::wstring() : std::wstring(text_); }

private:
    BSTR text_ = nullptr;
};

UINT componentCount(IVssWriterComponents* components, long line);
ComponentReference componentAt(IVssWriterComponents* components, UINT index, long line);
std::wstring componentName(IVssComponent* component, long line);

}  // namespace snapscribe
