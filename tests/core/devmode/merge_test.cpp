// Merging an application's devmode: what is taken from bare, foreign and own
// sources, the member checks, the paper search, the pre-configuration last,
// and the work on copies (sources read only as far as they declare, the
// application's buffer never written, the destination unchanged on failure).
// Sources live in heap blocks of exactly their declared size, so a read past
// them shows under AddressSanitizer.
#include <kplatform/winspool_monitor.h>

#include <memory>

#include "defaults_fixture.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/dme.h"

namespace kestrel::test::defaults {
namespace {

constexpr DWORD kOrientation = 0x1, kPaperSize = 0x2, kPaperLength = 0x4, kPaperWidth = 0x8, kScale = 0x10,
                kCopies = 0x100, kDuplex = 0x1000, kMedia = 0x8000000, kFormName = 0x10000, kQuality = 0x400,
                kYRes = 0x2000;

// A source devmode in a heap block of exactly `bytes` bytes.
struct Source {
  explicit Source(const BYTE* from, size_t bytes) : data(new BYTE[bytes]), size(bytes) {
    std::memcpy(data.get(), from, bytes);
  }
  void U16(size_t off, WORD v) { std::memcpy(data.get() + off, &v, 2); }
  void U32(size_t off, DWORD v) { std::memcpy(data.get() + off, &v, 4); }
  std::vector<BYTE> Bytes() const { return std::vector<BYTE>(data.get(), data.get() + size); }
  std::unique_ptr<BYTE[]> data;
  size_t size;
};

// A bare standard devmode: dmSize as given, no driver extra.
Source Bare(WORD dmSize, DWORD fields) {
  std::vector<BYTE> b(220);
  std::memcpy(b.data(), u"App Printer", 24);
  std::memcpy(&b[68], &dmSize, 2);
  std::memcpy(&b[72], &fields, 4);
  return Source(b.data(), dmSize);
}

class Merge : public DefaultsTest {
 protected:
  void SetUp() override {
    DefaultsTest::SetUp();
    h_ = OpenModel("K350");  // maximum copies 9999
    ASSERT_NE(nullptr, h_);
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h_, base_.dm.data(), base_.pd.data(), u"P"));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    KpSpoolerReset();
    DefaultsTest::TearDown();
  }
  HANDLE Printer() {
    if (!printer_) {
      EXPECT_TRUE(KpSpoolerAddPrinter(u"Front Desk", u"Kestrel", u"K350.DDD", u"kestrelui.dll", u"kestrelkm.dll"));
      EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Front Desk"), &printer_, nullptr));
    }
    return printer_;
  }
  // The driver's own devmode as applications keep it (1556 bytes).
  Source Own(const Records& r) const { return Source(r.dm.data(), NRV_DEVMODE_SIZE_KIND1); }
  static void Set(Records& r, WORD id, ULONG_PTR v) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR old = 0;
    ASSERT_EQ(0, ddm_GetValue(id, r.dm.data(), r.pd.data(), &type, &size, &old)) << id;
    ASSERT_EQ(0, ddm_SetValue(id, r.dm.data(), r.pd.data(), type, size, &v)) << id;
  }
  // The model opened with devmode emulation from the "[DME,1]" section
  // `dmeLines` of its configuration file, and its defaults with emulation
  // switched on (member 5201) in `base`. Null (the test failed) when the
  // emulation does not come up.
  HCDDD OpenEmulating(const char* model, const std::string& dmeLines, Records* base) {
    WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0\r\n");
    WriteDriverFile(std::string(model) + ".cfg", "[DME,1]\r\n" + dmeLines);
    PreConfig_InstallAttachOps();
    HCDDD h = OpenModel(model);
    if (!h || !h->dme || !dme_IsEnableDME(h->dme) ||
        cdm_SetDefaultDevmode(h, base->dm.data(), base->pd.data(), u"P") != 1) {
      ADD_FAILURE() << "no emulation for " << model;
      return nullptr;
    }
    Set(*base, 5201, 1);
    return h;
  }
  HCDDD h_ = nullptr;
  HANDLE printer_ = nullptr;
  Records base_;
};

TEST_F(Merge, BareSourceOfExactly220BytesKeepsThePrivatePart) {
  Records r = base_;
  Set(r, 320, 3);  // a private member the source cannot carry
  Source s = Bare(220, kOrientation | kCopies | kDuplex);
  s.U16(76, 2);  // landscape
  s.U16(86, 7);  // copies
  s.U16(94, 2);  // long-edge duplex
  const std::vector<BYTE> sourceBefore = s.Bytes();
  ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK));
  EXPECT_EQ(2, r.U16(76));
  EXPECT_EQ(7, r.U16(86));
  EXPECT_EQ(2, r.U16(94));
  EXPECT_EQ(kOrientation | kCopies | kDuplex, r.U32(72) & (kOrientation | kCopies | kDuplex));
  Records expect = base_;
  Set(expect, 320, 3);
  EXPECT_EQ(MemberBytes(expect, 320), MemberBytes(r, 320));  // ours, not zeroed by the source
  EXPECT_EQ(sourceBefore, s.Bytes());
}

TEST_F(Merge, FieldsPastTheSourcesSizeAreNotRead) {
  // A 156-byte devmode (no ICM members) naming the media type and copies:
  // the media type lies past its end and is left out.
  Records r = base_;
  Source s = Bare(156, kCopies | kMedia);
  s.U16(86, 4);
  ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
  EXPECT_EQ(4, r.U16(86));
  EXPECT_EQ(base_.U32(196), r.U32(196));
  // Too short to hold dmFields: refused, nothing changes.
  for (WORD size : {WORD(70), WORD(75)}) {
    Records t = base_;
    Source tiny = Bare(size, 0);
    EXPECT_EQ(0, cdm_ModifyDevmode(h_, t.dm.data(), tiny.data.get(), t.pd.data(), nullptr, CDM_OP_CHECK)) << size;
    EXPECT_EQ(base_.dm, t.dm);
  }
}

TEST_F(Merge, NoSourceChangesNothingAndMissingRecordsFail) {
  Records r = base_;
  EXPECT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), nullptr, r.pd.data(), nullptr, CDM_OP_CHECK));
  EXPECT_EQ(base_.dm, r.dm);
  Source s = Bare(220, kCopies);
  EXPECT_EQ(0, cdm_ModifyDevmode(h_, nullptr, s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK));
  EXPECT_EQ(0, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), nullptr, nullptr, CDM_OP_CHECK));
}

TEST_F(Merge, CopiesFollowTheOperation) {
  struct Case {
    WORD copies;
    WORD operation;
    WORD expected;  // 0: the destination keeps its own
  };
  const Case cases[] = {
      {5, CDM_OP_CHECK, 5},     {9999, CDM_OP_CHECK, 9999},   {10000, CDM_OP_CHECK, 0},
      {10000, CDM_OP_ALLOWED, 10000}, {0, CDM_OP_ALLOWED, 0},
  };
  for (const Case& c : cases) {
    Records r = base_;
    Source s = Bare(220, kCopies);
    s.U16(86, c.copies);
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, c.operation));
    EXPECT_EQ(c.expected ? c.expected : base_.U16(86), r.U16(86)) << c.copies << " op " << c.operation;
  }
}

TEST_F(Merge, ScaleOfOurOwnDevmodeCountsOnlyWithItsFlag) {
  struct Case {
    bool own;
    ULONG_PTR flag;
    bool taken;
  };
  for (const Case& c : {Case{true, 0, false}, Case{true, 1, true}, Case{false, 0, true}}) {
    Records src = base_;
    Set(src, 1324, c.flag);
    src.PutU16(84, 50);
    src.PutU32(72, src.U32(72) | kScale);
    Records r = base_;
    const WORD before = r.U16(84);
    ASSERT_NE(50, before);
    Source s = c.own ? Own(src) : Source(src.dm.data(), 220);
    if (!c.own) s.U16(70, 0);
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
    EXPECT_EQ(c.taken ? 50 : before, r.U16(84)) << "own " << c.own << " flag " << c.flag;
  }
}

TEST_F(Merge, PrivatePartOnlyFromOurOwnCompleteDevmode) {
  Records src = base_;
  Set(src, 320, 3);
  {  // ours, whole: the private part is taken
    Records r = base_;
    Source s = Own(src);
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK));
    EXPECT_EQ(MemberBytes(src, 320), MemberBytes(r, 320));
  }
  struct Case {
    const char* what;
    WORD extra;   // dmDriverExtra declared (and allocated)
    bool otherModel;  // another model name at 224
  };
  const Case cases[] = {
      {"short driver extra", 100, false},
      {"another model", NRV_DEVMODE_EXTRA, true},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> bytes(src.dm.begin(), src.dm.begin() + 220 + c.extra);
    Source s(bytes.data(), bytes.size());
    s.U16(70, c.extra);
    if (c.otherModel) std::memcpy(s.data.get() + 224, u"Other Model", 24);
    Records r = base_;
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK)) << c.what;
    EXPECT_EQ(MemberBytes(base_, 320), MemberBytes(r, 320)) << c.what;
  }
}

TEST_F(Merge, AFailedMergeLeavesTheDestinationUnchanged) {
  Records src = base_;
  Set(src, 320, 3);
  src.PutU16(86, 12);
  Source s = Own(src);
  // No allowed fields on an unknown platform: the merge fails after the
  // private part was taken into its work copy.
  KpSetVersion(3, 51, 0, VER_PLATFORM_WIN32_NT);
  Records r = base_;
  EXPECT_EQ(0, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK));
  EXPECT_EQ(base_.dm, r.dm);
  EXPECT_EQ(base_.pd, r.pd);
}

TEST_F(Merge, PaperIsFoundBySizeOrBecomesCustom) {
  WORD minW = 0, minL = 0, maxW = 0, maxL = 0;
  ASSERT_EQ(1, cdmGetPaperSize(h_, CDM_CUSTOM_PAPER_DATA_ID, &minW, &minL, &maxW, &maxL));
  ASSERT_TRUE(minW <= 2100 && 2100 <= maxW && minL <= 2970 && 2970 <= maxL);
  struct Case {
    const char* what;
    bool forms;  // a printer with the forms database
    WORD width, length;
    WORD paper;  // 0: the destination keeps its paper
  };
  // Paper 256 with its size while custom sizes of the device are off: the
  // size is looked up among the forms.
  const Case cases[] = {
      {"A4 size unknown to the forms", false, 2100, 2970, 256},
      {"A4 size in the forms database", true, 2100, 2970, 9},
      {"Letter size in the forms database", true, 2159, 2794, 1},
      {"outside every form and the range", false, 5000, 5000, 0},
  };
  for (const Case& c : cases) {
    Records r = base_;
    Source s = Bare(220, kPaperSize);
    s.U16(78, 256);
    s.U16(80, c.length);
    s.U16(82, c.width);
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), c.forms ? Printer() : nullptr,
                                   CDM_OP_CHECK))
        << c.what;
    if (!c.paper) {
      EXPECT_EQ(base_.U16(78), r.U16(78)) << c.what;
      EXPECT_EQ(base_.U16(80), r.U16(80)) << c.what;
      continue;
    }
    EXPECT_EQ(c.paper, r.U16(78)) << c.what;
    EXPECT_EQ(c.width, r.U16(82)) << c.what;
    EXPECT_EQ(c.length, r.U16(80)) << c.what;
    if (c.paper == 256) {
      EXPECT_EQ(kPaperLength | kPaperWidth, r.U32(72) & (kPaperLength | kPaperWidth | kFormName)) << c.what;
    }
  }
}

TEST_F(Merge, PaperByIdAndByName) {
  struct Case {
    const char* what;
    DWORD fields;
    WORD id;
    const char16_t* name;
    WORD paper;
  };
  const Case cases[] = {
      {"id of A3", kPaperSize, 8, u"", 8},
      {"name Letter", kFormName, 0, u"Letter", 1},
      {"name unknown, id A5", kFormName | kPaperSize, 11, u"No Such Form", 11},
  };
  for (const Case& c : cases) {
    Records r = base_;
    Source s = Bare(220, c.fields);
    s.U16(78, c.id);
    std::memcpy(s.data.get() + 102, c.name, (std::char_traits<char16_t>::length(c.name) + 1) * 2);
    ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), Printer(), CDM_OP_CHECK)) << c.what;
    EXPECT_EQ(c.paper, r.U16(78)) << c.what;
  }
}

TEST_F(Merge, CustomPaperWithBothSizesGoesThroughUnsearched) {
  Records r = base_;
  Set(r, 5200, 1);  // custom paper sizes of the device enabled
  Source s = Bare(220, kPaperSize | kPaperLength | kPaperWidth);
  s.U16(78, 256);
  s.U16(80, 6000);  // outside every range: only an unsearched copy keeps it
  s.U16(82, 1234);
  ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_CHECK));
  EXPECT_EQ(256, r.U16(78));
  EXPECT_EQ(6000, r.U16(80));
  EXPECT_EQ(1234, r.U16(82));
}

TEST_F(Merge, PrintQualityWithOperation16SetsBothResolutions) {
  Records r = base_;
  Source s = Bare(220, kQuality | kYRes);
  s.U16(90, 600);
  s.U16(96, 300);
  ASSERT_EQ(1, cdm_ModifyDevmode(h_, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
  EXPECT_EQ(600, r.U16(90));
  EXPECT_EQ(600, r.U16(96));
  EXPECT_EQ(kQuality | kYRes, r.U32(72) & (kQuality | kYRes));
}

TEST_F(Merge, EnforcedPreConfigurationWins) {
  WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0\r\n");
  WriteDriverFile("K350.cfg", "[Scriva_K350]\r\nduplex.enforced=2\r\n");
  PreConfig_InstallAttachOps();
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  ASSERT_NE(nullptr, h->preConfig);
  Records base;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, base.dm.data(), base.pd.data(), u"P"));
  const WORD enforced = base.U16(94);
  for (WORD asked : {WORD(1), WORD(2), WORD(3)}) {
    if (asked == enforced) continue;
    Records r = base;
    Source s = Bare(220, kDuplex | kCopies);
    s.U16(94, asked);
    s.U16(86, 3);
    ASSERT_EQ(1, cdm_ModifyDevmode(h, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
    EXPECT_EQ(enforced, r.U16(94)) << asked;
    EXPECT_EQ(3, r.U16(86));  // what is not enforced is merged
  }
}

TEST_F(Merge, EmulationConvertsACopyOfTheSource) {
  Records base;
  HCDDD h = OpenEmulating("K350", "bin.TRAY1=14\r\n", &base);
  ASSERT_NE(nullptr, h);
  Source s = Bare(220, 0x200);
  s.U16(88, 14);
  const std::vector<BYTE> sourceBefore = s.Bytes();
  Records r = base;
  ASSERT_EQ(1, cdm_ModifyDevmodeWithDME(h, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
  EXPECT_EQ(1, r.U16(88));  // the application's 14 is the driver's tray 1
  EXPECT_EQ(sourceBefore, s.Bytes());
  // Member 5201 off: no emulation, 14 is checked as it is.
  Records plain = base;
  Set(plain, 5201, 0);
  ASSERT_EQ(1, cdm_ModifyDevmodeWithDME(h, plain.dm.data(), s.data.get(), plain.pd.data(), nullptr, CDM_OP_ALLOWED));
  EXPECT_NE(1, plain.U16(88));
}

// Emulation turns an application's dmColor into colour mode 270. On the
// monochrome model its data (printer-data member 5202 = 1) forces colour
// mode 1 back, so a job asking for colour still prints in black and white;
// without that member the merge would leave colour mode 2 and dmColor 2.
TEST_F(Merge, MonochromeModelStaysMonochromeUnderColourEmulation) {
  Records base;
  HCDDD h = OpenEmulating("K260", "color.mode=1\r\n", &base);
  ASSERT_NE(nullptr, h);
  struct Case {
    const char* name;
    ULONG_PTR forced;  // member 5202
    WORD asked;        // the application's dmColor
    WORD color;        // dmColor merged
    WORD mode;         // member 270 merged
  };
  const Case cases[] = {
      {"the model's data", 1, 2, 1, 1},
      {"the model's data, monochrome asked", 1, 1, 1, 1},
      {"without the forcing member", 0, 2, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Records r = base;
    Set(r, 5202, c.forced);
    Source s = Bare(220, 0x800);
    s.U16(92, c.asked);
    ASSERT_EQ(1, cdm_ModifyDevmodeWithDME(h, r.dm.data(), s.data.get(), r.pd.data(), nullptr, CDM_OP_ALLOWED));
    EXPECT_EQ(c.color, r.U16(92));
    EXPECT_EQ(c.mode, r.dm[ddm_FindLayout(270, nullptr, nullptr)->offset]);
  }
}

TEST_F(Merge, ConvertPaperSizeCompletesTheFormName) {
  // SRA3 is the model's paper but no system form: its name comes from the
  // description data and is then found in the database.
  FORM_INFO_1W sra3{FORM_USER, const_cast<LPWSTR>(u"SRA3"), {320000, 450000}, {0, 0, 320000, 450000}};
  ASSERT_TRUE(AddFormW(Printer(), 1, reinterpret_cast<LPBYTE>(&sra3)));
  struct Case {
    WORD paper;
    const char16_t* name;
  };
  for (const Case& c : {Case{9, u"A4"}, Case{8, u"A3"}, Case{261, u"SRA3"}}) {
    Records r = base_;
    r.PutU16(78, c.paper);
    std::memset(&r.dm[102], 0, 64);
    ASSERT_EQ(1, cdmConvertPaperSize_NT(h_, Printer(), r.dm.data(), r.pd.data())) << c.paper;
    EXPECT_EQ(std::u16string(c.name), WideAt(r, 102, 32)) << c.paper;
  }
  // No such paper anywhere, and a name that no form has without a printer.
  for (WORD paper : {WORD(4321), WORD(261)}) {
    Records bad = base_;
    bad.PutU16(78, paper);
    EXPECT_EQ(0, cdmConvertPaperSize_NT(h_, paper == 261 ? nullptr : Printer(), bad.dm.data(), bad.pd.data()))
        << paper;
  }
}

}  // namespace
}  // namespace kestrel::test::defaults
