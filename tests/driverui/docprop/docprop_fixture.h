// Set-up of the tests of the document-properties work: model A's queue in
// use (UiTest), devmodes made through SimpleDocumentProperties, and the
// records the exports take.
#pragma once

#include <cstring>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/ui/docprop.h"
#include "kestrel/ui/uiroot.h"
#include "kplatform/byte_order.h"
#include "kplatform/compstui.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/winddiui.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {

class DocPropTest : public UiTest {
 protected:
  void TearDown() override {
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    KpCompstuiReset();
    UiTest::TearDown();
  }

  DOCUMENTPROPERTYHEADER Header(void* output, void* input, DWORD fMode) {
    DOCUMENTPROPERTYHEADER h{};
    h.cbSize = sizeof h;
    h.hPrinter = printer_;
    h.pszPrinterName = name_.data();
    h.pdmIn = input;
    h.pdmOut = output;
    h.fMode = fMode;
    return h;
  }
  // The driver's devmode for the queue as an application gets it (1556 bytes).
  std::vector<BYTE> OurDevmode() {
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
    auto h = Header(out.data(), nullptr, DM_COPY);
    EXPECT_EQ(SimpleDocumentProperties(&h), 1);
    return out;
  }
  // A number of a devmode (its private part when it has one).
  static LONG Number(WORD id, void* dm, void* pd = nullptr) {
    LONG v = -1;
    EXPECT_TRUE(ddm_GetNumber(id, dm, pd, &v)) << "id " << id;
    return v;
  }
  static void SetNumber(WORD id, void* dm, LONG v) { ASSERT_TRUE(ddm_SetNumber(id, dm, nullptr, v)) << "id " << id; }
  static std::u16string Text(WORD id, void* dm) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    if (ddm_GetValue(id, dm, nullptr, &type, &size, &v) != 0 || type != DDM_TYPE_STRING || !v) return u"?";
    return reinterpret_cast<LPCWSTR>(v);
  }
  static size_t LiveBlocks() { return KpLiveBlockCount(); }

  std::u16string name_ = kPrinter;
};

}  // namespace kestrel::test::ui
