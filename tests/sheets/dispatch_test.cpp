// The message dispatch: which slot and handler each message gets in the
// tables of the three window kinds, and the slot replacement rules.
#include <gtest/gtest.h>

#include "kestrel/sheets/sheet_controls.h"
#include "kplatform/comctl32_controls.h"

namespace {

LONG Mine(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*) { return 42; }

TEST(SheetDispatch, MessagesFindTheirSlotsAndHandlers) {
  struct Case {
    const char* what;
    UINT message;
    UINT code;  // WM_NOTIFY
    WORD slot;
    UI_MSGFUNC root, childTab, childDlg;
  };
  const Case cases[] = {
      {"command", WM_COMMAND, 0, 0, uiMsg_CommandOnRoot, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl},
      {"init", WM_INITDIALOG, 0, 1, uiMsg_InitDialogRoot, uiMsg_InitDialogChildTab, uiMsg_InitDialogChildDlg},
      {"set active", WM_NOTIFY, PSN_SETACTIVE, 2, uiMsg_SetActive, uiMsg_SetActive, uiMsg_SetActive},
      {"kill active", WM_NOTIFY, PSN_KILLACTIVE, 3, uiMsg_KillActive, uiMsg_KillActive, uiMsg_KillActive},
      {"reset", WM_NOTIFY, PSN_RESET, 4, uiMsg_Reset, uiMsg_Reset, uiMsg_Reset},
      {"apply", WM_NOTIFY, PSN_APPLY, 5, uiMsg_Apply, uiMsg_Apply, uiMsg_Apply},
      {"help", WM_NOTIFY, PSN_HELP, 6, uiMsg_Help, uiMsg_Help, uiMsg_Help},
      {"tab change", WM_NOTIFY, TCN_SELCHANGE, 7, nullptr, nullptr, nullptr},
      {"vscroll", WM_VSCROLL, 0, 8, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl},
      {"hscroll", WM_HSCROLL, 0, 9, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl},
      {"WM_HELP", WM_HELP, 0, 10, uiMsg_Help, uiMsg_Help, uiMsg_Help},
      {"context menu", WM_CONTEXTMENU, 0, 11, uiMsg_Help, uiMsg_Help, uiMsg_Help},
      {"measure", WM_MEASUREITEM, 0, 12, uiMsg_MeasureItem, uiMsg_MeasureItem, uiMsg_MeasureItem},
      {"draw", WM_DRAWITEM, 0, 13, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl},
      {"erase", WM_ERASEBKGND, 0, 14, nullptr, nullptr, nullptr},
      {"vkey", WM_VKEYTOITEM, 0, 15, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl},
      {"new palette", WM_QUERYNEWPALETTE, 0, 16, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl,
       uiMsg_SndMsgAllControl},
      {"palette changed", WM_PALETTECHANGED, 0, 17, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl,
       uiMsg_SndMsgAllControl},
      {"paint", WM_PAINT, 0, 18, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl},
      {"mouse move", WM_MOUSEMOVE, 0, 19, nullptr, nullptr, nullptr},
      {"destroy", WM_DESTROY, 0, 20, uiMsg_Destroy, nullptr, nullptr},
      {"dialog number", UIM_GETDLGNO, 0, 21, uiMsg_GetDlgNo, uiMsg_GetDlgNo, uiMsg_GetDlgNo},
      {"row parameter", UIM_ROWPARAM, 0, 22, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl,
       uiMsg_SndMsgTargetControl},
      {"constraint message", UIM_DISPLAYCONSTMSG, 0, 24, uiMsg_DisplayConstMsg, uiMsg_DisplayConstMsg,
       uiMsg_DisplayConstMsg},
      {"select next", UIM_SELNEXT, 0, 25, uiMsg_SelNext, uiMsg_SelNext, uiMsg_SelNext},
  };
  for (const Case& c : cases) {
    NMHDR hdr = {nullptr, 0, c.code};
    LPARAM lp = c.message == WM_NOTIFY ? reinterpret_cast<LPARAM>(&hdr) : 0;
    const UI_MSGFUNC expected[] = {c.root, c.childTab, c.childDlg};
    const WORD kinds[] = {UI_KIND_ROOT, UI_KIND_CHILDTAB, UI_KIND_CHILDDLG};
    for (int k = 0; k < 3; ++k) {
      UI_MSGFUNC h = Mine;
      WORD slot = 99;
      ASSERT_TRUE(uiMsg_GetMsgFncTemplete(c.message, 0, lp, kinds[k], &h, &slot)) << c.what << " kind " << kinds[k];
      EXPECT_EQ(slot, c.slot) << c.what;
      EXPECT_EQ(h, expected[k]) << c.what << " kind " << kinds[k];
    }
  }
  // Unknown messages, notifications and kinds.
  UI_MSGFUNC h = nullptr;
  WORD slot = 0;
  NMHDR other = {nullptr, 0, PSN_QUERYCANCEL};
  EXPECT_FALSE(uiMsg_GetMsgFncTemplete(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&other), UI_KIND_ROOT, &h, &slot));
  EXPECT_FALSE(uiMsg_GetMsgFncTemplete(WM_NOTIFY, 0, 0, UI_KIND_ROOT, &h, &slot));
  EXPECT_FALSE(uiMsg_GetMsgFncTemplete(WM_SETTEXT, 0, 0, UI_KIND_ROOT, &h, &slot));
  EXPECT_FALSE(uiMsg_GetMsgFncTemplete(WM_COMMAND, 0, 0, 2, &h, &slot));
}

TEST(SheetDispatch, ReplacingASlot) {
  UI_MSGFUNC h = uiMsg_SetActive;
  EXPECT_TRUE(uiMsg_ReplaceMsgFnc(Mine, 2, &h, 2));
  EXPECT_EQ(h, Mine);
  h = uiMsg_SetActive;
  EXPECT_TRUE(uiMsg_ReplaceMsgFnc(Mine, 1, &h, 2));  // another slot: kept
  EXPECT_EQ(h, uiMsg_SetActive);
  EXPECT_FALSE(uiMsg_ReplaceMsgFnc(Mine, 27, &h, 27));
  EXPECT_FALSE(uiMsg_ReplaceMsgFnc(Mine, 2, &h, 27));
  EXPECT_FALSE(uiMsg_ReplaceMsgFnc(nullptr, 2, &h, 2));
  EXPECT_EQ(h, uiMsg_SetActive);
  // No handler: nothing is called and the answer is 0.
  EXPECT_EQ(uiMsg_CallMsgFnc(nullptr, WM_ERASEBKGND, 0, 0, 1, UI_KIND_ROOT, nullptr), 0);
}

TEST(SheetDispatch, ControlTypes) {
  const std::pair<WORD, UI_CTLFUNC> types[] = {
      {1, uiComboBox}, {2, uiListBox},   {3, nullptr},      {4, uiEdit},       {5, uiRadio},   {6, uiButton},
      {7, uiCheckBox}, {8, uiScroll},    {9, uiSpin},       {10, uiStaticText}, {11, uiHelpText},
      {12, uiSlider},  {13, uiIcon},     {14, uiBitmap},    {15, uiCtDmy},     {16, nullptr},  {0, nullptr}};
  for (auto [type, f] : types) EXPECT_EQ(uiSearchControlFunc(type), f) << type;
}

}  // namespace
