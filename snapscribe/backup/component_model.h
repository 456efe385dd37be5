#pragma once
// The component tree the writer reports at identify, the files it keeps out
// of every backup, and the scan of the recovery area that the post-snapshot
// event repeats to report the files changed since the previous backup.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>
#include <string>

struct VcwSession;

namespace snapscribe {

// A file name as the database gives it, terminator included.

constexpr DWORD kBackupSchema = 0x17B;
constexpr DWORD kDatabaseFileMask = 0xF01;
constexpr DWORD kLogFileMask = 0xF0E;
constexpr DWORD kFileGroupMask = 0xF06;

constexpr std::uint32_t kIdentifyConnectFailure = 0xCFFF000B;
constexpr std::uint32_t kEnvironmentFailure = 0xCFFF000C;
constexpr std::uint32_t kSpfileQueryFailure = 0xCFFF000E;
constexpr std::uint32_t kLogModeQueryFailure = 0xCFFF000F;
constexpr std::uint32_t kSnapshotNameFailure = 0xCFFF0010;
constexpr std::uint32_t kControlFileQueryFailure = 0xCFFF0011;
constexpr std::uint32_t kDatafileQueryFailure = 0xCFFF0012;
constexpr std::uint32_t kCursorCloseFailure = 0xCFFF0015;

constexpr std::uint32_t kNotReachableEvent = 0x4FFF1007;
constexpr std::uint32_t kNotAvailableEvent = 0x4FFF1008;
constexpr std::uint32_t kNotMountedEvent = 0x4FFF1009;

// The body of the identify event.
void identifyInstance(IVssCreateWriterMetadata* metadata);

// Adds a database component (isNew) and, given a file name in the system
// code page, that file to it as a database or (isLog) log file.
HRESULT addComponent(IVssCreateWriterMetadata* metadata, bool isNew, const std::wstring& name,
                     const std::wstring& logicalPath, const std::wstring& caption,
                     const char* fileName, bool isLog);
// The same for a file-group component and its files.
HRESULT addFileGroupComponent(IVssCreateWriterMetadata* metadata, bool isNew,
                              const std::wstring& name, const std::wstring& logicalPath,
                              const std::wstring& caption, const char* fileName);
// A component for the archived logs of one destination outside the recovery
// area; none when the destination holds none.
HRESULT addArchiveDestComponent(VcwSession* session, IVssCreateWriterMetadata* metadata,
                                const std::wstring& name, const std::wstring& logicalPath,
                                const std::wstring& caption, std::uint16_t destination);
HRESULT addExclusions(VcwSession* session, IVssCreateWriterMetadata* metadata);
HRESULT excludeCurrentControlFiles(VcwSession* session, IVssCreateWriterMetadata* metadata);
bool isArchiveLogMode(VcwSession* session);

// With `metadata`: adds the recovery area and its archived logs and backup
// files as components. Without: reports those files to `component` as
// differenced by their last change since the previous backup's stamp. With
// neither, only looks. With a conversation, the newest file of each kind is
// remembered in it.
HRESULT scanRecoveryArea(VcwSession* session, IVssComponent* component,
                         IVssCreateWriterMetadata* metadata, const std::wstring& name,
                         const std::wstring& logicalPath, const std::wstring& caption);

}  // namespace snapscribe
