// Interface of the Vorlix client library, VCI.dll.
/*
 * The Vorlix client call interface (VCI.dll): handles, attributes, modes,
 * return codes, data types, the calls, the language/number/date routines and
 * the setting reader. Every call uses the C calling convention; a program that
 * loads "VCI.dll" at run time can take its pointer types from here, e.g.
 * decltype(&VCIStmtPrepare).
 */
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VCI_BUILDING_DLL
#define VCIAPI __declspec(dllexport)
#else
#define VCIAPI
#endif

/* Return codes. */
#define VCI_SUCCESS 0
#define VCI_SUCCESS_WITH_INFO 1
#define VCI_NEED_DATA 99
#define VCI_NO_DATA 100
#define VCI_ERROR (-1)
#define VCI_INVALID_HANDLE (-2)
#define VCI_STILL_EXECUTING (-3123)
#define VCI_CONTINUE (-24200) /* what a user callback answers to go on */

/* Handle and descriptor types. */
#define VCI_HTYPE_ENV 1
#define VCI_HTYPE_ERROR 2
#define VCI_HTYPE_SVCCTX 3
#define VCI_HTYPE_STMT 4
#define VCI_HTYPE_BIND 5
#define VCI_HTYPE_DEFINE 6
#define VCI_HTYPE_SERVER 8
#define VCI_HTYPE_SESSION 9
#define VCI_HTYPE_ADMIN 28
#define VCI_DTYPE_PARAM 53

/* Attributes. */
#define VCI_ATTR_DATA_SIZE 1     /* parameter descriptor: uint16_t */
#define VCI_ATTR_DATA_TYPE 2     /* parameter descriptor: uint16_t (1 text, 2 number) */
#define VCI_ATTR_NAME 4          /* parameter descriptor: char* and its length */
#define VCI_ATTR_SERVER 6        /* service context */
#define VCI_ATTR_SESSION 7       /* service context */
#define VCI_ATTR_ROW_COUNT 9     /* statement: uint32_t rows fetched so far */
#define VCI_ATTR_PARAM_COUNT 18  /* statement: uint32_t select-list items */
#define VCI_ATTR_USERNAME 22     /* session: text */
#define VCI_ATTR_PASSWORD 23     /* session: text */
#define VCI_ATTR_STMT_TYPE 24    /* statement: uint16_t */
#define VCI_ATTR_ADMIN_PFILE 389 /* administration handle: parameter file name */

/* Modes and flags. */
#define VCI_DEFAULT 0
#define VCI_THREADED 1
#define VCI_DESCRIBE_ONLY 16
#define VCI_NTV_SYNTAX 1
#define VCI_FETCH_NEXT 2
#define VCI_CRED_RDBMS 1 /* user name and password */
#define VCI_CRED_EXT 2   /* operating-system credentials */
#define VCI_SYSDBA 2
#define VCI_PRELIM_AUTH 8 /* with VCI_SYSDBA: 10, works while the instance is down */
#define VCI_DBSHUTDOWN_ABORT 4

/* Statement types. */
#define VCI_STMT_SELECT 1
#define VCI_STMT_UPDATE 2
#define VCI_STMT_DELETE 3
#define VCI_STMT_INSERT 4
#define VCI_STMT_CREATE 5
#define VCI_STMT_DROP 6
#define VCI_STMT_ALTER 7
#define VCI_STMT_BEGIN 8
#define VCI_STMT_DECLARE 9

/* External data types of binds and defines. */
#define SQLT_INT 3  /* signed integer of 1, 2, 4 or 8 bytes */
#define SQLT_STR 5  /* zero-terminated text; the size includes the terminator */
#define SQLT_VNU 6  /* variable-length number: length byte + up to 21 bytes, 22 in all */
#define SQLT_DAT 12 /* 7-byte date: century+100, year+100, month, day, hour+1, min+1, sec+1 */
#define SQLT_UIN 68 /* unsigned integer of 1, 2, 4 or 8 bytes */

/* User callbacks: function codes and kinds. */
#define VCI_FNCODE_STMTPREPARE 13
#define VCI_FNCODE_STMTEXECUTE 21
#define VCI_FNCODE_STMTFETCH 28
#define VCI_FNCODE_BINDBYPOS 65
#define VCI_FNCODE_BINDBYNAME 67
#define VCI_UCBTYPE_ENTRY 1
#define VCI_UCBTYPE_EXIT 2

typedef struct VCIEnv VCIEnv;
typedef struct VCIError VCIError;
typedef struct VCISvcCtx VCISvcCtx;
typedef struct VCIStmt VCIStmt;
typedef struct VCIServer VCIServer;
typedef struct VCISession VCISession;
typedef struct VCIAdmin VCIAdmin;
typedef struct VCIBind VCIBind;
typedef struct VCIDefine VCIDefine;
typedef struct VCIParam VCIParam;

/*
 * After-call callback. `arglist` holds the operation's own arguments in the
 * order of its declaration below (16-bit arguments are promoted to int), so
 * a callback reads them with va_arg. `hndlp` is the statement handle worked on.
 */
typedef int32_t (*VCIUserCallback)(void* ctxp, void* hndlp, uint32_t type, uint32_t fcode,
                                   uint32_t when, int32_t returnCode, int32_t* errnop,
                                   va_list arglist);

VCIAPI int32_t VCIEnvCreate(VCIEnv** envhpp, uint32_t mode, void* ctxp,
                            void* (*malocfp)(void*, size_t), void* (*ralocfp)(void*, void*, size_t),
                            void (*mfreefp)(void*, void*), size_t xtramemSize, void** usrmempp);
VCIAPI int32_t VCIHandleAlloc(const void* parenth, void** hndlpp, uint32_t type, size_t xtramemSize,
                              void** usrmempp);
VCIAPI int32_t VCIHandleFree(void* hndlp, uint32_t type);
VCIAPI int32_t VCIServerAttach(VCIServer* srvhp, VCIError* errhp, const char* dblink,
                               int32_t dblinkLen, uint32_t mode);
VCIAPI int32_t VCIServerDetach(VCIServer* srvhp, VCIError* errhp, uint32_t mode);
VCIAPI int32_t VCISessionBegin(VCISvcCtx* svchp, VCIError* errhp, VCISession* usrhp, uint32_t credt,
                               uint32_t mode);
VCIAPI int32_t VCISessionEnd(VCISvcCtx* svchp, VCIError* errhp, VCISession* usrhp, uint32_t mode);
VCIAPI int32_t VCIAttrSet(void* trgthndlp, uint32_t trghndltyp, void* attributep, uint32_t size,
                          uint32_t attrtype, VCIError* errhp);
/* Text attributes come back as a pointer into the handle: pass a char** */
VCIAPI int32_t VCIAttrGet(const void* trgthndlp, uint32_t trghndltyp, void* attributep,
                          uint32_t* sizep, uint32_t attrtype, VCIError* errhp);
VCIAPI int32_t VCIParamGet(const void* hndlp, uint32_t htype, VCIError* errhp, void** parmdpp,
                           uint32_t pos);
VCIAPI int32_t VCIDescriptorFree(void* descp, uint32_t type);
VCIAPI int32_t VCIStmtPrepare(VCIStmt* stmtp, VCIError* errhp, const char* stmt, uint32_t stmtLen,
                              uint32_t language, uint32_t mode);
VCIAPI int32_t VCIStmtExecute(VCISvcCtx* svchp, VCIStmt* stmtp, VCIError* errhp, uint32_t iters,
                              uint32_t rowoff, const void* snapIn, void* snapOut, uint32_t mode);
VCIAPI int32_t VCIStmtFetch(VCIStmt* stmtp, VCIError* errhp, uint32_t nrows, uint16_t orientation,
                            uint32_t mode);
VCIAPI int32_t VCIBindByName(VCIStmt* stmtp, VCIBind** bindpp, VCIError* errhp,
                             const char* placeholder, int32_t placehLen, void* valuep,
                             int32_t valueSize, uint16_t dty, void* indp, uint16_t* alenp,
                             uint16_t* rcodep, uint32_t maxarrLen, uint32_t* curelep,
                             uint32_t mode);
VCIAPI int32_t VCIBindByPos(VCIStmt* stmtp, VCIBind** bindpp, VCIError* errhp, uint32_t position,
                            void* valuep, int32_t valueSize, uint16_t dty, void* indp,
                            uint16_t* alenp, uint16_t* rcodep, uint32_t maxarrLen,
                            uint32_t* curelep, uint32_t mode);
VCIAPI int32_t VCIDefineByPos(VCIStmt* stmtp, VCIDefine** defnpp, VCIError* errhp,
                              uint32_t position, void* valuep, int32_t valueSize, uint16_t dty,
                              void* indp, uint16_t* rlenp, uint16_t* rcodep, uint32_t mode);
VCIAPI int32_t VCITransRollback(VCISvcCtx* svchp, VCIError* errhp, uint32_t flags);
/* Record 1 only; 100 when the handle holds no error. Text: "VLX-nnnnn: ..." */
VCIAPI int32_t VCIErrorGet(void* hndlp, uint32_t recordno, char* sqlstate, int32_t* errcodep,
                           char* bufp, uint32_t bufsiz, uint32_t type);
/* On the environment handle; a null callback removes the registration. */
VCIAPI int32_t VCIUserCallbackRegister(void* hndlp, uint32_t type, void* ehndlp,
                                       VCIUserCallback callback, void* ctxp, uint32_t fcode,
                                       uint32_t when, void* ucbDesc);
/* Needs a SYSDBA session (preliminary is enough) on an instance that is down. */
VCIAPI int32_t VCIDBStartup(VCISvcCtx* svchp, VCIError* errhp, VCIAdmin* admhp, uint32_t mode,
                            uint32_t flags);
VCIAPI int32_t VCIDBShutdown(VCISvcCtx* svchp, VCIError* errhp, VCIAdmin* admhp, uint32_t mode);

/* Language, number and date routines. */
typedef struct VLXGlobalCtx VLXGlobalCtx;
typedef struct VLXLangCtx VLXLangCtx;
typedef struct VLXLangHandle VLXLangHandle;
typedef struct VLXDateCtx VLXDateCtx;
typedef void (*VLXDateErrorCallback)(void* ctxp, int32_t errorNumber);

typedef struct VLXDate { /* a broken-down date */
    int16_t year;
    uint8_t month, day, hour, minute, second;
} VLXDate;

#define VLX_CMP_CASE_INSENSITIVE 0x10000010u
#define VLX_FORMAT_BUFFER_SIZE 64 /* room for a compiled number or date format */

/* Null when the language support cannot start. The context lives until the process ends. */
VCIAPI VLXGlobalCtx* lxlinit(void* reserved, uint32_t flags, int32_t* status);
VCIAPI VLXLangCtx* lxinitc(VLXGlobalCtx* glo, void* reserved, uint32_t flags);
/* "LANGUAGE_TERRITORY.CHARSET"; null for a language it does not know. */
VCIAPI VLXLangHandle* lxhLaToId(const char* text, size_t length, VLXLangCtx* ctx);
/* Date errors are reported through the callback (a serious date error). */
VCIAPI VLXDateCtx* ldxini(const char* languageText, size_t length, VLXDateErrorCallback callback,
                          void* callbackCtx, VLXLangCtx* ctx);
/* 7-byte external date -> broken-down date; 0 on success. */
VCIAPI int32_t ldxeti(VLXDateCtx* ctx, const unsigned char* external, VLXDate* out);
/* Compiles a date format such as "MM/DD/YYYY HH24:MI:SS" into `compiled`; 0 on success. */
VCIAPI int32_t ldxsto(VLXDateCtx* ctx, const char* format, size_t formatLength,
                      unsigned char* compiled, size_t compiledSize);
/* Writes the date as text; returns the length, or -1 when it does not fit. */
VCIAPI int32_t ldxdts(VLXDateCtx* ctx, char* out, size_t outSize, const VLXDate* date,
                      const unsigned char* compiled);
/* Compiles a number format such as "FM999..."; 0 on success. */
VCIAPI int32_t lnxpfl(const char* format, size_t formatLength, unsigned char* compiled,
                      size_t compiledSize, VLXLangHandle* language);
/* A variable-length number (without its length byte) as text; the length, or -1. */
VCIAPI int32_t lnxnft(const unsigned char* number, size_t numberLength, char* out, size_t outSize,
                      const unsigned char* compiled, VLXLangHandle* language);
/* 0 when equal; negative or positive like strcmp. */
VCIAPI int32_t lxsCmpStr(const char* a, size_t aLength, const char* b, size_t bLength,
                         uint32_t mode, VLXLangHandle* language, VLXLangCtx* ctx);

/*
 * Setting reader: the environment first, then the installation settings
 * (registry, see sim/README.md). Copies at most `size` bytes of the value and a
 * terminator when there is room; returns the value's full length, or -1 when
 * the setting does not exist.
 */
VCIAPI int32_t slzgetevar(const char* name, char* buffer, uint32_t size);

#ifdef __cplusplus
}
#endif
