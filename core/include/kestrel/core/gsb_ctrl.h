// Security marking (Glyphseal) and the document monitor (Brightdesk): the
// outside libraries the job processor's marked re-output and the document
// events call. User mode only (kcore_um); kestrelum and kestrelui reach
// them alike.
//
// The libraries are loaded by name through LoadLibraryW, at each use, and
// freed after it. The names come from the model's description data: DLL
// name selector 14 for the marking library ("kgsb.dll" in model A's data),
// selector 15 for the document monitor ("kqdm.dll"); a model that lists
// none has neither service (gsb_ctrl_ReadDevice, bddm_LibraryName).
//
// The marking library's exports the design names are ZANGSB_SetDriverSettings,
// ZANGSB_SetJobInfo and ZANGSB_AddGS; the handle, the model check, the
// validation and the serial count are exports of our naming, listed below
// with their signatures. Every export is looked up by name at each call; a
// missing one is a library failure (-101 from the gsb_ctrl_ layer).
//
// Results as the design gives them: 1 success, -1 null arguments or no
// memory, -7 a conversion to ANSI failed, -8 no user-interface language,
// -9 an attribute level other than 1, -10 no library handle, -11 a copy
// index beyond the serials, -101 the library failed; 4 a settings conflict.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/wintypes.h"

// ---- the marking library's exports --------------------------------------------

// A driver attribute: one setting handed to the library as bytes.
struct GSB_ATTR {
  uint32_t id;        // GSB_ATTR_*
  uint32_t size;      // bytes at data
  const void* data;
};
enum : uint32_t { GSB_ATTR_DEVMODE = 1, GSB_ATTR_PRINTERDATA = 2 };

#define ZANGSB_SETDRIVERSETTINGS "ZANGSB_SetDriverSettings"  // int (void* h, const GSB_ATTR* a, int count)
#define ZANGSB_SETJOBINFO "ZANGSB_SetJobInfo"                // int (void* h, int level, const void* record)
#define ZANGSB_ADDGS "ZANGSB_AddGS"  // int (void* h, const char* source, const char* output, void* bd, int copy)
// Of our naming:
#define ZANGSB_CREATEHANDLE "ZANGSB_CreateHandle"  // void* (const char* model, const char* settings, int mode, WORD lang)
#define ZANGSB_RELEASEHANDLE "ZANGSB_ReleaseHandle"  // int (void* h)
#define ZANGSB_ISSUPPORTED "ZANGSB_IsSupportedModel"  // int (const char* model)
#define ZANGSB_VALIDATE "ZANGSB_ValidateSetting"  // int (void* h, const GSB_ATTR* a, int count, const char* job): 0 ok, 1 conflict
#define ZANGSB_NUMOFSERIAL "ZANGSB_GetNumOfSerial"  // int (void* h, const char* job, int* count)
// Every export but the handle's answers non-zero on success.
using ZangsbSetDriverSettingsFn = int (*)(void*, const GSB_ATTR*, int);
using ZangsbSetJobInfoFn = int (*)(void*, int, const void*);
using ZangsbAddGSFn = int (*)(void*, const char*, const char*, void*, int);
using ZangsbCreateHandleFn = void* (*)(const char*, const char*, int, WORD);
using ZangsbReleaseHandleFn = int (*)(void*);
using ZangsbIsSupportedFn = int (*)(const char*);
using ZangsbValidateFn = int (*)(void*, const GSB_ATTR*, int, const char*);
using ZangsbNumOfSerialFn = int (*)(void*, const char*, int*);

constexpr WORD GSB_DLL_SELECTOR = 14;
constexpr WORD BDDM_DLL_SELECTOR = 15;

// ---- gsb_ctrl -----------------------------------------------------------------

// The device as the marking services see it: the library's name (empty
// when the model lists none) and the model name.
struct GSB_DEVICE {
  WCHAR library[MAX_PATH];
  WCHAR model[MAX_PATH];
};

// The handle: the library's handle, the serial count it reported, and the
// loaded library (kept loaded while the handle lives).
struct GSB_HANDLE {
  void* library;      // the library's own handle
  int32_t serials;    // from gsb_ctrl_GetNumOfSerial
  HMODULE module;
};

// The driver attribute list: count and array.
struct GSB_ATTRLIST {
  int32_t count;
  GSB_ATTR* attrs;
};

// The job attribute record of level 1 (800 bytes).
constexpr DWORD GSB_JOBATTR_SIZE = 800;
struct GSB_JOBATTR1 {
  uint32_t size;        // 800
  uint32_t time;        // seconds since 1970
  char user[16];        // 8
  char document[256];   // 24
  char printer[260];    // 280
  char port[260];       // 540
};
static_assert(sizeof(GSB_JOBATTR1) == GSB_JOBATTR_SIZE);
static_assert(offsetof(GSB_JOBATTR1, user) == 8 && offsetof(GSB_JOBATTR1, document) == 24);
static_assert(offsetof(GSB_JOBATTR1, printer) == 280 && offsetof(GSB_JOBATTR1, port) == 540);
// The four job strings of a level-1 record, in the order of its fields.
struct GSB_JOBSTRINGS {
  LPCWSTR user;
  LPCWSTR document;
  LPCWSTR printer;
  LPCWSTR port;
};

struct CDDD_INFO;
// The library's and the model's names from a description handle (the
// model from DDM 259's string of the devmode given). FALSE when the model
// lists no marking library.
BOOL gsb_ctrl_ReadDevice(CDDD_INFO* ddd, const BYTE* devmode, const BYTE* printerData, GSB_DEVICE* device);
// The document monitor's library name (empty when the model lists none).
BOOL bddm_LibraryName(CDDD_INFO* ddd, WCHAR (&library)[MAX_PATH]);

int gsb_ctrl_IsAvailable(const GSB_DEVICE* device, LPCWSTR settings);
int gsb_ctrl_GetHandle(const GSB_DEVICE* device, LPCWSTR settings, int mode, GSB_HANDLE** handle);
int gsb_ctrl_ReleaseHandle(GSB_HANDLE* handle);
int gsb_ctrl_CreateDrvAttrList(GSB_HANDLE* handle, const BYTE* devmode, const BYTE* printerData, GSB_ATTRLIST** list);
int gsb_ctrl_DeleteDrvAttrList(GSB_ATTRLIST* list);
int gsb_ctrl_ValidateSetting(void* reserved, GSB_HANDLE* handle, const GSB_ATTRLIST* list, LPCWSTR jobSettings);
int gsb_ctrl_GetNumOfSerial(GSB_HANDLE* handle, LPCWSTR jobSettings, int32_t* count);
int gsb_ctrl_RegisterDrvAttrList(GSB_HANDLE* handle, const GSB_ATTRLIST* list);
int gsb_ctrl_RegisterJobAttr(GSB_HANDLE* handle, int level, const GSB_JOBSTRINGS* strings, void*, void*);
int gsb_ctrl_AddGS(GSB_HANDLE* handle, int32_t copy, LPCWSTR source, LPCWSTR output, void* brightdesk);
// The library calls: the export looked up at each call; 0 when missing.
int ZANGSB_SetDriverSettings(GSB_HANDLE* handle, const GSB_ATTR* attrs, int count);
int ZANGSB_SetJobInfo(GSB_HANDLE* handle, int level, const void* record);
int ZANGSB_AddGS(GSB_HANDLE* handle, const char* source, const char* output, void* brightdesk, int copy);
// The serial count a handle holds.
int32_t local_ExtractGSBNumOfSerial(const GSB_HANDLE* handle);
// Wide to ANSI, at most size - 1 bytes and a NUL; a cut never leaves half a
// double-byte character (character boundaries are found from the start).
BOOL local_CopyWideStringToMBCString(LPCWSTR wide, int size, char* out);

// ---- the document monitor ------------------------------------------------------

#define BDDM_INITIALIZE "BDDM_Initialize"  // int (void): non-zero ok
#define BDDM_RELEASE "BDDM_Release"        // void (void)
#define BDDM_REGISTERJOB "BDDM_RegisterJob"  // uint32_t (const BDDM_JOBDESC*): the job id, 0 on failure
#define BDDM_RUNJOB "BDDM_RunJob"          // int (uint32_t id): non-zero ok
#define BDDM_WITHDRAWJOB "BDDM_WithdrawJob"  // int (uint32_t id): non-zero ok

// The job description handed to the monitor (strings in the ANSI code page).
struct BDDM_JOBDESC {
  char document[260];
  char printer[260];
  char port[260];
  char user[64];
  uint32_t outputTray;
  uint32_t copySet;
  uint32_t copy;  // the marked copy it belongs to
};

// The registration request (Brightdesk_Ready's record).
struct BRIGHTDESK_REQUEST {
  LPCWSTR library;      // the monitor's library name
  HINSTANCE resource;
  HANDLE printer;
  void* ddd;
  const BYTE* devmode;
  const BYTE* printerData;
  LPCWSTR document;
  LPCWSTR printerName;
  LPCWSTR port;
  LPCWSTR user;
  DWORD outputTray;
  const void* recipients;
  DWORD copySet;
  DWORD copy;
};
// The 64-byte record of one registered copy: the monitor's job id (uint32
// at 0), then the job control id the copy's EJCL header carries (the JCID
// line), an ANSI text with its NUL within 60 bytes. The marking library
// receives it with AddGS; the application's side hands it to the spooler
// side (Brightdesk_HandOff).
constexpr DWORD BRIGHTDESK_RECORD_SIZE = 64;
constexpr DWORD BRIGHTDESK_JCID_OFFSET = 4;
constexpr DWORD BRIGHTDESK_JCID_BYTES = BRIGHTDESK_RECORD_SIZE - BRIGHTDESK_JCID_OFFSET;

// A registered job: the monitor's library and its job id. Brightdesk_Ready
// answers it as a handle (0: not registered); bddm_Go and UnInitializeDocMon
// end it.
ULONG_PTR Brightdesk_Ready(const BRIGHTDESK_REQUEST* request, BYTE (&record)[BRIGHTDESK_RECORD_SIZE]);
int bddm_IsValid(LPCWSTR library);
int bddm_Go(ULONG_PTR job);
int bddm_Reset(ULONG_PTR job);
BOOL UnInitializeDocMon(ULONG_PTR job);
// A handle stops holding its registrations without withdrawing them: the
// library is released, the monitor keeps the jobs (for the side that takes
// them over). FALSE for 0.
BOOL Brightdesk_Detach(ULONG_PTR job);

// The hand-off of registrations the application's side made (the document
// events at StartDocPost, one a header of the job) to the spooler side,
// which runs them when the job went out and withdraws them when it failed.
// They travel in the printer data, one value a job named "BDDMJob" and the
// spooler's job id in decimal (REG_BINARY): a uint16 count, then the
// 64-byte record of each copy.
//  - Brightdesk_HandOff writes the value (records: the count, then the
//    records); TRUE when it was written.
//  - Brightdesk_TakeOver reads the value and deletes it; the delete is the
//    claim, so of two takers only one gets the registrations. It answers a
//    handle over every copy's registration (bddm_Go runs them all,
//    bddm_Reset and UnInitializeDocMon withdraw them all), or 0 when there
//    is no value, another taker claimed it, or it cannot be used (empty,
//    not binary, a size that does not match its count, no monitor library
//    to hold): such a value is deleted all the same.
#define BDDM_HANDOFF_PREFIX u"BDDMJob"
constexpr DWORD BDDM_HANDOFF_COUNT_BYTES = 2;
BOOL Brightdesk_HandOff(HANDLE printer, DWORD jobId, const BYTE* records);
ULONG_PTR Brightdesk_TakeOver(HANDLE printer, CDDD_INFO* ddd, DWORD jobId);

constexpr int BDDM_DONE = 1;
constexpr int BDDM_FAILED = 3;
constexpr int BDDM_NO_JOB = 6;
