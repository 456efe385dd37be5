// Interface of the Borland Database Engine, IDAPI32.DLL.
/*
 * The Borland Database Engine's C interface (IDAPI32.DLL), as far as the
 * launcher uses it: initialisation, the alias list, adding and saving an
 * alias, opening a database, one direct query read field by field as text,
 * and the error texts.
 *
 * Calling convention, record layouts, constants and signatures follow the
 * engine's published API reference (the BDE32 help: DbiInit, DbiAddAlias,
 * DbiOpenDatabase, DBDesc, CURProps, FLDDesc, DBIErrInfo, ...) and the
 * engine's Pascal unit BDE.pas rev 6.00 as published in its machine-made
 * C++ header BDE.hpp: every function is DBIFN (__stdcall) and exported by
 * IDAPI32.DLL under its plain name; records are byte-packed; enumerations
 * are int-sized. The sizes below are worked out by hand from those
 * declarations and checked at compile time.
 *
 * DbiInit is no export: the reference's header defines it as
 * DbiInitFn(DBIINTFVER, pEnv).
 */
#pragma once

#include <stddef.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef IDAPI_BUILDING_ENGINE
#define IDAPI_EXPORT __declspec(dllexport)
#else
#define IDAPI_EXPORT
#endif

#define DBIFN __stdcall

#define DBIINTFVER 500 /* interface version passed to DbiInitFn */

#define DBIMAXNAMELEN 31
#define DBIMAXPATHLEN 260
#define DBIMAXTBLNAMELEN 260
#define DBIMAXMSGLEN 127

typedef UINT16 DBIResult;
typedef UINT16 BOOL16;

typedef struct hDBIObj__* hDBIObj;
typedef hDBIObj hDBIDb;
typedef hDBIObj hDBICur;
typedef hDBIObj hDBICfg;
typedef hDBIDb* phDBIDb;
typedef hDBICur* phDBICur;

typedef CHAR* pCHAR;
typedef BYTE* pBYTE;
typedef BOOL* pBOOL;

typedef CHAR DBINAME[DBIMAXNAMELEN + 1];
typedef CHAR DBIPATH[DBIMAXPATHLEN + 1];
typedef CHAR DBITBLNAME[DBIMAXTBLNAMELEN + 1];
typedef CHAR DBIMSG[DBIMAXMSGLEN + 1];

typedef enum { dbiREADWRITE, dbiREADONLY } DBIOpenMode;
typedef enum { dbiOPENSHARED, dbiOPENEXCL } DBIShareMode;
typedef enum { dbiNOLOCK, dbiWRITELOCK, dbiREADLOCK } DBILockType;
typedef enum { xltNONE, xltRECORD, xltFIELD } XLTMode;
typedef enum { qrylangUNKNOWN, qrylangQBE, qrylangSQL } DBIQryLang;
typedef enum { fldvNOCHECKS, fldvHASCHECKS, fldvUNKNOWN } FLDVchk;
typedef enum { fldrREADWRITE, fldrREADONLY, fldrNONE, fldrUNKNOWN } FLDRights;

/* Field types (FLDDesc.iFldType) */
#define fldUNKNOWN 0
#define fldZSTRING 1 /* NUL-terminated text */

/* Results */
#define DBIERR_NONE 0x0000
#define DBIERR_SYSFILEOPEN 0x2101     /* cannot open a system file */
#define DBIERR_SYSFILEIO 0x2102       /* I/O error on a system file */
#define DBIERR_CFGCANNOTWRITE 0x2105  /* cannot write the configuration file */
#define DBIERR_CANTLOADLIBRARY 0x210A /* cannot load a service library */
#define DBIERR_EOF 0x2202             /* end of the virtual table */
#define DBIERR_NOMEMORY 0x2501
#define DBIERR_RECTOOBIG 0x2505
#define DBIERR_OUTOFRANGE 0x2701
#define DBIERR_INVALIDPARAM 0x2702
#define DBIERR_INVALIDHNDL 0x2706
#define DBIERR_NAMENOTUNIQUE 0x2719
#define DBIERR_UNKNOWNDRIVER 0x271D
#define DBIERR_UNKNOWNDB 0x271E
#define DBIERR_NOTINITIALIZED 0x2A06
#define DBIERR_NOTSUPPORTED 0x3001
#define DBIERR_UNKNOWNSQL 0x3303 /* general SQL error; the server's text follows */

#pragma pack(push, 1)

typedef struct {
    CHAR szWorkDir[DBIMAXPATHLEN + 1];
    CHAR szIniFile[DBIMAXPATHLEN + 1]; /* configuration file; empty: the registered one */
    BOOL16 bForceLocalInit;
    DBINAME szLang;
    DBINAME szClientName;
} DBIEnv;
typedef DBIEnv* pDBIEnv;

/* One record of DbiOpenDatabaseList; names in the OEM code page. */
typedef struct {
    DBINAME szName;
    DBINAME szText;
    DBIPATH szPhyName;
    DBINAME szDbType;
} DBDesc;
typedef DBDesc* pDBDesc;

typedef struct {
    UINT16 iFldNum; /* 1..n */
    DBINAME szName;
    UINT16 iFldType;
    UINT16 iSubType;
    INT16 iUnits1; /* characters of a text field */
    INT16 iUnits2;
    UINT16 iOffset; /* in the record buffer, or in pOptParams */
    UINT16 iLen;    /* bytes, terminator included */
    UINT16 iNullOffset;
    FLDVchk efldvVchk;
    FLDRights efldrRights;
    BOOL16 bCalcField;
    UINT16 iUnUsed[2];
} FLDDesc;
typedef FLDDesc* pFLDDesc;

typedef struct {
    DBITBLNAME szName;
    UINT16 iFNameSize;
    DBINAME szTableType;
    UINT16 iFields;
    UINT16 iRecSize;
    UINT16 iRecBufSize;
    UINT16 iKeySize;
    UINT16 iIndexes;
    UINT16 iValChecks;
    UINT16 iRefIntChecks;
    UINT16 iBookMarkSize;
    BOOL16 bBookMarkStable;
    DBIOpenMode eOpenMode;
    DBIShareMode eShareMode;
    BOOL16 bIndexed;
    INT16 iSeqNums;
    BOOL16 bSoftDeletes;
    BOOL16 bDeletedOn;
    UINT16 iRefRange;
    XLTMode exltMode;
    UINT16 iRestrVersion;
    BOOL16 bUniDirectional;
    UINT16 eprvRights;
    UINT16 Dummy4;
    UINT16 iFmlRights;
    UINT16 iPasswords;
    UINT16 iCodePage;
    BOOL16 bProtected;
    UINT16 iTblLevel;
    DBINAME szLangDriver;
    BOOL16 bFieldMap;
    UINT16 iBlockSize;
    BOOL16 bStrictRefInt;
    UINT16 iFilters;
    BOOL16 bTempTable;
    UINT16 iUnUsed[16];
} CURProps;
typedef CURProps* pCURProps;

typedef struct {
    INT32 iSeqNum;
    INT32 iPhyRecNum;
    UINT16 iRecStatus;
    BOOL16 bSeqNumChanged;
    BOOL16 bDeleteFlag;
} RECProps;
typedef RECProps* pRECProps;

typedef struct {
    DBIResult iError;
    DBIMSG szErrCode; /* the message of iError */
    DBIMSG szContext1;
    DBIMSG szContext2;
    DBIMSG szContext3;
    DBIMSG szContext4;
} DBIErrInfo;
typedef DBIErrInfo* pDBIErrInfo;

#pragma pack(pop)

IDAPI_EXPORT DBIResult DBIFN DbiInitFn(UINT16 iVer, pDBIEnv pEnv);
IDAPI_EXPORT DBIResult DBIFN DbiExit(void);

IDAPI_EXPORT DBIResult DBIFN DbiOpenDatabaseList(phDBICur phCur);
IDAPI_EXPORT DBIResult DBIFN DbiAddAlias(hDBICfg hCfg, pCHAR pszAliasName, pCHAR pszDriverType,
                                         pCHAR pszParams, BOOL bPersist);
IDAPI_EXPORT DBIResult DBIFN DbiCfgSave(hDBICfg hCfg, pCHAR pszCfgFile, BOOL bRegistered);

IDAPI_EXPORT DBIResult DBIFN DbiOpenDatabase(pCHAR pszDbName, pCHAR pszDbType,
                                             DBIOpenMode eOpenMode, DBIShareMode eShareMode,
                                             pCHAR pszPassword, UINT16 iOptFlds,
                                             pFLDDesc pOptFldDesc, pBYTE pOptParams, phDBIDb phDb);
IDAPI_EXPORT DBIResult DBIFN DbiCloseDatabase(phDBIDb phDb);

IDAPI_EXPORT DBIResult DBIFN DbiQExecDirect(hDBIDb hDb, DBIQryLang eQryLang, pCHAR pszQuery,
                                            phDBICur phCur);
IDAPI_EXPORT DBIResult DBIFN DbiGetCursorProps(hDBICur hCursor, pCURProps pcurProps);
IDAPI_EXPORT DBIResult DBIFN DbiGetFieldDescs(hDBICur hCursor, pFLDDesc pfldDesc);
IDAPI_EXPORT DBIResult DBIFN DbiGetNextRecord(hDBICur hCursor, DBILockType eLock, pBYTE pRecBuff,
                                              pRECProps precProps);
IDAPI_EXPORT DBIResult DBIFN DbiGetField(hDBICur hCursor, UINT16 iField, pBYTE pRecBuff,
                                         pBYTE pDest, pBOOL pbBlank);
IDAPI_EXPORT DBIResult DBIFN DbiCloseCursor(phDBICur phCursor);

IDAPI_EXPORT DBIResult DBIFN DbiGetErrorInfo(BOOL bFull, pDBIErrInfo pErrInfo);
IDAPI_EXPORT DBIResult DBIFN DbiGetErrorString(DBIResult rslt, pCHAR pszError);

#ifdef __cplusplus
}

static_assert(sizeof(DBIResult) == 2 && sizeof(BOOL16) == 2 && sizeof(BOOL) == 4);
static_assert(sizeof(DBIOpenMode) == 4 && sizeof(DBIShareMode) == 4 && sizeof(XLTMode) == 4);
static_assert(sizeof(FLDVchk) == 4 && sizeof(FLDRights) == 4 && sizeof(DBIQryLang) == 4);
static_assert(sizeof(hDBIObj) == 4, "handles are 32-bit");
static_assert(sizeof(DBIEnv) == 588);
static_assert(sizeof(DBDesc) == 357);
static_assert(sizeof(FLDDesc) == 62);
static_assert(offsetof(FLDDesc, iOffset) == 42 && offsetof(FLDDesc, efldvVchk) == 48);
static_assert(sizeof(CURProps) == 427);
static_assert(offsetof(CURProps, iFields) == 295 && offsetof(CURProps, iRecBufSize) == 299);
static_assert(offsetof(CURProps, eOpenMode) == 313 && offsetof(CURProps, szLangDriver) == 353);
static_assert(sizeof(RECProps) == 14);
static_assert(sizeof(DBIErrInfo) == 642);
#endif
