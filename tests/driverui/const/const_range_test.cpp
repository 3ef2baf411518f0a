// The range check's message: number formatting, the range read from the
// model, the texts of strings 300 and 301 and the boxes the check shows.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiwindata.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x2100);
const HWND kBareWindow = reinterpret_cast<HWND>(0x2101);  // no UI data

TEST(RangeMessageFormat, Numbers) {
  struct Case {
    LONG value;
    BOOL isSigned;
    WORD decimals;
    int cch;
    const char16_t* text;  // "" when the call fails
  };
  const Case cases[] = {
      {25, TRUE, 0, 32, u"25"},
      {-50, TRUE, 0, 32, u"-50"},
      {-1, FALSE, 0, 32, u"4294967295"},
      {2100, TRUE, 1, 32, u"210.0"},
      {2105, FALSE, 2, 32, u"21.05"},
      {5, TRUE, 2, 32, u"0.05"},
      {120, TRUE, 3, 32, u"0.120"},
      {-5, TRUE, 1, 32, u"-0.5"},  // the sign once, before the whole part
      {-1205, TRUE, 2, 32, u"-12.05"},
      {static_cast<LONG>(0x80000000u), TRUE, 1, 32, u"-214748364.8"},
      {static_cast<LONG>(0x80000000u), FALSE, 1, 32, u"214748364.8"},
      {7, TRUE, 9, 32, u"0.000000007"},
      {7, TRUE, 10, 32, u""},      // more decimals than a 32-bit value has
      {12345, TRUE, 0, 5, u""},    // no room for the terminator
      {12345, TRUE, 0, 6, u"12345"},
      {-5, TRUE, 1, 4, u""},
      {-5, TRUE, 1, 5, u"-0.5"},
  };
  for (const Case& c : cases) {
    WCHAR out[32];
    out[0] = u'x';
    int n = cnsMkMsg_FormatNumber(c.value, c.isSigned, c.decimals, out, c.cch);
    std::u16string want = c.text;
    EXPECT_EQ(n, static_cast<int>(want.size())) << c.value << "/" << c.decimals << "/" << c.cch;
    EXPECT_EQ(std::u16string(out), want) << c.value << "/" << c.decimals << "/" << c.cch;
  }
  EXPECT_EQ(cnsMkMsg_FormatNumber(1, TRUE, 0, nullptr, 8), 0);
}

class RangeTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    data_ = {sizeof(UIWINDATA), printer_, ddd_, dm_.data(), pd_.data(), UIWINDATA_UNIT_MM, 0, nullptr};
    SetWindowLongPtrW(kWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data_));
    settings_ = {ddd_, dm_.data(), pd_.data()};
  }
  UIWINDATA data_ = {};
  CONST_SETTINGS settings_ = {};
};

TEST_F(RangeTest, RangeOfASetting) {
  struct Case {
    WORD id;
    WORD result;
    LONG minimum, maximum;
    BOOL isSigned;
    const char16_t* name;
  };
  const Case cases[] = {
      {11, CONST_OK, 25, 400, TRUE, u"Scale"},
      {12, CONST_OK, 1, 9999, TRUE, u"Copies"},
      {263, CONST_OK, 25, 400, FALSE, u"Zoom"},
      {274, CONST_OK, -50, 50, TRUE, u"Brightness"},
      {8, CONST_ERR, 0, 0, FALSE, nullptr},     // a list setting
      {9999, CONST_ERR, 0, 0, FALSE, nullptr},  // no such setting
  };
  for (const Case& c : cases) {
    CONST_RANGE r;
    ASSERT_EQ(cnstUtil_GetRange(ddd_, c.id, &r), c.result) << c.id;
    if (c.result != CONST_OK) {
      EXPECT_EQ(r.name, nullptr);
      continue;
    }
    EXPECT_EQ(r.minimum, c.minimum) << c.id;
    EXPECT_EQ(r.maximum, c.maximum) << c.id;
    EXPECT_EQ(r.isSigned, c.isSigned) << c.id;
    EXPECT_EQ(r.itemKind, DDD_CAT_OPTIONITEM_DOC) << c.id;
    ASSERT_NE(r.name, nullptr);
    EXPECT_EQ(std::u16string(r.name), c.name);
    cnstUtil_FreeRange(&r);
  }
  EXPECT_EQ(cnstUtil_GetRange(nullptr, 11, nullptr), CONST_ERR);
}

TEST_F(RangeTest, TextsOfThePrinterAndTheDocumentRange) {
  WCHAR name[] = u"Tray Capacity";
  struct Case {
    CONST_RANGE range;
    int cch;
    BOOL built;
    const char16_t* text;
  };
  const Case cases[] = {
      {{10, 500, DDD_CAT_OPTIONITEM_INSTALL, TRUE, name}, 128, TRUE,
       u"Tray Capacity: this printer accepts values from 10 to 500."},
      {{-50, 50, DDD_CAT_OPTIONITEM_DOC, TRUE, name}, 128, TRUE, u"Tray Capacity: enter a value from -50 to 50."},
      {{-1, -1, DDD_CAT_OPTIONITEM_DOC, FALSE, nullptr}, 128, TRUE,
       u": enter a value from 4294967295 to 4294967295."},
      {{-50, 50, DDD_CAT_OPTIONITEM_DOC, TRUE, name}, 45, TRUE, u"Tray Capacity: enter a value from -50 to 50."},
      {{-50, 50, DDD_CAT_OPTIONITEM_DOC, TRUE, name}, 44, FALSE, u""},  // one short: nothing half-built
  };
  for (const Case& c : cases) {
    WCHAR out[128];
    out[0] = u'x';
    EXPECT_EQ(cnsMkMsg_Range(&c.range, out, c.cch), c.built) << c.cch;
    EXPECT_EQ(std::u16string(out), c.text);
  }
}

// The range check by check kind, with scripted answers to its boxes.
TEST_F(RangeTest, CheckShowsTheRangeOfARefusedValue) {
  struct Case {
    HWND window;
    WORD id, type;
    LONG value;
    WORD kind;
    WORD result, code;
    const char16_t* box;  // null: no box
  };
  const Case cases[] = {
      {kWindow, 11, 2, 400, 8, CONST_ACCEPT, 0, nullptr},
      {kWindow, 11, 2, 401, 8, CONST_REFUSED, 0, u"Scale: enter a value from 25 to 400."},
      {kWindow, 11, 2, 24, 12, CONST_REFUSED, 0, u"Scale: enter a value from 25 to 400."},
      {kWindow, 11, 2, 25, 12, CONST_BYKIND, 1, nullptr},
      {kWindow, 274, 2, -51, 8, CONST_REFUSED, 0, u"Brightness: enter a value from -50 to 50."},
      {kWindow, 274, 2, -50, 8, CONST_ACCEPT, 0, nullptr},
      {kWindow, 263, 3, 401, 8, CONST_REFUSED, 0, u"Zoom: enter a value from 25 to 400."},
      {kWindow, 12, 2, 0, 8, CONST_REFUSED, 0, u"Copies: enter a value from 1 to 9999."},
      {kBareWindow, 12, 2, 0, 8, CONST_REFUSED, 0, nullptr},  // no UI data: refused without a box
      {nullptr, 12, 2, 0, 8, CONST_REFUSED, 0, nullptr},
      {kWindow, 7, 2, 3, 8, CONST_REFUSED, 0, nullptr},  // a list setting: no range to tell
      {kWindow, 7, 2, 2, 8, CONST_ACCEPT, 0, nullptr},
  };
  for (const Case& c : cases) {
    KpClearMessageBoxes();
    BYTE bytes[4];
    std::memcpy(bytes, &c.value, 4);
    CONST_VALUE v = {c.id, c.type, bytes};
    WORD code = 0;
    KpQueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(const_CheckConstToChangeDevValue(c.window, &settings_, &v, c.kind, &code), c.result)
        << c.id << "=" << c.value;
    EXPECT_EQ(code, c.code) << c.id << "=" << c.value;
    ASSERT_EQ(KpMessageBoxCount(), c.box ? 1u : 0u) << c.id << "=" << c.value;
    if (!c.box) continue;
    KpMessageBoxRecord box{};
    ASSERT_TRUE(KpGetMessageBox(0, &box));
    EXPECT_EQ(std::u16string(box.text), c.box);
    EXPECT_EQ(std::u16string(box.caption), u"Printing Preferences");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(box.owner, c.window);
  }

  // The message alone: 3 with a box, 1 without one.
  KpClearMessageBoxes();
  EXPECT_EQ(cnstMsg_Range(kWindow, &settings_, 11), CONST_REFUSED);
  EXPECT_EQ(cnstMsg_Range(kWindow, &settings_, 8), CONST_ERR);
  EXPECT_EQ(cnstMsg_Range(kBareWindow, &settings_, 11), CONST_ERR);
  EXPECT_EQ(cnstMsg_Range(kWindow, nullptr, 11), CONST_ERR);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
}

}  // namespace
}  // namespace kestrel::test::ui
