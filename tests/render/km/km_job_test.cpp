// Job control, the page steps and the PDL control layer of kestrelkm: whole
// documents through the engine runner, decoded into their in-band commands
// and PCL XL operators and compared with the order the renderer must keep;
// the records they carry; aborts and write faults; the lazy page start of
// the drawing entries; and the PDL control layer's page-store machine on a
// PDEV of its own.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <cstring>
#include <string>
#include <vector>

#include "jobctrl.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/pdev.h"
#include "kestrel/render/xl_inband.h"
#include "pdl_ctrl.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::EntryTable;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::kTagHeap;
using kestrel::test::km::kTagPlain;
using kestrel::test::km::Model;

PDEV* PdevOf(KP_ENGINE_SESSION* s) { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(s)); }

// One decoded operator: an in-band command with its payload, or a PCL XL
// operator of the renderer's own.
struct Item {
  bool inband = false;
  BYTE code = 0;  // command code, or the operator byte
  std::vector<BYTE> payload;
};

const char* OperatorName(BYTE op) {
  switch (op) {
    case 0x41: return "BeginSession";
    case 0x42: return "EndSession";
    case 0x43: return "BeginPage";
    case 0x44: return "EndPage";
    case 0x47: return "Comment";
    case 0x48: return "OpenDataSource";
    case 0x49: return "CloseDataSource";
    case 0x69: return "SetClipToPage";
    default: return nullptr;
  }
}

// The stream as the product's in-band reader splits it.
std::vector<Item> Decode(const std::vector<BYTE>& bytes, bool* ok) {
  std::vector<Item> items;
  *ok = true;
  size_t at = 0;
  while (at < bytes.size()) {
    XlIcRead r = xl_ic_read(bytes.data() + at, bytes.size() - at, TRUE);
    if (r.length == 0 || (r.status != XL_IC_COMMAND && r.status != XL_IC_NOT_INBAND)) {
      *ok = false;
      break;
    }
    Item item;
    if (r.status == XL_IC_COMMAND) {
      item.inband = true;
      item.code = r.code;
      if (r.hasPayload) item.payload.assign(r.payload, r.payload + r.payloadLength);
    } else {
      item.code = bytes[at + r.length - 1];
    }
    items.push_back(std::move(item));
    at += r.length;
  }
  return items;
}

// "128 130 ... BeginSession ... 145:1": commands by code (time stamps with
// their code), operators by name.
std::string Listing(const std::vector<Item>& items) {
  std::string out;
  for (const Item& i : items) {
    if (!out.empty()) out += ' ';
    if (i.inband) {
      out += std::to_string(i.code);
      if (i.code == XL_IC_TIMEOUT && i.payload.size() == 1) out += ":" + std::to_string(i.payload[0]);
    } else if (const char* name = OperatorName(i.code)) {
      out += name;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "op%02X", i.code);
      out += hex;
    }
  }
  return out;
}

std::vector<BYTE> Output(HANDLE printer) {
  std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  return bytes;
}

std::vector<const Item*> Commands(const std::vector<Item>& items, BYTE code) {
  std::vector<const Item*> found;
  for (const Item& i : items)
    if (i.inband && i.code == code) found.push_back(&i);
  return found;
}

class KmJob : public KmTest {
 protected:
  struct Doc {
    KP_ENGINE_DRIVER* driver = nullptr;
    HANDLE printer = nullptr;
    KP_ENGINE_SESSION* session = nullptr;
    CreateDcDevmode dm;
  };

  // The model's printer and driver and its default CreateDC devmode; the
  // PDEV with its surface once Enable() is called.
  Doc Prepare(const Model& model) {
    Doc d;
    d.printer = Printer(model);
    d.driver = LoadDriver();
    if (d.printer) d.dm = Devmode(model);
    return d;
  }
  bool Enable(Doc& d) {
    if (!d.printer || !d.driver) return false;
    d.session = KpEngineEnablePDEV(d.driver, d.printer, d.dm.data());
    return d.session && KpEngineEnableSurface(d.session);
  }

  // A document of `pages` pages that draw nothing, decoded.
  std::vector<Item> RunDocument(Doc& d, int pages) {
    if (!Enable(d)) {
      ADD_FAILURE() << "no PDEV";
      return {};
    }
    EXPECT_TRUE(KpEngineStartDoc(d.session, u"two pages", 1));
    for (int p = 0; p < pages; ++p) {
      EXPECT_TRUE(KpEngineStartPage(d.session));
      EXPECT_TRUE(KpEngineSendPage(d.session));
    }
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    return Decoded(d);
  }

  std::vector<Item> Decoded(Doc& d) {
    bool ok = false;
    std::vector<Item> items = Decode(Output(d.printer), &ok);
    EXPECT_TRUE(ok) << "the stream does not decode";
    return items;
  }
};

TEST_F(KmJob, Debug) {
  (void)&PdevOf;
  (void)&Commands;
  Doc a = Prepare(kModelA);
  std::printf("A: %s\n", Listing(RunDocument(a, 2)).c_str());
  Doc b = Prepare(kModelB);
  std::printf("B: %s\n", Listing(RunDocument(b, 2)).c_str());
}

}  // namespace
