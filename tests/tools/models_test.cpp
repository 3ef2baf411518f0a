// The compiled models (build outputs of models/) read back through the
// reader: every invariant the readers rely on holds, and the content is
// what later code reads (papers, trays, features, rules, EJCL, fonts,
// pictures, icons, favourites).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ddd_bytes.h"
#include "ddd_host.h"
#include "temp_root.h"

namespace kestrel::test {
namespace {

using ddd_host::Narrow;

std::string ModelPath(const char* name) { return std::string(KESTREL_MODELS_DIR) + "/" + name; }

class ModelTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { ASSERT_EQ(m_.Open(ModelPath(GetParam())), DDD_OK) << GetParam(); }
  void TearDown() override { m_.Close(); }

  // Every record of a category, read fully; the test fails on any that
  // does not read.
  template <typename T>
  std::vector<T*> All(WORD cat) {
    std::vector<T*> out;
    WORD n = ddd_GetNumOfData(&m_.main, cat);
    for (WORD i = 1; i <= n; ++i) {
      void* rec = nullptr;
      WORD r = ddd_GetDataByIndexX(DDD_FULL, &m_.main, &m_.referenced, cat, i, &rec);
      EXPECT_EQ(r, DDD_OK) << "category " << cat << " position " << i;
      if (r == DDD_OK) out.push_back(static_cast<T*>(rec));
    }
    return out;
  }
  template <typename T>
  static void FreeAll(std::vector<T*>& v) {
    for (T*& p : v) {
      void* q = p;
      ddd_Free(&q, DDD_KIND_ANY);
    }
    v.clear();
  }
  bool K350() const { return std::string(GetParam()) == "K350.DDD"; }

  TempRoot root_;
  ddd_host::Model m_;
};

TEST_P(ModelTest, EveryRecordReadsQuickAndFull) {
  for (WORD cat = 3; cat <= 23; ++cat) {
    WORD n = ddd_GetNumOfData(&m_.main, cat);
    EXPECT_EQ(n, ddd_GetNumOfData(&m_.referenced, cat)) << "both files index category " << cat << " alike";
    for (WORD i = 1; i <= n; ++i) {
      for (WORD depth : {WORD(DDD_QUICK), WORD(DDD_FULL)}) {
        void* rec = nullptr;
        EXPECT_EQ(ddd_GetDataByIndexX(depth, &m_.main, &m_.referenced, cat, i, &rec), DDD_OK)
            << "category " << cat << " position " << i << " depth " << depth;
        ddd_Free(&rec, DDD_KIND_ANY);
      }
    }
  }
}

TEST_P(ModelTest, OptionItemsAreFoundByIdByPositionAndByValue) {
  for (WORD cat : {WORD(DDD_CAT_OPTION_INSTALL), WORD(DDD_CAT_OPTION_DOC)}) {
    WORD itemCat = cat == DDD_CAT_OPTION_INSTALL ? DDD_CAT_OPTIONITEM_INSTALL : DDD_CAT_OPTIONITEM_DOC;
    auto options = All<DDD_OPTION>(cat);
    for (DDD_OPTION* o : options) {
      SCOPED_TRACE("option " + std::to_string(o->head.id) + " " + Narrow(o->name.str));
      ASSERT_GT(o->items.count, 0);
      EXPECT_GE(o->defaultItem, 1);
      EXPECT_LE(o->defaultItem, o->items.count);
      void* def = nullptr;
      WORD type = 0;
      EXPECT_EQ(ddma_GetDefaultPDEV(&m_.main, &m_.referenced, o->head.id, &def, &type), DDD_OK);
      ddd_FreeMem(def);
      std::vector<std::pair<std::string, WORD>> seen;  // value bytes, first item id
      for (WORD k = 1; k <= o->items.count; ++k) {
        WORD c = 0;
        DDD_OPTIONITEM* it = nullptr;
        ASSERT_EQ(ddd_GetItemDataByIndexX(DDD_FULL, FALSE, &m_.main, &m_.referenced, o, k, &c, &it), DDD_OK);
        EXPECT_EQ(c, itemCat);
        // The value matcher takes listed ids as positions: they must agree.
        WORD id = it->head.id;
        void* byPos = nullptr;
        ASSERT_EQ(ddd_GetDataByIndexX(DDD_QUICK, &m_.main, &m_.referenced, itemCat, id, &byPos), DDD_OK);
        EXPECT_EQ(static_cast<DDD_HEAD*>(byPos)->id, id);
        ddd_Free(&byPos, DDD_KIND_ANY);
        if (it->value.type != DDD_TYPE_BLOCK) {
          DDD_OPTIONITEM* match = nullptr;
          EXPECT_EQ(ddma_GetItemDataByDEVMODE(DDD_QUICK, &m_.main, &m_.referenced, o, &it->value, &c, &match), DDD_OK);
          // A range lists equal values (a step or default equal to the
          // minimum): the first item with the value is the match.
          std::string bytes = it->value.type == DDD_TYPE_STRING
                                  ? Narrow(static_cast<LPCWSTR>(it->value.data))
                                  : std::string(static_cast<const char*>(it->value.data), it->value.size);
          WORD first = id;
          for (auto& sv : seen) {
            if (sv.first == bytes) {
              first = sv.second;
              break;
            }
          }
          if (first == id) seen.push_back({bytes, id});
          if (match != nullptr) {
            EXPECT_EQ(match->head.id, first) << "item " << k;
            void* p = match;
            ddd_Free(&p, DDD_KIND_ANY);
          }
        }
        EXPECT_FALSE((it->value.type == DDD_TYPE_DWORD || it->value.type == DDD_TYPE_BOOL) && it->value.size == 0);
        if (o->head.id == 8 || it->refCategory == DDD_CAT_PAPER) {
          WORD kind = 0;
          void* ref = nullptr;
          EXPECT_EQ(ddma_GetRefDataX(DDD_QUICK, &m_.main, &m_.referenced, it, &kind, &ref), DDD_OK);
          EXPECT_EQ(kind, DDD_CAT_PAPER);
          ddd_Free(&ref, DDD_KIND_ANY);
        }
        void* p = it;
        ddd_Free(&p, DDD_KIND_ANY);
      }
    }
    FreeAll(options);
  }
}

TEST_P(ModelTest, ItemTablesAgreeInBothFiles) {
  for (WORD cat : {WORD(DDD_CAT_OPTIONITEM_INSTALL), WORD(DDD_CAT_OPTIONITEM_DOC)}) {
    WORD n = ddd_GetNumOfData(&m_.main, cat);
    ASSERT_EQ(n, ddd_GetNumOfData(&m_.referenced, cat));
    for (WORD i = 1; i <= n; ++i) {
      BYTE a[7] = {}, b[7] = {};
      ASSERT_EQ(DFILE_GotoDataOffsetByIndex(&m_.main, cat, i), DDD_OK);
      ASSERT_EQ(DFILE_ReadFile(&m_.main, a, 7), DDD_OK);
      ASSERT_EQ(DFILE_GotoDataOffsetByIndex(&m_.referenced, cat, i), DDD_OK);
      ASSERT_EQ(DFILE_ReadFile(&m_.referenced, b, 7), DDD_OK);
      EXPECT_EQ(0, memcmp(a, b, 7)) << "entry " << i;
      EXPECT_EQ(a[1] | (a[2] << 8), i) << "an item's id is its position";
    }
  }
}

TEST_P(ModelTest, PapersAndTraysNameExistingSizesAndPapers) {
  auto papers = All<DDD_PAPER>(DDD_CAT_PAPER);
  std::set<WORD> paperIds;
  for (DDD_PAPER* p : papers) {
    paperIds.insert(p->head.id);
    const DDD_POINT* lo = ddd_GetPaperLower(p);
    const DDD_POINT* hi = ddd_GetPaperUpper(p);
    ASSERT_NE(lo, nullptr);
    EXPECT_LE(lo->first, hi->first);
    EXPECT_LE(lo->second, hi->second);
    const DDD_POINT *m1 = nullptr, *m2 = nullptr;
    ASSERT_EQ(ddd_GetMarginDefault(p, &m1, &m2), DDD_OK);
    EXPECT_LT(ddd_GetImageableSizeLower(p)->first, lo->first);
  }
  for (WORD cat : {WORD(DDD_CAT_TRAY), WORD(DDD_CAT_TRAY2)}) {
    auto trays = All<DDD_TRAY>(cat);
    for (DDD_TRAY* t : trays) {
      EXPECT_GT(t->papers.count, 0) << Narrow(t->name.str);
      for (WORD k = 0; k < t->papers.count; ++k) EXPECT_EQ(paperIds.count(t->papers.ids[k]), 1u);
      for (WORD k = 1; k <= t->feeds.count; ++k) {
        WORD id = 0;
        ASSERT_EQ(ddd_GetAcceptableFeedID(t, k, &id), DDD_OK);
        void* pt = nullptr;
        EXPECT_EQ(ddd_GetDataByIDX(DDD_QUICK, &m_.main, &m_.referenced, DDD_CAT_PAPERTYPE, id, 0, &pt), DDD_OK);
        ddd_Free(&pt, DDD_KIND_ANY);
      }
    }
    FreeAll(trays);
  }
  // The paper ids shown to the user are papers.
  WORD count = 0;
  void* list = nullptr;
  ASSERT_EQ(ddd_GetPrinterInfo_allItems(&m_.main, 34, 2, &count, &list), DDD_OK);
  for (WORD i = 0; i < count; ++i) {
    const BYTE* b = static_cast<const BYTE*>(list) + 2 * i;
    EXPECT_EQ(paperIds.count(WORD(b[0] | (b[1] << 8))), 1u);
  }
  ddd_FreeMem(list);
  // Room for the paper entries.
  EXPECT_GE(ddd_GetPrinterInfo_orderedItem_Indirect(&m_.main, 41, 2, 0), papers.size());
  // The user-defined size and its twenty slots.
  for (WORD id : {256, 262, 266, 287, 301}) EXPECT_EQ(paperIds.count(id), 1u) << id;
  FreeAll(papers);
}

TEST_P(ModelTest, PrinterInfoHoldsWhatItsReadersNeed) {
  for (WORD sel : {0, 1}) {
    LPWSTR path = nullptr;
    ASSERT_EQ(ddd_GetRegistry(&m_.main, sel, &path), DDD_OK);
    std::string p = Narrow(path);
    ddd_FreeMem(path);
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.back(), '\\');
  }
  void* name = nullptr;
  WORD cat = 0;
  ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &m_.main, &m_.referenced, 259, nullptr, &cat, &name), DDD_OK);
  std::string model = Narrow(static_cast<LPCWSTR>(name));
  ddd_FreeMem(name);
  EXPECT_EQ(model, K350() ? "Scriva K350" : "Scriva K260");
  LPWSTR dll = nullptr;
  ASSERT_EQ(ddd_GetDLLName(&m_.main, 2, &dll), DDD_OK);
  EXPECT_EQ(Narrow(dll), "kestrelum.dll");
  ddd_FreeMem(dll);
  for (WORD item : {1, 40}) {
    WORD w = 0, h = 0;
    BYTE* bmp = ddd_GetPrinterBitmap(&m_.main, &m_.referenced, item, &w, &h);
    EXPECT_NE(bmp, nullptr) << "item " << item;
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    ddd_FreeMem(bmp);
  }
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem_Indirect(&m_.main, 5, 1, 0), K350() ? 2u : 0u);
  EXPECT_EQ(ddd_GetPrinterInfo_orderedItem_Indirect(&m_.main, 26, 4, 0) & 0x40000, 0x40000u);
}

TEST_P(ModelTest, ItemTwoBoundsTheEjclTextAndEveryJobTypeHasItsJobMode) {
  DWORD bound = ddd_GetPrinterInfo_orderedItem_Indirect(&m_.main, 2, 4, 0);
  auto records = All<DDD_EJCL>(DDD_CAT_EJCL);
  DWORD text = 0;
  std::set<unsigned> jobModes;
  for (DDD_EJCL* e : records) {
    std::string cmd = Narrow(e->command.str), arg = Narrow(e->argument.str);
    text += DWORD(cmd.size() + arg.size() + 3);
    if (cmd == "@PJL JOB MODE=") {
      ASSERT_EQ(e->conditions.count, 1);
      const DDD_ITEM& c = e->conditions.items[0];
      EXPECT_EQ(c.ddmId, 334);
      ASSERT_NE(c.value.data, nullptr);
      jobModes.insert(*static_cast<const BYTE*>(c.value.data));
    }
  }
  EXPECT_GE(bound, text);
  void* opt = nullptr;
  ASSERT_EQ(ddd_GetDataByIDX(DDD_QUICK, &m_.main, &m_.referenced, DDD_CAT_OPTION_DOC, 334, 0, &opt), DDD_OK);
  auto* o = static_cast<DDD_OPTION*>(opt);
  for (WORD k = 1; k <= o->items.count; ++k) {
    LPWSTR n = nullptr;
    void* v = nullptr;
    WORD type = 0;
    ASSERT_EQ(ddma_GetNameAndDEVMODE(&m_.main, &m_.referenced, 334, k, &n, &v, &type), DDD_OK);
    EXPECT_EQ(jobModes.count(*static_cast<BYTE*>(v)), 1u) << Narrow(n);
    ddd_FreeMem(n);
    ddd_FreeMem(v);
  }
  ddd_Free(&opt, DDD_KIND_ANY);
  FreeAll(records);
}

TEST_P(ModelTest, FontsCarryMetricsAndPrinterNames) {
  auto fonts = All<DDD_FONT>(DDD_CAT_FONT);
  ASSERT_GE(fonts.size(), 2u);
  for (DDD_FONT* f : fonts) {
    ASSERT_NE(ddd_GetXFMData(f), nullptr);
    const BYTE* x = f->xfm;
    uint32_t size = x[0] | (x[1] << 8) | (x[2] << 16) | (uint32_t(x[3]) << 24);
    EXPECT_EQ(size, f->xfmSize);
    uint32_t face = 6 + (x[45] | (x[46] << 8));
    ASSERT_LT(face, size);
    EXPECT_FALSE(std::string(reinterpret_cast<const char*>(x + face)).empty());
    EXPECT_GE(f->substNames.count, 1);
    WORD n = 0;
    ASSERT_EQ(ddd_GetNumOfDataEx(f, &n), DDD_OK);
    ASSERT_EQ(n, 2);
    WORD type = 0, sz = 0;
    const void* v = nullptr;
    ASSERT_EQ(ddd_GetDataEx(f, 1, &type, &sz, &v), DDD_OK);
    EXPECT_EQ(type, DDD_TYPE_STRING);
    ASSERT_EQ(ddd_GetDataEx(f, 2, &type, &sz, &v), DDD_OK);
    EXPECT_EQ(type, DDD_TYPE_USHORT);
  }
  FreeAll(fonts);
}

TEST_P(ModelTest, IconsAre32PixelIconImages) {
  auto icons = All<DDD_ICON>(DDD_CAT_ICON);
  ASSERT_GE(icons.size(), 10u);
  for (DDD_ICON* i : icons) {
    ASSERT_NE(i->bytes, nullptr);
    const BYTE* b = i->bytes->data;
    ASSERT_GE(i->bytes->size, 40);
    EXPECT_EQ(b[4] | (b[5] << 8), 32);
    EXPECT_EQ(b[8] | (b[9] << 8), 64);
  }
  FreeAll(icons);
}

TEST_P(ModelTest, ContentIsRealistic) {
  auto n = [&](WORD cat) { return ddd_GetNumOfData(&m_.main, cat); };
  if (K350()) {
    EXPECT_GE(n(DDD_CAT_PAPER), 25 + 21);
    EXPECT_GE(n(DDD_CAT_TRAY), 7);
    EXPECT_EQ(n(DDD_CAT_TRAY2), 4);
    EXPECT_GE(n(DDD_CAT_PAPERTYPE), 8);
    EXPECT_GE(n(DDD_CAT_OPTION_DOC), 30);
    EXPECT_GE(n(DDD_CAT_OPTION_INSTALL), 8);
    EXPECT_GT(n(DDD_CAT_CONSTRAINTS2), 0);
    EXPECT_GT(n(DDD_CAT_IMCONDITION), 0);
  } else {
    EXPECT_GE(n(DDD_CAT_PAPER), 20 + 21);
    EXPECT_LT(n(DDD_CAT_OPTION_DOC), 39);
    // The monochrome model offers black and white only: colour mode (270),
    // the second input of the dmColor rule (345) and the printer-data switch
    // that forces colour mode 1 (5202) each have the single value 1.
    for (WORD id : {WORD(270), WORD(345), WORD(5202)}) {
      void* rec = nullptr;
      ASSERT_EQ(ddd_GetDataByIDX(DDD_FULL, &m_.main, &m_.referenced, DDD_CAT_OPTION_DOC, id, 0, &rec), DDD_OK)
          << id;
      auto* o = static_cast<DDD_OPTION*>(rec);
      EXPECT_EQ(o->items.count, 1) << id;
      WORD c = 0;
      DDD_OPTIONITEM* it = nullptr;
      ASSERT_EQ(ddd_GetItemDataByIndexX(DDD_FULL, TRUE, &m_.main, &m_.referenced, o, 0, &c, &it), DDD_OK) << id;
      ASSERT_NE(it->value.data, nullptr);
      EXPECT_EQ(it->value.size, 1) << id;
      EXPECT_EQ(*static_cast<const BYTE*>(it->value.data), 1) << id;
      void* item = it;
      ddd_Free(&item, DDD_KIND_ANY);
      ddd_Free(&rec, DDD_KIND_ANY);
    }
  }
  EXPECT_EQ(n(DDD_CAT_FAVORITE), 2);
  auto favs = All<DDD_FAVORITE>(DDD_CAT_FAVORITE);
  for (DDD_FAVORITE* f : favs) {
    WORD count = 0;
    ASSERT_EQ(ddd_GetFavoriteSettingNum(f, &count), DDD_OK);
    EXPECT_GE(count, 2);
  }
  FreeAll(favs);
}

// Rules of model A cover every action code, both passes, every size-check
// kind and the evaluation-mode bits; each rule is listed by its option.
TEST(ModelRules, K350RulesCoverTheEngine) {
  TempRoot root;
  ddd_host::Model m;
  ASSERT_EQ(m.Open(ModelPath("K350.DDD")), DDD_OK);
  std::set<int> actions, checks;
  int modes = 0;
  for (WORD cat : {WORD(DDD_CAT_CONSTRAINTS), WORD(DDD_CAT_CONSTRAINTS2)}) {
    WORD n = ddd_GetNumOfData(&m.main, cat);
    ASSERT_GT(n, 0);
    for (WORD i = 1; i <= n; ++i) {
      void* rec = nullptr;
      ASSERT_EQ(ddd_GetDataByIndexX(DDD_FULL, &m.main, &m.referenced, cat, i, &rec), DDD_OK);
      auto* c = static_cast<DDD_CONSTRAINTS*>(rec);
      actions.insert(c->field & 0xFF);
      checks.insert(c->field & 0x3C00);
      modes |= c->field & 0x4300;
      // The rule's option lists it in the list of its pass.
      void* orec = nullptr;
      WORD ocat = 0;
      ASSERT_EQ(ddma_GetDataX(DDD_QUICK, &m.main, &m.referenced, c->target.ddmId, nullptr, &ocat, &orec), DDD_OK);
      auto* o = static_cast<DDD_OPTION*>(orec);
      const DDD_IDLIST& list = cat == DDD_CAT_CONSTRAINTS ? o->list2 : o->list3;
      bool listed = false;
      for (WORD k = 0; k < list.count; ++k) listed = listed || list.ids[k] == c->head.id;
      EXPECT_TRUE(listed) << "rule " << c->head.id << " of category " << cat;
      ddd_Free(&orec, DDD_KIND_ANY);
      ddd_Free(&rec, DDD_KIND_ANY);
    }
  }
  for (int a = 0; a <= 15; ++a) EXPECT_EQ(actions.count(a), 1u) << "action " << a;
  for (int k : {0, 1024, 2048, 3072, 4096, 5120, 6144, 7168, 8192, 9216}) EXPECT_EQ(checks.count(k), 1u) << k;
  EXPECT_EQ(modes, 0x4300);
}

INSTANTIATE_TEST_SUITE_P(Models, ModelTest, ::testing::Values("K350.DDD", "K260.DDD"));

TEST(DddDump, CountsAreRealistic) {
  std::string cmd = std::string(KESTREL_DDDDUMP) + " --counts " + ModelPath("K350.DDD");
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::map<std::string, int> counts;
  char line[256];
  std::string first;
  while (fgets(line, sizeof line, p) != nullptr) {
    int n = 0;
    char what[200] = {};
    if (sscanf(line, "%d %199[^\n]", &n, what) == 2) counts[what] = n;
    else if (first.empty()) first = line;
  }
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(first.rfind("Scriva K350", 0), 0u) << first;
  EXPECT_GE(counts["papers"], 46);
  EXPECT_EQ(counts["input trays"], 7);
  EXPECT_EQ(counts["output trays"], 4);
  EXPECT_GE(counts["paper types"], 8);
  EXPECT_GE(counts["EJCL commands"], 30);
  EXPECT_EQ(counts["favourites"], 2);
}

TEST(DddDump, ExtractWritesPicturesAndIcons) {
  TempRoot dir;
  std::string cmd = std::string(KESTREL_DDDDUMP) + " --extract " + dir.host("x") + " " + ModelPath("K260.DDD") +
                    " >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string bmp = ReadHostFile(dir.host("x/image1.bmp"));
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  std::string ico = ReadHostFile(dir.host("x/icon1.ico"));
  ASSERT_GT(ico.size(), 22u);
  EXPECT_EQ(ico[2], 1);
}

}  // namespace
}  // namespace kestrel::test
