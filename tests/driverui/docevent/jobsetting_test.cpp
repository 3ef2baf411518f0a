// The StartDoc job settings on a record of the test's own: the fax front
// end (the kfaxfe double), the fax address file, the confidential check,
// the job dialog with its popup and the accounting answers. Each row also
// checks that no block or handle is left and the window is enabled again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "docevent_fixture.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_dialog.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_window.h"

namespace kestrel::test::docevent {
namespace {

struct KfaxState {
  DWORD calls;
  DWORD mode;
  HWND window;
  BOOL windowEnabled;
};
using KfaxScriptFn = void (*)(const char*, size_t, BOOL, KfaxState*);

class JobSettingTest : public DocEventTest {
 protected:
  void SetUp() override {
    DocEventTest::SetUp();
    if (HasFatalFailure()) return;
    // A record of the test's own list, with the defaults the driver gives.
    record_ = _CreateDocEventData(queue_.printer);
    ASSERT_NE(record_, nullptr);
    void* base = nullptr;
    DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
    ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
    std::memcpy(record_->devmode, base, NRV_DEVMODE_SIZE_FULL);
    Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
    Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
    ASSERT_TRUE(pd_GetPrinterData(queue_.printer, record_->printerData, queue_.ddd));
    window_ = KpCreateTestWindow(nullptr, nullptr);
    KpSetActiveWindow(window_);
    blocks_ = KpGlobalBlockCount();
    handles_ = KpOpenHandleCount();
  }
  void TearDown() override {
    _DeleteDocEventData(queue_.printer);
    if (window_) DestroyWindow(window_);
    if (fax_) FreeLibrary(fax_);
    KpClearDialogs();
    KpClearMessageBoxes();
    DocEventTest::TearDown();
  }
  void ExpectClean() {
    EXPECT_EQ(KpGlobalBlockCount(), blocks_) << "no block left";
    EXPECT_EQ(KpOpenHandleCount(), handles_) << "no handle left";
    EXPECT_TRUE(IsWindowEnabled(window_)) << "the window is enabled again";
  }
  void SetFaxJob() {
    ASSERT_TRUE(ddm_SetNumber(DDM_JOBTYPE, record_->devmode, nullptr, 5));
    record_->printerData[11] |= 0x10;
  }
  // The front end double, scripted; null when it cannot be loaded.
  KfaxScriptFn Fax(const char* answer, size_t size, BOOL result) {
    if (!fax_) fax_ = LoadLibraryW(u"KFAXFE.DLL");
    if (!fax_) return nullptr;
    auto script = reinterpret_cast<KfaxScriptFn>(reinterpret_cast<void (*)()>(GetProcAddress(fax_, "KfaxScript")));
    if (script) script(answer, size, result, nullptr);
    return script;
  }
  std::u16string Text(WORD id) {
    auto* s = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(record_->devmode, record_->printerData, id, DDM_TYPE_STRING));
    return s ? std::u16string(s) : std::u16string();
  }
  HDC FakeDc() const { return reinterpret_cast<HDC>(static_cast<uintptr_t>(0x1234)); }

  DocEventData* record_ = nullptr;
  HWND window_ = nullptr;
  HMODULE fax_ = nullptr;
  size_t blocks_ = 0;
  size_t handles_ = 0;
};

TEST_F(JobSettingTest, StepsWithoutWorkGoOn) {
  EXPECT_EQ(FaxJobSetting(nullptr, queue_.printer, nullptr, nullptr, 0), -1) << "no DC";
  EXPECT_EQ(FaxJobSetting(FakeDc(), reinterpret_cast<HANDLE>(0x99), nullptr, nullptr, 0), 1) << "no record";
  EXPECT_EQ(FaxJobSetting(FakeDc(), queue_.printer, nullptr, nullptr, 0), 1) << "not a fax job";
  EXPECT_EQ(ConfidentialUserSetting(FakeDc(), queue_.printer), 1);
  EXPECT_EQ(_PrinterStartDocProc(queue_.printer, FakeDc(), record_->devmode, record_->printerData, queue_.ddd, 0), 1);
  ExpectClean();
}

TEST_F(JobSettingTest, FaxFrontEndAnswers) {
  SetFaxJob();
  std::u16string before = Text(DDM_FAX_DATA_FILE);
  struct Row {
    const char* name;
    BOOL installed;
    BOOL answer;
    int result;
  } rows[] = {{"zero", TRUE, FALSE, -1}, {"absent", FALSE, TRUE, 1}, {"answers", TRUE, TRUE, 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string text = "line one\nline two\nFAX ADDRESS DATA";
    if (fax_) {
      FreeLibrary(fax_);
      fax_ = nullptr;
    }
    if (!r.installed) {
      ASSERT_TRUE(DeleteFileW((std::u16string(kDriverDirW) + u"KFAXFE.DLL").c_str()));
    } else {
      ASSERT_TRUE(KpInstallModule("libkfaxfe.so", u"KFAXFE.DLL"));
      ASSERT_NE(Fax(text.data(), text.size(), r.answer), nullptr);
    }
    ASSERT_TRUE(ddm_SetNumber(DDM_DOCMONITOR_REGISTER, record_->devmode, record_->printerData, 1));
    char out[64];
    std::memset(out, 'z', sizeof out);
    blocks_ = KpGlobalBlockCount();
    handles_ = KpOpenHandleCount();
    EXPECT_EQ(FaxJobSetting(FakeDc(), queue_.printer, nullptr, out, sizeof out), r.result);
    ExpectClean();
    if (r.name == std::string("answers")) {
      EXPECT_STREQ(out, "line one");
      EXPECT_STREQ(out + 32, "line two");
      std::u16string file = Text(DDM_FAX_DATA_FILE);
      EXPECT_NE(file, before);
      HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(f, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetFileSize(f, nullptr), 9600u);
      char head[16] = {};
      DWORD read = 0;
      ReadFile(f, head, 16, &read, nullptr);
      CloseHandle(f);
      EXPECT_EQ(std::string(head, 16), "FAX ADDRESS DATA") << "the two lines are taken from the front";
    } else {
      EXPECT_EQ(Text(DDM_FAX_DATA_FILE), before) << "DDM 1799 unchanged";
    }
  }
}

TEST_F(JobSettingTest, FaxAddressFileOfTheDevmode) {
  SetFaxJob();
  WriteHostFile(root_.host("c/empty.txt"), "");
  WriteHostFile(root_.host("c/full.txt"), "FANU");
  struct Row {
    const char16_t* file;
    int result;
  } rows[] = {{u"C:\\empty.txt", -1}, {u"C:\\full.txt", 1}, {u"C:\\missing.txt", -1}};
  for (const Row& r : rows) {
    std::u16string name(r.file);
    ASSERT_EQ(ddm_SetValue(DDM_FAX_ADDRESS_FILE, record_->devmode, nullptr, DDM_TYPE_STRING,
                           static_cast<DWORD>((name.size() + 1) * 2), name.c_str()),
              0);
    EXPECT_EQ(FaxJobSetting(FakeDc(), queue_.printer, nullptr, nullptr, 0), r.result);
    ExpectClean();
  }
}

TEST_F(JobSettingTest, ConfidentialJobWithoutAnIdShowsTheBox) {
  ASSERT_TRUE(ddm_SetNumber(DDM_JOBTYPE, record_->devmode, nullptr, 1));
  std::memset(record_->printerData + 1134, 0, 2);
  EXPECT_EQ(ConfidentialUserSetting(FakeDc(), queue_.printer), -1);
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  EXPECT_TRUE(box.type & MB_SYSTEMMODAL);
  const char16_t id[] = u"4711";
  std::memcpy(record_->printerData + 1134, id, sizeof id);
  EXPECT_EQ(ConfidentialUserSetting(FakeDc(), queue_.printer), 1);
}

TEST_F(JobSettingTest, PopupOkStoresAndCancelFails) {
  ASSERT_TRUE(ddm_SetNumber(DDM_JOB_OWNER_ON, record_->devmode, record_->printerData, 1));
  ASSERT_TRUE(ddm_SetNumber(DDM_ACCOUNTMODE, record_->devmode, record_->printerData, 0));
  ASSERT_TRUE(ddm_SetNumber(DDM_OWNER_SWITCH_A, record_->devmode, record_->printerData, 1));
  KpQueueDialogAnswer(IDCANCEL, nullptr, 0);
  EXPECT_EQ(_PrinterStartDocProc(queue_.printer, FakeDc(), record_->devmode, record_->printerData, queue_.ddd, 0), -1);
  EXPECT_EQ(KpLastDialogTemplate(), static_cast<DWORD>(DLG_JBA_POPUP));
  ExpectClean();
  KP_DIALOG_TEXT texts[] = {{IDC_JBA_USERNAME, u"alice"}, {IDC_JBA_ACCOUNT, u"sales"}, {IDC_JBA_PASSWORD, u""}};
  KpQueueDialogAnswer(IDOK, texts, 3);
  EXPECT_EQ(_PrinterStartDocProc(queue_.printer, FakeDc(), record_->devmode, record_->printerData, queue_.ddd, 0), 1);
  EXPECT_EQ(Text(DDM_OWNER_DEVMODE_NAME), u"alice");
  EXPECT_EQ(Text(DDM_ACCOUNT_NAME), u"sales");
  EXPECT_EQ(Text(DDM_ACCOUNT_ID), u"") << "an empty value is stored empty";
  // No window: the dialog that is due cannot be shown.
  KpSetActiveWindow(nullptr);
  EXPECT_EQ(_PrinterStartDocProc(queue_.printer, FakeDc(), record_->devmode, record_->printerData, queue_.ddd, 0), -1);
  // Nothing due: no window needed.
  ASSERT_TRUE(ddm_SetNumber(DDM_OWNER_SWITCH_A, record_->devmode, record_->printerData, 0));
  EXPECT_EQ(_PrinterStartDocProc(queue_.printer, FakeDc(), record_->devmode, record_->printerData, queue_.ddd, 0), 1);
}

TEST_F(JobSettingTest, AccountingAnswers) {
  struct Row {
    const char* name;
    std::string answer;
    int result;
  } rows[] = {
      {"three", std::string("UserName=bob\0AccountName=ops\0AccountID=77\0", 42), 1},
      {"two", std::string("UserName=bob\0AccountName=ops\0", 29), -1},
      {"noEquals", std::string("UserName=bob\0AccountName\0AccountID=1\0", 38), -1},
      {"unterminated", std::string("UserName=bob\0AccountName=ops\0AccountID=77", 41), -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(local_SaveAltJBAInputString(r.answer.data(), static_cast<DWORD>(r.answer.size()), record_->devmode,
                                          record_->printerData, queue_.ddd),
              r.result);
  }
  EXPECT_EQ(Text(DDM_OWNER_DEVMODE_NAME), u"bob");
  EXPECT_EQ(Text(DDM_ACCOUNT_NAME), u"ops");
}

// The input-popup component's double, registered with KpRegisterComClass:
// the interface after IUnknown's three methods and one more, the fifth sets
// a field, the sixth shows the popup and writes the scripted answer.
struct PopupDouble : IInputPopup {
  HRESULT WINAPI Reserved() override { return S_OK; }
  HRESULT WINAPI SetField(LPCSTR name, LPCSTR multi) override {
    fields.push_back(std::string(name) + "|" + multi);
    return S_OK;
  }
  HRESULT WINAPI Show(HWND, LPCSTR, LPSTR answer, DWORD size) override {
    if (!show) return E_FAIL;
    std::memcpy(answer, script.data(), std::min<size_t>(script.size(), size));
    return S_OK;
  }
  HRESULT WINAPI QueryInterface(REFIID, void** object) override {
    *object = static_cast<IInputPopup*>(this);
    AddRef();
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return ++refs; }
  ULONG WINAPI Release() override {
    // Released while COM is still initialised on the thread: a further
    // CoInitialize answers S_FALSE then.
    HRESULT again = CoInitialize(nullptr);
    releasedInsideCom = again == S_FALSE;
    CoUninitialize();
    return --refs;
  }
  static PopupDouble* instance;
  static HRESULT Create(REFIID, void** object) {
    instance->AddRef();
    *object = static_cast<IInputPopup*>(instance);
    return S_OK;
  }
  std::vector<std::string> fields;
  std::string script;
  bool show = true;
  bool releasedInsideCom = false;
  ULONG refs = 0;
};
PopupDouble* PopupDouble::instance = nullptr;

constexpr GUID kPopupClass = {0xf2a5aec9, 0x686e, 0x4c95, {0xbd, 0x6d, 0xdd, 0x58, 0xdd, 0x40, 0xe3, 0xa7}};

TEST_F(JobSettingTest, InputPopupComponent) {
  PopupDouble popup;
  PopupDouble::instance = &popup;
  EXPECT_EQ(local_CallAltJBA(window_, record_->devmode, record_->printerData, queue_.ddd), -1) << "no component";
  KpRegisterComClass(kPopupClass, &PopupDouble::Create);
  popup.script = std::string("UserName=carol\0AccountName=dev\0AccountID=\0", 42);
  EXPECT_EQ(local_CallAltJBA(window_, record_->devmode, record_->printerData, queue_.ddd), 1);
  EXPECT_EQ(Text(DDM_OWNER_DEVMODE_NAME), u"carol");
  EXPECT_EQ(Text(DDM_ACCOUNT_NAME), u"dev");
  EXPECT_EQ(Text(DDM_ACCOUNT_ID), u"");
  ASSERT_EQ(popup.fields.size(), 3u);
  EXPECT_EQ(popup.fields[0].rfind("UserName|RANGE:", 0), 0u) << popup.fields[0];
  EXPECT_TRUE(popup.releasedInsideCom);
  EXPECT_EQ(popup.refs, 0u);
  popup.show = false;
  EXPECT_EQ(local_CallAltJBA(window_, record_->devmode, record_->printerData, queue_.ddd), -1) << "Show failed";
  popup.show = true;
  popup.script = std::string("UserName=carol\0AccountName=dev\0", 31);
  EXPECT_EQ(local_CallAltJBA(window_, record_->devmode, record_->printerData, queue_.ddd), -1) << "two entries";
  KpRegisterComClass(kPopupClass, nullptr);
  ExpectClean();
}

}  // namespace
}  // namespace kestrel::test::docevent
