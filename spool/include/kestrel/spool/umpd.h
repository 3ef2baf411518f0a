// kestrelum's inside: the per-job context, the rendezvous between the
// spooler's thread and the job's parser thread, the PCL XL tokenizer and
// grouping, the in-band command executor and the job output. The library
// exports only the seven DrvSpl* and DllMain (spool/kestrelum.map); this
// header is for its own sources and its tests (library kum_core).
//
// Results follow the design: the job processor's own functions answer 0 or
// -1 (a count where one is named); exported functions BOOL or a handle.
// spool/README.md holds the decisions taken here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "kestrel/render/jobrec.h"
#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/spool/pagestore.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"

// ---- sizes and codes ----------------------------------------------------------

constexpr uint32_t UMPD_MAGIC = 0x44525347;  // the bytes "GSRD"
constexpr DWORD UMPD_DEVMODE_SIZE = XL_IC_DEVMODE_SIZE;        // 5440
constexpr DWORD UMPD_PRINTERDATA_SIZE = XL_IC_PRINTERDATA_SIZE;  // 4736
constexpr DWORD UMPD_NAME_CHARS = 260;        // 520-byte UTF-16 fields with their NUL
constexpr DWORD UMPD_PORT_NAME_MAX = 259;     // characters kept of the port name
constexpr DWORD UMPD_PRINTER_NAME_MAX = 255;  // characters kept of the printer name

// Status bits of the context.
constexpr uint32_t UMPD_STATUS_CREATED = 0x1;
constexpr uint32_t UMPD_STATUS_ENDDOC = 0x2;
constexpr uint32_t UMPD_STATUS_ABORTED = 0x4;

// "UmThroughMode" (printer data, DWORD): diagnostic modes of the parser.
enum : DWORD {
  UMPD_THROUGH_NONE = 0,       // full processing
  UMPD_THROUGH_RAW_COPY = 1,   // input copied raw to the output
  UMPD_THROUGH_RAW_DROP = 2,   // input read and dropped
  UMPD_THROUGH_OP_COPY = 3,    // operators written unchanged
  UMPD_THROUGH_OP_DROP = 4,    // operators dropped
  UMPD_THROUGH_TOKEN_COPY = 5, // tokens written unchanged
  UMPD_THROUGH_TOKEN_DROP = 6, // tokens dropped
  UMPD_THROUGH_LAST = UMPD_THROUGH_TOKEN_DROP,
};
#define UMPD_THROUGH_VALUE u"UmThroughMode"
// The cached mode of this process (the last one read by any job).
extern std::atomic<DWORD> iThroughMode;

// ---- tokens (XLData) ------------------------------------------------------------

// XLParseTable kinds.
enum : int32_t {
  XL_KIND_INVALID = 0,
  XL_KIND_OPERATOR = 1,
  XL_KIND_DATA = 2,
  XL_KIND_ARRAY = 3,
  XL_KIND_ATTRIBUTE = 4,
  XL_KIND_EMBEDDED = 5,
};
struct XLParseRow {
  int32_t kind;
  int32_t size;
  int32_t count;
};
extern const XLParseRow XLParseTable[256];

// One token: a node of a circular doubly linked list with the raw bytes as
// read right behind it. value points to the token's value or payload, the
// last valueLength bytes of the raw bytes.
struct XLData {
  XLData* next;
  XLData* prev;
  int32_t slot;         // pool slot, -1 for a GlobalAlloc block
  uint32_t rawLength;   // bytes of the token as read
  BYTE tag;             // its first byte
  uint32_t valueLength;
  BYTE* value;
  BYTE* raw() { return reinterpret_cast<BYTE*>(this + 1); }
  const BYTE* raw() const { return reinterpret_cast<const BYTE*>(this + 1); }
};

// The job context's token pool: 16 slots of 256 bytes. A node takes a slot
// when its header and raw bytes fit; the largest raw token that does follows
// from the header's size in this build.
constexpr DWORD XL_POOL_SLOTS = 16;
constexpr DWORD XL_POOL_SLOT_BYTES = 256;
constexpr DWORD XL_POOL_MAX_RAW = XL_POOL_SLOT_BYTES - sizeof(XLData);
// The longest embedded-data token taken: the bytes are gathered as they
// arrive (the announced length is never allocated ahead), and a token
// announced longer than this ends the stream.
constexpr DWORD XL_EMBEDDED_MAX = 0x10000000;  // 256 MiB

// The operator record handed along the pipeline.
struct XLOperator {
  XLData* list;  // first token, or null
  BYTE op;       // the operator byte
  BYTE second;   // set by later stages (merged image: 0xB2)
};

struct UmpdJobContext;
struct JobInfoBuilder;

XLData* XLDataAlloc(UmpdJobContext* ctx, DWORD rawLength);
XLData* XLDataFree(UmpdJobContext* ctx, XLData* node);  // answers the next node, null when it was alone
XLData* XLDataCopy(UmpdJobContext* ctx, const XLData* node);
BOOL XLDataIsEqual(const XLData* a, const XLData* b);
void XLListInit(XLData* node);
XLData* XLListAddTail(XLData* list, XLData* node);     // answers the list (node when list is null)
XLData* XLListAddTailList(XLData* list, XLData* other);
BOOL XLListIsAlone(const XLData* node);
XLData* XLListRemove(XLData* node);  // unlinks; the next node, or null when it was alone
XLData* XLDataListAddTail(XLData* list, XLData* node);
XLData* XLDataListAddTailList(XLData* list, XLData* other);
void XLDataListFree(UmpdJobContext* ctx, XLData* list);
XLData* XLDataListCopy(UmpdJobContext* ctx, const XLData* list);
BOOL XLDataListIsEqual(const XLData* a, const XLData* b);
DWORD XLDataListRawLength(const XLData* list);

// Look-ups over an operator's tokens. SearchAttribute matches the one-byte
// id form 0xF8 only; the in-band command's attribute 255 is found by
// xl_ic_read, which takes both forms (see README).
XLData* SearchAttribute(XLData* list, BYTE id);
XLData* SearchAttributeData(XLData* list, BYTE id);
// Removes every attribute `id` (one-byte form) with the value before it
// from the list whose head is *list (null once nothing is left).
void RemoveAttributeWithData(UmpdJobContext* ctx, XLData** list, BYTE id);
XLData* SearchTag(XLData* list, BYTE tag);
XLData* SearchEmbedData(XLData* list);
XLData* SearchOperator(XLData* list);
BOOL IsOperator(const XLData* node);
BOOL IsDataType(const XLData* node);
BOOL IsAttribute(const XLData* node);
BOOL IsEmbedData(const XLData* node);

// Reads one token through GetData; null at the end of input or on a
// malformed token (ok is then 0).
XLData* ParseTag(UmpdJobContext* ctx);
// The element count of an array token: reads the count token (0xC0 n or
// 0xC1 nn only) into buffer; -1 when it is anything else.
int64_t GetDataArrayLen(UmpdJobContext* ctx, BYTE* countToken, DWORD* countLength);
// Groups tokens into operators and hands each to ParseOperator until the
// input ends or the stream is rejected.
void ParseGroupedStream(UmpdJobContext* ctx);
int ParseOperator(UmpdJobContext* ctx, XLOperator* op);
int OutputOperator(UmpdJobContext* ctx, XLOperator* op);
void FreeOperator(UmpdJobContext* ctx, XLOperator* op);

// ---- in-band executor -----------------------------------------------------------

int ParseZANNTKMUMComm(UmpdJobContext* ctx, XLOperator* op);
int OutputHeader(UmpdJobContext* ctx);
// The paper dimension rounding of command 138 (millimetres).
float Parse_ctrl_roundPaperSize(float mm);
// The text of a time-stamp comment (code 1-6, others) as written: ANSI code
// page, at most 255 bytes, cut at a character boundary.
int Parse_ctrl_timeStampText(UmpdJobContext* ctx, BYTE code, char (&text)[256]);

// The colour parameters of the outside colour library, by entry number as
// the colour conversion keeps them: 4 its handle, 7 begin link, 9 check,
// 10 end link. The colour conversion fills the record; while it is absent
// no entry exists.
constexpr int UMPD_COLOR_SLOTS = 16;
enum : int { UMPD_COLOR_HANDLE = 4, UMPD_COLOR_BEGINLINK = 7, UMPD_COLOR_CHECK = 9, UMPD_COLOR_ENDLINK = 10 };
using UmpdBeginLinkFn = int32_t (*)(void* handle, BYTE mode);
using UmpdCheckFn = int16_t (*)(void* handle);
using UmpdEndLinkFn = void (*)(void* handle);
struct UmpdColorParams {
  void* slot[UMPD_COLOR_SLOTS];
};

// ---- job output -----------------------------------------------------------------

enum : int16_t { JOBDATA_CLOSED = 0, JOBDATA_PRINTER = 1, JOBDATA_PAGESTORE = 2, JOBDATA_FILE = 3 };
constexpr DWORD JOBDATA_BUFFER_SIZE = 2048;
constexpr DWORD DRVIO_PRINTER_PIECE = 1000000;  // the most one WritePrinter call is given
// Resource strings of the job output's boxes.
enum : UINT {
  JOBDATA_STR_FOLDER_FAILED = 2,   // a form folder could not be made
  JOBDATA_STR_FORM_WRITE = 4,      // writing the form file failed
  JOBDATA_STR_CAPTION = 6,         // the boxes' caption
  JOBDATA_STR_FORM_EXTENSION = 451,
};
constexpr int JOBDATA_CAPTION_CHARS = 32;
constexpr int JOBDATA_TEXT_CHARS = 512;
constexpr int JOBDATA_EXTENSION_CHARS = 3;

struct jobData {
  int16_t direction;
  HANDLE printer;
  WORD firstStoredPage;
  WORD storedPageCount;
  DWORD buffered;
  BYTE buffer[JOBDATA_BUFFER_SIZE];
  HINSTANCE resource;
  HANDLE outFile;         // INVALID_HANDLE_VALUE when none
  UINT writeErrorTextId;  // 0, or JOBDATA_STR_FORM_WRITE during form registration
  // The job's aborted status: a retry box answered OK goes on only while
  // the job is not aborted. Null: no job (always go on asking).
  const std::atomic<uint32_t>* status;
  // The page store: its tables, its temporary file and the command-block
  // cursor (pagestore.cpp).
  variableArray pageInfo;      // PAGESTORE_PAGEINFO per stored page
  variableArray pagePosition;  // PAGESTORE_POSITION per stored page
  tempFile pageFile;
  cmdBlock cursor;
};

jobData* jobData_enable(HINSTANCE resource);
int jobData_disable(jobData* record);
int jobData_open(jobData* record, HANDLE printer, void*, void*, void*);
int jobData_close(jobData* record, int flag);
int jobData_openPrinter(jobData* record, HANDLE printer, void*, LPCWSTR documentName, void*);
int jobData_closePrinter(jobData* record, int flag);
int jobData_openOutfile(jobData* record, LPCWSTR path, DWORD* size, DWORD mode);
int jobData_closeOutfile(jobData* record, DWORD* size);
int jobData_startOutputPrinterAndFile(jobData* record, LPCWSTR path);
int jobData_finishOutputPrinterAndFile(jobData* record);
int32_t jobData_spool_write(jobData* record, DWORD count, const void* data);
BOOL jobData_isOpened(const jobData* record);
int _jobData_spool_setDirection(jobData* record, int16_t direction);
int _jobData_spool_flush(jobData* record);

constexpr DWORD DRVIO_CREATE_ALWAYS = 0x1;  // else open always
constexpr DWORD DRVIO_READ_ONLY = 0x2;      // else read and write
HANDLE drvio_file_open(LPCWSTR path, DWORD mode);
BOOL drvio_file_close(HANDLE file);
BOOL drvio_file_read(HANDLE file, void* buffer, DWORD count, DWORD* done);
BOOL drvio_file_write(HANDLE file, const void* buffer, DWORD count, DWORD* done);
LONG drvio_file_seekSet(HANDLE file, LONG offset);
LONG drvio_file_seekLast(HANDLE file, LONG offset);
HANDLE drvio_printer_open(HANDLE printer, void*, void*, void*);
BOOL drvio_printer_close(HANDLE printer, int flag);
HANDLE drvio_printer_force_open(HANDLE printer, void*, LPCWSTR documentName, void*);
BOOL drvio_printer_force_close(HANDLE printer, int flag);
BOOL drvio_printer_write(HANDLE printer, const void* buffer, DWORD count, DWORD* done);

// The job-output file record (a file made for the job, deleted after it).
struct jobOutInfo {
  LPWSTR path;  // GlobalAlloc block
  BYTE data[32];
  DWORD word;
};

int jobOutput_enable(UmpdJobContext* ctx);
int jobOutput_disable(UmpdJobContext* ctx);
int jobOutput_open(UmpdJobContext* ctx, HANDLE printer, LPCWSTR documentName);
int jobOutput_close(UmpdJobContext* ctx, int flag);
int jobOutput_isOpened(UmpdJobContext* ctx);
int jobOutput_spool_write(UmpdJobContext* ctx, DWORD count, const void* data);
int jobOutput_openPrinter(UmpdJobContext* ctx, HANDLE printer, void*, LPCWSTR documentName, void*);
int jobOutput_closePrinter(UmpdJobContext* ctx, int flag);
int jobOutput_releasejobOutInfo(jobOutInfo* info);
int jobOutput_changeSpool_forFormRegister(UmpdJobContext* ctx);
int jobOutput_stopSpool_forFormRegister(UmpdJobContext* ctx);
void faxctrl_DeleteAddressInfo(UmpdJobContext* ctx);
// The form file path of a form name (DDM 1829): the name under the default
// form folder unless it has a drive or network prefix, with the extension
// of string 451. Answers FALSE (empty path) for a name with ".." parts, an
// empty name, or a path over 259 characters. folderEnd receives the length
// of the folder part (up to and including its last separator).
BOOL jobOutput_makeFormPath(LPCWSTR formName, LPCWSTR defaultFolder, LPCWSTR extension, WCHAR (&path)[MAX_PATH],
                            DWORD* folderEnd);
BOOL jobOutput_createFolders(const WCHAR* path, DWORD folderEnd);
// The job's form file (DDM 1829) through jobOutput_makeFormPath with the
// default form folder and string 451: 0, or -1 (empty path) when the name
// is missing or refused. Form registration writes this file and the form
// overlay reads it; nothing outside the form folder is named.
int jobOutput_formFilePath(UmpdJobContext* ctx, WCHAR (&path)[MAX_PATH], DWORD* folderEnd);

// 137-140 (page framing): captured as command blocks while a page is
// stored with the matching capture bit, else written at once (pagestore.cpp).
int jobOutput_redirect_setcoordinate(UmpdJobContext* ctx, const float matrix[6]);
int jobOutput_redirect_startpage(UmpdJobContext* ctx, BYTE colorModeArg, BYTE mediaSource, BYTE mediaSize,
                                 float width, float height, int flag);
int jobOutput_redirect_showpage(UmpdJobContext* ctx);
int jobOutput_redirect_endpage(UmpdJobContext* ctx);

// Page-control words this side keeps (word n is the 32-bit word at 4n).
constexpr uint32_t PAGECTRL_OUTPUT_OPEN = 0xF;  // word 0, low four bits
constexpr uint32_t PAGESTORE_INIT = 0x8000;
constexpr uint32_t PAGESTORE_STORING = 0x0001;
constexpr uint32_t PAGESTORE_SETCOORDINATE = 0x8021;
constexpr uint32_t PAGESTORE_STARTPAGE = 0x8005;
constexpr uint32_t PAGESTORE_SHOWPAGE = 0x8009;
constexpr uint32_t PAGESTORE_ENDPAGE = 0x8011;

// ---- marked copies (marking.cpp) --------------------------------------------------

// At the job header: for a job asking for marking, the serial count from
// the library and the output diverted into the spooled job file. 0, or -1
// when the file cannot be made (the job then fails: it never prints
// unmarked).
int outGSB_PrepareSpool(UmpdJobContext* ctx);
// At Close: the marked copies; 0 or -1 (nothing printed before the copy loop).
int jobOutput_ForGlyphseal(UmpdJobContext* ctx);
GSB_HANDLE* outGSB_GetGSBHandle(UmpdJobContext* ctx);
int outGSB_SetGSBSetting(GSB_HANDLE* handle, UmpdJobContext* ctx);
int outGSB_outGSBJobs(GSB_HANDLE* handle, int32_t count, LPCWSTR source, UmpdJobContext* ctx);
int outGSB_BrightdeskReady(UmpdJobContext* ctx, int32_t copy, ULONG_PTR* id, BYTE (&record)[BRIGHTDESK_RECORD_SIZE]);
// Registers one copy of the job (0: the job itself, at its header) with the
// document monitor when the settings of `devmode` ask for it (DDM 8201 and
// 1321) and the model's monitor library is usable: the monitor's job handle,
// 0 when nothing was registered. `record` receives the copy's record.
ULONG_PTR outGSB_RegisterCopy(UmpdJobContext* ctx, struct CDDD_INFO* ddd, BYTE* devmode, DWORD copy,
                              BYTE (&record)[BRIGHTDESK_RECORD_SIZE]);
void outGSB_BrightdeskGo(UmpdJobContext* ctx, ULONG_PTR id, int go);
// The registrations the document events made for the job's prepared
// headers, one a header, handed over in the printer data under the job id
// (Brightdesk_TakeOver): looked for once a job, before the job's own
// registration at its header and before the registration is run or
// withdrawn, and kept as the job's registration.
void outGSB_TakeOverDocumentMonitor(UmpdJobContext* ctx);

// ---- the job frame (ejclout.cpp) -------------------------------------------------

// The job header (head 1, at BeginSession) and trailer (head 0, after
// EndSession). 1 when every byte was written; 0 when the header or trailer
// could not be made or written, and then the job has failed (ok 0): no byte
// of it and none of the stream follows.
int OutputEJCL(UmpdJobContext* ctx, int head);
// The user name the job header output keeps for the document monitor.
constexpr DWORD UMPD_USER_CHARS = 64;

// The job-information comment collection.
constexpr DWORD EJCLCMNT_BUFFER_SIZE = 513;
int ejclcmnt_initEJCLComment(UmpdJobContext* ctx);
void ejclcmnt_endEJCLComment(UmpdJobContext* ctx);
int ejclcmnt_setPageInfo(UmpdJobContext* ctx, BOOL customSize);
void ejclcmnt_setJobInfo(UmpdJobContext* ctx);
DWORD ejclcmnt_bufferSizeComment(void);
// One piece of the comment lines into a buffer of EJCLCMNT_BUFFER_SIZE
// bytes; -1 for a null pointer or a line the buffer can never take.
LONG ejclcmnt_getEJCLComment(UmpdJobContext* ctx, char* buffer, DWORD* more);
// The booklet sheet count written over the placeholder of a header that
// was prepared before the count was known. text/textLength: the header
// text; offset: where the placeholder's blanks start (0: no placeholder).
// 1 done (also for offset 0), 0 out of memory, -1 refused: the placeholder
// is not there (the offset and the new text must lie inside the text and
// over blanks only); the text is then unchanged.
constexpr DWORD EJCL_BKTP_BLANKS_PJL = 38;
constexpr DWORD EJCL_BKTP_BLANKS_PLAIN = 20;
int ejcl_overwriteEJCLCommandsBKTP(void* dddMain, void* dddReferenced, WORD sheets, DWORD offset, char* text,
                                   DWORD textLength);
// The booklet sheet count of a page count: (n + 5) / 4 x 2 - 1 with the
// shifted first page (job information word 76), else (n + 3) / 4 x 2.
WORD ejcl_bookletSheets(WORD pages, BOOL shifted);

// ---- the graphics-state filter (cgs.cpp) ---------------------------------------

constexpr DWORD XLCGS_PALETTE_MAX = 768;
constexpr DWORD XLCGS_DASH_MAX = 40;  // bytes: 20 uint16 entries
// The printer's graphics state as the filter last wrote it, per page.
struct XlCgsState {
  BYTE colorSpace[1];
  LONG colorSpaceLength;   // -1 unknown
  BYTE paletteDepth[1];
  LONG paletteDepthLength;
  BYTE paletteData[XLCGS_PALETTE_MAX];
  LONG paletteDataLength;
  XLData* brush;           // the last brush operator's tokens written
  XLData* pen;
  BYTE fillMode[1];
  LONG fillModeLength;
  BYTE miterU16[2];
  LONG miterU16Length;
  BYTE miterR32[4];
  LONG miterR32Length;
  BYTE lineCap[1];
  LONG lineCapLength;
  BYTE lineJoin[1];
  LONG lineJoinLength;
  BYTE dash[XLCGS_DASH_MAX];
  LONG dashLength;
  BYTE dashOffset[2];
  LONG dashOffsetLength;
  BYTE penWidth[2];
  LONG penWidthLength;
  int clipState;           // 0 page, 1 rectangle, 2 path
  BYTE clipMode[1];
  LONG clipModeLength;
  BYTE clipRegion[1];
  LONG clipRegionLength;
  BYTE clipRect[8];
  LONG clipRectLength;
  BYTE paintTx[1];
  LONG paintTxLength;
  BYTE sourceTx[1];
  LONG sourceTxLength;
  BYTE rop[1];
  LONG ropLength;
  int defaultCtm;          // 1 right after SetPageDefaultCTM
};

// SetCgsData's results.
enum : int {
  XLCGS_EQUAL = 1,     // the value equals the cache
  XLCGS_STORED = 2,    // the value (the cache's whole capacity) was stored
  XLCGS_ABSENT = 3,    // no such attribute
  XLCGS_OTHER = 4,     // another tag, or longer than the cache: the cache is now unknown
  XLCGS_SHORT = 5,     // shorter than the cache's capacity: the cache is now unknown
};
int SetCgsData(UmpdJobContext* ctx, XLData* list, BYTE attribute, BYTE tag, BYTE* cache, LONG* cachedLength,
               DWORD capacity, LONG* outLength);
int IsNewXLCGSAttr(UmpdJobContext* ctx, XLOperator* op);
void InitXLCGS(UmpdJobContext* ctx);
void ExitXLCGS(UmpdJobContext* ctx);

// ---- the job context ------------------------------------------------------------

struct UmpdFewColor {
  BOOL enabled;
  int32_t limit;
  int32_t value;
};

// The colour conversion's state (color/xlcc.cpp): what it holds between
// operators of a job. Parser thread only.
struct ColorJudgeInfo;
struct ColorConvParam;
struct ImgRotHandle;
struct XlccState {
  XLData* pending;        // tokens held since the last SetColorSpace, or null
  BOOL pendingOpen;       // a SetColorSpace started the pending list
  BYTE colorSpaceKind;    // attribute 254 of the pending SetColorSpace: 0 graphics, 1 text, 2 image; 0xFF none
  BYTE rop3;              // the last SetROP's ROP3
  BYTE rotationMark;      // 1 after SetPageRotation 90, cleared by ReadImage and command 138
  BOOL grayed;            // the last brush or pen colour was turned into grey
  int16_t cursor[2];      // the last SetCursor's point
  BOOL ready;             // InitXLCC done for this job
  ColorJudgeInfo* judge;  // the colour-judge information, null while absent
  ColorConvParam* params; // the colour parameters it built (colorParams points into them), or null
  // The image re-encoding's job state (spool/image/): the rotation buffer
  // and the JPEG compression file, kept from their first use to the end
  // of the job (ExitXLCC: end, failure, abort).
  ImgRotHandle* rotation;
  tempFile compressFile;
};

struct UmpdJobContext {
  uint32_t magic;
  HANDLE printer;
  DWORD jobId;
  std::atomic<uint32_t> status;
  HANDLE heap;
  // The rendezvous (see frame.cpp): the spooler thread offers one buffer at
  // a time and waits until the parser took it or ended.
  HANDLE dataReady;
  HANDLE dataConsumed;
  CRITICAL_SECTION lock;        // guards the offer below
  const BYTE* dataPointer;      // the buffer offered
  std::atomic<int32_t> dataLength;  // its length; -1 is never stored here (see endOfInput)
  std::atomic<uint32_t> offered;      // 1 from the offer until the parser took it or ended
  std::atomic<uint32_t> offerResult;  // TRUE when the parser took the whole buffer
  std::atomic<uint32_t> endOfInput;   // Close or Abort ended the input
  std::atomic<uint32_t> parserEnded;  // the parser took its last byte
  uint32_t holding;                   // parser side: it owns the offered buffer
  const BYTE* readPointer;            // parser side: the rest of the held buffer
  DWORD readLeft;
  std::atomic<uint32_t> ok;
  std::atomic<uint32_t> refusedWrite;  // a DrvSplWritePrinter answered FALSE: the spooler knows the job failed
  BYTE printerData[UMPD_PRINTERDATA_SIZE];
  HANDLE parserThread;
  std::atomic<uint32_t> startPageCount;
  std::atomic<uint32_t> writeCount;
  std::atomic<uint32_t> endPageCount;
  BYTE devmode[UMPD_DEVMODE_SIZE];
  BYTE devmodeSnapshot[UMPD_DEVMODE_SIZE];
  BOOL snapshotTaken;
  // Merged images (148/149).
  BOOL imageGathering;
  BOOL imageCheck;
  XLData* imageList;
  DWORD timeStampTick;
  WCHAR documentName[UMPD_NAME_CHARS];
  // The document monitor's registration of the job (Brightdesk_Ready's
  // handle, made with the job header, or the registrations the document
  // events made for its prepared headers, taken over), 0 when none.
  ULONG_PTR documentMonitor;
  BOOL documentMonitorTaken;  // the hand-off of the document events was looked for
  WCHAR portName[UMPD_NAME_CHARS];
  WCHAR printerName[UMPD_NAME_CHARS];
  jobData* jobDataRecord;
  JOBINFO jobInfo;
  LAYOUTINFO layoutInfo;
  PAGECTRL pageCtrl;
  jobOutInfo* jobOutputInfo;  // null once released; the spooled job file of a marked job
  DWORD serialCount;          // marked copies to make (marking.cpp)
  DWORD stampFlag;
  UmpdColorParams* colorParams;  // filled by the colour conversion; null while absent
  XlccState xlcc;                // the colour conversion's state
  BYTE* jclHeaders;              // command 156's table (GlobalAlloc), or null
  DWORD jclHeadersSize;
  DWORD copySet;                 // the copy set whose EJCL header entry is used
  JobInfoBuilder* jobInfoBuilder;  // the job-information comment, null while not collected
  WCHAR userName[UMPD_USER_CHARS + 1];  // the job's user (the job header output)
  XlCgsState cgs;                // the graphics-state filter's cache
  // Token pool.
  alignas(16) BYTE pool[XL_POOL_SLOTS][XL_POOL_SLOT_BYTES];
  BYTE poolUsed[XL_POOL_SLOTS];
  DWORD poolCount;
  // The PCL XL writer of this side (its put is PutData).
  XlContext xl;
  DWORD throughMode;
  // Counts for the trace and the demo.
  uint64_t operatorsIn;
  uint64_t operatorsOut;
  uint64_t commandsRun[XL_IC_LAST - XL_IC_FIRST + 1];
  uint64_t pagesOut;
  uint64_t bytesOut;
};

// The rendezvous.
BOOL DataAvail(UmpdJobContext* ctx, const BYTE* buffer, DWORD count, DWORD* written);
DWORD GetData(UmpdJobContext* ctx, BYTE* buffer, DWORD count);
int32_t PutData(void* ctx, DWORD count, const void* bytes);
DWORD WINAPI Parser(LPVOID ctx);
int PDL_InitINIDRIVER(UmpdJobContext* ctx);
void local_OutOfThread_Proc(UmpdJobContext* ctx);
// Ends the parser's reading: a buffer still offered is handed back with
// FALSE, later offers answer FALSE at once.
void umpd_EndInputFromParser(UmpdJobContext* ctx);
// Marks the stream rejected (ok 0); the parser ends at its next step.
void umpd_Reject(UmpdJobContext* ctx, const char16_t* why);
// StartDoc's steps 1-6 (the context without its thread), and its end.
UmpdJobContext* umpd_CreateContext(HANDLE printer, DWORD jobId);
void umpd_DestroyContext(UmpdJobContext* ctx);
// The parser's end: nothing more of the job can come, so what the colour
// conversion holds (a colour list waiting for its operator, its parameters)
// and the graphics state's brush and pen are released (a stream cut short,
// without its EndSession, leaves no token behind); output still open is
// closed (flushed when the stream was taken whole, its buffered bytes
// dropped after a rejection or an abort), then the input is ended from the
// parser's side.
void umpd_ParserEnd(UmpdJobContext* ctx);
// The job's counts written to the trace log (at Close).
void umpd_TraceSummary(UmpdJobContext* ctx);
// The context of a job handle: null for a null handle or a wrong magic.
UmpdJobContext* umpd_FromHandle(HANDLE job);
// The devmode snapshot, taken once on the parser thread.
void umpd_TakeSnapshot(UmpdJobContext* ctx);

// The exports (kestrelum.map names them; visible so the version script can
// export them from the static library they live in).
#define KUM_EXPORT __attribute__((visibility("default")))
extern "C" {
KUM_EXPORT HANDLE WINAPI DrvSplStartDoc(HANDLE printer, DWORD jobId);
KUM_EXPORT BOOL WINAPI DrvSplWritePrinter(HANDLE job, LPVOID buffer, DWORD count, LPDWORD written);
KUM_EXPORT BOOL WINAPI DrvSplStartPage(HANDLE job);
KUM_EXPORT BOOL WINAPI DrvSplEndPage(HANDLE job);
KUM_EXPORT void WINAPI DrvSplEndDoc(HANDLE job);
KUM_EXPORT void WINAPI DrvSplAbort(HANDLE job);
KUM_EXPORT void WINAPI DrvSplClose(HANDLE job);
}
