// Where a PCL XL job paints on the sheet: the checker's geometry mode.
//
// `geometry(listing)` follows the decoded listing of a job (`check(bytes,
// Mode::Job, &listing)`) page by page as a printer does and reports, for
// every sheet side (BeginPage ... EndPage), the sheet, its printable area
// and the box of everything painted on it, in sheet coordinates: session
// units (UnitsPerMeasure, 600 a inch in most jobs), origin at the top-left
// corner of the sheet as it is fed (the media's portrait width and
// height), x to the right and y down.
//
// What it applies:
//  - the page transform: SetPageDefaultCTM (the page's default for its
//    BeginPage Orientation), SetPageOrigin, SetPageScale (PageScale) and
//    SetPageRotation, each on the transform in force, saved and restored by
//    PushGS / PopGS. A positive PageAngle turns the user axes
//    counter-clockwise as the sheet is seen (x toward the top of the
//    sheet), as PCL XL printers do in their y-down space;
//  - paths: SetCursor, SetCursorRel, LinePath, LineRelPath, BezierPath,
//    BezierRelPath (attribute points or embedded point lists; a relative
//    line's points count from the point before, a relative Bézier's three
//    from its segment's start; a Bézier adds its curve's extremes, not its
//    control points), and the box paths (RectanglePath, EllipsePath,
//    RoundRectanglePath, ArcPath, ChordPath, PiePath: their BoundingBox).
//    PaintPath paints the path built since NewPath; Rectangle, Ellipse,
//    RoundRectangle, Arc, Chord and Pie paint their BoundingBox at once. A
//    pen (any SetPenSource without NullPen; PCL XL's default is a pen)
//    widens the painted box by half of SetPenWidth;
//  - text: Text and TextPath from the current cursor, with SetFont's
//    CharSize, SetCharScale and SetCharAngle; the glyphs are taken as boxes
//    in their own frame (scaled and turned by the character scale and
//    angle) from the baseline up one CharSize and down a quarter of it,
//    each as long as its advance (0.6 CharSize for the last glyph and for
//    text without spacing data). XSpacingData and YSpacingData are moves
//    of the cursor in user space, as a printer applies them (the character
//    angle turns the glyphs, not these moves: turned text carries its
//    baseline's direction in the two together); without them the cursor
//    moves along the glyphs' turned baseline;
//  - images: BeginImage's DestinationSize at the current cursor.
//  - BeginPage's Orientation: the logical page is turned on the sheet as
//    SetPageRotation turns it (landscape a quarter counter-clockwise).
// Clipping is not applied: the painted box is what the page asks to
// paint, so something drawn outside the printable area shows even when a
// clip would hide it. Raster patterns paint nothing by themselves; scan
// lines (BeginScan) and streams (ExecStream) are counted in `unmodelled`.
//
// Sections: each SetPageDefaultCTM starts a new section of the side, so the
// logical pages of an N-up sheet (each sent with its own page transform),
// the N-up frames and a stamp drawn on the sheet come as sections of their
// own, in the order the stream paints them. Only sections that paint
// something are kept.
#pragma once

#include <string>
#include <vector>

#include "pclxl_checker.h"

namespace pclxl_check {

// A box in sheet coordinates (or in a page's user coordinates).
struct Box {
  double left = 0, top = 0, right = 0, bottom = 0;
  bool empty = true;
  void add(double x, double y);
  void add(const Box& other);
  double width() const { return empty ? 0 : right - left; }
  double height() const { return empty ? 0 : bottom - top; }
  // Whether this box lies in `outer`, each edge allowed `tolerance` past it.
  bool inside(const Box& outer, double tolerance) const;
  std::string text() const;  // "(l,t)-(r,b)" or "empty"
};

// An affine map (x, y) -> (x a + y c + e, x b + y d + f): a page's user
// coordinates to the sheet.
struct Transform {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  void apply(double x, double y, double* sx, double* sy) const;
  // The box of the four corners of `user` mapped.
  Box map(const Box& user) const;
  // The user box of the four corners of a sheet box (empty for a singular map).
  Box unmap(const Box& sheet) const;
  double scaleX() const;  // the length one user unit along x becomes
  double scaleY() const;
  // The sheet angle of the user x axis in degrees, counter-clockwise as the
  // sheet is seen (0, 90, 180, 270 for quarter turns).
  double angle() const;
  std::string text() const;
};

struct Section {
  Transform ctm;  // the page transform when the section first painted
  Box painted;    // sheet coordinates
  Box user;       // the same drawing in the section's user coordinates
};

struct SheetSide {
  size_t offset = 0;        // the BeginPage's in the stream
  int orientation = 0;      // BeginPage's Orientation
  std::string medium;       // the media label ("eA4Paper") or "custom"
  Box sheet;                // (0, 0) - (width, height)
  Box printable;            // the sheet less the printer's margin
  Box painted;              // everything painted on the side
  std::vector<Section> sections;
};

struct Geometry {
  double unitsPerInch = 0;  // the session's x units (0 before a BeginSession)
  std::vector<SheetSide> sides;
  std::vector<std::string> unmodelled;  // "BeginScan @offset": painting this mode does not follow
  std::string problem;  // why a side could not be followed (an unknown medium, no session); "" when none
  // One line a side ("side 1 eA4Paper sheet (0,0)-(4960,7014) printable ... painted ...") and
  // one a section ("  section 1 scale 1 angle 0 painted ... user ..."), for people and test messages.
  std::string text() const;
};

struct GeometryOptions {
  // The printer's unprintable edge on every side of the sheet (both models:
  // 4.2 mm).
  double marginMillimetres = 4.2;
};

Geometry geometry(const Listing& listing, const GeometryOptions& options = {});

}  // namespace pclxl_check
