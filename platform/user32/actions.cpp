// Test controls: a person's actions on dialogs and property sheets, and the
// state dump (kplatform/user32_actions.h).
#include <algorithm>
#include <string>

#include "comctl32/sheet.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/comctl32_prsht.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_actions.h"
#include "kplatform/user32_controls.h"
#include "user32/drawing.h"
#include "user32/window_table.h"

namespace kp::user32 {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
constexpr WPARAM kMouseLeftButton = 0x0001;  // MK_LBUTTON

// A copy of the parts of a control's record an action reads.
struct Snapshot {
  Kind kind = Kind::kPlain;
  LONG style = 0;
  LONG id = 0;
  HWND parent = nullptr;
  int selection = -1;
  int position = 0, minimum = 0, maximum = 0, line = 1, page = 20;
  HWND buddy = nullptr;
  size_t count = 0;
};

bool Snap(HWND control, Snapshot* s) {
  auto& t = Windows();
  Lock g(t.lock);
  Window* w = FindWindowRecord(control);
  if (!w) return false;
  s->kind = w->kind;
  s->style = w->style;
  s->id = w->id;
  s->parent = w->parent;
  s->selection = w->selection;
  s->position = w->position;
  s->minimum = w->minimum;
  s->maximum = w->maximum;
  s->line = w->line;
  s->page = w->page;
  s->buddy = w->buddy;
  s->count = w->items.size();
  return true;
}

void SendScroll(HWND control, const Snapshot& s, bool vertical, int code, int position) {
  if (!s.parent) return;
  SendMessageW(s.parent, vertical ? WM_VSCROLL : WM_HSCROLL,
               static_cast<WPARAM>(MAKELONG(static_cast<WORD>(code), static_cast<WORD>(position))),
               reinterpret_cast<LPARAM>(control));
}

bool Type(HWND control, const Snapshot& s, const char16_t* text) {
  const bool combo = s.kind == Kind::kComboBox;
  if (combo ? (s.style & 0x3) != CBS_DROPDOWN && (s.style & 0x3) != CBS_SIMPLE : s.kind != Kind::kEdit) return false;
  if (!combo && (s.style & ES_READONLY)) return false;
  for (const char16_t* c = text; c && *c; ++c) {
    bool accepted = false;
    {
      auto& t = Windows();
      Lock g(t.lock);
      Window* w = FindWindowRecord(control);
      if (!w) return false;
      const DWORD size = static_cast<DWORD>(w->text.size());
      const DWORD start = std::min(w->selStart, size), end = std::min(w->selEnd, size);
      if (size - (end - start) + 1 <= w->limit) {
        w->text.replace(start, end - start, 1, *c);
        w->selStart = w->selEnd = start + 1;
        if (combo) w->selection = -1;
        accepted = true;
      }
    }
    if (!accepted) {
      if (!combo) NotifyCommand(control, EN_MAXTEXT);
      continue;
    }
    NotifyCommand(control, combo ? CBN_EDITUPDATE : EN_UPDATE);
    NotifyCommand(control, combo ? CBN_EDITCHANGE : EN_CHANGE);
  }
  return true;
}

bool Click(HWND control, const Snapshot& s) {
  if (s.kind == Kind::kStatic) {
    if (!(s.style & SS_NOTIFY)) return false;
    NotifyCommand(control, STN_CLICKED);
    return true;
  }
  if (s.kind != Kind::kButton) return false;
  const LONG type = s.style & BS_TYPEMASK;
  if (type == BS_GROUPBOX) return false;
  SetFocus(control);
  if (type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE) {
    const int now = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    const int next = type == BS_AUTOCHECKBOX ? (now == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED) : (now + 1) % 3;
    SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(next), 0);
  } else if (type == BS_AUTORADIOBUTTON) {
    // The group: from the control with WS_GROUP at or before this one to
    // the next control with WS_GROUP.
    std::vector<HWND> siblings = ChildrenOf(s.parent);
    size_t at = 0;
    while (at < siblings.size() && siblings[at] != control) ++at;
    size_t first = at;
    while (first > 0 && !(StyleOf(siblings[first]) & WS_GROUP)) --first;
    for (size_t i = first; i < siblings.size(); ++i) {
      if (i > first && (StyleOf(siblings[i]) & WS_GROUP)) break;
      Kind kind;
      if (!WindowKind(siblings[i], &kind) || kind != Kind::kButton) continue;
      const LONG t = StyleOf(siblings[i]) & BS_TYPEMASK;
      if (t != BS_AUTORADIOBUTTON && t != BS_RADIOBUTTON) continue;
      SendMessageW(siblings[i], BM_SETCHECK, siblings[i] == control ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  NotifyCommand(control, BN_CLICKED);
  return true;
}

void SetSelection(HWND control, bool combo, int index) {
  SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool ChooseCombo(HWND control, const Snapshot& s, int index, bool keys) {
  if (index < -1 || index >= static_cast<int>(s.count)) return false;
  SetFocus(control);
  SendMessageW(control, CB_SHOWDROPDOWN, TRUE, 0);
  NotifyCommand(control, CBN_DROPDOWN);
  if (index < 0) {
    // Escape or a click outside: the selection stays as it was.
    NotifyCommand(control, CBN_SELENDCANCEL);
  } else {
    if (keys) {
      int at = s.selection;
      const int step = index > at ? 1 : -1;
      if (at < 0) at = index - step;  // nothing selected: the first arrow lands next to the item
      while (at != index) {
        at += step;
        SetSelection(control, true, at);
        NotifyCommand(control, CBN_SELCHANGE);
      }
    } else {
      SetSelection(control, true, index);
      NotifyCommand(control, CBN_SELCHANGE);
    }
    NotifyCommand(control, CBN_SELENDOK);
  }
  SendMessageW(control, CB_SHOWDROPDOWN, FALSE, 0);
  NotifyCommand(control, CBN_CLOSEUP);
  return true;
}

bool Choose(HWND control, const Snapshot& s, int index, bool keys) {
  switch (s.kind) {
    case Kind::kComboBox:
      return ChooseCombo(control, s, index, keys);
    case Kind::kListBox: {
      if (index < 0 || index >= static_cast<int>(s.count)) return false;
      SetFocus(control);
      int at = keys && s.selection >= 0 ? s.selection : index;
      const int step = index > at ? 1 : -1;
      for (;;) {
        SetSelection(control, false, at);
        if (s.style & LBS_NOTIFY) NotifyCommand(control, LBN_SELCHANGE);
        if (at == index) break;
        at += step;
      }
      return true;
    }
    case Kind::kListView: {
      if (index < 0 || index >= static_cast<int>(s.count)) return false;
      SetFocus(control);
      LVITEMW clear{};
      clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      for (int i = 0; i < static_cast<int>(s.count); ++i)
        if (i != index) SendMessageW(control, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&clear));
      LVITEMW set{};
      set.state = set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageW(control, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&set));
      return true;
    }
    case Kind::kTab: {
      if (index < 0 || index >= static_cast<int>(s.count)) return false;
      SetFocus(control);
      NMHDR header{};
      if (NotifyParent(control, &header, TCN_SELCHANGING)) return true;  // the parent keeps the tab
      SendMessageW(control, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
      NotifyParent(control, &header, TCN_SELCHANGE);
      return true;
    }
    default:
      return false;
  }
}

bool Step(HWND control, const Snapshot& s, int value) {
  switch (s.kind) {
    case Kind::kUpDown: {
      if (value != 1 && value != -1) return false;
      // "Up" moves towards the upper limit (maximum), whichever way round.
      const int direction = (s.maximum >= s.minimum ? 1 : -1) * value;
      NMUPDOWN n{};
      n.iPos = s.position;
      n.iDelta = direction;
      if (NotifyParent(control, &n.hdr, UDN_DELTAPOS)) return true;  // the parent stopped the step
      const int lo = std::min(s.minimum, s.maximum), hi = std::max(s.minimum, s.maximum);
      const int position = std::clamp(s.position + direction, lo, hi);
      SendMessageW(control, UDM_SETPOS32, 0, position);
      if (position != s.position && (s.style & UDS_SETBUDDYINT) && s.buddy && IsWindow(s.buddy)) {
        std::u16string text;
        for (char c : std::to_string(position)) text.push_back(static_cast<char16_t>(c));
        SetWindowTextW(s.buddy, text.c_str());
      }
      const bool vertical = !(s.style & UDS_HORZ);
      SendScroll(control, s, vertical, SB_THUMBPOSITION, position);
      SendScroll(control, s, vertical, SB_ENDSCROLL, position);
      return true;
    }
    case Kind::kTrackbar: {
      int position = s.position;
      switch (value) {
        case TB_LINEUP: position -= s.line; break;
        case TB_LINEDOWN: position += s.line; break;
        case TB_PAGEUP: position -= s.page; break;
        case TB_PAGEDOWN: position += s.page; break;
        case TB_TOP: position = s.minimum; break;
        case TB_BOTTOM: position = s.maximum; break;
        default: return false;
      }
      SetFocus(control);
      SendMessageW(control, TBM_SETPOS, TRUE, position);
      const bool vertical = (s.style & TBS_VERT) != 0;
      SendScroll(control, s, vertical, value, 0);
      SendScroll(control, s, vertical, TB_ENDTRACK, 0);
      return true;
    }
    case Kind::kScrollBar: {
      if (value < SB_LINEUP || value > SB_BOTTOM || value == SB_THUMBPOSITION || value == SB_THUMBTRACK) return false;
      const bool vertical = (s.style & SBS_VERT) != 0;
      SendScroll(control, s, vertical, value, 0);
      SendScroll(control, s, vertical, SB_ENDSCROLL, 0);
      return true;
    }
    default:
      return false;
  }
}

bool Drag(HWND control, const Snapshot& s, int value) {
  if (s.kind == Kind::kTrackbar) {
    SetFocus(control);
    SendMessageW(control, TBM_SETPOS, TRUE, value);
    const int position = static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0));
    const bool vertical = (s.style & TBS_VERT) != 0;
    SendScroll(control, s, vertical, TB_THUMBTRACK, position);
    SendScroll(control, s, vertical, TB_THUMBPOSITION, position);
    SendScroll(control, s, vertical, TB_ENDTRACK, 0);
    return true;
  }
  if (s.kind == Kind::kScrollBar) {
    const int position = std::clamp(value, std::min(s.minimum, s.maximum), std::max(s.minimum, s.maximum));
    const bool vertical = (s.style & SBS_VERT) != 0;
    SendScroll(control, s, vertical, SB_THUMBTRACK, position);
    SendScroll(control, s, vertical, SB_THUMBPOSITION, position);
    SendScroll(control, s, vertical, SB_ENDSCROLL, 0);
    return true;
  }
  return false;
}

void DrawOne(HWND control, const Snapshot& s, int item, UINT extraState) {
  const bool combo = s.kind == Kind::kComboBox;
  const bool list = combo || s.kind == Kind::kListBox;
  DRAWITEMSTRUCT d{};
  d.CtlType = combo ? ODT_COMBOBOX : list ? ODT_LISTBOX : ODT_STATIC;
  d.CtlID = static_cast<UINT>(s.id);
  d.itemID = static_cast<UINT>(item);
  d.itemAction = ODA_DRAWENTIRE;
  d.itemState = extraState | (item >= 0 && item == s.selection ? ODS_SELECTED : 0) |
                (IsWindowEnabled(control) ? 0 : ODS_DISABLED);
  d.hwndItem = control;
  d.rcItem = RECT{0, 16 * (item < 0 ? 0 : item), 200, 16 * (item < 0 ? 1 : item + 1)};
  if (item >= 0 && list)
    d.itemData = static_cast<ULONG_PTR>(SendMessageW(control, combo ? CB_GETITEMDATA : LB_GETITEMDATA,
                                                     static_cast<WPARAM>(item), 0));
  d.hDC = BeginItemDrawing(control, static_cast<DWORD>(item));
  SendMessageW(s.parent, WM_DRAWITEM, static_cast<WPARAM>(s.id), reinterpret_cast<LPARAM>(&d));
  EndItemDrawing(d.hDC);
}

bool Paint(HWND control, const Snapshot& s) {
  if (s.kind == Kind::kStatic) {  // an owner-drawn static: one item, 0
    if ((s.style & SS_TYPEMASK) != SS_OWNERDRAW) return false;
    DrawOne(control, s, 0, 0);
    return true;
  }
  const bool combo = s.kind == Kind::kComboBox;
  if (!combo && s.kind != Kind::kListBox) return false;
  const LONG ownerDraw = combo ? (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)
                               : (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
  if (!(s.style & ownerDraw)) return false;
  if (combo) DrawOne(control, s, s.selection, ODS_COMBOBOXEDIT);
  for (int i = 0; i < static_cast<int>(s.count); ++i) DrawOne(control, s, i, 0);
  return true;
}

bool Act(HWND window, const KP_UI_ACTION& a) {
  Kind kind;
  if (!WindowKind(window, &kind)) return false;
  HWND sheet = kind == Kind::kSheet ? window : nullptr;
  if (!sheet && kind == Kind::kDialog) {
    Kind parentKind;
    HWND parent = ParentOf(window);
    if (parent && WindowKind(parent, &parentKind) && parentKind == Kind::kSheet) sheet = parent;
  }
  switch (a.kind) {
    case KP_UI_CALL:
      if (a.call) a.call(window, a.context);
      return a.call != nullptr;
    case KP_UI_SWITCH_PAGE:
      return sheet && SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(a.value), 0) ? TRUE : FALSE;
    case KP_UI_OK:
    case KP_UI_CANCEL: {
      if (sheet) {
        SendMessageW(sheet, PSM_PRESSBUTTON, a.kind == KP_UI_OK ? PSBTN_OK : PSBTN_CANCEL, 0);
        return true;
      }
      const int id = a.kind == KP_UI_OK ? IDOK : IDCANCEL;
      HWND button = GetDlgItem(window, id);
      if (button && (!IsWindowEnabled(button) || !IsWindowVisible(button))) return false;
      SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(button));
      return true;
    }
    default:
      break;
  }
  HWND host = kind == Kind::kSheet ? KpSheetCurrentPage(window) : window;
  HWND control = host ? GetDlgItem(host, a.control) : nullptr;
  Snapshot s;
  if (!control || !Snap(control, &s)) return false;
  if (!IsWindowEnabled(control) || !IsWindowVisible(control)) return false;
  switch (a.kind) {
    case KP_UI_TYPE:
      SetFocus(control);
      return Type(control, s, reinterpret_cast<const char16_t*>(a.text));
    case KP_UI_SELECT_ALL:
      if (s.kind != Kind::kEdit) return false;
      SetFocus(control);
      SendMessageW(control, EM_SETSEL, 0, -1);
      return true;
    case KP_UI_CLICK:
      return Click(control, s);
    case KP_UI_CHOOSE_MOUSE:
    case KP_UI_CHOOSE_KEYS:
      return Choose(control, s, a.value, a.kind == KP_UI_CHOOSE_KEYS);
    case KP_UI_FOCUS:
      SetFocus(control);
      return true;
    case KP_UI_STEP:
      return Step(control, s, a.value);
    case KP_UI_DRAG:
      return Drag(control, s, a.value);
    case KP_UI_PAINT:
      return Paint(control, s);
    case KP_UI_MOUSE_DOWN:
      SendMessageW(control, WM_LBUTTONDOWN, kMouseLeftButton, 0);
      SendMessageW(control, WM_LBUTTONUP, 0, 0);
      return true;
    default:
      return false;
  }
}

void AppendUtf8(std::string& out, const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp == '"' || cp == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(cp));
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

void DumpControls(HWND dialog, std::string& out) {
  auto& t = Windows();
  Lock g(t.lock);
  for (const auto& [handle, w] : t.windows) {
    if (w.parent != dialog) continue;
    int selection = w.selection;
    if (w.kind == Kind::kListView) {
      selection = -1;
      for (size_t i = 0; i < w.items.size() && selection < 0; ++i)
        if (w.items[i].state & LVIS_SELECTED) selection = static_cast<int>(i);
    }
    const bool range = w.kind == Kind::kUpDown || w.kind == Kind::kTrackbar || w.kind == Kind::kScrollBar;
    std::string className, text;
    AppendUtf8(className, w.className);
    AppendUtf8(text, w.text);
    out += "id=" + std::to_string(w.id) + " class=" + className + " text=\"" + text + "\"" +
           " enabled=" + (w.enabled ? "1" : "0") + " visible=" + (w.visible ? "1" : "0") +
           " checked=" + std::to_string(w.check) + " sel=" + std::to_string(selection) +
           " readonly=" + ((w.kind == Kind::kEdit && (w.style & ES_READONLY)) ? "1" : "0") +
           " focus=" + (t.focus == handle ? "1" : "0");
    if (range) out += " pos=" + std::to_string(w.position);
    out += "\n";
  }
}

}  // namespace
}  // namespace kp::user32

using namespace kp::user32;

KP_API BOOL KpUiAct(HWND window, const KP_UI_ACTION* action) {
  if (!action) return FALSE;
  const bool done = Act(window, *action);
  KpPumpMessages();
  return done ? TRUE : FALSE;
}

KP_API DWORD KpDrawnItems(HWND control, KP_DRAWN* drawn, DWORD capacity) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(control);
  if (!w) return 0;
  for (DWORD i = 0; drawn && i < capacity && i < w->drawn.size(); ++i) drawn[i] = w->drawn[i];
  return static_cast<DWORD>(w->drawn.size());
}

KP_API DWORD KpUiDump(HWND window, char* buffer, DWORD capacity) {
  std::string out;
  Kind kind;
  if (WindowKind(window, &kind)) {
    if (kind == Kind::kSheet) {
      const auto pages = kp::comctl32::SheetPages(window);
      for (size_t i = 0; i < pages.size(); ++i) {
        if (!pages[i].first) continue;
        out += "page " + std::to_string(i) + " " + std::to_string(pages[i].second) + "\n";
        DumpControls(pages[i].first, out);
      }
    } else {
      DumpControls(window, out);
    }
  }
  if (buffer && capacity) {
    const size_t n = std::min(out.size(), static_cast<size_t>(capacity - 1));
    out.copy(buffer, n);
    buffer[n] = 0;
  }
  return static_cast<DWORD>(out.size());
}
