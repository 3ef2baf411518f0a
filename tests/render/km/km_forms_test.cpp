// Forms and paper of the kernel-mode renderer (kkm_forms): a zero PDEV with a
// default devmode of a model (kernel build of the devmode core), the model's
// description data open in it, and an engine printer context whose spooler
// printer sees the forms database with two user forms added.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/winspool.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_forms.h"
#include "kestrel/core/zanlib.h"
#include "temp_root.h"

namespace {

using kestrel::test::kDriverDirW;
constexpr char16_t kPrinterName[] = u"Kestrel Forms";
constexpr ULONG kPlainTag = static_cast<ULONG>('D') | (static_cast<ULONG>('p') << 8) |
                            (static_cast<ULONG>('s') << 16) | (static_cast<ULONG>('m') << 24);

// User forms: the first user form is index 119 (after the 118 built-ins).
constexpr char16_t kCardName[] = u"Kestrel Card";  // 100 x 150 mm, area 5, 6 to 95, 144 mm
constexpr WORD kCardIndex = 119;
constexpr char16_t kLongName[] = u"Kestrel Very Long Form Name For Testing";  // 39 characters
constexpr WORD kLongIndex = 120;
constexpr char16_t kUserSizeName[] = u"User Defined Size";  // 150 x 200 mm, the name of the models' paper 256

// Lengths the way the renderer converts them (truncating, through micrometres).
LONG Um(LONG micrometres) { return static_cast<LONG>(int64_t{micrometres} * 18432 / 25400); }
LONG Mm10(LONG tenths) { return Um(tenths * 100); }

enum class Model { A, B, Test };

struct Setting {
  WORD id;
  LONG value;
};
using Settings = std::vector<Setting>;

// What a form should hold; record 0 means no paper record.
struct Form {
  std::u16string name;
  LONG width, length, left, top, right, bottom;
  WORD record;
  DWORD landscape, substituted;
};

// A form in 0.1 mm with its margins left, top, right, bottom.
Form Sheet(std::u16string name, LONG w, LONG l, LONG ml, LONG mt, LONG mr, LONG mb, WORD record, DWORD landscape = 0,
           DWORD substituted = 0) {
  return Form{std::move(name), Mm10(w), Mm10(l), Mm10(ml), Mm10(mt), Mm10(w - mr), Mm10(l - mb),
              record, landscape, substituted};
}

class KmForms : public kestrel::test::RootedTest {
 protected:
  void SetUp() override {
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
    pdev_ = std::make_unique<PDEV>();
    pdev_->printerData = pd_.data();
    ASSERT_TRUE(KpSpoolerAddPrinter(kPrinterName, u"Kestrel PCL6", u"K350.DDD", nullptr, nullptr));
    KP_ENGINE_PRINTER_INFO info{kPrinterName, nullptr, nullptr};
    printer_ = KpEngineCreatePrinter(&info);
    ASSERT_NE(printer_, nullptr);
    pdev_->hPrinter = printer_;
    AddForm(kCardName, {100000, 150000}, {5000, 6000, 95000, 144000});
    AddForm(kLongName, {200000, 250000}, {0, 0, 200000, 250000});
    AddForm(kUserSizeName, {150000, 200000}, {0, 0, 150000, 200000});
  }
  void TearDown() override {
    form_FreePaperRecords(pdev_.get());
    CloseModel();
    if (spooler_) ClosePrinter(spooler_);
    if (printer_) KpEngineDeletePrinter(printer_);
    KpEngineFailAllocation(0);
    KpSpoolerFailEnumForms(FALSE);
    resource_finishToUse();
  }

  void CloseModel() {
    form_FreePaperRecords(pdev_.get());
    if (ddd_) cddd_Close(ddd_);
    ddd_ = nullptr;
    pdev_->ddd = nullptr;
  }

  // Installs and opens the model (the test model shares model B's referenced
  // file name, so the pair is installed again at every change) and puts its
  // default devmode into the PDEV.
  void UseModel(Model model) {
    if (!ddd_ || model != model_) {
      CloseModel();
      std::string dir = model == Model::Test ? KFORMS_TEST_MODEL_DIR : KFORMS_MODELS_DIR;
      std::string main = model == Model::A ? "K350.DDD" : model == Model::B ? "K260.DDD" : "KFORMS.DDD";
      std::string referenced = model == Model::A ? "K350RES.DDD" : "K260RES.DDD";
      for (const std::string& f : {main, referenced}) {
        std::u16string name(f.begin(), f.end());
        ASSERT_TRUE(KpInstallModule((dir + "/" + f).c_str(), name.c_str())) << f;
      }
      ddd_ = cddd_OpenFile((std::u16string(kDriverDirW) + std::u16string(main.begin(), main.end())).c_str());
      ASSERT_NE(ddd_, nullptr);
      model_ = model;
    }
    pdev_->ddd = ddd_;
    pdev_->dddMain = ddd_->main;
    pdev_->dddReferenced = ddd_->referenced;
    pdev_->emulationValue = 0;
    ASSERT_TRUE(cdm_SetDefaultDevmode(ddd_, pdev_->devmode, pd_.data(), u"Kestrel"));
  }

  void AddForm(const char16_t* name, SIZEL size, RECTL area) {
    FORM_INFO_1W f{FORM_USER, const_cast<LPWSTR>(name), size, area};
    ASSERT_TRUE(AddFormW(Spooler(), 1, reinterpret_cast<LPBYTE>(&f)));
  }
  HANDLE Spooler() {
    if (!spooler_) {
      std::u16string name = kPrinterName;
      EXPECT_TRUE(OpenPrinterW(name.data(), &spooler_, nullptr));
    }
    return spooler_;
  }

  // Writes a setting in its own type.
  void Put(WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    ASSERT_EQ(ddm_GetValue(id, pdev_->devmode, pd_.data(), &type, &size, &slot), 0) << "DDM " << id;
    ASSERT_EQ(ddm_SetValue(id, pdev_->devmode, pd_.data(), type, size, &value), 0) << "DDM " << id << " = " << value;
  }
  void PutName(const std::u16string& name) {
    ASSERT_EQ(ddm_SetValue(19, pdev_->devmode, pd_.data(), 6, DWORD(2 * (name.size() + 1)), name.c_str()), 0);
  }

  static void ExpectForm(const PRINTERFORM& got, const Form& want, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(std::u16string(got.formName), want.name);
    EXPECT_EQ(got.formName[31], 0);
    EXPECT_EQ(got.paperWidth, want.width);
    EXPECT_EQ(got.paperLength, want.length);
    EXPECT_EQ(got.imageableLeft, want.left);
    EXPECT_EQ(got.imageableTop, want.top);
    EXPECT_EQ(got.imageableRight, want.right);
    EXPECT_EQ(got.imageableBottom, want.bottom);
    EXPECT_EQ(got.paperRecord ? got.paperRecord->head.id : 0, want.record);
    EXPECT_EQ(got.landscape, want.landscape);
    EXPECT_EQ(got.substituted, want.substituted);
  }

  std::unique_ptr<PDEV> pdev_;
  std::vector<BYTE> pd_ = std::vector<BYTE>(4736);
  HCDDD ddd_ = nullptr;
  Model model_ = Model::A;
  HANDLE printer_ = nullptr;
  HANDLE spooler_ = nullptr;
};

// dmFields bits.
constexpr LONG kOrient = 0x1, kSize = 0x2, kLength = 0x4, kWidth = 0x8, kFormName = 0x10000;

struct FormCase {
  const char* what;
  Model model;
  Settings settings;     // dmFields (6) first
  std::u16string name;   // DDM 19, when not empty
  DWORD emulation;
  Form current, output;
};

// Model A: default paper A4 (9), custom paper 262 with margins 42 and an
// imageable size of at most 296.4 x 448.8 mm. Model B's default is A4 too.
TEST_F(KmForms, CurrentAndOutputForms) {
  const Form a4 = Sheet(u"A4", 2100, 2970, 42, 42, 42, 42, 9);
  const Form a4Substituted = Sheet(u"A4", 2100, 2970, 42, 42, 42, 42, 9, 0, 1);
  const Form cardCustom = Sheet(kCardName, 1000, 1500, 42, 42, 42, 42, 0);
  const Form cardFromDatabase{kCardName, Um(100000), Um(150000), Um(5000), Um(6000), Um(95000), Um(144000), 0, 0, 0};
  auto withRecord = [](Form f, WORD record, DWORD substituted) {
    f.record = record;
    f.substituted = substituted;
    return f;
  };
  const FormCase cases[] = {
      {"a form only in the database: its size, the custom paper's margins; paper size 256 keeps it on 262",
       Model::A, {{6, kFormName | kSize}, {8, 256}}, kCardName, 0, cardCustom, withRecord(cardCustom, 262, 0)},
      {"a form only in the database with another paper size: printed on the default paper",
       Model::A, {{6, kFormName | kSize}, {8, 9}}, kCardName, 0, cardCustom, a4Substituted},
      {"a form only in the database under emulation: the database's own imageable area, kept on 262",
       Model::A, {{6, kFormName | kSize}, {8, 9}}, kCardName, 1, cardFromDatabase,
       withRecord(cardFromDatabase, 262, 0)},
      {"a database form named like a custom paper: the custom paper's margins, the record goes to the output",
       Model::A, {{6, kFormName}}, kUserSizeName, 0, Sheet(kUserSizeName, 1500, 2000, 42, 42, 42, 42, 0),
       Sheet(kUserSizeName, 1500, 2000, 42, 42, 42, 42, 256)},
      {"a built-in form by name takes the paper record of its id", Model::A, {{6, kFormName}}, u"A5", 0,
       Sheet(u"A5", 1480, 2100, 42, 42, 42, 42, 11), Sheet(u"A5", 1480, 2100, 42, 42, 42, 42, 11)},
      {"a form name nowhere in the database goes on to the paper size", Model::A,
       {{6, kFormName | kSize}, {8, 11}}, u"Nowhere", 0, Sheet(u"A5", 1480, 2100, 42, 42, 42, 42, 11),
       Sheet(u"A5", 1480, 2100, 42, 42, 42, 42, 11)},
      {"210.3 x 297.4 mm is A4 within 1 mm", Model::A, {{6, kLength | kWidth}, {10, 2103}, {9, 2974}}, u"", 0, a4,
       a4},
      {"211 x 296 mm is A4, 1 mm off both ways", Model::A, {{6, kLength | kWidth}, {10, 2110}, {9, 2960}}, u"", 0,
       a4, a4},
      {"211.1 x 297 mm is more than 1 mm off A4: a custom size on the default paper", Model::A,
       {{6, kLength | kWidth}, {10, 2111}, {9, 2970}}, u"", 0, Sheet(u"", 2111, 2970, 42, 42, 42, 42, 0),
       a4Substituted},
      {"a custom size with paper size 256 is printed on the custom paper", Model::A,
       {{6, kLength | kWidth | kSize}, {8, 256}, {10, 1234}, {9, 1800}}, u"", 0,
       Sheet(u"", 1234, 1800, 42, 42, 42, 42, 0), Sheet(u"", 1234, 1800, 42, 42, 42, 42, 262)},
      {"a custom size under emulation is printed on the custom paper", Model::A,
       {{6, kLength | kWidth}, {10, 1234}, {9, 1800}}, u"", 1, Sheet(u"", 1234, 1800, 42, 42, 42, 42, 0),
       Sheet(u"", 1234, 1800, 42, 42, 42, 42, 262)},
      {"a custom size wider than the imageable maximum is centred", Model::A,
       {{6, kLength | kWidth | kSize}, {8, 256}, {10, 3101}, {9, 4601}}, u"", 0,
       Sheet(u"", 3101, 4601, 69, 57, 68, 56, 0), Sheet(u"", 3101, 4601, 69, 57, 68, 56, 262)},
      {"landscape turns the current form only", Model::A, {{6, kOrient | kSize}, {7, 2}, {8, 9}}, u"", 0,
       Form{u"A4", Mm10(2970), Mm10(2100), Mm10(42), Mm10(2100) - Mm10(2058), Mm10(2928), Mm10(2100) - Mm10(42), 9,
            1, 0},
       a4},
      {"edge-to-edge: the imageable area is the paper", Model::A, {{6, kSize}, {8, 9}, {383, 1}}, u"", 0,
       Sheet(u"A4", 2100, 2970, 0, 0, 0, 0, 9), Sheet(u"A4", 2100, 2970, 0, 0, 0, 0, 9)},
      {"output size A3 puts A4 on A3 from the database", Model::A, {{6, kSize}, {8, 9}, {262, 8}}, u"", 0, a4,
       Sheet(u"A3", 2970, 4200, 42, 42, 42, 42, 8)},
      {"output size of a custom paper falls back to the current form's paper", Model::A,
       {{6, kSize}, {8, 9}, {262, 262}}, u"", 0, a4, a4},
      {"paper size naming a user form of the database", Model::A, {{6, kSize}, {8, kCardIndex}}, u"", 0,
       cardCustom, a4Substituted},
      {"a form name longer than 31 characters is cut", Model::A, {{6, kSize}, {8, kLongIndex}}, u"", 0,
       Sheet(std::u16string(kLongName).substr(0, 31), 2000, 2500, 42, 42, 42, 42, 0), a4Substituted},
      {"no size fields: the default paper", Model::B, {{6, 0}}, u"", 0, a4, a4},
      {"a paper without a printer command, not larger than the default: the default paper keeps the page",
       Model::Test, {{6, kSize}, {8, 400}}, u"", 0, Sheet(u"Odd Small", 1000, 1500, 42, 42, 42, 42, 400),
       Sheet(u"Odd Small", 1000, 1500, 42, 42, 42, 42, 9, 0, 1)},
      {"a paper without a printer command, larger than the default: the default paper itself", Model::Test,
       {{6, kSize}, {8, 401}}, u"", 0, Sheet(u"Odd Large", 3000, 4000, 42, 42, 42, 42, 401), a4Substituted},
      {"a built-in form's id names the paper: the database's name replaces the record's", Model::Test,
       {{6, kLength | kWidth}, {10, 4200}, {9, 5940}}, u"", 0, Sheet(u"A2", 4200, 5940, 50, 60, 70, 80, 66),
       Sheet(u"A2", 4200, 5940, 50, 60, 70, 80, 66)},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.what);
    UseModel(c.model);
    if (HasFatalFailure()) return;
    for (const Setting& s : c.settings) Put(s.id, s.value);
    if (!c.name.empty()) PutName(c.name);
    pdev_->emulationValue = c.emulation;
    size_t before = KpEngineBlockCount(kPlainTag);
    ASSERT_TRUE(SetFormMetrics(pdev_.get()));
    ExpectForm(pdev_->curForm, c.current, "current form");
    ExpectForm(pdev_->outForm, c.output, "output form");
    form_FreePaperRecords(pdev_.get());
    EXPECT_EQ(KpEngineBlockCount(kPlainTag), before) << "paper records or forms blocks left behind";
  }
}

// Sizes no form can be made of: refused, never an inverted area.
TEST_F(KmForms, ImpossibleCustomSizesAreRefused) {
  UseModel(Model::A);
  const std::pair<LONG, LONG> sizes[] = {{0, 2970}, {2100, 0}, {-5, 2970}, {2100, -300}, {80, 2970}, {2100, 84}};
  for (const auto& [width, length] : sizes) {
    SCOPED_TRACE(testing::Message() << width << " x " << length);
    Put(6, kLength | kWidth);
    Put(10, width);
    Put(9, length);
    size_t before = KpEngineBlockCount(kPlainTag);
    EXPECT_FALSE(SetFormMetrics(pdev_.get()));
    EXPECT_EQ(pdev_->curForm.paperRecord, nullptr);
    EXPECT_EQ(pdev_->outForm.paperRecord, nullptr);
    EXPECT_EQ(KpEngineBlockCount(kPlainTag), before);
  }
}

// A forms database that can't be read fails a form name lookup (rule 1 does
// not go on), while a paper size alone still finds its record.
TEST_F(KmForms, SpoolerFailureFailsTheFormNameOnly) {
  UseModel(Model::A);
  Put(6, kFormName | kSize);
  Put(8, 9);
  PutName(u"A4");
  KpSpoolerFailEnumForms(TRUE);
  EXPECT_FALSE(SetFormMetrics(pdev_.get()));
  Put(6, kSize);
  EXPECT_TRUE(SetFormMetrics(pdev_.get()));
  EXPECT_EQ(std::u16string(pdev_->curForm.formName), u"A4");
}

// The engine allocations one run of SetFormMetrics makes (its records freed
// again): the failure counter is set far ahead, and what is left of it after
// the run is found by allocating until the failure comes.
DWORD AllocationsOfOneRun(PDEV* pdev) {
  constexpr DWORD kAhead = 20000;
  KpEngineFailAllocation(kAhead);
  SetFormMetrics(pdev);
  form_FreePaperRecords(pdev);
  for (DWORD probe = 1; probe <= kAhead; ++probe) {
    void* block = EngAllocMem(0, 1, kPlainTag);
    if (!block) return kAhead - probe;
    EngFreeMem(block);
  }
  return 0;
}

// Every allocation of a run failing in turn: the run succeeds or refuses,
// and nothing is left behind either way.
TEST_F(KmForms, AllocationFailuresLeakNothing) {
  struct Case {
    const char* what;
    Model model;
    Settings settings;
    std::u16string name;
  };
  const Case cases[] = {
      {"a database form turned to landscape on the custom paper", Model::A,
       {{6, kFormName | kSize | kOrient}, {7, 2}, {8, 256}}, kCardName},
      {"a size matching A4 put out on A3", Model::A, {{6, kLength | kWidth}, {10, 2103}, {9, 2974}, {262, 8}}, u""},
      {"a paper without a printer command", Model::Test, {{6, kSize}, {8, 400}}, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseModel(c.model);
    for (const Setting& s : c.settings) Put(s.id, s.value);
    if (!c.name.empty()) PutName(c.name);
    ASSERT_TRUE(SetFormMetrics(pdev_.get()));  // warms the reader's string buffers
    form_FreePaperRecords(pdev_.get());
    const size_t before = KpEngineBlockCount(kPlainTag);
    const DWORD allocations = AllocationsOfOneRun(pdev_.get());
    ASSERT_GT(allocations, 0u);
    ASSERT_EQ(KpEngineBlockCount(kPlainTag), before);
    int refused = 0;
    for (DWORD nth = 1; nth <= allocations; ++nth) {
      KpEngineFailAllocation(nth);
      if (!SetFormMetrics(pdev_.get())) ++refused;
      KpEngineFailAllocation(0);
      form_FreePaperRecords(pdev_.get());
      ASSERT_EQ(KpEngineBlockCount(kPlainTag), before) << "allocation " << nth << " of " << allocations;
    }
    EXPECT_GT(refused, 0);
  }
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
}

TEST_F(KmForms, PaperSizeOfTheFormsDatabase) {
  UseModel(Model::A);
  struct Case {
    const char* what;
    HANDLE printer;
    const char16_t* name;
    WORD id;
    bool failSpooler;
    WORD status;
    std::vector<WORD> values;
  };
  const Case cases[] = {
      {"built-in by name", printer_, u"A4", 0, false, FORMS_OK, {2100, 2970, 0, 0, 2100, 2970}},
      {"built-in by index", printer_, nullptr, 9, false, FORMS_OK, {2100, 2970, 0, 0, 2100, 2970}},
      {"user form, the name wins over the index", printer_, kCardName, 9, false, FORMS_OK,
       {1000, 1500, 50, 60, 950, 1440}},
      {"empty name: by index", printer_, u"", kCardIndex, false, FORMS_OK, {1000, 1500, 50, 60, 950, 1440}},
      {"Letter rounds to 0.1 mm", printer_, u"Letter", 0, false, FORMS_OK, {2159, 2794, 0, 0, 2159, 2794}},
      {"unknown name", printer_, u"Nowhere", 0, false, FORMS_NOTFOUND, {}},
      {"index past the end", printer_, nullptr, 5000, false, FORMS_NOTFOUND, {}},
      {"no name and no index", printer_, nullptr, 0, false, FORMS_BADARG, {}},
      {"no printer", nullptr, u"A4", 0, false, FORMS_BADARG, {}},
      {"the spooler fails", printer_, u"A4", 0, true, FORMS_SPOOLER, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KpSpoolerFailEnumForms(c.failSpooler);
    WORD values[6] = {};
    EXPECT_EQ(form_GetPaperSize(c.printer, c.name, c.id, values), c.status);
    if (c.status == FORMS_OK) {
      EXPECT_EQ(std::vector<WORD>(values, values + 6), c.values);
    }
  }
  KpSpoolerFailEnumForms(FALSE);
  EXPECT_EQ(form_GetPaperSize(printer_, u"A4", 0, nullptr), FORMS_BADARG);
}

TEST_F(KmForms, DatabaseFormBlocksCutLongNames) {
  UseModel(Model::A);
  FORM_INFO_1W* form = nullptr;
  ASSERT_EQ(GetDatabaseFormsByID(printer_, kLongIndex, &form), FORMS_OK);
  EXPECT_EQ(std::u16string(form->pName), std::u16string(kLongName).substr(0, 31));
  EXPECT_EQ(reinterpret_cast<BYTE*>(form->pName), reinterpret_cast<BYTE*>(form) + sizeof(FORM_INFO_1W));
  EXPECT_EQ(form->Size.cx, 200000);
  kcore_Free(form);

  WORD id = 0;
  ASSERT_EQ(GetDatabaseFormsByName(printer_, u"A3", &form, &id), FORMS_OK);
  EXPECT_EQ(id, 8);
  EXPECT_EQ(form->Flags & FORM_BUILTIN, DWORD{FORM_BUILTIN});
  kcore_Free(form);
  EXPECT_EQ(GetDatabaseFormsByName(printer_, kLongName, &form, &id), FORMS_OK) << "the whole name still finds it";
  kcore_Free(form);

  EXPECT_EQ(GetSystemBuiltinPaperID(printer_, u"A3"), 8);
  EXPECT_EQ(GetSystemBuiltinPaperID(printer_, kCardName), 0) << "a user form is not built in";
  EXPECT_EQ(GetSystemBuiltinPaperID(printer_, u""), 0);
}

// Entries no spooler check stands behind: huge or empty sizes are refused,
// an imageable area outside the sheet is clipped to it, edges are put in order.
TEST(KmFormsDatabase, HostileEntriesGiveSaneFormsOrNone) {
  struct Case {
    const char* what;
    SIZEL size;
    RECTL area;
    bool sane;
    RECTL expected;
  };
  const Case cases[] = {
      {"ordinary", {210000, 297000}, {4000, 4000, 206000, 293000}, true, {4000, 4000, 206000, 293000}},
      {"largest side", {FORM_MAX_MICRONS, 1000}, {0, 0, FORM_MAX_MICRONS, 1000}, true, {0, 0, FORM_MAX_MICRONS, 1000}},
      {"one micrometre too wide", {FORM_MAX_MICRONS + 1, 1000}, {0, 0, 1000, 1000}, false, {}},
      {"huge", {INT32_MAX, INT32_MAX}, {0, 0, INT32_MAX, INT32_MAX}, false, {}},
      {"zero width", {0, 297000}, {0, 0, 0, 297000}, false, {}},
      {"negative length", {210000, -297000}, {0, 0, 210000, 0}, false, {}},
      {"area beyond the sheet", {210000, 297000}, {-10, INT32_MIN, 300000, INT32_MAX}, true, {0, 0, 210000, 297000}},
      {"edges swapped", {210000, 297000}, {200000, 280000, 10000, 5000}, true, {10000, 5000, 200000, 280000}},
      {"empty area", {210000, 297000}, {5000, 5000, 5000, 9000}, false, {}},
      {"area wholly outside", {210000, 297000}, {300000, 0, 400000, 297000}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char16_t name[] = u"X";
    FORM_INFO_1W in{FORM_USER, name, c.size, c.area};
    FORM_INFO_1W out{};
    ASSERT_EQ(form_CheckDatabaseForm(&in, &out) != FALSE, c.sane);
    if (!c.sane) continue;
    EXPECT_EQ(out.pName, name);
    EXPECT_EQ(out.ImageableArea.left, c.expected.left);
    EXPECT_EQ(out.ImageableArea.top, c.expected.top);
    EXPECT_EQ(out.ImageableArea.right, c.expected.right);
    EXPECT_EQ(out.ImageableArea.bottom, c.expected.bottom);
  }
}

// The record predicates on the custom paper (range 90 x 139 to 304.8 x 457.2
// mm) and A4 of model A.
TEST_F(KmForms, PaperRecordPredicates) {
  UseModel(Model::A);
  DDD_PAPER* custom = nullptr;
  DDD_PAPER* a4 = nullptr;
  ASSERT_EQ(GetDddPaperByFormID(pdev_.get(), 262, &custom), 0);
  ASSERT_EQ(GetDddPaperByFormName(pdev_.get(), u"A4", &a4), 0);
  struct Case {
    const DDD_PAPER* paper;
    LONG width, length;
    bool valid, cut;
  };
  const Case cases[] = {
      {custom, 900, 1390, true, false},   {custom, 3048, 4572, true, true},  {custom, 899, 2000, false, true},
      {custom, 2000, 4573, false, true},  {a4, 2100, 2970, true, false},     {a4, 2100, 2971, false, true},
      {a4, 2000, 2970, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.paper->head.id << ": " << c.width << " x " << c.length);
    EXPECT_EQ(IsValidSize(c.paper, c.width, c.length) != FALSE, c.valid);
    EXPECT_EQ(IsCutSize(c.paper, c.width, c.length) != FALSE, c.cut);
  }
  EXPECT_TRUE(IsCustomDddPaper(custom));
  EXPECT_FALSE(IsCustomDddPaper(a4));
  EXPECT_TRUE(IsValidCommand(a4));
  DDD_PAPER* none = nullptr;
  EXPECT_EQ(GetDddPaperByFormID(pdev_.get(), 9999, &none), DDD_ERR_NOTFOUND);
  EXPECT_EQ(none, nullptr);
  void* r = custom;
  ddd_Free(&r, DDD_CAT_PAPER);
  r = a4;
  ddd_Free(&r, DDD_CAT_PAPER);
}

}  // namespace
