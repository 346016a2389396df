// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The records and callback tables exchanged with the zip engine. This header is shared by
// the program and the engine library; it is plain C layout, no C++ type crosses it.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t ZFLAG; /* -1 true, 0 false; any non-zero value read back counts as true */

/* Zip options: 31 four-byte fields, field n at offset 4*n, then the level character at 124.
   Date, szRootDir and szTempDir are text fields the program never sets: they stay 0. */
typedef struct ZPOPT
{
    int32_t Date;
    int32_t szRootDir;
    int32_t szTempDir;
    ZFLAG fTemp;
    ZFLAG fSuffix;
    ZFLAG fEncrypt;
    ZFLAG fSystem;
    ZFLAG fVolume;
    ZFLAG fExtra;
    ZFLAG fNoDirEntries;
    ZFLAG fExcludeDate;
    ZFLAG fIncludeDate;
    ZFLAG fVerbose;
    ZFLAG fQuiet;
    ZFLAG fCRLF_LF;
    ZFLAG fLF_CRLF;
    ZFLAG fJunkDir;
    ZFLAG fGrow;
    ZFLAG fForce;
    ZFLAG fMove;
    ZFLAG fDeleteEntries;
    ZFLAG fUpdate;
    ZFLAG fFreshen;
    ZFLAG fJunkSFX;
    ZFLAG fLatestTime;
    ZFLAG fComment;
    ZFLAG fOffsets;
    ZFLAG fPrivilege;
    ZFLAG fEncryption;
    int32_t fRecurse; /* 1 recurse into subfolders, 0 not */
    int32_t fRepair;  /* always 0 */
    char fLevel;      /* a digit character '0'..'9' */
} ZPOPT, *LPZPOPT;

/* Archive command, passed by value. */
typedef struct ZCL
{
    int32_t Argc;
    char *lpszZipFN;
    char **FNV;
} ZCL, *LPZCL;

/* Decompression options: 15 integers, then two text pointers. */
typedef struct DCL
{
    int32_t ExtractOnlyNewer;
    int32_t SpaceToUnderscore;
    int32_t PromptToOverwrite;
    int32_t fQuiet; /* always 2 */
    int32_t ncflag; /* 1: deliver the member's bytes through print */
    int32_t ntflag;
    int32_t nvflag; /* 1: report each member through SendApplicationMessage */
    int32_t nUflag;
    int32_t nzflag; /* 1: deliver only the archive comment through print */
    int32_t ndflag;
    int32_t noflag;
    int32_t naflag;
    int32_t nZIflag;
    int32_t C_flag;
    int32_t fPrivilege; /* always 1 */
    char *lpszZipFN;
    char *lpszExtractDir;
} DCL, *LPDCL;

typedef int (*DLLPRNT)(char *text, unsigned long length);
typedef void (*DLLSND)(void);
typedef int (*DLLREPLACE)(char *fileName);
typedef int (*DLLPASSWORD)(char *buffer, int size, const char *prompt, const char *name);
typedef void (*DLLMESSAGE)(uint64_t ucsize, uint64_t csize, unsigned ratio, unsigned month,
                           unsigned day, unsigned year, unsigned hour, unsigned minute, char flag,
                           const char *name, const char *method, unsigned long crc, char encrypted);
typedef int (*DLLSERVICE)(const char *name, uint64_t size);
typedef char *(*DLLCOMMENT)(char *text);

/* Decompression callbacks: 6 slots, then 20 bytes the engine may fill and the program never
   reads. */
typedef struct USERFUNCTIONS
{
    DLLPRNT print;
    DLLSND sound;
    DLLREPLACE replace;
    DLLPASSWORD password;
    DLLMESSAGE SendApplicationMessage;
    /* Once per member with its stored name and size; while a long list of names is being
       selected, also now and then with an empty name and size 0. Non-zero cancels. */
    DLLSERVICE ServCallBk;
    unsigned char engineFilled[20];
} USERFUNCTIONS, *LPUSERFUNCTIONS;

/* Compression callbacks: 4 slots. */
typedef struct ZIPUSERFUNCTIONS
{
    DLLPRNT print;
    DLLCOMMENT comment;
    DLLPASSWORD password;
    DLLSERVICE ServiceApplication;
} ZIPUSERFUNCTIONS, *LPZIPUSERFUNCTIONS;

/* The engine's version record: which interface it implements and who made that interface. */
typedef struct ZENGINEVERSION
{
    uint32_t structLength;
    char companyName[32];
    char fileVersion[16];
    char description[80];
} ZENGINEVERSION;

typedef int (*ZpInitFn)(LPZIPUSERFUNCTIONS);
typedef int (*ZpSetOptionsFn)(LPZPOPT);
typedef ZPOPT (*ZpGetOptionsFn)(void);
typedef int (*ZpArchiveFn)(ZCL);
typedef int (*WizSingleEntryUnzipFn)(int ifnc, char **ifnv, int xfnc, char **xfnv, LPDCL,
                                     LPUSERFUNCTIONS);

/* Exported symbol names. */
#define ZENGINE_VERSION_SYMBOL "ZpEngineVersion"

/* Compression result codes. */
enum {
    ZE_OK = 0,
    ZE_MEM = 4,
    ZE_ABORT = 9,
    ZE_TEMP = 10,
    ZE_READ = 11,
    ZE_NONE = 12,
    ZE_NAME = 13,
    ZE_WRITE = 14,
    ZE_CREAT = 15,
    ZE_PARMS = 16,
    ZE_OPEN = 18
};

/* Decompression result codes. */
enum {
    PK_OK = 0,
    PK_WARN = 1,
    PK_ERR = 2,
    PK_BADERR = 3,
    PK_MEM = 4,
    PK_NOZIP = 9,
    PK_PARAM = 10,
    PK_FIND = 11,
    PK_DISK = 50,
    IZ_CTRLC = 80,
    PK_PASSWORD = 82
};

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(int32_t) == 4);
static_assert(offsetof(ZPOPT, fTemp) == 12);
static_assert(offsetof(ZPOPT, fJunkDir) == 4 * 16);
static_assert(offsetof(ZPOPT, fEncryption) == 4 * 28);
static_assert(offsetof(ZPOPT, fRecurse) == 4 * 29);
static_assert(offsetof(ZPOPT, fRepair) == 4 * 30);
static_assert(offsetof(ZPOPT, fLevel) == 124);
static_assert(sizeof(ZPOPT) == 128);
static_assert(offsetof(DCL, fPrivilege) == 14 * 4);
static_assert(offsetof(DCL, lpszZipFN) == 64);
static_assert(sizeof(USERFUNCTIONS) >= 6 * sizeof(void *) + 20);
static_assert(offsetof(USERFUNCTIONS, engineFilled) == 6 * sizeof(void *));
static_assert(sizeof(ZIPUSERFUNCTIONS) == 4 * sizeof(void *));
#endif
