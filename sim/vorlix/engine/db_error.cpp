#include "sim/vorlix/engine/db_error.h"

#include <cstdio>
#include <map>

namespace vorlix {

namespace {

const std::map<int, const char*>& errorTexts() {
    static const std::map<int, const char*> texts = {
        {205, "error in identifying control file, check alert log for more info: %s"},
        {258, "manual archiving in NOARCHIVELOG mode must identify log"},
        {279, "change %s"},
        {308, "cannot open archived log '%s'"},
        {313, "open failed for members of log group %s of thread 1"},
        {376, "file %s cannot be read at this time"},
        {900, "invalid SQL statement"},
        {904, "%s: invalid identifier"},
        {907, "missing right parenthesis"},
        {909, "invalid number of arguments"},
        {911, "invalid character"},
        {913, "too many values"},
        {918, "column ambiguously defined"},
        {923, "FROM keyword not found where expected"},
        {932, "inconsistent datatypes"},
        {933, "SQL command not properly ended"},
        {934, "group function is not allowed here"},
        {936, "missing expression"},
        {937, "not a single-group group function"},
        {938, "not enough arguments for function"},
        {942, "table or view does not exist"},
        {947, "not enough values"},
        {955, "name is already used by an existing object"},
        {959, "tablespace '%s' does not exist"},
        {1001, "invalid cursor"},
        {1002, "fetch out of sequence"},
        {1003, "no statement parsed"},
        {1007, "variable not in select list"},
        {1008, "not all variables bound"},
        {1012, "not logged on"},
        {1017, "invalid username/password; logon denied"},
        {1031, "insufficient privileges"},
        {1033, "Vorlix initialization or shutdown in progress"},
        {1034, "Vorlix not available"},
        {1078, "failure in processing system parameters: %s"},
        {1081, "cannot start already-running Vorlix - shut it down first"},
        {1100, "database already mounted"},
        {1109, "database not open"},
        {1113, "file %s needs media recovery"},
        {1114, "IO error writing block to file %s"},
        {1123, "cannot start online backup; media recovery not enabled"},
        {1139, "RESETLOGS option only valid after an incomplete database recovery"},
        {1142, "cannot end online backup - none of the files are in backup"},
        {1146, "cannot start online backup - file %s is already in backup"},
        {1149, "cannot shutdown - file %s has online backup set"},
        {1152, "file %s was not restored from a sufficiently old backup"},
        {1157, "cannot identify/lock data file %s - see DBWR trace file"},
        {1194, "file %s needs more recovery to be consistent"},
        {1219, "database not open: queries allowed on fixed tables/views only"},
        {1401, "inserted value too large for column"},
        {1403, "no data found"},
        {1284, "file %s cannot be opened: not an archived log of this database"},
        {1405, "fetched column value is NULL"},
        {1406, "fetched column value was truncated"},
        {1422, "exact fetch returns more than requested number of rows"},
        {1427, "single-row subquery returns more than one row"},
        {1476, "divisor is equal to zero"},
        {1507, "database not mounted"},
        {1511, "error in renaming log/data files: %s"},
        {1516, "nonexistent log file, data file, or temporary file \"%s\""},
        {1531, "a database already open by the instance"},
        {1785, "ORDER BY item must be the number of a SELECT-list expression"},
        {1789, "query block has incorrect number of result columns"},
        {1578, "Vorlix data block corrupted (file # %s)"},
        {1589, "must use RESETLOGS or NORESETLOGS option for database open"},
        {1722, "invalid number"},
        {1740, "missing double quote in identifier"},
        {1756, "quoted string not properly terminated"},
        {1036, "illegal variable name/number"},
        {3113, "end-of-file on communication channel"},
        {3115, "unsupported network datatype or representation"},
        {3114, "not connected to Vorlix"},
        {6502, "PL/SQL: numeric or value error"},
        {6510, "PL/SQL: unhandled user-defined exception"},
        {6550, "line 1, column 1: PLS-00201: identifier '%s' must be declared"},
        {6556, "the pipe is empty, cannot fulfill the unpack_message request"},
        {9999, "user-defined exception"},
        {12154, "could not resolve the connect identifier specified"},
        {12560, "protocol adapter error"},
        {16000, "database open for read-only access"},
        {19504, "failed to create file \"%s\""},
        {19505, "failed to identify file \"%s\""},
        {19571, "%s record not found in control file"},
        {24333, "zero iteration count"},
        {24334, "no descriptor for this position"},
        {24338, "statement handle not executed"},
    };
    return texts;
}

}  // namespace

std::string errorText(int number, const std::string& detail) {
    auto found = errorTexts().find(number);
    std::string pattern = found == errorTexts().end() ? "error %s" : found->second;
    size_t slot = pattern.find("%s");
    if (slot == std::string::npos) return pattern;
    return pattern.substr(0, slot) + detail + pattern.substr(slot + 2);
}

void raiseError(int number, const std::string& detail) {
    throw DbError(number, errorText(number, detail));
}

std::string DbError::fullText() const {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "VLX-%05d: ", number_);
    return prefix + std::string(what());
}

}  // namespace vorlix
