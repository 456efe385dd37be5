#pragma once
// What the post-snapshot event leaves in each component for a later
// restore: the backup stamp, and the restore metadata, which for a hot
// backup carries every archived log since the checkpoint, base64-encoded.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>
#include <string>

namespace snapscribe {

constexpr std::uint32_t kArchivedLogQueryFailure = 0xCFFF0034;
constexpr std::uint32_t kListBlockFailure = 0xCFFF0035;
constexpr std::uint32_t kArchivedLogEncodeFailure = 0xCFFF0036;

// The archived-log list of one post-snapshot event, in one block of a heap
// of its own, built on first use. However the event ends, the heap goes.
class ArchivedLogList {
public:
    ArchivedLogList() = default;
    ~ArchivedLogList();
    ArchivedLogList(const ArchivedLogList&) = delete;
    ArchivedLogList& operator=(const ArchivedLogList&) = delete;

    bool built() const { return block_ != nullptr; }
    // The list, ended by a zero unit.
    const wchar_t* text() const { return static_cast<const wchar_t*>(block_); }
    std::uint64_t blockSize() const { return size_; }

    // Adds one log: its header and its whole file as packed base64.
    void add(const std::wstring& name, const std::wstring& firstChange,
             const std::wstring& nextChange, std::uint64_t fileSize);

    // Releases the heap; a failure raises a writer failure.
    void destroy();

private:
    void growTo(std::uint64_t need);

    HANDLE heap_ = nullptr;
    void* block_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t used_ = 0;
};

// Every archived log after the checkpoint into `list`.
void buildArchivedLogList(ArchivedLogList& list);

void setBackupStamp(IVssComponent* component, const std::wstring& name);
void setComponentRestoreMetadata(IVssComponent* component, const std::wstring& name,
                                 ArchivedLogList& list);

}  // namespace snapscribe
