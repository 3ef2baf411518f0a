#include <gtest/gtest.h>
#include <kplatform/kernel32_codepage.h>
#include <kplatform/user32_messagebox.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class MessageBox : public ::testing::Test {
 protected:
  void SetUp() override { KpClearMessageBoxes(); }
  void TearDown() override { KpClearMessageBoxes(); }
};

HWND FakeWindow(uintptr_t value) { return reinterpret_cast<HWND>(value); }

TEST_F(MessageBox, QueuedAnswersAreTakenInOrderAndEveryBoxIsRecorded) {
  KpQueueMessageBoxAnswer(IDCANCEL);
  KpQueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(2u, KpQueuedMessageBoxAnswers());

  testing::internal::CaptureStderr();
  EXPECT_EQ(IDCANCEL, MessageBoxW(FakeWindow(0x10), u"Unable to write", u"Print", MB_OKCANCEL | MB_ICONINFORMATION));
  EXPECT_EQ(IDYES, MessageBoxW(nullptr, u"Change it?", u"Question", MB_YESNO | MB_SYSTEMMODAL));
  EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"Done", nullptr, MB_OK));  // queue empty: default button
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string::npos, err.find("Unable to write")) << "answered boxes stay quiet";
  EXPECT_NE(std::string::npos, err.find("Error: Done")) << err;

  ASSERT_EQ(3u, KpMessageBoxCount());
  KpMessageBoxRecord r;
  ASSERT_TRUE(KpGetMessageBox(0, &r));
  EXPECT_EQ(FakeWindow(0x10), r.owner);
  EXPECT_EQ(std::u16string(u"Unable to write"), r.text);
  EXPECT_EQ(std::u16string(u"Print"), r.caption);
  EXPECT_EQ(MB_OKCANCEL | MB_ICONINFORMATION, r.type);
  EXPECT_EQ(IDCANCEL, r.answer);
  ASSERT_TRUE(KpGetMessageBox(2, &r));
  EXPECT_EQ(std::u16string(u"Error"), r.caption) << "a null caption shows as \"Error\"";
  EXPECT_EQ(IDOK, r.answer);
  EXPECT_FALSE(KpGetMessageBox(3, &r));

  KpClearMessageBoxes();
  EXPECT_EQ(0u, KpMessageBoxCount());
}

TEST_F(MessageBox, WithoutAnAnswerTheDefaultButtonIsTakenAndShownOnStandardError) {
  struct Case {
    UINT type;
    int answer;
    const char* shown;
  };
  const Case cases[] = {
      {MB_OK, IDOK, "OK"},
      {MB_OK | MB_DEFBUTTON2, IDOK, "OK"},  // beyond the last button: the first
      {MB_OKCANCEL, IDOK, "OK"},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL, "Cancel"},
      {MB_YESNO | MB_ICONEXCLAMATION, IDYES, "Yes"},
      {MB_YESNO | MB_DEFBUTTON2, IDNO, "No"},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL, "Cancel"},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO, "No"},
      {MB_RETRYCANCEL, IDRETRY, "Retry"},
      {MB_RETRYCANCEL | MB_DEFBUTTON2, IDCANCEL, "Cancel"},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE, "Ignore"},
      {MB_ABORTRETRYIGNORE, IDABORT, "Abort"},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON2, IDTRYAGAIN, "Try Again"},
      {MB_OKCANCEL | MB_DEFBUTTON4, IDOK, "OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.answer, MessageBoxW(nullptr, u"Tab's number is too large.", u"Caption \u00E9", c.type));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Caption \xC3\xA9: Tab's number is too large.")) << err;
    EXPECT_NE(std::string::npos, err.find(std::string("-> ") + c.shown)) << err;
  }
  EXPECT_EQ(sizeof cases / sizeof cases[0], KpMessageBoxCount());
}

TEST_F(MessageBox, UnknownButtonTypeShowsNothing) {
  KpQueueMessageBoxAnswer(IDOK);
  SetLastError(0);
  EXPECT_EQ(0, MessageBoxW(nullptr, u"x", u"y", 7));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE), GetLastError());
  EXPECT_EQ(0u, KpMessageBoxCount());
  EXPECT_EQ(1u, KpQueuedMessageBoxAnswers()) << "the answer waits for a real box";
}

TEST_F(MessageBox, AQueuedZeroPlaysABoxThatFailed) {
  KpQueueMessageBoxAnswer(0);
  SetLastError(0);
  EXPECT_EQ(0, MessageBoxW(nullptr, u"x", u"y", MB_OK));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

class DebugOutput : public ::testing::Test {
 protected:
  void SetUp() override { KpClearDebugOutput(); }
  void TearDown() override {
    KpClearDebugOutput();
    unsetenv("KESTREL_DEBUG_OUTPUT");
    KpSetACP(1252);
  }
  static std::u16string Captured() {
    std::u16string text(KpGetDebugOutput(nullptr, 0), u'\0');
    KpGetDebugOutput(text.data(), static_cast<DWORD>(text.size() + 1));
    return text;
  }
};

TEST_F(DebugOutput, BothFormsAreCapturedInOrder) {
  OutputDebugStringW(u"IN << DrvDocumentEvent\n");
  OutputDebugStringA("caf\xE9\n");
  OutputDebugStringW(nullptr);
  ASSERT_TRUE(KpSetACP(932));
  OutputDebugStringA("\x93\xFA");
  EXPECT_EQ(u"IN << DrvDocumentEvent\ncaf\u00E9\n\u65E5", Captured());

  WCHAR small[5] = {u'#', u'#', u'#', u'#', u'#'};
  EXPECT_EQ(29u, KpGetDebugOutput(small, 4));
  EXPECT_EQ(std::u16string(u"IN "), small);
  EXPECT_EQ(u'#', small[4]);

  KpClearDebugOutput();
  EXPECT_EQ(0u, KpGetDebugOutput(nullptr, 0));
}

TEST_F(DebugOutput, GoesToStandardErrorOnlyWhenAsked) {
  testing::internal::CaptureStderr();
  OutputDebugStringW(u"quiet\n");
  EXPECT_EQ("", testing::internal::GetCapturedStderr());

  setenv("KESTREL_DEBUG_OUTPUT", "0", 1);
  testing::internal::CaptureStderr();
  OutputDebugStringW(u"still quiet\n");
  EXPECT_EQ("", testing::internal::GetCapturedStderr());

  setenv("KESTREL_DEBUG_OUTPUT", "1", 1);
  testing::internal::CaptureStderr();
  OutputDebugStringW(u"loud \u00E9\n");
  EXPECT_EQ("loud \xC3\xA9\n", testing::internal::GetCapturedStderr());
}

TEST_F(DebugOutput, CaptureKeepsTheNewestText) {
  std::u16string big(1u << 20, u'a');
  OutputDebugStringW(big.c_str());
  OutputDebugStringW(u"XYZ");
  std::u16string captured = Captured();
  ASSERT_EQ(big.size(), captured.size());
  EXPECT_EQ(u"aaaXYZ", captured.substr(captured.size() - 6));
}

}  // namespace
