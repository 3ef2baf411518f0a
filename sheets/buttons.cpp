// The push buttons: OK, Cancel, Defaults, sub-dialogs and nested sheets,
// help, file dialogs and documents.
#include <cstring>
#include <string>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_shell.h"

namespace {

using std::u16string;

constexpr LONG kNoTemplate = -1;
constexpr LONG kPrintAreaDialog = 39;
constexpr DWORD kSheetFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;  // 136
constexpr int kCaptionChars = 128;

HWND Control(const UI_MSGINFO* msg, const UI_IDTBL* row) { return GetDlgItem(msg->dialog, row->controlId); }

CONST_SETTINGS Settings(const UI_MSGINFO* msg) {
  UIROOT* r = msg->data->root;
  return {r->uiData->ddd, r->devmode, r->printerData};
}

// Redisplays the dialog after settings changed (list owned by the caller).
void Redisplay(UI_MSGINFO* msg, WORD* changed) {
  uiSetUpDateMsgInfo(msg, changed, changed ? changed[0] : 0);
}

}  // namespace

void uiSetDialogButtonKind(UI_MSGINFO* msg, LONG kind) {
  if (msg && msg->data) msg->data->buttonKind = kind;
}

LONG uiButtonOK(UI_MSGINFO* msg) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  if (!ci) return 0;
  LONG refused = uiAllControl(msg, UIM_VALIDATE, 0, 0, ci->table, ci->rows, 0);
  if (!refused) refused = uiSendNotifyAllControl(msg, PSN_KILLACTIVE);
  if (refused) {
    // The dialog stays open: show what the checks changed.
    if (msg->update) {
      uiUpdateDisplay(msg, msg->changed);
      msg->update = 0;
      GlobalFree(msg->changed);
      msg->changed = nullptr;
    }
    return 0;
  }
  uiSendNotifyAllControl(msg, PSN_APPLY);
  if (msg->data->subResult) *msg->data->subResult = 1;
  EndDialog(msg->dialog, 1);
  return 1;
}

LONG uiButtonCancel(UI_MSGINFO* msg) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  if (!ci) return 0;
  uiAllControl(msg, UIM_RESTORE, 0, 0, ci->table, ci->rows, 0);
  uiSendNotifyAllControl(msg, PSN_KILLACTIVE);
  uiSendNotifyAllControl(msg, PSN_RESET);
  if (msg->data->subResult) *msg->data->subResult = 2;
  EndDialog(msg->dialog, 2);
  return 2;
}

// ---- Defaults ------------------------------------------------------------------------

namespace {

// uiSetDefaultCurrentDialog: every setting the dialog's rows show.
void uiSetDefaultCurrentDialog(UI_MSGINFO* msg, WORD** ids, WORD* n) {
  UIROOT* root = msg->data->root;
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ci && i < ci->rows; ++i) {
    const UI_IDTBL& row = ci->table[i];
    for (LONG k = 0; k < row.dspCount && row.dsp; ++k) {
      WORD id = row.dsp[k].ddmId;
      if (!id || id >= 0x9000) continue;
      cdmSetDefaultData(root->uiData->ddd, root->devmode, id, root->printerData);
      cnstUtil_AddWordArray(id, CONST_ROOM_CHANGED, ids, n);
    }
  }
}

// Whether setting `id` holds the same value in two copies of the settings;
// false also when either cannot be read. Strings compare by their text,
// fonts by their record's bytes.
bool SameValue(WORD id, const BYTE* dmA, const BYTE* pdA, const BYTE* dmB, const BYTE* pdB) {
  WORD t1 = 0, t2 = 0;
  DWORD s1 = 0, s2 = 0;
  ULONG_PTR a = 0, b = 0;
  if (ddm_GetValue(id, const_cast<BYTE*>(dmA), const_cast<BYTE*>(pdA), &t1, &s1, &a) != 0 ||
      ddm_GetValue(id, const_cast<BYTE*>(dmB), const_cast<BYTE*>(pdB), &t2, &s2, &b) != 0 || t1 != t2)
    return false;
  if (t1 == DDM_TYPE_FONT)
    return s1 == s2 && a && b && std::memcmp(reinterpret_cast<const void*>(a), reinterpret_cast<const void*>(b), s1) == 0;
  return cdmCompare(t1, &a, &b) == 0;
}

// A zero-ended GlobalAlloc copy of a word list, or null for none or no
// memory.
WORD* GlobalList(const WORD* ids, WORD n) {
  if (!n) return nullptr;
  auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (static_cast<size_t>(n) + 1) * sizeof(WORD)));
  if (out) std::memcpy(out, ids, n * sizeof(WORD));
  return out;
}

// The settings of the devmode's member groups (the sweep's walk) whose
// values differ between the root record and the given copy, added to the
// list.
void AddChangedMembers(const UIROOT* root, const BYTE* dm, const BYTE* pd, WORD** ids, WORD* n) {
  for (WORD group = 0; group < 12; ++group) {
    const CDM_MEMBER_ENTRY* table = nullptr;
    WORD count = 0;
    if (!local_GetCdmDmDataFuncTbl(group, &table, &count, nullptr)) break;
    for (WORD i = 0; i < count; ++i) {
      const WORD id = static_cast<WORD>(table[i].ddmId);
      if (!id) continue;
      if (!SameValue(id, static_cast<const BYTE*>(root->devmode), static_cast<const BYTE*>(root->printerData), dm,
                     pd))
        cnstUtil_AddWordArray(id, CONST_ROOM_CHANGED, ids, n);
    }
  }
}

// local_CutConstDefaultSetting: of the ids, those whose values differ from
// the saved settings (a zero-ended GlobalAlloc list, or null).
WORD* local_CutConstDefaultSetting(UIROOT* root, const BYTE* savedDm, const BYTE* savedPd, const WORD* ids) {
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* list = room;
  WORD n = 0;
  for (const WORD* p = ids; p && *p; ++p)
    if (!SameValue(*p, static_cast<const BYTE*>(root->devmode), static_cast<const BYTE*>(root->printerData), savedDm,
                   savedPd))
      cnstUtil_AddWordArray(*p, CONST_ROOM_CHANGED, &list, &n);
  WORD* out = GlobalList(list, n);
  cnstUtil_FreeWordList(list, n, CONST_ROOM_CHANGED);
  return out;
}

}  // namespace

// The defaults of the current dialog. The settings are saved first, and
// again once the dialog's defaults are set; the constraint sweep and the
// output-bin update then run over all settings. The settings the rules
// changed (every member of the devmode's groups whose value differs from the
// second copy), cut to those that now differ from the first, are what the
// user is asked about: Cancel puts the first copy back, and as nothing then
// changed nothing is redisplayed. Nothing is asked when the rules changed
// nothing beyond the defaults.
LONG uiButtonDefault(UI_MSGINFO* msg) {
  UIROOT* root = msg->data->root;
  BYTE* savedDm = static_cast<BYTE*>(kcore_Alloc(NRV_DEVMODE_SIZE_FULL));
  BYTE* savedPd = static_cast<BYTE*>(kcore_Alloc(NRV_PRINTERDATA_SIZE));
  BYTE* defaultsDm = static_cast<BYTE*>(kcore_Alloc(NRV_DEVMODE_SIZE_FULL));
  BYTE* defaultsPd = static_cast<BYTE*>(kcore_Alloc(NRV_PRINTERDATA_SIZE));
  CDM_SKIP_ENTRY* skip = cdmNewSkipArray();
  auto release = [&] {
    kcore_Free(savedDm);
    kcore_Free(savedPd);
    kcore_Free(defaultsDm);
    kcore_Free(defaultsPd);
    if (skip) dmDeleteNRVDEVMODE(skip);
  };
  if (!savedDm || !savedPd || !defaultsDm || !defaultsPd || !skip) {
    release();
    return -1;
  }
  std::memcpy(savedDm, root->devmode, NRV_DEVMODE_SIZE_FULL);
  std::memcpy(savedPd, root->printerData, NRV_PRINTERDATA_SIZE);
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* ids = room;
  WORD n = 0;
  uiSetDefaultCurrentDialog(msg, &ids, &n);
  std::memcpy(defaultsDm, root->devmode, NRV_DEVMODE_SIZE_FULL);
  std::memcpy(defaultsPd, root->printerData, NRV_PRINTERDATA_SIZE);
  CONST_SETTINGS s = Settings(msg);
  LONG sweep = cdmAllDataConstUpdateLoop(resource_get_hInstance(), msg->dialog, s.ddd, s.devmode, s.printerData,
                                         nullptr, msg->dialog, skip);
  const_UpdateOutputBin(msg->dialog, &s, &ids, &n);
  LONG result = 1;
  if (sweep == -1) {
    // The sweep could not run: the defaults stand and are shown.
    Redisplay(msg, GlobalList(ids, n));
    result = -1;
  } else {
    // What the rules changed beyond the defaults, and of that what differs
    // from the settings before the button.
    WORD swept[CONST_ROOM_CHANGED] = {};
    WORD* rules = swept;
    WORD m = 0;
    AddChangedMembers(root, defaultsDm, defaultsPd, &rules, &m);
    WORD* ruled = GlobalList(rules, m);
    WORD* cut = local_CutConstDefaultSetting(root, savedDm, savedPd, ruled);
    GlobalFree(ruled);
    if (cut && const_ShowChengeDevmodeConfirm(msg->dialog, &s, cut) != CONST_CHANGED) {
      std::memcpy(root->devmode, savedDm, NRV_DEVMODE_SIZE_FULL);
      std::memcpy(root->printerData, savedPd, NRV_PRINTERDATA_SIZE);
      result = 2;
    } else {
      for (WORD i = 0; i < m; ++i) cnstUtil_AddWordArray(rules[i], CONST_ROOM_CHANGED, &ids, &n);
      Redisplay(msg, GlobalList(ids, n));
    }
    GlobalFree(cut);
    cnstUtil_FreeWordList(rules, m, CONST_ROOM_CHANGED);
  }
  cnstUtil_FreeWordList(ids, n, CONST_ROOM_CHANGED);
  release();
  return result;
}

// ---- Sub-dialogs and nested sheets --------------------------------------------------------

UIROOT* uiLParamCopyForChild(const UIROOT* from) { return uiLParamCopyLParamTbl(from); }

void uiLParamCopyBack(UIROOT* page, UIROOT* child) {
  if (!page || !child) return;
  std::memcpy(page->devmode, child->devmode, NRV_DEVMODE_SIZE_FULL);
  std::memcpy(page->printerData, child->printerData, NRV_PRINTERDATA_SIZE);
  if (child->gsb && child->gsbSize) {
    if (!page->gsb || page->gsbSize != child->gsbSize) {
      void* block = kcore_Alloc(child->gsbSize);
      if (!block) return;
      kcore_Free(page->gsb);
      page->gsb = block;
      page->gsbSize = child->gsbSize;
    }
    std::memcpy(page->gsb, child->gsb, child->gsbSize);
  }
}

void uiLParamFreeChild(UIROOT* child) {
  if (child && child->parent) destroyUiLParam(child);
}

LONG uiButtonMakeDialog(UI_MSGINFO* msg, const UI_DIALOGLIST* list, UIROOT* copy) {
  const UI_DIALOG* d = list->dialogs[0];
  INT_PTR r = DialogBoxParamW(resource_get_hInstance(), MAKEINTRESOURCEW(d->templateId), msg->dialog, d->proc,
                              reinterpret_cast<LPARAM>(copy));
  if (r == 1) return 1;
  if (r == -1) return -1;
  return 2;
}

LONG uiButtonMakeTabSheet(UI_MSGINFO* msg, const UI_DIALOGLIST* list, UIROOT* copy) {
  UI_SHEET* sheet = uiGetSheet(msg->data->root);
  HCDDD ddd = msg->data->root->uiData->ddd;
  auto* pages = static_cast<PROPSHEETPAGEW*>(kcore_Alloc(sizeof(PROPSHEETPAGEW) * static_cast<size_t>(list->count)));
  if (!pages) return -1;
  UINT n = 0, start = 0;
  const bool noPrintArea = sheet && uiCom_CheckCapability(ddd, UI_CAP_NO_PRINTAREA);
  for (LONG i = 0; i < list->count; ++i) {
    const UI_DIALOG* d = list->dialogs[i];
    if (d->dlgNo == kPrintAreaDialog && noPrintArea) continue;
    PROPSHEETPAGEW& p = pages[n];
    p.dwSize = sizeof(PROPSHEETPAGEW);
    p.dwFlags = PSP_HASHELP;
    p.hInstance = resource_get_hInstance();
    p.pszTemplate = MAKEINTRESOURCEW(d->templateId);
    p.pfnDlgProc = d->proc;
    p.lParam = reinterpret_cast<LPARAM>(copy);
    if (d->templateId == list->startTemplate) start = n;
    ++n;
  }
  WCHAR caption[kCaptionChars + 1] = {};
  bool named = false;
  if (list->ddmId) {
    WORD method = 0, count = 0, status = 0;
    LPCWSTR name = nullptr;
    void* items = nullptr;
    if (cdddGetSelectItemInfo(ddd, list->ddmId, &method, &count, &name, &items, &status) && name) {
      lstrcpynW(caption, name, kCaptionChars + 1);
      named = true;
    }
    if (items) cdddSelectItemInfoFree(items);
  }
  if (!named && list->stringId != UI_NOSTRING) resource_LoadString(static_cast<UINT>(list->stringId), caption,
                                                                   kCaptionChars + 1);
  PROPSHEETHEADERW h = {};
  h.dwSize = sizeof h;
  h.dwFlags = kSheetFlags;
  h.hwndParent = msg->dialog;
  h.hInstance = resource_get_hInstance();
  h.pszCaption = caption;
  h.nPages = n;
  h.nStartPage = start;
  h.ppsp = pages;
  INT_PTR r = n ? PropertySheetW(&h) : -1;
  kcore_Free(pages);
  if (r == 1) return 1;
  if (r == 0) return 2;
  return -1;
}

LONG uiButtonMakeScreen(UI_MSGINFO* msg, const UI_DIALOGLIST* list, LONG kind) {
  if (!list || list->count < 1 || !list->dialogs) return 0;
  UIROOT* root = msg->data->root;
  // 1. The constraint check of the record's setting first.
  if (list->checkFirst == 1 && list->ddmId) {
    CONST_SETTINGS s = Settings(msg);
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    if (ddm_GetValue(list->ddmId, s.devmode, s.printerData, &type, &size, &v) == 0) {
      const void* p = type == 6 ? reinterpret_cast<const void*>(v) : static_cast<const void*>(&v);
      WORD* driverChanged = nullptr;
      WORD r = const_UpdateConstDataX(0, msg->dialog, s.ddd, s.devmode, s.printerData, nullptr, list->ddmId, type, p,
                                      msg->data->info, &driverChanged, 0);
      GlobalFree(driverChanged);
      if (r == CONST_OK) {
        CONST_VALUE proposed = {list->ddmId, type, p};
        WORD a = constDDD_ActionConfirmMsg(msg->dialog, &s, &proposed, msg->data->info);
        if (a == CONST_NOTICE) return 0;  // handled: no dialog
        if (a == 1 || a == CONST_REFUSED) return -1;
      } else if (r == CONST_NOTICE) {
        return 0;
      } else if (r == CONST_ERR) {
        return -1;
      }
      WORD room[CONST_ROOM_CHANGED] = {};
      WORD* ids = room;
      WORD n = 0;
      const_UpdateOutputBin(msg->dialog, &s, &ids, &n);
      cnstUtil_FreeWordList(ids, n, CONST_ROOM_CHANGED);
    }
  }
  // 2. Every dialog needs its template.
  for (LONG i = 0; i < list->count; ++i)
    if (!list->dialogs[i] || list->dialogs[i]->templateId == kNoTemplate) return 0;
  // 3. The copy the dialog edits.
  UIROOT* copy = uiLParamCopyForChild(root);
  if (!copy) return -1;
  // 4. Leave the page.
  if (uiSendNotifyAllControl(msg, PSN_KILLACTIVE) == 1) {
    uiLParamFreeChild(copy);
    return 0;
  }
  // 5. Run it.
  LONG r = kind == 4 ? uiButtonMakeDialog(msg, list, copy) : uiButtonMakeTabSheet(msg, list, copy);
  // 6. OK takes the copy's settings; Cancel and failure leave the page's.
  if (r == 1) uiLParamCopyBack(root, copy);
  uiLParamFreeChild(copy);
  uiSendNotifyAllControl(msg, PSN_SETACTIVE);
  return r;
}

// ---- Files and documents --------------------------------------------------------------------

BOOL uiGetFormDir(LPWSTR out, DWORD cch) {
  if (!out || cch < 4) return FALSE;
  WCHAR windows[MAX_PATH] = {};
  WCHAR tail[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n >= 2 && n < MAX_PATH && windows[1] == u':' && resource_LoadString(UI_STR_FORMDIR, tail, MAX_PATH)) {
    u16string dir;
    dir += static_cast<char16_t>(windows[0]);
    dir += u":";
    dir += reinterpret_cast<const char16_t*>(tail);
    if (dir.size() + 1 > cch) return FALSE;
    lstrcpynW(out, reinterpret_cast<LPCWSTR>(dir.c_str()), static_cast<int>(cch));
    return TRUE;
  }
  lstrcpynW(out, UI_FORMDIR_FALLBACK, static_cast<int>(cch));
  return TRUE;
}

BOOL uiButtonParseDirString(LPCWSTR text, LPWSTR out, DWORD cch) {
  if (!text || !out || !cch) return FALSE;
  u16string s(reinterpret_cast<const char16_t*>(text));
  size_t a = s.find(u'%');
  u16string result = s;
  if (a != u16string::npos) {
    size_t b = s.find(u'%', a + 1);
    if (b == u16string::npos || b == a + 1) return FALSE;
    u16string token = s.substr(a + 1, b - a - 1);
    WCHAR dir[MAX_PATH] = {};
    u16string value;
    if (token == u"SYSTEM") {
      if (!GetSystemDirectoryW(dir, MAX_PATH)) return FALSE;
      value = reinterpret_cast<const char16_t*>(dir);
    } else if (token == u"ICM") {
      if (!GetWindowsDirectoryW(dir, MAX_PATH)) return FALSE;
      value = reinterpret_cast<const char16_t*>(dir);
    } else if (token == u"DRIVER") {
      if (!GetSystemDirectoryW(dir, MAX_PATH)) return FALSE;
      value = reinterpret_cast<const char16_t*>(dir);
      value += u"\\Spool\\Drivers\\w32x86\\2";
    } else {
      return FALSE;
    }
    if (s.find(u'%', b + 1) != u16string::npos) return FALSE;  // one token only
    result = s.substr(0, a) + value + s.substr(b + 1);
  }
  if (result.size() + 1 > cch) return FALSE;
  lstrcpynW(out, reinterpret_cast<LPCWSTR>(result.c_str()), static_cast<int>(cch));
  return TRUE;
}

void uiButtonErrMsgWindow(UI_MSGINFO* msg, const UI_FILEDLG* record, BOOL tooLong) {
  WCHAR text[512] = {};
  if (tooLong) {
    LONG limit = record->nameLimit, half = record->nameLimit / 2;
    if (record->type == 17) {
      LONG t = limit;
      limit = half;
      half = t;
    }
    WCHAR a[16] = {}, b[16] = {};
    uiNumtoStr(limit, a, 16);
    uiNumtoStr(half, b, 16);
    LPCWSTR args[] = {a, b};
    if (!uiMakeMsg(UI_STR_TOOLONG, args, 2, text, 512)) return;
  } else if (!uiMakeMsg(UI_STR_BADCHARS, nullptr, 0, text, 512)) {
    return;
  }
  uiMsgWindow(msg->dialog, text, MB_OK | MB_ICONEXCLAMATION);
}

namespace {

// The ANSI bytes of a text.
int Bytes(const u16string& s) {
  if (s.empty()) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(s.c_str()), static_cast<int>(s.size()), nullptr, 0,
                             nullptr, nullptr);
}

bool FieldChars(const u16string& s, BYTE checks) {
  for (char16_t c : s) {
    if ((checks & 0x01) && c < 0x20) return false;                       // control characters
    if ((checks & 0x02) && (c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|'))
      return false;                                                      // wild cards and shell characters
    if ((checks & 0x10) && c > 0x7E) return false;                       // plain ASCII only
  }
  return true;
}

// uiButtonSetDataOpenFile: 1 stored, 0 refused (message shown).
LONG uiButtonSetDataOpenFile(UI_MSGINFO* msg, const UI_FILEDLG* rec, LPCWSTR chosen, WORD** ids, WORD* n) {
  u16string full(reinterpret_cast<const char16_t*>(chosen));
  size_t slash = full.find_last_of(u'\\');
  u16string path = slash == u16string::npos ? u16string() : full.substr(0, slash);
  u16string name = slash == u16string::npos ? full : full.substr(slash + 1);
  if ((rec->checks & 0x20) && rec->nameLimit > 0 && static_cast<LONG>(name.size()) > rec->nameLimit)
    name.resize(static_cast<size_t>(rec->nameLimit));
  if (((rec->checks & 0x04) && rec->nameLimit > 0 && Bytes(name) > rec->nameLimit) ||
      ((rec->checks & 0x08) && rec->pathLimit > 0 && Bytes(path) > rec->pathLimit)) {
    uiButtonErrMsgWindow(msg, rec, TRUE);
    return 0;
  }
  if (!FieldChars(name, rec->checks) || !FieldChars(path, rec->checks)) {
    uiButtonErrMsgWindow(msg, rec, FALSE);
    return 0;
  }
  // A choice the setting's field cannot hold (DDM 375 keeps a whole path in
  // 128 characters) is refused as too long: the message, and the dialog
  // comes again. Nothing is stored before every part fits.
  auto fits = [](WORD id, const u16string& v) {
    const DDM_LAYOUT* l = id ? ddm_FindLayout(id, nullptr, nullptr) : nullptr;
    return !l || (v.size() + 1) * sizeof(char16_t) <= l->bytes;
  };
  const bool both = rec->pathId && rec->nameId;
  if (both ? !fits(rec->pathId, path) || !fits(rec->nameId, name)
           : !fits(rec->pathId ? rec->pathId : rec->nameId, full)) {
    uiButtonErrMsgWindow(msg, rec, TRUE);
    return 0;
  }
  UIROOT* root = msg->data->root;
  auto store = [&](WORD id, const u16string& v) {
    if (!id) return true;
    DWORD bytes = static_cast<DWORD>((v.size() + 1) * 2);
    if (ddm_SetValue(id, root->devmode, root->printerData, 6, bytes, v.c_str()) != 0) return false;
    cnstUtil_AddWordArray(id, CONST_ROOM_CHANGED, ids, n);
    return true;
  };
  if (rec->pathId && rec->nameId) {
    if (!store(rec->pathId, path) || !store(rec->nameId, name)) return -1;
  } else if (!store(rec->pathId ? rec->pathId : rec->nameId, full)) {
    return -1;
  }
  return 1;
}

// What the file dialog is opened with.
struct UI_OPENFILE {
  WCHAR file[UI_FILE_CHARS];
  u16string path;
  WCHAR title[128];
  WCHAR ext[128];
  u16string filter;
};

// Fills the file dialog's parameters from the record and the devmode; -1
// for a bad folder string.
LONG uiButtonMakeParamOpenFile(UI_MSGINFO* msg, const UI_FILEDLG* rec, UI_OPENFILE* p) {
  UIROOT* root = msg->data->root;
  WCHAR dir[MAX_PATH] = {};
  auto read = [&](WORD id) -> u16string {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    if (!id || ddm_GetValue(id, root->devmode, root->printerData, &type, &size, &v) != 0 || type != 6 || !v)
      return u16string();
    return u16string(reinterpret_cast<const char16_t*>(v));
  };
  u16string path = read(rec->pathId);
  if (rec->pathId == UI_DDM_FORMFILE_PATH) {
    size_t slash = path.find_last_of(u'\\');
    if (slash != u16string::npos) path.resize(slash);
  }
  u16string name = read(rec->nameId);
  if (rec->defaultItem == UI_ITEM_FORMDIR) {
    uiGetFormDir(dir, MAX_PATH);
    if (path.empty()) path = reinterpret_cast<const char16_t*>(dir);
  }
  if (path.empty() || GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) == INVALID_FILE_ATTRIBUTES) {
    WCHAR text[MAX_PATH] = {};
    if (rec->dirString != UI_NOSTRING && resource_LoadString(static_cast<UINT>(rec->dirString), text, MAX_PATH) &&
        uiButtonParseDirString(text, dir, MAX_PATH))
      path = reinterpret_cast<const char16_t*>(dir);
    else if (rec->dirString != UI_NOSTRING)
      return -1;  // a bad folder string
  }
  p->path = path;
  lstrcpynW(p->file, reinterpret_cast<LPCWSTR>(name.c_str()), UI_FILE_CHARS);
  WCHAR filterName[128] = {}, filterPattern[128] = {};
  if (rec->titleString != UI_NOSTRING) resource_LoadString(static_cast<UINT>(rec->titleString), p->title, 128);
  if (rec->extString != UI_NOSTRING) resource_LoadString(static_cast<UINT>(rec->extString), p->ext, 128);
  if (rec->filterName != UI_NOSTRING) resource_LoadString(static_cast<UINT>(rec->filterName), filterName, 128);
  if (rec->filterPattern != UI_NOSTRING)
    resource_LoadString(static_cast<UINT>(rec->filterPattern), filterPattern, 128);
  p->filter = reinterpret_cast<const char16_t*>(filterName);
  p->filter += u'\0';
  p->filter += reinterpret_cast<const char16_t*>(filterPattern);
  p->filter += u'\0';
  p->filter += u'\0';
  return 1;
}

}  // namespace

LONG uiButtonOpenFileDialog(UI_MSGINFO* msg, const UI_FILEDLG* rec, BOOL save) {
  if (!rec) return -1;
  UI_OPENFILE param{};
  UI_OPENFILE* p = &param;
  if (uiButtonMakeParamOpenFile(msg, rec, p) != 1) return -1;
  for (;;) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = msg->dialog;
    ofn.lpstrFilter = reinterpret_cast<LPCWSTR>(p->filter.c_str());
    ofn.lpstrFile = p->file;
    ofn.nMaxFile = UI_FILE_CHARS;
    ofn.lpstrInitialDir = reinterpret_cast<LPCWSTR>(p->path.c_str());
    ofn.lpstrTitle = p->title[0] ? p->title : nullptr;
    ofn.lpstrDefExt = p->ext[0] ? p->ext : nullptr;
    ofn.Flags = rec->flags ? rec->flags : UI_OFN_DEFAULT_FLAGS;
    BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return CommDlgExtendedError() ? -1 : 2;
    WORD room[CONST_ROOM_CHANGED] = {};
    WORD* ids = room;
    WORD n = 0;
    LONG r = uiButtonSetDataOpenFile(msg, rec, p->file, &ids, &n);
    if (r == 1) {
      auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (static_cast<size_t>(n) + 1) * sizeof(WORD)));
      if (out && n) std::memcpy(out, ids, n * sizeof(WORD));
      cnstUtil_FreeWordList(ids, n, CONST_ROOM_CHANGED);
      Redisplay(msg, out);
      return 1;
    }
    cnstUtil_FreeWordList(ids, n, CONST_ROOM_CHANGED);
    if (r < 0) return -1;
  }
}

namespace {
LONG OpenDocument(UI_MSGINFO* msg, LONG stringId) {
  WCHAR path[260] = {};
  if (stringId == UI_NOSTRING) {
    HCDDD ddd = msg->data->root->uiData->ddd;
    LPWSTR s = ddd ? ddd_GetPrinterInfo_orderedString_Indirect(ddd->main, UI_PRINTERINFO_DOCUMENT, 0) : nullptr;
    if (!s) return -1;
    lstrcpynW(path, s, 260);
    ddd_FreeMem(s);
  } else if (!resource_LoadString(static_cast<UINT>(stringId), path, 260)) {
    return -1;
  }
  INT_PTR r = reinterpret_cast<INT_PTR>(ShellExecuteW(msg->dialog, u"open", path, nullptr, nullptr, SW_SHOW));
  return r > 32 ? 1 : -1;
}
}  // namespace

LONG uiButtonCommand(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_BUTTON* button) {
  if (!button) return 0;
  uiSetDialogButtonKind(msg, button->kind);
  HWND control = Control(msg, row);
  LONG r = 0;
  switch (button->kind) {
    case 1: r = uiButtonOK(msg); break;
    case 2: r = uiButtonCancel(msg); break;
    case 3:
      SetFocus(control);
      r = uiButtonDefault(msg);
      break;
    case 4:
    case 5:
      r = uiButtonMakeScreen(msg, static_cast<const UI_DIALOGLIST*>(button->record), button->kind);
      break;
    case 6:
      WinHelpW(msg->dialog, UI_HELP_FILE, HELP_CONTEXT, static_cast<ULONG_PTR>(static_cast<LONG_PTR>(UI_HELP_CONTEXT)));
      r = 1;
      break;
    case 8:
    case 9:
      r = uiButtonOpenFileDialog(msg, static_cast<const UI_FILEDLG*>(button->record), button->kind == 9);
      break;
    case 10:
      r = OpenDocument(msg, button->record ? *static_cast<const LONG*>(button->record) : UI_NOSTRING);
      break;
    default:
      break;  // 7: nothing
  }
  if (button->kind == 4 || button->kind == 5 || button->kind == 8 || button->kind == 9) SetFocus(control);
  uiSetDialogButtonKind(msg, 0);
  (void)r;
  return 0;  // the mark is cleared
}
