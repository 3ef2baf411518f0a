// Every record kind read back from hand-written bytes; quick and full reads;
// the optional fields at every format version; grouped values.
#include "../../../core/ddd/ddd_internal.h"
#include "ddd_test_util.h"

namespace kestrel::test::ddd {
namespace {

std::string Ids(const DDD_IDLIST& l) {
  std::string s;
  for (WORD i = 0; i < l.count; ++i) s += (i ? "," : "") + std::to_string(l.ids[i]);
  return s;
}

std::string Pt(const DDD_POINT& p) { return std::to_string(p.first) + "x" + std::to_string(p.second); }

TEST_F(DddTest, EveryRecordKindReadsAsWritten) {
  ASSERT_EQ(OpenModel(1280), DDD_OK);

  Held opt(Get(DDD_FULL, DDD_CAT_OPTION_DOC, 8));
  auto* o = opt.as<DDD_OPTION>();
  EXPECT_EQ(o->head.kind, DDD_CAT_OPTION_DOC);
  EXPECT_EQ(Narrow(o->name.str), "Paper Size");
  EXPECT_EQ(o->selectMethod, 2);
  EXPECT_EQ(o->defaultItem, 2);
  EXPECT_EQ(Ids(o->items), "1,2,3");
  EXPECT_EQ(Ids(o->list3), "7");
  EXPECT_EQ(o->iconId, 1);
  EXPECT_EQ(Narrow(o->name2.str), "PS");

  Held item(Get(DDD_FULL, DDD_CAT_OPTIONITEM_DOC, 1));
  auto* it = item.as<DDD_OPTIONITEM>();
  EXPECT_EQ(Narrow(it->name.str), "A4");
  EXPECT_EQ(it->refCategory, 10);
  EXPECT_EQ(it->refId, 9);
  EXPECT_EQ(it->areaId, 5);
  EXPECT_EQ(Ids(it->list1), "1");
  EXPECT_EQ(Ids(it->list2), "2,3");
  EXPECT_EQ(it->value.type, 3);
  EXPECT_EQ(it->value.size, 2);
  EXPECT_FALSE(it->value.owned);  // referenced in the image
  EXPECT_EQ(kp_LoadU16(static_cast<BYTE*>(it->value.data)), 9);
  EXPECT_EQ(it->iconId, 1);

  Held tray(Get(DDD_FULL, DDD_CAT_TRAY, 1));
  auto* t = tray.as<DDD_TRAY>();
  EXPECT_EQ(Narrow(t->name.str), "Tray 1");
  EXPECT_EQ(t->nrvArg, 0x21);
  EXPECT_EQ(Pt(*ddd_GetTrayLowerPaper(t)), "900x1400");
  EXPECT_EQ(Pt(*ddd_GetTrayUpperPaper(t)), "3000x4300");
  const WORD* paperId = nullptr;
  EXPECT_EQ(ddd_GetAcceptablePaperID(t, 2, &paperId), DDD_OK);
  EXPECT_EQ(*paperId, 1);
  EXPECT_EQ(ddd_GetAcceptablePaperID(t, 3, &paperId), DDD_ERR_NOTFOUND);
  EXPECT_EQ(ddd_GetAcceptablePaperID(t, 0, &paperId), DDD_ERR_ARG);
  WORD feed = 0;
  EXPECT_EQ(ddd_GetAcceptableFeedID(t, 1, &feed), DDD_OK);
  EXPECT_EQ(feed, 7);
  EXPECT_EQ(t->duplex, 1);
  EXPECT_EQ(Narrow(t->name2.str), "T1");

  Held paper(Get(DDD_FULL, DDD_CAT_PAPER, 9));
  auto* p = paper.as<DDD_PAPER>();
  EXPECT_EQ(Narrow(p->name.str), "A4");
  EXPECT_EQ(p->paperClass, 1);
  EXPECT_EQ(p->portraitArg, 7);
  EXPECT_EQ(p->field2, 0x55);
  EXPECT_EQ(Pt(*ddd_GetPaperLower(p)) + " " + Pt(*ddd_GetPaperUpper(p)), "2100x2970 2100x2970");
  EXPECT_EQ(Pt(*ddd_GetImageableSizeLower(p)), "2000x2870");
  const DDD_POINT *m1 = nullptr, *m2 = nullptr;
  ASSERT_EQ(ddd_GetMarginDefault(p, &m1, &m2), DDD_OK);
  EXPECT_EQ(Pt(*m1) + " " + Pt(*m2), "50x40 30x20");
  EXPECT_EQ(p->duplexSizeId, 4);
  EXPECT_EQ(Pt(p->duplexLower) + " " + Pt(p->duplexUpper), "1480x2100 2970x4200");
  WORD flag = 0;
  EXPECT_EQ(ddd_GetAdditionalFlag(p, &flag), DDD_OK);
  EXPECT_EQ(flag, 0x1234);

  Held rule(Get(DDD_FULL, DDD_CAT_CONSTRAINTS, 1));
  auto* k = rule.as<DDD_CONSTRAINTS>();
  EXPECT_EQ(k->target.ddmId, 8);
  EXPECT_TRUE(k->target.hasValue);
  EXPECT_EQ(k->field, 0x0102);
  EXPECT_EQ(Narrow(k->message.str), "Conflict");
  ASSERT_EQ(k->conditions.count, 2);
  EXPECT_EQ(k->conditions.items[0].head.kind, DDD_KIND_ITEM_CONNECTIVE);
  EXPECT_EQ(k->conditions.items[0].ddmId, 4097);
  EXPECT_EQ(k->conditions.items[0].connective, 1);
  EXPECT_EQ(k->conditions.items[1].ddmId, 20);
  ASSERT_EQ(k->solutions.count, 1);
  EXPECT_EQ(k->solutions.items[0].op, 2);

  Held cond(Get(DDD_FULL, DDD_CAT_IMCONDITION, 1));
  WORD x = 0, y = 0;
  BYTE* bits = nullptr;
  ASSERT_EQ(ddd_GetImageFromImageCondition(&main_, &ref_, cond.as<void>(), &x, &y, &bits), DDD_OK);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bits), 8), "PACKEDBM");
  ddd_FreeMem(bits);

  Held font(Get(DDD_FULL, DDD_CAT_FONT, 1));
  auto* f = font.as<DDD_FONT>();
  EXPECT_EQ(Narrow(f->name.str), "Courier");
  EXPECT_EQ(Narrow(f->name2.str), "CourierX");
  LPCWSTR subst = nullptr;
  ASSERT_EQ(ddd_GetSubstFontName(f, 2, &subst), DDD_OK);
  EXPECT_EQ(Narrow(subst), "Courier New");
  EXPECT_EQ(ddd_GetSubstFontName(f, 3, &subst), DDD_ERR_NOTFOUND);
  EXPECT_EQ(Narrow(f->names2.strings[0].str), "Foo");
  EXPECT_EQ(f->xfmSize, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ddd_GetXFMData(f)), 6), "XFMXFM");
  WORD n = 0, type = 0, size = 0;
  const void* value = nullptr;
  ASSERT_EQ(ddd_GetNumOfDataEx(f, &n), DDD_OK);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(ddd_GetDataEx(f, 2, &type, &size, &value), DDD_OK);
  EXPECT_EQ(type, 6);
  EXPECT_EQ(Narrow(static_cast<LPCWSTR>(value)), "abcd");
  ASSERT_EQ(ddd_GetDataEx(f, 1, &type, &size, &value), DDD_OK);
  EXPECT_EQ(kp_LoadU16(static_cast<const BYTE*>(value)), 42);

  Held image(Get(DDD_FULL, DDD_CAT_IMAGE, 1));
  auto* im = image.as<DDD_IMAGE>();
  EXPECT_EQ(im->imageKind, 1);
  EXPECT_EQ(im->width, 32);
  EXPECT_EQ(im->height, 16);
  EXPECT_EQ(im->bitmapSize, 8u);  // the 14-byte file header is dropped

  Held ejcl(Get(DDD_FULL, DDD_CAT_EJCL, 1));
  EXPECT_EQ(Narrow(ddd_GetEJCLCommand(ejcl.as<void>())), "@PJL JOB MODE=");
  EXPECT_EQ(Narrow(ddd_GetEJCLArgument(ejcl.as<void>())), "PRINT");
  EXPECT_EQ(ejcl.as<DDD_EJCL>()->conditions.count, 1);
  EXPECT_EQ(ddd_GetAdditionalFlag(ejcl.as<void>(), &flag), DDD_OK);
  EXPECT_EQ(flag, 0x42);

  Held nrv(Get(DDD_FULL, DDD_CAT_NRV, 1));
  EXPECT_EQ(nrv.as<DDD_NRV>()->byte2, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(nrv.as<DDD_NRV>()->data), 3), "xyz");

  Held icon(Get(DDD_FULL, DDD_CAT_ICON, 1));
  ASSERT_NE(icon.as<DDD_ICON>()->bytes, nullptr);
  EXPECT_EQ(icon.as<DDD_ICON>()->bytes->head.kind, DDD_KIND_ICONBYTES);
  EXPECT_EQ(icon.as<DDD_ICON>()->bytes->size, 4);
  EXPECT_EQ(icon.as<DDD_ICON>()->bytes->data[3], 0x44);

  Held ptype(Get(DDD_FULL, DDD_CAT_PAPERTYPE, 1));
  BYTE duplex = 0;
  EXPECT_EQ(Narrow(ptype.as<DDD_PAPERTYPE>()->name.str), "Plain");
  EXPECT_EQ(ddd_GetPaperTypeDuplexAvailability(ptype.as<void>(), &duplex), DDD_OK);
  EXPECT_EQ(duplex, 1);

  Held grouped(Get(DDD_FULL, DDD_CAT_GROUPED, 1));
  EXPECT_EQ(grouped.as<DDD_GROUPED>()->elemType, 10);
  EXPECT_EQ(grouped.as<DDD_GROUPED>()->elemCount, 3);
  EXPECT_EQ(kp_LoadU32(grouped.as<DDD_GROUPED>()->data + 8), 1200u);

  Held fav(Get(DDD_FULL, DDD_CAT_FAVORITE, 1));
  WORD ddm = 0;
  ASSERT_EQ(ddd_GetFavoriteSettingNum(fav.as<void>(), &n), DDD_OK);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(ddd_GetFavoriteSetting(fav.as<void>(), 2, &ddm, &size, &type, &value), DDD_OK);
  EXPECT_EQ(ddm, 375);
  EXPECT_EQ(type, 6);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(Narrow(static_cast<LPCWSTR>(value)), "abc");
  EXPECT_EQ(ddd_GetFavoriteSetting(fav.as<void>(), 3, &ddm, &size, &type, &value), DDD_ERR_NOTFOUND);

  Held adc(Get(DDD_FULL, DDD_CAT_ADCQUERY, 1));
  auto* a = adc.as<DDD_ADCQUERY>();
  EXPECT_EQ(a->valueType, 1);
  EXPECT_EQ(a->valueSize, 4);  // type 1 is held in 4 bytes whatever the file says
  EXPECT_EQ(a->field3, 3);
  EXPECT_EQ(a->field4, 4);
  LPCWSTR q = nullptr;
  ASSERT_EQ(ddd_GetQueryString(a, 2, &q), DDD_OK);
  EXPECT_EQ(Narrow(q), "Q2");
  EXPECT_EQ(ddd_GetQueryString(a, 3, &q), DDD_ERR_ARG);
  ASSERT_EQ(ddd_GetDataEx(a, 1, &type, &size, &value), DDD_OK);
  EXPECT_EQ(kp_LoadU32(static_cast<const BYTE*>(value)), 7u);
  EXPECT_EQ(ddd_GetAdditionalFlag(a, &flag), DDD_ERR_ARG);  // from format version 4096 only

  Held tix(Get(DDD_FULL, DDD_CAT_TRAYINDEX, 1));
  ASSERT_EQ(tix.as<DDD_TRAYINDEX>()->count, 2);
  EXPECT_EQ(tix.as<DDD_TRAYINDEX>()->entries[1].third, 6);
  EXPECT_EQ(tix.as<DDD_TRAYINDEX>()->conditions.count, 1);

  // Records of the referenced file: a paper and a tray of category 6.
  Held letter(Get(DDD_FULL, DDD_CAT_PAPER, 1));
  EXPECT_EQ(letter.as<DDD_HEAD>()->location, DDD_LOC_REFERENCED);
  EXPECT_EQ(Pt(letter.as<DDD_PAPER>()->paperLower), "2159x2794");
  Held bypass(Get(DDD_FULL, DDD_CAT_TRAY2, 2));
  EXPECT_EQ(Narrow(bypass.as<DDD_TRAY>()->name.str), "Bypass");
  EXPECT_EQ(bypass.as<DDD_TRAY>()->nrvArg, 0x30);
}

TEST_F(DddTest, FieldReadersRefuseOtherKinds) {
  ASSERT_EQ(OpenModel(1280), DDD_OK);
  Held size(Get(DDD_FULL, DDD_CAT_SIZE, 1));
  const void* s = size.as<void>();
  const DDD_POINT *a = nullptr, *b = nullptr;
  const WORD* id = nullptr;
  WORD w = 0;
  BYTE byte = 0;
  LPCWSTR str = nullptr;
  const void* v = nullptr;
  EXPECT_EQ(ddd_GetTrayLowerPaper(s), nullptr);
  EXPECT_EQ(ddd_GetPaperUpper(s), nullptr);
  EXPECT_EQ(ddd_GetImageableSizeUpper(s), nullptr);
  EXPECT_EQ(ddd_GetMarginDefault(s, &a, &b), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetAcceptablePaperID(s, 1, &id), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetAcceptableFeedID(s, 1, &w), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetSubstFontName(s, 1, &str), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetXFMData(s), nullptr);
  EXPECT_EQ(ddd_GetNumOfDataEx(s, &w), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetDataEx(s, 1, &w, &w, &v), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetEJCLCommand(s), nullptr);
  EXPECT_EQ(ddd_GetAdditionalFlag(s, &w), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetPaperTypeDuplexAvailability(s, &byte), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetFavoriteSettingNum(s, &w), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetQueryString(s, 1, &str), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetTrayLowerPaper(nullptr), nullptr);
  EXPECT_EQ(ddd_GetAdditionalFlag(nullptr, &w), DDD_ERR_ARG);
  // A freer refuses a record of another kind and leaves it alone.
  void* p = size.as<void>();
  EXPECT_EQ(ddd_Free(&p, DDD_CAT_PAPER), DDD_ERR_ARG);
  EXPECT_EQ(p, size.as<void>());
}

TEST_F(DddTest, QuickReadsLeaveOutTheLargeParts) {
  ASSERT_EQ(OpenModel(1280), DDD_OK);
  Held item(Get(DDD_QUICK, DDD_CAT_OPTIONITEM_DOC, 1));
  auto* it = item.as<DDD_OPTIONITEM>();
  EXPECT_EQ(it->areaId, 0);
  EXPECT_EQ(it->list1.count, 0);
  EXPECT_EQ(it->list2.ids, nullptr);
  EXPECT_EQ(kp_LoadU16(static_cast<BYTE*>(it->value.data)), 9);  // value and icon are still read
  EXPECT_EQ(it->iconId, 1);

  Held image(Get(DDD_QUICK, DDD_CAT_IMAGE, 1));
  EXPECT_EQ(image.as<DDD_IMAGE>()->width, 32);
  EXPECT_EQ(image.as<DDD_IMAGE>()->height, 16);
  EXPECT_EQ(image.as<DDD_IMAGE>()->bitmap, nullptr);

  Held font(Get(DDD_QUICK, DDD_CAT_FONT, 1));
  EXPECT_EQ(ddd_GetXFMData(font.as<void>()), nullptr);
  WORD n = 0;
  EXPECT_EQ(ddd_GetNumOfDataEx(font.as<void>(), &n), DDD_OK);
  EXPECT_EQ(n, 2);  // what follows the metrics is still read
}

TEST_F(DddTest, ImageBitmapLengthsAreChecked) {
  struct Case {
    const char* what;
    unsigned kind;
    std::string bitmap;  // 32-bit length and bytes
    WORD full, quick;
    DWORD kept;
  };
  const Case cases[] = {
      {"length below the 14-byte header", 1, U32(10) + std::string(10, 'b'), DDD_ERR_ARG, DDD_OK, 0},
      {"length 0", 2, U32(0), DDD_ERR_ARG, DDD_OK, 0},
      {"header alone", 2, U32(14) + std::string(14, 'h'), DDD_OK, DDD_OK, 0},
      {"length past the end", 1, U32(0xFFFFFFF0u) + std::string(20, 'b'), DDD_ERR_ARG, DDD_OK, 0},
      {"kind other than 1 or 2", 3, U32(15) + std::string(15, 'b'), DDD_ERR_ARG, DDD_OK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileBuilder f;
    f.Add(12, 1, Rec(1, U8(c.kind) + U16(1) + U16(1) + U16(0) + c.bitmap));
    ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
    Held full, quick;
    EXPECT_EQ(ddd_GetDataByIDX(DDD_FULL, &main_, &ref_, DDD_CAT_IMAGE, 1, 0, full.out()), c.full);
    EXPECT_EQ(ddd_GetDataByIDX(DDD_QUICK, &main_, &ref_, DDD_CAT_IMAGE, 1, 0, quick.out()), c.quick);
    if (full) {
      EXPECT_EQ(full.as<DDD_IMAGE>()->bitmapSize, c.kept);
    }
    WORD w = 0, h = 0;
    BYTE* bits = ddd_GetPrinterBitmap(&main_, &ref_, 1, &w, &h);
    EXPECT_EQ(bits, nullptr);  // item 1 names image 0, which does not exist
    ddd_CloseFile(&main_, &ref_);
  }
}

// The optional fields appear with the format version of the record's file.
TEST_F(DddTest, OptionalFieldsFollowTheFormatVersion) {
  struct Case {
    long format;
    bool name2, duplex, paperFlag, fontFlag, fontExtra, favorites, paperType, adcFlag;
  };
  const Case cases[] = {
      {0, false, false, false, false, false, false, false, false},
      {256, false, false, false, true, false, false, false, false},
      {512, false, true, false, true, false, false, true, false},
      {768, false, true, false, true, false, true, true, false},
      {1024, true, true, false, true, true, true, true, false},
      {1280, true, true, true, true, true, true, true, false},
      {4096, true, true, true, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("format version " + std::to_string(c.format));
    ASSERT_EQ(OpenModel(c.format), DDD_OK);
    EXPECT_EQ(main_.formatVersion, c.format);
    WORD flag = 0, n = 0;
    BYTE b = 0;
    Held opt(Get(DDD_FULL, DDD_CAT_OPTION_DOC, 8));
    EXPECT_EQ(opt.as<DDD_OPTION>()->name2.str != nullptr, c.name2);
    EXPECT_EQ(opt.as<DDD_OPTION>()->iconId, 1);
    Held tray(Get(DDD_FULL, DDD_CAT_TRAY, 1));
    EXPECT_EQ(tray.as<DDD_TRAY>()->duplex, c.duplex ? 1 : 0);
    EXPECT_EQ(tray.as<DDD_TRAY>()->name2.str != nullptr, c.name2);
    Held paper(Get(DDD_FULL, DDD_CAT_PAPER, 9));
    EXPECT_EQ(paper.as<DDD_PAPER>()->duplexSizeId, c.duplex ? 4 : 0);
    EXPECT_EQ(Pt(paper.as<DDD_PAPER>()->duplexUpper), c.duplex ? "2970x4200" : "0x0");
    EXPECT_EQ(ddd_GetAdditionalFlag(paper.as<void>(), &flag), c.paperFlag ? DDD_OK : DDD_ERR_ARG);
    Held font(Get(DDD_FULL, DDD_CAT_FONT, 1));
    EXPECT_EQ(ddd_GetAdditionalFlag(font.as<void>(), &flag), c.fontFlag ? DDD_OK : DDD_ERR_ARG);
    ASSERT_EQ(ddd_GetNumOfDataEx(font.as<void>(), &n), DDD_OK);
    EXPECT_EQ(n, c.fontExtra ? 2 : 0);
    Held ejcl(Get(DDD_FULL, DDD_CAT_EJCL, 1));
    EXPECT_EQ(ddd_GetAdditionalFlag(ejcl.as<void>(), &flag), c.paperFlag ? DDD_OK : DDD_ERR_ARG);
    Held fav(Get(DDD_FULL, DDD_CAT_FAVORITE, 1));
    EXPECT_EQ(ddd_GetFavoriteSettingNum(fav.as<void>(), &n), c.favorites ? DDD_OK : DDD_ERR_ARG);
    Held ptype;
    EXPECT_EQ(ddd_GetDataByIDX(DDD_FULL, &main_, &ref_, DDD_CAT_PAPERTYPE, 1, 0, ptype.out()),
              c.paperType ? DDD_OK : DDD_ERR_ARG);
    if (ptype) {
      EXPECT_EQ(ddd_GetPaperTypeDuplexAvailability(ptype.as<void>(), &b), DDD_OK);
      EXPECT_EQ(ptype.as<DDD_PAPERTYPE>()->name2.str != nullptr, c.name2);
    }
    Held adc(Get(DDD_FULL, DDD_CAT_ADCQUERY, 1));
    EXPECT_EQ(ddd_GetAdditionalFlag(adc.as<void>(), &flag), c.adcFlag ? DDD_OK : DDD_ERR_ARG);
    // The referenced file's records follow the same version here.
    Held letter(Get(DDD_FULL, DDD_CAT_PAPER, 1));
    EXPECT_EQ(ddd_GetAdditionalFlag(letter.as<void>(), &flag), c.paperFlag ? DDD_OK : DDD_ERR_ARG);
    ddd_CloseFile(&main_, &ref_);
  }
}

// Two models open at once each answer with their own format version; so do
// the two files of one pair when their versions differ.
TEST_F(DddTest, TwoModelsOpenAtOnceKeepTheirOwnFormatVersions) {
  ModelBytes a = BuildModel(1280, 256);
  ASSERT_EQ(OpenPair(a.main, a.ref, "model.DDD"), DDD_OK);
  Held paperA(Get(DDD_FULL, DDD_CAT_PAPER, 9));
  Held letterA(Get(DDD_FULL, DDD_CAT_PAPER, 1));  // from the 256 referenced file

  ModelBytes b = BuildModel(256);
  WriteHostFile(root_.host("c/b/modelref.DDD"), b.ref);
  WriteHostFile(root_.host("c/b/model.DDD"), b.main);
  DDDFILE mainB{}, refB{};
  ASSERT_EQ(ddd_OpenFile(u"C:\\b\\model.DDD", 0, &mainB, &refB), DDD_OK);
  void* paperB = nullptr;
  ASSERT_EQ(ddd_GetDataByIDX(DDD_FULL, &mainB, &refB, DDD_CAT_PAPER, 9, 0, &paperB), DDD_OK);

  WORD flag = 0;
  EXPECT_EQ(ddd_GetAdditionalFlag(paperA.as<void>(), &flag), DDD_OK);
  EXPECT_EQ(flag, 0x1234);
  EXPECT_EQ(ddd_GetAdditionalFlag(letterA.as<void>(), &flag), DDD_ERR_ARG);
  EXPECT_EQ(ddd_GetAdditionalFlag(paperB, &flag), DDD_ERR_ARG);
  // Records read from model A after model B was opened still read A's fields.
  Held paperA2(Get(DDD_FULL, DDD_CAT_PAPER, 9));
  EXPECT_EQ(paperA2.as<DDD_PAPER>()->duplexSizeId, 4);
  EXPECT_EQ(ddd_GetAdditionalFlag(paperA2.as<void>(), &flag), DDD_OK);

  ddd_Free(&paperB, DDD_KIND_ANY);
  EXPECT_EQ(ddd_CloseFile(&mainB, &refB), DDD_OK);
}

TEST_F(DddTest, GroupedValuesExpand) {
  ASSERT_EQ(OpenModel(1280), DDD_OK);
  struct Case {
    unsigned position;
    WORD type, size, count;
    std::string bytes;
    bool owned;
  };
  const Case cases[] = {
      {1, 10, 4, 3, U32(300) + U32(600) + U32(1200), true},
      {2, 1, 4, 3, U32(0) + U32(1) + U32(0), true},
      {3, 3, 2, 2, U16(7) + U16(8), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("position " + std::to_string(c.position));
    std::string payload = U16(c.position);
    DDD_VALUE v{DDD_TYPE_GROUPED, 2, 1, FALSE, payload.data()};
    DWORD cursor = main_.cursor;
    ASSERT_EQ(DFILE_ExpandGroupedDevmodeValues(&main_, &v), DDD_OK);
    EXPECT_EQ(main_.cursor, cursor);  // the caller's cursor does not move
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.size, c.size);
    EXPECT_EQ(v.count, c.count);
    EXPECT_EQ(bool(v.owned), c.owned);
    EXPECT_EQ(std::string(static_cast<char*>(v.data), c.bytes.size()), c.bytes);
    DFREE_FreeDevmodeValue(&v);
  }
  // Another type, or no payload, is left as it is.
  DWORD word = 5;
  DDD_VALUE plain{DDD_TYPE_ULONG, 4, 1, FALSE, &word};
  EXPECT_EQ(DFILE_ExpandGroupedDevmodeValues(&main_, &plain), DDD_OK);
  EXPECT_EQ(plain.data, &word);
  std::string missing = U16(9);
  DDD_VALUE absent{DDD_TYPE_GROUPED, 2, 1, FALSE, missing.data()};
  EXPECT_EQ(DFILE_ExpandGroupedDevmodeValues(&main_, &absent), DDD_ERR_NOTFOUND);
  // The value read from an item expands too.
  Held item(Get(DDD_FULL, DDD_CAT_OPTIONITEM_DOC, 5));
  auto* it = item.as<DDD_OPTIONITEM>();
  ASSERT_EQ(DFILE_ExpandGroupedDevmodeValues(it->head.file, &it->value), DDD_OK);
  EXPECT_EQ(it->value.count, 3);
}

TEST_F(DddTest, GroupedValuesOutsideTheFileAreRefused) {
  FileBuilder f;
  // Elements too narrow for their type.
  f.Add(20, 1, Rec(1, U16(0) + U8(10) + U16(2) + U32(0) + U16(1) + U16(1)));
  // Three elements of 4 bytes announced, 8 bytes present at the end of the file.
  f.Add(20, 2, Rec(2, U16(0) + U8(10) + U16(4) + U32(0) + U16(3) + U32(1) + U32(2)));
  ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
  for (unsigned position : {1u, 2u}) {
    std::string payload = U16(position);
    DDD_VALUE v{DDD_TYPE_GROUPED, 2, 1, FALSE, payload.data()};
    EXPECT_EQ(DFILE_ExpandGroupedDevmodeValues(&main_, &v), DDD_ERR_ARG) << position;
    EXPECT_EQ(v.type, DDD_TYPE_GROUPED);
  }
  std::string shortPayload = U8(1);
  DDD_VALUE v{DDD_TYPE_GROUPED, 1, 1, FALSE, shortPayload.data()};
  EXPECT_EQ(DFILE_ExpandGroupedDevmodeValues(&main_, &v), DDD_ERR_ARG);
}

TEST_F(DddTest, AllocationAndFreeingByKind) {
  ASSERT_EQ(OpenModel(1280), DDD_OK);
  for (WORD kind : {WORD(0), WORD(2), WORD(24), WORD(517), WORD(600)})
    EXPECT_EQ(DALLOC_AllocData(&main_, kind), nullptr) << kind;
  for (WORD kind : {WORD(1), WORD(3), WORD(17), WORD(23), WORD(DDD_KIND_ICONBYTES), WORD(DDD_KIND_GUIDATA)}) {
    void* p = DALLOC_AllocData(&main_, kind);
    ASSERT_NE(p, nullptr) << kind;
    EXPECT_EQ(static_cast<DDD_HEAD*>(p)->kind, kind);
    EXPECT_EQ(static_cast<DDD_HEAD*>(p)->file, &main_);
    EXPECT_EQ(static_cast<DDD_HEAD*>(p)->formatVersion, 1280);
    EXPECT_EQ(ddd_Free(&p, DDD_KIND_ANY), DDD_OK);
    EXPECT_EQ(p, nullptr);
  }
  // A lone ITEM with an owned value.
  auto* item = static_cast<DDD_ITEM*>(LOCAL_AllocDevmodeValue(sizeof(DDD_ITEM)));
  item->head.kind = DDD_KIND_ITEM;
  item->value = DDD_VALUE{DDD_TYPE_ULONG, 4, 1, TRUE, LOCAL_AllocDevmodeValue(4)};
  void* p = item;
  EXPECT_EQ(ddd_Free(&p, DDD_KIND_ITEM), DDD_OK);
  // Any other kind is one block.
  p = LOCAL_AllocDevmodeValue(16);
  static_cast<DDD_HEAD*>(p)->kind = 700;
  EXPECT_EQ(ddd_Free(&p, 700), DDD_OK);
  EXPECT_EQ(ddd_Free(nullptr, 3), DDD_OK);
}

}  // namespace
}  // namespace kestrel::test::ddd
