// Files with Windows behaviour: sharing, delete and move while open, the
// creation dispositions, reads, writes and the file pointer, write faults,
// temporary names, folders, file times and read-only mappings.
#include <kplatform/kernel32_file.h>
#include <kplatform/kernel32_sync.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "temp_root.h"

namespace fs = std::filesystem;
using kestrel::test::ReadHostFile;
using kestrel::test::RootedTest;
using kestrel::test::WriteHostFile;

namespace {

class FileTest : public RootedTest {
 protected:
  void TearDown() override {
    KpSetWriteFault(0, 0, 0, 0);
    EXPECT_EQ(handlesBefore_, KpOpenHandleCount()) << "a handle was left open";
    EXPECT_EQ(0u, KpMappedViewCount()) << "a view was left mapped";
  }

  HANDLE open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  std::string readAll(HANDLE file) {
    std::string bytes;
    char chunk[256];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got != 0) bytes.append(chunk, got);
    return bytes;
  }

  bool write(HANDLE file, const std::string& bytes, DWORD* written = nullptr) {
    DWORD n = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    if (written != nullptr) *written = n;
    return ok != FALSE;
  }

  std::string host(const std::string& relative) const { return root_.host(relative); }

  const size_t handlesBefore_ = KpOpenHandleCount();
};

constexpr DWORD R = GENERIC_READ;
constexpr DWORD W = GENERIC_WRITE;
constexpr DWORD RW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD SR = FILE_SHARE_READ;
constexpr DWORD SW = FILE_SHARE_WRITE;
constexpr DWORD SD = FILE_SHARE_DELETE;

TEST_F(FileTest, SharingIsEnforcedBetweenOpenHandlesOfOneFile) {
  WriteHostFile(host("c/Data/Shared.bin"), "abc");
  struct ShareCase {
    const char* name;
    DWORD access1, share1, access2, share2;
    bool allowed;
  };
  const ShareCase cases[] = {
      {"two readers sharing read", R, SR, R, SR, true},
      {"writer while reader shares read only", R, SR, W, SR | SW, false},
      {"reader that does not share the open write", W, SR | SW, R, SR, false},
      {"reader and writer sharing both", W, SR | SW, R, SR | SW, true},
      {"writer that does not share the open read", R, SR | SW, W, SW, false},
      {"second reader when the first shares nothing", R, 0, R, SR | SW, false},
      {"attribute-only handles never conflict", 0, 0, R, 0, true},
      {"exclusive open after an attribute-only handle", 0, 0, RW, 0, true},
      {"delete access needs share delete", R, SR, DELETE, SR, false},
      {"delete access with share delete", R, SR | SD, DELETE, SR, true},
  };
  for (const ShareCase& c : cases) {
    HANDLE first = open(u"C:\\Data\\Shared.bin", c.access1, c.share1);
    ASSERT_NE(INVALID_HANDLE_VALUE, first) << c.name;
    // The second open names the file in another letter case: still the same file.
    SetLastError(0);
    HANDLE second = open(u"c:\\DATA\\shared.BIN", c.access2, c.share2);
    if (c.allowed) {
      EXPECT_NE(INVALID_HANDLE_VALUE, second) << c.name;
    } else {
      EXPECT_EQ(INVALID_HANDLE_VALUE, second) << c.name;
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << c.name;
    }
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    // Closing the first gives its share back.
    ASSERT_TRUE(CloseHandle(first));
    HANDLE again = open(u"C:\\Data\\Shared.bin", c.access2, c.share2);
    EXPECT_NE(INVALID_HANDLE_VALUE, again) << c.name;
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
  }
}

TEST_F(FileTest, DeleteIsRefusedWhileOpenUnlessEveryHandleSharesDelete) {
  struct DeleteCase {
    DWORD share;
    bool deletable;
  };
  const DeleteCase cases[] = {{0, false}, {SR, false}, {SR | SW, false}, {SD, true}, {SR | SW | SD, true}};
  for (const DeleteCase& c : cases) {
    WriteHostFile(host("c/Data/victim.tmp"), "keep me");
    HANDLE file = open(u"C:\\Data\\victim.tmp", R, c.share);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetLastError(0);
    EXPECT_EQ(c.deletable, DeleteFileW(u"C:\\DATA\\Victim.TMP") != FALSE) << c.share;
    if (c.deletable) {
      EXPECT_FALSE(fs::exists(host("c/Data/victim.tmp")));
      EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"C:\\Data\\victim.tmp"));
      EXPECT_EQ("keep me", readAll(file)) << "the open handle keeps its data";
    } else {
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << c.share;
      EXPECT_EQ("keep me", ReadHostFile(host("c/Data/victim.tmp")));
    }
    CloseHandle(file);
    if (!c.deletable) {
      EXPECT_TRUE(DeleteFileW(u"C:\\Data\\victim.tmp")) << "deletable once closed";
    }
  }

  struct Refused {
    std::u16string path;
    DWORD error;
  };
  fs::create_directories(host("c/Data/Folder"));
  const Refused refused[] = {
      {u"C:\\Data\\none.tmp", ERROR_FILE_NOT_FOUND},
      {u"C:\\Nowhere\\none.tmp", ERROR_PATH_NOT_FOUND},
      {u"C:\\Data\\Folder", ERROR_ACCESS_DENIED},
  };
  for (const Refused& c : refused) {
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(c.path.c_str()));
    EXPECT_EQ(c.error, GetLastError());
  }
}

TEST_F(FileTest, CreationDispositionsFollowWindows) {
  struct DispositionCase {
    const char* name;
    DWORD disposition;
    bool existed;
    bool opens;
    DWORD error;      // last error after the call
    std::string now;  // content afterwards
  };
  const DispositionCase cases[] = {
      {"create new, missing", CREATE_NEW, false, true, NO_ERROR, ""},
      {"create new, existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "abc"},
      {"create always, missing", CREATE_ALWAYS, false, true, NO_ERROR, ""},
      {"create always, existing", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"open existing, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {"open existing, existing", OPEN_EXISTING, true, true, NO_ERROR, "abc"},
      {"open always, missing", OPEN_ALWAYS, false, true, NO_ERROR, ""},
      {"open always, existing", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "abc"},
      {"truncate existing, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {"truncate existing, existing", TRUNCATE_EXISTING, true, true, NO_ERROR, ""},
  };
  for (const DispositionCase& c : cases) {
    fs::remove(host("c/Data/d.bin"));
    if (c.existed) WriteHostFile(host("c/Data/d.bin"), "abc");
    fs::create_directories(host("c/Data"));
    SetLastError(12345);
    HANDLE file = open(u"C:\\Data\\d.bin", RW, 0, c.disposition);
    EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    EXPECT_EQ(c.now, fs::exists(host("c/Data/d.bin")) ? ReadHostFile(host("c/Data/d.bin")) : "<none>") << c.name;
  }

  struct Refused {
    const char* name;
    std::u16string path;
    DWORD access;
    DWORD disposition;
    DWORD flags;
    DWORD error;
  };
  const Refused refused[] = {
      {"missing folder", u"C:\\Nowhere\\x.bin", RW, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND},
      {"a folder", u"C:\\Data", R, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"truncate without write access", u"C:\\Data\\d.bin", R, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER},
      {"unknown disposition", u"C:\\Data\\d.bin", R, 6, 0, ERROR_INVALID_PARAMETER},
      {"overlapped", u"C:\\Data\\d.bin", R, OPEN_ALWAYS, FILE_FLAG_OVERLAPPED, ERROR_NOT_SUPPORTED},
      {"delete on close", u"C:\\Data\\d.bin", R, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, ERROR_NOT_SUPPORTED},
      {"bad name", u"C:\\Data\\d?.bin", R, OPEN_ALWAYS, 0, ERROR_INVALID_NAME},
  };
  for (const Refused& c : refused) {
    SetLastError(0);
    HANDLE file = CreateFileW(c.path.c_str(), c.access, 0, nullptr, c.disposition, c.flags, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, file) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(nullptr, R, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(FileTest, ReadsWritesAndMovesThePointerPerHandle) {
  HANDLE file = open(u"C:\\Windows\\Temp\\rw.bin", RW, SR, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  ASSERT_TRUE(write(file, "hello world"));
  EXPECT_EQ(11u, GetFileSize(file, nullptr));

  EXPECT_EQ(6u, SetFilePointer(file, 6, nullptr, FILE_BEGIN));
  EXPECT_EQ("world", readAll(file));
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(file, &got, 4, &got, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(0u, got);
  EXPECT_EQ(8u, SetFilePointer(file, -3, nullptr, FILE_END));
  EXPECT_EQ(4u, SetFilePointer(file, -4, nullptr, FILE_CURRENT));

  // A move before the start fails and leaves the pointer where it was.
  SetLastError(0);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -5, nullptr, FILE_BEGIN));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_EQ(4u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));

  // Without a high part the position must fit in 32 bits; with one it may not.
  // The distance alone is signed.
  LARGE_INTEGER distance{}, now{};
  distance.QuadPart = 0xFFFFFFF0LL;
  ASSERT_TRUE(SetFilePointerEx(file, distance, &now, FILE_BEGIN));
  EXPECT_EQ(0xFFFFFFF0LL, now.QuadPart);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0x20, nullptr, FILE_CURRENT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  LONG high = 0;
  EXPECT_EQ(0x10u, SetFilePointer(file, 0x20, &high, FILE_CURRENT));
  EXPECT_EQ(1, high);
  high = -1;
  EXPECT_EQ(0xFFFFFFF0u, SetFilePointer(file, -0x20, &high, FILE_CURRENT)) << "a low part of all ones but one";
  EXPECT_EQ(0, high);
  EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
  distance.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(file, distance, &now, FILE_CURRENT));
  EXPECT_EQ(0xFFFFFFF0LL, now.QuadPart);

  // SetEndOfFile cuts (or extends) the file at the pointer.
  EXPECT_EQ(5u, SetFilePointer(file, 5, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(5, size.QuadPart);
  EXPECT_TRUE(FlushFileBuffers(file));

  // A second handle has its own pointer.
  HANDLE reader = open(u"C:\\Windows\\Temp\\RW.bin", R, SR | SW);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  EXPECT_EQ("hello", readAll(reader));
  EXPECT_TRUE(write(file, "!"));
  EXPECT_EQ("!", readAll(reader));

  // Access is checked per handle.
  SetLastError(0);
  EXPECT_FALSE(write(reader, "x"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_FALSE(FlushFileBuffers(reader));
  CloseHandle(reader);
  CloseHandle(file);

  HANDLE writeOnly = open(u"C:\\Windows\\Temp\\rw.bin", W, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
  char byte;
  DWORD n = 7;
  EXPECT_FALSE(ReadFile(writeOnly, &byte, 1, &n, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(0u, n);
  CloseHandle(writeOnly);

  // Closed and never-opened handles.
  SetLastError(0);
  EXPECT_FALSE(ReadFile(file, &byte, 1, &n, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(INVALID_HANDLE_VALUE, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(FileTest, InjectedWriteFaultsWriteShortOrFailAfterPartOfTheBytes) {
  struct FaultCase {
    const char* name;
    DWORD nth, times, maxBytes, error;
    // Results of four writes of "abcdef".
    bool ok[4];
    DWORD written[4];
    std::string content;
  };
  const FaultCase cases[] = {
      {"second write short", 2, 1, 3, 0, {true, true, true, true}, {6, 3, 6, 6}, "abcdefabcabcdefabcdef"},
      {"second and third fail half way",
       2,
       2,
       3,
       ERROR_DISK_FULL,
       {true, false, false, true},
       {6, 3, 3, 6},
       "abcdefabcabcabcdef"},
      {"first fails with nothing written",
       1,
       1,
       0,
       ERROR_DISK_FULL,
       {false, true, true, true},
       {0, 6, 6, 6},
       "abcdefabcdefabcdef"},
      {"no fault", 0, 0, 0, 0, {true, true, true, true}, {6, 6, 6, 6}, "abcdefabcdefabcdefabcdef"},
  };
  for (const FaultCase& c : cases) {
    HANDLE file = open(u"C:\\Windows\\Temp\\fault.bin", RW, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    KpSetWriteFault(c.nth, c.times, c.maxBytes, c.error);
    for (int i = 0; i < 4; ++i) {
      DWORD written = 99;
      SetLastError(0);
      EXPECT_EQ(c.ok[i], write(file, "abcdef", &written)) << c.name << " write " << i;
      EXPECT_EQ(c.written[i], written) << c.name << " write " << i;
      if (!c.ok[i]) {
        EXPECT_EQ(c.error, GetLastError()) << c.name << " write " << i;
      }
    }
    KpSetWriteFault(0, 0, 0, 0);
    CloseHandle(file);
    EXPECT_EQ(c.content, ReadHostFile(host("c/Windows/Temp/fault.bin"))) << c.name;
  }
}

TEST_F(FileTest, TempFileNamesAreNewFilesWithUniqueNames) {
  WCHAR folder[MAX_PATH];
  ASSERT_EQ(16u, GetTempPathW(MAX_PATH, folder));
  std::set<std::u16string> names;
  std::set<UINT> numbers;
  for (int i = 0; i < 300; ++i) {
    WCHAR name[MAX_PATH];
    UINT number = GetTempFileNameW(folder, u"ZANP", 0, name);
    ASSERT_NE(0u, number);
    numbers.insert(number);
    names.insert(name);
    std::u16string text(name);
    ASSERT_EQ(0u, text.find(u"C:\\Windows\\Temp\\ZAN")) << "prefix cut to three characters";
    ASSERT_EQ(text.size() - 4, text.rfind(u".tmp"));
    ASSERT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesW(name)) << "the file is created";
  }
  EXPECT_EQ(300u, names.size());
  EXPECT_EQ(300u, numbers.size());

  // A folder without the trailing backslash, a number given: only the name.
  WCHAR name[MAX_PATH];
  EXPECT_EQ(0x1A2Bu, GetTempFileNameW(u"C:\\Windows", u"ZNF", 0x1A2B, name));
  EXPECT_EQ(std::u16string(u"C:\\Windows\\ZNF1A2B.tmp"), std::u16string(name));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(name));

  struct Refused {
    std::u16string folder;
    DWORD error;
  };
  const Refused refused[] = {
      {u"C:\\Nowhere", ERROR_PATH_NOT_FOUND},
      {u"C:\\" + std::u16string(MAX_PATH - 14, u'x'), ERROR_BUFFER_OVERFLOW},
  };
  for (const Refused& c : refused) {
    SetLastError(0);
    EXPECT_EQ(0u, GetTempFileNameW(c.folder.c_str(), u"ZNF", 0, name));
    EXPECT_EQ(c.error, GetLastError());
  }
}

TEST_F(FileTest, MoveReplacesOnlyWhenAskedAndRespectsOpenHandles) {
  auto reset = [&] {
    WriteHostFile(host("c/Data/from.txt"), "new");
    WriteHostFile(host("c/Data/to.txt"), "old");
  };
  reset();
  SetLastError(0);
  EXPECT_FALSE(MoveFileExW(u"C:\\Data\\from.txt", u"C:\\Data\\to.txt", 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_FALSE(MoveFileW(u"C:\\Data\\from.txt", u"C:\\Data\\to.txt"));
  EXPECT_EQ("old", ReadHostFile(host("c/Data/to.txt")));

  ASSERT_TRUE(MoveFileExW(u"c:\\data\\FROM.txt", u"C:\\DATA\\TO.TXT", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ("new", ReadHostFile(host("c/Data/to.txt")));
  EXPECT_FALSE(fs::exists(host("c/Data/from.txt")));
  EXPECT_FALSE(fs::exists(host("c/Data/TO.TXT"))) << "the existing name is replaced, not a second one made";

  struct OpenCase {
    const char* name;
    std::u16string held;
    DWORD share;
    DWORD error;  // 0: the move succeeds
  };
  const OpenCase cases[] = {
      {"source open", u"C:\\Data\\from.txt", SR, ERROR_SHARING_VIOLATION},
      {"source open sharing delete", u"C:\\Data\\from.txt", SR | SD, 0},
      {"target open", u"C:\\Data\\to.txt", SR | SW, ERROR_ACCESS_DENIED},
      {"target open sharing delete", u"C:\\Data\\to.txt", SR | SD, 0},
  };
  for (const OpenCase& c : cases) {
    reset();
    HANDLE held = open(c.held, R, c.share);
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << c.name;
    SetLastError(0);
    BOOL moved = MoveFileExW(u"C:\\Data\\from.txt", u"C:\\Data\\to.txt", MOVEFILE_REPLACE_EXISTING);
    EXPECT_EQ(c.error == 0, moved != FALSE) << c.name;
    if (c.error != 0) {
      EXPECT_EQ(c.error, GetLastError()) << c.name;
    }
    EXPECT_EQ(c.error == 0 ? "new" : "old", ReadHostFile(host("c/Data/to.txt"))) << c.name;
    CloseHandle(held);
  }

  // A name that differs only in case renames the file to that case.
  reset();
  ASSERT_TRUE(MoveFileExW(u"C:\\Data\\from.txt", u"C:\\Data\\From.TXT", 0));
  EXPECT_TRUE(fs::exists(host("c/Data/From.TXT")));
  EXPECT_FALSE(fs::exists(host("c/Data/from.txt")));

  fs::create_directories(host("c/Data/Folder"));
  struct Refused {
    std::u16string from, to;
    DWORD flags;
    DWORD error;
  };
  const Refused refused[] = {
      {u"C:\\Data\\none.txt", u"C:\\Data\\x.txt", 0, ERROR_FILE_NOT_FOUND},
      {u"C:\\Data\\to.txt", u"C:\\Data\\Folder", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
      {u"C:\\Data\\to.txt", u"C:\\Nowhere\\x.txt", 0, ERROR_PATH_NOT_FOUND},
      {u"C:\\Data\\to.txt", u"C:\\Data\\x.txt", MOVEFILE_DELAY_UNTIL_REBOOT, ERROR_NOT_SUPPORTED},
  };
  for (const Refused& c : refused) {
    SetLastError(0);
    EXPECT_FALSE(MoveFileExW(c.from.c_str(), c.to.c_str(), c.flags));
    EXPECT_EQ(c.error, GetLastError());
  }
  EXPECT_EQ("old", ReadHostFile(host("c/Data/to.txt")));
}

TEST_F(FileTest, FoldersAreCreatedAndRemovedWithWindowsErrors) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Forms", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"c:\\FORMS\\Sub", nullptr));
  EXPECT_TRUE(fs::is_directory(host("c/Forms/Sub")));
  WriteHostFile(host("c/Forms/Sub/f.txt"), "x");

  struct FolderCase {
    const char* name;
    BOOL (*call)(LPCWSTR);
    std::u16string path;
    DWORD error;
  };
  auto create = [](LPCWSTR p) -> BOOL { return CreateDirectoryW(p, nullptr); };
  auto remove = [](LPCWSTR p) -> BOOL { return RemoveDirectoryW(p); };
  const FolderCase cases[] = {
      {"create existing", create, u"C:\\forms", ERROR_ALREADY_EXISTS},
      {"create below a missing folder", create, u"C:\\Nowhere\\x", ERROR_PATH_NOT_FOUND},
      {"create a drive root", create, u"C:\\", ERROR_ACCESS_DENIED},
      {"remove non-empty", remove, u"C:\\Forms\\Sub", ERROR_DIR_NOT_EMPTY},
      {"remove a file", remove, u"C:\\Forms\\Sub\\f.txt", ERROR_DIRECTORY},
      {"remove missing", remove, u"C:\\Forms\\None", ERROR_FILE_NOT_FOUND},
      {"remove a drive root", remove, u"C:\\", ERROR_ACCESS_DENIED},
      {"remove the current directory", remove, u"C:\\Windows\\system32", ERROR_SHARING_VIOLATION},
      {"remove above the current directory", remove, u"C:\\Windows", ERROR_SHARING_VIOLATION},
  };
  for (const FolderCase& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(c.call(c.path.c_str())) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
  EXPECT_TRUE(fs::is_directory(host("c/Windows/system32")));

  ASSERT_TRUE(DeleteFileW(u"C:\\Forms\\Sub\\F.TXT"));
  EXPECT_TRUE(RemoveDirectoryW(u"C:\\forms\\sub"));
  EXPECT_FALSE(fs::exists(host("c/Forms/Sub")));
}

TEST_F(FileTest, FileTimesAndAttributes) {
  HANDLE file = open(u"C:\\Windows\\Temp\\times.bin", RW, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  ASSERT_TRUE(write(file, "12345"));
  // 2020-01-02 03:04:05.6789 UTC in 100 ns units since 1601.
  const uint64_t ticks = 132224630456789000ULL;
  FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  FILETIME creation{}, access{}, last{};
  ASSERT_TRUE(GetFileTime(file, &creation, &access, &last));
  EXPECT_EQ(written.dwLowDateTime, last.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, last.dwHighDateTime);
  EXPECT_NE(0u, creation.dwHighDateTime);

  SetLastError(0);
  EXPECT_FALSE(SetFileTime(file, &written, nullptr, nullptr)) << "the creation time cannot be set";
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
  CloseHandle(file);

  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"c:\\windows\\temp\\TIMES.BIN", GetFileExInfoStandard, &data));
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, data.dwFileAttributes);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_EQ(0u, data.nFileSizeHigh);
  EXPECT_EQ(written.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);

  fs::permissions(host("c/Windows/Temp/times.bin"), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, GetFileAttributesW(u"C:\\Windows\\Temp\\times.bin"));
  // A read-only file can be read, not written, cut, deleted or replaced.
  HANDLE reader = open(u"C:\\Windows\\Temp\\times.bin", R, SR);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  CloseHandle(reader);
  WriteHostFile(host("c/Windows/Temp/other.bin"), "o");
  struct ReadOnlyCase {
    const char* name;
    BOOL (*call)();
  };
  const ReadOnlyCase readOnly[] = {
      {"open for writing",
       [] {
         HANDLE h = CreateFileW(u"C:\\Windows\\Temp\\times.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
         return static_cast<BOOL>(h != INVALID_HANDLE_VALUE);
       }},
      {"truncate",
       [] {
         HANDLE h = CreateFileW(u"C:\\Windows\\Temp\\times.bin", GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
         if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
         return static_cast<BOOL>(h != INVALID_HANDLE_VALUE);
       }},
      {"delete", [] { return DeleteFileW(u"C:\\Windows\\Temp\\times.bin"); }},
      {"replace",
       [] {
         return MoveFileExW(u"C:\\Windows\\Temp\\other.bin", u"C:\\Windows\\Temp\\times.bin",
                            MOVEFILE_REPLACE_EXISTING);
       }},
  };
  for (const ReadOnlyCase& c : readOnly) {
    SetLastError(0);
    EXPECT_FALSE(c.call()) << c.name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << c.name;
  }
  EXPECT_EQ("12345", ReadHostFile(host("c/Windows/Temp/times.bin")));
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(u"C:\\WINDOWS"));
  SetLastError(0);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"C:\\Windows\\none\\x"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

class MappingTest : public FileTest {
 protected:
  void SetUp() override {
    bytes_.resize(70000);
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>(i * 7 + i / 256);
    WriteHostFile(host("c/Data/kestrel.ddd"), bytes_);
  }
  std::string bytes_;
};

TEST_F(MappingTest, ViewsShowTheFileAndOutliveTheirHandles) {
  HANDLE file = open(u"C:\\Data\\KESTREL.DDD", R, SR);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(nullptr, mapping);
  const char* whole = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(nullptr, whole);
  const char* tail = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 0));
  ASSERT_NE(nullptr, tail);
  CloseHandle(mapping);
  CloseHandle(file);
  EXPECT_EQ(0, std::memcmp(bytes_.data(), whole, bytes_.size()));
  EXPECT_EQ(0, std::memcmp(bytes_.data() + 65536, tail, bytes_.size() - 65536));
  EXPECT_EQ(2u, KpMappedViewCount());
  EXPECT_TRUE(UnmapViewOfFile(whole));
  EXPECT_TRUE(UnmapViewOfFile(tail));
  SetLastError(0);
  EXPECT_FALSE(UnmapViewOfFile(tail));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
}

TEST_F(MappingTest, AMappedFileCannotBeCutDeletedOrReplaced) {
  HANDLE file = open(u"C:\\Data\\kestrel.ddd", R, SR | SW | SD);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(nullptr, mapping);
  CloseHandle(file);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(nullptr, view);
  CloseHandle(mapping);  // the view alone keeps the file mapped

  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, open(u"C:\\Data\\kestrel.ddd", RW, SR | SW, CREATE_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_USER_MAPPED_FILE), GetLastError());
  HANDLE writer = open(u"C:\\Data\\kestrel.ddd", RW, SR | SW);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer) << "writing is allowed, cutting is not";
  EXPECT_EQ(100u, SetFilePointer(writer, 100, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(writer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_USER_MAPPED_FILE), GetLastError());
  CloseHandle(writer);
  EXPECT_FALSE(DeleteFileW(u"C:\\Data\\kestrel.ddd"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  WriteHostFile(host("c/Data/other.ddd"), "x");
  EXPECT_FALSE(MoveFileExW(u"C:\\Data\\other.ddd", u"C:\\Data\\kestrel.ddd", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(0, std::memcmp(bytes_.data(), view, bytes_.size()));

  ASSERT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(DeleteFileW(u"C:\\Data\\kestrel.ddd"));
}

// A view given back may stay mapped for the next view of the same bytes;
// the next view still shows the file as it is now: rewritten in place, cut
// shorter, or replaced by another file of the same name and size.
TEST_F(MappingTest, AViewAfterOneGivenBackShowsTheFileAsItIsNow) {
  auto view = [&](const std::string& want) {
    HANDLE file = open(u"C:\\Data\\kestrel.ddd", R, SR | SW | SD);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(nullptr, mapping);
    const char* bytes = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, bytes);
    EXPECT_EQ(want, std::string(bytes, want.size()));
    EXPECT_TRUE(UnmapViewOfFile(bytes));
    CloseHandle(mapping);
    CloseHandle(file);
  };
  view(bytes_);
  std::string rewritten = bytes_;
  for (char& c : rewritten) c = static_cast<char>(c ^ 0x5A);
  WriteHostFile(host("c/Data/kestrel.ddd"), rewritten);  // the same file, in place
  view(rewritten);
  const std::string shorter = rewritten.substr(0, 5000);
  WriteHostFile(host("c/Data/kestrel.ddd"), shorter);
  view(shorter);
  const std::string other(shorter.size(), 'k');
  WriteHostFile(host("c/Data/kestrel.new"), other);
  std::filesystem::rename(host("c/Data/kestrel.new"), host("c/Data/kestrel.ddd"));  // another file, same size
  view(other);
  EXPECT_EQ(0u, KpMappedViewCount());
}

TEST_F(MappingTest, RefusesWhatIsNotAReadOnlyMappingOfAReadableFile) {
  WriteHostFile(host("c/Data/empty.bin"), "");
  HANDLE empty = open(u"C:\\Data\\empty.bin", R, SR);
  HANDLE writeOnly = open(u"C:\\Data\\kestrel.ddd", W, SR | SW);
  HANDLE file = open(u"C:\\Data\\kestrel.ddd", R, SR | SW);
  ASSERT_NE(INVALID_HANDLE_VALUE, empty);
  ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);

  struct MapCase {
    const char* name;
    HANDLE file;
    DWORD protect;
    DWORD sizeLow;
    LPCWSTR name16;
    DWORD error;
  };
  const MapCase cases[] = {
      {"empty file", empty, PAGE_READONLY, 0, nullptr, ERROR_FILE_INVALID},
      {"write-only handle", writeOnly, PAGE_READONLY, 0, nullptr, ERROR_ACCESS_DENIED},
      {"writable mapping", file, 0x04 /* PAGE_READWRITE */, 0, nullptr, ERROR_NOT_SUPPORTED},
      {"named mapping", file, PAGE_READONLY, 0, u"Local\\x", ERROR_NOT_SUPPORTED},
      {"page-file mapping", INVALID_HANDLE_VALUE, PAGE_READONLY, 16, nullptr, ERROR_NOT_SUPPORTED},
      {"larger than the file", file, PAGE_READONLY, 70001, nullptr, ERROR_INVALID_PARAMETER},
      {"not a file", reinterpret_cast<HANDLE>(0x7ffffff0), PAGE_READONLY, 0, nullptr, ERROR_INVALID_HANDLE},
  };
  for (const MapCase& c : cases) {
    SetLastError(0);
    HANDLE mapping = CreateFileMappingW(c.file, nullptr, c.protect, 0, c.sizeLow, c.name16);
    EXPECT_EQ(nullptr, mapping) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
    if (mapping != nullptr) CloseHandle(mapping);
  }

  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 1000, nullptr);
  ASSERT_NE(nullptr, mapping);
  struct ViewCase {
    const char* name;
    DWORD access, offset;
    SIZE_T bytes;
    DWORD error;
  };
  const ViewCase views[] = {
      {"write access", FILE_MAP_WRITE, 0, 0, ERROR_ACCESS_DENIED},
      {"no access", 0, 0, 0, ERROR_INVALID_PARAMETER},
      {"unaligned offset", FILE_MAP_READ, 4096, 0, ERROR_MAPPED_ALIGNMENT},
      {"beyond the mapping's size", FILE_MAP_READ, 0, 1001, ERROR_ACCESS_DENIED},
      {"offset past the end", FILE_MAP_READ, 65536, 0, ERROR_ACCESS_DENIED},
  };
  for (const ViewCase& c : views) {
    SetLastError(0);
    EXPECT_EQ(nullptr, MapViewOfFile(mapping, c.access, 0, c.offset, c.bytes)) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1000);
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(0, std::memcmp(bytes_.data(), view, 1000));
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
  CloseHandle(writeOnly);
  CloseHandle(empty);
}

}  // namespace
