// The StartDoc job settings: the fax front end, the confidential-print
// check, the job dialog with the accounting popups (the input-popup
// component, or the popup dialog 3550).
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/qsp.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_dialog.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_window.h"
#include "kplatform/wide_text.h"

namespace {

// Resource strings.
constexpr UINT kStrConfidentialCaption = 6;
constexpr UINT kStrConfidentialMissing = 9328;
constexpr UINT kStrFaxFolder = 9366;     // the fax data folder below the Windows drive
constexpr UINT kStrFaxSubfolder = 9367;  // its subfolder for the front end
constexpr UINT kStrFaxRegistryKey = 9368;
constexpr UINT kStrFaxFrontEnd = 9370;   // the front end's library name, without ".DLL"
constexpr UINT kStrCodeRangeHead = 9266;
constexpr UINT kStrFieldNames[3] = {9263, 9264, 9265};
constexpr UINT kStrFieldTexts[3] = {9267, 9268, 9269};
constexpr UINT kStrFieldTexts2[3] = {9270, 9271, 9272};

// The fax step.
constexpr BYTE kJobTypeFax = 5;                 // DDM 334
constexpr DWORD kPrinterDataFaxFlagsByte = 11;  // byte of the printer-data record
constexpr BYTE kFaxFrontEndAllowed = 0x10;
constexpr DWORD kFaxAnswerBytes = FAX_ANSWER_BYTES;  // written to the fax data file
constexpr DWORD kFaxLineField = 32;             // each answer line's place in the output buffer
constexpr DWORD kFaxLineOutput = 2 * kFaxLineField;
constexpr char16_t kFaxTempPrefix[] = u"KFX";
constexpr DWORD kFaxRegistryValueBytes = 522;
constexpr DWORD kFaxFrontEndModeAddressBook = 2;  // DDM 4113 set

// The confidential check.
constexpr BYTE kJobTypeSecure = 1;
constexpr BYTE kJobTypeSecureB = 2;
constexpr DWORD kPrinterDataConfidentialId = 1134;  // UTF-16 text of the printer-data record

// The accounting popups.
constexpr DWORD kAnswerBytes = 1024;
constexpr DWORD kCapScrambleAccountId = 0x40000000;
// Input-popup component: class f2a5aec9-686e-4c95-bd6d-dd58dd40e3a7,
// interface f8cead2f-bf3e-4da0-a961-297414cfca4c.
constexpr GUID kClsidInputPopup = {0xf2a5aec9, 0x686e, 0x4c95, {0xbd, 0x6d, 0xdd, 0x58, 0xdd, 0x40, 0xe3, 0xa7}};
constexpr GUID kIidInputPopup = {0xf8cead2f, 0xbf3e, 0x4da0, {0xa9, 0x61, 0x29, 0x74, 0x14, 0xcf, 0xca, 0x4c}};

typedef BOOL (*StartDocFaxFn)(HINSTANCE resources, HWND window, LPSTR answer, DWORD mode);

LONG Number(WORD id, void* devmode, void* printerData, LONG fallback = 0) {
  LONG v = 0;
  return ddm_GetNumber(id, devmode, printerData, &v) ? v : fallback;
}

std::u16string LoadText(UINT id) {
  WCHAR buffer[513] = {};
  int n = resource_LoadString(id, buffer, 513);
  return std::u16string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// Makes the folder when it cannot be made current (the current folder is
// restored).
void MakeFolder(const std::u16string& path) {
  WCHAR current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  if (!SetCurrentDirectoryW(path.c_str())) CreateDirectoryW(path.c_str(), nullptr);
  SetCurrentDirectoryW(current);
}

// The Windows drive ("C:"), or empty when the Windows folder cannot be read.
std::u16string WindowsDrive() {
  WCHAR windows[MAX_PATH] = {};
  if (!GetWindowsDirectoryW(windows, MAX_PATH)) return {};
  std::u16string drive(windows);
  size_t at;
  while ((at = drive.rfind(u'\\')) != std::u16string::npos) drive.resize(at);
  return drive;
}

// The parent folder of a path ending with or without a backslash.
std::u16string Parent(std::u16string path) {
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  size_t at = path.rfind(u'\\');
  return at == std::u16string::npos ? std::u16string() : path.substr(0, at);
}

void PrepareFaxFolders() {
  std::u16string folder = WindowsDrive() + LoadText(kStrFaxFolder);
  std::u16string up = Parent(Parent(folder));
  if (!up.empty()) MakeFolder(up);
  if (!Parent(folder).empty()) MakeFolder(Parent(folder));
  MakeFolder(folder);
  std::u16string sub = folder + LoadText(kStrFaxSubfolder);
  MakeFolder(sub);
  std::u16string keyName = LoadText(kStrFaxRegistryKey);
  HKEY key = nullptr;
  if (!keyName.empty() &&
      RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
          ERROR_SUCCESS) {
    BYTE value[kFaxRegistryValueBytes] = {};
    size_t chars = std::min(sub.size(), static_cast<size_t>(kFaxRegistryValueBytes / 2 - 1));
    std::memcpy(value, sub.data(), chars * 2);
    RegSetValueExW(key, nullptr, 0, REG_SZ, value, kFaxRegistryValueBytes);
    RegCloseKey(key);
  }
}

// The first line of `answer` (up to a line feed) into the 32-byte field, cut
// to 31 characters and a NUL; answers where the next line starts.
size_t TakeLine(const char* answer, size_t at, size_t end, char* field) {
  size_t stop = at;
  while (stop < end && answer[stop] != '\n' && answer[stop] != 0) ++stop;
  if (field) {
    size_t n = std::min(stop - at, static_cast<size_t>(kFaxLineField - 1));
    std::memcpy(field, answer + at, n);
    field[n] = 0;
  }
  return stop < end && answer[stop] == '\n' ? stop + 1 : stop;
}

}  // namespace

void local_TakeFaxAnswerLines(char* answer, void* pvOut, ULONG cbOut) {
  if (!answer) return;
  answer[kFaxAnswerBytes] = 0;
  char* out = pvOut && cbOut >= kFaxLineOutput ? static_cast<char*>(pvOut) : nullptr;
  size_t at = TakeLine(answer, 0, kFaxAnswerBytes, out);
  at = TakeLine(answer, at, kFaxAnswerBytes, out ? out + kFaxLineField : nullptr);
  std::memmove(answer, answer + at, kFaxAnswerBytes - at);
  std::memset(answer + kFaxAnswerBytes - at, 0, at);
}

int FaxJobSetting(HDC hdc, HANDLE hPrinter, PVOID pvIn, PVOID pvOut, ULONG cbOut) {
  (void)pvIn;
  // 1. Only a fax job of a printer that allows the front end.
  if (!hdc) return -1;
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d) return 1;
  if (Number(DDM_JOBTYPE, d->devmode, nullptr) != kJobTypeFax ||
      !(d->printerData[kPrinterDataFaxFlagsByte] & kFaxFrontEndAllowed))
    return 1;
  // 2. The fax folders.
  PrepareFaxFolders();
  // 3. The application's window is disabled for the rest of the step.
  HWND window = GetActiveWindow();
  bool disabled = window && IsWindow(window) && IsWindowEnabled(window);
  if (disabled) EnableWindow(window, FALSE);
  int result = 1;
  HMODULE library = nullptr;
  // 4. The front end's mode.
  DWORD mode = Number(DDM_FAX_FRONTEND_MODE, d->devmode, d->printerData) ? kFaxFrontEndModeAddressBook : 0;
  // 5. A fax address file named by the devmode: no front end.
  LPCWSTR file =
      reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(d->devmode, nullptr, DDM_FAX_ADDRESS_FILE, DDM_TYPE_STRING));
  if (file && *file) {
    HANDLE f = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    result = -1;
    if (f != INVALID_HANDLE_VALUE) {
      if (GetFileSize(f, nullptr) > 0) result = 1;
      CloseHandle(f);
    }
  } else {
    // 6. The front end.
    WCHAR dir[MAX_PATH] = {};
    StartDocFaxFn startDocFax = nullptr;
    if (zanlib_GetDriverDirectory(dir, sizeof dir)) {
      std::u16string name(dir);
      if (!name.empty() && name.back() != u'\\') name += u'\\';
      name += LoadText(kStrFaxFrontEnd) + u".DLL";
      library = LoadLibraryW(name.c_str());
      if (library)
        startDocFax = reinterpret_cast<StartDocFaxFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "StartDocFax")));
    }
    if (startDocFax) {
      // 7. Its answer: zero-filled, 9600 bytes and a NUL.
      std::vector<char> answer(kFaxAnswerBytes + 1, 0);
      if (!startDocFax(resource_get_hInstance(), window, answer.data(), mode)) {
        result = -1;
      } else {
        // a. The two leading lines to the output buffer (64 bytes at least).
        if (Number(DDM_DOCMONITOR_REGISTER, d->devmode, d->printerData))
          local_TakeFaxAnswerLines(answer.data(), pvOut, cbOut);
        // b. The fax data file's name; without one nothing more is done.
        std::u16string folder = WindowsDrive();
        folder = folder.empty() ? std::u16string(u"C:\\") : folder + LoadText(kStrFaxFolder);
        WCHAR temp[MAX_PATH] = {};
        if (GetTempFileNameW(folder.c_str(), kFaxTempPrefix, 0, temp) == 0) {
          result = -1;
        } else if (ctl_SetDDMValue(d->devmode, nullptr, DDM_FAX_DATA_FILE, DDM_TYPE_STRING, 522,
                                   reinterpret_cast<ULONG_PTR>(temp)) != 0) {
          result = -1;
        } else {
          // c. The answer into it.
          HANDLE f = CreateFileW(temp, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
          DWORD written = 0;
          if (f == INVALID_HANDLE_VALUE) {
            result = -1;
          } else {
            if (!WriteFile(f, answer.data(), kFaxAnswerBytes, &written, nullptr) || written != kFaxAnswerBytes)
              result = -1;
            CloseHandle(f);
          }
        }
      }
    }
  }
  // 8. The library freed, the window enabled again.
  if (library) FreeLibrary(library);
  if (disabled) EnableWindow(window, TRUE);
  return result;
}

int ConfidentialUserSetting(HDC hdc, HANDLE hPrinter) {
  if (!hdc) return -1;
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d) return 1;
  LONG type = Number(DDM_JOBTYPE, d->devmode, nullptr);
  WCHAR first = 0;
  std::memcpy(&first, d->printerData + kPrinterDataConfidentialId, sizeof first);
  if ((type == kJobTypeSecure || type == kJobTypeSecureB) && first == 0) {
    WCHAR text[257] = {};
    WCHAR caption[257] = {};
    resource_LoadString(kStrConfidentialMissing, text, 257);
    resource_LoadString(kStrConfidentialCaption, caption, 257);
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    return -1;
  }
  return 1;
}

int _PrinterStartDocProc(HANDLE hPrinter, HDC hdc, void* devmode, void* printerData, HCDDD ddd, DWORD isFax) {
  (void)hdc;
  (void)isFax;
  // 2. No job-owner settings: nothing to ask.
  if (Number(DDM_JOB_OWNER_ON, devmode, printerData) == 0) return 1;
  // 3. The dialog switch.
  WORD switchId = Number(DDM_ACCOUNTMODE, devmode, printerData) == 0 ? DDM_OWNER_SWITCH_A : DDM_OWNER_SWITCH_B;
  LONG dialog = Number(switchId, devmode, printerData);
  bool alternative = Number(DDM_ACCOUNT_ALT_POPUPS, devmode, printerData) != 0;
  if (!alternative && dialog != 1) return 1;
  // 1. A dialog is due: the active window and its dialog instance.
  HWND window = GetActiveWindow();
  if (!window || !resource_get_hInstance()) return -1;
  // 4. The alternative popups.
  if (alternative) {
    BOOL enabled = FALSE;
    if (!zanLib_IsEnableAltJBA(ddd, &enabled) || !enabled) return -1;
    int r = local_CallAltJBA(window, devmode, printerData, ddd);
    if (r != 1) return r;
    return local_PrintSettingForAltJBA(devmode, printerData, switchId) ? 1 : -1;
  }
  // 5. The popup on a copy; OK takes it and saves the user's settings.
  std::vector<BYTE> copy(static_cast<BYTE*>(devmode), static_cast<BYTE*>(devmode) + NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> dataCopy(static_cast<BYTE*>(printerData), static_cast<BYTE*>(printerData) + NRV_PRINTERDATA_SIZE);
  BOOL fax = zanLib_IsFaxMode(ddd, devmode) && Number(DDM_FAX_COVER_SHEET_MODE, devmode, printerData) != 1;
  if (uiDlgJBAPopup(hPrinter, copy.data(), dataCopy.data(), ddd, fax, window) != IDOK) return -1;
  std::memcpy(devmode, copy.data(), copy.size());
  std::memcpy(printerData, dataCopy.data(), dataCopy.size());
  USERSETTINGINFO record{};
  if (GetCurrentUserSettingInfo(hPrinter, ddd, printerData, &record)) SaveCurrentUserSettingInfo(hPrinter, ddd, &record, 0);
  return 1;
}

BOOL local_PrintSettingForAltJBA(void* devmode, void* printerData, WORD switchId) {
  BYTE one = 1;
  BYTE zero = 0;
  return ddm_SetValue(switchId, devmode, printerData, DDM_TYPE_BYTE, 1, &one) == 0 &&
         ddm_SetValue(DDM_OWNER_UNKNOWN, devmode, printerData, DDM_TYPE_BYTE, 1, &zero) == 0;
}

int local_SaveAltJBAInputString(const char* answer, DWORD answerSize, void* devmode, void* printerData, HCDDD ddd) {
  static const WORD kIds[3] = {DDM_OWNER_DEVMODE_NAME, DDM_ACCOUNT_NAME, DDM_ACCOUNT_ID};
  if (!answer) return -1;
  DWORD at = 0;
  for (int i = 0; i < 3; ++i) {
    // One entry within the answer's bytes: "name=value" and its NUL.
    DWORD end = at;
    while (end < answerSize && answer[end]) ++end;
    if (end >= answerSize) return -1;
    const char* equals = static_cast<const char*>(std::memchr(answer + at, '=', end - at));
    if (!equals) return -1;
    const char* value = equals + 1;
    int chars = MultiByteToWideChar(CP_ACP, 0, value, static_cast<int>(answer + end - value), nullptr, 0);
    std::vector<WCHAR> wide(static_cast<size_t>(chars) + 1, 0);
    if (chars > 0 &&
        MultiByteToWideChar(CP_ACP, 0, value, static_cast<int>(answer + end - value), wide.data(), chars) != chars)
      return -1;
    LPWSTR stored = wide.data();
    LPWSTR scrambled = nullptr;
    // The account id is stored scrambled when the model asks; an empty value
    // is stored empty (the scrambler refuses it).
    if (kIds[i] == DDM_ACCOUNT_ID && wide[0] && ddd && zanLib_CheckCapability_Indirect(ddd, kCapScrambleAccountId)) {
      if (!zanlib_EncodeOrDecodeData(1, wide.data(), &scrambled)) return -1;
      stored = scrambled;
    }
    WORD r = ddm_SetValue(kIds[i], devmode, printerData, DDM_TYPE_STRING,
                          static_cast<DWORD>((kp_WideLength(stored) + 1) * sizeof(WCHAR)), stored);
    if (scrambled) GlobalFree(scrambled);
    if (r != 0) return -1;
    at = end + 1;
  }
  return 1;
}

char* local_LoadMultiByteString(HINSTANCE, UINT id) {
  WCHAR text[513] = {};
  if (resource_LoadString(id, text, 513) <= 0) return nullptr;
  char* out = nullptr;
  DWORD size = 0;
  return local_WideCharToMultiByte(text, &out, &size, CP_ACP) ? out : nullptr;
}

BOOL local_WideCharToMultiByte(LPCWSTR text, char** out, DWORD* size, UINT codePage) {
  if (!text || !out || !size) return FALSE;
  int n = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return FALSE;
  char* block = static_cast<char*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(n) + 1));
  if (!block) return FALSE;
  if (WideCharToMultiByte(codePage, 0, text, -1, block, n, nullptr, nullptr) != n) {
    GlobalFree(block);
    return FALSE;
  }
  *out = block;
  *size = static_cast<DWORD>(n);
  return TRUE;
}

BOOL local_StrCatMultiSZ(char** out, const char* a, const char* b, const char* c) {
  if (!out || !a || !b || !c) return FALSE;
  size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
  char* block = static_cast<char*>(GlobalAlloc(GPTR, la + lb + lc + 4));
  if (!block) return FALSE;
  std::memcpy(block, a, la);
  std::memcpy(block + la + 1, b, lb);
  std::memcpy(block + la + lb + 2, c, lc);
  *out = block;
  return TRUE;
}

char* local_CodeRangeFromText(const char* joined, BOOL doubleByte) {
  if (!joined) return nullptr;
  std::string text(joined);
  if (doubleByte) {
    // Each comma and the two characters after it go.
    std::string cut;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ',') {
        i += 2;
        continue;
      }
      cut += text[i];
    }
    text = cut;
  }
  // The values, paired low-high.
  std::vector<std::string> values;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == ',') {
      values.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  auto hex = [](const std::string& s, unsigned long* v) {
    if (s.empty() || s.size() > 8) return false;
    unsigned long r = 0;
    for (char ch : s) {
      int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
      if (d < 0) return false;
      r = r * 16 + static_cast<unsigned long>(d);
    }
    *v = r;
    return true;
  };
  std::string out;
  for (size_t i = 0; i + 1 < values.size() || (i < values.size() && values.size() % 2); i += 2) {
    if (i + 1 >= values.size()) {  // an odd value at the end stands alone
      if (!out.empty()) out += ',';
      out += values[i];
      break;
    }
    unsigned long lo = 0, hi = 0;
    bool numbers = hex(values[i], &lo) && hex(values[i + 1], &hi);
    if (numbers && lo > hi) continue;  // a reversed pair is removed
    if (!out.empty()) out += ',';
    if (numbers && lo == hi)
      out += values[i];  // an equal pair is one value
    else
      out += values[i] + "-" + values[i + 1];
  }
  char* block = static_cast<char*>(GlobalAlloc(GPTR, out.size() + 1));
  if (block) std::memcpy(block, out.c_str(), out.size() + 1);
  return block;
}

BOOL local_GetCodeRange(char** out, const UINT* ids, DWORD count, BOOL doubleByte) {
  if (!out) return FALSE;
  std::string joined;
  for (DWORD i = 0; i < count; ++i) {
    char* text = local_LoadMultiByteString(nullptr, ids[i]);
    if (!text) return FALSE;
    if (i) joined += ',';
    joined += text;
    GlobalFree(text);
  }
  *out = local_CodeRangeFromText(joined.c_str(), doubleByte);
  return *out != nullptr;
}

BOOL local_Make1b2bCodeRange(char** out, const UINT* singleIds, DWORD singleCount, const UINT* doubleIds,
                             DWORD doubleCount) {
  if (!out) return FALSE;
  char* head = local_LoadMultiByteString(nullptr, kStrCodeRangeHead);
  char* single = nullptr;
  char* dbl = nullptr;
  BOOL ok = head && local_GetCodeRange(&single, singleIds, singleCount, FALSE) &&
            local_GetCodeRange(&dbl, doubleIds, doubleCount, TRUE);
  if (ok) {
    std::string text = std::string(head) + single + (*single && *dbl ? "," : "") + dbl;
    *out = static_cast<char*>(GlobalAlloc(GPTR, text.size() + 1));
    ok = *out != nullptr;
    if (ok) std::memcpy(*out, text.c_str(), text.size() + 1);
  }
  if (head) GlobalFree(head);
  if (single) GlobalFree(single);
  if (dbl) GlobalFree(dbl);
  return ok;
}

int local_CallAltJBA(HWND window, void* devmode, void* printerData, HCDDD ddd) {
  // 1. COM and the component.
  int result = -1;
  HRESULT init = CoInitialize(nullptr);
  IInputPopup* popup = nullptr;  // kestrel/ui/docevent.h
  char* names[3] = {};
  char* texts[3] = {};
  char* texts2[3] = {};
  char* fields[3] = {};
  char* nameList = nullptr;
  std::vector<char> answer;
  if (FAILED(init) || FAILED(CoCreateInstance(kClsidInputPopup, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                              kIidInputPopup, reinterpret_cast<void**>(&popup))) ||
      !popup)
    goto done;
  // 2. The texts.
  for (int i = 0; i < 3; ++i) {
    names[i] = local_LoadMultiByteString(nullptr, kStrFieldNames[i]);
    texts[i] = local_LoadMultiByteString(nullptr, kStrFieldTexts[i]);
    texts2[i] = local_LoadMultiByteString(nullptr, kStrFieldTexts2[i]);
    if (!names[i] || !texts[i] || !texts2[i]) goto done;
  }
  // 3. Each field's allowed characters with its two texts.
  {
    static const UINT kSingle1[] = {9235, 9220, 9221};
    static const UINT kDouble1[] = {9222};
    static const UINT kSingle23[] = {9235, 9220};
    static const UINT kDouble23[] = {9233};
    for (int i = 0; i < 3; ++i) {
      char* range = nullptr;
      BOOL ok = i == 0 ? local_Make1b2bCodeRange(&range, kSingle1, 3, kDouble1, 1)
                       : local_Make1b2bCodeRange(&range, kSingle23, 2, kDouble23, 1);
      if (!ok) goto done;
      ok = local_StrCatMultiSZ(&fields[i], range, texts[i], texts2[i]);
      GlobalFree(range);
      if (!ok) goto done;
    }
  }
  // 4. The fields, then the popup.
  for (int i = 0; i < 3; ++i) popup->SetField(names[i], fields[i]);
  if (!local_StrCatMultiSZ(&nameList, names[0], names[1], names[2])) goto done;
  answer.assign(kAnswerBytes, 0);
  if (FAILED(popup->Show(window, nameList, answer.data(), kAnswerBytes))) goto done;
  answer[kAnswerBytes - 1] = 0;  // read within its 1024 bytes
  // 5. The answer stored.
  result = local_SaveAltJBAInputString(answer.data(), kAnswerBytes, devmode, printerData, ddd) == 1 ? 1 : -1;
done:
  // 6. The component released before COM ends, every block freed.
  if (popup) popup->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  for (int i = 0; i < 3; ++i) {
    if (names[i]) GlobalFree(names[i]);
    if (texts[i]) GlobalFree(texts[i]);
    if (texts2[i]) GlobalFree(texts2[i]);
    if (fields[i]) GlobalFree(fields[i]);
  }
  if (nameList) GlobalFree(nameList);
  return result;
}

// ---- The accounting popup (dialog 3550)
//
// Its template in kestrelrs (resources/kestrelrs.krc, IDD_JBA_POPUP): a
// modal DIALOGEX "Account" of three labelled edits and OK / Cancel:
//   IDC_JBA_USERNAME (3551)  user name, at most 32 characters  -> DDM 5174
//   IDC_JBA_ACCOUNT  (3552)  account name, at most 32          -> DDM 5176
//   IDC_JBA_PASSWORD (3553)  account id (password style)       -> DDM 5175,
//                            scrambled when the model asks
// WM_INITDIALOG fills the edits from the settings (the account id shown
// empty); OK stores the three and ends the dialog with IDOK, a refused
// store keeps the dialog open; Cancel ends it with IDCANCEL. In fax mode the
// dialog is the same (the fax flag only changes its caption).
namespace {

struct PopupContext {
  void* devmode;
  void* printerData;
  HCDDD ddd;
};

INT_PTR PopupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* c = reinterpret_cast<PopupContext*>(lParam);
    LPCWSTR name = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(c->devmode, c->printerData, DDM_OWNER_DEVMODE_NAME,
                                                             DDM_TYPE_STRING));
    LPCWSTR account =
        reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(c->devmode, c->printerData, DDM_ACCOUNT_NAME, DDM_TYPE_STRING));
    SetDlgItemTextW(dialog, IDC_JBA_USERNAME, name ? name : u"");
    SetDlgItemTextW(dialog, IDC_JBA_ACCOUNT, account ? account : u"");
    SetDlgItemTextW(dialog, IDC_JBA_PASSWORD, u"");
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  auto* c = reinterpret_cast<PopupContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (wParam == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  if (wParam != IDOK || !c) return FALSE;
  // The three entries as the component's answer would carry them.
  std::string answer;
  static const int kItems[3] = {IDC_JBA_USERNAME, IDC_JBA_ACCOUNT, IDC_JBA_PASSWORD};
  for (int item : kItems) {
    WCHAR text[33] = {};
    GetDlgItemTextW(dialog, item, text, 33);
    char* narrow = nullptr;
    DWORD size = 0;
    if (!local_WideCharToMultiByte(text, &narrow, &size, CP_ACP)) return TRUE;
    answer += "v=";
    answer += narrow;
    answer.push_back('\0');
    GlobalFree(narrow);
  }
  if (local_SaveAltJBAInputString(answer.data(), static_cast<DWORD>(answer.size()), c->devmode, c->printerData,
                                  c->ddd) == 1)
    EndDialog(dialog, IDOK);
  return TRUE;
}

}  // namespace

int uiDlgJBAPopup(HANDLE, void* devmode, void* printerData, HCDDD ddd, BOOL faxMode, HWND owner) {
  (void)faxMode;
  PopupContext context{devmode, printerData, ddd};
  INT_PTR r = DialogBoxParamW(resource_get_hInstance(), MAKEINTRESOURCEW(DLG_JBA_POPUP), owner, PopupProc,
                              reinterpret_cast<LPARAM>(&context));
  return r == IDOK ? IDOK : IDCANCEL;
}
