// The common controls as state (kplatform/comctl32_controls.h): up-down,
// trackbar, list view and tab. Their records live in user32's window table.
#include <algorithm>

#include "kplatform/comctl32_controls.h"
#include "kplatform/kernel32_string.h"
#include "user32/window_table.h"

namespace kp::user32 {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

int Clamp(int v, int a, int b) { return std::clamp(v, std::min(a, b), std::max(a, b)); }

// Up-down: `maximum` holds the upper limit, `minimum` the lower one.
LRESULT UpDown(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case UDM_SETRANGE:
      w.maximum = static_cast<SHORT>(LOWORD(lParam));
      w.minimum = static_cast<SHORT>(HIWORD(lParam));
      w.position = Clamp(w.position, w.minimum, w.maximum);
      return 0;
    case UDM_GETRANGE:
      return MAKELONG(static_cast<WORD>(w.maximum), static_cast<WORD>(w.minimum));
    case UDM_SETRANGE32:
      w.minimum = static_cast<int>(wParam);
      w.maximum = static_cast<int>(lParam);
      w.position = Clamp(w.position, w.minimum, w.maximum);
      return 0;
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<int*>(wParam) = w.minimum;
      if (lParam) *reinterpret_cast<int*>(lParam) = w.maximum;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      const int previous = w.position;
      const int v = message == UDM_SETPOS ? static_cast<SHORT>(LOWORD(lParam)) : static_cast<int>(lParam);
      w.position = Clamp(v, w.minimum, w.maximum);
      return previous;
    }
    case UDM_GETPOS:
      return MAKELONG(static_cast<WORD>(w.position), 0);
    case UDM_GETPOS32:
      if (lParam) *reinterpret_cast<BOOL*>(lParam) = FALSE;
      return w.position;
    case UDM_SETBUDDY: {
      HWND previous = w.buddy;
      w.buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(w.buddy);
    default:
      *handled = false;
      return 0;
  }
}

LRESULT Trackbar(Window& w, UINT message, WPARAM, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case TBM_GETPOS:
      return w.position;
    case TBM_GETRANGEMIN:
      return w.minimum;
    case TBM_GETRANGEMAX:
      return w.maximum;
    case TBM_SETPOS:
      w.position = Clamp(static_cast<int>(lParam), w.minimum, w.maximum);
      return 0;
    case TBM_SETRANGE:
      w.minimum = static_cast<SHORT>(LOWORD(lParam));
      w.maximum = static_cast<SHORT>(HIWORD(lParam));
      w.position = Clamp(w.position, w.minimum, w.maximum);
      return 0;
    case TBM_SETRANGEMIN:
      w.minimum = static_cast<int>(lParam);
      w.position = Clamp(w.position, w.minimum, w.maximum);
      return 0;
    case TBM_SETRANGEMAX:
      w.maximum = static_cast<int>(lParam);
      w.position = Clamp(w.position, w.minimum, w.maximum);
      return 0;
    case TBM_SETPAGESIZE: {
      const int previous = w.page;
      w.page = static_cast<int>(lParam);
      return previous;
    }
    case TBM_GETPAGESIZE:
      return w.page;
    case TBM_SETLINESIZE: {
      const int previous = w.line;
      w.line = static_cast<int>(lParam);
      return previous;
    }
    case TBM_GETLINESIZE:
      return w.line;
    default:
      *handled = false;
      return 0;
  }
}

LRESULT Tab(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  const int n = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  switch (message) {
    case TCM_GETITEMCOUNT:
      return n;
    case TCM_DELETEALLITEMS:
      w.items.clear();
      w.selection = -1;
      return TRUE;
    case TCM_GETCURSEL:
      return w.selection;
    case TCM_SETCURSEL: {
      if (index < 0 || index >= n) return -1;
      const int previous = w.selection;
      w.selection = index;
      return previous;
    }
    case TCM_INSERTITEMW: {
      const auto* item = reinterpret_cast<const TCITEMW*>(lParam);
      if (!item || index < 0) return -1;
      Item entry;
      if ((item->mask & TCIF_TEXT) && item->pszText) entry.text = item->pszText;
      if (item->mask & TCIF_PARAM) entry.data = item->lParam;
      const int at = std::min(index, n);
      w.items.insert(w.items.begin() + at, std::move(entry));
      if (w.selection < 0) w.selection = 0;
      else if (w.selection >= at) ++w.selection;
      return at;
    }
    case TCM_GETITEMW: {
      auto* item = reinterpret_cast<TCITEMW*>(lParam);
      if (!item || index < 0 || index >= n) return FALSE;
      const Item& entry = w.items[static_cast<size_t>(index)];
      if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0)
        CopyOut(entry.text, static_cast<WPARAM>(item->cchTextMax), reinterpret_cast<LPARAM>(item->pszText));
      if (item->mask & TCIF_PARAM) item->lParam = entry.data;
      return TRUE;
    }
    default:
      *handled = false;
      return 0;
  }
}

// List view state changes to notify after the lock is released.
struct StateChange {
  int item;
  UINT oldState;
  UINT newState;
  LPARAM data;
};

LRESULT ListView(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled,
                 std::vector<StateChange>* changes) {
  *handled = true;
  const int n = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  auto setState = [&](int i, UINT state, UINT mask) {
    Item& item = w.items[static_cast<size_t>(i)];
    const UINT next = (item.state & ~mask) | (state & mask);
    if (next != item.state) changes->push_back({i, item.state, next, item.data});
    item.state = next;
  };
  switch (message) {
    case LVM_GETITEMCOUNT:
      return n;
    case LVM_DELETEALLITEMS:
      w.items.clear();
      return TRUE;
    case LVM_DELETEITEM:
      if (index < 0 || index >= n) return FALSE;
      w.items.erase(w.items.begin() + index);
      return TRUE;
    case LVM_INSERTCOLUMNW:
      return 0;
    case LVM_INSERTITEMW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item || item->iItem < 0) return -1;
      Item entry;
      if ((item->mask & LVIF_TEXT) && item->pszText) entry.text = item->pszText;
      if (item->mask & LVIF_PARAM) entry.data = item->lParam;
      if (item->mask & LVIF_STATE) entry.state = item->state & item->stateMask;
      const int at = std::min(item->iItem, n);
      w.items.insert(w.items.begin() + at, std::move(entry));
      return at;
    }
    case LVM_SETITEMW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item || item->iItem < 0 || item->iItem >= n) return FALSE;
      if (item->iSubItem != 0) return TRUE;  // sub-items are not kept
      Item& entry = w.items[static_cast<size_t>(item->iItem)];
      if ((item->mask & LVIF_TEXT) && item->pszText) entry.text = item->pszText;
      if (item->mask & LVIF_PARAM) entry.data = item->lParam;
      if (item->mask & LVIF_STATE) setState(item->iItem, item->state, item->stateMask);
      return TRUE;
    }
    case LVM_GETITEMW: {
      auto* item = reinterpret_cast<LVITEMW*>(lParam);
      if (!item || item->iItem < 0 || item->iItem >= n) return FALSE;
      const Item& entry = w.items[static_cast<size_t>(item->iItem)];
      if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0)
        CopyOut(item->iSubItem ? std::u16string() : entry.text, static_cast<WPARAM>(item->cchTextMax),
                reinterpret_cast<LPARAM>(item->pszText));
      if (item->mask & LVIF_PARAM) item->lParam = entry.data;
      if (item->mask & LVIF_STATE) item->state = entry.state & item->stateMask;
      return TRUE;
    }
    case LVM_GETITEMTEXTW: {
      auto* item = reinterpret_cast<LVITEMW*>(lParam);
      if (!item || index < 0 || index >= n || !item->pszText || item->cchTextMax <= 0) return 0;
      return CopyOut(item->iSubItem ? std::u16string() : w.items[static_cast<size_t>(index)].text,
                     static_cast<WPARAM>(item->cchTextMax), reinterpret_cast<LPARAM>(item->pszText));
    }
    case LVM_SETITEMTEXTW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item || index < 0 || index >= n) return FALSE;
      if (item->iSubItem == 0) w.items[static_cast<size_t>(index)].text = item->pszText ? item->pszText : u"";
      return TRUE;
    }
    case LVM_SETITEMSTATE: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item) return FALSE;
      if (index == -1) {
        for (int i = 0; i < n; ++i) setState(i, item->state, item->stateMask);
      } else {
        if (index < 0 || index >= n) return FALSE;
        setState(index, item->state, item->stateMask);
      }
      return TRUE;
    }
    case LVM_GETITEMSTATE:
      if (index < 0 || index >= n) return 0;
      return w.items[static_cast<size_t>(index)].state & static_cast<UINT>(lParam);
    case LVM_GETNEXTITEM: {
      const UINT flags = static_cast<UINT>(lParam);
      for (int i = index < 0 ? 0 : index + 1; i < n; ++i) {
        const UINT state = w.items[static_cast<size_t>(i)].state;
        if (flags == LVNI_ALL || ((flags & LVNI_SELECTED) && (state & LVIS_SELECTED)) ||
            ((flags & LVNI_FOCUSED) && (state & LVIS_FOCUSED)))
          return i;
      }
      return -1;
    }
    default:
      *handled = false;
      return 0;
  }
}

}  // namespace

void NotifyItemChanged(HWND control, int item, UINT oldState, UINT newState, LPARAM data) {
  NMLISTVIEW n{};
  n.iItem = item;
  n.uOldState = oldState;
  n.uNewState = newState;
  n.uChanged = LVIF_STATE;
  n.lParam = data;
  NotifyParent(control, &n.hdr, LVN_ITEMCHANGED);
}

LRESULT CommonControlProc(HWND window, Kind kind, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT r = 0;
  std::vector<StateChange> changes;
  {
    auto& t = Windows();
    Lock g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    switch (kind) {
      case Kind::kUpDown:
        r = UpDown(*w, message, wParam, lParam, &handled);
        break;
      case Kind::kTrackbar:
        r = Trackbar(*w, message, wParam, lParam, &handled);
        break;
      case Kind::kTab:
        r = Tab(*w, message, wParam, lParam, &handled);
        break;
      case Kind::kListView:
        r = ListView(*w, message, wParam, lParam, &handled, &changes);
        break;
      default:
        break;
    }
  }
  for (const StateChange& c : changes) NotifyItemChanged(window, c.item, c.oldState, c.newState, c.data);
  return handled ? r : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kp::user32

KP_API BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX*) { return TRUE; }

namespace kp::user32 {

LRESULT ToolTipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& t = Windows();
  Lock g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  const auto* info = reinterpret_cast<const TTTOOLINFOW*>(lParam);
  auto find = [&]() -> Tool* {
    if (!info) return nullptr;
    for (Tool& tool : w->tools)
      if (tool.window == info->hwnd && tool.id == info->uId) return &tool;
    return nullptr;
  };
  auto text = [&]() {
    return info && info->lpszText ? std::u16string(reinterpret_cast<const char16_t*>(info->lpszText)) : u"";
  };
  switch (message) {
    case TTM_ADDTOOLW: {
      if (!info) return FALSE;
      if (Tool* tool = find()) {
        tool->text = text();
        return TRUE;
      }
      w->tools.push_back({info->hwnd, info->uId, text()});
      return TRUE;
    }
    case TTM_UPDATETIPTEXTW:
      if (Tool* tool = find()) tool->text = text();
      return 0;
    case TTM_DELTOOLW:
      if (Tool* tool = find()) w->tools.erase(w->tools.begin() + (tool - w->tools.data()));
      return 0;
    case TTM_GETTEXTW: {
      auto* out = info ? reinterpret_cast<TTTOOLINFOW*>(lParam) : nullptr;
      if (!out || !out->lpszText) return 0;
      Tool* tool = find();
      return CopyOut(tool ? tool->text : u"", wParam, reinterpret_cast<LPARAM>(out->lpszText));
    }
    case TTM_GETTOOLCOUNT:
      return static_cast<LRESULT>(w->tools.size());
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace kp::user32
