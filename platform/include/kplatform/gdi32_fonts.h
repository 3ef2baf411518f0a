// The font families of the machine: EnumFontFamiliesExW over the font files
// of one folder, read with FreeType. The folder is the platform's font
// folder (default /usr/share/fonts/truetype/dejavu, a host path; files of
// its sub-folders count too), so tests get fixed results.
//
// What is answered:
//  - Files are read in the order of their host paths; every face of a file
//    (.ttf, .otf, .ttc, .otc, .pfb, .bdf, .pcf) that FreeType opens is a
//    font; a family is the faces with one FreeType family name.
//  - Font type: TRUETYPE_FONTTYPE for a face with TrueType outlines (an
//    SFNT face with a 'glyf' table), 0 for other scalable faces, and
//    RASTER_FONTTYPE for faces without outlines.
//  - Every font is offered with ANSI_CHARSET only; a filter asking for
//    another character set (other than DEFAULT_CHARSET) finds nothing.
//  - Sizes (height, ascent, widths) are in the face's design units; the
//    weight is the OS/2 weight class (400 or 700 from the style when there
//    is none); the pitch is FIXED_PITCH for fixed-width faces, else
//    VARIABLE_PITCH.
//  - With an empty face name in the filter the callback gets one call per
//    family (its first face); with a face name, one call per face of that
//    family (names compared without regard to case).
//  - The device context is not looked at: there are no device fonts.
// The logical font passed to the callback is the driver's 92-byte LOGFONTW
// followed by the full name (64 characters), the style (32) and the script
// (32), as an ENUMLOGFONTEXW.
#pragma once

#include "kplatform/wingdi_types.h"
#include "kplatform/wintypes.h"

#ifndef KP_HAVE_HDC
#define KP_HAVE_HDC
KP_DECLARE_HANDLE(HDC);
#endif


#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04
#define LF_FULLFACESIZE 64

typedef struct _TEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICW;

typedef int(CALLBACK* FONTENUMPROCW)(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType,
                                     LPARAM param);

// filter: lfCharSet and lfFaceName are read (null: every family, every
// character set). flags must be 0 (ERROR_INVALID_PARAMETER otherwise, and
// for a null callback: the answer is 0). Answers the last value the callback
// returned (a 0 stops the enumeration), or 1 when it was never called.
KP_API int WINAPI EnumFontFamiliesExW(HDC dc, const LOGFONTW* filter, FONTENUMPROCW proc, LPARAM param,
                                      DWORD flags);

// Test control: the host folder fonts are read from (null: the default).
// The next enumeration reads it again.
KP_API BOOL KpSetFontFolder(const char* hostFolder);
