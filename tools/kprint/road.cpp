// The road: queues, their stored settings and jobs (see road.h).
#include "road.h"

#include <kplatform/engine.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>
#include <kplatform/root.h>
#include <kplatform/winddiui.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_job.h>
#include <kplatform/winspool_monitor.h>
#include <kplatform/winspool_printer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/stamp.h"
#include "pclxl_checker.h"
#include "queue_files.h"
#include "road_internal.h"

namespace fs = std::filesystem;

namespace kestrel::road {
namespace {

struct ModelFacts {
  const char* file;        // the file pair's base name
  const char16_t* printer; // the spooler printer's default name
  const char16_t* driver;
  const char16_t* dataFile;
};
const ModelFacts& Facts(RoadModel model) {
  static const ModelFacts a{"K350", u"Scriva K350", u"Scriva K350 PCL6", u"K350.DDD"};
  static const ModelFacts b{"K260", u"Scriva K260", u"Scriva K260 PCL6", u"K260.DDD"};
  return model == RoadModel::A ? a : b;
}

constexpr char16_t kUserModeDriverValue[] = u"SPLUserModePrinterDriver";
constexpr DWORD kDevmodeBytes = NRV_DEVMODE_SIZE_KIND1;  // the devmode applications exchange
constexpr char kPortFolder[] = "c/kprint";                // file ports below the root
constexpr char16_t kPortFolderW[] = u"C:\\kprint\\";
constexpr LONG kJobTypeSecure = 1, kJobTypeSample = 2;  // print types (DDM 334)

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

RoadResult Fail(RoadStatus status, const std::string& what, DWORD error = 0) {
  std::string text = what;
  if (error != 0) text += " (error " + std::to_string(error) + ")";
  return {status, text};
}


// kestrelui's exports the road calls, as the spooler and applications do.
using PrinterEventFn = BOOL (*)(LPWSTR, int, DWORD, LPARAM);
using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*, DWORD);

class OpenPrinter {
 public:
  explicit OpenPrinter(const std::u16string& name) : name_(name) {
    PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name_.data(), &handle_, &all)) handle_ = nullptr;
  }
  ~OpenPrinter() {
    if (handle_) ClosePrinter(handle_);
  }
  HANDLE get() const { return handle_; }
  LPWSTR name() { return name_.data(); }

 private:
  std::u16string name_;
  HANDLE handle_ = nullptr;
};

std::string PortFileHost(const RoadQueue& q) {
  const std::u16string port = RoadPrinterName(q);
  std::string base;
  for (char16_t c : port) base += (c < 0x80 && std::isalnum(static_cast<int>(c))) ? static_cast<char>(c) : '_';
  return std::string(kPortFolder) + "/" + base + ".prn";
}

std::u16string PortName(const RoadQueue& q) {
  if (!q.portName.empty()) return q.portName;
  if (q.tcpPort != 0) return u"IP_" + Widen(q.tcpHost) + u"_" + Widen(std::to_string(q.tcpPort)) + u":";
  std::u16string name = u"KPRINT_";
  for (char16_t c : RoadPrinterName(q)) name += c == u' ' ? u'_' : c;
  return name + u":";
}

// The PJL lines of a job: every line beginning "@PJL" outside the PCL XL
// stream, in order.
std::vector<std::string> PjlLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t at = 0;
  while ((at = bytes.find("@PJL", at)) != std::string::npos) {
    size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(bytes.substr(at, end - at));
    at = end;
  }
  return lines;
}

// The printer's answers as the language monitor parsed them: after the job,
// the spooler is asked to put questions to the port as a port's status page
// does (it waits until no job uses the port, and holds the jobs that come
// meanwhile): a fresh INFO STATUS and INFO CONFIG / INFO ID, then the values
// kmonant took from the replies.
void AskPrinter(HANDLE monitor, HANDLE port, void* context) {
  auto& out = *static_cast<std::vector<std::string>*>(context);
  auto ask = [&](const char16_t* name, BYTE* buffer, DWORD size) {
    DWORD got = 0;
    return KpMonitorGetPrinterData(monitor, port, name, buffer, size, &got) == ERROR_SUCCESS ? got : 0;
  };
  for (const char16_t* item : {u"Refresh:Status", u"Refresh:Config"}) {
    LONG answer = 0;
    const bool asked = ask(item, reinterpret_cast<BYTE*>(&answer), sizeof answer) != 0;
    out.push_back(Narrow(item + 8) + (asked && answer == 0 ? ": the printer answered" : ": no answer"));
  }
  BYTE text[64] = {};
  if (ask(u"LM_SysName", text, sizeof text - 1))
    out.push_back("system name \"" + std::string(reinterpret_cast<char*>(text)) + "\"");
  LONG number = 0;
  if (ask(u"LM_MemorySizeInMByte", reinterpret_cast<BYTE*>(&number), sizeof number))
    out.push_back("memory " + std::to_string(number) + " MB");
  number = 0;
  if (ask(u"LM_DuplexModule", reinterpret_cast<BYTE*>(&number), sizeof number))
    out.push_back(std::string("duplex module ") + ((number & 0xFFFF) ? "present" : "absent"));
  BYTE trays[4 + 32 * 32] = {};
  if (ask(u"LM_InputTray", trays, sizeof trays)) {
    DWORD count = 0;
    std::memcpy(&count, trays, sizeof count);
    std::string line = "input trays " + std::to_string(count);
    for (DWORD i = 0; i < count && i < 32; ++i) {
      const char* name = reinterpret_cast<const char*>(trays + 4 + 32 * i + 8);
      line += i == 0 ? ": " : ", ";
      line += std::string(name, strnlen(name, 24));
    }
    out.push_back(line);
  }
}

constexpr DWORD kStatusWaitMs = 60000;  // the port's other jobs go out first

std::vector<std::string> PrinterStatus(const std::u16string& printer) {
  std::vector<std::string> out;
  if (!KpSpoolerAskPort(printer.c_str(), kStatusWaitMs, AskPrinter, &out))
    out.push_back("the port cannot be opened for status (error " + std::to_string(GetLastError()) + ")");
  return out;
}

// The drawing calls of a DC's log from `from` on, runs of one call with
// their count ("ExtTextOutW x3").
std::vector<std::string> DrawingCalls(HDC hdc, DWORD from) {
  std::vector<std::string> out;
  std::string last;
  unsigned run = 0;
  auto flush = [&] {
    if (run) out.push_back(run > 1 ? last + " x" + std::to_string(run) : last);
  };
  for (DWORD i = from; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (!KpDcLogEntry(hdc, i, &e) || e.kind != KP_DCLOG_DRAWING || e.name == nullptr) continue;
    std::string name = e.name;
    // The state calls (objects, colours, modes, SaveDC) are left out.
    static const char* const kState[] = {"SelectObject", "SetTextColor", "SetBkMode", "SaveDC", "RestoreDC",
                                         "GetTextExtentPoint32W", "GetDeviceCaps", "CreatePen", "SetPolyFillMode", "SetBkColor", "MoveToEx",
                                         "CreateFontIndirectW", "DeleteObject"};
    if (std::find(std::begin(kState), std::end(kState), name) != std::end(kState)) continue;
    if (e.result == 0) name += " (failed)";
    if (name == last) {
      ++run;
      continue;
    }
    flush();
    last = name;
    run = 1;
  }
  flush();
  return out;
}

}  // namespace

const char* ModelLetter(RoadModel model) { return model == RoadModel::A ? "A" : "B"; }

std::mutex& SettingsLock() {
  static std::mutex m;
  return m;
}

namespace {

// kestrelui loaded for its string table (the value access and the resource
// module are found through it), then the description data of a queue's
// printer, or of a model's data file in the driver directory.
ModelData OpenData(HANDLE printer, RoadModel model, RoadResult* result) {
  ModelData d;
  d.library = LoadLibraryW(u"kestrelui.dll");
  if (d.library == nullptr) {
    *result = Fail(RoadStatus::Install, "kestrelui does not load (was RoadOpen called?)", GetLastError());
    return d;
  }
  resource_startToUse(d.library, nullptr);
  ddm_AccessInit(d.library);
  if (printer != nullptr) {
    d.ddd = cddd_Open(printer);
  } else {
    const std::u16string path = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\" + std::u16string(Facts(model).dataFile);
    d.ddd = cddd_OpenFile(path.c_str());
  }
  if (d.ddd == nullptr) *result = Fail(RoadStatus::Install, "the model's description data does not open");
  return d;
}

}  // namespace

ModelData OpenQueueData(HANDLE printer, RoadResult* result) { return OpenData(printer, RoadModel::A, result); }

ModelData OpenModelData(RoadModel model, RoadResult* result) { return OpenData(nullptr, model, result); }

void CloseModelData(ModelData* d) {
  if (d->ddd) cddd_Close(d->ddd);
  if (d->library) {
    ddm_AccessEnd();
    resource_finishToUse();
    FreeLibrary(d->library);
  }
  *d = {};
}

RoadResult RoadOpen(const std::string& root) {
  std::error_code ec;
  fs::create_directories(fs::path(root) / kPortFolder, ec);
  if (ec) return Fail(RoadStatus::Install, "cannot make the root folder " + root + ": " + ec.message());
  if (!KpSetRoot(root.c_str())) return Fail(RoadStatus::Install, "cannot make " + root + " the platform root");
  for (const char* model : {"K350", "K260"}) {
    const std::string failed = queue::InstallModelFiles(KESTREL_MODELS_DIR, model);
    if (!failed.empty()) return Fail(RoadStatus::Install, "cannot install the model file " + failed, GetLastError());
  }
  // The driver's files as the spooler keeps them: the configuration file,
  // the renderer, the user-mode driver, the devmode access, the resource
  // module and the language monitor.
  const std::string failed = queue::InstallDriverModules(true);
  if (!failed.empty()) return Fail(RoadStatus::Install, "cannot install " + failed, GetLastError());
  return {};
}

std::u16string RoadPrinterName(const RoadQueue& q) {
  return q.printer.empty() ? std::u16string(Facts(q.model).printer) : q.printer;
}

RoadResult RoadInstallQueue(const RoadQueue& q) {
  const ModelFacts& m = Facts(q.model);
  const std::u16string name = RoadPrinterName(q);
  if (!KpSpoolerAddPrinter(name.c_str(), m.driver, m.dataFile, u"kestrelui.dll", u"kestrelkm.dll"))
    return Fail(RoadStatus::Install, "cannot add the printer " + Narrow(name), GetLastError());
  const std::u16string port = PortName(q);
  if (q.tcpPort != 0) {
    if (!KpPortDefineTcp(port.c_str(), q.tcpHost.c_str(), q.tcpPort))
      return Fail(RoadStatus::Install, "cannot define the TCP port " + q.tcpHost + ":" + std::to_string(q.tcpPort),
                  GetLastError());
  } else {
    // The queue's port file starts empty at each set-up and then keeps the
    // queue's jobs one after another, as a file port does.
    const std::string host = PortFileHost(q);
    std::error_code ec;
    fs::remove(fs::path(KpGetRoot()) / host, ec);
    std::u16string windows = kPortFolderW + Widen(host.substr(host.rfind('/') + 1));
    if (!KpPortDefineFile(port.c_str(), windows.c_str()))
      return Fail(RoadStatus::Install, "cannot define the file port", GetLastError());
  }
  if (!KpSpoolerSetPrinterPort(name.c_str(), port.c_str(), u"kmonant.dll"))
    return Fail(RoadStatus::Install, "cannot give the printer its port", GetLastError());
  // kestrelui initialises a new queue (the user-mode driver's name, the
  // printer id, the forms); a queue of an earlier run keeps what it has.
  OpenPrinter printer(name);
  if (!printer.get()) return Fail(RoadStatus::Install, "cannot open the printer", GetLastError());
  DWORD type = 0, needed = 0;
  std::u16string value = kUserModeDriverValue;
  if (GetPrinterDataW(printer.get(), value.data(), &type, nullptr, 0, &needed) == ERROR_FILE_NOT_FOUND) {
    HMODULE ui = LoadLibraryW(u"kestrelui.dll");
    auto event = ui ? reinterpret_cast<PrinterEventFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvPrinterEvent")))
                    : nullptr;
    const BOOL ok = event && event(printer.name(), PRINTER_EVENT_INITIALIZE, 0, 0);
    if (ui) FreeLibrary(ui);
    if (!ok) return Fail(RoadStatus::Install, "kestrelui did not initialise the printer", GetLastError());
  }
  return {};
}

namespace {

// The queue's stored devmode as kestrelui hands it to applications.
bool QueueDevmode(DocumentPropertiesFn props, OpenPrinter& printer, std::vector<BYTE>* dm, const void* in) {
  dm->assign(kDevmodeBytes, 0);
  const DWORD mode = DM_OUT_BUFFER | (in ? DM_IN_BUFFER : 0);
  return props(nullptr, printer.get(), printer.name(), dm->data(), const_cast<void*>(in), mode) == 1;
}

DocumentPropertiesFn Props(HMODULE ui) {
  return reinterpret_cast<DocumentPropertiesFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvDocumentProperties")));
}

}  // namespace

RoadResult RoadApplySettings(const RoadQueue& q, const std::vector<RoadSetting>& settings) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  OpenPrinter printer(RoadPrinterName(q));
  if (!printer.get()) return Fail(RoadStatus::Settings, "cannot open the printer", GetLastError());
  RoadResult result;
  ModelData data = OpenQueueData(printer.get(), &result);
  std::vector<ResolvedSetting> resolved;
  for (const RoadSetting& s : settings) {
    if (!result.ok()) break;
    ResolvedSetting r;
    result = ResolveSetting(data.ddd, ModelLetter(q.model), s, &r);
    resolved.push_back(r);
  }
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  std::vector<BYTE> dm, merged;
  DocumentPropertiesFn props = data.library ? Props(data.library) : nullptr;
  bool printerDataChanged = false;
  if (result.ok() && (!props || !pd_GetPrinterData(printer.get(), pd.data(), data.ddd) ||
                      !QueueDevmode(props, printer, &dm, nullptr)))
    result = Fail(RoadStatus::Settings, "cannot read the queue's stored settings", GetLastError());
  for (const ResolvedSetting& r : resolved) {
    if (!result.ok()) break;
    bool ok = true;
    if (r.desc->isText) {
      // The secure print's password: the job's id (DDM 435, sent as the
      // job's user id), and the queue's confidential user id and password,
      // which the document events require for secure and sample print.
      std::u16string text = Widen(r.text);
      const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
      for (WORD id : {DDM_USER_ID, DDM_CONFIDENTIAL_ID, DDM_CONFIDENTIAL_PASSWORD})
        ok = ok && ddm_SetValue(id, dm.data(), pd.data(), DDM_TYPE_STRING, bytes, text.c_str()) == 0;
      printerDataChanged = true;
    } else if (r.desc->id == DDM_LAYOUTMODE || r.desc->id == DDM_POSTERPARTS) {
      ok = ddm_SetNumber(DDM_LAYOUTMODE, dm.data(), pd.data(), r.layout);
      if (ok && r.desc->id == DDM_POSTERPARTS && r.number != 0)
        ok = ddm_SetNumber(DDM_POSTERPARTS, dm.data(), pd.data(), r.number);
    } else {
      ok = ddm_SetNumber(r.desc->id, dm.data(), pd.data(), r.number);
      // The standard colour member follows the colour mode.
      if (ok && r.desc->id == DDM_COLORMODE)
        ok = ddm_SetNumber(DDM_COLOR, dm.data(), pd.data(), r.number == 1 ? DMCOLOR_MONOCHROME : DMCOLOR_COLOR);
    }
    if (!ok) result = Fail(RoadStatus::Settings, "cannot set " + r.desc->name + " in the devmode");
  }
  // kestrelui merges the changed devmode into the queue's (its checks and
  // rules applied); the result is what the spooler keeps.
  if (result.ok() && !QueueDevmode(props, printer, &merged, dm.data()))
    result = Fail(RoadStatus::Settings, "kestrelui refused the settings", GetLastError());
  for (const ResolvedSetting& r : resolved) {
    if (!result.ok()) break;
    if (r.desc->isText) continue;
    LONG got = 0;
    const WORD id = r.desc->id == DDM_POSTERPARTS && r.number == 0 ? DDM_LAYOUTMODE : r.desc->id;
    const LONG want = id == DDM_LAYOUTMODE ? r.layout : r.number;
    if (!ddm_GetNumber(id, merged.data(), pd.data(), &got) || got != want)
      result = Fail(RoadStatus::BadSetting, r.desc->name + " \"" + r.text +
                                                "\" is not allowed with the queue's other settings (the model's rules "
                                                "changed it)");
  }
  // Secure and sample print are held at the printer under the queue's
  // confidential id: without one the document events would refuse every job.
  LONG jobType = 0;
  if (result.ok() && ddm_GetNumber(DDM_JOBTYPE, merged.data(), pd.data(), &jobType) &&
      (jobType == kJobTypeSecure || jobType == kJobTypeSample)) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(DDM_CONFIDENTIAL_ID, merged.data(), pd.data(), &type, &size, &value) != 0 || value == 0 ||
        *reinterpret_cast<const char16_t*>(value) == 0)
      result = Fail(RoadStatus::BadSetting, "secure and sample print need a password (--password)");
  }
  if (result.ok()) {
    PRINTER_INFO_8W info{merged.data()};
    if (!SetPrinterW(printer.get(), 8, reinterpret_cast<LPBYTE>(&info), 0))
      result = Fail(RoadStatus::Settings, "the spooler did not store the settings", GetLastError());
  }
  if (result.ok() && printerDataChanged && !pd_SetPrinterData(printer.get(), pd.data(), data.ddd, 1))
    result = Fail(RoadStatus::Settings, "the queue's printer data was not stored", GetLastError());
  CloseModelData(&data);
  return result;
}

RoadResult RoadReadSettings(const RoadQueue& q, std::vector<RoadSetting>* settings) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  settings->clear();
  OpenPrinter printer(RoadPrinterName(q));
  if (!printer.get()) return Fail(RoadStatus::Settings, "cannot open the printer", GetLastError());
  RoadResult result;
  ModelData data = OpenQueueData(printer.get(), &result);
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE), dm;
  if (result.ok() && (!pd_GetPrinterData(printer.get(), pd.data(), data.ddd) ||
                      !QueueDevmode(Props(data.library), printer, &dm, nullptr)))
    result = Fail(RoadStatus::Settings, "cannot read the queue's stored settings", GetLastError());
  LONG layout = 0;
  if (result.ok()) ddm_GetNumber(DDM_LAYOUTMODE, dm.data(), pd.data(), &layout);
  for (const SettingDesc& d : SettingTable()) {
    if (!result.ok()) break;
    if (d.isText) continue;  // the password is not shown
    LONG v = 0;
    if (!ddm_GetNumber(d.id, dm.data(), pd.data(), &v)) continue;  // a member the model lacks
    if (d.id == DDM_LAYOUTMODE) v = layout == 2 ? 1 : 0;
    if (d.id == DDM_POSTERPARTS && layout != 1) v = 0;
    std::string text = std::to_string(v);
    for (const auto& [name, value] : d.values)
      if (value == v) text = name;
    settings->push_back({d.name, text});
  }
  CloseModelData(&data);
  return result;
}

namespace {

// The stamp `name` of the queue's store in the devmode: the record's text,
// size, font and colour, and the font's escapement (tenths of a degree) as
// the stamp's angle in whole degrees, 0-359.
bool StampFromStore(HANDLE printer, HCDDD ddd, const std::u16string& name, void* devmode, void* printerData) {
  STAMPINFO record{};
  if (zanStamp_GetStampInfo(printer, ddd, name.c_str(), &record, FALSE) != STAMP_OK) return false;
  const std::u16string stampName = record.name, text = record.text;
  constexpr LONG kFullTurn = 360, kTenths = 10;
  const LONG angle = ((record.font.lfEscapement / kTenths) % kFullTurn + kFullTurn) % kFullTurn;
  return ddm_SetValue(DDM_STAMPNAME, devmode, printerData, DDM_TYPE_STRING,
                      static_cast<DWORD>((stampName.size() + 1) * sizeof(char16_t)), stampName.c_str()) == 0 &&
         ddm_SetValue(DDM_STAMP_TEXT_NAME, devmode, printerData, DDM_TYPE_STRING,
                      static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)), text.c_str()) == 0 &&
         ddm_SetValue(DDM_STAMP_FONT, devmode, printerData, DDM_TYPE_FONT, sizeof record.font, &record.font) == 0 &&
         ddm_SetNumber(DDM_STAMP_SIZE, devmode, printerData, record.size) &&
         ddm_SetNumber(DDM_STAMP_COLOR, devmode, printerData, static_cast<LONG>(record.color)) &&
         ddm_SetNumber(DDM_STAMP_ANGLE, devmode, printerData, angle);
}

// The document's own settings: the queue's devmode changed for the job.
bool DocumentDevmode(const RoadQueue& q, const RoadDocument& document, std::vector<BYTE>* dm, RoadResult* result) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  OpenPrinter printer(RoadPrinterName(q));
  RoadResult opened;
  ModelData data = OpenQueueData(printer.get(), &opened);
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  bool ok = opened.ok() && pd_GetPrinterData(printer.get(), pd.data(), data.ddd) &&
            QueueDevmode(Props(data.library), printer, dm, nullptr);
  if (!ok) *result = Fail(RoadStatus::Settings, "cannot read the queue's settings for the document");
  if (ok && !document.stamp.empty() &&
      !StampFromStore(printer.get(), data.ddd, document.stamp, dm->data(), pd.data())) {
    *result = Fail(RoadStatus::Settings, "the queue's stamp store has no stamp \"" + Narrow(document.stamp) + "\"");
    ok = false;
  }
  if (ok && document.settings && !document.settings(dm->data(), pd.data())) {
    *result = Fail(RoadStatus::Document, "the document's settings cannot be made");
    ok = false;
  }
  CloseModelData(&data);
  return ok;
}

}  // namespace

RoadJob RoadPrint(const RoadQueue& q, const RoadDocument& document) {
  RoadJob job;
  job.printer = RoadPrinterName(q);
  OpenPrinter printer(job.printer);
  if (!printer.get()) {
    job.result = Fail(RoadStatus::Install, "cannot open the printer", GetLastError());
    return job;
  }
  const bool filePort = q.tcpPort == 0;
  const std::u16string port = PortName(q);

  std::vector<BYTE> devmode;
  if ((document.settings || !document.stamp.empty()) && !DocumentDevmode(q, document, &devmode, &job.result)) return job;
  HDC hdc = CreateDCW(nullptr, job.printer.c_str(), nullptr,
                      devmode.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(devmode.data()));
  if (hdc == nullptr) {
    job.result = Fail(RoadStatus::Document, "CreateDCW failed", GetLastError());
    return job;
  }
  // The DC's document is a spooler job of the printer (StartDocW answers
  // its id): the renderer's stream goes through the spooler to kestrelum and
  // the port.
  DWORD jobId = 0;
  bool ok = KpDcUseSpoolerJobs(hdc, TRUE) != FALSE;
  if (!ok) job.result = Fail(RoadStatus::Document, "the DC's document cannot be a spooler job", GetLastError());
  DOCINFOW info{sizeof(DOCINFOW), document.name.c_str(), nullptr, nullptr, 0};
  if (ok) {
    const int started = StartDocW(hdc, &info);
    if (started <= 0) {
      // The driver's document events may refuse the document (cancelled);
      // otherwise the spooler's job could not start: a port that does not
      // open (no printer listening, a file that cannot be made).
      const DWORD error = GetLastError();
      job.result = error == ERROR_CANCELLED
                       ? Fail(RoadStatus::Document, "StartDocW failed: the driver refused the document", error)
                       : Fail(RoadStatus::Job,
                              "StartDocW failed: the job could not start on the port " + Narrow(port) +
                                  " (is the printer there?)",
                              error);
      ok = false;
    } else {
      jobId = static_cast<DWORD>(started);
    }
  }
  size_t page = 0;
  std::vector<std::vector<std::string>> calls(document.pages.size());
  for (; ok && page < document.pages.size(); ++page) {
    const DWORD logFrom = KpDcLogCount(hdc);
    if (StartPage(hdc) <= 0) {
      job.result = Fail(RoadStatus::Document, "StartPage of page " + std::to_string(page + 1) + " failed",
                        GetLastError());
      ok = false;
    } else if (document.pages[page].draw && !document.pages[page].draw(hdc)) {
      job.result = Fail(RoadStatus::Document, "drawing page " + std::to_string(page + 1) + " (" +
                                                  document.pages[page].what + ") failed",
                        GetLastError());
      ok = false;
    } else if (EndPage(hdc) <= 0) {
      job.result = Fail(RoadStatus::Document, "EndPage of page " + std::to_string(page + 1) + " failed",
                        GetLastError());
      ok = false;
    }
    calls[page] = DrawingCalls(hdc, logFrom);
    KpDcClearLog(hdc);
  }
  if (ok && EndDoc(hdc) <= 0) {
    job.result = Fail(RoadStatus::Job, "EndDoc failed: the job did not reach the port whole", GetLastError());
    ok = false;
  }
  if (!ok) AbortDoc(hdc);
  DeleteDC(hdc);

  // A job that found its port owned by another job is held and goes out
  // after it, once its EndDocPrinter has answered: wait for it (a minute at
  // most) before reading what reached the port.
  for (int waited = 0; jobId != 0 && waited < 60000; waited += 5) {
    KP_SPOOLER_JOB_STATE held{};
    if (!KpSpoolerGetJobState(jobId, &held) || (held.status & JOB_STATUS_SPOOLING) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  KP_SPOOLER_JOB_STATE state{};
  if (jobId != 0 && KpSpoolerGetJobState(jobId, &state)) {
    job.spoolerStatus = state.status;
    job.spoolerError = state.error;
    job.portBytes = state.bytes;
    job.bytes.resize(KpSpoolerJobOutput(jobId, nullptr, 0));
    KpSpoolerJobOutput(jobId, job.bytes.data(), job.bytes.size());
    if (ok && (state.error != 0 || (state.status & JOB_STATUS_ERROR))) {
      job.result = Fail(RoadStatus::Job, "the port failed the job", state.error);
      ok = false;
    }
  }
  if (!ok) return job;
  if (jobId == 0 || job.bytes.size() != job.portBytes) {
    job.result = Fail(RoadStatus::Output, "the spooler kept no copy of the job's bytes (KpSpoolerRecordOutput)");
    return job;
  }
  if (!filePort) job.printerStatus = PrinterStatus(job.printer);
  // The summary: PJL lines, the strict checker's verdict, pages.
  job.pjl = PjlLines(job.bytes);
  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()),
                                                        job.bytes.size(), pclxl_check::Mode::Job, &listing);
  job.check = report.text();
  RoadPageSummary* current = nullptr;
  for (size_t i = 0; i < listing.items.size(); ++i) {
    const pclxl_check::ListedItem& item = listing.items[i];
    if (item.name == "BeginPage") {
      job.pages.push_back({});
      current = &job.pages.back();
      current->bytes = item.offset;  // the start, until EndPage
    }
    if (current == nullptr) continue;
    current->operators.push_back(item.name);
    if (item.name == "EndPage") {
      const size_t end = i + 1 < listing.items.size() ? listing.items[i + 1].offset : job.bytes.size();
      current->bytes = end - current->bytes;
      current = nullptr;
    }
  }
  // Sheets and pages are one to one without N-up, poster, booklet or
  // copies: each sheet gets its page's line and calls.
  if (job.pages.size() == document.pages.size())
    for (size_t i = 0; i < job.pages.size(); ++i) {
      job.pages[i].what = document.pages[i].what;
      job.pages[i].calls = calls[i];
    }
  if (!report.ok()) job.result = Fail(RoadStatus::Job, "the job fails the strict PCL XL check: " + job.check);
  return job;
}

}  // namespace kestrel::road
