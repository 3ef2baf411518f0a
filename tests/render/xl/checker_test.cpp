// The strict PCL XL checker: streams made with the product's writers pass,
// every kind of defect is reported, the renderer's page framing (in-band 138
// opens a page, 139 or an EndPage closes it) is checked, and the decoded
// listing shows a stream's sequence.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "pclxl_checker.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::Writer;
using pclxl_check::Fault;
using pclxl_check::Mode;

namespace {

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

const std::vector<uint8_t> kUel = text("\x1b%-12345X");
const std::vector<uint8_t> kHeader = text(") HP-PCL XL;2;1;Comment\n");

XlBeginPage a4() {
  XlBeginPage p{};
  p.orientation = 0;
  p.mediaSource = 1;
  p.mediaSize = 2;
  p.destination = XL_LEAVE_OUT;
  p.simplexMode = 0;
  p.duplexMode = XL_LEAVE_OUT;
  p.duplexSide = XL_LEAVE_OUT;
  return p;
}

// A page with most of what the renderer draws. With `inband` it is framed as
// the renderer frames it (in-band 138 ... 139, 140; the spooler side writes
// BeginPage and EndPage there), else with BeginPage and EndPage as a job is.
int drawPage(XlContext* c, bool inband) {
  int r = 0;
  XlBeginPage p = a4();
  if (inband) {
    BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
    r |= xl_ic_setpagectrl(c, pageCtrl);
    r |= xl_ic_startpage(c, 0, 0, 1, 1, 2);
  } else {
    r |= xl_beginpage(c, &p);
  }
  if (inband) {
    r |= xl_setcolorspace_simple(c, 2, 0);
  } else {
    r |= xl_data_ubyte(c, 2) | xl_attribute(c, XL_ATTR_COLORSPACE) | xl_tag(c, XL_OP_SETCOLORSPACE);
  }
  r |= xl_setbrushsource_rgb(c, 0, 0, 255) | xl_setpensource_null(c);
  r |= xl_setfillmode(c, 1) | xl_setrop(c, 252) | xl_setpenwidth(c, 4) | xl_setmiterlimit_r32(c, 2.5f);
  const WORD dash[3] = {4, 2, 1};
  r |= xl_setlinedash_dash(c, dash, 3, 1) | xl_setlinecap(c, 1) | xl_setlinejoin(c, 1);
  r |= xl_pushgs(c);
  r |= xl_rectangle(c, RECT{0, 0, 100000, 50000}) | xl_ellipse(c, RECT{10, 10, 200, 300});
  r |= xl_newpath(c) | xl_setcursor(c, POINT{5, 5});
  const POINT line[4] = {{10, 10}, {70000, 20}, {-40000, 30}, {15, 15}};
  r |= xl_linepath_multi_nt(c, line, 4, POINT{5, 5});
  const POINT curve[6] = {{10, 10}, {20, 20}, {30, 30}, {-40000, 5}, {-39990, 10}, {-39980, 0}};
  r |= xl_bezierpath_multi_nt(c, curve, 6, POINT{15, 15});
  r |= xl_closesubpath(c) | xl_paintpath(c);
  r |= xl_popgs(c);
  r |= xl_setcliprectangle(c, 1, RECT{0, 0, 500, 500}) | xl_setcliptopage(c);
  const BYTE palette[6] = {0, 0, 0, 255, 255, 255};
  if (inband) r |= xl_setcolorspace_palette(c, 2, 0, palette, 6, 2);
  r |= xl_beginimage(c, inband ? 0 : 1, 2, 2, 1, 20, 10);
  const BYTE row[8] = {1, 2, 3, 4, 5, 6, 0, 0};
  r |= xl_readimage_hdr(c, 0, 1, 0, 4, 8) | xl_readimage_data(c, row, 8) | xl_endimage(c);
  r |= xl_beginrastpattern(c, 1, 2, 1, 1, 8, 8, 1, 0);
  r |= xl_readrastpattern_hdr(c, 0, 1, 0, 0, 4) | xl_readrastpattern(c, row, 4) | xl_endrastpattern(c);
  r |= xl_setbrushsource_pattern(c, 1, 0, 0, 16, 16);
  r |= xl_setpagerotation(c, 450) | xl_setpageorigin_long(c, 100000, 0) | xl_setpagescale(c, 1, 1);
  r |= xl_colorcomment(c, 1);
  if (inband) {
    r |= xl_ic_showpage(c) | xl_ic_endpage(c);
  } else {
    r |= xl_endpage(c, 2);
  }
  return r;
}

// The renderer's white page: opened by 138, closed by its own EndPage (an
// uncharged page) instead of 139.
int whitePage(XlContext* c) {
  BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  const float base[6] = {1, 0, 0, 1, 0, 0};
  return xl_ic_setpagectrl(c, pageCtrl) | xl_ic_startpage(c, 0, 0, 1, 1, 2) | xl_ic_setcoordinate(c, base) |
         xl_setunchargedpage(c) | xl_endpage(c, 0) | xl_ic_endpage(c);
}

int session(XlContext* c, bool inband) {
  int r = 0;
  if (inband) {
    BYTE pd[XL_IC_PRINTERDATA_SIZE] = {};
    BYTE dm[XL_IC_DEVMODE_SIZE] = {};
    r |= xl_ic_enable(c) | xl_ic_open(c, u"doc") | xl_ic_startjob(c) | xl_ic_setprinterdata(c, pd) |
         xl_ic_setdevmode(c, dm, sizeof dm) | xl_ic_setdocname(c, u"doc");
  }
  r |= xl_beginsession(c, 600, 600, 0, 0) | xl_opendatasource(c);
  if (inband) r |= xl_ic_timeout(c, 1) | xl_ic_timeout(c, 6);
  const BYTE name[5] = {'M', 'A', 'C', 'R', 'O'};
  const BYTE macro[3] = {0x85, 0x84, 0x86};  // a tiny stored stream
  r |= xl_beginstream(c, name, 5) | xl_readstream(c, 3) | xl_embeddeddata(c, macro, 3) |
       xl_tag(c, XL_OP_ENDSTREAM);
  r |= drawPage(c, inband);
  r |= inband ? whitePage(c) : 0;
  r |= drawPage(c, inband);
  r |= xl_closedatasource(c) | xl_endsession(c);
  if (inband) r |= xl_ic_close(c) | xl_ic_disable(c);
  return r;
}

TEST(Checker, RendererStreamFromTheWritersPasses) {
  Writer w;
  ASSERT_EQ(session(w.ctx(), true), 0);
  auto report = pclxl_check::check(w.bytes(), Mode::RendererStream);
  EXPECT_TRUE(report.ok()) << report.text();
  // The same stream is no job: no framing, private elements.
  EXPECT_FALSE(pclxl_check::check(w.bytes(), Mode::Job).ok());
}

TEST(Checker, JobFromTheWritersPasses) {
  Writer w;
  ASSERT_EQ(session(w.ctx(), false), 0);
  auto job = kUel + text("@PJL JOB NAME=\"doc\"\n@PJL COMMENT DATE=01/02/2026\r\n@PJL ENTER LANGUAGE=PCLXL\n") +
             kHeader + w.bytes() + kUel + text("@PJL EOJ\n") + kUel;
  auto report = pclxl_check::check(job, Mode::Job);
  EXPECT_TRUE(report.ok()) << report.text();
}

struct Defect {
  const char* name;
  Mode mode;
  std::vector<uint8_t> bytes;
  Fault fault;
};

// A minimal page around `body` (binary only).
std::vector<uint8_t> inPage(const std::vector<uint8_t>& body) {
  return hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41  C0 00 F8 88 C0 01 F8 82 48  C0 00 F8 28 43") + body +
         hex("44 49 42");
}
std::vector<uint8_t> asJob(const std::vector<uint8_t>& binary) { return kUel + kHeader + binary + kUel; }

// The renderer's framing of the same: a session, in-band 138 (12 bytes of
// payload) and 139 around `body`.
const char* const kSessionStart = "D1 58 02 58 02 F8 89 C0 00 F8 86 41  C0 00 F8 88 C0 01 F8 82 48";
const char* const kSessionEnd = "49 42";
const char* const kStartPage = "C0 8A F8 FF FF FB 0C 00 00 00 00 00 00 00 00 01 01 02 00";
const char* const kShowPage = "C0 8B F8 FF FF";
std::vector<uint8_t> inSession(const std::vector<uint8_t>& body) { return hex(kSessionStart) + body + hex(kSessionEnd); }
std::vector<uint8_t> inRendererPage(const std::vector<uint8_t>& body) {
  return inSession(hex(kStartPage) + body + hex(kShowPage));
}

std::vector<Defect> defects() {
  const auto page = inPage({});
  return {
      {"the clean page is a job", Mode::Job, asJob(page), Fault::Framing},  // placeholder, checked below
      {"undefined operator tag", Mode::RendererStream, inRendererPage(hex("40")), Fault::IllegalTag},
      {"unassigned data type tag", Mode::RendererStream, inRendererPage(hex("C6 00 F8 46 6E")), Fault::IllegalTag},
      {"0xFF in a job", Mode::Job, asJob(inPage(hex("C0 80 F8 FF FF"))), Fault::IllegalTag},
      {"private attribute 254 in a job", Mode::Job, asJob(inPage(hex("C0 02 F8 03 C0 00 F8 FE 6A"))),
       Fault::PrivateAttribute},
      {"attribute 253 in the renderer's stream", Mode::RendererStream,
       inRendererPage(hex("C0 02 F8 03 C0 00 F8 FD 6A")), Fault::PrivateAttribute},
      {"attribute 254 on another operator", Mode::RendererStream, inRendererPage(hex("C0 00 F8 46 C0 00 F8 FE 6E")),
       Fault::PrivateAttribute},
      {"attribute not listed for the operator", Mode::RendererStream, inRendererPage(hex("C0 00 F8 2C 6E")),
       Fault::IllegalAttribute},
      {"missing required attribute", Mode::RendererStream, inRendererPage(hex("6B")), Fault::MissingAttribute},
      {"BeginImage without SourceWidth", Mode::RendererStream,
       inRendererPage(hex("C0 00 F8 64 C0 02 F8 62 C1 14 00 F8 6B D1 64 00 C8 00 F8 67 B0 B2")), Fault::MissingAttribute},
      {"wrong data type", Mode::RendererStream, inRendererPage(hex("C1 00 00 F8 46 6E")), Fault::IllegalDataType},
      {"EndImage without BeginImage", Mode::RendererStream, inRendererPage(hex("B2")), Fault::Nesting},
      {"page left open", Mode::Job, kUel + kHeader + hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41 C0 00 F8 28 43") + kUel,
       Fault::Nesting},
      {"drawing outside a page", Mode::Job, asJob(hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41 85 42")), Fault::Context},
      {"PopGS without PushGS", Mode::RendererStream, inRendererPage(hex("60")), Fault::UnbalancedGS},
      {"page ends with a pushed state", Mode::RendererStream, inRendererPage(hex("61")), Fault::UnbalancedGS},
      {"line points shorter than announced", Mode::RendererStream,
       inRendererPage(hex("C1 03 00 F8 4D C0 00 F8 50 9B FB 04 01 02 03 04")), Fault::DataLength},
      {"embedded data running past the end", Mode::RendererStream,
       inRendererPage({}) + hex("C1 01 00 F8 4D C0 00 F8 50 9B FA 00 01 00 00 01 02"), Fault::DataLength},
      {"a reading operator without its data", Mode::RendererStream,
       inRendererPage(hex("C1 01 00 F8 4D C0 00 F8 50 9B 85")), Fault::MissingData},
      {"data after an operator that reads none", Mode::RendererStream, inRendererPage(hex("85 FB 02 00 00")),
       Fault::UnexpectedData},
      {"a value without an attribute", Mode::RendererStream, inRendererPage(hex("C0 00 85")), Fault::IllegalSequence},
      {"a Bezier count that is no multiple of 3", Mode::RendererStream,
       inRendererPage(hex("C1 02 00 F8 4D C0 00 F8 50 93 FB 04 01 02 03 04")), Fault::DataLength},
      {"in-band command with the wrong payload size", Mode::RendererStream,
       inRendererPage(hex("C0 8A F8 FF FF FB 0B 00 00 00 00 00 00 00 00 00 00 00")), Fault::InBand},
      {"in-band code as uint16", Mode::RendererStream, inRendererPage(hex("C1 80 00 F8 FF FF")), Fault::InBand},
      {"in-band code out of range", Mode::RendererStream, inRendererPage(hex("C0 9F F8 FF FF")), Fault::InBand},
      {"no universal exit first", Mode::Job, kHeader + page + kUel, Fault::Framing},
      {"two stream headers", Mode::Job, asJob(page) + kHeader, Fault::Framing},
      {"big-endian binding", Mode::Job, kUel + text("( HP-PCL XL;2;1;\n") + page + kUel, Fault::Framing},
      {"unknown protocol class", Mode::Job, kUel + text(") HP-PCL XL;9;1;\n") + page + kUel, Fault::Framing},
      {"stream not ended by the universal exit", Mode::Job, kUel + kHeader + page, Fault::Framing},
      {"truncated token", Mode::RendererStream, hex("D1 58 02"), Fault::Truncated},
  };
}

TEST(Checker, EveryKindOfDefectIsReported) {
  auto all = defects();
  // The first entry is the clean page itself: it must pass.
  auto clean = pclxl_check::check(all[0].bytes, Mode::Job);
  EXPECT_TRUE(clean.ok()) << clean.text();
  for (size_t i = 1; i < all.size(); ++i) {
    const Defect& d = all[i];
    auto report = pclxl_check::check(d.bytes, d.mode);
    EXPECT_TRUE(report.has(d.fault)) << d.name << " expected " << pclxl_check::faultName(d.fault) << ", got:\n"
                                     << report.text();
  }
}

// ---- The renderer's page framing ----------------------------------------------------

// Each stream gives exactly these kinds of finding (none: it passes).
struct Framing {
  const char* name;
  std::vector<uint8_t> bytes;
  std::vector<Fault> faults;
};

std::vector<Framing> framings() {
  const auto fill = hex("C0 00 F8 46 6E");          // SetFillMode, a page operator
  const auto rotate = hex("C3 5A 00 F8 29 76");     // SetPageRotation 90
  const auto beginPage = hex("C0 00 F8 28 43");     // BeginPage, Orientation 0
  const auto endPage = hex("44");
  const auto startPage = hex(kStartPage), showPage = hex(kShowPage);
  const auto endPageIc = hex("C0 8C F8 FF FF");     // in-band 140
  const auto shortStart = hex("C0 8A F8 FF FF FB 0B 00 00 00 00 00 00 00 00 01 01 02");
  return {
      {"two pages, 139 and 140 after each", inSession(startPage + fill + showPage + endPageIc + startPage + rotate +
                                                      showPage + endPageIc), {}},
      {"a page closed by the renderer's EndPage", inSession(startPage + hex("C8 C0 08 5A 41 4E 43 43 3D 30 30 F8 81 47") +
                                                            endPage + endPageIc), {}},
      {"a page operator before 138", inSession(fill + startPage + showPage), {Fault::Context}},
      {"a page transform before 138", inSession(rotate + startPage + showPage), {Fault::Context}},
      {"a page operator after 139", inSession(startPage + showPage + endPageIc + fill), {Fault::Context}},
      {"a page operator after the renderer's EndPage", inSession(startPage + endPage + fill), {Fault::Context}},
      {"BeginPage written by the renderer", inSession(beginPage + endPage), {Fault::Context, Fault::Context}},
      {"BeginPage inside the page 138 opened", inSession(startPage + beginPage + showPage), {Fault::Context, Fault::Context}},
      {"138 outside a session", startPage + showPage, {Fault::Context}},
      {"138 inside an open page", inSession(startPage + startPage + showPage), {Fault::Nesting}},
      {"139 without an open page", inSession(showPage), {Fault::Nesting}},
      {"139 after the renderer's EndPage", inSession(startPage + endPage + showPage), {Fault::Nesting}},
      {"138 never closed", hex(kSessionStart) + startPage, {Fault::Nesting, Fault::Nesting}},
      {"139 with a pushed state", inRendererPage(hex("61")), {Fault::UnbalancedGS}},
      {"139 inside an image", inSession(startPage + hex("C0 00 F8 64 C0 02 F8 62 C1 01 00 F8 6C C1 01 00 F8 6B "
                                                        "D1 01 00 01 00 F8 67 B0") + showPage),
       {Fault::Nesting, Fault::Nesting, Fault::Nesting, Fault::Nesting}},  // 139, then the session's end
      {"a malformed 138 opens no page", inSession(shortStart + fill + showPage),
       {Fault::InBand, Fault::Context, Fault::Nesting}},
      {"a session left open", hex(kSessionStart) + startPage + showPage, {Fault::Nesting}},
      {"a data source left open at the session's end", hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41 C0 00 F8 88 C0 01 F8 82 48 42"),
       {Fault::Nesting}},
  };
}

TEST(Checker, RendererPageFramingIsChecked) {
  for (const auto& f : framings()) {
    auto report = pclxl_check::check(f.bytes, Mode::RendererStream);
    std::vector<std::string> got, expected;
    for (const auto& x : report.findings) got.push_back(pclxl_check::faultName(x.fault));
    for (Fault x : f.faults) expected.push_back(pclxl_check::faultName(x));
    EXPECT_EQ(got, expected) << f.name << ":\n" << report.text();
  }
}

// ---- The decoded listing ----------------------------------------------------------------

TEST(Checker, ListingShowsOperatorsAndInBandCommands) {
  // in-band 130 "ab", a session, a page opened by 138 with one drawing
  // operator that reads data, 139, time stamp 5 (145), the session's end.
  const auto bytes = hex("C0 82 F8 FF FF FB 06 61 00 62 00 00 00") + hex(kSessionStart) + hex(kStartPage) +
                     hex("C1 02 00 F8 4D C0 00 F8 50 9B FB 04 0A 14 1E 28") + hex(kShowPage) +
                     hex("C0 91 F8 FF FF FB 01 05") + hex(kSessionEnd);
  pclxl_check::Listing listing;
  auto report = pclxl_check::check(bytes, Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_TRUE(listing.stopped.empty()) << listing.stopped;
  EXPECT_EQ(listing.keys(), (std::vector<std::string>{"IC 130", "BeginSession", "OpenDataSource", "IC 138", "LinePath",
                                                      "IC 139", "IC 145", "CloseDataSource", "EndSession"}));
  EXPECT_EQ(listing.text(),
            "IC 130 open [6] \"ab\"\n"
            "BeginSession UnitsPerMeasure=uint16_xy(600,600) Measure=ubyte(0)\n"
            "OpenDataSource SourceType=ubyte(0) DataOrg=ubyte(1)\n"
            "IC 138 startpage [12] 00 00 00 00 00 00 00 00 01 01 02 00\n"
            "LinePath NumberOfPoints=uint16(2) PointType=ubyte(0) data[4] 0A 14 1E 28\n"
            "IC 139 showpage\n"
            "IC 145 timeout [1] 05\n"
            "CloseDataSource\n"
            "EndSession\n");
  // The payload and offsets are there for tests that decode the records.
  auto stamps = listing.commands(145);
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(stamps[0]->data, std::vector<uint8_t>{5});
  EXPECT_EQ(listing.items[0].offset, 4u);
  // list() is the same pass without the findings.
  EXPECT_EQ(pclxl_check::list(bytes).text(), listing.text());
}

TEST(Checker, ListingShowsEveryValueFormAndWhereDecodingStopped) {
  Writer w;
  XlContext* c = w.ctx();
  const WORD dash[3] = {4, 2, 1};
  BYTE devmode[XL_IC_DEVMODE_SIZE] = {};
  ASSERT_EQ(xl_ic_setdevmode(c, devmode, sizeof devmode) | xl_ic_setdocname(c, u"Q") |
                xl_setpagescale(c, 1.5f, 2) | xl_setpageorigin(c, -3, 4) |
                xl_setlinedash_dash(c, dash, 3, 0) | xl_colorcomment(c, 7) | xl_setcliprectangle(c, 1, RECT{0, 0, 300, 9}),
            0);
  auto listing = pclxl_check::list(w.bytes());
  EXPECT_EQ(listing.text(),
            "IC 150 setdevmode [8192]\n"
            "IC 152 setdocname [4] \"Q\"\n"
            "SetPageScale PageScale=real32_xy(1.5,2)\n"
            "SetPageOrigin PageOrigin=sint16_xy(-3,4)\n"
            "SetLineDash LineDashStyle=uint16_array[4 2 1]\n"
            "Comment CommentData=ubyte_array\"ZANPC=07\"\n"
            "SetClipRectangle ClipRegion=ubyte(1) BoundingBox=sint16_box(0,0,300,9)\n");
  EXPECT_TRUE(listing.stopped.empty());
  // A stream cut inside a token: the items before it stay, and it says why.
  auto bytes = w.bytes();
  bytes.resize(bytes.size() - 5);
  auto cut = pclxl_check::list(bytes);
  EXPECT_EQ(cut.items.size(), 6u);
  EXPECT_NE(cut.stopped.find("Truncated"), std::string::npos) << cut.stopped;
  EXPECT_NE(cut.text().find("(decoding stopped: Truncated"), std::string::npos);
}

// The command-line checker: exit status 0 for a stream that passes, 1 with
// findings, 2 for a bad call; --list prints the listing first; --unframed
// takes a job without its UEL/PJL frame.
TEST(Checker, CommandLine) {
  struct Run {
    int status;
    std::string out;
  };
  auto run = [](const std::string& args) {
    Run r{};
    FILE* p = popen((std::string(PCLXL_CHECK_PROGRAM) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, p)) r.out.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  };
  char dir[] = "/tmp/pclxl_check_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string good = std::string(dir) + "/good.xl", bad = std::string(dir) + "/bad.xl";
  const std::string unframed = std::string(dir) + "/unframed.pcl";
  auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  };
  write(good, inRendererPage({}));
  write(bad, inSession(hex("C0 00 F8 46 6E") + hex(kStartPage) + hex(kShowPage)));
  write(unframed, kHeader + inPage({}));

  Run r = run("--renderer --list " + good);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "BeginSession UnitsPerMeasure=uint16_xy(600,600) Measure=ubyte(0)\n"
                   "OpenDataSource SourceType=ubyte(0) DataOrg=ubyte(1)\n"
                   "IC 138 startpage [12] 00 00 00 00 00 00 00 00 01 01 02 00\n"
                   "IC 139 showpage\n"
                   "CloseDataSource\nEndSession\n" +
                       good + ": 47 bytes, renderer stream passes\n");
  r = run("--renderer " + bad);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Context @"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SetFillMode outside a page"), std::string::npos) << r.out;
  EXPECT_EQ(run(good).status, 1);  // no job framing
  EXPECT_EQ(run("--renderer").status, 2);
  EXPECT_EQ(run("--renderer " + std::string(dir) + "/missing.xl").status, 2);
  EXPECT_EQ(run("--nonsense " + good).status, 2);

  r = run("--unframed " + unframed);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, unframed + ": " + std::to_string(kHeader.size() + inPage({}).size()) +
                       " bytes, unframed job stream passes\n");
  EXPECT_EQ(run(unframed).status, 1);               // a job needs its frame
  EXPECT_EQ(run("--unframed " + good).status, 1);   // a renderer stream is no job
  EXPECT_EQ(run("--renderer --unframed " + unframed).status, 2);
  std::remove(unframed.c_str());
  std::remove(good.c_str());
  std::remove(bad.c_str());
  rmdir(dir);
}

}  // namespace
