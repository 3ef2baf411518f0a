// The standard controls as state (kplatform/user32_controls.h): buttons,
// edits, statics, list boxes, combo boxes and scroll bars. Each control's
// procedure changes its record under the table's lock and tells its parent
// afterwards, with the lock released.
#include <algorithm>
#include <cstring>

#include "kplatform/kernel32_string.h"
#include "kplatform/user32_controls.h"
#include "user32/window_table.h"

namespace kp::user32 {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::u16string TextOf(LPARAM lParam) {
  return lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
}

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithFolded(const std::u16string& text, const std::u16string& prefix, bool whole) {
  if (whole ? text.size() != prefix.size() : text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Fold(text[i]) != Fold(prefix[i])) return false;
  return true;
}

int CompareFolded(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (Fold(a[i]) != Fold(b[i])) return Fold(a[i]) < Fold(b[i]) ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The list messages of list boxes and combo boxes share one body; `lb`
// tells which message family came in.
struct ListCodes {
  UINT add, insert, remove, reset, setSel, getSel, getText, getTextLen, count, selectString, findString,
      findExact, getData, setData, setHeight, getHeight;
};
constexpr ListCodes kListBox{LB_ADDSTRING,   LB_INSERTSTRING,   LB_DELETESTRING, LB_RESETCONTENT,
                             LB_SETCURSEL,   LB_GETCURSEL,      LB_GETTEXT,      LB_GETTEXTLEN,
                             LB_GETCOUNT,    LB_SELECTSTRING,   LB_FINDSTRING,   LB_FINDSTRINGEXACT,
                             LB_GETITEMDATA, LB_SETITEMDATA,    LB_SETITEMHEIGHT, LB_GETITEMHEIGHT};
constexpr ListCodes kComboBox{CB_ADDSTRING,   CB_INSERTSTRING,   CB_DELETESTRING, CB_RESETCONTENT,
                              CB_SETCURSEL,   CB_GETCURSEL,      CB_GETLBTEXT,    CB_GETLBTEXTLEN,
                              CB_GETCOUNT,    CB_SELECTSTRING,   CB_FINDSTRING,   CB_FINDSTRINGEXACT,
                              CB_GETITEMDATA, CB_SETITEMDATA,    CB_SETITEMHEIGHT, CB_GETITEMHEIGHT};

bool HasStrings(const Window& w, bool combo) {
  const LONG ownerDraw = combo ? (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)
                               : (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
  const LONG hasStrings = combo ? CBS_HASSTRINGS : LBS_HASSTRINGS;
  return !(w.style & ownerDraw) || (w.style & hasStrings);
}

int Find(const Window& w, int after, const std::u16string& text, bool exact) {
  const int n = static_cast<int>(w.items.size());
  if (n == 0) return -1;
  const int start = after < -1 || after >= n ? -1 : after;
  for (int k = 1; k <= n; ++k) {
    const int i = (start + k) % n;
    if (StartsWithFolded(w.items[static_cast<size_t>(i)].text, text, exact)) return i;
  }
  return -1;
}

// Measures a new item of a variable owner-draw box at the parent.
void MeasureVariable(HWND control, bool combo, int index, LPARAM data) {
  MEASUREITEMSTRUCT m{};
  m.CtlType = combo ? ODT_COMBOBOX : ODT_LISTBOX;
  m.CtlID = static_cast<UINT>(IdOf(control));
  m.itemID = static_cast<UINT>(index);
  m.itemHeight = 16;
  m.itemData = static_cast<ULONG_PTR>(data);
  HWND parent = ParentOf(control);
  if (parent) SendMessageW(parent, WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
}

LRESULT ListMessage(HWND window, bool combo, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  const ListCodes& c = combo ? kComboBox : kListBox;
  const LRESULT err = combo ? CB_ERR : LB_ERR;
  *handled = true;
  int measureIndex = -1;
  LPARAM measureData = 0;
  LRESULT answer;
  {
    auto& t = Windows();
    Lock g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return err;
    const int n = static_cast<int>(w->items.size());
    const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
    const bool strings = HasStrings(*w, combo);
    if (message == c.add || message == c.insert) {
      Item item;
      if (strings)
        item.text = TextOf(lParam);
      else
        item.data = lParam;
      int at;
      if (message == c.add) {
        at = n;
        const LONG sort = combo ? CBS_SORT : LBS_SORT;
        if ((w->style & sort) && strings) {
          at = 0;
          while (at < n && CompareFolded(w->items[static_cast<size_t>(at)].text, item.text) <= 0) ++at;
        }
      } else {
        if (index > n) return err;
        at = index < 0 ? n : index;
      }
      w->items.insert(w->items.begin() + at, std::move(item));
      if (w->selection >= at) ++w->selection;
      const LONG variable = combo ? CBS_OWNERDRAWVARIABLE : LBS_OWNERDRAWVARIABLE;
      if (w->style & variable) measureIndex = at, measureData = lParam;
      answer = at;
    } else if (message == c.remove) {
      if (index < 0 || index >= n) return err;
      w->items.erase(w->items.begin() + index);
      if (w->selection == index)
        w->selection = -1;
      else if (w->selection > index)
        --w->selection;
      return n - 1;
    } else if (message == c.reset) {
      w->items.clear();
      w->selection = -1;
      if (combo) w->text.clear();
      return combo ? CB_OKAY : LB_OKAY;
    } else if (message == c.setSel) {
      if (index < -1 || index >= n) {
        w->selection = -1;
        return err;
      }
      w->selection = index;
      if (combo && index >= 0) w->text = w->items[static_cast<size_t>(index)].text;
      return combo ? index : LB_OKAY;
    } else if (message == c.getSel) {
      return w->selection;
    } else if (message == c.getText) {
      if (index < 0 || index >= n || !lParam) return err;
      if (!strings) {
        std::memcpy(reinterpret_cast<void*>(lParam), &w->items[static_cast<size_t>(index)].data, sizeof(LPARAM));
        return sizeof(LPARAM);
      }
      const std::u16string& text = w->items[static_cast<size_t>(index)].text;
      text.copy(reinterpret_cast<char16_t*>(lParam), text.size());
      reinterpret_cast<char16_t*>(lParam)[text.size()] = 0;
      return static_cast<LRESULT>(text.size());
    } else if (message == c.getTextLen) {
      if (index < 0 || index >= n) return err;
      return strings ? static_cast<LRESULT>(w->items[static_cast<size_t>(index)].text.size())
                     : static_cast<LRESULT>(sizeof(LPARAM));
    } else if (message == c.count) {
      return n;
    } else if (message == c.selectString) {
      const int found = Find(*w, index, TextOf(lParam), false);
      if (found < 0) return err;
      w->selection = found;
      if (combo) w->text = w->items[static_cast<size_t>(found)].text;
      return found;
    } else if (message == c.findString || message == c.findExact) {
      return Find(*w, index, TextOf(lParam), message == c.findExact);
    } else if (message == c.getData) {
      if (index < 0 || index >= n) return err;
      return w->items[static_cast<size_t>(index)].data;
    } else if (message == c.setData) {
      if (index < 0 || index >= n) return err;
      w->items[static_cast<size_t>(index)].data = lParam;
      return TRUE;
    } else if (message == c.setHeight) {
      return 0;
    } else if (message == c.getHeight) {
      return 16;
    } else {
      *handled = false;
      return 0;
    }
  }
  if (measureIndex >= 0) MeasureVariable(window, combo, measureIndex, measureData);
  return answer;
}

// The notification a control gives for gaining or losing the focus.
int FocusCode(Kind kind, LONG style, bool gained) {
  switch (kind) {
    case Kind::kEdit:
      return gained ? EN_SETFOCUS : EN_KILLFOCUS;
    case Kind::kComboBox:
      return gained ? CBN_SETFOCUS : CBN_KILLFOCUS;
    case Kind::kListBox:
      return (style & LBS_NOTIFY) ? (gained ? LBN_SETFOCUS : LBN_KILLFOCUS) : -1;
    case Kind::kButton:
      return (style & BS_NOTIFY) ? (gained ? BN_SETFOCUS : BN_KILLFOCUS) : -1;
    default:
      return -1;
  }
}

LRESULT EditMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  bool changed = false;
  LRESULT answer = 0;
  {
    auto& t = Windows();
    Lock g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    const DWORD size = static_cast<DWORD>(w->text.size());
    switch (message) {
      case WM_SETTEXT:
        w->text = TextOf(lParam);
        w->selStart = w->selEnd = 0;
        changed = true;
        answer = TRUE;
        break;
      case EM_LIMITTEXT:
        w->limit = wParam ? static_cast<UINT>(std::min<WPARAM>(wParam, 0x7FFFFFFEu)) : 0x7FFFFFFEu;
        return 0;
      case EM_GETLIMITTEXT:
        return w->limit;
      case EM_SETREADONLY:
        if (wParam)
          w->style |= ES_READONLY;
        else
          w->style &= ~ES_READONLY;
        return TRUE;
      case EM_SETSEL: {
        // -1 as the start takes the selection away; -1 as the end means the end.
        const INT_PTR start = static_cast<INT_PTR>(wParam), end = static_cast<INT_PTR>(lParam);
        if (start == -1) {
          w->selStart = w->selEnd = std::min<DWORD>(w->selEnd, size);
          return 0;
        }
        DWORD s = start < 0 || static_cast<DWORD>(start) > size ? size : static_cast<DWORD>(start);
        DWORD e = end < 0 || static_cast<DWORD>(end) > size ? size : static_cast<DWORD>(end);
        w->selStart = std::min(s, e);
        w->selEnd = std::max(s, e);
        return 0;
      }
      case EM_GETSEL:
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = w->selStart;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = w->selEnd;
        return MAKELONG(std::min<DWORD>(w->selStart, 0xFFFF), std::min<DWORD>(w->selEnd, 0xFFFF));
      case EM_REPLACESEL: {
        const std::u16string text = TextOf(lParam);
        const DWORD s = std::min(w->selStart, size), e = std::min(w->selEnd, size);
        w->text.replace(s, e - s, text);
        w->selStart = w->selEnd = s + static_cast<DWORD>(text.size());
        changed = true;
        break;
      }
      default:
        *handled = false;
        return 0;
    }
  }
  if (changed) {
    NotifyCommand(window, EN_UPDATE);
    NotifyCommand(window, EN_CHANGE);
  }
  return answer;
}

LRESULT ButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM, bool* handled) {
  *handled = true;
  auto& t = Windows();
  Lock g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  switch (message) {
    case BM_GETCHECK:
      return w->check;
    case BM_SETCHECK:
      w->check = static_cast<int>(wParam);
      return 0;
    case BM_GETSTATE:
      return w->check | (t.focus == window ? BST_FOCUS : 0);
    case BM_SETSTATE:
      return 0;
    default:
      *handled = false;
      return 0;
  }
}

LRESULT ScrollMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  auto& t = Windows();
  Lock g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  switch (message) {
    case SBM_SETPOS: {
      const int previous = w->position;
      w->position = std::clamp(static_cast<int>(wParam), std::min(w->minimum, w->maximum),
                               std::max(w->minimum, w->maximum));
      return previous;
    }
    case SBM_GETPOS:
      return w->position;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW:
      w->minimum = static_cast<int>(wParam);
      w->maximum = static_cast<int>(lParam);
      w->position = std::clamp(w->position, std::min(w->minimum, w->maximum), std::max(w->minimum, w->maximum));
      return w->position;
    case SBM_GETRANGE:
      if (wParam) *reinterpret_cast<int*>(wParam) = w->minimum;
      if (lParam) *reinterpret_cast<int*>(lParam) = w->maximum;
      return 0;
    default:
      *handled = false;
      return 0;
  }
}

LRESULT StaticMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  auto& t = Windows();
  Lock g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  HANDLE previous = w->image;
  switch (message) {
    case STM_SETICON:
      w->image = reinterpret_cast<HANDLE>(wParam);
      return reinterpret_cast<LRESULT>(previous);
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(previous);
    case STM_SETIMAGE:
      w->image = reinterpret_cast<HANDLE>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    case STM_GETIMAGE:
      return reinterpret_cast<LRESULT>(previous);
    default:
      *handled = false;
      return 0;
  }
}

}  // namespace

LRESULT ControlProc(HWND window, Kind kind, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT r = 0;
  switch (kind) {
    case Kind::kEdit:
      r = EditMessage(window, message, wParam, lParam, &handled);
      break;
    case Kind::kButton:
      r = ButtonMessage(window, message, wParam, lParam, &handled);
      break;
    case Kind::kStatic:
      r = StaticMessage(window, message, wParam, lParam, &handled);
      break;
    case Kind::kListBox:
    case Kind::kComboBox:
      if (kind == Kind::kComboBox && message == CB_LIMITTEXT) {
        // The selection field's edit: kept like an edit's limit.
        auto& t = Windows();
        Lock g(t.lock);
        if (Window* w = FindWindowRecord(window)) w->limit = wParam ? static_cast<UINT>(wParam) : 0x7FFFFFFEu;
        return TRUE;
      }
      if (kind == Kind::kComboBox && message == CB_GETDROPPEDSTATE) {
        auto& t = Windows();
        Lock g(t.lock);
        Window* w = FindWindowRecord(window);
        return w && w->dropped ? TRUE : FALSE;
      }
      if (kind == Kind::kComboBox && message == CB_SHOWDROPDOWN) {
        auto& t = Windows();
        Lock g(t.lock);
        if (Window* w = FindWindowRecord(window)) w->dropped = wParam != 0;
        return TRUE;
      }
      r = ListMessage(window, kind == Kind::kComboBox, message, wParam, lParam, &handled);
      break;
    case Kind::kScrollBar:
      r = ScrollMessage(window, message, wParam, lParam, &handled);
      break;
    default:
      break;
  }
  if (handled) return r;
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      const int code = FocusCode(kind, StyleOf(window), message == WM_SETFOCUS);
      if (code >= 0) NotifyCommand(window, code);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace kp::user32

using namespace kp::user32;

namespace {

// The scroll bar control behind SB_CTL calls; null (ERROR_INVALID_PARAMETER)
// for the window's own bars, which the stand-in does not keep.
bool IsScrollControl(HWND window, int bar) {
  Kind kind;
  if (!WindowKind(window, &kind)) return false;
  if (bar != SB_CTL || kind != Kind::kScrollBar) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

}  // namespace

KP_API int WINAPI SetScrollPos(HWND window, int bar, int position, BOOL) {
  if (!IsScrollControl(window, bar)) return 0;
  return static_cast<int>(SendMessageW(window, SBM_SETPOS, static_cast<WPARAM>(position), TRUE));
}

KP_API int WINAPI GetScrollPos(HWND window, int bar) {
  if (!IsScrollControl(window, bar)) return 0;
  return static_cast<int>(SendMessageW(window, SBM_GETPOS, 0, 0));
}

KP_API BOOL WINAPI SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL) {
  if (!IsScrollControl(window, bar)) return FALSE;
  SendMessageW(window, SBM_SETRANGE, static_cast<WPARAM>(minimum), maximum);
  return TRUE;
}

KP_API BOOL WINAPI GetScrollRange(HWND window, int bar, int* minimum, int* maximum) {
  if (!IsScrollControl(window, bar)) return FALSE;
  SendMessageW(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(minimum), reinterpret_cast<LPARAM>(maximum));
  return TRUE;
}

KP_API BOOL WINAPI CheckDlgButton(HWND dialog, int button, UINT check) {
  HWND control = GetDlgItem(dialog, button);
  if (!control) return FALSE;
  SendMessageW(control, BM_SETCHECK, check, 0);
  return TRUE;
}

KP_API UINT WINAPI IsDlgButtonChecked(HWND dialog, int button) {
  HWND control = GetDlgItem(dialog, button);
  return control ? static_cast<UINT>(SendMessageW(control, BM_GETCHECK, 0, 0)) : 0;
}

KP_API BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check) {
  if (!IsWindow(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (HWND child : ChildrenOf(dialog)) {
    const int id = GetDlgCtrlID(child);
    if (id >= first && id <= last) SendMessageW(child, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return TRUE;
}
