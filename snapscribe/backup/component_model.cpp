#include "component_model.h"

#include <optional>
#include <vector>

#include "component_text.h"
#include "snapscribe/sequence/conversation.h"
#include "event_frame.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

constexpr DWORD kFullPathMaxChars = 499;
constexpr DWORD kExcludedPathMaxChars = 255;

constexpr std::int32_t kIncrementalBackup = 2;
constexpr std::int32_t kDifferentialBackup = 3;

constexpr long kArchiveDestCloseLine = 2101;
constexpr long kExclusionCloseLine = 2102;
constexpr long kLogModeLine = 2103;
constexpr long kRecoveryAreaCloseLine = 2104;

constexpr const char* kExclusionQueries[] = {
    "select member filename from v$logfile",
    "select distinct rtrim(value)||'\\*.TRC' filename from v$parameter     where lower(name) like "
    "'%_dump_dest%'",
    "select filename from v$block_change_tracking",
    "select name filename from v$tempfile",
    "select rtrim(value)||'\\*.AUD' filename from v$parameter     where lower(name) like "
    "'%audit_file_dest%'",
};
constexpr char kControlFilesQuery[] = "select name filename from v$controlfile";

const wchar_t* optionalText(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}

// The file name made a full path of at most `capacity` characters; nothing
// when the platform cannot make one that fits.
std::optional<std::wstring> fullPathOf(const char* fileName, DWORD capacity) {
    wchar_t wide[kVcwFileNameBytes];
    toWide(fileName, wide, kVcwFileNameBytes);
    std::vector<wchar_t> full(capacity + 1);
    const DWORD length = GetFullPathNameW(wide, capacity + 1, full.data(), nullptr);
    if (length == 0 || length > capacity) return std::nullopt;
    return std::wstring(full.data(), length);
}

void traceNewComponent(const wchar_t* heading, const std::wstring& name,
                       const std::wstring& logicalPath, const std::wstring& caption) {
    if (!tracing(TRC_COMPONENT)) return;
    traceMsg(heading, name.c_str());
    traceMsg(L"\nLogical Name  =[%s]", logicalPath.c_str());
    traceMsg(L"\nCaption       =[%s]", caption.c_str());
}

HRESULT addNewComponent(IVssCreateWriterMetadata* metadata, VSS_COMPONENT_TYPE type,
                        const std::wstring& name, const std::wstring& logicalPath,
                        const std::wstring& caption) {
    traceNewComponent(
        type == VSS_CT_FILEGROUP ? L"\nNew Filegroup component =[%s]" : L"\nNew component =[%s]",
        name, logicalPath, caption);
    return metadata->AddComponent(type, optionalText(logicalPath), name.c_str(), caption.c_str(),
                                  nullptr, 0, true, true, selectableForBackup(name), true, 0);
}

void closeReadCursor(VcwSession* session, VcwCursor*& cursor, long line) {
    if (vcw_cls(session, cursor) == 0) return;
    vcw_perr(session);
    raiseWriterFailure(kCursorCloseFailure, line);
}

// Opens `statement` with one text column defined into `buffer` and runs it.
// A failure leaves the cursor closed.
int openQuery(VcwSession* session, VcwCursor*& cursor, const char* statement, const char* column,
              char* buffer) {
    return vcw_opn(session, cursor, statement) != 0 ||
                   vcw_dfn(session, cursor, column, buffer, kVcwFileNameBytes, SQLT_STR, nullptr) !=
                       0 ||
                   vcw_exe(session, cursor) != 0
               ? 1
               : 0;
}

bool failedOtherThanNoData(const VcwSession* session) {
    return session->last.returnCode != VCI_NO_DATA;
}

HRESULT excludeFile(IVssCreateWriterMetadata* metadata, const char* fileName) {
    const std::optional<std::wstring> full = fullPathOf(fileName, kExcludedPathMaxChars);
    if (!full) return kWriterErrorNonRetryable;
    const FileSpecification spec = splitFileSpecification(*full);
    return metadata->AddExcludeFiles(spec.path.c_str(), spec.fileSpec.c_str(), false);
}

// Excludes the file of every row of `statement` that names one.
HRESULT excludeFilesOf(VcwSession* session, IVssCreateWriterMetadata* metadata,
                       const char* statement) {
    VcwCursor* cursor = nullptr;
    char fileName[kVcwFileNameBytes];
    if (openQuery(session, cursor, statement, "FILENAME", fileName) != 0) {
        vcw_perr(session);
        return kWriterErrorNonRetryable;
    }
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && vcw_fet(session, cursor) == 0) {
        if (fileName[0] != '\0') hr = excludeFile(metadata, fileName);
    }
    // A fetch that failed closed the cursor: the list would be incomplete.
    if (SUCCEEDED(hr) && cursor == nullptr) {
        vcw_perr(session);
        return kWriterErrorNonRetryable;
    }
    closeReadCursor(session, cursor, kExclusionCloseLine);
    return hr;
}

// One recovery-area query: its rows carry a record id, a stamp and a file.
struct RecoveryAreaRow {
    std::uint32_t recordId = 0;
    std::uint32_t stamp = 0;
    char name[kVcwFileNameBytes] = {};
};

class RecoveryAreaScan {
public:
    RecoveryAreaScan(VcwSession* session, IVssComponent* component,
                     IVssCreateWriterMetadata* metadata, std::wstring logicalPath,
                     std::uint64_t referenceTime)
        : session_(session),
          component_(component),
          metadata_(metadata),
          logicalPath_(std::move(logicalPath)),
          referenceTime_(referenceTime) {}

    HRESULT archivedLogs() {
        bool first = true;
        return scan(
            "select recid, stamp, name from v$archived_log    where status='A' and "
            "is_recovery_dest_file='YES'",
            newestOf(&Conversation::lastArchivedLog), [&](const char* fileName) {
                const HRESULT hr =
                    addComponent(metadata_, first, kArchivedLogsComponent, logicalPath_,
                                 kArchivedLogsComponent, fileName, true);
                first = false;
                return hr;
            });
    }

    HRESULT backupFiles() {
        bool first = true;
        const auto add = [&](const char* fileName) {
            const HRESULT hr = addFileGroupComponent(metadata_, first, kBackupFilesComponent,
                                                     logicalPath_, kBackupFilesComponent, fileName);
            first = false;
            return hr;
        };
        const HRESULT hr = scan(
            "select recid, stamp, handle name from v$backup_piece     where status='A' and "
            "is_recovery_dest_file='YES'",
            newestOf(&Conversation::lastBackupPiece), add);
        if (FAILED(hr)) return hr;
        return scan(
            "select recid, stamp, name from v$datafile_copy     where status='A' and "
            "is_recovery_dest_file='YES'",
            newestOf(&Conversation::lastDatafileCopy), add);
    }

private:
    static RecoveryAreaStamp* newestOf(RecoveryAreaStamp Conversation::*kind) {
        Conversation* conversation = sequenceState().conversation.get();
        return conversation == nullptr ? nullptr : &(conversation->*kind);
    }

    template <typename AddFile>
    HRESULT scan(const char* statement, RecoveryAreaStamp* newest, AddFile addFile) {
        VcwCursor* cursor = nullptr;
        RecoveryAreaRow row;
        if (openRows(statement, cursor, row) != 0) {
            if (!failedOtherThanNoData(session_)) return S_OK;
            vcw_perr(session_);
            return kWriterErrorNonRetryable;
        }
        HRESULT hr = S_OK;
        while (SUCCEEDED(hr) && vcw_fet(session_, cursor) == 0) {
            hr = metadata_ != nullptr ? addFile(row.name) : reportDifferenced(row.name);
            if (SUCCEEDED(hr) && newest != nullptr && row.stamp > newest->stamp) {
                *newest = {row.recordId, row.stamp};
            }
        }
        if (SUCCEEDED(hr) && cursor == nullptr && failedOtherThanNoData(session_)) {
            vcw_perr(session_);
            return kWriterErrorNonRetryable;
        }
        closeReadCursor(session_, cursor, kRecoveryAreaCloseLine);
        return hr;
    }

    int openRows(const char* statement, VcwCursor*& cursor, RecoveryAreaRow& row) {
        return vcw_opn(session_, cursor, statement) != 0 ||
                       vcw_dfn(session_, cursor, "RECID", &row.recordId, sizeof row.recordId,
                               SQLT_UIN, nullptr) != 0 ||
                       vcw_dfn(session_, cursor, "STAMP", &row.stamp, sizeof row.stamp, SQLT_UIN,
                               nullptr) != 0 ||
                       vcw_dfn(session_, cursor, "NAME", row.name, sizeof row.name, SQLT_STR,
                               nullptr) != 0 ||
                       vcw_exe(session_, cursor) != 0
                   ? 1
                   : 0;
    }

    HRESULT reportDifferenced(const char* fileName) {
        if (component_ == nullptr) return S_OK;
        const std::optional<std::wstring> full = fullPathOf(fileName, kFullPathMaxChars);
        if (!full) return S_OK;
        const FileSpecification spec = splitFileSpecification(*full);
        FILETIME since;
        since.dwHighDateTime = static_cast<DWORD>(referenceTime_ >> 32);
        since.dwLowDateTime = static_cast<DWORD>(referenceTime_);
        return component_->AddDifferencedFilesByLastModifyTime(spec.path.c_str(),
                                                               spec.fileSpec.c_str(), FALSE, since);
    }

    VcwSession* session_;
    IVssComponent* component_;
    IVssCreateWriterMetadata* metadata_;
    std::wstring logicalPath_;
    std::uint64_t referenceTime_;
};

// The time of the previous backup of a log-type backup, from its stamp; 0
// for any other backup or without a stamp.
HRESULT previousBackupTime(IVssComponent* component, const std::wstring& name,
                           std::uint64_t& referenceTime) {
    referenceTime = 0;
    const Conversation* conversation = sequenceState().conversation.get();
    if (conversation == nullptr || (conversation->backupType != kIncrementalBackup &&
                                    conversation->backupType != kDifferentialBackup)) {
        return S_OK;
    }
    BSTR stamp = nullptr;
    const HRESULT hr = component->GetPreviousBackupStamp(&stamp);
    if (FAILED(hr)) return hr;
    if (stamp == nullptr) {
        if (tracing(TRC_FILES)) {
            traceMsg(L"\nNo Backup Stamp returned for component %s", name.c_str());
        }
        return hr;
    }
    if (tracing(TRC_FILES)) {
        traceMsg(L"\nBackup Stamp Get=[%s] for component %s", stamp, name.c_str());
    }
    referenceTime = parseBackupStamp(stamp).value_or(0);
    SysFreeString(stamp);
    return hr;
}

}  // namespace

HRESULT addComponent(IVssCreateWriterMetadata* metadata, bool isNew, const std::wstring& name,
                     const std::wstring& logicalPath, const std::wstring& caption,
                     const char* fileName, bool isLog) {
    if (isNew) {
        const HRESULT hr = addNewComponent(metadata, VSS_CT_DATABASE, name, logicalPath, caption);
        if (FAILED(hr)) return hr;
    }
    if (fileName == nullptr) return S_OK;
    const std::optional<std::wstring> full = fullPathOf(fileName, kFullPathMaxChars);
    if (!full) return kWriterErrorNonRetryable;
    const FileSpecification spec = splitFileSpecification(*full);
    const wchar_t* kind = isLog ? L"Log" : L"";
    if (tracing(TRC_FILES)) {
        traceMsg(L"\nAddDatabase%sFiles(%s:%hs) to component", kind, name.c_str(), fileName);
    }
    const HRESULT hr =
        isLog
            ? metadata->AddDatabaseLogFiles(optionalText(logicalPath), name.c_str(),
                                            spec.path.c_str(), spec.fileSpec.c_str(), kLogFileMask)
            : metadata->AddDatabaseFiles(optionalText(logicalPath), name.c_str(), spec.path.c_str(),
                                         spec.fileSpec.c_str(), kDatabaseFileMask);
    if (tracing(TRC_COMPONENT)) {
        traceMsg(L"\nAddDatabase%sFiles(%s) to component", kind,
                 SUCCEEDED(hr) ? L"SUCCESS" : L"FAILURE");
    }
    return hr;
}

HRESULT addFileGroupComponent(IVssCreateWriterMetadata* metadata, bool isNew,
                              const std::wstring& name, const std::wstring& logicalPath,
                              const std::wstring& caption, const char* fileName) {
    if (isNew) {
        const HRESULT hr = addNewComponent(metadata, VSS_CT_FILEGROUP, name, logicalPath, caption);
        if (FAILED(hr)) return hr;
    }
    if (fileName == nullptr) return S_OK;
    const std::optional<std::wstring> full = fullPathOf(fileName, kFullPathMaxChars);
    if (!full) return kWriterErrorNonRetryable;
    const FileSpecification spec = splitFileSpecification(*full);
    if (tracing(TRC_COMPONENT)) {
        traceMsg(L"\nAddDatabaseFileGroup(%s:%s) to component", name.c_str(), full->c_str());
    }
    const HRESULT hr =
        metadata->AddFilesToFileGroup(optionalText(logicalPath), name.c_str(), spec.path.c_str(),
                                      spec.fileSpec.c_str(), true, nullptr, kFileGroupMask);
    if (tracing(TRC_COMPONENT)) {
        traceMsg(L"\nAddDatabaseFileGroup %s", SUCCEEDED(hr) ? L"SUCCESS" : L"FAILURE");
    }
    return hr;
}

HRESULT addArchiveDestComponent(VcwSession* session, IVssCreateWriterMetadata* metadata,
                                const std::wstring& name, const std::wstring& logicalPath,
                                const std::wstring& caption, std::uint16_t destination) {
    static constexpr char kStatement[] =
        "select name from v$archived_log    where status='A' and          "
        "is_recovery_dest_file='NO' and          DEST_ID = :1";
    VcwCursor* cursor = nullptr;
    char fileName[kVcwFileNameBytes];
    std::uint16_t number = destination;
    const bool opened =
        vcw_opn(session, cursor, kStatement) == 0 &&
        vcw_bnd(session, cursor, ":1", &number, sizeof number, kVcwBindIn, SQLT_UIN, nullptr) ==
            0 &&
        vcw_dfn(session, cursor, "NAME", fileName, sizeof fileName, SQLT_STR, nullptr) == 0 &&
        vcw_exe(session, cursor) == 0;
    if (!opened) {
        if (!failedOtherThanNoData(session)) return S_OK;
        vcw_perr(session);
        return kWriterErrorNonRetryable;
    }
    HRESULT hr = S_OK;
    bool first = true;
    while (SUCCEEDED(hr) && vcw_fet(session, cursor) == 0) {
        hr = addComponent(metadata, first, name, logicalPath, caption, fileName, true);
        first = false;
    }
    if (SUCCEEDED(hr) && cursor == nullptr && failedOtherThanNoData(session)) {
        vcw_perr(session);
        return kWriterErrorNonRetryable;
    }
    closeReadCursor(session, cursor, kArchiveDestCloseLine);
    return hr;
}

HRESULT addExclusions(VcwSession* session, IVssCreateWriterMetadata* metadata) {
    HRESULT hr = S_OK;
    for (const char* statement : kExclusionQueries) {
        hr = excludeFilesOf(session, metadata, statement);
        if (FAILED(hr)) break;
    }
    return hr;
}

HRESULT excludeCurrentControlFiles(VcwSession* session, IVssCreateWriterMetadata* metadata) {
    return excludeFilesOf(session, metadata, kControlFilesQuery);
}

bool isArchiveLogMode(VcwSession* session) {
    static constexpr char kStatement[] =
        "SELECT decode(LOG_MODE,'ARCHIVELOG', 1, 0) MREnabled FROM V$DATABASE";
    VcwCursor* cursor = nullptr;
    std::uint32_t enabled = 0;
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_dfn(session, cursor, "MRENABLED", &enabled, sizeof enabled, SQLT_UIN, nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kLogModeQueryFailure, kLogModeLine);
    }
    if (tracing(TRC_MISC)) traceMsgA("\nMedia recovery enabled is %d", enabled);
    return enabled != 0;
}

HRESULT scanRecoveryArea(VcwSession* session, IVssComponent* component,
                         IVssCreateWriterMetadata* metadata, const std::wstring& name,
                         const std::wstring& logicalPath, const std::wstring& caption) {
    std::uint64_t referenceTime = 0;
    const HRESULT hr = metadata != nullptr
                           ? addNewComponent(metadata, VSS_CT_FILEGROUP, name, logicalPath, caption)
                           : previousBackupTime(component, name, referenceTime);
    if (FAILED(hr)) return hr;
    RecoveryAreaScan scan(session, component, metadata,
                          joinLogicalPath({writerSettings().Sid, kDatabaseComponent, name}),
                          referenceTime);
    const HRESULT logs = scan.archivedLogs();
    if (FAILED(logs)) return logs;
    return scan.backupFiles();
}

}  // namespace snapscribe
