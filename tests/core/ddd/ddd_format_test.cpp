// The stored primitives, version rules, opening a file pair and the table
// look-ups, against bytes written by hand.
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "../../../core/ddd/ddd_internal.h"
#include "ddd_test_util.h"

namespace kestrel::test::ddd {
namespace {

// --- primitives --------------------------------------------------------------

TEST_F(DddTest, StringsDecodeFromTheirComplement) {
  // "HA" is stored 02 00 B7 BE; a length of 0 is no string.
  OpenRaw(Hex({0x02, 0x00, 0xB7, 0xBE, 0x00, 0x00, 0x03, 0x00}));
  LPWSTR s = nullptr;
  DWORD bytes = 0;
  ASSERT_EQ(DFILE_ReadNegativeString(&main_, &s, &bytes), DDD_OK);
  EXPECT_EQ(std::u16string(s), u"HA");
  EXPECT_EQ(bytes, 6u);
  ddd_FreeMem(s);
  ASSERT_EQ(DFILE_ReadNegativeString(&main_, &s, &bytes), DDD_OK);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(bytes, 0u);
  // A length that runs past the end fails and moves nothing out.
  EXPECT_EQ(DFILE_ReadNegativeString(&main_, &s, &bytes), DDD_ERR_ARG);
  EXPECT_EQ(s, nullptr);
}

TEST_F(DddTest, DevmodeValuesFollowTheirTypeRules) {
  struct Case {
    const char* what;
    std::string stored;
    WORD type, size;
    std::string payload;  // bytes of the value as handed out
    DWORD consumed;
  };
  const Case cases[] = {
      {"boolean of size 2 reads one byte", Val(1, 2, Hex({0x05, 0x99})), 1, 4, U32(1), 4},
      {"boolean zero", Val(1, 1, U8(0)), 1, 4, U32(0), 4},
      {"type 10 reads 4 bytes whatever its size", Val(10, 2, U32(0x01020304)), 10, 4, U32(0x01020304), 7},
      {"other types take size bytes", Val(3, 2, U16(0x1234)), 3, 2, U16(0x1234), 5},
      {"string becomes wide with its NUL", Val(6, 2, Hex({0xB7, 0xBE})), 6, 6,
       std::string("H\0A\0\0\0", 6), 5},
      {"size 0 has no payload", Val(4, 0, ""), 4, 0, "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenRaw(c.stored + "tail");
    WORD type = 0, size = 0;
    void* value = nullptr;
    ASSERT_EQ(DFILE_ReadDEVValue(&main_, &type, &size, &value), DDD_OK);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(main_.cursor, c.consumed);
    if (c.payload.empty()) {
      EXPECT_EQ(value, nullptr);
    } else {
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(std::string(static_cast<char*>(value), size), c.payload);
    }
    ddd_FreeMem(value);
    DFILE_CloseFileX(&main_);
  }
}

TEST_F(DddTest, TypeSizeValuesHoldAtMostFourBytesOrAString) {
  OpenRaw(Val(3, 2, U16(7)) + Val(6, 2, Body("ok")) + Val(9, 6, "abcdef"));
  DDD_TSV v;
  ASSERT_EQ(LOCAL_ReadTypeSizeValue(&main_, &v), DDD_OK);
  EXPECT_EQ(kp_LoadU16(v.value), 7);
  ASSERT_EQ(LOCAL_ReadTypeSizeValue(&main_, &v), DDD_OK);
  EXPECT_EQ(std::u16string(v.string), u"ok");
  EXPECT_EQ(v.size, 6);
  LOCAL_FreeTSV(&v);
  EXPECT_EQ(LOCAL_ReadTypeSizeValue(&main_, &v), DDD_ERR_ARG);  // 6 bytes do not fit the value field
}

TEST_F(DddTest, ListsMustAgreeWithTheirByteLength) {
  struct Case {
    const char* what;
    std::string stored;
    WORD result;
    WORD count;
  };
  const Case cases[] = {
      {"ids", IdList({3, 4, 5}), DDD_OK, 3},
      {"empty", IdList({}), DDD_OK, 0},
      {"byte length too long", U32(8) + U16(2) + U16(1) + U16(2) + "xx", DDD_ERR_ARG, 0},
      {"byte length too short", U32(4) + U16(2) + U16(1) + U16(2), DDD_ERR_ARG, 0},
      {"byte length below the count", U32(1) + U16(0), DDD_ERR_ARG, 0},
      {"count beyond the bytes", U32(4) + U16(60000) + U16(1), DDD_ERR_ARG, 0},
      {"byte length past the end", U32(0x7FFFFFFF) + U16(1) + U16(1), DDD_ERR_ARG, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenRaw(c.stored);
    WORD count = 99;
    void* array = nullptr;
    EXPECT_EQ(LOCAL_ReadList(DDD_KIND_ID, &main_, &count, &array), c.result);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(array == nullptr, c.count == 0);
    LOCAL_FreeList(DDD_KIND_ID, count, array);
    DFILE_CloseFileX(&main_);
  }
  OpenRaw(IdList({1}));
  WORD count = 0;
  void* array = nullptr;
  EXPECT_EQ(LOCAL_ReadList(519, &main_, &count, &array), DDD_ERR_ARG);  // POINT is no list element
}

TEST_F(DddTest, ItemListsFreeWhatTheyReadWhenAnElementFails) {
  // The second ITEM's string value runs past the end of the list.
  std::string elements = Item(8, 1, 1, Val(6, 2, Body("ab"))) + U8(0) + Item(9, 1, 1, Val(6, 40, "x"));
  OpenRaw(List(2, elements));
  WORD count = 0;
  void* array = nullptr;
  EXPECT_EQ(LOCAL_ReadList(DDD_KIND_ITEM_CONNECTIVE, &main_, &count, &array), DDD_ERR_ARG);
  EXPECT_EQ(array, nullptr);  // leak-checked by the sanitizer build
}

TEST_F(DddTest, CursorNeverLeavesTheImage) {
  OpenRaw("0123456789");
  BYTE b[16];
  EXPECT_EQ(DFILE_Seek(&main_, 0, 10), DDD_OK);
  EXPECT_EQ(DFILE_Seek(&main_, 0, 11), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_Seek(&main_, 1, -11), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_Seek(&main_, 0, -1), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_SeekBack(&main_, 11), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_SeekBack(&main_, 4), DDD_OK);
  EXPECT_EQ(DFILE_ReadFile(&main_, b, 5), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_ReadFile(&main_, b, 4), DDD_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), "6789");
  EXPECT_EQ(DFILE_ReadFile(&main_, b, 0), DDD_ERR_ARG);
  EXPECT_EQ(DFILE_ReadFile(&main_, nullptr, 1), DDD_ERR_ARG);
  EXPECT_EQ(LOCAL_ReferFile(&main_, 1), nullptr);
}

TEST_F(DddTest, FifthStringBufferIsRefused) {
  OpenRaw("x");
  DDD_STRING_STATE* s = main_.strings;
  BYTE* held[4];
  for (BYTE*& h : held) ASSERT_NE(h = local_getStringBuffer(s, 10), nullptr);
  EXPECT_EQ(local_getStringBuffer(s, 10), nullptr);
  EXPECT_EQ(s->slots[0].size, static_cast<DWORD>(DDD_STRING_MIN_BUFFER));
  local_releaseStringBuffer(s, held[2]);
  // A larger request replaces the free slot's buffer.
  BYTE* big = local_getStringBuffer(s, 5000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(s->slots[2].size, 5000u);
  for (BYTE* h : {held[0], held[1], big, held[3]}) local_releaseStringBuffer(s, h);
  // Strings read while every buffer is taken fail with 4.
  DFILE_CloseFileX(&main_);
  OpenRaw(Str("HA"));
  for (BYTE*& h : held) h = local_getStringBuffer(main_.strings, 0);
  LPWSTR str = nullptr;
  DWORD bytes = 0;
  EXPECT_EQ(DFILE_ReadNegativeString(&main_, &str, &bytes), DDD_ERR_MEMORY);
  for (BYTE* h : held) local_releaseStringBuffer(main_.strings, h);
}

// --- versions ------------------------------------------------------------------

TEST(DddVersion, VersionStrings) {
  struct Case {
    const char* text;
    WORD result;
    DWORD packed;
  };
  const Case cases[] = {
      {"V:1.2.3", DDD_OK, 0x01020003},
      {"K350 Ver:255.255.65535", DDD_OK, 0xFFFFFFFF},
      {"x:0.0.0", DDD_OK, 0},
      {"a:b:1.2.3", DDD_ERR_ARG, 0},  // only the text up to the first colon is ignored
      {"V:1-2_3trailing", DDD_OK, 0x01020003},
      {"1.2.3", DDD_ERR_ARG, 0},
      {"V:1.2", DDD_ERR_ARG, 0},
      {"V:1.2.", DDD_ERR_ARG, 0},
      {"V:.2.3", DDD_ERR_ARG, 0},
      {"V:", DDD_ERR_ARG, 0},
      {"V:256.0.0", DDD_ERR_VERSION, 0},
      {"V:1.256.0", DDD_ERR_VERSION, 0},
      {"V:1.2.65536", DDD_ERR_VERSION, 0},
      {"V:99999999999999999999.1.1", DDD_ERR_VERSION, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WORD a = 0, b = 0, v = 0;
    WORD r = DFILE_strToVersion(c.text, static_cast<DWORD>(std::strlen(c.text)), &a, &b, &v);
    EXPECT_EQ(r, c.result);
    if (r == DDD_OK) {
      EXPECT_EQ(DFILE_PackVersion(a, b, v), c.packed);
    }
  }
  // The 24-byte field need not be terminated: reading stops at its end.
  char field[24];
  std::memcpy(field, "V:1.2.345678901234567890", 24);
  WORD a, b, c;
  EXPECT_EQ(DFILE_strToVersion(field, 24, &a, &b, &c), DDD_ERR_VERSION);
  std::memcpy(field, "V:1.2.3                 ", 24);
  EXPECT_EQ(DFILE_strToVersion(field, 24, &a, &b, &c), DDD_OK);
  EXPECT_EQ(DFILE_PackVersion(1, 2, 3), 0x01020003u);
}

TEST(DddVersion, FormatBytesAreSignedAndBigEndian) {
  struct Case {
    BYTE bytes[4];
    LONG packed;
  };
  const Case cases[] = {
      {{0, 0, 4, 0}, 1024},  {{0, 0, 1, 0}, 256},   {{0, 0, 16, 0}, 4096},   {{0, 0, 22, 0}, 5632},
      {{0, 0, 5, 0x80}, 1152}, {{0, 0, 0, 0xFF}, -1}, {{0xFF, 0xFF, 0xFF, 0xFF}, -16843009},
      {{0x80, 0x80, 0x80, 0x80}, INT32_MIN},  // below the 32-bit range: held as the least value
  };
  for (const Case& c : cases) {
    LONG v = 0;
    ASSERT_EQ(DFILE_strToDDDFormatVersion(c.bytes, &v), DDD_OK);
    EXPECT_EQ(v, c.packed) << int(c.bytes[0]) << "." << int(c.bytes[1]) << "." << int(c.bytes[2]) << "."
                           << int(c.bytes[3]);
  }
}

// --- opening ------------------------------------------------------------------

TEST_F(DddTest, OpeningAFilePair) {
  ModelBytes m = BuildModel(1024);
  ASSERT_EQ(OpenPair(m.main, m.ref, "Model.dDd"), DDD_OK);
  EXPECT_TRUE(main_.open);
  EXPECT_TRUE(ref_.open);
  EXPECT_EQ(main_.location, DDD_LOC_MAIN);
  EXPECT_EQ(ref_.location, DDD_LOC_REFERENCED);
  EXPECT_EQ(main_.packedVersion, 0x01020003u);
  EXPECT_EQ(main_.formatVersion, 1024);
  EXPECT_EQ(ref_.partner, &main_);
  EXPECT_EQ(ref_.strings, main_.strings);

  DDD_FILEINFO* fi = nullptr;
  ASSERT_EQ(ddd_GetFileInfo(&main_, &fi), DDD_OK);
  EXPECT_EQ(Narrow(fi->headerText), "Kestrel test data");
  EXPECT_EQ(Narrow(fi->modelName), "Scriva Test");
  EXPECT_EQ(Narrow(fi->refFileName), "modelref.DDD");
  EXPECT_EQ(fi->versionC, 3);
  void* p = fi;
  ddd_Free(&p, DDD_KIND_ANY);
  EXPECT_EQ(p, nullptr);

  size_t blocksOpen = KpGlobalBlockCount();
  EXPECT_GT(blocksOpen, 0u);
  EXPECT_EQ(ddd_CloseFile(&main_, &ref_), DDD_OK);
  EXPECT_FALSE(main_.open);
  EXPECT_FALSE(ref_.open);
  EXPECT_EQ(ddd_CloseFile(&main_, &ref_), DDD_ERR_ARG);
}

TEST_F(DddTest, OpeningFailures) {
  ModelBytes good = BuildModel(1280);
  auto withHeader = [&](size_t at, const std::string& bytes) {
    std::string s = good.main;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  auto version = [&](const std::string& v) { return withHeader(64, FileBuilder::Fixed(v, 24)); };
  FileBuilder noRef;
  noRef.refName = "missing.DDD";
  FileBuilder badRefName;
  badRefName.refName = "..\\other.DDD";
  FileBuilder badRefVersion;
  badRefVersion.version = "no colon";
  struct Case {
    const char* what;
    std::string name;
    std::string main;
    std::string ref;
    WORD result;
  };
  const Case cases[] = {
      {"extension .dat", "model.dat", good.main, good.ref, DDD_ERR_ARG},
      {"no extension", "model", good.main, good.ref, DDD_ERR_ARG},
      {"extension longer than DDD", "model.DDDX", good.main, good.ref, DDD_ERR_ARG},
      {"empty file", "model.DDD", "", good.ref, DDD_ERR_ARG},
      {"one byte", "model.DDD", "V", good.ref, DDD_ERR_ARG},
      {"223 bytes", "model.DDD", good.main.substr(0, 223), good.ref, DDD_ERR_ARG},
      {"version without colon", "model.DDD", version("1.2.3"), good.ref, DDD_ERR_ARG},
      {"version ending early", "model.DDD", version("V:1.2"), good.ref, DDD_ERR_ARG},
      {"version number over its limit", "model.DDD", version("V:1.2.70000"), good.ref, DDD_ERR_VERSION},
      {"referenced file missing", "model.DDD", noRef.Build(), "", DDD_ERR_ARG},
      {"referenced name leaves the folder", "model.DDD", badRefName.Build(), good.ref, DDD_ERR_ARG},
      {"referenced file with a bad version", "model.DDD", good.main, badRefVersion.Build(), DDD_ERR_ARG},
      {"referenced file too short", "model.DDD", good.main, good.ref.substr(0, 100), DDD_ERR_ARG},
  };
  size_t blocks = KpGlobalBlockCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(root_.host("c/ddd"));
    EXPECT_EQ(OpenPair(c.main, c.ref, c.name), c.result);
    EXPECT_FALSE(main_.open);
    EXPECT_FALSE(ref_.open);
    EXPECT_EQ(KpGlobalBlockCount(), blocks);
    EXPECT_EQ(KpMappedViewCount(), 0u);
  }
  // Null arguments and contexts that are already open.
  EXPECT_EQ(ddd_OpenFile(nullptr, 0, &main_, &ref_), DDD_ERR_ARG);
  EXPECT_EQ(ddd_OpenFile(u"C:\\ddd\\model.DDD", 0, &main_, &main_), DDD_ERR_ARG);
}

TEST_F(DddTest, EmptyReferencedNameOpensTheMainFileAlone) {
  ModelBytes m = BuildModel(1280);
  std::string main = m.main;
  std::memset(&main[DDD_REFNAME_OFFSET], 0, DDD_REFNAME_SIZE);
  ASSERT_EQ(OpenPair(main, ""), DDD_OK);
  EXPECT_TRUE(main_.open);
  EXPECT_FALSE(ref_.open);
  EXPECT_EQ(ref_.location, DDD_LOC_REFERENCED);
  Held a4(Get(DDD_QUICK, DDD_CAT_PAPER, 9));
  EXPECT_TRUE(a4);
  // Letter's table entry names the referenced file.
  Held letter;
  EXPECT_EQ(ddd_GetDataByIDX(DDD_QUICK, &main_, &ref_, DDD_CAT_PAPER, 1, 0, letter.out()), DDD_ERR_ARG);
  EXPECT_FALSE(letter);
}

TEST_F(DddTest, UnterminatedHeaderStringsStayInTheirFields) {
  FileBuilder f;
  f.headerText = std::string(64, 'H');
  f.model = std::string(64, 'M');
  ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
  DDD_FILEINFO* fi = nullptr;
  ASSERT_EQ(ddd_GetFileInfo(&main_, &fi), DDD_OK);
  EXPECT_EQ(Narrow(fi->headerText), std::string(64, 'H'));
  EXPECT_EQ(Narrow(fi->modelName), std::string(64, 'M'));
  void* p = fi;
  ddd_Free(&p, DDD_CAT_FILEINFO);
}

// --- tables ---------------------------------------------------------------------

TEST_F(DddTest, CategoryTable) {
  ASSERT_EQ(OpenModel(), DDD_OK);
  // Categories outside the table.
  for (WORD c : {0, 1, 2, 24, 999}) EXPECT_EQ(DFILE_GotoDataOffsetTable(&main_, c, 4), DDD_ERR_NOTFOUND) << c;
  // Counts in the fixed order (category 17 is entry 4).
  struct Count {
    WORD category, count;
  };
  for (Count c : {Count{3, 1}, Count{4, 3}, Count{5, 1}, Count{6, 1}, Count{17, 6}, Count{7, 1}, Count{10, 2},
                  Count{13, 2}, Count{14, 10}, Count{20, 3}, Count{23, 1}})
    EXPECT_EQ(ddd_GetNumOfData(&main_, c.category), c.count) << c.category;
  EXPECT_EQ(ddd_GetNumOfData(&main_, 1), 0);
}

TEST_F(DddTest, CategoryTableCountIsChecked) {
  ModelBytes m = BuildModel(1280);
  std::string main = m.main;
  // The category table lies at 228 + item 0; cut its count to 5 entries.
  DWORD at = 228 + kp_LoadU32(reinterpret_cast<const BYTE*>(&main[224]));
  main[at + 4] = 5;
  main[at + 5] = 0;
  ASSERT_EQ(OpenPair(main, m.ref), DDD_OK);
  EXPECT_EQ(ddd_GetNumOfData(&main_, 17), 6);  // entry 4
  EXPECT_EQ(ddd_GetNumOfData(&main_, 7), 0);   // entry 5: beyond the count
  EXPECT_EQ(DFILE_GotoDataOffsetTable(&main_, 7, 4), DDD_ERR_NOTFOUND);
}

TEST_F(DddTest, LookUpsByIdAndPosition) {
  ASSERT_EQ(OpenModel(), DDD_OK);
  struct Case {
    const char* what;
    WORD mode, category, key;
    WORD result, location, id;
  };
  const Case cases[] = {
      {"by id", 0, 10, 9, DDD_OK, DDD_LOC_MAIN, 9},
      {"by id in the referenced file", 0, 10, 1, DDD_OK, DDD_LOC_REFERENCED, 1},
      {"absent id", 0, 10, 77, DDD_ERR_NOTFOUND, 0, 0},
      {"first position", 1, 10, 1, DDD_OK, DDD_LOC_MAIN, 9},
      {"last position", 1, 10, 2, DDD_OK, DDD_LOC_REFERENCED, 1},
      {"position 0", 1, 10, 0, DDD_ERR_NOTFOUND, 0, 0},
      {"position past the end", 1, 10, 3, DDD_ERR_NOTFOUND, 0, 0},
      {"category without a table", 0, 2, 1, DDD_ERR_NOTFOUND, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held rec;
    WORD r = c.mode == 1 ? ddd_GetDataByIndexX(DDD_QUICK, &main_, &ref_, c.category, c.key, rec.out())
                         : ddd_GetDataByIDX(DDD_QUICK, &main_, &ref_, c.category, c.key, 0, rec.out());
    EXPECT_EQ(r, c.result);
    ASSERT_EQ(bool(rec), r == DDD_OK);
    if (r) continue;
    EXPECT_EQ(rec.as<DDD_HEAD>()->location, c.location);
    EXPECT_EQ(rec.as<DDD_HEAD>()->id, c.id);
    EXPECT_EQ(rec.as<DDD_HEAD>()->file, c.location == DDD_LOC_MAIN ? &main_ : &ref_);
  }
}

TEST_F(DddTest, LookUpOfAnOptionsItemByNumber) {
  ASSERT_EQ(OpenModel(), DDD_OK);
  Held item;
  ASSERT_EQ(ddd_GetDataByIDX(DDD_FULL, &main_, &ref_, DDD_CAT_OPTION_DOC, 8, 2, item.out()), DDD_OK);
  EXPECT_EQ(item.as<DDD_HEAD>()->kind, DDD_CAT_OPTIONITEM_DOC);
  EXPECT_EQ(Narrow(item.as<DDD_OPTIONITEM>()->name.str), "Letter");
  Held none;
  EXPECT_EQ(ddd_GetDataByIDX(DDD_FULL, &main_, &ref_, DDD_CAT_OPTION_DOC, 8, 4, none.out()), DDD_ERR_NOTFOUND);
  EXPECT_EQ(ddd_GetDataByIDX(DDD_FULL, &main_, &ref_, DDD_CAT_PAPER, 9, 1, none.out()), DDD_ERR_ARG);
  Held installable;
  ASSERT_EQ(ddd_GetDataByIDX(DDD_QUICK, &main_, &ref_, DDD_CAT_OPTION_INSTALL, 4097, 2, installable.out()), DDD_OK);
  EXPECT_EQ(installable.as<DDD_HEAD>()->kind, DDD_CAT_OPTIONITEM_INSTALL);
}

}  // namespace
}  // namespace kestrel::test::ddd
