// The page impositions on top of the page matrices: N-up frames
// (nupframe.cpp), poster tiles and crop marks (poster.cpp), booklet
// surfaces, partitions and placements (booklet.cpp), and the image-rotation
// judgement (judge.cpp). Results 0 or -1 unless a line says otherwise.
#pragma once

#include "kestrel/render/pdev.h"
#include "layout.h"

// ---- N-up frames ---------------------------------------------------------------
// Frames logical pages 0 to count - 1 of the current sheet side: a black
// pen of 0.25 point (resolution from the layout, 600 when it is 0) around
// each page's cell, inset by half the pen.
LONG nupFrame_drawNupFrame(PDEV* pdev, LONG count);
// The pen width per axis and its inset for a resolution (0 means 600).
struct LAYOUT_PEN {
  LONG widthX, widthY, insetX, insetY;
};
LAYOUT_PEN layout_framePen(LONG resolutionX, LONG resolutionY);
// The black pen of the frames and crop marks: the width, round joins and
// caps, the dashes given (none: solid), a null brush, then the pen. Each
// source follows its own colour space, as everywhere in the renderer: the
// spooler side's colour conversion pairs every SetBrushSource and
// SetPenSource with the SetColorSpace before it, and a source without one
// fails the job.
LONG layout_selectMarkPen(XlContext* ctx, WORD width, const WORD* dashes, DWORD dashCount);
// One straight line: NewPath, SetCursor, LinePath, PaintPath.
LONG layout_drawLine(XlContext* ctx, POINT from, POINT to);
// The cell of logical page index (from 0) of a side (0 front, 1 back), in
// sheet pixels, y down.
LONG pagemat_setLogPageArea_byLayoutInfo(const LAYOUTINFO* layout, LONG side, LONG pageIndex, LAYOUT_RECT* area);

// ---- Poster ----------------------------------------------------------------------
struct PSTR_PARAM {
  nrvxform matrix;       // the whole poster's page matrix
  float tileWidth;       // the output area, pixels
  float tileHeight;
  WORD columns, rows;
  LONG xFirst;           // 1: the walk goes along x first
  SHORT firstX, lastX, stepX;
  SHORT firstY, lastY, stepY;
};
LONG pstrJob_getLayoutParam(const LAYOUTINFO* layout, PSTR_PARAM* out);
LONG _pstrJob_getDirection(PSTR_PARAM* params);
LONG pstrJob_getPageXform(nrvxform* out, const PSTR_PARAM* params, LONG tile);
LONG pstr_selectTonboPen(PDEV* pdev, LONG widthX, LONG widthY);
LONG pstrJob_drawPosterTonbo(PDEV* pdev);

// ---- Booklet ---------------------------------------------------------------------
// The page number of a blank half.
constexpr LONG BOOKLET_BLANK = -100;
LONG booklet_getNumOfPaperSurfaces(LONG first, LONG last, LONG cover);
LONG booklet_getLogicalPage(LONG first, LONG last, LONG surface, LONG side, LONG binding, LONG rightToLeft,
                            LONG cover);
struct BOOKLET_PARTITION {
  LONG first, last;
};
// Without a list: the number of sub-booklets. With one (of that many
// entries): 0. Sheets per booklet of 0 or less make one booklet of all
// sheets.
LONG booklet_getBookletPartitionList(LONG pages, LONG reverse, LONG sheetsPerBooklet, BOOKLET_PARTITION* list);
// 1 when the session is complete, else 2.
LONG booklet_checkSession(LONG first, LONG page, LONG sheets, LONG flag);
// The booklet parameters _set_bookletParams fills for one placement.
struct BOOKLET_PARAM {
  float pageWidth, pageLength;     // the stored page, pixels
  float pageLeft, pageTop, pageRight, pageBottom;  // its printable area
  float sheetWidth, sheetLength;   // the booklet sheet as printed, pixels
  float areaLeft, areaTop, areaRight, areaBottom;  // its printable area, pixels
  LONG half;          // 0 the left half, 1 the right half
  LONG rotate180;     // turn the placement by 180 degrees
  LONG landscape;     // the sheet is printed landscape (two portrait halves)
  LONG resolutionX, resolutionY;
  LONG rotationCode;  // 0-4: by the binding side and the page's side
};
LONG booklet_getLayoutMatrics(nrvxform* out, const BOOKLET_PARAM* params);

// The booklet's page flow (bookletflow.cpp).
BOOL page_isBookletJob(const PDEV* pdev);
// The placement of one half (0 left, 1 right) of surface c.
LONG _set_bookletParams(PDEV* pdev, BOOKLET_PARAM* out, LONG half, LONG surface);
// The stored pages first..last (from 0 in the book) on their surfaces.
LONG _outputStoredPage_forBookletWithPage(PDEV* pdev, LONG first, LONG last);
// The whole store by the booklet kind: partitions, the session, or one book.
LONG _outputStoredPage_forBooklet(PDEV* pdev);
// A white page: its own start (white-page bit 0x80 in the page-store word),
// the base matrix, "ZANCC=00" and EndPage when the printer supports
// function 0x1020000, else 139; 140.
LONG _output_WhitePage(PDEV* pdev);
// Physical page start and end of a booklet page; the job end's output.
LONG booklet_StartPage(PDEV* pdev);
LONG booklet_EndPage(PDEV* pdev);
LONG booklet_EndDoc(PDEV* pdev);
// The job header of a job that stores its pages, once, before the first
// replay (page control offset 100 counts the replays begun).
LONG page_sendJobHeaderOnce(PDEV* pdev);

// Store-all-pages and form registration (storeall.cpp).
BOOL page_isStoreAllJob(const PDEV* pdev);
// Booklet or store-all-pages: the job header waits for the replay.
BOOL page_storesForLater(const PDEV* pdev);
LONG storeAll_StartPage(PDEV* pdev);
// The next physical page stored with this capture mask (poster: 38).
LONG storeAll_StorePage(PDEV* pdev, LONG mask);
LONG storeAll_EndPage(PDEV* pdev);
// The job end of store-all-pages and form registration (not booklet): the
// header once, then the stored sets (between 157 and 158 for form
// registration unless job information 208 is set).
LONG storeAll_EndDoc(PDEV* pdev);
// The stored pages once a collated set (page_collatedSets): a leading white
// page by the leading-white-page mode, then each page in order or in
// reverse, a poster page through its parts. Nothing when no store is left.
LONG storeAll_outputSets(PDEV* pdev);
// The sets the driver makes: the copy count with driver-made collated
// copies (job information 180), else 1; form registration replays once.
LONG page_collatedSets(const PDEV* pdev);
// 0, or -1 with ERROR_NOT_SUPPORTED for form registration with poster or
// booklet (no replay is defined for them).
LONG page_checkJobModes(PDEV* pdev);
// Type 2: whether the paper allows duplex; otherwise whether a back face is
// due at the job end. Only with two sides.
LONG _isNeed_InsertWhitePage(PDEV* pdev, LONG type);
// The back face of a sheet with only its front printed: stored (mask 2) in
// store-all-pages, white when printing in reverse or when one is needed;
// the physical page is counted.
LONG _skip_backfaceInDuplex(PDEV* pdev);
// Whether a sheet of this paper (description record, or null) from this
// tray can be printed on both sides: tray 7 (automatic) asks the paper
// alone; another tray must allow it, tray 4 also the paper and the paper
// type (DDM 388); then the output tray (DDM 266). A tray or type without a
// description record allows duplex.
BOOL queryDup_isEnableDuplex(PDEV* pdev, const DDD_PAPER* paper, WORD tray);
// The leading white page (and its back in duplex).
LONG page_outputLeadingWhite(PDEV* pdev);

// ---- Image rotation --------------------------------------------------------------
// What the three steps of the judgement read.
struct JUDGE_REQUEST {
  WORD paperId;        // step 1
  WORD stapleCode;     // edge codes (kestrel/core/transedge.h)
  WORD punchCode;
  WORD tray;           // step 2: the input tray id
  LONG feedOrientation;  // 1 landscape
  LONG orientation;    // step 3
  LONG kind;
  LONG nupCount;
  LONG fallback;
};
LONG _Judge_WithFinishing(const JUDGE_REQUEST* request);
LONG _Judge_PaperFeedOrient(PDEV* pdev, const JUDGE_REQUEST* request);
LONG _Judge_WithLayout(LONG orientation, LONG kind, LONG nupCount, LONG fallback);
// The feed value of the paper among the tray's acceptable papers (1, 2, 3),
// 0 when the tray or paper has none.
LONG _ddd_getFeedableOrientation(PDEV* pdev, WORD tray, WORD paperId);
LONG JudgeImageRotation(PDEV* pdev, const JUDGE_REQUEST* request);
BOOL Qf_IsSupportFunction(PDEV* pdev, DWORD functionId);
