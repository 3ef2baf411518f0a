// Temporary files: their registry records under a fixed clock, the sweep of
// records left behind, the write with its retry box, reads and seeks within
// the recorded size, and a record never forgotten with its file open.
#include <cstring>
#include <string>

#include "kestrel/core/zanlib.h"
#include "kplatform/user32_messagebox.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

constexpr char16_t kRoot[] = u"Software\\Halcyra\\Zan NRV Printer Driver\\";

std::u16string KeyOf(const std::u16string& path) {
  WCHAR key[2 * MAX_PATH];
  if (!TFReg_KeyOf(path.c_str(), key, 2 * MAX_PATH)) return u"";
  return key;
}

// The default value of a record's key, empty when the key is missing.
std::u16string RecordOf(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyOf(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"";
  WCHAR value[64] = {};
  DWORD size = sizeof(value);
  DWORD type = 0;
  const LONG r = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_SZ ? std::u16string(value) : u"?";
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The file's bytes as the record reads them (the record holds the file
// without sharing).
std::string FileBytes(tempFile* record) {
  const int32_t size = tempFile_getWritten(record);
  if (size < 0 || tempFile_seekSet(record, 0) != 0) return "<unreadable>";
  std::string out(static_cast<size_t>(size), '\0');
  if (tempFile_read(record, out.data(), static_cast<uint32_t>(size)) != size) return "<short>";
  tempFile_seekLast(record);
  return out;
}

class SpoolTempFile : public RootedTest {
 protected:
  void SetUp() override {
    TFReg_SetRegRoot(kRoot);
    KpClearMessageBoxes();
    record_.file = INVALID_HANDLE_VALUE;
    ASSERT_EQ(tempFile_init(&record_, 0, nullptr), 0);
  }
  void TearDown() override {
    tempFile_closeAndDelete(&record_);
    KpSetWriteFault(0, 0, 0, 0);
    KpClearMessageBoxes();
    KpSetClock(nullptr);
    KpSetTimeZoneBias(nullptr);
  }
  tempFile record_{};
};

TEST_F(SpoolTempFile, RecordKeyAndTimeUnderAFixedClock) {
  EXPECT_EQ(KeyOf(u"C:\\Windows\\Temp\\ZAN1A.tmp"),
            u"Software\\Halcyra\\Zan NRV Printer Driver\\TempFile\\C:/Windows/Temp/ZAN1A.tmp");
  const SYSTEMTIME utc{2026, 3, 0, 7, 22, 5, 9, 0};
  const LONG bias = -60;  // local = UTC + 1 h
  KpSetTimeZoneBias(&bias);
  ASSERT_TRUE(KpSetClock(&utc));
  ASSERT_EQ(TFReg_Entry(u"C:\\Windows\\Temp\\ZAN1A.tmp"), 0);
  EXPECT_EQ(RecordOf(u"C:\\Windows\\Temp\\ZAN1A.tmp"), u"[2026,03/07,23:05:09]");
  EXPECT_EQ(TFReg_Delete(u"C:\\Windows\\Temp\\ZAN1A.tmp"), 0);
  EXPECT_EQ(RecordOf(u"C:\\Windows\\Temp\\ZAN1A.tmp"), u"");
  // A root replaced at a job start names the later records.
  TFReg_SetRegRoot(u"Software\\Other\\");
  EXPECT_EQ(KeyOf(u"C:\\a.tmp"), u"Software\\Other\\TempFile\\C:/a.tmp");
  EXPECT_EQ(TFReg_SetRegRoot(nullptr), -1);
}

TEST_F(SpoolTempFile, OpenMakesARecordedFileAndCloseRemovesBoth) {
  ASSERT_EQ(tempFile_open(&record_), 0);
  const std::u16string path = record_.path;
  EXPECT_EQ(path.rfind(u"C:\\Windows\\Temp\\ZAN", 0), 0u) << "the temporary folder, prefix ZAN";
  EXPECT_TRUE(Exists(path));
  EXPECT_NE(RecordOf(path), u"");
  EXPECT_EQ(tempFile_status(&record_), 1);
  EXPECT_EQ(tempFile_closeAndDelete(&record_), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(RecordOf(path), u"");
  EXPECT_EQ(tempFile_status(&record_), -1);
  EXPECT_EQ(record_.path[0], 0);
}

TEST_F(SpoolTempFile, InitClosesAndDeletesAFileStillOpen) {
  ASSERT_EQ(tempFile_open(&record_), 0);
  const std::u16string path = record_.path;
  ASSERT_EQ(tempFile_write(&record_, "abc", 3), 3);
  EXPECT_EQ(tempFile_init(&record_, 0, nullptr), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(RecordOf(path), u"");
}

TEST_F(SpoolTempFile, SweepLeavesOnlyTheFileItCannotDelete) {
  const std::u16string held = u"C:\\Windows\\Temp\\held.tmp", missing = u"C:\\Windows\\Temp\\missing.tmp",
                       loose = u"C:\\Windows\\Temp\\loose.tmp";
  HANDLE h = CreateFileW(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);  // open elsewhere, without sharing
  HANDLE l = CreateFileW(loose.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(l, INVALID_HANDLE_VALUE);
  CloseHandle(l);
  // Records of an earlier run (recorded, then no longer this process's).
  for (const auto& p : {held, missing, loose}) {
    ASSERT_EQ(TFReg_Entry(p.c_str()), 0);
    TFReg_Release(p.c_str());
  }
  // A file a live job of this process recorded and closed for a moment.
  const std::u16string live = u"C:\\Windows\\Temp\\live.tmp";
  HANDLE v = CreateFileW(live.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(v, INVALID_HANDLE_VALUE);
  CloseHandle(v);
  ASSERT_EQ(TFReg_Entry(live.c_str()), 0);
  EXPECT_EQ(TFReg_TryAllDelete(), 0);
  EXPECT_TRUE(Exists(live));
  EXPECT_NE(RecordOf(live), u"");
  EXPECT_EQ(TFReg_Delete(live.c_str()), 0);
  DeleteFileW(live.c_str());
  EXPECT_NE(RecordOf(held), u"");
  EXPECT_TRUE(Exists(held));
  EXPECT_EQ(RecordOf(missing), u"");
  EXPECT_EQ(RecordOf(loose), u"");
  EXPECT_FALSE(Exists(loose));
  // Once the file is let go, the next sweep takes it.
  CloseHandle(h);
  EXPECT_EQ(TFReg_TryAllDelete(), 0);
  EXPECT_EQ(RecordOf(held), u"");
  EXPECT_FALSE(Exists(held));
  // No "TempFile" key under the root: -1.
  TFReg_SetRegRoot(u"Software\\Nobody\\");
  EXPECT_EQ(TFReg_TryAllDelete(), -1);
}

TEST_F(SpoolTempFile, AWriteFailingHalfwayRetriesOnlyWhatIsLeftOrStopsForGood) {
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13);
  ASSERT_EQ(tempFile_open(&record_), 0);
  ASSERT_EQ(tempFile_write(&record_, "head", 4), 4);
  // OK: the write goes on where it stopped.
  KpSetWriteFault(1, 1, 500, ERROR_DISK_FULL);
  KpQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(tempFile_write(&record_, data.data(), 1000), 1000);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(tempFile_getWritten(&record_), 1004);
  EXPECT_EQ(FileBytes(&record_), "head" + data);
  // Cancel: this write and every later read, seek and size query fail.
  KpSetWriteFault(1, 1, 10, ERROR_DISK_FULL);
  KpQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(tempFile_write(&record_, data.data(), 100), -1);
  char back[4];
  EXPECT_EQ(tempFile_seekSet(&record_, 0), -1);
  EXPECT_EQ(tempFile_read(&record_, back, 4), -1);
  EXPECT_EQ(tempFile_getWritten(&record_), -1);
  EXPECT_EQ(tempFile_seekLast(&record_), -1);
  EXPECT_EQ(tempFile_write(&record_, "x", 1), -1);
  EXPECT_EQ(KpMessageBoxCount(), 2u);
}

TEST_F(SpoolTempFile, ReadsAndSeeksStayWithinTheRecordedSize) {
  ASSERT_EQ(tempFile_open(&record_), 0);
  ASSERT_EQ(tempFile_write(&record_, "0123456789", 10), 10);
  // The file on disk is longer than the record says (ten bytes, six
  // recorded): the record's size is the limit.
  record_.size = 6;
  char buffer[8] = {};
  EXPECT_EQ(tempFile_seekSet(&record_, 7), -1);
  ASSERT_EQ(tempFile_seekSet(&record_, 2), 2);
  EXPECT_EQ(tempFile_read(&record_, buffer, 5), -1) << "2 + 5 passes the recorded size";
  EXPECT_EQ(tempFile_read(&record_, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "2345");
  EXPECT_EQ(tempFile_read(&record_, buffer, 0), 0);
  // Positions are 32-bit signed: a write that would pass 0x7FFFFFFF fails.
  record_.position = 0x7FFFFFF0u;
  EXPECT_EQ(tempFile_write(&record_, buffer, 16), -1);
  EXPECT_EQ(tempFile_write(&record_, nullptr, 1), -1);
}

TEST_F(SpoolTempFile, TheBoxNamesTheDriveOrABlank) {
  struct Case {
    const char16_t* path;
    char16_t letter;
  } cases[] = {{u"c:\\Windows\\Temp\\a.tmp", u'C'}, {u"D:\\x.tmp", u'D'}, {u"\\\\server\\share\\x.tmp", u' '},
               {u"", u' '}, {u"x", u' '}};
  for (const Case& c : cases) EXPECT_EQ(_tempFile_driveLetter(c.path), c.letter);
  // Without the resource module: the built-in text and the caption "Error".
  std::memcpy(record_.path, u"e:\\t.tmp", sizeof(u"e:\\t.tmp"));
  KpQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(_tempFile_writeErrorMessageBox(&record_), IDCANCEL);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  const std::u16string text = box.text;
  EXPECT_NE(text.find(u"sufficient disk space on E drive."), std::u16string::npos);
  EXPECT_EQ(std::u16string(box.caption), u"Error");
  EXPECT_EQ(box.type, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
  record_.path[0] = 0;
}

class SpoolTempFileTexts : public SpoolTest {};

TEST_F(SpoolTempFileTexts, TheBoxTakesStringsFiveAndSix) {
  tempFile record{};
  record.file = INVALID_HANDLE_VALUE;
  tempFile_init(&record, 0, resource_get_hInstance());
  std::memcpy(record.path, u"z:\\t.tmp", sizeof(u"z:\\t.tmp"));
  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(_tempFile_writeErrorMessageBox(&record), IDOK);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  EXPECT_NE(std::u16string(box.text).find(u"drive Z has enough free space"), std::u16string::npos);
  EXPECT_EQ(std::u16string(box.caption), u"Print Job");
  KpClearMessageBoxes();
}

}  // namespace
}  // namespace kestrel::test
