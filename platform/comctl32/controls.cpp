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

// Tree view: nodes in one vector, siblings in vector order.
HTREEITEM AsItem(UINT_PTR handle) { return reinterpret_cast<HTREEITEM>(handle); }
UINT_PTR ParentKey(HTREEITEM item) { return item == TVI_ROOT ? 0 : reinterpret_cast<UINT_PTR>(item); }

std::vector<TreeNode>::iterator FindNode(Window& w, UINT_PTR handle) {
  return std::find_if(w.tree.begin(), w.tree.end(), [&](const TreeNode& n) { return n.handle == handle; });
}

// The vector position before which a new child of `parent` goes.
size_t InsertPosition(Window& w, UINT_PTR parent, HTREEITEM after, const std::u16string& text) {
  size_t end = w.tree.size(), first = end, last = end;
  for (size_t i = 0; i < w.tree.size(); ++i) {
    if (w.tree[i].parent != parent) continue;
    if (first == end) first = i;
    last = i + 1;
  }
  if (first == end) return end;
  if (after == TVI_FIRST) return first;
  if (after == TVI_SORT) {
    for (size_t i = first; i < last; ++i)
      if (w.tree[i].parent == parent && w.tree[i].text > text) return i;
    return last;
  }
  if (after != TVI_LAST) {
    auto it = FindNode(w, reinterpret_cast<UINT_PTR>(after));
    if (it != w.tree.end() && it->parent == parent) return static_cast<size_t>(it - w.tree.begin()) + 1;
  }
  return last;
}

void DeleteNode(Window& w, UINT_PTR handle) {
  std::vector<UINT_PTR> gone = {handle};
  for (size_t k = 0; k < gone.size(); ++k)
    for (const TreeNode& n : w.tree)
      if (n.parent == gone[k]) gone.push_back(n.handle);
  std::erase_if(w.tree, [&](const TreeNode& n) { return std::find(gone.begin(), gone.end(), n.handle) != gone.end(); });
}

LRESULT TreeView(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case TVM_INSERTITEMW: {
      const auto* in = reinterpret_cast<const TVINSERTSTRUCTW*>(lParam);
      if (!in) return 0;
      const UINT_PTR parent = ParentKey(in->hParent);
      if (parent && FindNode(w, parent) == w.tree.end()) return 0;
      TreeNode node;
      node.handle = w.treeNext++;
      node.parent = parent;
      if ((in->item.mask & TVIF_TEXT) && in->item.pszText) node.text = in->item.pszText;
      if (in->item.mask & TVIF_PARAM) node.data = in->item.lParam;
      const size_t at = InsertPosition(w, parent, in->hInsertAfter, node.text);
      w.tree.insert(w.tree.begin() + static_cast<long>(at), node);
      return reinterpret_cast<LRESULT>(AsItem(node.handle));
    }
    case TVM_DELETEITEM: {
      auto item = reinterpret_cast<HTREEITEM>(lParam);
      if (item == TVI_ROOT || !item) {
        w.tree.clear();
        return TRUE;
      }
      if (FindNode(w, reinterpret_cast<UINT_PTR>(item)) == w.tree.end()) return FALSE;
      DeleteNode(w, reinterpret_cast<UINT_PTR>(item));
      return TRUE;
    }
    case TVM_GETCOUNT:
      return static_cast<LRESULT>(w.tree.size());
    case TVM_EXPAND:
      return TRUE;
    case TVM_GETNEXTITEM: {
      const UINT_PTR from = static_cast<UINT_PTR>(lParam);
      auto childOf = [&](UINT_PTR parent) -> LRESULT {
        for (const TreeNode& n : w.tree)
          if (n.parent == parent) return static_cast<LRESULT>(n.handle);
        return 0;
      };
      switch (static_cast<UINT>(wParam)) {
        case TVGN_ROOT:
          return childOf(0);
        case TVGN_CHILD:
          return from && FindNode(w, from) != w.tree.end() ? childOf(from) : childOf(0);
        case TVGN_PARENT: {
          auto it = FindNode(w, from);
          return it == w.tree.end() ? 0 : static_cast<LRESULT>(it->parent);
        }
        case TVGN_NEXT:
        case TVGN_PREVIOUS: {
          auto it = FindNode(w, from);
          if (it == w.tree.end()) return 0;
          if (wParam == TVGN_NEXT) {
            for (auto n = it + 1; n != w.tree.end(); ++n)
              if (n->parent == it->parent) return static_cast<LRESULT>(n->handle);
          } else {
            for (auto n = it; n != w.tree.begin();)
              if ((--n)->parent == it->parent) return static_cast<LRESULT>(n->handle);
          }
          return 0;
        }
        default:
          return 0;
      }
    }
    case TVM_GETITEMW:
    case TVM_SETITEMW: {
      auto* item = reinterpret_cast<TVITEMW*>(lParam);
      if (!item) return FALSE;
      auto it = FindNode(w, reinterpret_cast<UINT_PTR>(item->hItem));
      if (it == w.tree.end()) return FALSE;
      if (message == TVM_SETITEMW) {
        if ((item->mask & TVIF_TEXT) && item->pszText) it->text = item->pszText;
        if (item->mask & TVIF_PARAM) it->data = item->lParam;
        return TRUE;
      }
      if ((item->mask & TVIF_TEXT) && item->pszText && item->cchTextMax > 0)
        CopyOut(it->text, static_cast<WPARAM>(item->cchTextMax), reinterpret_cast<LPARAM>(item->pszText));
      if (item->mask & TVIF_PARAM) item->lParam = it->data;
      if (item->mask & TVIF_CHILDREN)
        item->cChildren = std::any_of(w.tree.begin(), w.tree.end(), [&](const TreeNode& n) { return n.parent == it->handle; });
      return TRUE;
    }
    default:
      *handled = false;
      (void)wParam;
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
      case Kind::kTreeView:
        r = TreeView(*w, message, wParam, lParam, &handled);
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
