// Interface of the launcher's database engine, dbengine.dll.
/*
 * The database engine (dbengine.dll): aliases kept in a configuration file of
 * its own, connections made through the vendor client library that the
 * driver's registry settings name, and queries whose columns are read as text.
 * Texts are UTF-16; lists are NUL-separated and end with an extra NUL. Every
 * call that can fail returns DBE_OK or DBE_ERROR and keeps the reason for
 * DbeGetLastError on the calling thread.
 */
#pragma once

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef DBE_BUILDING_DLL
#define DBEAPI __declspec(dllexport)
#else
#define DBEAPI
#endif

#define DBE_OK 0
#define DBE_ERROR 1
#define DBE_END_OF_ROWS 100

typedef struct DbeDatabase DbeDatabase;
typedef struct DbeQuery DbeQuery;

/* Copies the reason of the thread's last failure (truncated to `capacity`). */
DBEAPI int DbeGetLastError(wchar_t* buffer, int capacity);

/*
 * Size protocol of the text getters: `*required` receives the characters the
 * answer needs, terminators included; the buffer is filled only when it is
 * that large, else DBE_ERROR.
 */
DBEAPI int DbeGetAliasNames(wchar_t* buffer, int capacity, int* required);

/* `parameters`: "NAME=VALUE" list. Refused when an alias of that name exists in any case. */
DBEAPI int DbeAddAlias(const wchar_t* name, const wchar_t* driver, const wchar_t* parameters);

/* Writes the aliases to the configuration file. */
DBEAPI int DbeSaveConfigFile(void);

/*
 * Connects to the database of `alias`; `parameters` ("NAME=VALUE" list) take
 * the place of the alias's own. Needs SERVER NAME, USER NAME and PASSWORD.
 */
DBEAPI int DbeOpenDatabase(const wchar_t* alias, const wchar_t* parameters, DbeDatabase** database);
DBEAPI void DbeCloseDatabase(DbeDatabase* database);

/* Runs a query; the rows are then read with DbeNextRow (DBE_OK, DBE_END_OF_ROWS or DBE_ERROR). */
DBEAPI int DbeOpenQuery(DbeDatabase* database, const wchar_t* sql, DbeQuery** query);
DBEAPI int DbeNextRow(DbeQuery* query);

/* The current row's value of `column` (any letter case) as text; NULL reads as empty. */
DBEAPI int DbeGetFieldText(DbeQuery* query, const wchar_t* column, wchar_t* buffer, int capacity,
                           int* required);
DBEAPI void DbeCloseQuery(DbeQuery* query);

#ifdef __cplusplus
}
#endif
