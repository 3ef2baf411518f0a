// The per-user store: per-user values, the 980-byte user-setting record, its
// defaults, older versions, the registry check and the model's forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/root.h"
#include "kplatform/winspool.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

WORD Word(const void* p, size_t offset) {
  WORD v;
  std::memcpy(&v, static_cast<const BYTE*>(p) + offset, 2);
  return v;
}
std::u16string Text(const void* p, size_t offset) {
  return reinterpret_cast<const char16_t*>(static_cast<const BYTE*>(p) + offset);
}

class UserSettingTest : public UiTest {
 protected:
  // Writes a string member of the printer data.
  void SetText(std::vector<BYTE>& pd, WORD id, const std::u16string& text) {
    ASSERT_EQ(
        ddm_SetValue(id, nullptr, pd.data(), DDM_TYPE_STRING, static_cast<DWORD>((text.size() + 1) * 2), text.c_str()),
        0)
        << id;
  }
  // Fills every per-user member with a value of its own: strings "n<row>",
  // scalars from the id's low bits.
  void FillMembers(std::vector<BYTE>& pd) {
    const USERSETTING_MEMBER* m = UserSetting_Members();
    for (int i = 0; i < USERSETTING_MEMBERS; ++i) {
      if (m[i].type == DDM_TYPE_STRING) {
        SetText(pd, m[i].ddmId,
                std::u16string(u"n") + static_cast<char16_t>(u'0' + i / 10) + static_cast<char16_t>(u'0' + i % 10));
      } else {
        LONG v = m[i].type == DDM_TYPE_FLAG ? 1 : (m[i].ddmId & 0x7F) + 1;
        BYTE bytes[4] = {};
        std::memcpy(bytes, &v, 4);
        ASSERT_EQ(ddm_SetValue(m[i].ddmId, nullptr, pd.data(), m[i].type, m[i].width, bytes), 0) << m[i].ddmId;
      }
    }
  }
  // The defaults this printer's model gets.
  USERSETTINGINFO Defaults() {
    USERSETTINGINFO d;
    SetDefaultCurrentUserSettingInfo(FALSE, &d);
    WORD status = 0;
    LPWSTR model = cdddGetModelName(ddd_, &status);
    EXPECT_NE(model, nullptr);
    if (model) std::memcpy(d.modelName, model, (std::char_traits<char16_t>::length(model) + 1) * 2);
    kcore_Free(model);
    return d;
  }
  // Writes raw bytes as the user's "UserSettingInfo".
  void PutStored(const void* data, DWORD size, DWORD type = REG_BINARY) {
    ASSERT_TRUE(SaveCurrentUserData(printer_, ddd_, data, size, type, nullptr, USERSETTING_VALUE));
  }
  USERSETTINGINFO Load(BOOL carryOver) {
    USERSETTINGINFO r;
    std::memset(&r, 0xAB, sizeof(r));
    EXPECT_TRUE(LoadCurrentUserSettingInfo(printer_, ddd_, &r, 0, carryOver));
    return r;
  }
};

bool Same(const USERSETTINGINFO& a, const USERSETTINGINFO& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST_F(UserSettingTest, TheRecordRoundTripsEveryPerUserMemberAndNothingElse) {
  FillMembers(pd_);
  SetText(pd_, 5152, u"queue");  // not per user
  USERSETTINGINFO r;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &r));

  EXPECT_EQ(Word(&r, 0), 980);
  EXPECT_EQ(Word(&r, 2), USERSETTING_VERSION);
  EXPECT_EQ(Word(&r, 4), USERSETTING_MEMBERS);
  EXPECT_EQ(Text(&r, 8), u"Scriva K350");
  // Key places of the layout, as bytes.
  EXPECT_EQ(Text(&r, 72), GetString(5121));
  EXPECT_EQ(Word(&r, 138), (5127 & 0x7F) + 1);
  EXPECT_EQ(r.data[140 - 72], (5164 & 0x7F) + 1);
  EXPECT_EQ(Text(&r, 468), GetString(5150));
  EXPECT_EQ(Word(&r, 536), (5178 & 0x7F) + 1);
  EXPECT_EQ(Text(&r, 756), GetString(5185));
  for (size_t pad : {141u, 274u, 275u, 467u}) EXPECT_EQ(reinterpret_cast<BYTE*>(&r)[pad], 0) << pad;
  for (BYTE b : r.reserved2) ASSERT_EQ(b, 0);

  // Into a record whose other members differ: only the per-user ones change.
  std::vector<BYTE> other(NRV_PRINTERDATA_SIZE, 0);
  SetText(other, 5152, u"other queue");
  std::vector<BYTE> expected = other;
  ASSERT_TRUE(SetCurrentUserSettingInfo(other.data(), &r, 0));
  for (const USERSETTING_MEMBER* m = UserSetting_Members(); m != UserSetting_Members() + USERSETTING_MEMBERS; ++m) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR a = 0, b = 0;
    ASSERT_EQ(ddm_GetValue(m->ddmId, nullptr, other.data(), &type, &size, &a), 0);
    ASSERT_EQ(ddm_GetValue(m->ddmId, nullptr, pd_.data(), &type, &size, &b), 0);
    if (type == DDM_TYPE_STRING)
      EXPECT_EQ(Text(reinterpret_cast<void*>(a), 0), Text(reinterpret_cast<void*>(b), 0)) << m->ddmId;
    else
      EXPECT_EQ(a, b) << m->ddmId;
    ASSERT_EQ(ddm_SetValue(m->ddmId, nullptr, expected.data(), type, size,
                           type == DDM_TYPE_STRING ? reinterpret_cast<void*>(b) : static_cast<void*>(&b)),
              0);
  }
  EXPECT_EQ(other, expected) << "bytes outside the per-user members untouched";
}

TEST_F(UserSettingTest, ASavedRecordIsReadBackAfterTheRegistryIsReopened) {
  FillMembers(pd_);
  USERSETTINGINFO saved;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &saved));
  ASSERT_TRUE(SaveCurrentUserSettingInfo(printer_, ddd_, &saved, 0));
  BYTE id[PRNID_SIZE];
  ASSERT_TRUE(getPRNID(printer_, id));

  // Everything closed, the same folder made the root again: the store is
  // opened afresh from disk.
  cddd_Close(ddd_);
  ddd_ = nullptr;
  ClosePrinter(printer_);
  printer_ = nullptr;
  for (HANDLE p : printers_) ClosePrinter(p);
  printers_.clear();
  ASSERT_TRUE(KpSetRoot(root_.path().c_str()));
  ASSERT_EQ(AddModelAPrinter(kPrinter), "");
  std::u16string name = kPrinter;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
  ASSERT_NE(printer_, nullptr);
  ddd_ = cddd_Open(printer_);
  ASSERT_NE(ddd_, nullptr);

  BYTE again[PRNID_SIZE];
  ASSERT_TRUE(getPRNID(printer_, again));
  EXPECT_EQ(std::memcmp(id, again, PRNID_SIZE), 0);
  EXPECT_TRUE(CurrentUserSettingInfoRegCheck(printer_, ddd_));
  USERSETTINGINFO loaded = Load(FALSE);
  EXPECT_TRUE(Same(loaded, saved));

  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE, 0);
  ASSERT_TRUE(SetCurrentUserSettingInfo(pd.data(), &loaded, 0));
  EXPECT_EQ(Text(pd.data(), 18), GetString(5121)) << "5121 lies at printer-data offset 18";
}

TEST_F(UserSettingTest, DefaultsFollowTheCapabilityFlag) {
  ASSERT_TRUE(KpSetUserName(u"alice"));
  USERSETTINGINFO clear, set;
  EXPECT_TRUE(SetDefaultCurrentUserSettingInfo(FALSE, &clear));
  EXPECT_TRUE(SetDefaultCurrentUserSettingInfo(TRUE, &set));
  struct Case {
    const USERSETTINGINFO* r;
    const char16_t* owner1;  // 5121
    const char16_t* owner2;  // 5150
    const char16_t* user;    // 5174
  } cases[] = {{&clear, u"User", u"User", u""}, {&set, u"", u"", u"alice"}};
  for (const Case& c : cases) {
    EXPECT_EQ(Word(c.r, 0), 980);
    EXPECT_EQ(Word(c.r, 2), USERSETTING_VERSION);
    EXPECT_EQ(Text(c.r, 8), u"") << "the defaults carry no model name";
    EXPECT_EQ(Text(c.r, 72), c.owner1);
    EXPECT_EQ(Text(c.r, 468), c.owner2);
    EXPECT_EQ(Text(c.r, 300), c.user);
    EXPECT_EQ(Word(c.r, 138), 0);
    EXPECT_EQ(Word(c.r, 536), 0);
  }
  EXPECT_FALSE(SetDefaultCurrentUserSettingInfo(FALSE, nullptr));

  // A logged-on name that cannot be read: the common library's stand-in.
  ASSERT_TRUE(KpSetUserName(nullptr));
  EXPECT_TRUE(SetDefaultCurrentUserSettingInfo(TRUE, &set));
  EXPECT_EQ(Text(&set, 300), u"UnknownUser");
}

TEST_F(UserSettingTest, AMissingValueGivesTheModelsDefaults) {
  ASSERT_FALSE(zanLib_CheckCapability_Indirect(ddd_, USERSETTING_CAPABILITY)) << "model A has no account tool";
  USERSETTINGINFO r = Load(FALSE);
  EXPECT_TRUE(Same(r, Defaults()));
  EXPECT_EQ(Text(&r, 8), u"Scriva K350");
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, ddd_)) << "loading stores nothing";
  EXPECT_FALSE(LoadCurrentUserSettingInfo(printer_, ddd_, nullptr, 0, FALSE));
  EXPECT_FALSE(LoadCurrentUserSettingInfo(printer_, nullptr, &r, 0, FALSE));
}

TEST_F(UserSettingTest, AnOlderVersionIsCarriedOverOnlyWithTheFlag) {
  FillMembers(pd_);
  USERSETTINGINFO old;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &old));
  old.version[0] = USERSETTING_VERSION_1;
  old.members[0] = USERSETTING_MEMBERS_1;
  std::memset(old.data + (400 - 72), 'A', 66);  // 5176 without its NUL
  PutStored(&old, sizeof(old));

  USERSETTINGINFO defaults = Defaults();
  EXPECT_TRUE(Same(Load(FALSE), defaults)) << "without the flag: the defaults";

  USERSETTINGINFO r = Load(TRUE);
  EXPECT_EQ(Word(&r, 2), USERSETTING_VERSION);
  EXPECT_EQ(Word(&r, 4), USERSETTING_MEMBERS);
  for (const USERSETTING_MEMBER* m = UserSetting_Members(); m != UserSetting_Members() + USERSETTING_MEMBERS; ++m) {
    const BYTE* from = (m->since == USERSETTING_VERSION_1 && m->ddmId != 5176) ? reinterpret_cast<BYTE*>(&old)
                                                                               : reinterpret_cast<BYTE*>(&defaults);
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(&r) + m->offset, from + m->offset, m->width), 0) << m->ddmId;
  }
  EXPECT_EQ(Text(&r, 468), u"User") << "a member the older structure lacked gets its default";
  EXPECT_TRUE(SetCurrentUserSettingInfo(pd_.data(), &r, 0));
}

TEST_F(UserSettingTest, ACurrentRecordKeepsTheDefaultOfAnUnterminatedString) {
  FillMembers(pd_);
  USERSETTINGINFO stored;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &stored));
  std::memset(stored.data + (468 - 72), 'D', 66);  // 5150 without its NUL
  PutStored(&stored, sizeof(stored));
  USERSETTINGINFO r = Load(FALSE);
  EXPECT_EQ(Text(&r, 468), u"User");
  EXPECT_EQ(Text(&r, 72), GetString(5121)) << "the other members are taken";
  EXPECT_EQ(Word(&r, 536), Word(&stored, 536));
  EXPECT_TRUE(SetCurrentUserSettingInfo(pd_.data(), &r, 0));
}

TEST_F(UserSettingTest, AFaultyStoredValueGivesTheDefaultsAndStaysStored) {
  FillMembers(pd_);
  USERSETTINGINFO good;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &good));
  struct Case {
    const char* what;
    DWORD size;
    DWORD type;
    void (*spoil)(USERSETTINGINFO*);
  } cases[] = {
      {"short", 979, REG_BINARY, [](USERSETTINGINFO*) {}},
      {"not binary", 980, REG_SZ, [](USERSETTINGINFO*) {}},
      {"size word", 980, REG_BINARY, [](USERSETTINGINFO* r) { r->size[0] = 0; }},
      {"version 0", 980, REG_BINARY, [](USERSETTINGINFO* r) { r->version[0] = 0; }},
      {"newer version", 980, REG_BINARY, [](USERSETTINGINFO* r) { r->version[0] = USERSETTING_VERSION + 1; }},
      {"other model", 980, REG_BINARY, [](USERSETTINGINFO* r) { std::memcpy(r->modelName, u"Scriva K260", 24); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> bytes(1000, 0);
    std::memcpy(bytes.data(), &good, sizeof(good));
    c.spoil(reinterpret_cast<USERSETTINGINFO*>(bytes.data()));
    PutStored(bytes.data(), c.size, c.type);
    EXPECT_TRUE(Same(Load(TRUE), Defaults()));
    std::vector<BYTE> back(1000, 0);
    DWORD size = static_cast<DWORD>(back.size());
    EXPECT_EQ(LoadCurrentUserData(printer_, ddd_, back.data(), &size, c.type, nullptr, USERSETTING_VALUE), 0);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(std::memcmp(back.data(), bytes.data(), c.size), 0);
  }
}

TEST_F(UserSettingTest, RecordsThatAreNotOursAreRefusedAndChangeNothing) {
  FillMembers(pd_);
  USERSETTINGINFO r;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &r));
  std::vector<BYTE> target(NRV_PRINTERDATA_SIZE, 0x11);
  SetText(target, 5121, u"keep");
  const std::vector<BYTE> before = target;

  USERSETTINGINFO unterminated = r;
  std::memset(unterminated.data + (756 - 72), 'B', 34);  // 5185, the last member, without its NUL
  USERSETTINGINFO older = r;
  older.version[0] = USERSETTING_VERSION_1;
  USERSETTINGINFO badSize = r;
  badSize.size[1] = 0;
  struct Case {
    const char* what;
    const USERSETTINGINFO* record;
    DWORD selector;
  } cases[] = {{"last member unterminated", &unterminated, 0},
               {"older version", &older, 0},
               {"size word", &badSize, 0},
               {"selector 1", &r, 1}};
  for (const Case& c : cases) {
    EXPECT_FALSE(SetCurrentUserSettingInfo(target.data(), c.record, c.selector)) << c.what;
    EXPECT_EQ(target, before) << c.what << ": the record is left as it was";
  }
  EXPECT_FALSE(SaveCurrentUserSettingInfo(printer_, ddd_, &older, 0));
  EXPECT_FALSE(SaveCurrentUserSettingInfo(printer_, ddd_, &badSize, 0));
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, ddd_)) << "nothing stored";

  // A member that cannot be read, or a model name that is missing.
  USERSETTINGINFO got;
  std::vector<BYTE> broken = pd_;
  std::memset(broken.data() + 18, 'C', 66);  // 5121 without its NUL
  EXPECT_FALSE(GetCurrentUserSettingInfo(printer_, ddd_, broken.data(), &got));
  EXPECT_FALSE(GetCurrentUserSettingInfo(printer_, nullptr, pd_.data(), &got));
  EXPECT_FALSE(GetCurrentUserSettingInfo(printer_, ddd_, nullptr, &got));
}

TEST_F(UserSettingTest, RegCheckNeedsTheIdAndTheValueAndMakesNeither) {
  BYTE id[PRNID_SIZE];
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, ddd_));
  EXPECT_FALSE(getPRNID(printer_, id)) << "the check made no id";

  HKEY key = nullptr;
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, nullptr, &key));  // the id and the key, no value
  RegCloseKey(key);
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, ddd_));

  USERSETTINGINFO r;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, pd_.data(), &r));
  ASSERT_TRUE(SaveCurrentUserSettingInfo(printer_, ddd_, &r, 2));
  EXPECT_TRUE(CurrentUserSettingInfoRegCheck(printer_, ddd_));
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, nullptr));

  ASSERT_TRUE(KpSetUserName(u"someone else"));
  EXPECT_FALSE(CurrentUserSettingInfoRegCheck(printer_, ddd_)) << "the value is the first user's";
}

TEST_F(UserSettingTest, PerUserValuesRoundTripAndFailWithoutTouchingTheDestination) {
  const BYTE data[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(SaveCurrentUserData(printer_, ddd_, data, 6, REG_BINARY, u"Sub", u"N_Dev"));
  ASSERT_TRUE(SaveCurrentUserData(printer_, ddd_, data, 4, REG_DWORD, nullptr, u"N_DevSize"));

  struct Case {
    const char* what;
    DWORD capacity;
    DWORD type;
    const char16_t* sub;
    const char16_t* name;
    LONG result;
    DWORD sizeAfter;
  } cases[] = {
      {"exact", 6, REG_BINARY, u"Sub", u"N_Dev", 0, 6},
      {"room to spare", 8, REG_BINARY, u"Sub", u"N_Dev", 0, 6},
      {"dword in the key itself", 4, REG_DWORD, nullptr, u"N_DevSize", 0, 4},
      {"too small", 5, REG_BINARY, u"Sub", u"N_Dev", ERROR_MORE_DATA, 6},
      {"other type", 6, REG_DWORD, u"Sub", u"N_Dev", USERDATA_ERROR_TYPE, 6},
      {"missing", 6, REG_BINARY, nullptr, u"N_Dev", ERROR_FILE_NOT_FOUND, 6},
  };
  for (const Case& c : cases) {
    BYTE out[8];
    std::memset(out, 0xEE, sizeof(out));
    DWORD size = c.capacity;
    EXPECT_EQ(LoadCurrentUserData(printer_, ddd_, out, &size, c.type, c.sub, c.name), c.result) << c.what;
    if (c.result == 0) {
      EXPECT_EQ(size, c.sizeAfter) << c.what;
      EXPECT_EQ(std::memcmp(out, data, size), 0) << c.what;
    } else {
      for (BYTE b : out) ASSERT_EQ(b, 0xEE) << c.what;
      if (c.result == ERROR_MORE_DATA) {
        EXPECT_EQ(size, c.sizeAfter) << c.what;
      }
    }
  }
  DWORD size = 6;
  EXPECT_EQ(LoadCurrentUserData(printer_, ddd_, nullptr, &size, REG_BINARY, u"Sub", u"N_Dev"), -1);
  BYTE out[6];
  EXPECT_EQ(LoadCurrentUserData(printer_, ddd_, out, nullptr, REG_BINARY, u"Sub", u"N_Dev"), -1);
  EXPECT_FALSE(SaveCurrentUserData(printer_, nullptr, data, 6, REG_BINARY, nullptr, u"N_Dev"));
}

// The model's papers that are forms of their own: not 256 and not built in.
struct ModelForm {
  std::u16string name;
  WORD id;
};

class AddFormsTest : public UiTest {
 protected:
  std::vector<ModelForm> ModelForms() {
    std::vector<ModelForm> out;
    for (WORD i = 1;; ++i) {
      void* rec = nullptr;
      if (ddd_GetDataByIndexX(DDD_FULL, ddd_->main, ddd_->referenced, DDD_CAT_PAPER, i, &rec) != DDD_OK) break;
      auto* p = static_cast<DDD_PAPER*>(rec);
      WORD id = p->head.id;
      if (id != 256 && !IsSystemBuiltinPaperID(printer_, id)) {
        WCHAR name[64] = {};
        if (zanLib_IsUsrDefPaper(id)) {
          EXPECT_TRUE(zanLib_GetUsrDefPap_DefaultName(zanLib_GetUsrDefPapIndex(id), name, 64));
        } else {
          std::memcpy(name, p->name.str, p->name.bytes);
        }
        out.push_back({name, id});
      }
      ddd_Free(&rec, DDD_KIND_ANY);
    }
    return out;
  }
  std::vector<FORM_INFO_1W> Forms(std::vector<std::u16string>& names) {
    FORM_INFO_1W* forms = nullptr;
    DWORD bytes = 0, count = 0;
    EXPECT_EQ(MyEnumForms(printer_, &forms, &bytes, &count), FORMS_OK);
    std::vector<FORM_INFO_1W> out(forms, forms + count);
    names.clear();
    for (auto& f : out) names.emplace_back(f.pName);
    for (size_t i = 0; i < out.size(); ++i) out[i].pName = names[i].data();
    kcore_Free(forms);
    return out;
  }
  const FORM_INFO_1W* Find(const std::vector<FORM_INFO_1W>& forms, const std::u16string& name) {
    const FORM_INFO_1W* hit = nullptr;
    for (const auto& f : forms)
      if (f.pName == name) {
        EXPECT_EQ(hit, nullptr) << "one form of a name";
        hit = &f;
      }
    return hit;
  }
};

TEST_F(AddFormsTest, OnlyTheMissingFormsAreAddedWithTheirSizes) {
  std::vector<ModelForm> expected = ModelForms();
  ASSERT_GE(expected.size(), 4u);
  std::vector<std::u16string> names;
  const size_t before = Forms(names).size();

  // One of them is already there in lower case and with another size.
  std::u16string present = expected[0].name;
  for (auto& ch : present) ch = (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 32) : ch;
  FORM_INFO_1W mine = {FORM_USER, present.data(), {100000, 100000}, {0, 0, 100000, 100000}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&mine)));

  EXPECT_TRUE(AddPrinterForms(printer_, ddd_));
  std::vector<FORM_INFO_1W> forms = Forms(names);
  EXPECT_EQ(forms.size(), before + expected.size());
  const FORM_INFO_1W* kept = Find(forms, present);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Size.cx, 100000) << "an existing form is left alone";
  for (size_t i = 1; i < expected.size(); ++i) {
    const FORM_INFO_1W* f = Find(forms, expected[i].name);
    ASSERT_NE(f, nullptr) << std::string(expected[i].name.begin(), expected[i].name.end());
    if (zanLib_IsUsrDefPaper(expected[i].id)) {
      EXPECT_EQ(f->Size.cx, 210000);
      EXPECT_EQ(f->Size.cy, 297000);
    }
  }
  // Model A: K8 is 270 x 390 mm with 4.2 mm margins.
  const FORM_INFO_1W* k8 = nullptr;
  for (const auto& e : expected)
    if (e.id == 257) k8 = Find(forms, e.name);
  ASSERT_NE(k8, nullptr);
  EXPECT_EQ(k8->Size.cx, 270000);
  EXPECT_EQ(k8->Size.cy, 390000);
  EXPECT_EQ(k8->ImageableArea.left, 4200);
  EXPECT_EQ(k8->ImageableArea.right, 270000 - 4200);
  EXPECT_EQ(k8->ImageableArea.bottom, 390000 - 4200);
  EXPECT_EQ(Find(forms, u"User Defined 1"), nullptr) << "slots go under their default names";

  EXPECT_TRUE(AddPrinterForms(printer_, ddd_));
  EXPECT_EQ(Forms(names).size(), forms.size()) << "a second run adds nothing";
}

TEST_F(AddFormsTest, FormsThatCannotBeListedAddNothing) {
  std::vector<std::u16string> names;
  const size_t before = Forms(names).size();
  KpSpoolerFailEnumForms(TRUE);
  EXPECT_FALSE(AddPrinterForms(printer_, ddd_));
  KpSpoolerFailEnumForms(FALSE);
  EXPECT_EQ(Forms(names).size(), before);
  EXPECT_FALSE(AddPrinterForms(printer_, nullptr));
}

}  // namespace
}  // namespace kestrel::test::ui
