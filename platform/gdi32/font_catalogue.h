// The process's font catalogue, as the system's font table is: the font
// folder (KpSetFontFolder) walked once, every face FreeType opens in its
// font files kept with its names, style, weight, pitch and family, type and
// metrics. Enumeration (EnumFontFamiliesExW, gdi32/fonts.cpp) and
// realisation (the DC's text calls, gdi32/dc_text.cpp) look faces up here,
// each by its own rules; KpSetFontFolder drops the catalogue and the next
// look-up walks the folder again. The catalogue holds its files' mappings,
// so the engine's font objects on them share them (gdi32/ft_reader.h).
//
// Decision: the folder is read once; files added to or removed from it
// later are not seen until KpSetFontFolder (as the system's font table
// changes only when a font is installed).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gdi32/ft_reader.h"
#include "kplatform/wintypes.h"

namespace kp::ft {

struct CatalogueFace {
  std::shared_ptr<FontFile> file;
  long member = 0;
  std::u16string family;    // FreeType's family name
  std::u16string style;     // FreeType's style name
  std::u16string fullName;  // the face's full name (name id 4), empty when it has none
  // TRUETYPE_FONTTYPE for TrueType outlines (an SFNT face with a 'glyf'
  // table), 0 for other scalable faces, RASTER_FONTTYPE without outlines.
  DWORD type = 0;
  // A scalable SFNT face of a .ttf or .ttc file: what the DC's text calls
  // realise a logical font with.
  bool realisable = false;
  bool bold = false, italic = false, fixed = false;
  LONG weight = 400;  // the OS/2 weight class; 700 or 400 by the style without one
  BYTE pitchAndFamily = 0;
  // Design units; 0 for a face without outlines (avgWidth 0 without OS/2).
  LONG unitsPerEm = 0, height = 0, ascent = 0, descent = 0, avgWidth = 0, maxWidth = 0;
};

struct Catalogue {
  std::string folder;
  std::vector<CatalogueFace> faces;  // in the order of the files' host paths, members in order
};

// The catalogue of the font folder, walking it when there is none.
std::shared_ptr<const Catalogue> CurrentCatalogue();
// Chooses the folder and drops the catalogue (KpSetFontFolder).
void ChangeFontFolder(const char* hostFolder);

}  // namespace kp::ft
