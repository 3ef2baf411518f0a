// kestrel-demo-spool: the spooler step of `make demo`. Model A's queue is
// set up as the spooler keeps it (the model's file pair, kestrelui, kestreljd,
// the resource module, kestrelum named by the printer data value
// "SPLUserModePrinterDriver") with its port on a file; the renderer's stream
// is printed with StartDocPrinterW, WritePrinter and EndDocPrinter, so the
// spooler stand-in hands it to kestrelum, whose job reaches the port.
//
//   kestrel-demo-spool [STREAM [JOB]]
//
// Then colour on the spooler side: two jobs of model A under automatic
// colour with grey treatment, each a colour page and a grey page, the first
// converted by white point 9300 and gamma 2.2, the second by the sRGB.icc
// profile; kestrelum's trace gives the brush colours before and after and
// the page colour modes judged. Their jobs go to spool-colour-wpgm.pcl and
// spool-colour-icc.pcl beside JOB for scripts/demo's check.
//
// Then images: one page with a 600 x 400 colour image (a photo-like
// gradient with a flat band) printed with DDM 330 (image compression) at 0,
// 1 and 2; kestrelum's trace gives each ReadImage's CompressMode and size
// against the raw size. The jobs go to spool-image-<n>.pcl beside JOB.
//
// STREAM is the render step's stream (the build folder's
// demo/render-stream.xlr by default); when it is missing a stream of the
// same shape is made here with render/xl's writers, and the program says
// so. JOB (demo/spool-job.pcl by default) receives what reached the port,
// for the port step and for scripts/demo's check with the strict checker.
//
// What the job did comes from kestrelum itself: its trace (switched to the
// debugger output by kestrel.cfg) holds the job's counts at Close and a line
// for every seam of later work the job met. The program checks those counts
// against what the spooler and the port saw; any disagreement or failure
// ends it with status 1 and leaves no job file behind; so does a stream
// kestrelum rejects (its trace says why).
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>
#include <kplatform/root.h>
#include <kplatform/user32_messagebox.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_job.h>
#include <kplatform/winspool_printer.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "queue_files.h"
#include "seams.h"

namespace fs = std::filesystem;

namespace {

constexpr char kModel[] = "K350";
constexpr char16_t kPrinter[] = u"Scriva K350";
constexpr char16_t kDriver[] = u"Scriva K350 PCL6";
constexpr char16_t kPort[] = u"FILE1:";
constexpr char16_t kPortFile[] = u"C:\\spool\\port-output.prn";
constexpr char kPortFileHost[] = "c/spool/port-output.prn";  // the same file below the root
constexpr char kDriverDirHost[] = "c/Windows/system32/spool/drivers/x64/3/";
constexpr DWORD kWritePiece = 4096;  // the spooler hands a stream on in pieces of this size

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// What each in-band command asks of the spooler side.
const char* CommandName(unsigned code) {
  static const char* const names[] = {
      "enable",                        // 128
      "disable",                       // 129
      "open (document name)",          // 130
      "close",                         // 131
      "page store: init",              // 132
      "page store: start",             // 133
      "page store: stop",              // 134
      "page store: dispose",           // 135
      "page store: output a page",     // 136
      "page matrix",                   // 137
      "page start (BeginPage)",        // 138
      "show page",                     // 139
      "page end (EndPage)",            // 140
      "colour mode",                   // 141
      "job start",                     // 142
      "open printer",                  // 143
      "close printer",                 // 144
      "time stamp",                    // 145
      "stamp begin",                   // 146
      "stamp end",                     // 147
      "image gathering start",         // 148
      "image gathering end",           // 149
      "devmode",                       // 150
      "printer data",                  // 151
      "document name",                 // 152
      "job information",               // 153
      "layout information",            // 154
      "page control",                  // 155
      "JCL header table",              // 156
      "form registration: change",     // 157
      "form registration: stop",       // 158
  };
  return code >= XL_IC_FIRST && code <= XL_IC_LAST ? names[code - XL_IC_FIRST] : "?";
}

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// Model A's queue in the root: files, printer, port, the user-mode driver.
bool InstallQueue(const std::string& root, std::string& error) {
  const std::string model = kestrel::queue::InstallModelFiles(KESTREL_MODELS_DIR, kModel);
  if (!model.empty()) {
    error = "cannot install the model file " + model;
    return false;
  }
  const std::string module = kestrel::queue::InstallDriverModules(true);
  if (!module.empty()) {
    error = "cannot install " + module;
    return false;
  }
  // kestrelum's trace to the debugger output (switch 0x80000001: on, to the
  // debugger, no entry and exit lines); read when the library loads.
  if (!WriteFile(root + "/" + kDriverDirHost + "kestrel.cfg", "[LOG]\r\nLog=0x80000001\r\n")) {
    error = "cannot write kestrel.cfg";
    return false;
  }
  std::error_code ec;
  fs::create_directories(fs::path(root) / fs::path(kPortFileHost).parent_path(), ec);
  if (!KpSpoolerAddPrinter(kPrinter, kDriver, u"K350.DDD", u"K350.cfg", u"kestrelui.dll")) {
    error = "cannot add the spooler printer";
    return false;
  }
  if (!KpPortDefineFile(kPort, kPortFile) || !KpSpoolerSetPrinterPort(kPrinter, kPort, nullptr)) {
    error = "cannot give the printer its file port (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

// Model A's default devmode and printer data, made with kestrelum's own
// string table naming the modules (the value access included); `adjust`,
// when given, changes them while the value access is loaded.
bool ModelADevmode(HANDLE printer, std::vector<BYTE>& devmode, BYTE* printerData,
                   const std::function<bool()>& adjust) {
  HMODULE library = LoadLibraryW(u"kestrelum.dll");
  if (library == nullptr) return false;
  resource_startToUse(library, nullptr);
  ddm_AccessInit(library);
  HCDDD ddd = cddd_Open(printer);
  bool ok = ddd != nullptr && pd_GetPrinterData(printer, printerData, ddd) &&
            cdm_SetDefaultDevmode(ddd, devmode.data(), printerData, kPrinter) == 1;
  if (ok && adjust) ok = adjust();
  if (ddd != nullptr) cddd_Close(ddd);
  ddm_AccessEnd();
  resource_finishToUse();
  FreeLibrary(library);
  return ok;
}

// A renderer stream made with render/xl's writers: a two-page document
// whose pages draw a rectangle, with the in-band commands of the job, the
// document and the pages (no page store, stamps, images or form
// registration), the model's default devmode and printer data. Used when
// the render step's file is missing or kestrelum rejected it.
//
// With poster, the document is one page printed as a poster of four parts
// the way the renderer asks for it: the page is stored (132, 133 with
// capture mask 38: page start and page matrix become command blocks, 134),
// then put out four times with the part's own matrix (136, replay mask 9),
// and the store is given up (135). *storedEnd receives the offset just
// after 134, where the page is stored and nothing of it printed yet.
bool MakeStream(HANDLE printer, std::string& s, std::string& error, bool poster = false, size_t* storedEnd = nullptr,
                bool marked = false) {
  std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
  static BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  if (!ModelADevmode(printer, devmode, printerData, nullptr)) {
    error = "model A's default devmode and printer data could not be built";
    return false;
  }
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &s);
  BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  constexpr size_t kSecurityMarking = 188;  // job information: the job asks for marked copies
  if (marked) jobInfo[kSecurityMarking] = 1;
  const BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  const BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  BYTE jcl[16 + 2 * (8 + 4)] = {2, 0, 0, 0, 8, 0, 0, 0};  // two empty entries of 8 bytes
  const float matrix[6] = {1, 0, 0, 1, 0, 0};
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"Kestrel demo") == 0 &&
       xl_ic_setdocname(&xl, u"Kestrel demo") == 0 &&
       xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
       xl_ic_setprinterdata(&xl, printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
       xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0 &&
       xl_ic_setjclheaders(&xl, jcl, sizeof jcl) == 0 && xl_ic_startjob(&xl) == 0 &&
       xl_ic_setcolormode(&xl, 1, 1) == 0 && xl_ic_openprinter(&xl) == 0 && xl_ic_closeprinter(&xl, 0) == 0 &&
       xl_beginsession(&xl, 600, 600, 0, 0) == 0 && xl_opendatasource(&xl) == 0 &&
       xl_ic_timeout(&xl, XL_TIMESTAMP_JOBSTART) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_VERSION) == 0;
  for (int page = 0; page < 2 && ok && !poster; ++page) {
    ok = xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_PAGESTART) == 0 &&
         xl_ic_setcoordinate(&xl, matrix) == 0 && xl_setcolorspace_simple(&xl, 2, 0) == 0 &&
         xl_setbrushsource_rgb(&xl, 10, 20, 30) == 0 && xl_newpath(&xl) == 0 &&
         xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_showpage(&xl) == 0 &&
         xl_ic_timeout(&xl, XL_TIMESTAMP_PHYSICALPAGEEND) == 0 && xl_ic_endpage(&xl) == 0;
  }
  if (ok && poster) {
    constexpr int32_t kPosterCapture = 38;  // page start, page matrix (and 0x02)
    constexpr int32_t kPosterReplay = 9;    // page start and page matrix
    const float twice[6] = {2, 0, 0, 2, 0, 0};  // the page drawn at twice its size
    const XlIcPageStoringStart start{2, kPosterCapture, 0, 0, 1, 0};
    ok = xl_ic_pageStoring_init(&xl, 1, 4) == 0 && xl_ic_pageStoring_start(&xl, &start) == 0 &&
         xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_setcoordinate(&xl, twice) == 0 &&
         xl_setcolorspace_simple(&xl, 2, 0) == 0 && xl_setbrushsource_rgb(&xl, 200, 20, 30) == 0 &&
         xl_newpath(&xl) == 0 && xl_rectangle(&xl, RECT{100, 100, 4000, 6000}) == 0 && xl_paintpath(&xl) == 0 &&
         xl_ic_showpage(&xl) == 0 && xl_ic_endpage(&xl) == 0 && xl_ic_pageStoring_stop(&xl, 1) == 0;
    if (storedEnd != nullptr) *storedEnd = s.size();
    for (int part = 0; part < 4 && ok; ++part) {
      const float shift[6] = {1, 0, 0, 1, -4960.0f * (part % 2), -7016.0f * (part / 2)};  // A4 at 600 dpi
      const XlIcStoredPage stored{shift, nullptr, kPosterReplay, 1, 0xFFFF, 0, 0xFFFF};
      ok = xl_ic_output_aStoredPage_withOtherPageColor(&xl, &stored) == 0;
    }
    ok = ok && xl_ic_pageStoring_dispose(&xl) == 0;
  }
  ok = ok && xl_ic_timeout(&xl, XL_TIMESTAMP_JOBEND) == 0 && xl_closedatasource(&xl) == 0 &&
       xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  if (!ok) error = "render/xl's writers refused the stream";
  return ok;
}

// A colour job's settings: DDM numbers and a profile name (empty: none).
struct ColourSettings {
  const char* what;
  std::vector<std::pair<WORD, LONG>> numbers;
  std::u16string profile;
};

// A two-page stream of model A under automatic colour (page colour mode
// undecided, strict judging): page 1 fills with a colour brush, page 2 with
// a grey one, both graphics (object kind 0).
bool MakeColourStream(HANDLE printer, const ColourSettings& settings, std::string& s, std::string& error) {
  std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
  static BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  bool ok = ModelADevmode(printer, devmode, printerData, [&] {
    bool set = true;
    for (auto [id, value] : settings.numbers) set = set && ddm_SetNumber(id, devmode.data(), printerData, value);
    if (set && !settings.profile.empty()) {
      std::u16string name = settings.profile;
      name.push_back(0);
      set = ddm_SetValue(DDM_ICCPROFILE1_NAME, devmode.data(), printerData, DDM_TYPE_STRING,
                         static_cast<DWORD>(name.size() * 2), name.data()) == 0;
    }
    return set;
  });
  if (!ok) {
    error = "model A's devmode does not take the colour settings";
    return false;
  }
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &s);
  const BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  const BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  const BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  BYTE jcl[16 + 2 * (8 + 4)] = {2, 0, 0, 0, 8, 0, 0, 0};
  const float matrix[6] = {1, 0, 0, 1, 0, 0};
  ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"Kestrel colour demo") == 0 &&
       xl_ic_setdocname(&xl, u"Kestrel colour demo") == 0 &&
       xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
       xl_ic_setprinterdata(&xl, printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
       xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0 &&
       xl_ic_setjclheaders(&xl, jcl, sizeof jcl) == 0 && xl_ic_startjob(&xl) == 0 &&
       xl_beginsession(&xl, 600, 600, 0, 0) == 0 && xl_opendatasource(&xl) == 0;
  const BYTE brushes[2][3] = {{30, 60, 200}, {128, 128, 128}};  // blue, green, red (the writer's order)
  for (int page = 0; page < 2 && ok; ++page) {
    ok = xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_setcolormode(&xl, 0, 0) == 0 &&
         xl_ic_setcoordinate(&xl, matrix) == 0 && xl_setcolorspace_simple(&xl, 2, 0) == 0 &&
         xl_setbrushsource_rgb(&xl, brushes[page][0], brushes[page][1], brushes[page][2]) == 0 &&
         xl_newpath(&xl) == 0 && xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_showpage(&xl) == 0 &&
         xl_ic_endpage(&xl) == 0;
  }
  ok = ok && xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 &&
       xl_ic_disable(&xl) == 0;
  if (!ok) error = "render/xl's writers refused the colour stream";
  return ok;
}

// One page with a 600 x 400 colour image as the renderer writes it (RGB
// colour space of object kind 2, rows of R, G, B, PadBytesMultiple 1),
// under DDM 330 = compression.
constexpr WORD kImageWidth = 600, kImageHeight = 400;
bool MakeImageStream(HANDLE printer, LONG compression, std::string& s, std::string& error) {
  std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
  static BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  if (!ModelADevmode(printer, devmode, printerData,
                     [&] { return ddm_SetNumber(DDM_IMAGECOMPRESSION, devmode.data(), printerData, compression); })) {
    error = "model A's devmode does not take the image compression";
    return false;
  }
  std::vector<BYTE> rgb(static_cast<size_t>(kImageWidth) * kImageHeight * 3);
  for (size_t y = 0; y < kImageHeight; ++y) {
    for (size_t x = 0; x < kImageWidth; ++x) {
      BYTE* p = &rgb[(y * kImageWidth + x) * 3];
      const bool band = y >= 250 && y < 300;
      p[0] = band ? 230 : static_cast<BYTE>(x * 255 / kImageWidth);
      p[1] = band ? 120 : static_cast<BYTE>(y * 255 / kImageHeight);
      p[2] = band ? 20 : static_cast<BYTE>(255 - x * 200 / kImageWidth);
    }
  }
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &s);
  const BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  const BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  const BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  BYTE jcl[16 + 2 * (8 + 4)] = {2, 0, 0, 0, 8, 0, 0, 0};
  const float matrix[6] = {1, 0, 0, 1, 0, 0};
  constexpr BYTE kRgb = 2, kImageKind = 2, kDirect = 0, k8Bit = 2, kColourPage = 2;
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"Kestrel image demo") == 0 &&
            xl_ic_setdocname(&xl, u"Kestrel image demo") == 0 &&
            xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
            xl_ic_setprinterdata(&xl, printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
            xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0 &&
            xl_ic_setjclheaders(&xl, jcl, sizeof jcl) == 0 && xl_ic_startjob(&xl) == 0 &&
            xl_beginsession(&xl, 600, 600, 0, 0) == 0 && xl_opendatasource(&xl) == 0 &&
            xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_setcolormode(&xl, 0, kColourPage) == 0 &&
            xl_ic_setcoordinate(&xl, matrix) == 0 && xl_setcolorspace_simple(&xl, kRgb, kImageKind) == 0 &&
            xl_setcursor(&xl, POINT{300, 300}) == 0 &&
            xl_beginimage(&xl, kDirect, k8Bit, kImageWidth, kImageHeight, kImageWidth, kImageHeight) == 0 &&
            xl_readimage_hdr(&xl, 0, kImageHeight, 0, 1, static_cast<DWORD>(rgb.size())) == 0 &&
            xl_readimage_data(&xl, rgb.data(), static_cast<DWORD>(rgb.size())) == 0 && xl_endimage(&xl) == 0 &&
            xl_ic_showpage(&xl) == 0 && xl_ic_endpage(&xl) == 0 && xl_closedatasource(&xl) == 0 &&
            xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  if (!ok) error = "render/xl's writers refused the image stream";
  return ok;
}

// kestrelum's trace lines about job `id`.
struct JobTrace {
  bool found = false;
  unsigned long ok = 0;
  unsigned long long operatorsIn = 0, operatorsOut = 0, pages = 0, bytes = 0;
  std::map<unsigned, unsigned long long> commands;  // code -> times carried out
  std::vector<std::string> seamsMet;                // "not built yet" notes, each once
  std::vector<std::string> lines;                   // every line of kestrelum's trace
  std::vector<std::string> colour;                  // the colour conversion's lines
  std::vector<std::string> images;                  // the image re-encoding's lines
};

// On a failure: everything kestrelum said, for the reader to see why.
void PrintTrace(const JobTrace& t) {
  std::fprintf(stderr, "kestrelum's trace:\n");
  for (const std::string& line : t.lines) std::fprintf(stderr, "  %s\n", line.c_str());
}

JobTrace ReadTrace(DWORD id) {
  JobTrace t;
  std::u16string all(1 << 20, u'\0');
  all.resize(KpGetDebugOutput(all.data(), static_cast<DWORD>(all.size())));
  const std::string text = Narrow(all);
  const std::string job = "kestrelum: job " + std::to_string(id) + ": ";
  const std::string seam = "kestrelum: not built yet: ";
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty()) t.lines.push_back(line);
    if (line.rfind(job, 0) == 0) {
      const char* rest = line.c_str() + job.size();
      unsigned code = 0;
      unsigned long long times = 0;
      if (std::sscanf(rest, "ok %lu, operators in %llu, out %llu, pages %llu, bytes %llu", &t.ok, &t.operatorsIn,
                      &t.operatorsOut, &t.pages, &t.bytes) == 5) {
        t.found = true;
      } else if (std::sscanf(rest, "command %u carried out %llu times", &code, &times) == 2) {
        t.commands[code] = times;
      }
    } else if (line.rfind("kestrelum: colour: ", 0) == 0) {
      t.colour.push_back(line.substr(std::strlen("kestrelum: colour: ")));
    } else if (line.rfind("kestrelum: image: ", 0) == 0) {
      t.images.push_back(line.substr(std::strlen("kestrelum: image: ")));
    } else if (line.rfind(seam, 0) == 0) {
      const std::string what = line.substr(seam.size());
      bool known = false;
      for (const std::string& s : t.seamsMet) known = known || s == what;
      if (!known) t.seamsMet.push_back(what);
    }
  }
  return t;
}

// Prints the job through the queue; answers the job id (0: failed). With
// a split, atSplit runs once the bytes before it are written.
DWORD PrintJob(HANDLE printer, const std::string& stream, size_t split = 0,
               const std::function<void()>& atSplit = nullptr) {
  std::u16string doc = u"Kestrel demo", raw = u"RAW";
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  const DWORD id = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
  if (id == 0) {
    std::fprintf(stderr, "StartDocPrinterW failed (error %u)\n", GetLastError());
    return 0;
  }
  size_t calls = 0;
  for (size_t at = 0; at < stream.size();) {
    if (atSplit && at == split) atSplit();
    const size_t limit = atSplit && at < split ? split : stream.size();
    const DWORD n = static_cast<DWORD>(std::min<size_t>(kWritePiece, limit - at));
    DWORD written = 0;
    ++calls;
    if (!WritePrinter(printer, const_cast<char*>(stream.data() + at), n, &written) || written != n) {
      std::fprintf(stderr, "WritePrinter %zu took %u of %u bytes (error %u)\n", calls, written, n, GetLastError());
      AbortPrinter(printer);
      return 0;
    }
    at += n;
  }
  if (!EndDocPrinter(printer)) {
    std::fprintf(stderr, "EndDocPrinter failed (error %u)\n", GetLastError());
    return 0;
  }
  std::printf("Printed with StartDocPrinterW, %zu WritePrinter calls of at most %u bytes, EndDocPrinter: job %u\n",
              calls, kWritePiece, id);
  return id;
}

// Prints `stream` through the queue and reports what kestrelum did; `job`
// gets what reached the port. False (with kestrelum's trace on stderr) when
// the job failed or the counts of kestrelum, the spooler and the port
// disagree.
bool PrintThrough(HANDLE printer, const std::string& root, const std::string& stream, std::string& job,
                  JobTrace& trace, size_t split = 0, const std::function<void()>& atSplit = nullptr) {
  KpClearDebugOutput();
  // The port's file holds this job only.
  std::error_code ec;
  fs::remove(fs::path(root) / kPortFileHost, ec);
  const DWORD id = PrintJob(printer, stream, split, atSplit);
  if (id == 0) {
    PrintTrace(ReadTrace(0));
    return false;
  }
  KP_SPOOLER_JOB_STATE state{};
  if (!KpSpoolerGetJobState(id, &state) || !ReadFile(root + "/" + kPortFileHost, job)) {
    std::fprintf(stderr, "the job's state or the port's file cannot be read\n");
    return false;
  }
  trace = ReadTrace(id);
  if (!trace.found) {
    std::fprintf(stderr, "kestrelum wrote no counts for job %u to its trace\n", id);
    PrintTrace(trace);
    return false;
  }
  std::printf("kestrelum carried out these in-band commands and removed them:\n");
  unsigned long long commands = 0;
  for (const auto& [code, times] : trace.commands) {
    std::printf("  %3u %-28s x %llu\n", code, CommandName(code), times);
    commands += times;
  }
  std::printf("  %llu in all\n", commands);
  std::printf("Operators: %llu in (in-band commands included), %llu out\n", trace.operatorsIn,
              trace.operatorsOut);
  std::printf("Pages framed: %llu; bytes written to the port: %llu (the spooler counted %llu, the port's "
              "file holds %zu)\n",
              trace.pages, trace.bytes, static_cast<unsigned long long>(state.bytes), job.size());
  if (trace.ok != 1 || state.error != 0 || (state.status & JOB_STATUS_ERROR) != 0 || !state.driverClosed ||
      trace.bytes != state.bytes || trace.bytes != job.size() || job.empty()) {
    std::fprintf(stderr,
                 "the job failed or its counts disagree: ok %lu, spooler status 0x%X error %u, driver closed %d\n",
                 trace.ok, state.status, state.error, state.driverClosed);
    PrintTrace(trace);
    return false;
  }
  return true;
}

// The page store's temporary files of the model (C:\Windows\Temp\ZAN*)
// and their records under the model's root (string 30) "TempFile".
struct StoreState {
  std::vector<std::string> files;
  std::vector<std::string> records;
};

StoreState ListStore(const std::string& root) {
  StoreState st;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(root) / "c/Windows/Temp", ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("ZAN", 0) == 0) st.files.push_back("C:\\Windows\\Temp\\" + name + " (" +
                                                      std::to_string(e.file_size(ec)) + " bytes)");
  }
  HKEY key = nullptr;
  const std::u16string name = u"SOFTWARE\\Halcyra\\Kestrel\\Scriva K350\\TempFile";
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      WCHAR sub[300];
      DWORD n = 300;
      if (RegEnumKeyExW(key, i, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      WCHAR when[64] = {};
      DWORD size = sizeof(when);
      HKEY k = nullptr;
      if (RegOpenKeyExW(key, sub, 0, KEY_READ, &k) == ERROR_SUCCESS) {
        RegQueryValueExW(k, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(when), &size);
        RegCloseKey(k);
      }
      st.records.push_back(Narrow(std::u16string(u"HKLM\\") + name + u"\\" + sub) + " = " + Narrow(when));
    }
    RegCloseKey(key);
  }
  return st;
}

void PrintStore(const StoreState& st) {
  std::printf("    temporary files: %s\n", st.files.empty() ? "none" : "");
  for (const std::string& f : st.files) std::printf("      %s\n", f.c_str());
  std::printf("    their records: %s\n", st.records.empty() ? "none" : "");
  for (const std::string& r : st.records) std::printf("      %s\n", r.c_str());
}

// The poster job: one page stored, shown in its temporary file and record
// while it is stored, printed as four parts, and nothing left after.
bool PosterJob(HANDLE printer, const std::string& root, const std::string& jobPath) {
  std::string stream, error;
  size_t stored = 0;
  if (!MakeStream(printer, stream, error, true, &stored)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::printf("A poster page: one page stored and printed as 2 x 2 parts. The stream is made here with\n"
              "render/xl's in-band writers (132, 133 with capture mask 38, the page, 134, 136 four times with\n"
              "the part's matrix and replay mask 9, 135), as the renderer's poster layout will send it: %zu bytes\n",
              stream.size());
  bool seenWhileStored = false;
  const auto atStored = [&] {
    // The parser carries out 134 right after taking the bytes: wait for it.
    StoreState st;
    for (int i = 0; i < 200; ++i) {
      st = ListStore(root);
      if (!st.files.empty() && !st.records.empty()) break;
      usleep(10000);
    }
    std::printf("  While the page is stored (after 134, before 136):\n");
    PrintStore(st);
    seenWhileStored = !st.files.empty() && !st.records.empty();
  };
  std::string job;
  JobTrace trace;
  if (!PrintThrough(printer, root, stream, job, trace, stored, atStored)) return false;
  std::printf("  After the job:\n");
  const StoreState after = ListStore(root);
  PrintStore(after);
  const auto replays = trace.commands.find(XL_IC_OUTPUT_STOREDPAGE);
  if (!seenWhileStored || !after.files.empty() || !after.records.empty() || trace.pages != 4 ||
      replays == trace.commands.end() || replays->second != 4) {
    std::fprintf(stderr, "the poster job did not store, print four parts and clean up as it should\n");
    PrintTrace(trace);
    return false;
  }
  const std::string posterPath = fs::path(jobPath).replace_filename("spool-poster-job.pcl").string();
  if (!WriteFile(posterPath, job)) return false;
  std::printf("  Four parts printed from the stored page; the job is in %s\n", posterPath.c_str());
  return true;
}

// Marked copies: a job asking for security marking, with the stand-in
// marking library of the tests installed as kgsb.dll (and the stand-in
// document monitor as kqdm.dll), answering three serials: three jobs reach
// the port, each with the stand-in's marker naming its copy.
bool MarkedJob(HANDLE printer, const std::string& root, const std::string& jobPath) {
  std::printf("Marked copies: the job asks for security marking (job information offset 188). The marking\n"
              "library here is a STAND-IN built with the tests (kgsbtest installed as kgsb.dll, the document\n"
              "monitor kqdmtest as kqdm.dll): it answers three serials and marks a copy with a PJL comment\n"
              "naming it. The real library is an outside product and is not part of this package.\n");
  if (!KpInstallModule("libkgsbtest.so", u"kgsb.dll") || !KpInstallModule("libkqdmtest.so", u"kqdm.dll")) {
    std::fprintf(stderr, "the stand-in libraries cannot be installed\n");
    return false;
  }
  HMODULE stand = LoadLibraryW(u"kgsb.dll");
  FARPROC reset = stand != nullptr ? GetProcAddress(stand, "MarkTest_Reset") : nullptr;
  if (reset == nullptr) {
    std::fprintf(stderr, "the stand-in marking library does not load\n");
    return false;
  }
  reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(reset))(3);
  std::string stream, error;
  bool ok = MakeStream(printer, stream, error, false, nullptr, true);
  std::error_code ec;
  fs::remove(fs::path(root) / kPortFileHost, ec);
  KpClearDebugOutput();
  const DWORD id = ok ? PrintJob(printer, stream) : 0;
  // The copies are held jobs: they reach the port once the job frees it.
  std::string port;
  for (int i = 0; i < 300 && id != 0; ++i) {
    ReadFile(root + "/" + kPortFileHost, port);
    size_t n = 0;
    for (size_t at = port.find("GLYPHSEAL COPY="); at != std::string::npos; at = port.find("GLYPHSEAL COPY=", at + 1)) ++n;
    if (n >= 3) break;
    usleep(10000);
  }
  std::string calls(8192, '\0');
  if (FARPROC log = GetProcAddress(stand, "MarkTest_Log")) {
    const int n = reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void (*)()>(log))(calls.data(), 8192);
    calls.resize(std::min(n, 8191));
  }
  FreeLibrary(stand);
  const JobTrace trace = ReadTrace(id);
  std::vector<std::string> copies;
  const std::string uel = "\x1B%-12345X@PJL JOB";
  for (size_t at = port.find(uel); at != std::string::npos;) {
    const size_t next = port.find(uel, at + 1);
    copies.push_back(port.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  if (id == 0 || !ok || copies.size() != 3 || trace.ok != 1) {
    std::fprintf(stderr, "the marked job did not print three marked copies (%zu): %s\nthe stand-in's calls:\n%s",
                 copies.size(), error.c_str(), calls.c_str());
    PrintTrace(trace);
    return false;
  }
  for (size_t i = 0; i < copies.size(); ++i) {
    const std::string expected = "@PJL COMMENT GLYPHSEAL COPY=" + std::to_string(i);
    const std::string path = fs::path(jobPath).replace_filename("spool-marked-copy" + std::to_string(i) + ".pcl").string();
    if (copies[i].find(expected) == std::string::npos || !WriteFile(path, copies[i])) {
      std::fprintf(stderr, "copy %zu is not marked as copy %zu\n", i, i);
      return false;
    }
    std::printf("  copy %zu: a job of %zu bytes with \"%s\", in %s\n", i, copies[i].size(), expected.c_str(),
                path.c_str());
  }
  for (const std::string& line : trace.lines) {
    if (line.find("marked copies") != std::string::npos) std::printf("  %s\n", line.c_str());
  }
  return true;
}

// The colour jobs: each printed through the queue, its colour lines shown,
// its job written beside the main one for scripts/demo's check.
bool ColourJobs(HANDLE printer, const std::string& root, const std::string& jobPath) {
  // The profile lies in the system colour folder, where a bare name is looked up.
  std::string profile;
  if (!ReadFile(std::string(KESTREL_ICC_DIR) + "/sRGB.icc", profile) ||
      !WriteFile(root + "/c/Windows/system32/spool/drivers/color/sRGB.icc", profile)) {
    std::fprintf(stderr, "cannot install sRGB.icc in the colour folder\n");
    return false;
  }
  constexpr LONG kGreyTreatment = 3;  // DDM 455: grey objects of text and graphics printed in grey
  const ColourSettings jobs[2] = {
      {"white point 9300, gamma 2.2",
       {{DDM_GRAYH, kGreyTreatment}, {DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 2}, {DDM_GAMMA, 3}},
       u""},
      {"the ICC profile sRGB.icc",
       {{DDM_GRAYH, kGreyTreatment}, {DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE1_ON, 1}},
       u"sRGB.icc"},
  };
  const char* files[2] = {"spool-colour-wpgm.pcl", "spool-colour-icc.pcl"};
  for (int i = 0; i < 2; ++i) {
    std::printf("Colour on the spooler side, model A under automatic colour, %s:\n", jobs[i].what);
    std::string stream, error, job;
    if (!MakeColourStream(printer, jobs[i], stream, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    JobTrace trace;
    std::error_code ec;
    fs::remove(root + "/" + kPortFileHost, ec);  // the port's file holds this job only
    if (!PrintThrough(printer, root, stream, job, trace)) return false;
    for (const std::string& line : trace.colour) std::printf("  %s\n", line.c_str());
    const std::string path = (fs::path(jobPath).parent_path() / files[i]).string();
    if (!WriteFile(path, job)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return false;
    }
    std::printf("  the job is in %s\n", path.c_str());
  }
  return true;
}

// The image jobs: DDM 330 at 0 (none), 1 (delta row for colour) and 2
// (JPEG), each ReadImage's CompressMode and size from kestrelum's trace.
bool ImageJobs(HANDLE printer, const std::string& root, const std::string& jobPath) {
  const char* what[3] = {"no compression", "run-length for grey, delta row for colour", "JPEG"};
  const size_t raw = static_cast<size_t>(kImageWidth) * kImageHeight * 3;
  for (LONG setting = 0; setting <= 2; ++setting) {
    std::printf("An image page (%u x %u colour, %zu bytes raw), DDM 330 = %ld (%s):\n", kImageWidth, kImageHeight,
                raw, static_cast<long>(setting), what[setting]);
    std::string stream, error, job;
    if (!MakeImageStream(printer, setting, stream, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    JobTrace trace;
    if (!PrintThrough(printer, root, stream, job, trace)) return false;
    if (trace.images.empty()) {
      std::fprintf(stderr, "kestrelum re-encoded no image\n");
      PrintTrace(trace);
      return false;
    }
    for (const std::string& line : trace.images) std::printf("  ReadImage %s\n", line.c_str());
    const std::string path = (fs::path(jobPath).parent_path() / ("spool-image-" + std::to_string(setting) + ".pcl")).string();
    if (!WriteFile(path, job)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return false;
    }
    std::printf("  the job is in %s\n", path.c_str());
  }
  return true;
}

int Run(const std::string& root, const std::string& streamPath, const std::string& jobPath) {
  std::string error;
  if (!InstallQueue(root, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::u16string name = kPrinter;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    std::fprintf(stderr, "OpenPrinterW failed (error %u)\n", GetLastError());
    return 1;
  }
  int rc = 1;
  do {
    WCHAR value[] = u"SPLUserModePrinterDriver";
    const std::u16string library = u"kestrelum.dll";
    if (SetPrinterDataW(printer, value, REG_SZ, reinterpret_cast<LPBYTE>(const_cast<char16_t*>(library.c_str())),
                        static_cast<DWORD>((library.size() + 1) * 2)) != ERROR_SUCCESS) {
      std::fprintf(stderr, "cannot name kestrelum in the printer data\n");
      break;
    }
    std::printf("Model A's queue \"%s\": driver \"%s\", port %s (a file), printer data "
                "\"SPLUserModePrinterDriver\" = \"kestrelum.dll\"\n",
                Narrow(kPrinter).c_str(), Narrow(kDriver).c_str(), Narrow(kPort).c_str());
    std::string stream;
    const bool fromRenderStep = ReadFile(streamPath, stream);
    if (fromRenderStep) {
      std::printf("The render step's stream: %s, %zu bytes\n", streamPath.c_str(), stream.size());
    } else {
      std::printf("No render step's stream at %s: using a two-page stream of the same shape made here with\n"
                  "render/xl's writers (the job, document and page commands; no page store, stamps or images)\n",
                  streamPath.c_str());
      if (!MakeStream(printer, stream, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        break;
      }
      std::printf("  %zu bytes\n", stream.size());
    }
    std::string job;
    JobTrace trace;
    // A job kestrelum rejects fails the step (its trace says why): the
    // demo never goes on with a stand-in of the renderer's stream.
    const bool printed = PrintThrough(printer, root, stream, job, trace);
    if (!printed) break;
    if (!WriteFile(jobPath, job)) {
      std::fprintf(stderr, "cannot write %s\n", jobPath.c_str());
      break;
    }
    std::printf("The job (%zu bytes, with its EJCL/PJL header and trailer) is in %s for the port step\n", job.size(),
                jobPath.c_str());
    std::printf("Seams this job met (later work, each answering honestly in kestrelum's trace):\n");
    if (trace.seamsMet.empty()) std::printf("  none\n");
    for (const std::string& s : trace.seamsMet) std::printf("  %s\n", s.c_str());
    std::printf("\n");
    if (!PosterJob(printer, root, jobPath)) break;
    std::printf("\n");
    if (!MarkedJob(printer, root, jobPath)) break;
    std::printf("Open seams of kestrelum:\n");
    const std::string open = umseam_OpenSeams();
    if (open.empty()) std::printf("  none\n");
    for (size_t at = 0, end; at < open.size(); at = end + 1) {
      end = open.find('\n', at);
      if (end == std::string::npos) end = open.size();
      std::printf("  %s\n", open.substr(at, end - at).c_str());
    }
    std::printf("\n");
    if (!ColourJobs(printer, root, jobPath)) break;
    std::printf("\n");
    if (!ImageJobs(printer, root, jobPath)) break;
    rc = 0;
  } while (false);
  ClosePrinter(printer);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // in order with the failures on stderr
  const std::string streamPath = argc > 1 ? argv[1] : std::string(KESTREL_DEMO_DIR) + "/render-stream.xlr";
  const std::string jobPath = argc > 2 ? argv[2] : std::string(KESTREL_DEMO_DIR) + "/spool-job.pcl";
  // A failed run leaves no job of an earlier run for the port step.
  std::error_code ec;
  fs::remove(jobPath, ec);
  std::string root = (fs::temp_directory_path() / "kestrel-demo-spool-XXXXXX").string();
  if (!mkdtemp(root.data()) || !KpSetRoot(root.c_str())) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  const int rc = Run(root, streamPath, jobPath);
  KpSpoolerReset();
  KpPortReset();
  fs::remove_all(root, ec);
  return rc;
}
