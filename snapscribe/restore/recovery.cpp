// The recovery of the whole database and the cataloguing of the archived
// logs a restore re-created, both through the recovery tool.

#include <cinttypes>
#include <string>

#include "recovery_text.h"
#include "restore_events.h"
#include "restore_metadata_reader.h"
#include "snapscribe/backup/backup_metadata.h"
#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/code_page.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr long kIncarnationLine = 2001;
constexpr long kCatalogLine = 2002;
constexpr std::size_t kChangeBindBytes = 772;

constexpr char kIncarnationQuery[] =
    "select max(incarnation#) Incarnation from v$database_incarnation where resetlogs_change#   "
    "= (select max(resetlogs_change#) from v$database_incarnation     where "
    "resetlogs_change#<:1)";

// The incarnation whose resetlogs came last before `change`.
std::uint32_t incarnationBefore(std::uint64_t change) {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char bound[kChangeBindBytes] = {};
    const std::string text = std::to_string(change);
    text.copy(bound, sizeof bound - 1);
    std::uint32_t incarnation = 0;
    if (vcw_opn(session, cursor, kIncarnationQuery) != 0 ||
        vcw_bnd(session, cursor, ":1", bound, sizeof bound, kVcwBindIn, SQLT_STR, nullptr) != 0 ||
        vcw_dfn(session, cursor, "INCARNATION", &incarnation, sizeof incarnation, SQLT_UIN,
                nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kIncarnationFailure, kIncarnationLine);
    }
    return incarnation;
}

void recoverUntilSnapshot(std::uint64_t maxNextScn) {
    if (maxNextScn == 0) {
        writeInformationEvent(kNoRecoveryEvent);
        return;
    }
    if (tracing(TRC_COMPONENT)) {
        traceMsgA("\nDoing in-complete recovery all database files to %" PRIu64 " SCN", maxNextScn);
    }
    runToolCommand(untilChangeCommand(incarnationBefore(maxNextScn), maxNextScn).c_str());
    writeInformationEvent(kUntilSnapshotRecoveryEvent);
}

}  // namespace

void writeInformationEvent(std::uint32_t id) {
    writeToEventLog1(EVENTLOG_INFORMATION_TYPE, kEventCategory, id, kWriterVersionText, 0, nullptr);
}

void recoverWholeDatabase() {
    const Conversation& conversation = currentConversation();
    switch (wholeDatabaseRecovery(conversation.flags)) {
        case WholeDatabaseRecovery::None: writeInformationEvent(kNoRecoveryEvent); return;
        case WholeDatabaseRecovery::Complete:
            if (tracing(TRC_COMPONENT))
                traceMsgA("\nDoing complete recovering of all database files");
            runToolCommand("recover database;");
            writeInformationEvent(kCompleteRecoveryEvent);
            return;
        case WholeDatabaseRecovery::UntilSnapshot: recoverUntilSnapshot(conversation.maxNextScn);
    }
}

void catalogExtractedLogs() {
    if (tracing(TRC_COMPONENT)) traceMsgA("\nDoing catalog of extracted archived logs");
    for (const auto& log : currentConversation().extractedLogs) {
        const std::optional<std::string> command = catalogCommand(log->fileName);
        if (!command) {
            raiseWriterFailure(kGeneralFailure, kCatalogLine,
                               {kUncataloguableLog, lenientWide(log->fileName)});
        }
        runToolCommand(command->c_str());
    }
}

}  // namespace snapscribe
