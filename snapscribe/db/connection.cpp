#include "connection.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <string>

#include "recovery_tool.h"
#include "snapscribe/sequence/conversation.h"
#include "snapscribe/host/settings.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"
#include "vci_api.h"
#include "vcw_internal.h"

namespace snapscribe {
namespace {

constexpr char kLocalDescriptor[] =
    "/@(DESCRIPTION=(ADDRESS=(PROTOCOL=beq)(PROGRAM=vorlix)(ARGV0=vorlix%s)(ARGS='(DESCRIPTION=("
    "LOCAL=YES)(ADDRESS=(PROTOCOL=beq)))')(ENVS='VORLIX_SID=%s'))(CONNECT_DATA=(SID=%s)))";
constexpr std::uint32_t kDescriptorFixedBytes = 175;
constexpr std::uint32_t kDescriptorBufferBytes = 1024;
constexpr long kInstanceNameLine = 3782;
constexpr long kBackupRefusedLine = 2676;
constexpr long kRestoreRefusedLine = 2687;
constexpr long kBackupTimeLine = 2698;

struct Environments {
    std::list<std::unique_ptr<VcwEnvironment>> retired;
    std::unique_ptr<VcwEnvironment> current;
};

Environments& environments() {
    static Environments held;
    return held;
}

bool acceptedOpenMode(int mode, bool restoreSide) {
    switch (mode) {
        case OpenModeMounted:
        case OpenModeReadWrite:
        case OpenModeReadOnly: return true;
        // The instance may be down while its files are put back.
        case OpenModeNotAvailable:
        case OpenModeNoServer: return restoreSide;
        default: return false;
    }
}

[[noreturn]] void refuseInstanceState(bool restoreSide) {
    if (restoreSide) raiseWriterFailure(kRestoreRefusedFailure, kRestoreRefusedLine);
    raiseWriterFailure(kBackupRefusedFailure, kBackupRefusedLine);
}

// A failed connection is reported and then judged by the state it reveals.
void connectSession(bool restoreSide) {
    char descriptor[kDescriptorBufferBytes];
    if (!formLocalDescriptor(descriptor, sizeof descriptor)) {
        raiseWriterFailure(kEmptyInstanceNameFailure, kInstanceNameLine);
    }
    VcwEnvironment* environment = writerEnvironment();
    if (environment == nullptr) environment = renewWriterEnvironment();
    if (environment == nullptr) refuseInstanceState(restoreSide);

    SequenceState& state = sequenceState();
    const int failed = vcw_con(environment, state.conversationSession, descriptor, false);
    setCurrentSession(state.conversationSession);
    if (failed == 0) return;
    vcw_perr(state.conversationSession);
    if (!acceptedOpenMode(vcw_openmode(state.conversationSession), restoreSide)) {
        refuseInstanceState(restoreSide);
    }
}

std::uint64_t currentFileTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME fileTime;
    if (!SystemTimeToFileTime(&now, &fileTime)) {
        raiseWriterFailure(kBackupTimeFailure, kBackupTimeLine);
    }
    return (std::uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
}

int openModeOfText(const char* text) {
    if (std::strcmp(text, "MOUNTED") == 0) return OpenModeMounted;
    if (std::strcmp(text, "READ WRITE") == 0) return OpenModeReadWrite;
    if (std::strcmp(text, "READ ONLY") == 0) return OpenModeReadOnly;
    return OpenModeOther;
}

int openModeOfError(std::int32_t errorNumber) {
    switch (errorNumber) {
        case 1507: return OpenModeNotMounted;
        case 1034: return OpenModeNotAvailable;
        case 1033: return OpenModeStartingOrStopping;
        case 3113: return OpenModeConnectionLost;
        case 942: return OpenModeReadWrite;
        case 12560: return OpenModeNoServer;
        default: return OpenModeOther;
    }
}

// Ending a sequence disconnects through the database layer; a failure raised
// after that must not refer to the released session.
void releaseSession(VcwSession* session) {
    if (currentSession() == session) setCurrentSession(nullptr);
    vcw_dcon(session, false);
}

}  // namespace

std::uint32_t makeLocalConnectString(char* buffer, std::uint32_t size) {
    const std::string& sid = writerSettings().SidNarrow;
    const auto n = static_cast<std::uint32_t>(sid.size());
    if (n == 0) raiseWriterFailure(kEmptyInstanceNameFailure, kInstanceNameLine);
    if (n >= kSidNarrowMaxBytes) return n;
    if (size < kDescriptorFixedBytes + 3 * n) return 0;
    const int written =
        std::snprintf(buffer, size, kLocalDescriptor, sid.c_str(), sid.c_str(), sid.c_str());
    if (written <= 0) raiseWriterFailure(kEmptyInstanceNameFailure, kInstanceNameLine);
    return static_cast<std::uint32_t>(written);
}

bool formLocalDescriptor(char* buffer, std::uint32_t size) {
    const std::uint32_t length = makeLocalConnectString(buffer, size);
    // A descriptor holds the name three times, so it is always longer than
    // the name; a name too long comes back as its own length.
    return length > writerSettings().SidNarrow.size();
}

VcwEnvironment* writerEnvironment() { return environments().current.get(); }

VcwEnvironment* renewWriterEnvironment() {
    installSequenceServices({releaseSession, stopRecoveryTool});
    Environments& held = environments();
    // A sequence's session may still live in an earlier environment.
    if (held.current) held.retired.push_back(std::move(held.current));
    held.retired.remove_if([](const auto& environment) { return environment->sessions.empty(); });
    held.current = vcw_env();
    return held.current.get();
}

void connectInstance(bool restoreSide, const ConversationFiller& fill) {
    SequenceState& state = sequenceState();
    if (state.conversation) {
        if (tracing(TRC_MISC)) traceMsgA("\nOngoing backup/restore converstation cleaned up");
        cleanupConversation();
    }
    connectSession(restoreSide);

    state.conversation = std::make_unique<Conversation>();
    state.conversation->backupTime = currentFileTime();
    if (!fill) return;
    if (!restoreSide) {
        fill();
        return;
    }
    try {
        fill();
    } catch (...) {
        // A restore goes on with what could be learnt about the database.
    }
}

void reconnectConversationSession() { connectSession(false); }

}  // namespace snapscribe

int vcw_openmode(VcwSession* session) {
    static constexpr char kOpenModeQuery[] = "         select open_mode from v$database";
    VcwCursor* cursor = nullptr;
    char openMode[20];
    const bool queried =
        vcw_opn(session, cursor, kOpenModeQuery) == 0 &&
        vcw_dfn(session, cursor, "open_mode", openMode, sizeof openMode, SQLT_STR, nullptr) == 0 &&
        vcw_efc(session, cursor) == 0;
    // A session whose connection was refused has no server to ask: the
    // instance is as its last classification found it.
    const bool unconnected = !queried && session->last.returnCode == VCI_INVALID_HANDLE &&
                             session->last.errorNumber == 0 && session->openMode != 0;
    if (unconnected) return session->openMode;
    session->openMode = queried ? snapscribe::openModeOfText(openMode)
                                : snapscribe::openModeOfError(session->last.errorNumber);
    return session->openMode;
}

int vcw_startup(VcwSession* session, std::uint32_t mode, const char* sid) {
    static constexpr std::uint32_t kParameterFileBytes = 512;
    char parameterFile[kParameterFileBytes] = {};
    std::uint32_t length = 0;
    const std::string name = snapscribe::instanceSettingName("VLX_%s_PFILE", sid);
    if (snapscribe::getSetting(name.c_str(), parameterFile, sizeof parameterFile, &length) != 0 &&
        parameterFile[0] != '\0') {
        const std::int32_t rc =
            snapscribe::vci().VCIAttrSet(session->admin, VCI_HTYPE_ADMIN, parameterFile,
                                         static_cast<std::uint32_t>(std::strlen(parameterFile)),
                                         VCI_ATTR_ADMIN_PFILE, session->errorHandle);
        if (vcw_chk(session, rc) != 0) return 1;
    }
    const std::int32_t rc = snapscribe::vci().VCIDBStartup(
        session->serviceContext, session->errorHandle, session->admin, mode, VCI_DEFAULT);
    return vcw_chk(session, rc);
}
