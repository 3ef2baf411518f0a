// Property sheets: pages made from dialog templates at their first
// activation, a modal sheet played from a script, the notifications of
// switching, OK and Cancel (kplatform/comctl32_prsht.h).
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "comctl32/sheet.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/kernel32_string.h"
#include "user32/dialogs.h"
#include "user32/window_table.h"

#ifndef ERROR_CANCELLED
#define ERROR_CANCELLED 1223L
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif

// The page behind an HPROPSHEETPAGE: the caller's record as copied.
struct _PSP {
  PROPSHEETPAGEW* record;  // dwSize bytes from the process heap
};

namespace kp::comctl32 {
namespace {

using kp::user32::Kind;
using kp::user32::Window;

struct Sheet {
  HWND frame = nullptr;
  std::vector<HPROPSHEETPAGE> pages;
  std::vector<HWND> windows;  // null while a page is not made
  int current = -1;
  bool ended = false;
  INT_PTR result = 0;
};

struct State {
  std::mutex lock;
  std::set<HPROPSHEETPAGE> live;
  std::map<HWND, Sheet*> sheets;
  std::vector<HWND> running;  // innermost last
  std::vector<KP_SHEET_CHANGE> changes;
};

State& S() {
  static State* s = new State;  // lives as long as the process
  return *s;
}

Sheet* FindSheet(HWND frame) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.sheets.find(frame);
  return it == s.sheets.end() ? nullptr : it->second;
}

bool IsLive(HPROPSHEETPAGE page) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return page && s.live.count(page);
}

// One notification to a page: its answer is the page's DWLP_MSGRESULT,
// cleared first.
LRESULT Notify(const Sheet& sheet, HWND page, UINT code, LPARAM lParam) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
  PSHNOTIFY n{};
  n.hdr.hwndFrom = sheet.frame;
  n.hdr.idFrom = 0;
  n.hdr.code = code;
  n.lParam = lParam;
  return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

DWORD TemplateId(const PROPSHEETPAGEW* p) {
  return !(p->dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(p->pszTemplate)
             ? static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p->pszTemplate))
             : 0;
}

// Makes page i's window: PSPCB_CREATE, then the dialog from its template.
bool MakePage(Sheet& sheet, size_t i) {
  PROPSHEETPAGEW* p = sheet.pages[i]->record;
  if ((p->dwFlags & PSP_USECALLBACK) && p->pfnCallback && !p->pfnCallback(nullptr, PSPCB_CREATE, p)) return false;
  if (p->dwFlags & PSP_DLGINDIRECT) {
    SetLastError(ERROR_NOT_SUPPORTED);  // in-memory templates: no caller uses them
    return false;
  }
  HWND page = kp::user32::CreateDialogFromTemplate(p->hInstance, p->pszTemplate, sheet.frame, p->pfnDlgProc,
                                                   reinterpret_cast<LPARAM>(p), false);
  if (!page) return false;
  if ((p->dwFlags & PSP_USETITLE) && p->pszTitle) {
    if (IS_INTRESOURCE(p->pszTitle)) {
      WCHAR title[256] = {};
      if (LoadStringW(p->hInstance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(p->pszTitle)), title, 256) > 0)
        SetWindowTextW(page, title);
    } else {
      SetWindowTextW(page, p->pszTitle);
    }
  }
  sheet.windows[i] = page;
  return true;
}

bool Switch(Sheet& sheet, int index) {
  if (index < 0 || index >= static_cast<int>(sheet.pages.size())) return false;
  if (index == sheet.current) return true;
  if (sheet.current >= 0 && Notify(sheet, sheet.windows[static_cast<size_t>(sheet.current)], PSN_KILLACTIVE, 0))
    return false;  // the page keeps the focus
  if (!sheet.windows[static_cast<size_t>(index)] && !MakePage(sheet, static_cast<size_t>(index))) return false;
  if (sheet.current >= 0) ShowWindow(sheet.windows[static_cast<size_t>(sheet.current)], SW_HIDE);
  sheet.current = index;
  HWND page = sheet.windows[static_cast<size_t>(index)];
  ShowWindow(page, SW_SHOW);
  Notify(sheet, page, PSN_SETACTIVE, 0);
  return true;
}

// Apply to every made page; false (sheet stays open) when one refuses.
bool ApplyAll(Sheet& sheet, BOOL closing) {
  if (sheet.current >= 0 && Notify(sheet, sheet.windows[static_cast<size_t>(sheet.current)], PSN_KILLACTIVE, 0))
    return false;
  for (size_t i = 0; i < sheet.windows.size(); ++i) {
    if (!sheet.windows[i]) continue;
    const LRESULT r = Notify(sheet, sheet.windows[i], PSN_APPLY, closing);
    if (r == PSNRET_INVALID || r == PSNRET_INVALID_NOCHANGEPAGE) {
      if (r == PSNRET_INVALID && static_cast<int>(i) != sheet.current) {
        if (sheet.current >= 0) ShowWindow(sheet.windows[static_cast<size_t>(sheet.current)], SW_HIDE);
        sheet.current = static_cast<int>(i);
        ShowWindow(sheet.windows[i], SW_SHOW);
        Notify(sheet, sheet.windows[i], PSN_SETACTIVE, 0);
      }
      return false;
    }
  }
  return true;
}

void Ok(Sheet& sheet) {
  if (!ApplyAll(sheet, TRUE)) return;
  sheet.ended = true;
  sheet.result = 1;
}

void Reset(Sheet& sheet) {
  for (HWND page : sheet.windows)
    if (page) Notify(sheet, page, PSN_RESET, 0);
  sheet.ended = true;
  sheet.result = 0;
}

void Cancel(Sheet& sheet) {
  if (sheet.current >= 0 && Notify(sheet, sheet.windows[static_cast<size_t>(sheet.current)], PSN_QUERYCANCEL, 0))
    return;
  Reset(sheet);
}

LRESULT CALLBACK SheetProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  Sheet* sheet = FindSheet(frame);
  if (!sheet) return DefWindowProcW(frame, message, wParam, lParam);
  switch (message) {
    case PSM_SETCURSEL: {
      int index = static_cast<int>(static_cast<INT_PTR>(wParam));
      if (lParam) {
        auto it = std::find(sheet->pages.begin(), sheet->pages.end(), reinterpret_cast<HPROPSHEETPAGE>(lParam));
        index = it == sheet->pages.end() ? -1 : static_cast<int>(it - sheet->pages.begin());
      }
      return Switch(*sheet, index) ? TRUE : FALSE;
    }
    case PSM_PRESSBUTTON:
      if (wParam == PSBTN_OK) Ok(*sheet);
      if (wParam == PSBTN_CANCEL) Cancel(*sheet);
      return 0;
    case PSM_APPLY:
      return ApplyAll(*sheet, FALSE) ? TRUE : FALSE;
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
      State& s = S();
      std::lock_guard<std::mutex> g(s.lock);
      s.changes.push_back({reinterpret_cast<HWND>(wParam), message == PSM_UNCHANGED ? TRUE : FALSE});
      return 0;
    }
    case PSM_GETCURRENTPAGEHWND:
      return sheet->current >= 0 ? reinterpret_cast<LRESULT>(sheet->windows[static_cast<size_t>(sheet->current)]) : 0;
    case PSM_QUERYSIBLINGS:
      for (HWND page : sheet->windows) {
        if (!page) continue;
        const LRESULT r = SendMessageW(page, PSM_QUERYSIBLINGS, wParam, lParam);
        if (r) return r;
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) Ok(*sheet);
      if (LOWORD(wParam) == IDCANCEL) Cancel(*sheet);
      return 0;
    default:
      return DefWindowProcW(frame, message, wParam, lParam);
  }
}

void DestroyPages(std::vector<HPROPSHEETPAGE>& pages) {
  for (HPROPSHEETPAGE page : pages) DestroyPropertySheetPage(page);
  pages.clear();
}

}  // namespace

std::vector<std::pair<HWND, DWORD>> SheetPages(HWND frame) {
  std::vector<std::pair<HWND, DWORD>> out;
  Sheet* sheet = FindSheet(frame);
  if (!sheet) return out;
  for (size_t i = 0; i < sheet->pages.size(); ++i)
    out.emplace_back(sheet->windows[i], TemplateId(sheet->pages[i]->record));
  return out;
}

}  // namespace kp::comctl32

using namespace kp::comctl32;

KP_API HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW page) {
  if (!page || page->dwSize < PROPSHEETPAGEW_V1_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE heap = GetProcessHeap();
  auto* handle = static_cast<_PSP*>(HeapAlloc(heap, 0, sizeof(_PSP)));
  if (!handle) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  handle->record = static_cast<PROPSHEETPAGEW*>(HeapAlloc(heap, 0, page->dwSize));
  if (!handle->record) {
    HeapFree(heap, 0, handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memcpy(handle->record, page, page->dwSize);
  {
    State& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.live.insert(handle);
  }
  if ((page->dwFlags & PSP_USECALLBACK) && page->pfnCallback)
    page->pfnCallback(nullptr, PSPCB_ADDREF, handle->record);
  return handle;
}

KP_API BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page) {
  {
    State& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    if (!page || !s.live.erase(page)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  PROPSHEETPAGEW* record = page->record;
  if ((record->dwFlags & PSP_USECALLBACK) && record->pfnCallback)
    record->pfnCallback(nullptr, PSPCB_RELEASE, record);
  HeapFree(GetProcessHeap(), 0, record);
  HeapFree(GetProcessHeap(), 0, page);
  return TRUE;
}

KP_API INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW header) {
  if (!header || header->dwSize < sizeof(PROPSHEETHEADERW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  // 1. The pages: made from the records, or the handles given (the sheet
  //    owns them from here on).
  Sheet sheet;
  if (header->dwFlags & PSH_PROPSHEETPAGE) {
    const auto* at = reinterpret_cast<const BYTE*>(header->ppsp);
    for (UINT i = 0; at && i < header->nPages; ++i) {
      const auto* record = reinterpret_cast<LPCPROPSHEETPAGEW>(at);
      HPROPSHEETPAGE page = CreatePropertySheetPageW(record);
      if (!page) {
        DestroyPages(sheet.pages);
        return -1;
      }
      sheet.pages.push_back(page);
      at += record->dwSize;
    }
  } else {
    for (UINT i = 0; header->phpage && i < header->nPages; ++i) {
      if (!IsLive(header->phpage[i])) {
        DestroyPages(sheet.pages);
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
      }
      sheet.pages.push_back(header->phpage[i]);
    }
  }
  if (sheet.pages.empty() || (header->dwFlags & PSH_MODELESS)) {
    DestroyPages(sheet.pages);
    SetLastError(header->dwFlags & PSH_MODELESS ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return -1;
  }
  // 2. Its script; without one the sheet is not shown.
  kp::user32::Script script;
  if (!kp::user32::TakeScript(KP_SCRIPT_SHEET, &script)) {
    DestroyPages(sheet.pages);
    SetLastError(ERROR_CANCELLED);
    return -1;
  }
  // 3. The frame, the owner disabled while the sheet runs.
  HWND parent = header->hwndParent && IsWindow(header->hwndParent) ? header->hwndParent : nullptr;
  Window frame;
  frame.parent = parent;
  frame.instance = header->hInstance;
  frame.kind = Kind::kSheet;
  frame.className = u"#32770";
  frame.wndProc = SheetProc;
  if (header->pszCaption && !IS_INTRESOURCE(header->pszCaption)) frame.text = header->pszCaption;
  sheet.frame = kp::user32::MakeWindow(std::move(frame));
  if (!sheet.frame) {
    DestroyPages(sheet.pages);
    return -1;
  }
  sheet.windows.assign(sheet.pages.size(), nullptr);
  {
    State& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.sheets[sheet.frame] = &sheet;
    s.running.push_back(sheet.frame);
  }
  const bool parentWasEnabled = parent && IsWindowEnabled(parent);
  if (parentWasEnabled) EnableWindow(parent, FALSE);
  // 4. The start page, then the script; a sheet left open is cancelled.
  const UINT start = (header->dwFlags & PSH_USEPSTARTPAGE) ? 0 : std::min<UINT>(header->nStartPage,
                                                                                 static_cast<UINT>(sheet.pages.size() - 1));
  INT_PTR result;
  if (!Switch(sheet, static_cast<int>(start))) {
    result = -1;
  } else {
    KpPumpMessages();
    kp::user32::PlayScript(sheet.frame, script, [&] { return sheet.ended; });
    if (!sheet.ended) {
      Cancel(sheet);
      KpPumpMessages();
      if (!sheet.ended) Reset(sheet);
    }
    result = sheet.result;
  }
  // 5. Close: the pages' windows, the pages, the frame.
  for (HWND page : sheet.windows)
    if (page && IsWindow(page)) DestroyWindow(page);
  DestroyWindow(sheet.frame);
  {
    State& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.sheets.erase(sheet.frame);
    s.running.erase(std::find(s.running.begin(), s.running.end(), sheet.frame));
  }
  DestroyPages(sheet.pages);
  if (parentWasEnabled && IsWindow(parent)) EnableWindow(parent, TRUE);
  return result;
}

KP_API DWORD KpSheetChanges(KP_SHEET_CHANGE* changes, DWORD capacity) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (DWORD i = 0; changes && i < capacity && i < s.changes.size(); ++i) changes[i] = s.changes[i];
  return static_cast<DWORD>(s.changes.size());
}

KP_API void KpClearSheetChanges(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.changes.clear();
}

KP_API DWORD KpLivePropertySheetPages(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return static_cast<DWORD>(s.live.size());
}

KP_API HWND KpCurrentSheet(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return s.running.empty() ? nullptr : s.running.back();
}

KP_API HWND KpSheetCurrentPage(HWND frame) {
  Sheet* sheet = FindSheet(frame);
  if (!sheet || sheet->current < 0) return nullptr;
  return sheet->windows[static_cast<size_t>(sheet->current)];
}
