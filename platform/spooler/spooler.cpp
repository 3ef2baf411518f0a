// The spooler stand-in: printers with their driver's files, and the forms
// database (see kplatform/winspool.h).
#include "spooler/spooler.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "kplatform/kernel32_module.h"
#include "kplatform/root.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_job.h"

namespace {

constexpr char16_t kDriverDirectory[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
constexpr char16_t kEnvironment[] = u"Windows x64";
constexpr DWORD kDriverVersion = 3;

struct BuiltinForm {
  const char16_t* name;
  LONG width;   // thousandths of a millimetre
  LONG length;
};

// Form n is paper size number n.
constexpr BuiltinForm kBuiltinForms[] = {
    {u"Letter", 215900, 279400},
    {u"Letter Small", 215900, 279400},
    {u"Tabloid", 279400, 431800},
    {u"Ledger", 431800, 279400},
    {u"Legal", 215900, 355600},
    {u"Statement", 139700, 215900},
    {u"Executive", 184150, 266700},
    {u"A3", 297000, 420000},
    {u"A4", 210000, 297000},
    {u"A4 Small", 210000, 297000},
    {u"A5", 148000, 210000},
    {u"B4 (JIS)", 257000, 364000},
    {u"B5 (JIS)", 182000, 257000},
    {u"Folio", 215900, 330200},
    {u"Quarto", 215000, 275000},
    {u"10x14", 254000, 355600},
    {u"11x17", 279400, 431800},
    {u"Note", 215900, 279400},
    {u"Envelope #9", 98425, 225425},
    {u"Envelope #10", 104775, 241300},
    {u"Envelope #11", 114300, 263525},
    {u"Envelope #12", 120650, 279400},
    {u"Envelope #14", 127000, 292100},
    {u"C size sheet", 431800, 558800},
    {u"D size sheet", 558800, 863600},
    {u"E size sheet", 863600, 1117600},
    {u"Envelope DL", 110000, 220000},
    {u"Envelope C5", 162000, 229000},
    {u"Envelope C3", 324000, 458000},
    {u"Envelope C4", 229000, 324000},
    {u"Envelope C6", 114000, 162000},
    {u"Envelope C65", 114000, 229000},
    {u"Envelope B4", 250000, 353000},
    {u"Envelope B5", 176000, 250000},
    {u"Envelope B6", 176000, 125000},
    {u"Envelope", 110000, 230000},
    {u"Envelope Monarch", 98425, 190500},
    {u"6 3/4 Envelope", 92075, 165100},
    {u"US Std Fanfold", 377825, 279400},
    {u"German Std Fanfold", 215900, 304800},
    {u"German Legal Fanfold", 215900, 330200},
    {u"B4 (ISO)", 250000, 353000},
    {u"Japanese Postcard", 100000, 148000},
    {u"9x11", 228600, 279400},
    {u"10x11", 254000, 279400},
    {u"15x11", 381000, 279400},
    {u"Envelope Invite", 220000, 220000},
    {u"Reserved48", 1, 1},
    {u"Reserved49", 1, 1},
    {u"Letter Extra", 241300, 304800},
    {u"Legal Extra", 241300, 381000},
    {u"Tabloid Extra", 296926, 457200},
    {u"A4 Extra", 235458, 322326},
    {u"Letter Transverse", 215900, 279400},
    {u"A4 Transverse", 210000, 297000},
    {u"Letter Extra Transverse", 241300, 304800},
    {u"Super A", 227000, 356000},
    {u"Super B", 305000, 487000},
    {u"Letter Plus", 215900, 322326},
    {u"A4 Plus", 210000, 330000},
    {u"A5 Transverse", 148000, 210000},
    {u"B5 (JIS) Transverse", 182000, 257000},
    {u"A3 Extra", 322000, 445000},
    {u"A5 Extra", 174000, 235000},
    {u"B5 (ISO) Extra", 201000, 276000},
    {u"A2", 420000, 594000},
    {u"A3 Transverse", 297000, 420000},
    {u"A3 Extra Transverse", 322000, 445000},
    {u"Japanese Double Postcard", 200000, 148000},
    {u"A6", 105000, 148000},
    {u"Japanese Envelope Kaku #2", 240000, 332000},
    {u"Japanese Envelope Kaku #3", 216000, 277000},
    {u"Japanese Envelope Chou #3", 120000, 235000},
    {u"Japanese Envelope Chou #4", 90000, 205000},
    {u"Letter Rotated", 279400, 215900},
    {u"A3 Rotated", 420000, 297000},
    {u"A4 Rotated", 297000, 210000},
    {u"A5 Rotated", 210000, 148000},
    {u"B4 (JIS) Rotated", 364000, 257000},
    {u"B5 (JIS) Rotated", 257000, 182000},
    {u"Japanese Postcard Rotated", 148000, 100000},
    {u"Double Japan Postcard Rotated", 148000, 200000},
    {u"A6 Rotated", 148000, 105000},
    {u"Japan Envelope Kaku #2 Rotated", 332000, 240000},
    {u"Japan Envelope Kaku #3 Rotated", 277000, 216000},
    {u"Japan Envelope Chou #3 Rotated", 235000, 120000},
    {u"Japan Envelope Chou #4 Rotated", 205000, 90000},
    {u"B6 (JIS)", 128000, 182000},
    {u"B6 (JIS) Rotated", 182000, 128000},
    {u"12x11", 304800, 279400},
    {u"Japan Envelope You #4", 105000, 235000},
    {u"Japan Envelope You #4 Rotated", 235000, 105000},
    {u"PRC 16K", 146000, 215000},
    {u"PRC 32K", 97000, 151000},
    {u"PRC 32K(Big)", 97000, 151000},
    {u"PRC Envelope #1", 102000, 165000},
    {u"PRC Envelope #2", 102000, 176000},
    {u"PRC Envelope #3", 125000, 176000},
    {u"PRC Envelope #4", 110000, 208000},
    {u"PRC Envelope #5", 110000, 220000},
    {u"PRC Envelope #6", 120000, 230000},
    {u"PRC Envelope #7", 160000, 230000},
    {u"PRC Envelope #8", 120000, 309000},
    {u"PRC Envelope #9", 229000, 324000},
    {u"PRC Envelope #10", 324000, 458000},
    {u"PRC 16K Rotated", 215000, 146000},
    {u"PRC 32K Rotated", 151000, 97000},
    {u"PRC 32K(Big) Rotated", 151000, 97000},
    {u"PRC Envelope #1 Rotated", 165000, 102000},
    {u"PRC Envelope #2 Rotated", 176000, 102000},
    {u"PRC Envelope #3 Rotated", 176000, 125000},
    {u"PRC Envelope #4 Rotated", 208000, 110000},
    {u"PRC Envelope #5 Rotated", 220000, 110000},
    {u"PRC Envelope #6 Rotated", 230000, 120000},
    {u"PRC Envelope #7 Rotated", 230000, 160000},
    {u"PRC Envelope #8 Rotated", 309000, 120000},
    {u"PRC Envelope #9 Rotated", 324000, 229000},
    {u"PRC Envelope #10 Rotated", 458000, 324000},
};
static_assert(sizeof(kBuiltinForms) / sizeof(kBuiltinForms[0]) == 118, "built-in forms 1-118");

struct Form {
  DWORD flags;
  std::u16string name;
  SIZEL size;
  RECTL area;
};

struct Printer {
  std::u16string name, driver, dataFile, configFile, driverPath;
  std::u16string port, monitor;  // KpSpoolerSetPrinterPort
};

struct State {
  std::mutex lock;
  std::vector<Printer> printers;
  std::vector<Form> userForms;
  bool failEnumForms = false;
  bool registered = false;
};

void OnRootChanged();

State& S() {
  static State* s = [] {
    auto* made = new State;  // outlives static destructors
    return made;
  }();
  static std::once_flag once;
  std::call_once(once, [] { KpOnRootChanged(OnRootChanged); });
  return *s;
}

void OnRootChanged() {
  State& s = S();
  {
    std::lock_guard<std::mutex> g(s.lock);
    s.printers.clear();
    s.userForms.clear();
    s.failEnumForms = false;
  }
  kp::spooler::ResetJobSide();
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::u16string FullDriverPath(LPCWSTR file) {
  if (!file || !*file) return u"";
  std::u16string f = file;
  if (f.find(u'\\') != std::u16string::npos || f.find(u'/') != std::u16string::npos) return f;
  return std::u16string(kDriverDirectory) + f;
}

const Printer* FindPrinterLocked(State& s, const std::u16string& name) {
  for (const Printer& p : s.printers)
    if (SameName(p.name, name)) return &p;
  return nullptr;
}

// Every form of the database, built-ins first.
std::vector<Form> AllFormsLocked(State& s) {
  std::vector<Form> all;
  all.reserve(118 + s.userForms.size());
  for (const BuiltinForm& b : kBuiltinForms)
    all.push_back(Form{FORM_BUILTIN, b.name, SIZEL{b.width, b.length}, RECTL{0, 0, b.width, b.length}});
  for (const Form& f : s.userForms) all.push_back(f);
  return all;
}

// Size of a string with its NUL, in bytes.
DWORD Bytes(const std::u16string& s) { return static_cast<DWORD>((s.size() + 1) * sizeof(char16_t)); }

// Appends s at the end of the caller's buffer (strings are laid out from the
// end backwards, as the spooler does) and answers its address.
LPWSTR PutString(LPBYTE buffer, DWORD* end, const std::u16string& s) {
  DWORD n = Bytes(s);
  *end -= n;
  std::memcpy(buffer + *end, s.c_str(), n);
  return reinterpret_cast<LPWSTR>(buffer + *end);
}

bool AcceptLevel1Or2(DWORD level) { return level == 1 || level == 2; }

}  // namespace

namespace kp::spooler {
bool IsPrinter(const std::u16string& name) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return FindPrinterLocked(s, name) != nullptr;
}

bool PrinterPort(const std::u16string& name, std::u16string* port, std::u16string* monitor) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  const Printer* p = FindPrinterLocked(s, name);
  if (!p) return false;
  if (port) *port = p->port;
  if (monitor) *monitor = p->monitor;
  return true;
}
}  // namespace kp::spooler

KP_API BOOL WINAPI GetPrinterDriverW(HANDLE printer, LPWSTR /*environment*/, DWORD level, LPBYTE info, DWORD size,
                                     LPDWORD needed) {
  std::u16string name;
  if (!KpPrinterHandleName(printer, &name)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!AcceptLevel1Or2(level)) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  const Printer* p = FindPrinterLocked(s, name);
  if (!p) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  const std::u16string environment = kEnvironment;
  DWORD need = level == 1 ? static_cast<DWORD>(sizeof(DRIVER_INFO_1W)) + Bytes(p->driver)
                          : static_cast<DWORD>(sizeof(DRIVER_INFO_2W)) + Bytes(p->driver) + Bytes(environment) +
                                Bytes(p->driverPath) + Bytes(p->dataFile) + Bytes(p->configFile);
  if (needed) *needed = need;
  if (!info || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD end = need;
  if (level == 1) {
    DRIVER_INFO_1W one{};
    one.pName = PutString(info, &end, p->driver);
    std::memcpy(info, &one, sizeof one);
    return TRUE;
  }
  DRIVER_INFO_2W two{};
  two.cVersion = kDriverVersion;
  two.pName = PutString(info, &end, p->driver);
  two.pEnvironment = PutString(info, &end, environment);
  two.pDriverPath = PutString(info, &end, p->driverPath);
  two.pDataFile = PutString(info, &end, p->dataFile);
  two.pConfigFile = PutString(info, &end, p->configFile);
  std::memcpy(info, &two, sizeof two);
  return TRUE;
}

// The checks the form calls make first, each failure with its own error:
// a printer handle, level 1, the pointers the call needs.
static bool FormCallArgs(HANDLE printer, DWORD level, bool pointersGiven) {
  std::u16string name;
  if (!KpPrinterHandleName(printer, &name)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return false;
  }
  if (!pointersGiven) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

KP_API BOOL WINAPI EnumFormsW(HANDLE printer, DWORD level, LPBYTE forms, DWORD size, LPDWORD needed,
                              LPDWORD returned) {
  if (!FormCallArgs(printer, level, needed != nullptr && returned != nullptr)) return FALSE;
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  *needed = 0;
  *returned = 0;
  if (s.failEnumForms) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  std::vector<Form> all = AllFormsLocked(s);
  DWORD need = 0;
  for (const Form& f : all) need += static_cast<DWORD>(sizeof(FORM_INFO_1W)) + Bytes(f.name);
  *needed = need;
  if (!forms || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD end = need;
  for (size_t i = 0; i < all.size(); ++i) {
    FORM_INFO_1W record{};
    record.Flags = all[i].flags;
    record.pName = PutString(forms, &end, all[i].name);
    record.Size = all[i].size;
    record.ImageableArea = all[i].area;
    std::memcpy(forms + i * sizeof(FORM_INFO_1W), &record, sizeof record);
  }
  *returned = static_cast<DWORD>(all.size());
  return TRUE;
}

KP_API BOOL WINAPI GetFormW(HANDLE printer, LPWSTR formName, DWORD level, LPBYTE form, DWORD size, LPDWORD needed) {
  if (!FormCallArgs(printer, level, formName != nullptr && needed != nullptr)) return FALSE;
  const std::u16string name = formName;
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (const Form& f : AllFormsLocked(s)) {
    if (!SameName(f.name, name)) continue;
    const DWORD need = static_cast<DWORD>(sizeof(FORM_INFO_1W)) + Bytes(f.name);
    *needed = need;
    if (!form || size < need) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    DWORD end = need;
    FORM_INFO_1W record{};
    record.Flags = f.flags;
    record.pName = PutString(form, &end, f.name);
    record.Size = f.size;
    record.ImageableArea = f.area;
    std::memcpy(form, &record, sizeof record);
    return TRUE;
  }
  *needed = 0;
  SetLastError(ERROR_INVALID_FORM_NAME);
  return FALSE;
}

KP_API BOOL WINAPI AddFormW(HANDLE printer, DWORD level, LPBYTE form) {
  if (!FormCallArgs(printer, level, form != nullptr)) return FALSE;
  FORM_INFO_1W in{};
  std::memcpy(&in, form, sizeof in);
  if (!in.pName || !in.pName[0]) {
    SetLastError(ERROR_INVALID_FORM_NAME);
    return FALSE;
  }
  const RECTL& a = in.ImageableArea;
  if (in.Size.cx <= 0 || in.Size.cy <= 0 || a.left < 0 || a.top < 0 || a.right <= a.left || a.bottom <= a.top ||
      a.right > in.Size.cx || a.bottom > in.Size.cy) {
    SetLastError(ERROR_INVALID_FORM_SIZE);
    return FALSE;
  }
  std::u16string name = in.pName;
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (const Form& f : AllFormsLocked(s)) {
    if (SameName(f.name, name)) {
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
  }
  s.userForms.push_back(Form{FORM_USER, name, in.Size, in.ImageableArea});
  return TRUE;
}

KP_API BOOL KpSpoolerAddPrinter(LPCWSTR printerName, LPCWSTR driverName, LPCWSTR dataFile, LPCWSTR configFile,
                                LPCWSTR driverPath) {
  if (!printerName || !printerName[0] || !driverName || !driverName[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Printer p{printerName, driverName, FullDriverPath(dataFile), FullDriverPath(configFile),
            FullDriverPath(driverPath), u"", u""};
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (Printer& known : s.printers) {
    if (SameName(known.name, p.name)) {
      known = p;
      return TRUE;
    }
  }
  s.printers.push_back(p);
  return TRUE;
}

KP_API BOOL KpSpoolerSetPrinterPort(LPCWSTR printerName, LPCWSTR portName, LPCWSTR languageMonitor) {
  if (!printerName || !portName || !portName[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (Printer& p : s.printers) {
    if (SameName(p.name, printerName)) {
      p.port = portName;
      p.monitor = languageMonitor ? languageMonitor : u"";
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  return FALSE;
}

KP_API void KpSpoolerFailEnumForms(BOOL fail) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.failEnumForms = fail != FALSE;
}

KP_API void KpSpoolerReset(void) { OnRootChanged(); }
