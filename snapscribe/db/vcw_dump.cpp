// The statement dump: every prepared statement and, after each execute and
// fetch, the values of its binds, written to the trace under TRC_SQL.

#include <cstdint>
#include <cstring>

#include "snapscribe/host/trace.h"
#include "vci_api.h"
#include "vcw_internal.h"

using snapscribe::traceMsgA;
using snapscribe::vci;

namespace {

constexpr char kNumberFormat[] = "FM999999999999999999999999999999999999999";
constexpr char kDateFormat[] = "MM/DD/YYYY HH24:MI:SS";
constexpr std::size_t kNumberMaxBytes = 22;
constexpr std::size_t kDateBytes = 7;
constexpr std::size_t kValueTextBytes = 128;

void traceBindLimit() { traceMsgA("\nExceeding maximum bind count %d", int(kVcwMaxBinds)); }

long long signedValue(const void* value, std::int32_t size) {
    switch (size) {
        case 1: return *static_cast<const std::int8_t*>(value);
        case 2: return *static_cast<const std::int16_t*>(value);
        case 8: return *static_cast<const std::int64_t*>(value);
        default: return *static_cast<const std::int32_t*>(value);
    }
}

unsigned long long unsignedValue(const void* value, std::int32_t size) {
    switch (size) {
        case 1: return *static_cast<const std::uint8_t*>(value);
        case 2: return *static_cast<const std::uint16_t*>(value);
        case 8: return *static_cast<const std::uint64_t*>(value);
        default: return *static_cast<const std::uint32_t*>(value);
    }
}

void dumpNumber(const VcwSession* session, int position, const unsigned char* value) {
    VLXLangHandle* language = session->environment->languageHandle;
    unsigned char format[VLX_FORMAT_BUFFER_SIZE];
    if (vci().lnxpfl(kNumberFormat, sizeof kNumberFormat - 1, format, sizeof format, language) !=
        0) {
        vcw_fatal("vcw_dbgcb: lnxpfl error");
    }
    const std::size_t length = value[0] < kNumberMaxBytes ? value[0] : kNumberMaxBytes - 1;
    char text[kValueTextBytes];
    const std::int32_t written =
        vci().lnxnft(value + 1, length, text, sizeof text, format, language);
    if (written >= 0) traceMsgA("\n:%d = %.*s", position, int(written), text);
}

bool isNullDate(const unsigned char* value) {
    static constexpr unsigned char kZero[kDateBytes] = {};
    return std::memcmp(value, kZero, kDateBytes) == 0;
}

void dumpDate(const VcwSession* session, int position, const unsigned char* value) {
    VLXDateCtx* dates = session->environment->dateContext;
    VLXDate date{};
    unsigned char format[VLX_FORMAT_BUFFER_SIZE];
    char text[kValueTextBytes];
    vci().ldxeti(dates, value, &date);
    vci().ldxsto(dates, kDateFormat, sizeof kDateFormat - 1, format, sizeof format);
    const std::int32_t written = vci().ldxdts(dates, text, sizeof text, &date, format);
    if (written >= 0) traceMsgA("\n:%d = %.*s", position, int(written), text);
}

// One entry; values that the statement has not produced yet (no iteration)
// are left out.
void dumpEntry(const VcwSession* session, int position, const VcwBindEntry& bind,
               std::uint32_t iterations) {
    if (bind.indicator != nullptr && *static_cast<const std::int16_t*>(bind.indicator) == -1) {
        traceMsgA("\n:%d = <NULL>", position);
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(bind.value);
    switch (bind.type) {
        case SQLT_INT:
            if (iterations != 0)
                traceMsgA("\n:%d = %lld", position, signedValue(bind.value, bind.size));
            break;
        case SQLT_UIN:
            if (iterations != 0) {
                traceMsgA("\n:%d = %llu", position, unsignedValue(bind.value, bind.size));
            }
            break;
        case SQLT_STR:
            if (bytes[0] != 0) {
                traceMsgA("\n:%d = %.*s", position, int(bind.size),
                          static_cast<const char*>(bind.value));
            } else if (iterations != 0) {
                traceMsgA("\n:%d = <EMPTY STRING>", position);
            }
            break;
        case SQLT_VNU:
            if (iterations != 0) dumpNumber(session, position, bytes);
            break;
        case SQLT_DAT:
            if (!isNullDate(bytes)) {
                dumpDate(session, position, bytes);
            } else if (iterations != 0) {
                traceMsgA("\n:%d = <NULL DATE>", position);
            }
            break;
        default: break;
    }
}

void dumpBinds(const VcwSession* session, std::uint32_t iterations) {
    if (session->bindCount >= kVcwMaxBinds) {
        traceBindLimit();
        return;
    }
    for (std::uint32_t i = 0; i < session->bindCount; ++i) {
        dumpEntry(session, int(i + 1), session->binds[i], iterations);
    }
}

void skip(va_list& arguments, int count) {
    for (int i = 0; i < count; ++i) va_arg(arguments, void*);
}

void recordBind(VcwSession* session, va_list& arguments) {
    if (session->bindCount >= kVcwMaxBinds) {
        traceBindLimit();
        return;
    }
    VcwBindEntry& entry = session->binds[session->bindCount++];
    entry.value = va_arg(arguments, void*);
    entry.size = va_arg(arguments, std::int32_t);
    entry.type = static_cast<std::uint16_t>(va_arg(arguments, int));
    entry.indicator = va_arg(arguments, void*);
}

}  // namespace

std::int32_t vcw_dbgcb(void* context, void*, std::uint32_t, std::uint32_t function, std::uint32_t,
                       std::int32_t, std::int32_t*, va_list arguments) {
    auto* session = static_cast<VcwSession*>(context);
    switch (function) {
        case VCI_FNCODE_STMTPREPARE: {
            skip(arguments, 2);  // statement, error handle
            const char* text = va_arg(arguments, const char*);
            traceMsgA("\nEXEC SQL at HOST EXECUTE:\n %s\n", text);
            session->bindCount = 0;
            break;
        }
        case VCI_FNCODE_BINDBYNAME:
            skip(arguments, 5);  // statement, bind, error handle, placeholder and its length
            recordBind(session, arguments);
            break;
        case VCI_FNCODE_BINDBYPOS:
            skip(arguments, 4);  // statement, bind, error handle, position
            recordBind(session, arguments);
            break;
        case VCI_FNCODE_STMTEXECUTE: {
            skip(arguments, 3);  // service context, statement, error handle
            const std::uint32_t iterations = va_arg(arguments, std::uint32_t);
            skip(arguments, 3);  // row offset, snapshots
            if (va_arg(arguments, std::uint32_t) != VCI_DESCRIBE_ONLY)
                dumpBinds(session, iterations);
            break;
        }
        case VCI_FNCODE_STMTFETCH: dumpBinds(session, 1); break;
        default: break;
    }
    return VCI_CONTINUE;
}
