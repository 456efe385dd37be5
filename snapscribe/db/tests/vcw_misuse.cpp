// Runs one misuse of the database wrapper against an instance, for the tests:
//   vcw_misuse SID CASE
// A misuse ends the process with exit status -1; the program exits 0 when it did not.

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "snapscribe/db/connection.h"
#include "snapscribe/host/writer_settings.h"

namespace {

using Misuse = void (*)(VcwSession* session);

VcwCursor* openQuery(VcwSession* session) {
    VcwCursor* cursor = nullptr;
    vcw_opn(session, cursor, "select open_mode from v$database");
    return cursor;
}

// Defines `column` of the query as text into `size` bytes.
void defineColumn(VcwSession* session, const char* column, std::int32_t size) {
    VcwCursor* cursor = openQuery(session);
    char text[20];
    vcw_dfn(session, cursor, column, text, size, SQLT_STR, nullptr);
}

const std::map<std::wstring, Misuse> kMisuses = {
    {L"open-twice",
     [](VcwSession* s) {
         VcwCursor* cursor = openQuery(s);
         vcw_opn(s, cursor, "select 1 from dual");
     }},
    {L"prefix-column", [](VcwSession* s) { defineColumn(s, "OPEN", 20); }},
    {L"one-byte-output",
     [](VcwSession* s) {
         VcwCursor* cursor = openQuery(s);
         char one[1];
         vcw_bnd(s, cursor, "x", one, sizeof one, kVcwBindOut, SQLT_STR, nullptr);
     }},
    {L"one-byte-define", [](VcwSession* s) { defineColumn(s, "OPEN_MODE", 1); }},
    {L"execute-closed",
     [](VcwSession* s) {
         VcwCursor* cursor = openQuery(s);
         VcwCursor* kept = cursor;
         vcw_cls(s, cursor);
         vcw_exe(s, kept);
     }},
    {L"efc-closed",
     [](VcwSession* s) {
         VcwCursor* never = nullptr;
         vcw_efc(s, never);
     }},
    {L"disconnect-none",
     [](VcwSession*) {
         VcwSession* none = nullptr;
         vcw_dcon(none, false);
     }},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || kMisuses.count(argv[2]) == 0) return 2;
    const std::wstring sid = argv[1];
    snapscribe::writerSettings().SidNarrow.assign(sid.begin(), sid.end());
    char descriptor[1024];
    snapscribe::makeLocalConnectString(descriptor, sizeof descriptor);
    const auto environment = vcw_env();
    VcwSession* session = nullptr;
    if (environment == nullptr || vcw_con(environment.get(), session, descriptor, false) != 0) {
        return 3;
    }
    std::printf("connected\n");
    kMisuses.at(argv[2])(session);
    return 0;
}
