// Printer information and the per-printer value store (see
// kplatform/winspool_printer.h).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/winspool_printer.h"
#include "spooler/spooler.h"

namespace {

constexpr char16_t kPrintersKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr char16_t kDataKey[] = u"\\PrinterDriverData";

// The registry key of a printer's data. A backslash cannot stand in a key
// name, so one in a printer name ("\\server\queue") is kept as a comma.
std::u16string DataKeyName(const std::u16string& printer) {
  std::u16string key = kPrintersKey;
  for (char16_t c : printer) key += (c == u'\\') ? u',' : c;
  key += kDataKey;
  return key;
}

// The printer's own key (above its data key), where its default devmode is
// kept.
std::u16string PrinterKeyName(const std::u16string& printer) {
  std::u16string key = DataKeyName(printer);
  return key.substr(0, key.size() - (sizeof(kDataKey) / sizeof(char16_t) - 1));
}
constexpr char16_t kDevmodeValue[] = u"Default DevMode";
constexpr DWORD kDevmodeSizeAt = 68;   // dmSize in DEVMODEW
constexpr DWORD kDevmodeExtraAt = 70;  // dmDriverExtra
constexpr DWORD kDevmodeLeast = 72;    // up to and with dmDriverExtra

// The printer's stored default devmode (SetPrinterW); empty when none.
std::vector<BYTE> StoredDevmode(const std::u16string& printer) {
  std::vector<BYTE> dm;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PrinterKeyName(printer).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return dm;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, kDevmodeValue, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_BINARY &&
      bytes >= kDevmodeLeast) {
    dm.resize(bytes);
    if (RegQueryValueExW(key, kDevmodeValue, nullptr, &type, dm.data(), &bytes) != ERROR_SUCCESS) dm.clear();
    dm.resize(std::min<size_t>(dm.size(), bytes));
  }
  RegCloseKey(key);
  return dm;
}

// Opens the data key of an open printer handle; creates it when `create`.
DWORD OpenDataKey(HANDLE printer, bool create, HKEY* key) {
  std::u16string name;
  if (!KpPrinterHandleName(printer, &name)) return ERROR_INVALID_HANDLE;
  std::u16string path = DataKeyName(name);
  LONG rc = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key,
                                     nullptr)
                   : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key);
  return static_cast<DWORD>(rc);
}

std::u16string DriverName(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 1, nullptr, 0, &needed);
  if (needed == 0) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterDriverW(printer, nullptr, 1, buffer.data(), needed, &needed)) return {};
  DRIVER_INFO_1W info;
  std::memcpy(&info, buffer.data(), sizeof(info));
  return info.pName ? std::u16string(info.pName) : std::u16string();
}

// Lays out a record followed by its strings in the caller's buffer.
class Packer {
 public:
  explicit Packer(size_t recordSize) : size_(recordSize) {}
  void Add(const std::u16string& s) { strings_.push_back(s), size_ += (s.size() + 1) * sizeof(char16_t); }
  size_t size() const { return size_; }
  // Copies string n behind the record; answers its address in `out`.
  LPWSTR Place(BYTE* out, size_t recordSize, size_t n) {
    size_t at = recordSize;
    for (size_t i = 0; i < n; ++i) at += (strings_[i].size() + 1) * sizeof(char16_t);
    std::memcpy(out + at, strings_[n].c_str(), (strings_[n].size() + 1) * sizeof(char16_t));
    return reinterpret_cast<LPWSTR>(out + at);
  }

 private:
  size_t size_;
  std::vector<std::u16string> strings_;
};

// Failure injection (KpSpoolerFailPrinterData): per kind, the calls still
// to pass before the failures and the failures left.
struct Injection {
  std::mutex lock;
  DWORD pass = 0;
  DWORD fail = 0;
  DWORD error = ERROR_WRITE_FAULT;
};
Injection g_failGet;
Injection g_failSet;

// True when this call is chosen to fail; counts the call.
bool InjectedFailure(Injection& f, DWORD* error) {
  std::lock_guard<std::mutex> hold(f.lock);
  if (f.fail == 0) return false;
  if (f.pass > 0) {
    --f.pass;
    return false;
  }
  --f.fail;
  *error = f.error;
  return true;
}

void Arm(Injection& f, DWORD nth, DWORD count, DWORD error) {
  std::lock_guard<std::mutex> hold(f.lock);
  f.pass = nth > 0 ? nth - 1 : 0;
  f.fail = nth > 0 ? count : 0;
  f.error = error;
}

}  // namespace

KP_API void KpSpoolerFailPrinterData(DWORD getNth, DWORD setNth, DWORD count, DWORD error) {
  Arm(g_failGet, getNth, count, error);
  Arm(g_failSet, setNth, count, error);
}

namespace {
// Level 2 attributes a test set (KpSpoolerSetPrinterAttributes), by printer
// name; PRINTER_ATTRIBUTE_LOCAL when none was set.
struct AttributeTable {
  std::mutex lock;
  std::map<std::u16string, DWORD> values;
};
AttributeTable& Attributes() {
  static AttributeTable* t = new AttributeTable;
  return *t;
}
std::u16string FoldName(const std::u16string& name) {
  std::u16string f = name;
  for (char16_t& c : f) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return f;
}
DWORD PrinterAttributes(const std::u16string& name) {
  AttributeTable& t = Attributes();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.values.find(FoldName(name));
  return it == t.values.end() ? PRINTER_ATTRIBUTE_LOCAL : it->second;
}
}  // namespace

KP_API void KpSpoolerSetPrinterAttributes(LPCWSTR printerName, DWORD attributes) {
  if (!printerName) return;
  AttributeTable& t = Attributes();
  std::lock_guard<std::mutex> g(t.lock);
  if (attributes == 0)
    t.values.erase(FoldName(printerName));
  else
    t.values[FoldName(printerName)] = attributes;
}

KP_API BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD size, LPDWORD needed) {
  std::u16string name;
  if (!KpPrinterHandleName(printer, &name)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (level != 1 && level != 2 && level != 8) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!needed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string driver = DriverName(printer);
  const std::vector<BYTE> devmode = level == 1 ? std::vector<BYTE>() : StoredDevmode(name);
  size_t record = level == 1 ? sizeof(PRINTER_INFO_1W) : level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_8W);
  Packer pack(record);
  if (level == 8) {
    // no strings
  } else if (level == 1) {
    pack.Add(name + u"," + driver + u",");  // description
    pack.Add(name);
    pack.Add(u"");  // comment
  } else {
    std::u16string port;
    kp::spooler::PrinterPort(name, &port, nullptr);
    pack.Add(name);
    pack.Add(driver);
    pack.Add(u"");  // share, comment, location, separator file, parameters
    pack.Add(u"winprint");
    pack.Add(u"RAW");
    pack.Add(port);
  }
  // The devmode follows the strings, on an 8-byte boundary.
  const size_t devmodeAt = (pack.size() + 7) / 8 * 8;
  const size_t total = devmode.empty() ? pack.size() : devmodeAt + devmode.size();
  *needed = static_cast<DWORD>(total);
  if (!info || size < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(info, 0, total);
  void* storedDevmode = nullptr;
  if (!devmode.empty()) {
    std::memcpy(info + devmodeAt, devmode.data(), devmode.size());
    storedDevmode = info + devmodeAt;
  }
  if (level == 8) {
    PRINTER_INFO_8W p8 = {};
    p8.pDevMode = storedDevmode;
    std::memcpy(info, &p8, sizeof(p8));
  } else if (level == 1) {
    PRINTER_INFO_1W p1 = {};
    p1.Flags = PRINTER_ENUM_ICON8;
    p1.pDescription = pack.Place(info, record, 0);
    p1.pName = pack.Place(info, record, 1);
    p1.pComment = pack.Place(info, record, 2);
    std::memcpy(info, &p1, sizeof(p1));
  } else {
    PRINTER_INFO_2W p2 = {};
    p2.pPrinterName = pack.Place(info, record, 0);
    p2.pDriverName = pack.Place(info, record, 1);
    LPWSTR empty = pack.Place(info, record, 2);
    p2.pShareName = p2.pComment = p2.pLocation = p2.pSepFile = p2.pParameters = empty;
    p2.pPrintProcessor = pack.Place(info, record, 3);
    p2.pDatatype = pack.Place(info, record, 4);
    p2.pPortName = pack.Place(info, record, 5);
    p2.Attributes = PrinterAttributes(name);
    p2.pDevMode = storedDevmode;
    std::memcpy(info, &p2, sizeof(p2));
  }
  return TRUE;
}

KP_API BOOL WINAPI SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  std::u16string name;
  if (!KpPrinterHandleName(printer, &name)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (level != 8) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!info || command != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PRINTER_INFO_8W p8;
  std::memcpy(&p8, info, sizeof(p8));
  const BYTE* dm = static_cast<const BYTE*>(p8.pDevMode);
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, PrinterKeyName(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    if (dm == nullptr) {
      rc = RegDeleteValueW(key, kDevmodeValue);
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else {
      WORD dmSize = 0, extra = 0;
      std::memcpy(&dmSize, dm + kDevmodeSizeAt, sizeof dmSize);
      std::memcpy(&extra, dm + kDevmodeExtraAt, sizeof extra);
      if (dmSize < kDevmodeLeast)
        rc = ERROR_INVALID_PARAMETER;
      else
        rc = RegSetValueExW(key, kDevmodeValue, 0, REG_BINARY, dm, static_cast<DWORD>(dmSize) + extra);
    }
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD WINAPI GetPrinterDataW(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                                    LPDWORD needed) {
  DWORD injected = 0;
  if (InjectedFailure(g_failGet, &injected)) return injected;
  if (!valueName || !needed || (!data && size != 0)) return ERROR_INVALID_PARAMETER;
  // A name beginning with "LM_" on a printer whose port has a language
  // monitor open is the monitor's to answer (its GetPrinterDataFromPort with
  // control code 0); its answer stands, the value store is not asked. The
  // bytes it gives have no type of their own: REG_BINARY.
  std::u16string printerName;
  if (KpPrinterHandleName(printer, &printerName)) {
    DWORD routed = 0;
    if (KpMonitorRouteValue(printerName, valueName, data, size, needed, &routed)) {
      if (type && (routed == ERROR_SUCCESS || routed == ERROR_MORE_DATA)) *type = REG_BINARY;
      return routed;
    }
  }
  HKEY key = nullptr;
  DWORD rc = OpenDataKey(printer, false, &key);
  if (rc != ERROR_SUCCESS) return rc == ERROR_INVALID_HANDLE ? rc : ERROR_FILE_NOT_FOUND;
  DWORD storedType = 0;
  DWORD bytes = 0;
  rc = static_cast<DWORD>(RegQueryValueExW(key, valueName, nullptr, &storedType, nullptr, &bytes));
  if (rc == ERROR_SUCCESS) {
    *needed = bytes;
    if (type) *type = storedType;
    if (bytes > size) {
      rc = ERROR_MORE_DATA;
    } else if (bytes > 0) {
      DWORD got = size;
      rc = static_cast<DWORD>(RegQueryValueExW(key, valueName, nullptr, &storedType, data, &got));
      if (rc == ERROR_SUCCESS) *needed = got;
    }
  }
  RegCloseKey(key);
  return rc;
}

KP_API DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size) {
  DWORD injected = 0;
  if (InjectedFailure(g_failSet, &injected)) return injected;
  if (!valueName || (!data && size != 0)) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  DWORD rc = OpenDataKey(printer, true, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = static_cast<DWORD>(RegSetValueExW(key, valueName, 0, type, data, size));
  RegCloseKey(key);
  return rc;
}

KP_API DWORD WINAPI DeletePrinterDataW(HANDLE printer, LPWSTR valueName) {
  if (!valueName) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  DWORD rc = OpenDataKey(printer, false, &key);
  if (rc != ERROR_SUCCESS) return rc == ERROR_INVALID_HANDLE ? rc : ERROR_FILE_NOT_FOUND;
  rc = static_cast<DWORD>(RegDeleteValueW(key, valueName));
  RegCloseKey(key);
  return rc;
}
