// The EJCL writer: the 8-bit job-control text that frames every print job.
// The header is a universal exit, in code set 1 the job-mode and code-set
// lines, three comment lines (date, time, document name), then every EJCL
// command record of the model's description data (category 15) whose
// conditions hold, with the writer's own hard-coded block where the model
// puts a record whose command begins with "%". The trailer is a universal
// exit and the end of job. Every line ends with LF.
//
// Entry points for the libraries: kestrelui prepares one header per copy
// set ahead of the job; kestrelum's job header output writes the header at
// BeginSession and, after EndSession, the trailer with the job-information
// comment (kestrel/core/jobinfo.h) between its universal exit and its end of
// job: ejcl_getEJCLCommandsUniversalExit, the comment, then
// ejcl_getEJCLCommandsEndOfJob. User mode only.
//
// Every writer takes the caller's buffer with its capacity and answers the
// bytes written (a NUL is stored behind them, so the capacity must leave
// room for it) or a negative code; a negative code ends the text and the
// buffer holds nothing usable (the writer clears what it had written). Size
// first (ejcl_bufferSize*), then write.
//
// The code set is one process-wide word: 0 the ANSI code page, 1 UTF-8. It
// starts unset (0xFFFF, read as 0); a header sets it to 1 when the
// operating system is not the 4.0 release of the 9x platform; nothing sets
// it back.
//
// Decisions (where the design leaves a point open, and sound behaviour):
//  - Capacity: a text that would pass the caller's capacity fails with
//    EJCL_ERR_ROOM (-700) and nothing of it is left in the buffer.
//  - Values from the job (document name, user name, DDM strings, the
//    Vellumhall texts, the JCID, the fax-address file) never carry control
//    bytes: every byte below 0x20 and 0x7F becomes a blank (the fax-address
//    file keeps its CR LF line ends), and inside a JOBATTR double-quoted
//    value a double quote becomes an apostrophe.
//  - Type 10 values print as a signed 32-bit decimal.
//  - The job's user: GetUserNameW; a name equal to "SYSTEM" in any letter
//    case (the service's account) takes the Winlogon value
//    "DefaultUserName" (ejcl_GetJobUserName, which the job header output of
//    kestrelum calls too, so both places follow one rule).
//  - The header size adds the block b (84, or 125/107 with the booklet
//    sheet count) to the running sum like every other term.
//  - Code set 0 (a 9x system): the walk writes every record where it
//    stands, the JOB MODE record included; only the STRINGCODESET line and
//    the early JOB MODE line of code set 1 are not written.
//  - A hint writer's error code ends the header (an unknown paper -610, an
//    empty user id -440, DDM 335 out of range -620, ...); a hint writer
//    that writes nothing leaves the whole record out.
//  - The search for the JOB MODE record tests the cut rule on a scratch
//    copy of the cut buffer, so that the records it passes over are not
//    remembered; the JOB MODE command is then remembered as the design says.
//  - The cut buffer keeps one key of a JOBATTR record (tested as a
//    substring) and one of any other record (tested for equality); a hint
//    record's key is its argument (an empty text when it has none).
//  - Conditions: an entry's value type must equal the type the DDM id
//    reports, except that an 8-bit entry matches a byte member the access
//    layer reports as 16-bit (type 3), as the model compiler allows.
//  - User-defined insert paper (hints 410, 411): the custom paper size
//    (DDM 1863, 1864, 0.1 mm) rounded to millimetres; the insert-sheet
//    orientation is DDM 412 (2 swaps width and length).
//  - FAEN: only a file inside the fax data folder (the Windows drive +
//    resource string 9366) is read and deleted; a name elsewhere (DDM 1799
//    or 375 alike) is neither read nor deleted and FAEN writes nothing.
//  - Fax numbers (FANU): the context's range names its list with the list's
//    size; a list that is not whole (nonDev_FaxListNeeded) fails with -610.
//  - A Vellumhall text that fills its buffer without a NUL fails like a
//    failing call (-510); a multibyte value without a NUL within its bound
//    is refused with -320.
#pragma once

#include "kestrel/core/ddd_types.h"
#include "kplatform/wintypes.h"

// Results.
#define EJCL_ERR_DDD (-110)           // description data read error
#define EJCL_ERR_NOCOMMAND (-120)     // record without command
#define EJCL_ERR_NOARGUMENT (-130)    // record with neither hint nor argument
#define EJCL_ERR_SIZEITEM (-140)      // size items missing
#define EJCL_ERR_OPERATOR (-160)      // bad operator
#define EJCL_ERR_TYPE (-170)          // bad type
#define EJCL_ERR_OPFORTYPE (-175)     // operator not allowed for the type
#define EJCL_ERR_ACCESS (-210)        // DDM access error or bad wanted type
#define EJCL_ERR_NOTWRITABLE (-220)   // value type not writable
#define EJCL_ERR_SIZE (-230)          // size mismatch
#define EJCL_ERR_COPY (-310)          // string copy failed
#define EJCL_ERR_LENGTH (-320)        // bad length
#define EJCL_ERR_MEMORY (-340)        // out of memory in conversion
#define EJCL_ERR_NOVALUE (-410)       // DDM value missing
#define EJCL_ERR_CONDTYPE (-420)      // condition type mismatch
#define EJCL_ERR_ARGUMENT (-440)      // bad argument
#define EJCL_ERR_CONNECTIVE (-450)    // bad connective
#define EJCL_ERR_VELLUM (-510)        // Vellumhall library or export missing or failing
#define EJCL_ERR_REQUIRED (-610)      // required record, table entry or value missing
#define EJCL_ERR_FAXNAME (-620)       // bad DDM 335 value
#define EJCL_ERR_ROOM (-700)          // the text does not fit the caller's buffer

// Code sets.
#define EJCL_CODESET_ANSI 0
#define EJCL_CODESET_UTF8 1
#define EJCL_CODESET_UNSET 0xFFFF

// Capability bits of PrinterInfo item 26 the writer reads.
#define EJCL_CAP_DBCS_DOCNAME 0x2u
#define EJCL_CAP_NUP 0x4u
#define EJCL_CAP_HOST_ADDRESS 0x8u
#define EJCL_CAP_INPUT_BIN 0x10u
#define EJCL_CAP_COLLATE_A 0x10000u
#define EJCL_CAP_COLLATE_B 0x20000u
#define EJCL_CAP_PJL 0x40000u
#define EJCL_CAP_HOST_NAME 0x200000u
#define EJCL_CAP_OWNER_NAME 0x2000000u
#define EJCL_CAP_BOOKLET_SHEETS 0x4000000u
#define EJCL_CAP_FAX_FORM2 0x40000000u

// Hint ids that name no DDM value.
#define EJCL_HINT_USERNAME 8193
#define EJCL_HINT_JCID 8201
#define EJCL_HINT_PRINTTIME 32784
#define EJCL_HINT_DOCNAME 36902

#define EJCL_JCID_BYTES 181  // 180 bytes and a NUL
#define EJCL_FAEN_MAX 9600
#define EJCL_FANU_BUFFER 512

// The fax numbers of one header: entries first..last of the list.
struct EJCL_FAX_RANGE {
  WORD first;
  WORD last;
  const void* list;  // the fax address list ("DFAX001")
  DWORD listSize;    // its bytes
};

// What the caller fills before asking for a header.
struct EJCL_CONTEXT {
  void* devmode;                // first DDM source (5440-byte devmode)
  void* printerData;            // second DDM source (4736-byte record)
  DWORD jcidFlag;               // 1 = write the JCID
  char jcid[EJCL_JCID_BYTES];   // multibyte, NUL-terminated
  LPCWSTR documentName;
  DWORD hardCoded;              // nonzero: write the hard-coded commands
  const EJCL_FAX_RANGE* fax;    // null: no fax numbers
  HANDLE printer;
  SHORT bookletSheets;          // 0 or less: the count is still open
  DWORD bktpOffset;             // out: offset of the BKTP text when the count was open, else 0
};

// Sizes: a byte count or a negative code.
LONG ejcl_bufferSizeHead(DDDFILE* main, DDDFILE* referenced);
LONG ejclFax_bufferSizeHead(DDDFILE* main, DDDFILE* referenced);
LONG ejcl_bufferSizeTail(DDDFILE* main, DDDFILE* referenced);
LONG ejcl_bufferSizeEndOfJob(DDDFILE* main, DDDFILE* referenced);
LONG ejcl_bufferSizeUniversalExit(void);

// Writers: the bytes written or a negative code.
LONG ejcl_getEJCLCommandsHead(DDDFILE* main, DDDFILE* referenced, EJCL_CONTEXT* context, char* buffer,
                              DWORD capacity);
LONG ejcl_getEJCLCommandsTail(DDDFILE* main, DDDFILE* referenced, char* buffer, DWORD capacity);
LONG ejcl_getEJCLCommandsEndOfJob(DDDFILE* main, DDDFILE* referenced, char* buffer, DWORD capacity);
LONG ejcl_getEJCLCommandsUniversalExit(char* buffer, DWORD capacity);

void ejclUtil_SetStringCodeSet(WORD codeSet);
WORD ejclUtil_GetStringCodeSet(void);

// The job's user name as the header writes it (see the decision above):
// answers the characters written without the NUL, 0 when none could be had.
DWORD ejcl_GetJobUserName(LPWSTR buffer, DWORD chars);

// The cut buffer of one header: the key of a record already written (or
// remembered by the cut rule) and that of a JOBATTR record, 128 wide
// characters each; flags bit 0: DDM 336 is 1 (only records whose additional
// flag has bit 0 are kept).
#define EJCL_CUT_KEY_CHARS 128
#define EJCL_CUT_ONLY_FLAGGED 0x1u
struct EJCL_CUTBUFFER {
  DWORD found;
  WCHAR command[EJCL_CUT_KEY_CHARS];
  WCHAR jobAttr[EJCL_CUT_KEY_CHARS];
  DWORD flags;
};
// The cut rule: TRUE when the record is cut (see the decisions above); a
// record not cut is remembered, and cut, when flags bit 0 is set and its
// additional flag lacks bit 0. pjlForm: capability bit 0x40000.
BOOL ejclUtil_IsCutCommand(EJCL_CUTBUFFER* cut, const DDD_EJCL* record, BOOL pjlForm);

// The condition list of one record: 1 true, 0 false, or a negative code.
LONG ejclUtil_CheckConditionsOf(const DDD_EJCL* record, const EJCL_CONTEXT* context);
// Reads a DDM value in a wanted type (1, 4, 5, 10: 32 bits; 2, 3: 16 bits;
// 8: 8 bits; 6: the string's address, pointer-wide): 1 or a negative code.
LONG ejclUtil_GetValue(WORD ddmId, const EJCL_CONTEXT* context, WORD wantedType, void* out);
// 101 empty string, 102 non-empty string, 103 not a string; -410 / -210.
LONG ejclUtil_CheckNULLStr(WORD ddmId, const EJCL_CONTEXT* context);
BOOL ejclUtil_IsHardCodeCommand(const DDD_EJCL* record);
