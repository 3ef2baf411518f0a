// Shared set-up of the driver user-interface tests: model A's queue in a
// fresh root taken into use (ModelAQueue: the driver's string table library
// loaded as "kestrelui.dll", the devmode access module and the resource
// module found through it, the printer open and its description handle), and
// a zero-filled devmode and printer-data record.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_window.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_printer.h"
#include "model_a_queue.h"
#include "temp_root.h"

namespace kestrel::test::ui {

inline constexpr const char16_t* kPrinter = kModelAPrinter;

// A value's first word; the record's value bytes need not be aligned.
inline WORD FirstWord(const void* data) {
  WORD w = 0;
  std::memcpy(&w, data, sizeof w);
  return w;
}

// The data id of the rule of `category` with that target, action, first
// condition (0: any) and first target value (-1: any); 0 when none.
inline WORD RuleId(HCDDD ddd, WORD category, WORD target, WORD action, WORD firstCond = 0, LONG firstValue = -1) {
  WORD n = ddd_GetNumOfData(ddd->main, category);
  for (WORD i = 1; i <= n; ++i) {
    void* rec = nullptr;
    if (ddd_GetDataByIndexX(DDD_FULL, ddd->main, ddd->referenced, category, i, &rec) != DDD_OK) continue;
    auto* c = static_cast<DDD_CONSTRAINTS*>(rec);
    bool hit = c->target.ddmId == target && (c->field & 0xFF) == action &&
               (firstCond == 0 || (c->conditions.count && c->conditions.items[0].ddmId == firstCond)) &&
               (firstValue < 0 || (c->target.value.data && c->target.value.size == 2 &&
                                   FirstWord(c->target.value.data) == firstValue));
    WORD id = c->head.id;
    ddd_Free(&rec, DDD_KIND_ANY);
    if (hit) return id;
  }
  ADD_FAILURE() << "no rule " << target << "/" << action;
  return 0;
}

// The message boxes the platform has shown since they were last cleared,
// by text.
inline std::vector<std::u16string> MessageBoxTexts() {
  std::vector<std::u16string> out;
  for (DWORD i = 0; i < KpMessageBoxCount(); ++i) {
    KpMessageBoxRecord r{};
    if (KpGetMessageBox(i, &r)) out.emplace_back(r.text);
  }
  return out;
}

class UiTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelAQueue(kPrinter), "");
    ASSERT_EQ(queue_.Open(kPrinter), "");
    dm_.assign(NRV_DEVMODE_SIZE_FULL, 0);
    pd_.assign(NRV_PRINTERDATA_SIZE, 0);
    KpClearMessageBoxes();
  }

  void TearDown() override {
    for (HANDLE p : printers_) ClosePrinter(p);
    queue_.Close();
    KpClearMessageBoxes();
    KpForgetWindowData(nullptr);
    KpResetMachineFacts();
  }

  // The message boxes shown so far, by text.
  std::vector<std::u16string> Boxes() { return MessageBoxTexts(); }
  // The first box's text, or an empty one.
  std::u16string Box() {
    std::vector<std::u16string> boxes = Boxes();
    return boxes.empty() ? std::u16string() : boxes[0];
  }

  // Another handle of a printer, closed by the fixture.
  HANDLE OpenPrinter(const char16_t* name) {
    HANDLE p = nullptr;
    std::u16string n = name;
    if (!OpenPrinterW(n.data(), &p, nullptr)) return nullptr;
    printers_.push_back(p);
    return p;
  }

  // Writes a number into a member in the member's own type.
  void Set(WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    ASSERT_EQ(ddm_GetValue(id, dm_.data(), pd_.data(), &type, &size, &slot), 0) << "id " << id;
    BYTE bytes[4];
    std::memcpy(bytes, &value, 4);
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), type, size, bytes), 0) << "id " << id;
  }
  LONG Get(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    EXPECT_EQ(ddm_GetValue(id, dm_.data(), pd_.data(), &type, &size, &slot), 0) << "id " << id;
    switch (type) {
      case 2: return static_cast<SHORT>(slot & 0xFFFF);
      case 3: return static_cast<LONG>(slot & 0xFFFF);
      case 8: return static_cast<LONG>(slot & 0xFF);
      default: return static_cast<LONG>(slot);
    }
  }
  std::u16string GetString(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    EXPECT_EQ(ddm_GetValue(id, dm_.data(), pd_.data(), &type, &size, &slot), 0);
    if (type != 6 || !slot) return u"?";
    return reinterpret_cast<const char16_t*>(slot);
  }

  ModelAQueue queue_;
  // The queue's parts under the names the tests use.
  HMODULE& library_ = queue_.library;
  HANDLE& printer_ = queue_.printer;
  HCDDD& ddd_ = queue_.ddd;
  std::vector<HANDLE> printers_;
  std::vector<BYTE> dm_, pd_;
};

}  // namespace kestrel::test::ui
