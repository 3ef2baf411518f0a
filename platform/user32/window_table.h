// The window table behind user32's and comctl32's window calls: every window
// the stand-in made, with what its calls read and change. Nothing is drawn.
// Dialogs, controls and property sheets keep their state here, under the
// same lock; no procedure is ever called with the lock held, so procedures
// may send messages back in.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kplatform/user32_actions.h"
#include "kplatform/user32_dialog.h"

namespace kp::user32 {

// What a window is; the class name says the same for GetClassNameW.
enum class Kind {
  kPlain,      // KpCreateTestWindow's
  kDialog,     // "#32770" from a template
  kSheet,      // a property sheet's frame ("#32770", its own procedure)
  kButton,
  kEdit,
  kStatic,
  kListBox,
  kComboBox,
  kScrollBar,
  kUpDown,
  kTrackbar,
  kListView,
  kTab,
  kTreeView,
  kToolTip,  // "tooltips_class32", made by CreateWindowExW
};

// One tool of a tooltip control (TTM_ADDTOOLW).
struct Tool {
  HWND window = nullptr;
  UINT_PTR id = 0;
  std::u16string text;
};

struct Item {
  std::u16string text;
  LPARAM data = 0;
  UINT state = 0;  // list view: LVIS_*
};

// A tree view item: its parent's handle (0 the top level) and siblings in
// vector order.
struct TreeNode {
  UINT_PTR handle = 0;
  UINT_PTR parent = 0;
  std::u16string text;
  LPARAM data = 0;
};

struct Window {
  HWND parent = nullptr;
  HINSTANCE instance = nullptr;
  LONG id = 0;
  LONG style = 0;
  LONG exStyle = 0;
  bool enabled = true;
  bool visible = true;
  Kind kind = Kind::kPlain;
  std::u16string className = u"KpTestWindow";
  std::u16string text;
  DLGPROC dlgProc = nullptr;  // a dialog's procedure
  WNDPROC wndProc = nullptr;  // a sheet frame's procedure
  WNDPROC subclass = nullptr;  // GWLP_WNDPROC set by the program, or null
  HWND owner = nullptr;        // a popup's owner (destroyed with it)
  RECT rect = {0, 0, 0, 0};    // SetWindowPos's place and size
  // A dialog run modally: ended by EndDialog with result.
  bool ended = false;
  INT_PTR result = 0;
  DWORD templateId = 0;
  // Control state.
  std::vector<Item> items;
  int selection = -1;
  int check = 0;  // BST_UNCHECKED
  bool dropped = false;
  UINT limit = 0x7FFFFFFEu;
  DWORD selStart = 0;
  DWORD selEnd = 0;
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  int line = 1;
  int page = 20;
  HWND buddy = nullptr;
  HANDLE image = nullptr;
  std::vector<KP_DRAWN> drawn;
  std::vector<Tool> tools;  // a tooltip control's
  std::vector<TreeNode> tree;  // tree view
  UINT_PTR treeNext = 1;
};

struct WindowTable {
  std::recursive_mutex lock;
  std::map<HWND, Window> windows;  // handles grow, so map order is creation order
  HWND active = nullptr;
  HWND focus = nullptr;
  UINT_PTR next = 0;  // handles are made from this counter, see MakeWindow
};

WindowTable& Windows();

// The window's record, or null (and ERROR_INVALID_WINDOW_HANDLE) when the
// stand-in did not make it or it was destroyed. Call under the table's lock.
Window* FindWindowRecord(HWND window);

// Makes a window record under the lock and answers its handle (null when the
// parent is not a window).
HWND MakeWindow(Window record);

// Copies of what a caller needs without holding the lock.
bool WindowKind(HWND window, Kind* kind);
HWND ParentOf(HWND window);
LONG StyleOf(HWND window);
LONG IdOf(HWND window);
// The window's children in creation order.
std::vector<HWND> ChildrenOf(HWND window);

// Tells the control's parent: WM_COMMAND (id, code) from the control.
void NotifyCommand(HWND control, int code);
// Tells the control's parent WM_NOTIFY with the header filled from the
// control (hwndFrom, idFrom, code); answers the parent's answer.
LRESULT NotifyParent(HWND control, NMHDR* header, UINT code);

// The class procedures (controls.cpp, comctl32/controls.cpp) and the
// dialog manager (dialogs.cpp).
LRESULT ControlProc(HWND window, Kind kind, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CommonControlProc(HWND window, Kind kind, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DialogDispatch(HWND window, DLGPROC proc, UINT message, WPARAM wParam, LPARAM lParam);
// A class name (ordinal or name of a template) to its kind; false for a
// class the stand-in does not have.
bool KindOfClass(const std::u16string& name, Kind* kind, std::u16string* canonical);

// The window's class procedure (what SendMessageW calls when the program
// has not subclassed it), answered as GWLP_WNDPROC.
LRESULT CALLBACK ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A tooltip control's messages (comctl32/controls.cpp).
LRESULT ToolTipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Tells a list view's parent LVN_ITEMCHANGED for one item.
void NotifyItemChanged(HWND control, int item, UINT oldState, UINT newState, LPARAM data);

// UTF-16 text helpers for the message calls.
LRESULT CopyOut(const std::u16string& text, WPARAM max, LPARAM buffer);

}  // namespace kp::user32
