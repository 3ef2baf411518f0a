// What the drawing tests share: a document on one PDEV of a model whose
// pages are drawn through the engine runner's drawing calls, and the decoded
// listing of what each page drew (the strict checker's renderer-stream
// listing, one line an operator, from the page's own SetClipToPage to its
// end), with the objects the test made freed at the end.
#pragma once

#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <functional>
#include <string>
#include <vector>

#include "kestrel/render/pdev.h"
#include "pclxl_checker.h"
#include "renderer_fixture.h"

namespace kestrel::test::km {

// A page's drawing: the listing's lines.
using Lines = std::vector<std::string>;

// 28.4 from whole pixels.
constexpr FIX Fx(LONG pixels) { return pixels * 16; }

class KmDrawTest : public KmTest {
 protected:
  void TearDown() override;

  // The model's printer and driver, a PDEV with its surface from the
  // model's defaults (changed by `tweak`), a document and its first page.
  bool Open(const Model& model = kModelB, const std::function<void(CreateDcDevmode&)>& tweak = {});
  KP_ENGINE_SESSION* Session() const { return session_; }
  SURFOBJ* Surface() const { return KpEngineSessionSurface(session_); }
  PDEV* Pdev() const { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session_)); }
  HANDLE PrinterHandle() const { return printer_; }
  KP_ENGINE_DRIVER* Driver() const { return driver_; }
  // Ends the page and starts the next.
  bool NextPage();
  // Ends the page and the document, disables the PDEV; the stream must pass
  // the checker. Answers each page's drawing.
  std::vector<Lines> Finish();
  // The whole listing of the finished stream.
  const pclxl_check::Listing& Listing() const { return listing_; }
  const std::vector<BYTE>& Stream() const { return stream_; }

  // Objects freed at TearDown.
  template <typename T>
  T* Keep(T* object) {
    EXPECT_NE(object, nullptr);
    if (object) objects_.push_back(object);
    return object;
  }
  PATHOBJ* Rect(LONG l, LONG t, LONG r, LONG b);
  PATHOBJ* Path(std::vector<std::pair<FLONG, std::vector<POINTFIX>>> records);
  CLIPOBJ* ClipRect(LONG l, LONG t, LONG r, LONG b);
  CLIPOBJ* Region(std::vector<RECTL> rects);
  BRUSHOBJ* Solid(ULONG color);
  // A cosmetic solid pen of width 1 and round joins and caps.
  LINEATTRS Cosmetic() const;

  KP_ENGINE_SESSION* session_ = nullptr;
  HANDLE printer_ = nullptr;
  KP_ENGINE_DRIVER* driver_ = nullptr;
  std::vector<void*> objects_;
  std::vector<BYTE> stream_;
  pclxl_check::Listing listing_;
};

// The drawing of every page in a listing: the lines from each page's
// SetClipToPage (after in-band 138 and the transform) to its page-end time
// stamp.
std::vector<Lines> PageDrawings(const pclxl_check::Listing& listing);

// Lines that contain `needle`.
Lines Matching(const Lines& lines, const std::string& needle);
std::string Text(const Lines& lines);

}  // namespace kestrel::test::km
