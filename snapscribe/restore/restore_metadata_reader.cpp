#include "restore_metadata_reader.h"

#include <oleauto.h>

#include <memory>
#include <vector>

#include "metadata_tokens.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/file_utils.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr long kRecreateLine = 1701;

struct BstrRelease {
    void operator()(wchar_t* text) const noexcept { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<wchar_t, BstrRelease>;

void traceKeyValue(const wchar_t* key, const std::wstring& value) {
    if (tracing(TRC_COMPONENT)) traceMsg(L"\n%s%s", key, value.c_str());
}

std::string narrowedName(const wchar_t* name) {
    std::vector<char> narrow(kVcwFileNameBytes);
    toNarrow(name, narrow.data(), kVcwFileNameBytes, nullptr);
    return narrow.data();
}

void noteNextChange(const std::wstring& value, Conversation& conversation) {
    const auto next = changeNumber(value);
    if (next && *next > conversation.maxNextScn) conversation.maxNextScn = *next;
}

void recreateLog(const std::wstring& fileName, const MetadataToken& data,
                 Conversation& conversation) {
    // A name the path buffer cannot hold cannot be re-created in its place.
    if (fileName.size() >= kPathCapacity) {
        raiseWriterFailure(kLogRecreateFailure, kRecreateLine, {L"", fileName});
    }
    wchar_t path[kPathCapacity] = {};
    fileName.copy(path, fileName.size());
    bool usedTemporary = false;
    SetLastError(0);
    const std::uint32_t written = base64ToFile(
        path, data.payload, static_cast<std::uint32_t>(data.payloadBytes), &usedTemporary);
    if (written == 0 && GetLastError() != ERROR_FILE_EXISTS) {
        raiseWriterFailure(kLogRecreateFailure, kRecreateLine, {L"", fileName});
    }
    if (usedTemporary) {
        writeToEventLog2(EVENTLOG_INFORMATION_TYPE, kEventCategory, kTemporaryLogEvent,
                         kWriterVersionText, path, 0, nullptr);
    }
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nEncoded data:%u; filename:%s", written, path);
    if (written == 0) return;
    auto log = std::make_shared<ExtractedLog>();
    log->fileName = narrowedName(path);
    conversation.extractedLogs.push_back(log);
    if (tracing(TRC_COMPONENT)) {
        traceMsgA("\ncatalog filename:%s before recovery", log->fileName.c_str());
    }
}

}  // namespace

void restoreArchivedLogs(const wchar_t* text, Conversation& conversation) {
    std::wstring fileName;
    for (const MetadataToken& token : restoreMetadataTokens(text)) {
        switch (token.key) {
            case MetadataKey::FileName:
                fileName = token.value;
                traceKeyValue(L"FILENAME=", token.value);
                break;
            case MetadataKey::FirstChange: traceKeyValue(L"FIRST_SCN=", token.value); break;
            case MetadataKey::NextChange:
                traceKeyValue(L"NEXT_SCN=", token.value);
                noteNextChange(token.value, conversation);
                break;
            case MetadataKey::Data:
                recreateLog(fileName, token, conversation);
                fileName.clear();
                break;
        }
    }
}

HRESULT readRestoreMetadata(IVssComponent* component, const std::wstring& componentName,
                            Conversation& conversation) {
    BSTR raw = nullptr;
    const HRESULT result = component->GetRestoreMetadata(&raw);
    const OwnedBstr text(raw);
    if (FAILED(result) || text == nullptr) {
        writeToEventLog2(EVENTLOG_INFORMATION_TYPE, kEventCategory, kNoRestoreMetadataEvent,
                         kWriterVersionText, componentName.c_str(), 0, nullptr);
        return result;
    }
    restoreArchivedLogs(text.get(), conversation);
    return result;
}

}  // namespace snapscribe
