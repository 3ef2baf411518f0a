// Graphics-engine services that kernel-mode driver code calls. Implemented by
// the graphics-engine stand-in (platform/engine/). The records and handles
// they use are in engine_ddi.h, FLOATOBJ in engine_float.h, the drawing
// objects in engine_objects.h, and the runner and test controls in
// engine_runner.h; this header brings them all in.
#pragma once

#include <cstdarg>

#include "kplatform/engine_ddi.h"
#include "kplatform/engine_float.h"
#include "kplatform/engine_objects.h"
#include "kplatform/engine_runner.h"
#include "kplatform/engine_draw.h"
#include "kplatform/engine_devfont.h"
#include "kplatform/wintypes.h"

// EngAllocMem flags.
#define FL_ZERO_MEMORY 0x00000001u

// Loads a file (a module or a data file) by its full path for mapping;
// null when it can't be opened.
KP_API HANDLE WINAPI EngLoadModule(LPWSTR pwsz);
// Maps the whole of a loaded module read-only; *pulSize receives its size.
// Null on failure.
KP_API PVOID WINAPI EngMapModule(HANDLE h, PULONG pulSize);
KP_API VOID WINAPI EngFreeModule(HANDLE h);
// The resource of type iType and integer name iName in a loaded module;
// *pulSize receives its size. Null when missing.
KP_API PVOID WINAPI EngFindResource(HANDLE h, int iName, int iType, PULONG pulSize);
KP_API PVOID WINAPI EngAllocMem(ULONG Flags, ULONG cjMemSize, ULONG ulTag);
KP_API VOID WINAPI EngFreeMem(PVOID pv);
// Converts 8-bit text of CodePage to UTF-16; sizes in bytes. Returns the
// bytes written, or -1.
KP_API INT WINAPI EngMultiByteToWideChar(UINT CodePage, LPWSTR WideCharString, INT BytesInWideCharString,
                                         LPSTR MultiByteString, INT BytesInMultiByteString);
KP_API VOID WINAPI EngGetCurrentCodePage(PUSHORT OemCodePage, PUSHORT AnsiCodePage);

// ---- More of the same family -------------------------------------------------
//
// Memory: EngAllocMem answers null for 0 bytes, above 0x7FFFFFFF bytes, or
// when a test made it fail. Without FL_ZERO_MEMORY a block is filled with the
// byte 0xA5, so code that wrongly relies on zero fill shows. EngFreeMem of
// null does nothing; of a pointer that is no live block it does nothing but
// count the call (KpEngineBadFreeCount), so a double free never corrupts.
//
// Modules: EngLoadModule opens the file read-only, sharing reads. A path
// ending in ".dll" that names no file is also looked for as "lib<name>.so"
// in the same folder, as the loader does. EngMapModule maps the whole file
// once (later calls answer the same view); an empty file cannot be mapped.
// EngFreeModule unmaps and closes; a handle that is no loaded module is
// ignored. EngFindResource reads the module's file as a resource container
// (the format of kestrelrs.zrs), or, for a shared library the loader has
// loaded, the resources that library carries; a corrupt container answers
// null.

// Converts UTF-16 to 8-bit text of CodePage; sizes in bytes. Returns the
// bytes written, or -1. The whole input is converted or nothing is written:
// a result that does not fit answers -1. Same for EngMultiByteToWideChar.
KP_API INT WINAPI EngWideCharToMultiByte(UINT CodePage, LPWSTR WideCharString, INT BytesInWideCharString,
                                         LPSTR MultiByteString, INT BytesInMultiByteString);
// The ANSI code page's conversions that cut to the buffer: at most
// MaxBytesIn... bytes are written, never half a character (no lead byte
// without its trail byte, no high surrogate without its low one). The bytes
// written go to *BytesIn... when that pointer is not null.
KP_API VOID WINAPI EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString,
                                          PULONG BytesInUnicodeString, LPSTR MultiByteString,
                                          ULONG BytesInMultiByteString);
KP_API VOID WINAPI EngUnicodeToMultiByteN(LPSTR MultiByteString, ULONG MaxBytesInMultiByteString,
                                          PULONG BytesInMultiByteString, LPWSTR UnicodeString,
                                          ULONG BytesInUnicodeString);

// Semaphores: re-entrant locks (the owning thread may acquire again and
// releases as often). Releasing one the thread does not hold, or using a
// handle that is no semaphore, does nothing. Deleting frees it; a deleted
// handle is never given out again.
KP_API HSEMAPHORE WINAPI EngCreateSemaphore(VOID);
KP_API VOID WINAPI EngAcquireSemaphore(HSEMAPHORE hsem);
KP_API VOID WINAPI EngReleaseSemaphore(HSEMAPHORE hsem);
KP_API VOID WINAPI EngDeleteSemaphore(HSEMAPHORE hsem);

// The calling thread's last error (the same value GetLastError reads).
KP_API VOID WINAPI EngSetLastError(ULONG iError);
KP_API ULONG WINAPI EngGetLastError(VOID);

// Debug output: StandardPrefix (may be null) then DebugMessage formatted
// with ap, captured for tests (KpEngineGetDebugOutput) and written to
// standard error when KESTREL_DEBUG_OUTPUT is set (and not "0"). The format
// follows the original platform: d i u x X o c s p %, flags - + 0 space #,
// width and precision (also *); "l" and "h" mean 32 and 16 bits, "ll" and
// "I64" 64 bits; s is an 8-bit string, "ls", "ws" and S a UTF-16 one (in the
// ANSI code page); a null string prints "(null)". An unknown conversion is
// printed as it stands and ends the formatting. One call prints at most
// 4096 bytes.
KP_API VOID WINAPI EngDebugPrint(LPSTR StandardPrefix, LPSTR DebugMessage, va_list ap);

// Printer output: records the call on the printer context (engine_runner.h
// controls a fault). FALSE with ERROR_INVALID_HANDLE for a handle that is no
// printer context, ERROR_INVALID_PARAMETER for a null buffer with cbBuf > 0.
// *pcWritten (when not null) gets the bytes kept, 0 on a refusal.
KP_API BOOL WINAPI EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
// Printer data of the printer context: the spooler's printer data of its
// printer (opened by name; a printer the spooler does not know answers the
// spooler's error). ERROR_SUCCESS with the type, the
// bytes and their size in *pcbNeeded; ERROR_MORE_DATA with the size needed
// when cbBuf is too small (nothing copied); ERROR_FILE_NOT_FOUND for a
// missing value; ERROR_INVALID_HANDLE for a handle that is no printer
// context; ERROR_INVALID_PARAMETER for a null name or pcbNeeded, or a null
// buffer with cbBuf > 0. pType may be null.
KP_API DWORD WINAPI EngGetPrinterData(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD cbBuf,
                                      LPDWORD pcbNeeded);
// The spooler's forms database (EnumFormsW) for the printer context's
// printer, opened by its name. FALSE with ERROR_INVALID_HANDLE for a handle
// that is no printer context, else what the spooler answers.
KP_API BOOL WINAPI EngEnumForms(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf, LPDWORD pcbNeeded,
                                LPDWORD pcReturned);
// The Windows paths of the printer context behind a device (the printer
// handle itself is taken as well). The string is the engine's and lives as
// long as the printer context. Null when the context has none, or for a
// handle that is neither (ERROR_INVALID_HANDLE).
KP_API LPWSTR WINAPI EngGetDriverName(HDEV hdev);
KP_API LPWSTR WINAPI EngGetPrinterDataFileName(HDEV hdev);

// Palettes: iMode PAL_INDEXED (cColors entries from pulColors, which must
// not be null when cColors > 0), PAL_BITFIELDS (the three masks, none 0),
// PAL_RGB or PAL_BGR (no entries needed). Null with ERROR_INVALID_PARAMETER
// otherwise.
KP_API HPALETTE WINAPI EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                        FLONG flBlue);
// FALSE for a handle that is no palette.
KP_API BOOL WINAPI EngDeletePalette(HPALETTE hpal);

// A device-managed surface of size sizl (both positive) and bitmap format
// iFormatCompat (BMF_1BPP..BMF_8RLE); null with ERROR_INVALID_PARAMETER
// otherwise.
KP_API HSURF WINAPI EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// Ties a surface to a device and the drawing calls it hooks; the surface's
// record then carries the device's PDEV. FALSE (ERROR_INVALID_HANDLE) for an
// unknown surface or device.
KP_API BOOL WINAPI EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
// FALSE for a handle that is no surface.
KP_API BOOL WINAPI EngDeleteSurface(HSURF hsurf);
