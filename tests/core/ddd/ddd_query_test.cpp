// Queries: PrinterInfo items, DDM id mapping, defaults, value matching,
// name/value/icon bundles and external strings.
#include "../../../core/ddd/ddd_internal.h"
#include "ddd_test_util.h"

namespace kestrel::test::ddd {
namespace {

class DddQueryTest : public DddTest {
 protected:
  void SetUp() override { ASSERT_EQ(OpenModel(1280), DDD_OK); }
};

TEST(DddMap, DdmIdsMapToCategories) {
  struct Case {
    WORD ddm;
    int given;  // -1: none
    WORD category, dataId;
  };
  const Case cases[] = {
      {4129, -1, 4, 4129}, {4097, -1, 3, 4097}, {4362, -1, 3, 4362}, {4363, -1, 4, 4363}, {1, -1, 1, 1},
      {259, -1, 1, 259},   {274, -1, 4, 274},   {277, -1, 4, 274},   {280, -1, 4, 278},   {285, -1, 4, 282},
      {286, -1, 4, 286},   {32769, 7, 10, 7},   {32769, -1, 10, 0},  {32770, 3, 5, 3},    {32771, 2, 6, 2},
      {32779, 4, 19, 4},   {8, 5, 4, 8},
  };
  for (const Case& c : cases) {
    WORD given = static_cast<WORD>(c.given);
    WORD category = 0, dataId = 0;
    EXPECT_EQ(DDMIDtoCategory(c.ddm, c.given < 0 ? nullptr : &given, &category, &dataId), 1);
    EXPECT_EQ(category, c.category) << c.ddm;
    EXPECT_EQ(dataId, c.dataId) << c.ddm;
  }
}

TEST_F(DddQueryTest, PrinterInfoItems) {
  EXPECT_EQ(ddd_GetPrinterInfo_numOfItem(&main_, 35), 1);
  EXPECT_EQ(ddd_GetPrinterInfo_numOfItem(&main_, 36), 8);
  EXPECT_EQ(ddd_GetPrinterInfo_numOfItem(&main_, 4), 1);
  EXPECT_EQ(ddd_GetPrinterInfo_numOfItem(&main_, 42), 0);
  EXPECT_EQ(ddd_GotoPrinterInfoDef(&main_, 42), DDD_ERR_NOTFOUND);
  WORD copies = 0;
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem(&main_, 4, 2, 0, &copies), DDD_OK);
  EXPECT_EQ(copies, 999);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem(&main_, 4, 2, 1, &copies), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem_Indirect(&main_, 4, 2, 0), 999u);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem_Indirect(&main_, 5, 1, 0), 1u);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem_Indirect(&main_, 4, 2, 1), 0u);
  WORD count = 0;
  void* all = nullptr;
  EXPECT_EQ(ddd_GetPrinterInfo_allItems(&main_, 2, 4, &count, &all), DDD_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(kp_LoadU32(static_cast<BYTE*>(all)), 512u);
  ddd_FreeMem(all);
  EXPECT_EQ(ddd_GetPrinterInfo_allItems(&main_, 3, 2, &count, &all), DDD_OK);  // stored count 0
  EXPECT_EQ(count, 0);
  EXPECT_EQ(all, nullptr);

  LPWSTR s = nullptr;
  EXPECT_EQ(ddd_GetPrinterInfo_orderedString(&main_, 36, 7, &s), DDD_OK);
  EXPECT_EQ(Narrow(s), "s15");
  ddd_FreeMem(s);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedString(&main_, 36, 8, &s), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedString(&main_, 4, 0, &s), DDD_ERR_ARG);  // not a string item
  s = ddd_GetPrinterInfo_orderedString_Indirect(&main_, 35, 0);
  EXPECT_EQ(Narrow(s), "kestrelrs.zrs");
  ddd_FreeMem(s);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedString_Indirect(&main_, 35, 1), nullptr);
}

TEST_F(DddQueryTest, LibraryNamesAndRegistryPaths) {
  struct Case {
    WORD selector;
    WORD result;
    const char* name;
  };
  const Case cases[] = {
      {0, DDD_OK, "lib17.dll"}, {5, DDD_OK, "lib22.dll"}, {6, DDD_OK, "s6"},   {11, DDD_OK, "s11"},
      {12, DDD_ERR_ARG, ""},    {13, DDD_ERR_ARG, ""},    {14, DDD_OK, "s14"}, {15, DDD_OK, "s15"},
      {16, DDD_ERR_ARG, ""},  // item 36 has 8 elements here
      {21, DDD_ERR_ARG, ""},
  };
  for (const Case& c : cases) {
    LPWSTR name = nullptr;
    EXPECT_EQ(ddd_GetDLLName(&main_, c.selector, &name), c.result) << c.selector;
    EXPECT_EQ(Narrow(name), c.name) << c.selector;
    ddd_FreeMem(name);
  }
  LPWSTR path = nullptr;
  EXPECT_EQ(ddd_GetRegistry(&main_, 0, &path), DDD_OK);
  EXPECT_EQ(Narrow(path), "Software\\Kestrel\\Test\\");
  ddd_FreeMem(path);
  EXPECT_EQ(ddd_GetRegistry(&main_, 1, &path), DDD_OK);
  EXPECT_EQ(Narrow(path), "Software\\Kestrel\\User\\");
  ddd_FreeMem(path);
  EXPECT_EQ(ddd_GetRegistry(&main_, 2, &path), DDD_ERR_ARG);
  EXPECT_EQ(path, nullptr);
}

TEST_F(DddQueryTest, PrinterBitmaps) {
  for (WORD item : {WORD(1), WORD(40)}) {
    WORD w = 0, h = 0;
    BYTE* bits = ddd_GetPrinterBitmap(&main_, &ref_, item, &w, &h);
    ASSERT_NE(bits, nullptr) << item;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bits), 8), "PACKEDBM");
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 16);
    ddd_FreeMem(bits);
  }
  WORD w = 1, h = 1;
  EXPECT_EQ(ddd_GetPrinterBitmap(&main_, &ref_, 41, &w, &h), nullptr);  // names image 0
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST_F(DddQueryTest, RecordsByDdmId) {
  WORD cat = 0;
  void* rec = nullptr;
  for (WORD ddm : {WORD(1), WORD(259)}) {
    ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, ddm, nullptr, &cat, &rec), DDD_OK);
    EXPECT_EQ(cat, DDD_CAT_FILEINFO);
    EXPECT_EQ(Narrow(static_cast<LPWSTR>(rec)), "Scriva Test");
    ddd_FreeMem(rec);
  }
  ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, 8, nullptr, &cat, &rec), DDD_OK);
  EXPECT_EQ(cat, DDD_CAT_OPTION_DOC);
  EXPECT_EQ(Narrow(static_cast<DDD_OPTION*>(rec)->name.str), "Paper Size");
  ddd_Free(&rec, DDD_KIND_ANY);
  ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, 4097, nullptr, &cat, &rec), DDD_OK);
  EXPECT_EQ(cat, DDD_CAT_OPTION_INSTALL);
  ddd_Free(&rec, DDD_KIND_ANY);
  WORD one = 1;
  DDD_VALUE letter{DDD_TYPE_USHORT, 2, 1, FALSE, &one};
  ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, 8, &letter, &cat, &rec), DDD_OK);
  EXPECT_EQ(cat, DDD_CAT_OPTIONITEM_DOC);
  EXPECT_EQ(Narrow(static_cast<DDD_OPTIONITEM*>(rec)->name.str), "Letter");
  ddd_Free(&rec, DDD_KIND_ANY);
  EXPECT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, 32769, nullptr, &cat, &rec), DDD_ERR_NOTFOUND);
  EXPECT_EQ(ddma_GetDataX(DDD_QUICK, &main_, &ref_, 999, nullptr, &cat, &rec), DDD_ERR_NOTFOUND);
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(cat, 0);
}

TEST_F(DddQueryTest, ValuesMatchTheirItem) {
  auto str = [](const char16_t* s) { return const_cast<char16_t*>(s); };
  DWORD nine = 9, seventySeven = 77, fiveBytes = 0x04030201;
  SHORT minusFive = -5;
  BYTE seven = 7;
  float oneAndHalf = 1.5f;
  WORD one = 1;
  struct Case {
    const char* what;
    WORD ddm;
    DDD_VALUE value;
    WORD result;
    const char* item;
  };
  const Case cases[] = {
      {"16-bit", 8, {DDD_TYPE_USHORT, 2, 1, FALSE, &one}, DDD_OK, "Letter"},
      {"32-bit given, 16-bit item", 8, {DDD_TYPE_ULONG, 4, 1, FALSE, &nine}, DDD_OK, "A4"},
      {"given value narrower than the item's type", 8, {DDD_TYPE_BYTE, 1, 1, FALSE, &nine}, DDD_ERR_NOTFOUND, ""},
      {"string, exact case", 8, {DDD_TYPE_STRING, 14, 1, FALSE, str(u"Custom")}, DDD_OK, "Custom"},
      {"string, other case", 8, {DDD_TYPE_STRING, 14, 1, FALSE, str(u"custom")}, DDD_ERR_NOTFOUND, ""},
      {"string longer than the item's", 8, {DDD_TYPE_STRING, 18, 1, FALSE, str(u"Customs")}, DDD_ERR_NOTFOUND, ""},
      {"string never matches a number", 8, {DDD_TYPE_STRING, 6, 1, FALSE, str(u"\x09")}, DDD_ERR_NOTFOUND, ""},
      {"number never matches a string", 8, {DDD_TYPE_ULONG, 4, 1, FALSE, &seventySeven}, DDD_ERR_NOTFOUND, ""},
      {"signed 16-bit", 30, {DDD_TYPE_SHORT, 2, 1, FALSE, &minusFive}, DDD_OK, "Short"},
      {"8-bit", 30, {DDD_TYPE_BYTE, 1, 1, FALSE, &seven}, DDD_OK, "Byte"},
      {"float", 30, {DDD_TYPE_FLOAT, 4, 1, FALSE, &oneAndHalf}, DDD_OK, "Float"},
      {"binary blocks never match", 30, {DDD_TYPE_BLOCK, 4, 1, FALSE, &fiveBytes}, DDD_ERR_NOTFOUND, ""},
      {"item payload narrower than its type", 30, {DDD_TYPE_LONG, 4, 1, FALSE, &seventySeven}, DDD_ERR_NOTFOUND,
       ""},
      {"no value data", 8, {DDD_TYPE_USHORT, 2, 1, FALSE, nullptr}, DDD_ERR_NOTFOUND, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held opt(Get(DDD_FULL, DDD_CAT_OPTION_DOC, c.ddm));
    WORD cat = 0;
    DDD_OPTIONITEM* item = nullptr;
    EXPECT_EQ(ddma_GetItemDataByDEVMODE(DDD_QUICK, &main_, &ref_, opt.as<DDD_OPTION>(), &c.value, &cat, &item),
              c.result);
    EXPECT_EQ(cat, c.result ? 0 : DDD_CAT_OPTIONITEM_DOC);
    EXPECT_EQ(Narrow(item ? item->name.str : nullptr), c.item);
    void* p = item;
    ddd_Free(&p, DDD_KIND_ANY);
  }
  // Items of an installable option are found in category 13.
  Held unit(Get(DDD_FULL, DDD_CAT_OPTION_INSTALL, 4097));
  DWORD on = 1;
  DDD_VALUE installed{DDD_TYPE_BOOL, 4, 1, FALSE, &on};
  WORD cat = 0;
  DDD_OPTIONITEM* item = nullptr;
  ASSERT_EQ(ddma_GetItemDataByDEVMODE(DDD_QUICK, &main_, &ref_, unit.as<DDD_OPTION>(), &installed, &cat, &item),
            DDD_OK);
  EXPECT_EQ(cat, DDD_CAT_OPTIONITEM_INSTALL);
  EXPECT_EQ(Narrow(item->name.str), "Installed");
  void* p = item;
  ddd_Free(&p, DDD_KIND_ANY);
  Held paper(Get(DDD_QUICK, DDD_CAT_PAPER, 9));
  EXPECT_EQ(ddma_GetItemDataByDEVMODE(DDD_QUICK, &main_, &ref_, paper.as<DDD_OPTION>(), &installed, &cat, &item),
            DDD_ERR_ARG);
}

TEST_F(DddQueryTest, ItemsByPosition) {
  struct Case {
    WORD ddm, position;
    WORD result, category;
    const char* name;
  };
  const Case cases[] = {
      {8, 2, DDD_OK, 14, "Letter"},
      {8, 3, DDD_OK, 14, "Custom"},
      {8, 4, DDD_ERR_NOTFOUND, 0, ""},
      {8, 0, DDD_ERR_ARG, 0, ""},
      {4097, 2, DDD_OK, 13, "Installed"},
      {32769, 2, DDD_OK, 10, "Letter"},  // from the referenced file
      {32770, 1, DDD_OK, 5, "Tray 1"},
      {32771, 1, DDD_OK, 6, "Bypass"},
      {32769, 3, DDD_ERR_NOTFOUND, 0, ""},
      {32779, 1, DDD_ERR_NOTFOUND, 0, ""},
      {1, 1, DDD_ERR_NOTFOUND, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ddm) + " #" + std::to_string(c.position));
    WORD cat = 99;
    Held rec;
    EXPECT_EQ(ddma_GetItemDataX(DDD_QUICK, &main_, &ref_, c.ddm, c.position, &cat, rec.out()), c.result);
    EXPECT_EQ(cat, c.category);
    LPWSTR name = nullptr;
    if (rec) {
      EXPECT_EQ(ddd_GetNameFromData(rec.as<void>(), &name), DDD_OK);
    }
    EXPECT_EQ(Narrow(name), c.name);
    ddd_FreeMem(name);
  }
  // The default item, and options without one.
  Held opt(Get(DDD_QUICK, DDD_CAT_OPTION_DOC, 8));
  WORD cat = 0;
  DDD_OPTIONITEM* item = nullptr;
  ASSERT_EQ(ddd_GetItemDataByIndexX(DDD_QUICK, TRUE, &main_, &ref_, opt.as<DDD_OPTION>(), 0, &cat, &item), DDD_OK);
  EXPECT_EQ(Narrow(item->name.str), "Letter");
  void* p = item;
  ddd_Free(&p, DDD_KIND_ANY);
  Held misc(Get(DDD_QUICK, DDD_CAT_OPTION_DOC, 30));
  EXPECT_EQ(ddd_GetItemDataByIndexX(DDD_QUICK, TRUE, &main_, &ref_, misc.as<DDD_OPTION>(), 0, &cat, &item),
            DDD_ERR_NOTFOUND);
  EXPECT_EQ(ddd_GetItemDataByIndexX(DDD_QUICK, FALSE, &main_, &ref_, misc.as<DDD_OPTION>(), 0, &cat, &item),
            DDD_ERR_ARG);
}

TEST_F(DddQueryTest, NamesValuesAndReferencedRecords) {
  struct Case {
    WORD ddm, position;
    const char* name;
    WORD type;
    DWORD value;
  };
  const Case cases[] = {
      {8, 1, "A4", DDD_TYPE_USHORT, 9},
      {4097, 1, "Not Installed", DDD_TYPE_BOOL, 0},
      {32769, 1, "A4", DDD_TYPE_USHORT, 9},  // a paper gives its id
      {32770, 1, "Tray 1", DDD_TYPE_USHORT, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LPWSTR name = nullptr;
    void* value = nullptr;
    WORD type = 0;
    ASSERT_EQ(ddma_GetNameAndDEVMODE(&main_, &ref_, c.ddm, c.position, &name, &value, &type), DDD_OK);
    EXPECT_EQ(Narrow(name), c.name);
    EXPECT_EQ(type, c.type);
    DWORD v = 0;
    std::memcpy(&v, value, c.type == DDD_TYPE_USHORT ? 2 : 4);
    EXPECT_EQ(v, c.value);
    ddd_FreeMem(name);
    ddd_FreeMem(value);
  }
  LPWSTR name = nullptr;
  EXPECT_EQ(ddma_GetNameFromDDD(&main_, &ref_, 1, nullptr, &name), DDD_OK);
  EXPECT_EQ(Narrow(name), "Scriva Test");
  ddd_FreeMem(name);
  WORD one = 1;
  DDD_VALUE letter{DDD_TYPE_USHORT, 2, 1, FALSE, &one};
  EXPECT_EQ(ddma_GetNameFromDDD(&main_, &ref_, 8, &letter, &name), DDD_OK);
  EXPECT_EQ(Narrow(name), "Letter");
  ddd_FreeMem(name);
  EXPECT_EQ(ddma_GetNameFromDDD(&main_, &ref_, 8, nullptr, &name), DDD_OK);
  EXPECT_EQ(Narrow(name), "Paper Size");
  ddd_FreeMem(name);
  Held size(Get(DDD_QUICK, DDD_CAT_SIZE, 1));
  EXPECT_EQ(ddd_GetNameFromData(size.as<void>(), &name), DDD_ERR_ARG);

  // An item's referenced record.
  Held item(Get(DDD_QUICK, DDD_CAT_OPTIONITEM_DOC, 1));
  WORD kind = 0;
  Held paper;
  ASSERT_EQ(ddma_GetRefDataX(DDD_QUICK, &main_, &ref_, item.as<void>(), &kind, paper.out()), DDD_OK);
  EXPECT_EQ(kind, DDD_CAT_PAPER);
  EXPECT_EQ(paper.as<DDD_HEAD>()->id, 9);
  Held none;
  EXPECT_EQ(ddma_GetRefDataX(DDD_QUICK, &main_, &ref_, size.as<void>(), &kind, none.out()), DDD_ERR_ARG);
}

WORD g_overrideCalls = 0;
WORD TestOverride(DDDFILE*, DDDFILE*, WORD ddmId, void** value, WORD* type) {
  ++g_overrideCalls;
  if (ddmId == 20) return DDD_ERR_MEMORY;
  if (ddmId == 8) {
    ddd_FreeMem(*value);
    auto* three = static_cast<WORD*>(LOCAL_AllocDevmodeValue(2));
    *three = 3;
    *value = three;
    *type = DDD_TYPE_USHORT;
  }
  return DDD_OK;
}

TEST_F(DddQueryTest, FeatureDefaults) {
  struct Case {
    WORD ddm;
    WORD result, type;
    DWORD value;
  };
  const Case cases[] = {
      {8, DDD_OK, DDD_TYPE_USHORT, 1},   // item 2, Letter
      {4097, DDD_OK, DDD_TYPE_BOOL, 0},  // a boolean held in 4 bytes
      {20, DDD_OK, DDD_TYPE_DWORD, 600},
      {30, DDD_ERR_ARG, 0, 0},         // default position 0
      {32769, DDD_ERR_ARG, 0, 0},      // not a feature
      {999, DDD_ERR_NOTFOUND, 0, 0},   // no such option
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ddm);
    void* value = nullptr;
    WORD type = 0;
    EXPECT_EQ(ddma_GetDefaultPDEV(&main_, &ref_, c.ddm, &value, &type), c.result);
    EXPECT_EQ(type, c.type);
    if (c.result == DDD_OK) {
      DWORD v = 0;
      std::memcpy(&v, value, c.type == DDD_TYPE_USHORT ? 2 : 4);
      EXPECT_EQ(v, c.value);
    } else {
      EXPECT_EQ(value, nullptr);
    }
    ddd_FreeMem(value);
  }

  // The model-dependent overrides run only after a default was read.
  ddd_SetDefaultOverride(TestOverride);
  g_overrideCalls = 0;
  void* value = nullptr;
  WORD type = 0;
  ASSERT_EQ(ddma_GetDefaultPDEV(&main_, &ref_, 8, &value, &type), DDD_OK);
  EXPECT_EQ(*static_cast<WORD*>(value), 3);
  ddd_FreeMem(value);
  EXPECT_EQ(ddma_GetDefaultPDEV(&main_, &ref_, 20, &value, &type), DDD_ERR_MEMORY);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(ddma_GetDefaultPDEV(&main_, &ref_, 30, &value, &type), DDD_ERR_ARG);
  EXPECT_EQ(g_overrideCalls, 2);
  ddd_SetDefaultOverride(nullptr);
}

TEST_F(DddQueryTest, DefaultOptionFlags) {
  // Item 12 holds 0x2: bit 1 marks options 4098 and 4130.
  struct Case {
    WORD option, result;
  };
  for (Case c : {Case{4098, 0}, Case{4130, 0}, Case{4097, 1}, Case{4129, 1}, Case{4128, 1}, Case{4161, 1},
                 Case{4096, 1}})
    EXPECT_EQ(ddma_IsDefaultOption(&main_, &ref_, c.option), c.result) << c.option;
}

TEST_F(DddQueryTest, IconsAndUserInterfaceData) {
  Held opt(Get(DDD_QUICK, DDD_CAT_OPTION_DOC, 8));
  DDD_ICONBYTES* icon = nullptr;
  ASSERT_EQ(ddma_GetIconData(&main_, &ref_, opt.as<void>(), &icon), DDD_OK);
  EXPECT_EQ(icon->size, 4);
  EXPECT_EQ(icon->data[0], 0x11);
  void* p = icon;
  ddd_Free(&p, DDD_KIND_ANY);
  Held noIcon(Get(DDD_QUICK, DDD_CAT_OPTION_DOC, 20));
  EXPECT_EQ(ddma_GetIconData(&main_, &ref_, noIcon.as<void>(), &icon), DDD_ERR_NOTFOUND);
  Held paper(Get(DDD_QUICK, DDD_CAT_PAPER, 9));
  EXPECT_EQ(ddma_GetIconData(&main_, &ref_, paper.as<void>(), &icon), DDD_ERR_ARG);

  struct Case {
    WORD ddm, position;
    WORD result;
    const char* name;
    bool value, icon;
  };
  const Case cases[] = {
      {8, 0, DDD_OK, "Paper Size", false, true},
      {8, 1, DDD_OK, "A4", true, true},
      {8, 2, DDD_OK, "Letter", true, false},  // no icon is no failure
      {32769, 1, DDD_OK, "A4", true, false},
      {1, 0, DDD_ERR_ARG, "", false, false},  // the model name is no record
      {8, 9, DDD_ERR_NOTFOUND, "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DDD_GUIDATA* gui = nullptr;
    EXPECT_EQ(ddma_GetGUIData(&main_, &ref_, c.ddm, c.position, &gui), c.result);
    if (c.result) {
      EXPECT_EQ(gui, nullptr);
      continue;
    }
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(gui->head.kind, DDD_KIND_GUIDATA);
    EXPECT_EQ(Narrow(gui->name), c.name);
    EXPECT_EQ(gui->value != nullptr, c.value);
    EXPECT_EQ(gui->icon != nullptr, c.icon);
    void* g = gui;
    ddd_Free(&g, DDD_KIND_ANY);
  }
}

// --- external strings ----------------------------------------------------------

BOOL NoDirectory(WCHAR*, DWORD) { return FALSE; }
BOOL DriverDirectory(WCHAR* buffer, DWORD chars) {
  const char16_t dir[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3";
  if (chars < sizeof(dir) / sizeof(dir[0])) return FALSE;
  std::memcpy(buffer, dir, sizeof(dir));
  return TRUE;
}

TEST_F(DddTest, ExternalStringsFallBackToTheirText) {
  FileBuilder f;
  f.items[30] = ExtStr("Fallback", 1, 5);
  f.items[33] = ExtStr("Other", 2, 7);
  for (DddDriverDirectoryFn provider : {DddDriverDirectoryFn(nullptr), NoDirectory, DriverDirectory}) {
    ddd_SetDriverDirectoryProvider(provider);
    ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(ddd_GetRegistry(&main_, 0, &text), DDD_OK);
    EXPECT_EQ(std::u16string(text), u"Fallback");  // no junk from the reference behind it
    ddd_FreeMem(text);
    EXPECT_FALSE(main_.strings->tryResource);  // the resource module could not be loaded
    ASSERT_EQ(ddd_GetRegistry(&main_, 1, &text), DDD_OK);
    EXPECT_EQ(std::u16string(text), u"Other");
    ddd_FreeMem(text);
    // Every string buffer went back to the pool.
    for (const DDD_STRING_SLOT& slot : main_.strings->slots) EXPECT_FALSE(slot.inUse);
    ddd_CloseFile(&main_, &ref_);
  }
  ddd_SetDriverDirectoryProvider(nullptr);
}


// A string resource container holding string `id` (ids below 16).
std::string StringContainer(unsigned id, const std::u16string& text) {
  std::string block;
  for (unsigned k = 0; k < 16; ++k) {
    if (k != id) {
      block += U16(0);
      continue;
    }
    block += U16(static_cast<unsigned>(text.size()));
    for (char16_t ch : text) block += U16(ch);
  }
  while (block.size() % 4) block += '\0';
  std::string header = "KRES" + U16(1) + U16(0) + U32(1) + U32(static_cast<uint32_t>(28 + block.size()));
  return header + U16(6) + U16(1) + U32(28) + U32(static_cast<uint32_t>(block.size())) + block;
}

TEST_F(DddTest, ExternalStringsLoadFromTheDriverDirectory) {
  const std::string drivers = "c/Windows/system32/spool/drivers/x64/3/";
  WriteHostFile(root_.host(drivers + "kestrelrs.zrs"), StringContainer(5, u"Extern"));
  WriteHostFile(root_.host(drivers + "second.zrs"), StringContainer(7, u"Second"));
  FileBuilder f;
  f.items[35] = U16(2) + Str("kestrelrs.zrs") + Str("second.zrs");
  f.items[29] = ExtStr("Unknown id", 1, 9);
  f.items[30] = ExtStr("Fallback", 1, 5);
  f.items[33] = ExtStr("Other", 2, 7);
  f.items[31] = ExtStr("No library", 3, 7);
  ddd_SetDriverDirectoryProvider(DriverDirectory);
  ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
  struct Case {
    WORD item;
    const char16_t* text;
  };
  for (Case c : {Case{30, u"Extern"}, Case{33, u"Second"}, Case{29, u"Unknown id"}, Case{31, u"No library"}}) {
    LPWSTR text = nullptr;
    ASSERT_EQ(ddd_GetPrinterInfo_orderedString(&main_, c.item, 0, &text), DDD_OK) << c.item;
    EXPECT_EQ(std::u16string(text), c.text) << c.item;
    ddd_FreeMem(text);
  }
  EXPECT_TRUE(main_.strings->tryResource);
  EXPECT_NE(main_.strings->resourceModule, nullptr);  // kept until the model is closed
  size_t modules = KpLoadedModuleCount();
  EXPECT_EQ(ddd_CloseFile(&main_, &ref_), DDD_OK);
  EXPECT_EQ(KpLoadedModuleCount(), modules - 1);
  ddd_SetDriverDirectoryProvider(nullptr);
}

}  // namespace
}  // namespace kestrel::test::ddd
