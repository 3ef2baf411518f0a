// The engine services a kernel-mode driver stands on: memory, whole-file
// modules and their resources, code pages, debug output, semaphores,
// palettes and surfaces, and the printer context's output, data, names and
// forms.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool_printer.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "rescontainer.h"
#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;

constexpr ULONG kTagA = 0x61616161;
constexpr ULONG kTagB = 0x62626262;

std::string debugOutput() {
  std::string text(KpEngineGetDebugOutput(nullptr, 0) + 1, '\0');
  text.resize(KpEngineGetDebugOutput(text.data(), text.size()));
  return text;
}

void print(const char* prefix, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  EngDebugPrint(const_cast<char*>(prefix), const_cast<char*>(format), ap);
  va_end(ap);
}

// ---- Memory ---------------------------------------------------------------------

TEST(EngineMemory, BlocksAreCountedByTagAndFilledAsAsked) {
  size_t before = KpEngineBlockCount(0);
  auto* zeroed = static_cast<unsigned char*>(EngAllocMem(FL_ZERO_MEMORY, 64, kTagA));
  auto* plain = static_cast<unsigned char*>(EngAllocMem(0, 64, kTagB));
  ASSERT_TRUE(zeroed && plain);
  EXPECT_EQ(KpEngineBlockCount(kTagA), 1u);
  EXPECT_EQ(KpEngineBlockCount(kTagB), 1u);
  EXPECT_EQ(KpEngineBlockCount(0), before + 2);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(zeroed[i], 0) << i;
    ASSERT_EQ(plain[i], 0xA5) << i;  // not zero: reliance on zero fill shows
  }
  EngFreeMem(zeroed);
  EngFreeMem(plain);
  EXPECT_EQ(KpEngineBlockCount(0), before);
}

TEST(EngineMemory, RefusalsAndInjectedFailures) {
  EXPECT_EQ(EngAllocMem(0, 0, kTagA), nullptr);
  EXPECT_EQ(EngAllocMem(0, 0x80000000u, kTagA), nullptr);
  KpEngineFailAllocation(2);
  void* first = EngAllocMem(0, 8, kTagA);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(EngAllocMem(0, 8, kTagA), nullptr);
  void* third = EngAllocMem(0, 8, kTagA);
  EXPECT_NE(third, nullptr);
  EngFreeMem(first);
  EngFreeMem(third);
  EXPECT_EQ(KpEngineBlockCount(kTagA), 0u);
}

TEST(EngineMemory, DoubleAndForeignFreesAreCountedNotFollowed) {
  size_t bad = KpEngineBadFreeCount();
  void* block = EngAllocMem(0, 16, kTagA);
  EngFreeMem(block);
  EngFreeMem(block);  // second free of the same block
  int local = 0;
  EngFreeMem(&local);
  EngFreeMem(nullptr);  // nothing at all
  EXPECT_EQ(KpEngineBadFreeCount(), bad + 2);
}

// ---- Modules and resources ----------------------------------------------------------

class EngineModules : public RootedTest {
 protected:
  void write(const std::string& relative, const std::string& bytes) {
    kestrel::test::WriteHostFile(root_.host(relative), bytes);
  }
};

TEST_F(EngineModules, WholeFileReadOnlyViews) {
  write("c/data/model.ddd", "DDD-bytes-0123456789");
  size_t views = KpMappedViewCount();
  HANDLE m = EngLoadModule(const_cast<LPWSTR>(u"C:\\DATA\\Model.DDD"));
  ASSERT_NE(m, nullptr);
  ULONG size = 0;
  auto* view = static_cast<const char*>(EngMapModule(m, &size));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, size), "DDD-bytes-0123456789");
  EXPECT_EQ(EngMapModule(m, nullptr), view);  // one view per module
  EXPECT_EQ(KpMappedViewCount(), views + 1);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), 1u);
  EngFreeModule(m);
  EXPECT_EQ(KpMappedViewCount(), views);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), 0u);
  EXPECT_EQ(EngMapModule(m, &size), nullptr);  // a freed handle is dead
  EngFreeModule(m);                            // and freeing it again is harmless
}

TEST_F(EngineModules, MissingEmptyAndDllNames) {
  write("c/data/empty.cfg", "");
  write("c/drv/libkfake.so", "not really a library");
  EXPECT_EQ(EngLoadModule(const_cast<LPWSTR>(u"C:\\data\\missing.cfg")), nullptr);
  EXPECT_EQ(EngLoadModule(nullptr), nullptr);

  HANDLE empty = EngLoadModule(const_cast<LPWSTR>(u"C:\\data\\empty.cfg"));
  ASSERT_NE(empty, nullptr);
  ULONG size = 7;
  EXPECT_EQ(EngMapModule(empty, &size), nullptr);
  EngFreeModule(empty);

  // "name.dll" reaches "libname.so" beside it, as the loader's rule has it.
  HANDLE dll = EngLoadModule(const_cast<LPWSTR>(u"C:\\drv\\kfake.dll"));
  ASSERT_NE(dll, nullptr);
  EXPECT_NE(EngMapModule(dll, &size), nullptr);
  EXPECT_EQ(size, std::strlen("not really a library"));
  EngFreeModule(dll);
}

TEST_F(EngineModules, ResourcesOfAContainerFile) {
  std::array<std::u16string, kp::res::kStringsPerBlock> strings;
  strings[3] = u"thirty-five";
  std::vector<kp::res::Item> items;
  items.push_back({kp::res::kTypeString, 3, kp::res::BuildStringBlock(strings)});
  items.push_back({10, 7, {1, 2, 3, 4, 5}});
  auto bytes = kp::res::Build(items);
  write("c/res/strings.zrs", std::string(bytes.begin(), bytes.end()));
  HANDLE m = EngLoadModule(const_cast<LPWSTR>(u"C:\\res\\strings.zrs"));
  ASSERT_NE(m, nullptr);

  struct Case {
    int name, type;
    ULONG size;  // 0: missing
  } cases[] = {{7, 10, 5}, {3, 6, static_cast<ULONG>(items[0].bytes.size())}, {8, 10, 0}, {7, 11, 0}, {0, 10, 0},
               {7, -1, 0}};
  for (const auto& c : cases) {
    ULONG size = 99;
    void* data = EngFindResource(m, c.name, c.type, &size);
    EXPECT_EQ(data != nullptr, c.size != 0) << c.name << "/" << c.type;
    EXPECT_EQ(size, c.size) << c.name << "/" << c.type;
  }
  ULONG size = 0;
  auto* raw = static_cast<const unsigned char*>(EngFindResource(m, 7, 10, &size));
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(raw, raw + size), (std::vector<unsigned char>{1, 2, 3, 4, 5}));
  EngFreeModule(m);
}

TEST_F(EngineModules, CorruptOrForeignFilesHaveNoResources) {
  std::vector<kp::res::Item> items;
  items.push_back({10, 7, {1, 2, 3, 4}});
  auto bytes = kp::res::Build(items);
  std::string cut(bytes.begin(), bytes.end() - 4);  // stated size no longer holds
  write("c/res/cut.zrs", cut);
  write("c/res/text.txt", "plain text, not a container");
  for (const char16_t* path : {u"C:\\res\\cut.zrs", u"C:\\res\\text.txt"}) {
    HANDLE m = EngLoadModule(const_cast<LPWSTR>(path));
    ASSERT_NE(m, nullptr);
    ULONG size = 1;
    EXPECT_EQ(EngFindResource(m, 7, 10, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EngFreeModule(m);
  }
}

// ---- Code pages ---------------------------------------------------------------------

class EngineCodePages : public ::testing::Test {
 protected:
  void TearDown() override { KpSetACP(1252); }
};

TEST_F(EngineCodePages, WholeConversionsAnswerBytesOrMinusOne) {
  struct Case {
    UINT cp;
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {1252, "Caf\xE9", u"Caf\u00E9"},
      {932, "\x82\xA0\x41", u"\u3042A"},
      {65001, "\xE2\x82\xAC", u"\u20AC"},
  };
  for (const auto& c : cases) {
    WCHAR wide[16] = {};
    INT n = EngMultiByteToWideChar(c.cp, wide, sizeof wide, const_cast<char*>(c.narrow.data()),
                                   static_cast<INT>(c.narrow.size()));
    EXPECT_EQ(n, static_cast<INT>(c.wide.size() * 2)) << c.cp;
    EXPECT_EQ(std::u16string(wide, c.wide.size()), c.wide) << c.cp;
    char narrow[16] = {};
    n = EngWideCharToMultiByte(c.cp, const_cast<WCHAR*>(c.wide.data()), static_cast<INT>(c.wide.size() * 2),
                               narrow, sizeof narrow);
    EXPECT_EQ(n, static_cast<INT>(c.narrow.size())) << c.cp;
    EXPECT_EQ(std::string(narrow, c.narrow.size()), c.narrow) << c.cp;
  }
  // Too small: -1 and the buffer untouched.
  WCHAR small[2] = {u'x', u'x'};
  EXPECT_EQ(EngMultiByteToWideChar(1252, small, 4, const_cast<char*>("abc"), 3), -1);
  EXPECT_EQ(small[0], u'x');
  EXPECT_EQ(EngMultiByteToWideChar(1252, small, 4, const_cast<char*>("abc"), -1), -1);
  EXPECT_EQ(EngMultiByteToWideChar(1252, small, 4, const_cast<char*>(""), 0), 0);
}

TEST_F(EngineCodePages, CuttingConversionsKeepWholeCharacters) {
  ASSERT_TRUE(KpSetACP(932));
  USHORT oem = 0, ansi = 0;
  EngGetCurrentCodePage(&oem, &ansi);
  EXPECT_EQ(ansi, 932);
  EXPECT_EQ(oem, 932);

  // "Aあい" is 41 82 A0 82 A2 in Shift-JIS: a 4-byte buffer holds "Aあ" only.
  std::u16string text = u"A\u3042\u3044";
  char out[8] = {};
  ULONG written = 99;
  EngUnicodeToMultiByteN(out, 4, &written, text.data(), static_cast<ULONG>(text.size() * 2));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(std::string(out, written), "A\x82\xA0");

  WCHAR wide[8] = {};
  EngMultiByteToUnicodeN(wide, 4, &written, const_cast<char*>("A\x82\xA0\x82\xA2"), 5);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(std::u16string(wide, 2), u"A\u3042");
  EngMultiByteToUnicodeN(wide, 3, nullptr, const_cast<char*>("AB"), 2);  // odd size: one unit
  EXPECT_EQ(wide[0], u'A');
}

// ---- Debug output -----------------------------------------------------------------

TEST(EngineDebugPrint, FormatsWithThePlatformsSizes) {
  KpEngineClearDebugOutput();
  struct Case {
    const char* expected;
    void (*call)();
  } cases[] = {
      {"P: 42 -7 ffffffff\n", [] { print("P: ", "%d %ld %lx\n", 42, -7, 0xFFFFFFFFu); }},
      {"RetValue = 0x0000ABCD", [] { print("", "RetValue = 0x%08X", 0xABCDu); }},
      {"[ab ] [  7]", [] { print(nullptr, "[%-3s] [%3u]", "ab", 7u); }},
      {"name=Kestrel (null)", [] { print("", "name=%ls %s", u"Kestrel", static_cast<const char*>(nullptr)); }},
      {"big 12345678901 100%", [] { print("", "big %I64d 100%%", static_cast<int64_t>(12345678901)); }},
      {"short -1", [] { print("", "short %hd", 0xFFFF); }},
      {"stop at %y", [] { print("", "stop at %y %d", 1); }},
      {"[7   ] [  ab]", [] { print("", "[%*d] [%*.*s]", -4, 7, 4, 2, "abc"); }},
  };
  for (const auto& c : cases) {
    KpEngineClearDebugOutput();
    c.call();
    EXPECT_EQ(debugOutput(), c.expected);
  }
  // Widths are bounded: one call prints at most 4096 bytes.
  KpEngineClearDebugOutput();
  print("", "%999999999s|%2147483647d", "x", 1);
  EXPECT_EQ(debugOutput().size(), 4096u);
  // A line containing conversions passed as an argument is printed as text.
  KpEngineClearDebugOutput();
  print("", "%s", "100% %s %n");
  EXPECT_EQ(debugOutput(), "100% %s %n");
}

// ---- Semaphores -------------------------------------------------------------------

TEST(EngineSemaphores, ReentrantAndStaleHandlesHarmless) {
  size_t live = KpEngineObjectCount(KP_ENGINE_SEMAPHORES);
  HSEMAPHORE s = EngCreateSemaphore();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_SEMAPHORES), live + 1);
  EngAcquireSemaphore(s);
  EngAcquireSemaphore(s);  // the owner again: no deadlock
  EngReleaseSemaphore(s);
  EngReleaseSemaphore(s);
  EngReleaseSemaphore(s);  // one release too many does nothing
  EngAcquireSemaphore(s);
  EngReleaseSemaphore(s);
  EngDeleteSemaphore(s);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_SEMAPHORES), live);
  EngAcquireSemaphore(s);  // deleted: nothing happens
  EngReleaseSemaphore(s);
  EngDeleteSemaphore(s);
}

TEST(EngineLastError, SharedWithTheKernelsLastError) {
  EngSetLastError(119);
  EXPECT_EQ(GetLastError(), 119u);
  SetLastError(87);
  EXPECT_EQ(EngGetLastError(), 87u);
}

// ---- Palettes and surfaces ---------------------------------------------------------------

TEST(EnginePalettes, ModesAndRefusals) {
  ULONG colors[2] = {0x000000, 0xFFFFFF};
  struct Case {
    ULONG mode, count;
    ULONG* colors;
    FLONG r, g, b;
    bool made;
  } cases[] = {
      {PAL_BGR, 0, nullptr, 0, 0, 0, true},         {PAL_RGB, 0, nullptr, 0, 0, 0, true},
      {PAL_INDEXED, 2, colors, 0, 0, 0, true},      {PAL_INDEXED, 2, nullptr, 0, 0, 0, false},
      {PAL_BITFIELDS, 0, nullptr, 0x7C00, 0x3E0, 0x1F, true},
      {PAL_BITFIELDS, 0, nullptr, 0x7C00, 0, 0x1F, false}, {0x40, 0, nullptr, 0, 0, 0, false},
  };
  size_t live = KpEngineObjectCount(KP_ENGINE_PALETTES);
  for (const auto& c : cases) {
    HPALETTE p = EngCreatePalette(c.mode, c.count, c.colors, c.r, c.g, c.b);
    EXPECT_EQ(p != nullptr, c.made) << c.mode;
    if (p) {
      EXPECT_TRUE(EngDeletePalette(p));
      EXPECT_FALSE(EngDeletePalette(p));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
  }
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), live);
}

class EnginePrinter : public RootedTest {
 protected:
  void SetUp() override {
    KP_ENGINE_PRINTER_INFO info{u"Scriva K350", u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrelkm.dll",
                                u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrel.ddd"};
    printer_ = KpEngineCreatePrinter(&info);
    ASSERT_NE(printer_, nullptr);
  }
  void TearDown() override { EXPECT_TRUE(KpEngineDeletePrinter(printer_)); }

  std::string output() {
    std::string bytes(KpEngineGetOutput(printer_, nullptr, 0), '\0');
    KpEngineGetOutput(printer_, bytes.data(), bytes.size());
    return bytes;
  }

  HANDLE printer_ = nullptr;
};

TEST_F(EnginePrinter, DeviceSurfacesCarryTheirDevicesPdev) {
  HDEV hdev = KpEngineCreateDevice(printer_);
  ASSERT_NE(hdev, nullptr);
  int pdev = 0;
  HSURF s = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(&pdev), SIZEL{4760, 6812}, BMF_24BPP);
  ASSERT_NE(s, nullptr);
  KP_ENGINE_SURFACE_INFO info{};
  ASSERT_TRUE(KpEngineQuerySurface(s, &info));
  EXPECT_EQ(info.hdev, nullptr);
  EXPECT_FALSE(EngAssociateSurface(s, reinterpret_cast<HDEV>(printer_), 0x4EB));  // a printer is no device
  EXPECT_TRUE(EngAssociateSurface(s, hdev, 0x4EB));
  ASSERT_TRUE(KpEngineQuerySurface(s, &info));
  EXPECT_EQ(info.hdev, hdev);
  EXPECT_EQ(info.hooks, 0x4EBu);
  EXPECT_EQ(info.size.cx, 4760);
  EXPECT_EQ(info.format, static_cast<ULONG>(BMF_24BPP));
  EXPECT_TRUE(EngDeleteSurface(s));
  EXPECT_FALSE(EngDeleteSurface(s));
  EXPECT_FALSE(EngAssociateSurface(s, hdev, 0));

  for (SIZEL bad : {SIZEL{0, 10}, SIZEL{10, -1}}) {
    EXPECT_EQ(EngCreateDeviceSurface(nullptr, bad, BMF_24BPP), nullptr);
  }
  EXPECT_EQ(EngCreateDeviceSurface(nullptr, SIZEL{1, 1}, 0), nullptr);
  EXPECT_EQ(EngCreateDeviceSurface(nullptr, SIZEL{1, 1}, 9), nullptr);
  EXPECT_TRUE(KpEngineDeleteDevice(hdev));
}

// ---- Printer contexts --------------------------------------------------------------

TEST_F(EnginePrinter, WritesAreRecordedAndFaultsCutOrFail) {
  DWORD written = 0;
  ASSERT_TRUE(EngWritePrinter(printer_, const_cast<char*>("abcd"), 4, &written));
  EXPECT_EQ(written, 4u);
  // From the next call: the 2nd and 3rd keep at most 2 bytes; the 2nd
  // succeeds short, so does the 3rd (error 0).
  ASSERT_TRUE(KpEngineSetWriteFault(printer_, 2, 2, 2, 0));
  EXPECT_TRUE(EngWritePrinter(printer_, const_cast<char*>("efgh"), 4, &written));
  EXPECT_EQ(written, 4u);
  EXPECT_TRUE(EngWritePrinter(printer_, const_cast<char*>("ijkl"), 4, &written));
  EXPECT_EQ(written, 2u);
  EXPECT_TRUE(EngWritePrinter(printer_, const_cast<char*>("mnop"), 4, &written));
  EXPECT_EQ(written, 2u);
  EXPECT_TRUE(EngWritePrinter(printer_, const_cast<char*>("qr"), 2, &written));
  EXPECT_EQ(written, 2u);
  // A failing call keeps its partial bytes and reports them.
  ASSERT_TRUE(KpEngineSetWriteFault(printer_, 1, 1, 1, ERROR_WRITE_FAULT));
  EXPECT_FALSE(EngWritePrinter(printer_, const_cast<char*>("st"), 2, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_EQ(written, 1u);
  EXPECT_TRUE(EngWritePrinter(printer_, const_cast<char*>("u"), 1, nullptr));
  EXPECT_TRUE(EngWritePrinter(printer_, nullptr, 0, &written));

  EXPECT_EQ(output(), "abcdefghijmnqrsu");
  EXPECT_EQ(KpEngineWriteCount(printer_), 8u);
  std::vector<DWORD> sizes;
  for (DWORD i = 0; i < KpEngineWriteCount(printer_); ++i) sizes.push_back(KpEngineWriteSize(printer_, i));
  EXPECT_EQ(sizes, (std::vector<DWORD>{4, 4, 4, 4, 2, 2, 1, 0}));

  EXPECT_FALSE(EngWritePrinter(printer_, nullptr, 3, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  int notAPrinter = 0;
  EXPECT_FALSE(EngWritePrinter(&notAPrinter, const_cast<char*>("x"), 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(written, 0u);
}

TEST_F(EnginePrinter, PrinterDataAnswersAsTheSpoolerDoes) {
  const BYTE record[6] = {1, 2, 3, 4, 5, 6};
  DWORD needed = 0;
  BYTE buffer[8];
  // The spooler does not know the printer yet: its error.
  EXPECT_EQ(EngGetPrinterData(printer_, const_cast<WCHAR*>(u"PrinterData1"), nullptr, buffer, 8, &needed),
            static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  // The values are the spooler's printer data of the context's printer.
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Scriva K350", u"Kestrel", u"kestrel.ddd", u"kestrelui.dll", u"kestrelkm.dll"));
  HANDLE spooler = nullptr;
  std::u16string name = u"Scriva K350";
  ASSERT_TRUE(OpenPrinterW(name.data(), &spooler, nullptr));
  auto put = [&](const char16_t* value, DWORD type, const void* data, DWORD size) {
    std::u16string n = value;
    return SetPrinterDataW(spooler, n.data(), type, static_cast<LPBYTE>(const_cast<void*>(data)), size);
  };
  ASSERT_EQ(put(u"PrinterDataSize", 4, "\x06\0\0\0", 4), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(put(u"PrinterData1", 3, record, sizeof record), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(put(u"Empty", 3, record, 0), static_cast<DWORD>(ERROR_SUCCESS));

  struct Case {
    const char16_t* name;
    DWORD bufferSize;
    DWORD result, needed;
  } cases[] = {
      {u"PrinterData1", 6, ERROR_SUCCESS, 6},      {u"PRINTERDATA1", 16, ERROR_SUCCESS, 6},
      {u"PrinterData1", 5, ERROR_MORE_DATA, 6},    {u"PrinterData2", 16, ERROR_FILE_NOT_FOUND, 0},
      {u"Empty", 0, ERROR_SUCCESS, 0},
  };
  for (const auto& c : cases) {
    BYTE buffer[16] = {};
    DWORD type = 0, needed = 0;
    DWORD r = EngGetPrinterData(printer_, const_cast<WCHAR*>(c.name), &type, buffer, c.bufferSize, &needed);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(needed, c.needed);
    if (r == ERROR_SUCCESS && c.needed == 6) {
      EXPECT_EQ(type, 3u);
      EXPECT_EQ(std::memcmp(buffer, record, 6), 0);
    }
  }
  EXPECT_EQ(EngGetPrinterData(printer_, nullptr, nullptr, buffer, 8, &needed), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(EngGetPrinterData(printer_, const_cast<WCHAR*>(u"Empty"), nullptr, buffer, 8, nullptr),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(KpEngineFailPrinterData(printer_, ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(EngGetPrinterData(printer_, const_cast<WCHAR*>(u"PrinterData1"), nullptr, buffer, 8, &needed),
            static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  ASSERT_TRUE(KpEngineFailPrinterData(printer_, 0));
  EXPECT_EQ(EngGetPrinterData(printer_, const_cast<WCHAR*>(u"PrinterData1"), nullptr, buffer, 8, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  ClosePrinter(spooler);
  KpSpoolerReset();
}

TEST_F(EnginePrinter, NamesComeFromTheDevicesPrinter) {
  HDEV hdev = KpEngineCreateDevice(printer_);
  ASSERT_NE(hdev, nullptr);
  ASSERT_NE(EngGetDriverName(hdev), nullptr);
  EXPECT_EQ(std::u16string(EngGetDriverName(hdev)), u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrelkm.dll");
  EXPECT_EQ(std::u16string(EngGetPrinterDataFileName(hdev)),
            u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrel.ddd");
  EXPECT_EQ(std::u16string(EngGetPrinterDataFileName(reinterpret_cast<HDEV>(printer_))),
            u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrel.ddd");

  KP_ENGINE_PRINTER_INFO bare{u"Bare", nullptr, nullptr};
  HANDLE other = KpEngineCreatePrinter(&bare);
  HDEV otherDev = KpEngineCreateDevice(other);
  EXPECT_EQ(EngGetDriverName(otherDev), nullptr);
  EXPECT_EQ(EngGetPrinterDataFileName(otherDev), nullptr);
  EXPECT_TRUE(KpEngineDeletePrinter(other));
  EXPECT_EQ(EngGetDriverName(otherDev), nullptr);  // its printer is gone
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(KpEngineDeleteDevice(otherDev));
  EXPECT_TRUE(KpEngineDeleteDevice(hdev));
  EXPECT_FALSE(KpEngineDeleteDevice(hdev));

  KP_ENGINE_PRINTER_INFO unnamed{u"", nullptr, nullptr};
  EXPECT_EQ(KpEngineCreatePrinter(&unnamed), nullptr);
  EXPECT_EQ(KpEngineCreatePrinter(nullptr), nullptr);
}

TEST_F(EnginePrinter, FormsComeFromTheSpoolersDatabase) {
  DWORD needed = 0, returned = 0;
  // The spooler does not know the printer yet.
  EXPECT_FALSE(EngEnumForms(printer_, 1, nullptr, 0, &needed, &returned));
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Scriva K350", u"Kestrel", u"kestrel.ddd", u"kestrelui.dll", u"kestrelkm.dll"));
  EXPECT_FALSE(EngEnumForms(printer_, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EngEnumForms(printer_, 1, buffer.data(), needed, &needed, &returned));
  ASSERT_GE(returned, 118u);
  auto* forms = reinterpret_cast<FORM_INFO_1W*>(buffer.data());
  EXPECT_EQ(std::u16string(forms[0].pName), u"Letter");
  EXPECT_EQ(std::u16string(forms[8].pName), u"A4");
  EXPECT_EQ(forms[8].Size.cx, 210000);
  int notAPrinter = 0;
  EXPECT_FALSE(EngEnumForms(&notAPrinter, 1, buffer.data(), needed, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  KpSpoolerReset();
}

}  // namespace
