// File dialogs, ShellExecuteW and WinHelpW: recorded, answered from their
// scripts, and an exhausted script cancels, so a caller repeating the dialog
// until a choice is accepted ends.
#include <kplatform/user32_shell.h>

#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;
using kestrel::test::WriteHostFile;

class ShellCalls : public RootedTest {};

TEST_F(ShellCalls, FileDialogsAnswerFromTheirScriptAndCancelWhenItIsUsedUp) {
  KpClearShellCalls();
  KpQueueFileDialogAnswer(u"C:\\Halcyra\\form\\fav.ini");
  KpQueueFileDialogAnswer(u"C:\\a\\much-too-long-a-name.ini");
  WCHAR file[32] = u"start";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFile = file;
  ofn.nMaxFile = 32;
  ofn.lpstrTitle = u"Export";
  ofn.lpstrFilter = u"Favorites\0*.ini\0";
  ofn.Flags = OFN_OVERWRITEPROMPT;
  ASSERT_TRUE(GetSaveFileNameW(&ofn));
  EXPECT_EQ(std::u16string(file), u"C:\\Halcyra\\form\\fav.ini");
  EXPECT_EQ(ofn.nFileOffset, 16);
  EXPECT_EQ(ofn.nFileExtension, 20);
  ofn.nMaxFile = 10;  // the second answer does not fit
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  // A caller that repeats the dialog while it is refused ends once the
  // script is used up.
  int shown = 0;
  while (GetOpenFileNameW(&ofn) && ++shown < 100) {
  }
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  KP_SHELL_CALL calls[4];
  ASSERT_EQ(KpShellCalls(calls, 4), 3u);
  EXPECT_EQ(calls[0].kind, 2u);
  EXPECT_EQ(std::u16string(calls[0].text[0]), u"Export");
  EXPECT_EQ(std::u16string(calls[0].text[2]), u"start");
  EXPECT_EQ(std::u16string(calls[0].text[4]), u"Favorites|*.ini");
  EXPECT_EQ(calls[0].number, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
  EXPECT_TRUE(calls[0].answered);
  EXPECT_FALSE(calls[2].answered);
}

TEST_F(ShellCalls, ShellExecuteAndHelpAreRecorded) {
  KpClearShellCalls();
  WriteHostFile(root_.host("c/Manual/guide.pdf"), "%PDF");
  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Manual\\guide.pdf", nullptr, nullptr, 5)),
            42);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Manual\\gone.pdf", nullptr, nullptr, 5)),
            SE_ERR_FNF);
  KpQueueShellExecuteAnswer(31);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Manual\\guide.pdf", nullptr, nullptr, 5)),
            31);
  EXPECT_TRUE(WinHelpW(nullptr, u"kestrel.hlp", HELP_CONTEXT, 205));
  KP_SHELL_CALL calls[4];
  ASSERT_EQ(KpShellCalls(calls, 4), 4u);
  EXPECT_EQ(std::u16string(calls[1].text[1]), u"C:\\Manual\\gone.pdf");
  EXPECT_EQ(calls[2].data, 31u);
  EXPECT_EQ(calls[3].kind, 4u);
  EXPECT_EQ(calls[3].data, 205u);
}

}  // namespace
