// Document events: kestrelui's DrvDocumentEvent, the per-DC record it keeps
// from CreateDC to DeleteDC, the private escapes that hand the job to the
// renderer (codes and blocks in kestrel/render/km_escape.h, shared with the
// renderer's handlers), the StartDoc job settings (fax, confidential print,
// the accounting popups and the job dialog) and the stamp and header/footer
// drawing on the application's DC.
//
// Steps answer 1 success, -1 failure, 0 not handled.
//
// Decisions (the sound behaviour where the design is open or faulty; each
// also at its code):
//  - CREATEDCPRE stores its block in *out only at its end; when the record
//    cannot be made afterwards the block is freed and *out cleared. POST
//    frees only a block PRE made (a list of the blocks PRE handed out is
//    kept), never the application's devmode. POST on a DC the renderer
//    refused (hdc null) also deletes the record PRE made: the DC never
//    comes, and with it no DELETEDC.
//  - The record list's lock lives as long as the library (made at attach,
//    deleted at detach), never made or deleted on an unlocked test.
//  - A null DOCINFO or document name gives an empty name.
//  - The EJCL header table keeps the layout every reader uses (entry i at
//    16 + i x entry size, the values at 16 + count x entry size); each
//    header is written after its 4-byte count with a capacity of entry size
//    - 4; sizes in 64 bits; a header count above the fax list's own count
//    fails the block cleanly (-1, no table).
//  - SetLetterFlag that cannot open the description data records -1 and the
//    block goes on to SetStatus 1.
//  - SetFaxAddressInfo is sent when the fax flag is set and a fax address
//    list was loaded at StartDoc; a fax job without a list sends none (its
//    destinations then come from the fax address file through the header).
//  - The job dialog needs a window only when a dialog is due.
//  - GetPageInfo's word 0 (a stamp on an extra page) is read only at EndDoc;
//    at EndPage it means nothing. The extra page EndDoc starts draws only
//    what EndDoc asked: its own ENDPAGE event draws nothing, so no page is
//    stamped twice.
//  - _PrintStamp's orientation is the devmode's orientation (DDM 7); DDM 20
//    (the print quality) is handed to the drawing as the resolution.
//  - zanLib_IsEnableAltJBA "refuses" when it fails or answers that the
//    alternative popups are not enabled (the model lacks them or their
//    component is not installed): -1, since the settings ask for accounting
//    values the job could not carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/devmode.h"
#include "kestrel/render/km_escape.h"
#include "kplatform/gdi32_dc.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/wintypes.h"

// ---- The per-DC record
struct DocEventData {
  HANDLE printer;  // the key
  HMODULE module;  // the driver's own module, loaded again while the record lives
  DWORD started;   // 1 after StartDoc
  DWORD isFax;     // GetIsFax
  DWORD emfSpool;  // Query_EMFSpool
  DWORD emfWarning;
  BYTE devmode[NRV_DEVMODE_SIZE_FULL];
  BYTE printerData[NRV_PRINTERDATA_SIZE];
  HCDDD ddd;
  WCHAR docName[KM_ESC_DOCNAME_CHARS + 1];
  WCHAR userName[257];
  BYTE headerFooter[KM_HF_SIZE];
  BYTE* jclTable;  // the EJCL header table, jclTableSize bytes as sent
  DWORD jclTableSize;
  BYTE* bddmRecords;  // uint16 count, then 64 bytes a copy (handed to the spooler side)
  DWORD bddmJobId;    // the spooler's job id they were handed off under
  DWORD faxInfoSize;
  BYTE* faxInfo;
  HANDLE tempFile;
  BYTE escapeStatus[KM_ESC_PESCAPE_STATUS_SIZE];
  BYTE csdx[KM_ESC_CSDX_SIZE];
  DWORD gsbStatus[2];  // marking available, number of serial ids
  DWORD gsbDataSize;
  BYTE* gsbData;
  DWORD extGsbDataSize;
  BYTE* extGsbData;
  DWORD jcidSize;  // 68 bytes a copy
  BYTE* jcid;
  DWORD inExtraPage;  // EndDoc's extra page is being drawn
  DocEventData* next;
};

// The list (kestrelui's attach and detach make and delete its lock).
void docevent_Attach(HMODULE module);
void docevent_Detach(void);
DocEventData* _CreateDocEventData(HANDLE printer);
DocEventData* _GetDocEventData(HANDLE printer);
int _DeleteDocEventData(HANDLE printer);
void _InitialDocEventData(DocEventData* data);
void _ReleaseDocEventData(DocEventData* data);
void _ResetDocEventData(DocEventData* data);
// Records in the list (tests).
DWORD docevent_RecordCount(void);

// ---- DrvDocumentEvent and its steps
// DrvDocumentEvent's body (kestrelui exports it under that name,
// driverui/lib/docevent_export.cpp): the trace lines and the dispatch.
int docevent_Dispatch(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut);
int _commonCreateAndResetDCPre(HANDLE hPrinter, const void* devmode, void** out);
int _commonCreateAndResetDCPost(HANDLE hPrinter, void** pre);
int _getAppMarginByPaperID(HANDLE hPrinter, WORD paperId, WORD out[4]);
int _DocEventStartDoc(HANDLE hPrinter, HDC hdc, ULONG cbIn, const DOCINFOW* docInfo, PVOID pvOut, ULONG cbOut);
int _DocEventStartDocPost(HANDLE hPrinter, HDC hdc, DWORD jobId);
int _DocEventStartPage(HANDLE hPrinter, HDC hdc);
int _GetEMFSpoolStatus(HANDLE hPrinter, HDC hdc);
int stampCheckAndCall(HANDLE hPrinter, HDC hdc, DWORD atEnd);
int _PrintStamp(HDC hdc, void* devmode, const KM_PAGEINFO* info);

// ---- Escapes and the StartDocPost block
// ExtEscape with the code, sizes and buffers; 1 when the answer is 1 or more.
int docevent_Send(HDC hdc, ULONG code, ULONG cbIn, const void* pvIn, ULONG cbOut, void* pvOut);
int _PutEscapeInStartDocPost(HANDLE hPrinter, HDC hdc);
int _GetJCLHeader_StartDocPost(HANDLE hPrinter, HDC hdc);
// The headers of the job's EJCL header table: one, or for a fax job
// (isFax) one for all destinations or one each (DDM 379, 380), the count
// never above the fax list's own. The list made from the record's fax block
// is left in faxList (the caller deletes it). FALSE when the count cannot
// be had (a fax job without a list, or asking for more destinations than
// it holds).
struct DocEventHeaderPlan {
  uint64_t count;
  bool perDestination;
  WORD destinations;
  void* faxList;
};
bool docevent_JclHeaderPlan(HANDLE hPrinter, DocEventData* d, DWORD isFax, DocEventHeaderPlan* plan);
// The printer's name and port (printer information level 2), each cut to
// its buffer; FALSE when the information cannot be read.
bool docevent_PrinterNames(HANDLE hPrinter, WCHAR* name, DWORD nameChars, WCHAR* port, DWORD portChars);
int _HeaderFooterStartDocProc(BYTE* block, HANDLE hPrinter, HDC hdc, void* devmode, void* printerData,
                              LPCWSTR docName, HCDDD ddd);
// The CSDX block: computer, document, user and printer names.
int local_FillCSDX(BYTE* block, HANDLE hPrinter, LPCWSTR docName, LPCWSTR userName);

// ---- StartDoc job settings
int FaxJobSetting(HDC hdc, HANDLE hPrinter, PVOID pvIn, PVOID pvOut, ULONG cbOut);
// The fax front end's answer (9600 bytes and a NUL, zero-filled): its first
// two lines (up to a line feed each) go to the output buffer at 0 and 32,
// each cut to 31 characters and a NUL, only when the buffer holds 64 bytes;
// both lines are removed from the answer's front either way.
#define FAX_ANSWER_BYTES 9600
void local_TakeFaxAnswerLines(char* answer, void* pvOut, ULONG cbOut);
int ConfidentialUserSetting(HDC hdc, HANDLE hPrinter);
int _PrinterStartDocProc(HANDLE hPrinter, HDC hdc, void* devmode, void* printerData, HCDDD ddd, DWORD isFax);
int local_CallAltJBA(HWND window, void* devmode, void* printerData, HCDDD ddd);
BOOL local_PrintSettingForAltJBA(void* devmode, void* printerData, WORD switchId);
int local_SaveAltJBAInputString(const char* answer, DWORD answerSize, void* devmode, void* printerData, HCDDD ddd);
char* local_LoadMultiByteString(HINSTANCE instance, UINT id);
BOOL local_WideCharToMultiByte(LPCWSTR text, char** out, DWORD* size, UINT codePage);
BOOL local_StrCatMultiSZ(char** out, const char* a, const char* b, const char* c);
BOOL local_Make1b2bCodeRange(char** out, const UINT* singleIds, DWORD singleCount, const UINT* doubleIds,
                             DWORD doubleCount);
BOOL local_GetCodeRange(char** out, const UINT* ids, DWORD count, BOOL doubleByte);
// The code-range text of joined multibyte texts (the inside of
// local_GetCodeRange, for tests): a new block or null.
char* local_CodeRangeFromText(const char* joined, BOOL doubleByte);
// The input-popup component's interface (class
// f2a5aec9-686e-4c95-bd6d-dd58dd40e3a7, interface
// f8cead2f-bf3e-4da0-a961-297414cfca4c): after IUnknown's three methods and
// one more, the fifth sets a field (its name, the multi-string of its
// allowed characters and two texts), the sixth shows the popup for the
// fields named and writes the answer (NUL-terminated "name=value" entries).
// Declared here, with external linkage, so that calls through it stay
// virtual (a class only one file can see lets the compiler assume no
// implementation exists).
struct IInputPopup : IUnknown {
  virtual HRESULT WINAPI Reserved() = 0;
  virtual HRESULT WINAPI SetField(LPCSTR name, LPCSTR multiString) = 0;
  virtual HRESULT WINAPI Show(HWND window, LPCSTR names, LPSTR answer, DWORD size) = 0;
};
int uiDlgJBAPopup(HANDLE hPrinter, void* devmode, void* printerData, HCDDD ddd, BOOL faxMode, HWND owner);
// The popup's template and the ids of its items (the fields are written at
// the popup's code).
#define DLG_JBA_POPUP 3550
#define IDC_JBA_USERNAME 3551
#define IDC_JBA_ACCOUNT 3552
#define IDC_JBA_PASSWORD 3553

// ---- Stamps and header/footer on the application's DC
int PrintWaterMark(HDC hdc, const KM_PAGEINFO* info, LONG orientation, LONG resolution, LONG angle,
                   const LOGFONTW* font, LPCWSTR text, COLORREF color, LONG transparency, LONG size,
                   BOOL fixedToPaper);
int PrintBitmapWaterMark(HDC hdc, const KM_PAGEINFO* info, LONG orientation, LONG angle, LPCWSTR bitmapName,
                         LONG transparent, LONG option);
int _HeaderFooter(HDC hdc, void* devmode, const KM_PAGEINFO* info);

// ---- Per-user paper margins: four 16-bit values, top, bottom, left, right
// (0.1 mm). The store is the per-user key of the printer (its PRNID key),
// sub-key "PaperMargin", one REG_BINARY value of 8 bytes a paper, named by
// the paper id in decimal. The defaults are the paper record's default
// margins ({left, top} and {right, bottom}).
#define PPMGN_SUBKEY u"PaperMargin"
BOOL PpMgn_GetMargin(HANDLE printer, HCDDD ddd, WORD paperId, WORD margins[4]);
BOOL PpMgn_SetMargin(HANDLE printer, HCDDD ddd, WORD paperId, const WORD margins[4]);
BOOL PpMgn_GetDefaultMargin(HCDDD ddd, WORD paperId, WORD margins[4]);
// A favourite's margins (kestrel/ui/favorite.h) are the same records in the
// sub-key "PaperMargin" of the favourite's key: favourite 0 is the user's
// own margins above, 1-99 a favourite's. The order (top, bottom, left,
// right) is the one of the document events; the favourite file names them
// by letter ("L" the left margin, the third value).
BOOL PpMgn_GetFavMargin(HANDLE printer, HCDDD ddd, WORD favorite, WORD paperId, WORD margins[4]);
BOOL PpMgn_SetFavMargin(HANDLE printer, HCDDD ddd, WORD favorite, WORD paperId, const WORD margins[4]);
// Every margin of the favourite, TRUE also when there were none.
BOOL PpMgn_DeleteFavMargins(HANDLE printer, HCDDD ddd, WORD favorite);
// The favourite's papers with margins, in the store's order (their ids);
// FALSE when the store cannot be read (a favourite without margins has none).
BOOL PpMgn_ListFavMargins(HANDLE printer, HCDDD ddd, WORD favorite, std::vector<WORD>* papers);
// Applies a favourite's margins to the user's own: each of its papers'
// margins replaces the user's for that paper. TRUE when all were written.
BOOL PpMgn_SetUiMargin(HANDLE printer, HCDDD ddd, WORD favorite);

// ---- Glue to work that lands elsewhere (seams.cpp)
// The temporary settings file list: sweeps both lists of the description
// (RegFile_DeleteTmpFile); TRUE when both could be swept.
BOOL docevent_DeleteTmpFile(HCDDD ddd);
// ---- The document monitor (docmonitor.cpp)
// The per-copy registration at StartDocPost, for jobs whose headers are
// prepared here (DDM 1333) when the printer data (DDM 8201) and the
// devmode (DDM 1321) ask for it and the monitor the model names is usable:
// one registration a header of the job's EJCL header table, in its order
// (Brightdesk_Ready), each copy's 64-byte record kept in the per-DC record
// (uint16 count, the records) and, as SetGSBJCID's 68-byte entries (copy
// number from 1, record), for the marking escapes. The header of copy i
// carries its record's job control id (the EJCL writer's JCID).
// The registrations belong to the job, not to this process: they are
// handed to the spooler side in the printer data under the job id
// (Brightdesk_HandOff), where kestrelum takes them over, runs them when the
// job went out and withdraws them when it failed; this side keeps no hold
// on them (Brightdesk_Detach).
// Answers 1 registered or nothing to register (no monitor, not asked), -1
// failed: no record is left, every registration made is withdrawn, and the
// trace says why (the caller goes on without per-copy records).
int Brightdesk_StartDocPost(HANDLE hPrinter, HDC hdc, DWORD jobId);
// An aborted document (DOCUMENTEVENT_ABORTDOC): registrations handed off
// that the spooler side has not taken over are taken back and withdrawn;
// the per-copy records are dropped either way.
void Brightdesk_AbortDoc(HANDLE hPrinter);
// The marking library's status of the job: 8 bytes (available, serial ids)
// through the core's gsb_ctrl_* glue, asked about the model and settings
// of DDM 259. No library named or installed, or a model it does not
// support: status 0, answer 1. A library that supports the model but cannot
// make its handle or count its serials: answer 0 (the StartDoc fails).
int local_FillGSBSTATUS(HCDDD ddd, LPCWSTR printerName, LPCWSTR modelName, const BYTE* data, DWORD size,
                        DWORD status[2]);
