// The forms database, the form-to-paper mapping and the paper-data list
// built from the model's papers and the forms database; the settings read
// through the value access.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common_fixture.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace kestrel::test::common {
namespace {

class Forms : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    printer_ = Printer(kK350);
    ASSERT_NE(nullptr, printer_);
  }

  BOOL AddForm(const char16_t* name, LONG width, LONG length) {
    std::u16string n = name;
    FORM_INFO_1W form{FORM_USER, n.data(), {width, length}, {0, 0, width, length}};
    return AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&form));
  }

  // A form for every paper of K350 that the built-in forms lack (ids above
  // 118, the user-defined size aside), except `skip`.
  void AddModelForms(const char16_t* skip = nullptr) {
    HCDDD h = Open(kK350);
    ASSERT_NE(nullptr, h);
    WORD count = ddd_GetNumOfData(h->main, DDD_CAT_PAPER);
    for (WORD i = 1; i <= count; ++i) {
      void* record = nullptr;
      ASSERT_EQ(DDD_OK, ddd_GetDataByIndexX(DDD_FULL, h->main, h->referenced, DDD_CAT_PAPER, i, &record));
      auto* paper = static_cast<DDD_PAPER*>(record);
      std::u16string name = paper->name.str;
      if (paper->head.id > 118 && paper->head.id != 256 && (!skip || name != skip)) {
        EXPECT_TRUE(AddForm(name.c_str(), paper->paperLower.first * 100, paper->paperLower.second * 100));
      }
      ddd_Free(&record, DDD_KIND_ANY);
    }
  }

  HANDLE printer_ = nullptr;
};

TEST_F(Forms, DatabaseHoldsBuiltInFormsAtTheirPaperNumbers) {
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  ASSERT_EQ(FORMS_OK, MyEnumForms(printer_, &forms, &bytes, &count));
  EXPECT_EQ(118u, count);
  struct Row {
    WORD id;
    const char16_t* name;
    LONG width, length;
  };
  const Row rows[] = {{1, u"Letter", 215900, 279400}, {9, u"A4", 210000, 297000}, {12, u"B4 (JIS)", 257000, 364000},
                      {70, u"A6", 105000, 148000},    {88, u"B6 (JIS)", 128000, 182000}};
  for (const Row& row : rows) {
    const FORM_INFO_1W& f = forms[row.id - 1];
    EXPECT_EQ(std::u16string(row.name), f.pName);
    EXPECT_EQ(row.width, f.Size.cx);
    EXPECT_EQ(row.length, f.Size.cy);
    EXPECT_EQ(static_cast<DWORD>(FORM_BUILTIN), f.Flags);
  }
  kcore_Free(forms);

  EXPECT_TRUE(AddForm(u"8K", 270000, 390000));
  EXPECT_FALSE(AddForm(u"a4", 210000, 297000));  // names compare without case
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  EXPECT_FALSE(AddForm(u"Flat", 100000, 0));
  LPWSTR name = nullptr;
  ASSERT_EQ(FORMS_OK, GetDatabaseFormNameByID(printer_, 119, &name));
  EXPECT_EQ(std::u16string(u"8K"), name);
  kcore_Free(name);
  EXPECT_EQ(FORMS_NOTFOUND, GetDatabaseFormNameByID(printer_, 0, &name));
  EXPECT_EQ(FORMS_NOTFOUND, GetDatabaseFormNameByID(printer_, 120, &name));
  EXPECT_EQ(nullptr, GetFormNameByID(printer_, 120));
  EXPECT_EQ(FORMS_BADARG, GetDatabaseFormNameByID(nullptr, 9, &name));
  EXPECT_TRUE(IsSystemBuiltinPaperID(printer_, 9));
  EXPECT_FALSE(IsSystemBuiltinPaperID(printer_, 119));
  EXPECT_FALSE(IsSystemBuiltinPaperID(printer_, 0));

  KpSpoolerFailEnumForms(TRUE);
  EXPECT_EQ(FORMS_SPOOLER, MyEnumForms(printer_, &forms, &bytes, &count));
  EXPECT_EQ(nullptr, forms);
  KpSpoolerFailEnumForms(FALSE);
}

TEST_F(Forms, FormIdsMapToTheModelsPapers) {
  ASSERT_TRUE(AddForm(u"8K", 270000, 390000));       // form 119
  ASSERT_TRUE(AddForm(u"Postcard X", 90000, 140000)); // form 120
  struct Row {
    WORD formId;
    WORD status;
    WORD paperId;
  };
  const Row rows[] = {
      {9, FORMS_OK, 9},        // a built-in form that is a model paper maps to itself
      {12, FORMS_OK, 12},
      {10, FORMS_NOTFOUND, 0},  // "A4 Small": built in, but no model paper of that name
      {119, FORMS_OK, 257},    // by exact name
      {120, FORMS_NOTFOUND, 0},
      {500, FORMS_NOTFOUND, 0},
  };
  for (const Row& row : rows) {
    WORD paperId = 0;
    EXPECT_EQ(row.status, form_GetPaperIDByFormID(printer_, row.formId, &paperId)) << row.formId;
    if (row.status == FORMS_OK) {
      EXPECT_EQ(row.paperId, paperId) << row.formId;
    }
  }
  EXPECT_TRUE(CheckPaperIDinDDD(printer_, 9));
  EXPECT_TRUE(CheckPaperIDinDDD(printer_, 256));
  EXPECT_FALSE(CheckPaperIDinDDD(printer_, 10));
  KpSpoolerFailEnumForms(TRUE);
  WORD paperId = 0;
  EXPECT_EQ(FORMS_SPOOLER, form_GetPaperIDByFormID(printer_, 119, &paperId));
  KpSpoolerFailEnumForms(FALSE);
}

TEST_F(Forms, PaperListMergesModelPapersAndForms) {
  AddModelForms();
  ASSERT_TRUE(AddForm(u"Huge", 500000, 700000));   // beyond the user-defined maximum
  ASSERT_TRUE(AddForm(u"Tiny", 50000, 70000));     // below the minimum
  ASSERT_TRUE(AddForm(u"Site Form", 200000, 250000));
  HCDDD h = Open(kK350);
  PAPDAT object{};
  ASSERT_EQ(PAPDAT_OK, PapDat_build(h, printer_, &object));
  ASSERT_TRUE(PapDat_IsSupportFormDBPapers(&object));

  WORD model = 0, forms = 0, all = 0, lessCustom = 0;
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperNum(&object, &model, 1));
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperNum(&object, &forms, 2));
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperNum(&object, &all, 3));
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperNum(&object, &lessCustom, 4));
  EXPECT_EQ(ddd_GetNumOfData(h->main, DDD_CAT_PAPER), model);
  EXPECT_GT(forms, 0);
  EXPECT_EQ(model + forms, all);
  EXPECT_LE(all, 128);  // item 41
  EXPECT_EQ(all - 1, lessCustom);
  EXPECT_EQ(PAPDAT_BADARG, PapDat_getPaperNum(&object, &model, 5));

  WORD formId = 0, paperId = 0;
  LONG size[2] = {};
  WORD nine = 9;
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_PAPERID, &nine, PAPDAT_WHAT_FORMID, &formId));
  EXPECT_EQ(9, formId);
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_PAPERID, &nine, PAPDAT_WHAT_SIZE, size));
  EXPECT_EQ(2100, size[0]);
  EXPECT_EQ(2970, size[1]);
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"8K", PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_EQ(257, paperId);
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"Site Form", PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_GE(paperId, PAPDAT_FORMDB_FIRST_ID);
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"Letter Small", PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_EQ(PAPDAT_FORMDB_FIRST_ID, paperId);  // the first form offered (form 2)
  EXPECT_EQ(PAPDAT_NOTFOUND, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"Huge", PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_EQ(PAPDAT_NOTFOUND, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"Tiny", PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_EQ(PAPDAT_NOTFOUND, PapDat_getPaperInfo(&object, PAPDAT_KEY_NAME, u"Ledger", PAPDAT_WHAT_PAPERID, &paperId));
  WORD twoHundred = 2;
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_FORMID, &twoHundred, PAPDAT_WHAT_PAPERID, &paperId));
  EXPECT_EQ(PAPDAT_FORMDB_FIRST_ID, paperId);
  LPCWSTR name = nullptr;
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfoByIndex(&object, 0, PAPDAT_WHAT_NAME, &name));
  EXPECT_NE(nullptr, name);
  EXPECT_EQ(PAPDAT_NOTFOUND, PapDat_getPaperInfoByIndex(&object, all, PAPDAT_WHAT_NAME, &name));

  // The user-defined size: form 0, the model's default size and its margins.
  WORD custom = 256;
  ASSERT_EQ(PAPDAT_OK, PapDat_getPaperInfo(&object, PAPDAT_KEY_PAPERID, &custom, PAPDAT_WHAT_FORMID, &formId));
  EXPECT_EQ(0, formId);
  LONG imageable[2] = {}, leftBottom[2] = {}, rightTop[2] = {};
  ASSERT_EQ(PAPDAT_OK, PapDat_GetPaperAreaInfo(&object, 256, size, imageable, leftBottom, rightTop));
  EXPECT_EQ(900, size[0]);
  EXPECT_EQ(1390, size[1]);
  EXPECT_EQ(900 - 84, imageable[0]);
  EXPECT_EQ(1390 - 84, imageable[1]);
  EXPECT_EQ(42, leftBottom[0]);
  EXPECT_EQ(42, rightTop[1]);
  EXPECT_EQ(PAPDAT_NOTFOUND, PapDat_GetPaperAreaInfo(&object, 4711, size, imageable, leftBottom, rightTop));

  void* block = nullptr;
  void* customElement = nullptr;
  DWORD bytes = 0;
  ASSERT_EQ(PAPDAT_OK, PapDat_enumPaperInfo(&object, PAPDAT_WHAT_PAPERID, &block, &bytes, FALSE, &customElement));
  EXPECT_EQ(static_cast<DWORD>(lessCustom) * 2, bytes);
  EXPECT_EQ(nullptr, customElement);
  for (DWORD i = 0; i < bytes / 2; ++i) EXPECT_NE(256, static_cast<WORD*>(block)[i]);
  kcore_Free(block);
  ASSERT_EQ(PAPDAT_OK, PapDat_enumPaperInfo(&object, PAPDAT_WHAT_NAME, &block, &bytes, TRUE, &customElement));
  EXPECT_EQ(static_cast<DWORD>(all) * 128, bytes);
  ASSERT_NE(nullptr, customElement);
  EXPECT_EQ(std::u16string(u"User Defined Size"), static_cast<LPCWSTR>(customElement));
  kcore_Free(block);

  PapDat_free(&object);
  EXPECT_FALSE(PapDat_IsSupportFormDBPapers(&object));
  EXPECT_EQ(PAPDAT_NOLIST, PapDat_getPaperNum(&object, &model, 1));
  EXPECT_EQ(PAPDAT_NULLOBJECT, PapDat_getPaperNum(nullptr, &model, 1));
}

TEST_F(Forms, ModelPaperMissingFromTheDatabaseFailsTheBuild) {
  AddModelForms(u"SRA3");
  HCDDD h = Open(kK350);
  PAPDAT object{};
  EXPECT_EQ(PAPDAT_BADARG, PapDat_build(h, printer_, &object));
  EXPECT_EQ(nullptr, object.list);
  SIZE_T blocks = KpGlobalBlockCount();  // the reader's own buffers are set up now
  EXPECT_EQ(PAPDAT_BADARG, PapDat_build(h, printer_, &object));
  EXPECT_EQ(blocks, KpGlobalBlockCount());  // nothing of the failed build is left
  EXPECT_EQ(PAPDAT_NULLOBJECT, PapDat_build(h, printer_, nullptr));
}

// ---- Settings read by DDM id, through a value access of the test's ----------------

struct FakeAccess {
  static inline std::map<WORD, std::pair<WORD, LONG>> values;  // id -> type, value
  static inline std::vector<std::pair<WORD, LONG>> writes;
  static WORD Get(WORD id, void*, void*, WORD* type, DWORD* size, ULONG_PTR* value) {
    auto it = values.find(id);
    if (it == values.end()) return 2;
    *type = it->second.first;
    *size = it->second.first == 8 ? 1 : (it->second.first == 2 || it->second.first == 3) ? 2 : 4;
    *value = static_cast<ULONG_PTR>(static_cast<DWORD>(it->second.second)) & (*size == 2 ? 0xFFFF : 0xFFFFFFFF);
    return 0;
  }
  static WORD Set(WORD id, void*, void*, WORD type, DWORD size, const void* value) {
    LONG v = 0;
    if (size == 2) v = *static_cast<const SHORT*>(value);
    if (size == 4) v = *static_cast<const LONG*>(value);
    if (size == 1) v = *static_cast<const BYTE*>(value);
    values[id] = {type, v};
    writes.push_back({id, v});
    return 0;
  }
};

class ValueAccess : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    FakeAccess::values = {{334, {8, 5}}, {1863, {2, 2000}}, {1864, {2, 3000}}, {9, {2, 0}}, {10, {2, 0}},
                          {5200, {1, 1}}, {5201, {1, 1}}};
    FakeAccess::writes.clear();
  }
};

TEST_F(ValueAccess, WithoutAnAccessLayerNothingIsClaimed) {
  HCDDD k350 = Open(kK350);
  DWORD w = 0, l = 0;
  EXPECT_FALSE(zanLib_IsFaxMode(k350, nullptr));  // device type 4 needs DDM 334
  EXPECT_FALSE(zanLib_GetUsrDefSize(nullptr, nullptr, &w, &l));
  EXPECT_FALSE(zanLib_CopyPaperSizeBetweenPublicAndPrivate(0, nullptr, nullptr));
  EXPECT_FALSE(zanLib_IsEnableDPCustomPaperSize(nullptr, nullptr));
  PAPDAT object{};
  EXPECT_EQ(PAPDAT_OK, PapDat_init(Printer(kK350), &object, nullptr));
  EXPECT_EQ(nullptr, object.list);  // the forms database is not enabled
}

TEST_F(ValueAccess, SettingsThroughTheAccessLayer) {
  zanLib_SetValueAccess(FakeAccess::Get, FakeAccess::Set);
  HCDDD k350 = Open(kK350);
  HCDDD k260 = Open(kK260);
  EXPECT_TRUE(zanLib_IsFaxMode(k350, nullptr));   // type 4 and DDM 334 = 5
  EXPECT_FALSE(zanLib_IsFaxMode(k260, nullptr));  // type 3
  FakeAccess::values[334] = {8, 0};
  EXPECT_FALSE(zanLib_IsFaxMode(k350, nullptr));

  DWORD w = 0, l = 0;
  ASSERT_TRUE(zanLib_GetUsrDefSize(nullptr, nullptr, &w, &l));
  EXPECT_EQ(2000u, w);
  EXPECT_EQ(3000u, l);
  ASSERT_TRUE(zanLib_CopyPaperSizeBetweenPublicAndPrivate(0, nullptr, nullptr));
  EXPECT_EQ(3000, FakeAccess::values[9].second);   // dmPaperLength from 1864
  EXPECT_EQ(2000, FakeAccess::values[10].second);  // dmPaperWidth from 1863
  FakeAccess::values[9] = {2, 2970};
  FakeAccess::values[10] = {2, 2100};
  ASSERT_TRUE(zanLib_CopyPaperSizeBetweenPublicAndPrivate(1, nullptr, nullptr));
  EXPECT_EQ(2970, FakeAccess::values[1864].second);
  EXPECT_EQ(2100, FakeAccess::values[1863].second);
  EXPECT_FALSE(zanLib_CopyPaperSizeBetweenPublicAndPrivate(2, nullptr, nullptr));
  EXPECT_TRUE(zanLib_IsEnableDPCustomPaperSize(nullptr, nullptr));
  FakeAccess::values[5200] = {1, 0};
  EXPECT_FALSE(zanLib_IsEnableDPCustomPaperSize(nullptr, nullptr));
}

TEST_F(ValueAccess, PaperListIsBuiltWhenTheEmulationEnablesTheFormsDatabase) {
  zanLib_SetValueAccess(FakeAccess::Get, FakeAccess::Set);
  struct Emulation {
    static void* Create(LPCWSTR, int) { return kcore_Alloc(4); }
    static void Destroy(void* p) { kcore_Free(p); }
    static BOOL FormDB(void* dme) { return dme != nullptr; }
    static LPWSTR Config(HCDDD) { return static_cast<LPWSTR>(kcore_Alloc(4)); }
  };
  CDDD_ATTACH_OPS ops{nullptr, nullptr, Emulation::Create, Emulation::Destroy, Emulation::FormDB, Emulation::Config};
  cddd_SetAttachOps(&ops);
  HANDLE printer = Printer(kK350);
  PAPDAT object{};
  EXPECT_EQ(PAPDAT_BADARG, PapDat_init(printer, &object, nullptr));  // the model's extra papers have no forms
  FakeAccess::values[5201] = {1, 0};
  EXPECT_EQ(PAPDAT_OK, PapDat_init(printer, &object, nullptr));      // printer data switches it off
  EXPECT_EQ(nullptr, object.list);
}

}  // namespace
}  // namespace kestrel::test::common
