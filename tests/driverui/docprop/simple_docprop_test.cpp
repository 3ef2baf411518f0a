// SimpleDocumentProperties (the devmode query and merge without a sheet) and
// its output rule, the print-queue check's formatter DQPsprintf and the
// temporary settings file's name.
#include "docprop_fixture.h"
#include "kplatform/kernel32_file.h"

namespace kestrel::test::ui {
namespace {

using SimpleDocPropTest = DocPropTest;

constexpr BYTE kUntouched = 0xCC;

struct ModeCase {
  const char* what;
  DWORD fMode;
  int input;  // 0 none, 1 ours (copies 3), 2 foreign (copies 5), 3 bare 220 bytes with DDM 5 = 0 (copies 6)
  LONG result;
  DWORD copied;   // bytes written to the output (0: untouched)
  LONG copies;    // DDM 12 of the output
};

TEST_F(SimpleDocPropTest, ModesAndInputsAsATable) {
  const ModeCase cases[] = {
      {"fMode 0 touches nothing", 0, 1, 1556, 0, 0},
      {"neither update nor copy", DM_PROMPT, 1, 1, 0, 0},
      {"copy without input: the defaults", DM_COPY, 0, 1, 1556, 1},
      {"copy, our own devmode merged", DM_COPY, 1, 1, 1556, 3},
      {"update, our own devmode merged", DM_UPDATE, 1, 1, 1556, 3},
      {"copy, a foreign devmode's standard part merged", DM_COPY, 2, 1, 1556, 5},
      {"copy, a bare standard devmode gets the standard part back", DM_COPY, 3, 1, 220, 6},
      {"user default: the input is ignored", DM_COPY | DM_USER_DEFAULT, 1, 1, 1556, 1},
  };
  std::vector<BYTE> ours = OurDevmode();
  SetNumber(DDM_COPIES, ours.data(), 3);
  std::vector<BYTE> foreign(220 + 100, 0);
  std::memcpy(foreign.data(), ours.data(), 220);
  kp_StoreU16(&foreign[70], 100);  // dmDriverExtra: another driver's
  SetNumber(DDM_COPIES, foreign.data(), 5);
  std::vector<BYTE> bare(ours.begin(), ours.begin() + 220);
  kp_StoreU16(&bare[70], 0);
  SetNumber(DDM_COPIES, bare.data(), 6);

  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.what);
    void* input = c.input == 1 ? ours.data() : c.input == 2 ? foreign.data() : c.input == 3 ? bare.data() : nullptr;
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, kUntouched);
    auto h = Header(out.data(), input, c.fMode);
    EXPECT_EQ(SimpleDocumentProperties(&h), c.result);
    EXPECT_EQ(h.cbOut, 1556u);
    if (c.copied == 0) {
      EXPECT_EQ(std::count(out.begin(), out.end(), kUntouched), 1556);
      continue;
    }
    EXPECT_EQ(kp_LoadU16(&out[68]), 220);
    EXPECT_EQ(Number(DDM_COPIES, out.data()), c.copies);
    if (c.copied == 1556) {
      EXPECT_TRUE(wNTc_IsDevmodeOurs(out.data()));
      EXPECT_EQ(kp_LoadU16(&out[70]), 1336);
    } else {
      EXPECT_EQ(kp_LoadU16(&out[70]), 0);
      EXPECT_EQ(std::count(out.begin() + 220, out.end(), kUntouched), 1556 - 220);
    }
  }
  // No output devmode: the size.
  auto h = Header(nullptr, nullptr, DM_COPY);
  EXPECT_EQ(SimpleDocumentProperties(&h), 1556);
  EXPECT_TRUE(kui_RegistryCheckDone());
}

TEST_F(SimpleDocPropTest, OutputBlocksSmallerThanTheDevmodeTakeTheStandardPartWhen1341IsSet) {
  std::vector<BYTE> ours = OurDevmode();
  SetNumber(DDM_OUTPUT_BLOCK_CHECK, ours.data(), 1);
  SetNumber(DDM_COPIES, ours.data(), 4);
  struct {
    SIZE_T bytes;
    LONG result;
    DWORD copied;
  } const cases[] = {{100, -1, 0}, {220, 1, 220}, {1555, 1, 220}, {1556, 1, 1556}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    // Exactly the size: a copy past its end shows under the address sanitizer.
    auto* out = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, c.bytes));
    ASSERT_NE(out, nullptr);
    std::memset(out, kUntouched, c.bytes);
    auto h = Header(out, ours.data(), DM_COPY);
    EXPECT_EQ(SimpleDocumentProperties(&h), c.result);
    if (c.copied) {
      EXPECT_EQ(Number(DDM_COPIES, out), 4);
      EXPECT_EQ(kp_LoadU16(out + 70), c.copied == 1556 ? 1336 : 0);
    } else {
      EXPECT_EQ(out[0], kUntouched);
    }
    GlobalFree(out);
  }
  // Without 1341 the block's size is not asked: the whole devmode.
  SetNumber(DDM_OUTPUT_BLOCK_CHECK, ours.data(), 0);
  std::vector<BYTE> out(1556);
  auto h = Header(out.data(), ours.data(), DM_COPY);
  EXPECT_EQ(SimpleDocumentProperties(&h), 1);
  EXPECT_EQ(kp_LoadU16(&out[70]), 1336);
}

TEST_F(SimpleDocPropTest, EveryBlockIsFreedOnEveryRoad) {
  std::vector<BYTE> ours = OurDevmode();
  size_t before = LiveBlocks();
  std::vector<BYTE> out(1556);
  for (DWORD mode : {0u, DWORD(DM_PROMPT), DWORD(DM_COPY), DWORD(DM_COPY | DM_USER_DEFAULT)}) {
    auto h = Header(out.data(), ours.data(), mode);
    SimpleDocumentProperties(&h);
    EXPECT_EQ(LiveBlocks(), before) << mode;
  }
  // A printer handle the description cannot be opened for: -1, nothing left.
  auto h = Header(out.data(), ours.data(), DM_COPY);
  h.hPrinter = reinterpret_cast<HANDLE>(0x1234);
  EXPECT_EQ(SimpleDocumentProperties(&h), -1);
  EXPECT_EQ(LiveBlocks(), before);
  for (DWORD n = 1; n < 200; ++n) {
    KpFailAllocation(n);
    h = Header(out.data(), ours.data(), DM_COPY);
    LONG r = SimpleDocumentProperties(&h);
    KpFailAllocation(0);
    EXPECT_TRUE(r == 1 || r == -1);
    EXPECT_EQ(LiveBlocks(), before) << "allocation " << n;
  }
}

TEST(DQPsprintfTest, DirectivesAsATable) {
  struct {
    const char16_t* format;
    const char16_t* expected;
  } const cases[] = {
      {u"plain", u"plain"},          {u"%s!", u"text!"},   {u"[%c]", u"[Z]"},
      {u"%X %x", u"BEEF beef"},      {u"%u", u"4294967295"}, {u"%d", u"-42"},
      {u"100%% %q", u"100% q"},      {u"end%", u"end"},
  };
  for (const auto& c : cases) {
    WCHAR buffer[64];
    DWORD needed = 0;
    int n = 0;
    std::u16string format = c.format;
    if (format.find(u"%s") != std::u16string::npos)
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format, u"text");
    else if (format.find(u"%c") != std::u16string::npos)
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format, u'Z');
    else if (format.find(u"%X") != std::u16string::npos)
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format, 0xBEEFu, 0xBEEFu);
    else if (format.find(u"%u") != std::u16string::npos)
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format, 0xFFFFFFFFu);
    else if (format.find(u"%d") != std::u16string::npos)
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format, -42);
    else
      n = DQPsprintf(nullptr, buffer, 64, &needed, c.format);
    EXPECT_EQ(std::u16string(buffer), c.expected);
    EXPECT_EQ(n, static_cast<int>(std::u16string(c.expected).size()));
    EXPECT_EQ(needed, std::u16string(c.expected).size() + 1);
  }
}

TEST(DQPsprintfTest, OutputStopsAtTheBufferAndCountsOnWithANeededPointer) {
  WCHAR buffer[10];
  DWORD needed = 0;
  EXPECT_EQ(DQPsprintf(nullptr, buffer, 10, &needed, u"Invalid DEVMODE structure."), 9);
  EXPECT_EQ(std::u16string(buffer), u"Invalid D");
  EXPECT_EQ(needed, 27u);
  // Without the pointer the formatting stops at the end.
  EXPECT_EQ(DQPsprintf(nullptr, buffer, 4, nullptr, u"%s", u"abcdef"), 3);
  EXPECT_EQ(std::u16string(buffer), u"abc");
  // A null buffer only counts; a size of 0 writes nothing at all.
  EXPECT_EQ(DQPsprintf(nullptr, nullptr, 10, &needed, u"abc"), 0);
  EXPECT_EQ(needed, 4u);
  buffer[0] = u'#';
  EXPECT_EQ(DQPsprintf(nullptr, buffer, 0, &needed, u"abc"), 0);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(needed, 4u);
}

TEST_F(SimpleDocPropTest, DQPsprintfInsertsResourceStrings) {
  WCHAR expected[300] = {};
  HINSTANCE strings = resource_get_hInstance();  // the resource module
  ASSERT_GT(LoadStringW(strings, 265, expected, 300), 0);
  WCHAR buffer[300];
  DQPsprintf(strings, buffer, 300, nullptr, u"<%!>", 265u);
  EXPECT_EQ(std::u16string(buffer), u"<" + std::u16string(expected) + u">");
}

TEST_F(SimpleDocPropTest, MakeTempFileNameMakesANewFileOrFails) {
  WCHAR a[MAX_PATH], b[MAX_PATH];
  ASSERT_TRUE(MakeTempFileName(a, 2));
  ASSERT_TRUE(MakeTempFileName(b, 4));
  EXPECT_NE(std::u16string(a), std::u16string(b));
  EXPECT_EQ(std::u16string(a).rfind(u"C:\\Windows\\Temp\\ZNF", 0), 0u);
  EXPECT_NE(GetFileAttributesW(a), INVALID_FILE_ATTRIBUTES);
  // No temporary folder to make a file in: failure, no shared fixed name.
  DeleteFileW(a);
  DeleteFileW(b);
  ASSERT_TRUE(RemoveDirectoryW(u"C:\\Windows\\Temp"));
  EXPECT_FALSE(MakeTempFileName(a, 2));
  EXPECT_EQ(a[0], 0);
}

}  // namespace
}  // namespace kestrel::test::ui
