#include "restore_metadata.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "backup_metadata.h"
#include "component_model.h"
#include "component_text.h"
#include "event_frame.h"
#include "metadata_text.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/file_utils.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr SIZE_T kInitialHeapBytes = 65536;
constexpr std::uint32_t kChangeBytes = 100;

constexpr long kListBlockLine = 1601;
constexpr long kEncodeLine = 1602;
constexpr long kHeapDestroyLine = 1603;
constexpr long kLogQueryLine = 1604;
constexpr long kLogCloseLine = 1605;
constexpr long kNoLogLine = 1606;
constexpr long kStampLine = 1607;
constexpr long kRestoreMetadataLine = 1608;

constexpr char kLogQuery[] =
    "select name, ((blocks+1)*block_size) filesize,        first_change#, next_change# from "
    "v$archived_log where next_change# > :1 and dest_id = (select max(dest_id) from            "
    "v$archive_dest            where              valid_now='YES' and              target in "
    "('PRIMARY','LOCAL')) and              archived='YES' and              resetlogs_change# in   "
    "             (select resetlogs_change#                 from v$database)";
constexpr char kEarlierLogQuery[] =
    "select name, ((blocks+1)*block_size) filesize,        first_change#, next_change# from "
    "v$archived_log where next_change# > :1 and       dest_id = (select max(dest_id)              "
    "from v$archive_dest where              target in ('PRIMARY', 'LOCAL') and              "
    "STATUS='VALID') and       archived='YES' and       resetlogs_change# in         (select "
    "resetlogs_change# from          v$database)";

struct ArchivedLogRow {
    char checkpoint[kVcwFileNameBytes] = {};
    char name[kVcwFileNameBytes] = {};
    char firstChange[kChangeBytes] = {};
    char nextChange[kChangeBytes] = {};
    std::uint64_t fileSize = 0;
};

bool openLogQuery(VcwSession* session, VcwCursor*& cursor, const char* statement,
                  ArchivedLogRow& row) {
    return vcw_opn(session, cursor, statement) == 0 &&
           vcw_bnd(session, cursor, ":1", row.checkpoint, sizeof row.checkpoint, kVcwBindIn,
                   SQLT_STR, nullptr) == 0 &&
           vcw_dfn(session, cursor, "NAME", row.name, sizeof row.name, SQLT_STR, nullptr) == 0 &&
           vcw_dfn(session, cursor, "FIRST_CHANGE#", row.firstChange, sizeof row.firstChange,
                   SQLT_STR, nullptr) == 0 &&
           vcw_dfn(session, cursor, "NEXT_CHANGE#", row.nextChange, sizeof row.nextChange, SQLT_STR,
                   nullptr) == 0 &&
           vcw_dfn(session, cursor, "FILESIZE", &row.fileSize, sizeof row.fileSize, SQLT_UIN,
                   nullptr) == 0 &&
           vcw_exe(session, cursor) == 0;
}

std::wstring widened(const char* text) {
    wchar_t wide[kVcwFileNameBytes];
    toWide(text, wide, kVcwFileNameBytes);
    return wide;
}

bool namesArchivedLogs(const std::wstring& name) {
    return name == kAllTablespacesComponent || name == kDatabaseComponent;
}

}  // namespace

ArchivedLogList::~ArchivedLogList() {
    if (heap_ != nullptr) HeapDestroy(heap_);
}

void ArchivedLogList::growTo(std::uint64_t need) {
    // The largest count stands for a need beyond counting: no block holds it.
    if (need >= std::numeric_limits<SIZE_T>::max()) {
        raiseWriterFailure(kListBlockFailure, kListBlockLine);
    }
    void* grown = nullptr;
    if (block_ == nullptr) {
        heap_ = HeapCreate(0, kInitialHeapBytes, 0);
        if (heap_ != nullptr) grown = HeapAlloc(heap_, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(need));
    } else {
        if (tracing(TRC_FILES)) {
            traceMsgA("\nResizing restore metadata buffer from %I64u to %I64u", size_, need);
        }
        grown = HeapReAlloc(heap_, HEAP_ZERO_MEMORY, block_, static_cast<SIZE_T>(need));
    }
    // A block that could not grow stays as it was, for the heap to release.
    if (grown == nullptr || HeapSize(heap_, 0, grown) != need) {
        raiseWriterFailure(kListBlockFailure, kListBlockLine);
    }
    block_ = grown;
    size_ = need;
}

void ArchivedLogList::add(const std::wstring& name, const std::wstring& firstChange,
                          const std::wstring& nextChange, std::uint64_t fileSize) {
    growTo(archivedLogListNeed(used_, fileSize));
    const std::wstring header = archivedLogHeader(name, firstChange, nextChange);
    const std::uint64_t headerBytes = header.size() * sizeof(wchar_t);
    if (headerBytes >= size_ - used_) raiseWriterFailure(kListBlockFailure, kListBlockLine);
    char* at = static_cast<char*>(block_) + used_;
    std::memcpy(at, header.data(), headerBytes);
    used_ += headerBytes;
    // Two base64 characters per unit, the first in the low byte: the text
    // goes into the block byte by byte.
    // The encoder counts in 32 bits: a 64-bit process's larger block offers it
    // what it can count, and a log too large for that fails to encode.
    const std::uint64_t room = std::min<std::uint64_t>(size_ - used_, UINT32_MAX);
    const std::uint32_t written =
        fileToBase64(name.c_str(), at + headerBytes, static_cast<std::uint32_t>(room));
    if (written == 0) raiseWriterFailure(kArchivedLogEncodeFailure, kEncodeLine);
    used_ += written;
    if (tracing(TRC_FILES))
        traceMsg(L"\nArchived Log %s included in Restore Metadata", name.c_str());
}

void ArchivedLogList::destroy() {
    if (heap_ == nullptr) return;
    const HANDLE heap = heap_;
    heap_ = nullptr;
    block_ = nullptr;
    if (!HeapDestroy(heap)) {
        raiseWriterFailure(kGeneralFailure, kHeapDestroyLine,
                           {L"Destroying restore metadata heap"});
    }
}

void buildArchivedLogList(ArchivedLogList& list) {
    if (tracing(TRC_MISC)) {
        traceMsg(L"\nDatabase checkpoint is:%s", widened(checkpointScn().c_str()).c_str());
    }
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    ArchivedLogRow row;
    std::strncpy(row.checkpoint, checkpointScn().c_str(), sizeof row.checkpoint - 1);
    if (!openLogQuery(session, cursor, kLogQuery, row)) {
        vcw_cls(session, cursor);
        if (tracing(TRC_COMPONENT)) traceMsgA("\nTrying r9 LogList query");
        if (!openLogQuery(session, cursor, kEarlierLogQuery, row)) {
            vcw_perr(session);
            raiseWriterFailure(kArchivedLogQueryFailure, kLogQueryLine);
        }
    }
    bool anyRow = false;
    while (vcw_fet(session, cursor) == 0) {
        anyRow = true;
        list.add(widened(row.name), widened(row.firstChange), widened(row.nextChange),
                 row.fileSize);
    }
    // A fetch that failed closed the cursor: the list would lack logs.
    if (cursor == nullptr) {
        vcw_perr(session);
        raiseWriterFailure(kArchivedLogQueryFailure, kLogQueryLine);
    }
    if (vcw_cls(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kCursorCloseFailure, kLogCloseLine);
    }
    if (!anyRow) {
        raiseWriterFailure(kGeneralFailure, kNoLogLine, {L"Must-addedRedo-to-Restore-Metadata"});
    }
}

void setBackupStamp(IVssComponent* component, const std::wstring& name) {
    const Conversation& conversation = currentConversation();
    const std::int32_t type = conversation.backupType;
    if (type != BackupFull && type != BackupIncremental && type != BackupDifferential) return;
    // A full backup marks the recovery area as never taken, so the next
    // incremental backup takes all of its files.
    const bool takeAllNextTime = type == BackupFull && name == kRecoveryAreaComponent;
    const std::wstring stamp = backupStampText(takeAllNextTime ? 0 : conversation.backupTime);
    if (tracing(TRC_FILES)) {
        traceMsg(L"\nBackup Stamp Set=[%s] for component %s", stamp.c_str(), name.c_str());
    }
    checkPlatformCall(component->SetBackupStamp(stamp.c_str()), kStampLine);
}

void setComponentRestoreMetadata(IVssComponent* component, const std::wstring& name,
                                 ArchivedLogList& list) {
    if (!currentConversation().needsRedo || !namesArchivedLogs(name)) {
        checkPlatformCall(component->SetRestoreMetadata(kRestorableText), kRestoreMetadataLine);
        return;
    }
    if (!list.built()) buildArchivedLogList(list);
    if (tracing(TRC_MISC)) traceText(L"\nSet Restore metadata:\n" + std::wstring(list.text()));
    if (tracing(TRC_FILES)) traceMsg(L"\nRestore Metadata set for component %s", name.c_str());
    checkPlatformCall(component->SetRestoreMetadata(list.text()), kRestoreMetadataLine);
}

}  // namespace snapscribe
