// The private gate (pesc.cpp): escapes 4209 (the gate), 4210 (a JPEG image
// handed straight to the printer, piece by piece), 4211 (the page colour
// mode), 4212 (duplex and N-up read and overridden) and 4216 (a
// security-marking block), on the private-escape state job control sets up
// at PDEV creation (jobCtrl_privateEscape_init, PDEV::pesc), and the devmode
// overrides applied around a job (pesc_ctl_forceDevMode at its start,
// pesc_ctl_restoreDevMode at its end).
//
// Results of the escapes: 1 done (4210: the image id), 0 a function that is
// not available (nothing done), and the negative codes below.
//
// Decisions (the maintainer's notes; each is tested):
//  - The gate decides: 4210, 4211 and 4212 act only while the gate is on and
//    their function is available (checkFuncIDEnable); 4216, which has no
//    function of its own in the table, only while the gate is on; 4209 only
//    while its function 4353 is available (a job version outside the known
//    range has no gate). Otherwise they answer 0 and do nothing.
//    QUERYESCSUPPORT answers 1 for 4209 and pescd_QueryFunction for the
//    others.
//  - 4209 function 3 writes 18 bytes (its size at offset 0, the escape at 4,
//    the three capability values at 6, 10 and 14) only into an output that
//    really holds them: an output shorter than 18 bytes is -4 whatever its
//    first word says; a longer one must carry 18 in its first word. Function
//    25989 needs 4 bytes of output (-4). The input must really hold its 8
//    bytes (-4).
//  - 4210's block is read only within the escape's real input: the block's
//    own total size, when not 0, may not exceed it (-4) and then bounds it
//    further; every record (piece header 36 bytes at offset 4, destination
//    record 32, bitmap header 40, clip rectangle 8) and the piece's bytes
//    must lie wholly inside, computed in 64 bits (-4). A piece is checked
//    whole before anything is counted or written.
//  - A piece larger than 65280 bytes is written in parts of at most 65280
//    bytes: nothing of the image is ever left unwritten.
//  - An image whose pieces stop is never left with a short ReadImage: a bad
//    piece (wrong id, offset or total, a broken block, bad geometry) while an
//    image is open, any other drawing call or escape that writes, the end of
//    the page or document, an abort and the PDEV's end all pad the open
//    image's data with zeros (the last two bytes the JPEG end marker) to the
//    size announced, end it and turn the page back (pesc_endDirectImage).
//  - 4210 outside a started document answers -1 and touches nothing (the
//    page start a drawing call makes would mark the output failed for good).
//  - Every piece must carry the JPEG total size of the first (-4). A JPEG
//    total size of 0, a piece bigger than what remains, a destination or
//    source size of 0 are refused (-4, -4, -5).
//  - The printable area that clips an image without its own clip rectangle
//    is the page's printable area in device pixels: (0, 0) to the page
//    area's width and height from the page information.
//  - JPEG parameters that can't be read from the first piece (no frame
//    header in it) leave the colour space at 6 (sRGB), as any count other
//    than one component.
//  - The ReadImage of a direct JPEG carries PadBytesMultiple 3, as the
//    spooler side's own JPEG images do.
//  - jpeg_GetParam never answers 0 without a frame header: a walk that ends
//    without one answers its flags with PESC_JPEG_NO_FRAME; fill bytes 0xFF
//    before a marker are skipped; a segment length below 2 is broken (-1).
//  - 4211 and 4212 need 2 and 8 bytes of real input (-4; none -1); the reads
//    of 4212 answer 16 bits and need 2 bytes of output (-4).
//  - 4216: the length n and its bytes must lie inside the real input (-4);
//    n = 0 is refused (-4, the block kept). The block is stored only; it
//    goes to the spooler side with the security-marking state at the job's
//    start.
//  - The status block of 0x5028/0x5029 is the gate state: 0x5029 sets the
//    gate word, the colour mode switch and the colour mode (16 bits, sign
//    extended); 0x5028 answers them (the last two bytes as stored).
//  - The overrides are restored at the end and at the abort of a job.
#pragma once

#include "kestrel/render/km_escape.h"
#include "kestrel/render/pdev.h"

// A row of the function table.
struct PESC_FUNCINFO {
  WORD functionId;
  WORD escape;
  DWORD minVersion;
  DWORD caps[3];
};

// ---- jpeg_GetParam --------------------------------------------------------
// Walks the JPEG markers of `length` bytes up to the frame header: 0 and the
// component count in *components when it is found whole; -1 for broken data
// (no marker where one must be, a 0xFF last, a segment length below 2, a
// frame header cut short); otherwise the walk's flags, never 0: SOI taken,
// EOI reached, and PESC_JPEG_NO_FRAME when the walk ended without a frame
// header (a second SOI, the data's end).
constexpr LONG PESC_JPEG_SOI = 0x1;
constexpr LONG PESC_JPEG_EOI = 0x2;
constexpr LONG PESC_JPEG_NO_FRAME = 0x4;
LONG jpeg_GetParam(const BYTE* data, DWORD* components, DWORD length);

// ---- The function table and the gate --------------------------------------
// Version between the known PDL versions and not below the minimum.
BOOL _checkNotOldPDLVersion(DWORD version, DWORD minVersion);
// 0 and the row (when out is not null) for an available function, -1
// otherwise.
LONG PDL_pesc_getFuncInfo(PDEV* pdev, WORD functionId, PESC_FUNCINFO* out);
// The gate is on and the function is available.
BOOL checkFuncIDEnable(PDEV* pdev, WORD functionId);
// QUERYESCSUPPORT of 4210, 4211, 4212, 4216: 1 with the gate on, else 0; -1
// without a PDEV.
LONG pescd_QueryFunction(PDEV* pdev);

// ---- The escapes (PDEV, input size, input, output size, output) ------------
LONG pesc_ctlfc_PrivateGate(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);
LONG pesc_ctlfc_DirectBlt(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);
LONG pesc_ctlfc_SetPageColorMode(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);
LONG pesc_ctlfc_Layout(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);
LONG pesc_ctlfc_GSB_Interaction(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);

// ---- The direct image's steps ---------------------------------------------
// The piece bookkeeping: the image id for a good piece (a new id on the
// first), -4 for a broken sequence (the state is then cleared: an open
// image must be ended first, see pesc_endDirectImage). *first is set for
// the first piece, *last when the piece completes the image.
LONG pesc_imageContinue(PDEV_PESC* state, WORD id, DWORD pieceOffset, DWORD pieceBytes, DWORD jpegTotal,
                        BOOL* first, BOOL* last);
// Closes a pending merged image (in-band link-image end): 0 or -1.
LONG PDL_pesc_outputNIEImage(PDEV* pdev);
// Pads, ends and turns back an open direct image and clears its state; 0
// (also when none is open), -1 when a write fails.
LONG pesc_endDirectImage(PDEV* pdev);

// ---- Devmode overrides ----------------------------------------------------
// Restores earlier overrides, saves DDM 16, 295, 264, 294, 321, 296, 270,
// writes every override that is not -1 and DDM 270 = 0 while the application
// sets the colour mode. The printer-data record is the value access's
// second record (may be null).
void pesc_ctl_forceDevMode(void* devmode, void* printerData, PDEV_PESC* state);
void pesc_ctl_restoreDevMode(void* devmode, void* printerData, PDEV_PESC* state);

// The private-escape state as the gate starts it: the given version and
// switches, no gate, no image, every override -1.
void pesc_ctl_initPescPdev(PDEV_PESC* state, DWORD version, DWORD layoutSwitch, DWORD colorSwitch);

// ---- DrvEscape's entry (escape.cpp) ---------------------------------------
// The gate's codes: query TRUE for QUERYESCSUPPORT (pdev may then be null).
LONG pesc_Escape(PDEV* pdev, ULONG code, BOOL query, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut);
// Before any other escape: one that may write to the stream ends an open
// direct image first (0, or -1 when that fails).
LONG pesc_beforeEscape(PDEV* pdev, ULONG code);

// ---- The status block of 0x5028/0x5029 ------------------------------------
void pesc_getStatusBlock(const PDEV* pdev, BYTE block[12]);
void pesc_setStatusBlock(PDEV* pdev, const BYTE block[12]);
