// An application's drawing calls through the DC stand-in, kestrelui's
// document events and kestrelkm: one vector page of every shape, pen, brush
// and clip call checked as a renderer stream, and a DC's document printed as
// a spooler job through kestrelum to a file port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "docevent_fixture.h"
#include "kplatform/kwindows.h"
#include "kplatform/monitor_host.h"
#include "kplatform/winspool_job.h"
#include "kplatform/winspool_printer.h"
#include "pclxl_checker.h"

namespace kestrel::test::docevent {
namespace {

size_t Count(const pclxl_check::Listing& listing, const std::string& key) {
  std::vector<std::string> keys = listing.keys();
  return static_cast<size_t>(std::count(keys.begin(), keys.end(), key));
}

// The operators that paint a figure: a path, or the renderer's own
// rectangles and ellipses.
size_t Paints(const pclxl_check::Listing& listing) {
  return Count(listing, "PaintPath") + Count(listing, "Rectangle") + Count(listing, "Ellipse");
}

// One vector page: every shape, pen, brush and clip call of the DC. Answers
// the shapes that paint (each one PaintPath).
size_t DrawVectorPage(HDC hdc) {
  size_t painted = 0;
  const POINT star[5] = {{1100, 300}, {1400, 1200}, {650, 650}, {1550, 650}, {800, 1200}};
  const POINT curve[7] = {{300, 1500}, {400, 1300}, {600, 1300}, {700, 1500}, {800, 1700}, {1000, 1700}, {1100, 1500}};
  const WORD checks[8] = {0x00CC, 0x00CC, 0x0033, 0x0033, 0x00CC, 0x00CC, 0x0033, 0x0033};
  const DWORD colours[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
  const DWORD user[4] = {8, 4, 2, 4};
  const LOGBRUSH blue{BS_SOLID, RGB(0, 0, 200), 0};

  HPEN dashed = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_SQUARE | PS_JOIN_BEVEL, 12, &blue, 0, nullptr);
  HPEN wide = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 24, &blue, 0, nullptr);
  HPEN styled = ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &blue, 4, user);
  HPEN dots = CreatePen(PS_DASHDOT, 1, RGB(200, 0, 0));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 128, 0));
  HBITMAP mono = CreateBitmap(8, 8, 1, 1, checks);
  HBITMAP colour = CreateBitmap(2, 2, 1, 32, colours);
  HBRUSH monoBrush = CreatePatternBrush(mono);
  HBRUSH colourBrush = CreatePatternBrush(colour);
  HBRUSH solid = CreateSolidBrush(RGB(250, 200, 0));
  HRGN region = CreateRectRgn(200, 2000, 2200, 3200);

  SelectObject(hdc, dashed);
  SelectObject(hdc, hatch);
  SetPolyFillMode(hdc, WINDING);
  painted += Polygon(hdc, star, 5) ? 1 : 0;
  SetPolyFillMode(hdc, ALTERNATE);
  SetBkMode(hdc, TRANSPARENT);
  painted += Polygon(hdc, star, 5) ? 1 : 0;
  SetBkMode(hdc, OPAQUE);
  SelectObject(hdc, wide);
  SelectObject(hdc, monoBrush);
  painted += Rectangle(hdc, 1700, 300, 2300, 900) ? 1 : 0;
  SelectObject(hdc, GetStockObject(NULL_PEN));
  SelectObject(hdc, colourBrush);
  painted += Ellipse(hdc, 1700, 1000, 2300, 1400) ? 1 : 0;
  SelectObject(hdc, styled);
  painted += PolyBezier(hdc, curve, 7) ? 1 : 0;
  SelectObject(hdc, dots);
  MoveToEx(hdc, 300, 1800, nullptr);
  painted += LineTo(hdc, 2300, 1800) ? 1 : 0;
  // Clips: a rectangle less a hole, then a region; SaveDC brings back none.
  const int level = SaveDC(hdc);
  IntersectClipRect(hdc, 200, 1900, 2200, 2000);
  ExcludeClipRect(hdc, 1000, 1900, 1200, 2000);
  SelectObject(hdc, GetStockObject(BLACK_PEN));
  SelectObject(hdc, solid);
  painted += Rectangle(hdc, 100, 1850, 2300, 2050) ? 1 : 0;
  SelectClipRgn(hdc, region);
  painted += Ellipse(hdc, 100, 1950, 2300, 3300) ? 1 : 0;
  const char16_t text[] = u"Clipped text";
  ExtTextOutW(hdc, 300, 2100, 0, nullptr, text, 12, nullptr);
  RestoreDC(hdc, level);
  SelectObject(hdc, GetStockObject(NULL_BRUSH));
  painted += Rectangle(hdc, 100, 100, 2400, 3400) ? 1 : 0;  // a frame without a fill

  SelectObject(hdc, GetStockObject(BLACK_PEN));
  SelectObject(hdc, GetStockObject(WHITE_BRUSH));
  for (HGDIOBJ o : {dashed, wide, styled, dots, hatch, mono, colour, monoBrush, colourBrush, solid, region})
    DeleteObject(o);
  return painted;
}

TEST_F(DocEventTest, AVectorPageOfEveryDrawingCallIsAStrictStream) {
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc{sizeof(DOCINFOW), u"Vector", nullptr, nullptr, 0};
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);
  const size_t painted = DrawVectorPage(hdc);
  EXPECT_EQ(painted, 9u) << "every shape drew";

  for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_DRAWING && std::string(e.name) == "ExtTextOutW") {
      EXPECT_EQ(e.result, TRUE);
    }
  }
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_TRUE(listing.stopped.empty()) << listing.stopped;
  EXPECT_GE(Paints(listing), painted) << listing.text();
  // The pens' dashes, caps and joins, the fill modes, the patterns and the
  // clips reached the stream.
  for (const char* key : {"SetLineDash", "SetLineCap", "SetLineJoin", "SetFillMode", "BeginRastPattern",
                          "SetClipReplace", "SetClipRectangle", "SetPenWidth", "BezierRelPath", "BeginChar"})
    EXPECT_GT(Count(listing, key), 0u) << key;
  EXPECT_TRUE(DeleteDC(hdc));
}

// Model A's printer on a file port with kestrelum as its user-mode driver:
// a DC's document is a spooler job, STARTDOCPOST gets the spooler's job id,
// and the port receives the job kestrelum made of the renderer's stream.
TEST_F(DocEventTest, ADocumentGoesThroughTheSpoolerAndKestrelumToThePort) {
  ASSERT_TRUE(KpInstallModule("libkestrelum.so", u"kestrelum.dll"));
  KpSpoolerRecordOutput(TRUE);
  ASSERT_TRUE(KpPortDefineFile(u"DCFILE:", u"C:\\dc.prn"));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"DCFILE:", nullptr));
  ASSERT_TRUE(SetUserModeDriver(queue_.printer, u"kestrelum.dll"));
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc{sizeof(DOCINFOW), u"Through the spooler", nullptr, nullptr, 0};
  const int job = StartDocW(hdc, &doc);
  ASSERT_GT(job, 0) << GetLastError();
  // STARTDOCPOST had the spooler's job id.
  LONG posted = 0;
  for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_EVENT && e.code == DOCUMENTEVENT_STARTDOCPOST) {
      ASSERT_EQ(e.cbIn, sizeof(LONG));
      std::memcpy(&posted, e.in, sizeof posted);
    }
  }
  EXPECT_EQ(posted, job);
  KP_SPOOLER_JOB_STATE state{};
  ASSERT_TRUE(KpSpoolerGetJobState(static_cast<DWORD>(job), &state));
  EXPECT_FALSE(state.ended);
  ASSERT_GT(StartPage(hdc), 0);
  EXPECT_EQ(DrawVectorPage(hdc), 9u);
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0) << GetLastError();

  ASSERT_TRUE(KpSpoolerGetJobState(static_cast<DWORD>(job), &state));
  EXPECT_TRUE(state.ended);
  EXPECT_TRUE(state.driverJob);
  EXPECT_TRUE(state.driverClosed);
  EXPECT_EQ(state.status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  EXPECT_EQ(state.pagesEnded, 1u);
  std::string sent(KpSpoolerJobOutput(static_cast<DWORD>(job), nullptr, 0), '\0');
  KpSpoolerJobOutput(static_cast<DWORD>(job), sent.data(), sent.size());
  EXPECT_EQ(ReadHostFile(root_.host("c/dc.prn")), sent) << "the port has the job and nothing else";
  EXPECT_EQ(sent.rfind("\x1b%-12345X", 0), 0u) << "the job header first";
  // The renderer's stream (the bytes the job took from it) is a strict
  // renderer stream; the port's bytes a strict job of one page with the
  // drawing in it.
  pclxl_check::Report stream = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream);
  EXPECT_TRUE(stream.ok()) << stream.text();
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(sent.data()), sent.size(),
                                                  pclxl_check::Mode::Job, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_EQ(Count(listing, "BeginPage"), 1u);
  EXPECT_GE(Paints(listing), 9u);
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);

  // A port that does not open: StartDocW fails with the spooler's error and
  // raises ABORTDOC after STARTDOC; no job is left.
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"NOWHERE:", nullptr));
  KpDcClearLog(hdc);
  SetLastError(0);
  EXPECT_EQ(StartDocW(hdc, &doc), SP_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  std::vector<LONG> events;
  for (const auto& [code, result] : Events(hdc)) events.push_back(code);
  EXPECT_EQ(events, (std::vector<LONG>{DOCUMENTEVENT_STARTDOC, DOCUMENTEVENT_ABORTDOC}));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  EXPECT_TRUE(DeleteDC(hdc));
}

}  // namespace
}  // namespace kestrel::test::docevent
