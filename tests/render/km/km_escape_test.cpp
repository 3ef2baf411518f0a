// DrvEscape through the entry table on a PDEV of the engine runner: the
// dispatcher and QUERYESCSUPPORT, every handler's sizes as one table, the
// copies, the page information, the header/footer record and its name, the
// crafted blocks any application can send, and the output paper's
// orientation on a hand-made PDEV.
#include "kestrel/render/km_escape.h"

#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/core/ddd_layout.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/pdev.h"
#include "pagemat.h"
#include "kplatform/byte_order.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::U16;
using kestrel::test::km::U32;
using kestrel::test::km::EntryTable;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::KmTest;
using kestrel::test::km::kTagHeap;
using kestrel::test::km::kTagPlain;
using kestrel::test::km::Model;

using Bytes = std::vector<BYTE>;

// What SetFaxAddressInfo answers for a sound block: job control keeps it.
constexpr LONG kFaxTaken = 1;
using Escape = ULONG(WINAPI*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);


// A fax address list of `count` entries (the tag, the count, zeros).
Bytes FaxBlock(WORD count, size_t size) {
  Bytes b(size);
  if (size >= KM_FAX_TAG_BYTES) std::memcpy(b.data(), KM_FAX_TAG, KM_FAX_TAG_BYTES);
  if (size >= KM_FAX_COUNT_OFFSET + 2) std::memcpy(&b[KM_FAX_COUNT_OFFSET], &count, 2);
  return b;
}

// An EJCL header table whose head says count entries of entrySize bytes.
Bytes JclTable(int32_t count, int32_t entrySize, size_t size) {
  Bytes b(size);
  if (size >= 8) {
    std::memcpy(&b[0], &count, 4);
    std::memcpy(&b[4], &entrySize, 4);
  }
  return b;
}

// The PrinterInfo item of an installed description file overwritten with
// `value` (the item's element size), walking the items before it as the
// reader does. False when the file or the item can't be found.
bool PatchPrinterInfo(const std::string& hostPath, WORD item, const Bytes& value) {
  std::string file = kestrel::test::ReadHostFile(hostPath);
  size_t at = DDD_PRINTERINFO_OFFSET;
  for (WORD i = 0; i < item; ++i) {
    if (at + 2 > file.size()) return false;
    WORD count = DDD_PRINTERINFO_ITEMS[i].count;
    if (count == 0) {
      std::memcpy(&count, &file[at], 2);
      at += 2;
    }
    if (DDD_PRINTERINFO_ITEMS[i].size) {
      at += static_cast<size_t>(count) * DDD_PRINTERINFO_ITEMS[i].size;
      continue;
    }
    for (WORD k = 0; k < count; ++k) {
      WORD len;
      if (at + 2 > file.size()) return false;
      std::memcpy(&len, &file[at], 2);
      at += 2 + len;
    }
  }
  if (DDD_PRINTERINFO_ITEMS[item].count != 1 || DDD_PRINTERINFO_ITEMS[item].size != value.size() ||
      at + value.size() > file.size())
    return false;
  std::memcpy(&file[at], value.data(), value.size());
  // The installed file is a link to the build's model: replace the link by
  // the patched copy, never write through it.
  std::remove(hostPath.c_str());
  kestrel::test::WriteHostFile(hostPath, file);
  return true;
}

class KmEscape : public KmTest {
 protected:
  void TearDown() override {
    driver_put_letter_flag(2);  // the process-wide letter flag back to its default
    KmTest::TearDown();
  }

  // Model's printer, the driver, a PDEV with its surface. patch runs after
  // the model's files are installed and before the PDEV reads them.
  void Open(const Model& model, const std::function<void()>& patch = {}) {
    printer_ = Printer(model);
    ASSERT_NE(printer_, nullptr);
    if (patch) patch();
    driver_ = LoadDriver();
    ASSERT_NE(driver_, nullptr);
    dm_ = Devmode(model);
    blocks_ = Blocks();
    session_ = KpEngineEnablePDEV(driver_, printer_, dm_.data());
    ASSERT_NE(session_, nullptr);
    ASSERT_TRUE(KpEngineEnableSurface(session_));
    table_ = std::make_unique<EntryTable>();
    ASSERT_TRUE(table_->ok());
    escape_ = table_->Get<Escape>(INDEX_DrvEscape);
    ASSERT_NE(escape_, nullptr);
  }
  // Disables the PDEV: every block it made is freed, none twice.
  void Close() {
    EXPECT_TRUE(KpEngineDisablePDEV(session_));
    session_ = nullptr;
    EXPECT_EQ(Blocks(), blocks_);
    EXPECT_EQ(KpEngineBadFreeCount(), 0u);
  }
  size_t Blocks() { return KpEngineBlockCount(kTagPlain) + KpEngineBlockCount(kTagHeap); }
  std::string ModelPath(const Model& model) {
    return root_.host(std::string(kestrel::test::kDriverDir) + model.file + ".DDD");
  }

  PDEV* Pdev() { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session_)); }
  SURFOBJ* Surface() { return KpEngineSessionSurface(session_); }

  // One escape; null vectors pass a null buffer of size 0.
  LONG Esc(ULONG code, Bytes* in, Bytes* out) {
    return static_cast<LONG>(escape_(Surface(), code, in ? static_cast<ULONG>(in->size()) : 0,
                                     in ? in->data() : nullptr, out ? static_cast<ULONG>(out->size()) : 0,
                                     out ? out->data() : nullptr));
  }
  LONG Query(ULONG code) {
    Bytes in = U16(static_cast<WORD>(code));
    return Esc(QUERYESCSUPPORT, &in, nullptr);
  }
  LONG Number(WORD id) {
    LONG v = -99999;
    ddm_GetNumber(id, Pdev()->devmode, Pdev()->printerData, &v);
    return v;
  }
  void SetNumber(WORD id, LONG v) { ASSERT_TRUE(ddm_SetNumber(id, Pdev()->devmode, Pdev()->printerData, v)); }
  void SetText(WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, Pdev()->devmode, Pdev()->printerData, DDM_TYPE_STRING,
                           static_cast<DWORD>((text.size() + 1) * 2), text.c_str()),
              0);
  }

  HANDLE printer_ = nullptr;
  KP_ENGINE_DRIVER* driver_ = nullptr;
  KP_ENGINE_SESSION* session_ = nullptr;
  CreateDcDevmode dm_;
  std::unique_ptr<EntryTable> table_;
  Escape escape_ = nullptr;
  size_t blocks_ = 0;
};

// ---- Dispatch and QUERYESCSUPPORT
// -------------------------------------------------------

TEST_F(KmEscape, DispatchAndQueryAnswers) {
  Open(kModelA);
  struct Q {
    ULONG code;
    LONG answer;
  };
  const Q answers[] = {{GETTECHNOLOGY, 4209},
                       {SETCOPYCOUNT, 999},
                       {KM_ESC_GET_PAGE_INFO, 1},
                       {KM_ESC_SET_DOC_NAME, 1},
                       {KM_ESC_SET_EXT_GSBDATA, 1},
                       {KM_ESC_SET_LETTER_FLAG, 1},
                       // The private gate: the gate itself, its functions only while
                       // it is on (km_pesc_test.cpp).
                       {KM_ESC_PRIVATE_GATE, 1},
                       {KM_ESC_DIRECT_IMAGE, 0},
                       {KM_ESC_PAGE_COLOR_MODE, 0},
                       {KM_ESC_LAYOUT, 0},
                       {KM_ESC_GSB_INTERACTION, 0},
                       // Codes between the handlers and around them.
                       {0x5000, 0},
                       {0x500C, 0},
                       {0x5022, 0},
                       {0x5026, 0},
                       {0x5032, 0},
                       {0x5101, 0},
                       {QUERYESCSUPPORT, 0}};
  for (const Q& q : answers) EXPECT_EQ(Query(q.code), q.answer) << std::hex << q.code;

  // Every handler's code is answered 1 (the table below holds them all).
  for (ULONG code : {0x5001u, 0x5002u, 0x5003u, 0x5004u, 0x5005u, 0x5006u, 0x5007u, 0x5008u, 0x5009u, 0x500Au,
                     0x500Bu, 0x5010u, 0x5020u, 0x5021u, 0x5023u, 0x5024u, 0x5025u, 0x5028u, 0x5029u, 0x502Au,
                     0x502Bu, 0x502Cu, 0x502Du, 0x502Eu, 0x502Fu, 0x5030u, 0x5031u, 0x5100u})
    EXPECT_EQ(Query(code), 1) << std::hex << code;

  // Applications may not set copies: the query says so.
  SetNumber(DDM_NO_APP_COPY_COUNT, 1);
  EXPECT_EQ(Query(SETCOPYCOUNT), 0);
  SetNumber(DDM_NO_APP_COPY_COUNT, 0);

  // The query needs its 16-bit code; the first word of a longer input is it.
  Bytes one(1), four = U32(0xABCD0000u | GETTECHNOLOGY);
  EXPECT_EQ(Esc(QUERYESCSUPPORT, nullptr, nullptr), -1);
  EXPECT_EQ(Esc(QUERYESCSUPPORT, &one, nullptr), -1);
  EXPECT_EQ(Esc(QUERYESCSUPPORT, &four, nullptr), 4209);

  // No surface: -1. An invalid PDEV: error 87 and 0, but the query answers.
  Bytes code = U16(KM_ESC_GET_DEVMODE);
  EXPECT_EQ(static_cast<LONG>(escape_(nullptr, QUERYESCSUPPORT, 2, code.data(), 0, nullptr)), -1);
  SURFOBJ bad = *Surface();
  bad.dhpdev = reinterpret_cast<DHPDEV>(&bad);
  Bytes devmode(KM_ESC_DEVMODE_SIZE);
  SetLastError(0);
  EXPECT_EQ(escape_(&bad, KM_ESC_GET_DEVMODE, 0, nullptr, KM_ESC_DEVMODE_SIZE, devmode.data()), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(escape_(&bad, QUERYESCSUPPORT, 2, code.data(), 0, nullptr), 1u);
  Bytes copies = U16(SETCOPYCOUNT);
  EXPECT_EQ(escape_(&bad, QUERYESCSUPPORT, 2, copies.data(), 0, nullptr), 999u);

  // Unknown codes give 0 and do nothing; the gate refuses a record whose
  // size word is not 8.
  SetLastError(0);
  EXPECT_EQ(Esc(0x5022, &devmode, nullptr), 0);
  EXPECT_EQ(Esc(KM_ESC_PRIVATE_GATE, &devmode, &devmode), -4);
  EXPECT_EQ(GetLastError(), 0u);
  Close();
}

// ---- Every handler's sizes
// ------------------------------------------------------------

enum Sized { kInput, kOutput };

struct SizeCase {
  const char* name;
  ULONG code;
  Sized sized;  // which buffer the size is about
  ULONG size;   // the size the handler takes (exactly, or at least)
  LONG below, exact, above, null,
      muted;  // results: size - 1, size, size + 1, null buffer, muted at size
  // The sized input's contents (null: zeros); the other buffer's size (0:
  // none) and contents.
  std::function<Bytes(ULONG)> fill;
  ULONG other = 0;
  std::function<Bytes(ULONG)> otherFill = {};
};

TEST_F(KmEscape, EveryHandlerTakesItsSizes) {
  Open(kModelA);
  // What the exact cases need stored first: a header/footer record (0x5006),
  // the start-document flag (0x502A).
  Bytes hf(KM_HF_SIZE);
  ASSERT_EQ(Esc(KM_ESC_SET_HEADER_FOOTER, &hf, nullptr), 1);
  ASSERT_EQ(Esc(KM_ESC_SET_STARTDOC_FLAG, nullptr, nullptr), 1);

  const Bytes devmode(Pdev()->devmode, Pdev()->devmode + KM_ESC_DEVMODE_SIZE);
  const Bytes printerData(Pdev()->printerData, Pdev()->printerData + KM_ESC_PRINTERDATA_SIZE);
  auto sized = [](Bytes b) {
    return [b](ULONG n) {
      Bytes c = b;
      c.resize(n);
      return c;
    };
  };
  auto value32 = [](DWORD v) {
    return [v](ULONG n) {
      Bytes b = U32(v);
      b.resize(n);
      return b;
    };
  };
  auto value16 = [](WORD v) {
    return [v](ULONG n) {
      Bytes b = U16(v);
      b.resize(n);
      return b;
    };
  };
  const ULONG fax1 = KM_FAX_HEADER_SIZE + KM_FAX_ENTRY_SIZE;
  const ULONG jcl = (8 + 4) * 2 + KM_JCL_HEAD_SIZE;

  const SizeCase cases[] = {
      {"SETCOPYCOUNT", SETCOPYCOUNT, kInput, 4, -1, 1, 1, -1, 1, value32(3)},
      {"GETTECHNOLOGY", GETTECHNOLOGY, kOutput, 5, 0, 1, 1, -1, 1, nullptr, 1},
      {"GetPageInfo", KM_ESC_GET_PAGE_INFO, kOutput, 44, -1, 1, -1, -1, 1, nullptr},
      {"GetDevMode", KM_ESC_GET_DEVMODE, kOutput, 5440, -1, 1, -1, -1, 1, nullptr},
      {"GetSetStampMode, output", KM_ESC_GETSET_STAMP_MODE, kOutput, 4, 1, 1, 1, 1, 1, nullptr},
      // Outside a job, job control refuses the mode change.
      {"GetSetStampMode, input", KM_ESC_GETSET_STAMP_MODE, kInput, 4, 1, -1, -1, 1, -1, value32(0)},
      // Until the layout work builds the stamp-paper matrix.
      {"SetPaperOffset", KM_ESC_SET_PAPER_OFFSET, kInput, 8, 1, -1, 1, -1, -1, nullptr},
      {"SetDevMode", KM_ESC_SET_DEVMODE, kInput, 5440, -1, 1, -1, -1, 1, sized(devmode)},
      {"GetHeaderFooter", KM_ESC_GET_HEADER_FOOTER, kOutput, 768, -1, 1, -1, -1, 1, nullptr},
      {"SetHeaderFooter", KM_ESC_SET_HEADER_FOOTER, kInput, 768, -1, 1, -1, -1, 1, nullptr},
      {"GetSetHeaderMode, output", KM_ESC_GETSET_HEADER_MODE, kOutput, 4, 1, 1, 1, 1, 1, nullptr},
      {"GetSetHeaderMode, input", KM_ESC_GETSET_HEADER_MODE, kInput, 4, 1, -1, -1, 1, -1, value32(2)},
      {"GetIsFax", KM_ESC_GET_IS_FAX, kOutput, 4, 0, 1, 1, 0, 1, nullptr},
      {"GetPageNumber", KM_ESC_GET_PAGE_NUMBER, kOutput, 4, -1, 1, 1, -1, 1, nullptr},
      {"SetPrinterData", KM_ESC_SET_PRINTER_DATA, kInput, 4736, -1, 1, -1, -1, 1, sized(printerData)},
      {"SetAppMargin", KM_ESC_SET_APP_MARGIN, kInput, 10, -1, 1, -1, -1, 1, nullptr},
      {"SetStartDocFlag", KM_ESC_SET_STARTDOC_FLAG, kInput, 4, 1, 1, 1, 1, 1, nullptr},
      {"SetStatus", KM_ESC_SET_STATUS, kInput, 2, -1, 1, 1, -1, 1, value16(7)},
      {"SetDocName", KM_ESC_SET_DOC_NAME, kInput, 1, -1, 1, 1, -1, 1, nullptr},
      {"SetFaxAddressInfo", KM_ESC_SET_FAX_ADDRESS_INFO, kInput, fax1, -1, kFaxTaken, kFaxTaken, 0, 1,
       [](ULONG n) { return FaxBlock(1, n); }},
      {"SetJCLHeader", KM_ESC_SET_JCL_HEADER, kInput, jcl, -1, 1, 1, -1, 1, [](ULONG n) { return JclTable(2, 8, n); }},
      {"GetPEscapeStatus", KM_ESC_GET_PESCAPE_STATUS, kOutput, 12, -1, 1, -1, -1, 1, nullptr},
      {"SetPEscapeStatus", KM_ESC_SET_PESCAPE_STATUS, kInput, 12, -1, 1, -1, -1, 1, nullptr},
      {"Query_EMFSpool", KM_ESC_QUERY_EMFSPOOL, kOutput, 4, -1, 1, -1, -1, 1, nullptr},
      {"DisableFormFile", KM_ESC_DISABLE_FORM_FILE, kInput, 4, -1, 1, -1, -1, 1, nullptr},
      {"SetCSDX", KM_ESC_SET_CSDX, kInput, 2112, -1, 1, -1, -1, 1, nullptr},
      {"SetGSBDATA", KM_ESC_SET_GSBDATA, kInput, 1, -1, 1, 1, -1, -1, nullptr},
      {"GetGSBDATA, selector", KM_ESC_GET_GSBDATA, kInput, 2, -1, 1, -1, -1, 1, value16(KM_GSBDATA_SIZE), 4},
      {"GetGSBDATA, size answer", KM_ESC_GET_GSBDATA, kOutput, 4, -1, 1, -1, -1, 1, nullptr, 2,
       value16(KM_GSBDATA_SIZE)},
      {"SetGSBJCID", KM_ESC_SET_GSBJCID, kInput, 1, -1, 1, 1, -1, -1, nullptr},
      {"SetGSBSTATUS", KM_ESC_SET_GSBSTATUS, kInput, 8, -1, 1, -1, -1, 1, nullptr},
      {"SetExtGSBDATA", KM_ESC_SET_EXT_GSBDATA, kInput, 1, -1, 1, 1, -1, -1, nullptr},
      {"SetLetterFlag", KM_ESC_SET_LETTER_FLAG, kInput, 1, -1, 1, 1, -1, 1, [](ULONG n) { return Bytes(n, 2); }},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto run = [&](ULONG size, bool null) {
      Bytes sizedBuffer = c.sized == kInput && c.fill ? c.fill(size) : Bytes(size);
      Bytes other = c.otherFill ? c.otherFill(c.other) : Bytes(c.other);
      ULONG cjIn = 0, cjOut = 0;
      void* in = nullptr;
      void* out = nullptr;
      if (c.sized == kInput) {
        cjIn = size;
        in = null ? nullptr : sizedBuffer.data();
        cjOut = c.other;
        out = c.other ? other.data() : nullptr;
      } else {
        cjOut = size;
        out = null ? nullptr : sizedBuffer.data();
        cjIn = c.other;
        in = c.other ? other.data() : nullptr;
      }
      return static_cast<LONG>(escape_(Surface(), c.code, cjIn, in, cjOut, out));
    };
    EXPECT_EQ(run(c.size - 1, false), c.below) << "one byte below";
    EXPECT_EQ(run(c.size, false), c.exact) << "exact";
    EXPECT_EQ(run(c.size + 1, false), c.above) << "one byte above";
    EXPECT_EQ(run(c.size, true), c.null) << "null";
    Pdev()->escapeStatus |= KM_ESCSTATUS_MUTED;
    EXPECT_EQ(run(c.size, false), c.muted) << "muted";
    Pdev()->escapeStatus &= ~KM_ESCSTATUS_MUTED;
  }
  Close();
}

// ---- SETCOPYCOUNT
// -----------------------------------------------------------------------

struct CopyCase {
  LONG requested, copies;
};

// SETCOPYCOUNT's cases on model B, whose most copies are 999, or 0 (no
// maximum) in a patched copy of it.
class KmCopyCount : public KmEscape {
 protected:
  void Run(bool noMaximum, const std::vector<CopyCase>& cases) {
    Open(kModelB, [&] {
      if (noMaximum) {
        ASSERT_TRUE(PatchPrinterInfo(ModelPath(kModelB), 4, U16(0)));
      }
    });
    for (const CopyCase& c : cases) {
      SCOPED_TRACE(c.requested);
      Bytes in = U32(static_cast<DWORD>(c.requested)), out(4, 0xEE);
      EXPECT_EQ(Esc(SETCOPYCOUNT, &in, &out), 1);
      EXPECT_EQ(static_cast<LONG>(kp_LoadU32(&out[0])), c.copies);
      EXPECT_EQ(Number(DDM_COPIES), c.copies);
      EXPECT_EQ(static_cast<LONG>(Pdev()->copies), c.copies);
    }
    // Without an output the copies are still taken; while applications may
    // not set copies nothing is.
    Bytes in = U32(7);
    EXPECT_EQ(Esc(SETCOPYCOUNT, &in, nullptr), 1);
    EXPECT_EQ(Number(DDM_COPIES), 7);
    SetNumber(DDM_NO_APP_COPY_COUNT, 1);
    in = U32(9);
    EXPECT_EQ(Esc(SETCOPYCOUNT, &in, nullptr), -1);
    EXPECT_EQ(Number(DDM_COPIES), 7);
    Close();
  }
};

TEST_F(KmCopyCount, HeldToTheModelsMaximum) { Run(false, {{0, 1}, {5000, 999}, {-5, 1}, {999, 999}, {12, 12}}); }

TEST_F(KmCopyCount, HeldToTheDevmodeWithoutAMaximum) {
  Run(true, {{0, 1}, {-5, 1}, {70000, 32767}, {32767, 32767}, {5000, 5000}});
}

// ---- GetTechnology, GetDevMode, page information before the first page
// -------------------

TEST_F(KmEscape, AnswersBeforeTheJob) {
  Open(kModelA);
  Bytes any(1), tech(5, 0xEE);
  EXPECT_EQ(Esc(GETTECHNOLOGY, &any, &tech), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(tech.data())), "PCL6");
  EXPECT_EQ(Esc(GETTECHNOLOGY, nullptr, &tech), -1);

  Bytes devmode(KM_ESC_DEVMODE_SIZE);
  EXPECT_EQ(Esc(KM_ESC_GET_DEVMODE, nullptr, &devmode), 1);
  EXPECT_EQ(std::memcmp(devmode.data(), Pdev()->devmode, KM_ESC_DEVMODE_SIZE), 0);
  Bytes small(1556);
  EXPECT_EQ(Esc(KM_ESC_GET_DEVMODE, nullptr, &small), -1);

  // Before the first page: eleven zeros and 1, for either request; a request
  // that is neither is refused and nothing is written.
  for (DWORD request : {0u, 1u}) {
    Bytes in = U32(request), out(44, 0xEE);
    EXPECT_EQ(Esc(KM_ESC_GET_PAGE_INFO, &in, &out), 1);
    EXPECT_EQ(out, Bytes(44, 0));
  }
  Bytes bad = U32(2), out(44, 0xEE), out40(40);
  EXPECT_EQ(Esc(KM_ESC_GET_PAGE_INFO, &bad, &out), -1);
  EXPECT_EQ(out, Bytes(44, 0xEE));
  EXPECT_EQ(Esc(KM_ESC_GET_PAGE_INFO, nullptr, &out40), -1);

  // The fax flag, the page number, the status block as it was set.
  Bytes isFax(4, 0xEE), page(4, 0xEE);
  EXPECT_EQ(Esc(KM_ESC_GET_IS_FAX, nullptr, &isFax), 1);
  EXPECT_EQ(kp_LoadU32(&isFax[0]), 0u);  // model A is no fax model
  EXPECT_EQ(Esc(KM_ESC_GET_PAGE_NUMBER, nullptr, &page), 1);
  EXPECT_EQ(kp_LoadU32(&page[0]), 0u);
  Bytes status = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, back(12);
  EXPECT_EQ(Esc(KM_ESC_SET_PESCAPE_STATUS, &status, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_GET_PESCAPE_STATUS, nullptr, &back), 1);
  EXPECT_EQ(back, status);
  Close();
}

// ---- Header/footer
// ------------------------------------------------------------------------

Bytes HeaderFooter(const std::u16string& name) {
  Bytes hf(KM_HF_SIZE);
  for (size_t i = 0; i < 128; ++i) hf[KM_HF_TEXT + i] = static_cast<BYTE>(i + 1);
  std::memcpy(&hf[KM_HF_NAME], name.data(), name.size() * 2);
  hf[KM_HF_DOCNAME] = 'x';  // the record's own document-name block
  for (size_t i = 0; i < 22; ++i) hf[KM_HF_BLOCK4 + i] = static_cast<BYTE>(0x40 + i);
  // The 12-byte block's first word is 0: not taken.
  hf[KM_HF_BLOCK5 + 2] = 0x77;
  return hf;
}

TEST_F(KmEscape, HeaderFooterRecordIsStoredAndAnswered) {
  Open(kModelA);
  Bytes out(KM_HF_SIZE, 0xEE);
  // No record yet: the page number (as kept) and -1, nothing else.
  EXPECT_EQ(Esc(KM_ESC_GET_HEADER_FOOTER, nullptr, &out), -1);
  Bytes expected(KM_HF_SIZE);
  EXPECT_EQ(out, expected);

  const std::u16string docName = u"Quarterly report";
  Bytes name(docName.size() * 2 + 2);
  std::memcpy(name.data(), docName.data(), docName.size() * 2);
  ASSERT_EQ(Esc(KM_ESC_SET_DOC_NAME, &name, nullptr), 1);

  Bytes hf = HeaderFooter(u"Input");
  ASSERT_EQ(Esc(KM_ESC_SET_HEADER_FOOTER, &hf, nullptr), 1);
  ASSERT_NE(Pdev()->headerFooter, nullptr);
  EXPECT_EQ(Pdev()->headerFooter->blocks[4],
            nullptr);  // first word 0: not taken

  // The job information names which items are present: all (0) but the
  // 22-byte block.
  for (WORD& w : Pdev()->jobInfo.headerFooterItems) w = 0;
  Pdev()->jobInfo.headerFooterItems[4] = KM_HF_ABSENT;
  Pdev()->jobInfo.headerFooter = 1;
  EXPECT_EQ(Esc(KM_ESC_GET_HEADER_FOOTER, nullptr, &out), 1);
  EXPECT_EQ(kp_LoadU32(&out[KM_HF_VALUE]), 1u);
  EXPECT_EQ(kp_LoadU16(&out[KM_HF_PRESENCE + 8]), KM_HF_ABSENT);
  EXPECT_TRUE(std::equal(&out[KM_HF_TEXT], &out[KM_HF_TEXT + 128], &hf[KM_HF_TEXT]));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(&out[KM_HF_NAME])), u"Input");
  // The document name is the PDEV's, not the record's block.
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(&out[KM_HF_DOCNAME])), docName);
  EXPECT_EQ(kp_LoadU16(&out[KM_HF_PAGENUMBER]), 1u);                                // the first page
  EXPECT_EQ(Bytes(&out[KM_HF_BLOCK4], &out[KM_HF_BLOCK4 + 22]), Bytes(22, 0));  // absent
  EXPECT_EQ(Bytes(&out[KM_HF_BLOCK5], &out[KM_HF_BLOCK5 + 12]), Bytes(12, 0));  // never stored
  Close();
}

// The name block of the header/footer: the input's, or a user name of the
// printer data, as the model's capability and the user-name settings say.
class KmHeaderName : public KmEscape {
 protected:
  void Run(bool capability) {
    struct Case {
      bool capability;  // description capability 0x2000000
      LONG account, type, type2, popup,
          popup2;  // DDM 5163, 5127, 5178, 5164, 5165
      const char16_t* name;
    };
    const Case cases[] = {
        {false, 0, 7, 0, 0, 0, u"User5121"}, {false, 0, 3, 7, 0, 0, u"Input"},   {false, 1, 0, 7, 0, 0, u"User5150"},
        {false, 1, 7, 3, 0, 0, u"Input"},    {false, 2, 7, 7, 1, 1, u"Input"},  // account mode neither 0 nor 1
        {true, 1, 0, 0, 0, 1, u"Popup5174"}, {true, 2, 0, 7, 0, 0, u"User5150"}, {true, 1, 7, 3, 1, 0, u"Input"},
        {true, 0, 0, 0, 1, 0, u"Popup5174"}, {true, 0, 7, 0, 0, 0, u"User5121"}, {true, 0, 3, 7, 0, 1, u"Input"},
    };
    Open(kModelA, [&] {
      if (capability) {
        ASSERT_TRUE(PatchPrinterInfo(ModelPath(kModelA), 26, U32(0x04070000 | 0x2000000)));
      }
    });
    SetText(DDM_USERNAME, u"User5121");
    SetText(DDM_USERNAME2, u"User5150");
    SetText(DDM_POPUPUSERNAME, u"Popup5174");
    for (const Case& c : cases) {
      if (c.capability != capability) continue;
      SCOPED_TRACE(testing::Message() << c.account << " " << c.type << " " << c.type2 << " " << c.popup << " "
                                      << c.popup2);
      SetNumber(DDM_ACCOUNTMODE, c.account);
      SetNumber(DDM_USERNAMETYPE, c.type);
      SetNumber(DDM_USERNAMETYPE2, c.type2);
      SetNumber(DDM_USERNAMEPOPUP, c.popup);
      SetNumber(DDM_USERNAMEPOPUP2, c.popup2);
      Bytes hf = HeaderFooter(u"Input");
      ASSERT_EQ(Esc(KM_ESC_SET_HEADER_FOOTER, &hf, nullptr), 1);
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->headerFooter->blocks[1])), c.name);
    }
    // An empty printer-data name leaves the input's; an absent input name
    // takes nothing.
    SetNumber(DDM_ACCOUNTMODE, 0);
    SetNumber(DDM_USERNAMEPOPUP, 0);
    SetNumber(DDM_USERNAMETYPE, 7);
    SetText(DDM_USERNAME, u"");
    Bytes hf = HeaderFooter(u"Second");
    ASSERT_EQ(Esc(KM_ESC_SET_HEADER_FOOTER, &hf, nullptr), 1);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->headerFooter->blocks[1])), u"Second");
    SetText(DDM_USERNAME, u"User5121");
    hf = HeaderFooter(u"");
    ASSERT_EQ(Esc(KM_ESC_SET_HEADER_FOOTER, &hf, nullptr), 1);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->headerFooter->blocks[1])), u"Second");
    Close();
  }
};

TEST_F(KmHeaderName, CapabilityClear) { Run(false); }
TEST_F(KmHeaderName, CapabilitySet) { Run(true); }

// ---- Blocks any application can send
// --------------------------------------------------------

TEST_F(KmEscape, CraftedBlocksAreRefused) {
  Open(kModelA);
  // JCL headers: the size from the block's own head, never wrapping.
  struct Jcl {
    const char* name;
    int32_t count, entrySize;
    size_t size;
    LONG result;
  };
  const Jcl jcl[] = {
      {"two entries of 8 bytes", 2, 8, 40, 1},
      {"one byte short of them", 2, 8, 39, -1},
      {"no entries", 0, 1000, 16, 1},
      {"a negative count", -1, 8, 16, -1},
      {"a negative entry size (-4 makes entries of 0)", 1, -4, 64, -1},
      {"32-bit wrap to 16 bytes", 4, 0x3FFFFFFC, 16, -1},
      {"64-bit product beyond any input", 0x7FFFFFFF, 0x7FFFFFFF, 64, -1},
  };
  for (const Jcl& c : jcl) {
    SCOPED_TRACE(c.name);
    Bytes b = JclTable(c.count, c.entrySize, c.size);
    EXPECT_EQ(Esc(KM_ESC_SET_JCL_HEADER, &b, nullptr), c.result);
  }

  // The fax address list: tagged, and holding every entry its count names.
  struct Fax {
    const char* name;
    Bytes block;
    LONG result;
  };
  Bytes wrongTag = FaxBlock(0, KM_FAX_HEADER_SIZE);
  wrongTag[12] = 'X';
  Fax fax[] = {
      {"header only", FaxBlock(0, KM_FAX_HEADER_SIZE), kFaxTaken},
      {"header one byte short", FaxBlock(0, KM_FAX_HEADER_SIZE - 1), -1},
      {"wrong tag", wrongTag, -1},
      {"count 3, two entries", FaxBlock(3, KM_FAX_HEADER_SIZE + 2 * KM_FAX_ENTRY_SIZE), -1},
      {"count 65535 in a header", FaxBlock(0xFFFF, KM_FAX_HEADER_SIZE), -1},
      {"count 2, two entries and more", FaxBlock(2, KM_FAX_HEADER_SIZE + 2 * KM_FAX_ENTRY_SIZE + 5), kFaxTaken},
  };
  for (Fax& c : fax) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Esc(KM_ESC_SET_FAX_ADDRESS_INFO, &c.block, nullptr), c.result);
  }

  // The document name: at most 260 characters, never past the input.
  Bytes name(10);
  for (size_t i = 0; i < 10; ++i) name[i] = static_cast<BYTE>(i % 2 ? 0 : 'a' + i / 2);
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &name, nullptr), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->docName)), u"abcde");
  std::u16string longName(300, u'n');
  Bytes big(longName.size() * 2);
  std::memcpy(big.data(), longName.data(), big.size());
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &big, nullptr), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->docName)), longName.substr(0, 260));
  Bytes odd(3, 'q');
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &odd, nullptr), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->docName)), u"\u7171");

  // A status or letter flag shorter than its value counts as missing.
  Bytes one = {0};
  Pdev()->escapeStatus = 0;
  EXPECT_EQ(Esc(KM_ESC_SET_STATUS, &one, nullptr), -1);
  EXPECT_EQ(Pdev()->escapeStatus, 0u);
  Bytes none;
  EXPECT_EQ(Esc(KM_ESC_SET_LETTER_FLAG, &none, nullptr), -1);

  // The security-marking blocks: GetGSBDATA copies exactly the kept size.
  Bytes data = {1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(Esc(KM_ESC_SET_EXT_GSBDATA, &data, nullptr), 1);
  Bytes selector = U16(KM_GSBDATA_DATA), shortOut(6), exactOut(7);
  EXPECT_EQ(Esc(KM_ESC_GET_GSBDATA, &selector, &shortOut), -1);
  EXPECT_EQ(Esc(KM_ESC_GET_GSBDATA, &selector, &exactOut), 1);
  EXPECT_EQ(exactOut, data);
  Bytes size(4), sizeSelector = U16(KM_GSBDATA_SIZE), unknown = U16(2);
  EXPECT_EQ(Esc(KM_ESC_GET_GSBDATA, &sizeSelector, &size), 1);
  EXPECT_EQ(kp_LoadU32(&size[0]), 7u);
  EXPECT_EQ(Esc(KM_ESC_GET_GSBDATA, &unknown, &size), -1);
  Close();
}

// ---- Application margins, letter flag
// ---------------------------------------------------------

TEST_F(KmEscape, ApplicationMarginsComeFromTheTrailerForItsPaper) {
  Open(kModelA);
  const BYTE trailer[12] = {9, 0, 0x34, 0x12, 10, 0, 20, 0, 30, 0, 40, 0};  // paper 9, id 0x1234, margins
  std::memcpy(Pdev()->appMargins.bytes, trailer, 12);
  const WORD same[5] = {0x1234, 1, 2, 3, 4}, other[5] = {0x4321, 5, 6, 7, 8};
  Bytes in(10);
  std::memcpy(in.data(), same, 10);
  EXPECT_EQ(Esc(KM_ESC_SET_APP_MARGIN, &in, nullptr), 1);
  const WORD fromTrailer[5] = {10, 20, 30, 40, 0x1234};
  EXPECT_EQ(std::memcmp(Pdev()->layoutInfo.appMargins, fromTrailer, 10), 0);
  std::memcpy(in.data(), other, 10);
  EXPECT_EQ(Esc(KM_ESC_SET_APP_MARGIN, &in, nullptr), 1);
  const WORD fromInput[5] = {5, 6, 7, 8, 0x4321};
  EXPECT_EQ(std::memcmp(Pdev()->layoutInfo.appMargins, fromInput, 10), 0);
  Close();
}

// A substituted output form takes the default paper again when the letter
// flag changes; its old record is freed once, the current form's kept.
TEST_F(KmEscape, LetterFlagResetsASubstitutedOutputForm) {
  Open(kModelA);
  PRINTERFORM& out = Pdev()->outForm;
  out.substituted = 1;
  out.formName[0] = u'?';
  Bytes flag = {1};
  EXPECT_EQ(Esc(KM_ESC_SET_LETTER_FLAG, &flag, nullptr),
            1);  // the model has no letter switch: old flag 2
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.formName)), u"A4");
  ASSERT_NE(out.paperRecord, nullptr);
  EXPECT_NE(out.paperRecord, Pdev()->curForm.paperRecord);
  EXPECT_EQ(out.substituted, 1u);
  out.formName[0] = u'?';
  Bytes same = {2}, bad = {5};
  EXPECT_EQ(Esc(KM_ESC_SET_LETTER_FLAG, &same, nullptr),
            1);  // 2: as the model's flag, nothing to do
  EXPECT_EQ(out.formName[0], u'?');
  EXPECT_EQ(Esc(KM_ESC_SET_LETTER_FLAG, &bad, nullptr), 1);  // not taken
  EXPECT_EQ(out.formName[0], u'?');
  Close();
}

// A reset inside a document moves the escape state to the new PDEV: the
// document name (which later pages send in 152), the status word, the
// form-file switch.
TEST_F(KmEscape, ResetInTheDocumentKeepsTheEscapeState) {
  Open(kModelA);
  Bytes name(12);
  std::memcpy(name.data(), u"letter", 12);
  ASSERT_EQ(Esc(KM_ESC_SET_STARTDOC_FLAG, nullptr, nullptr), 1);
  ASSERT_EQ(Esc(KM_ESC_SET_DOC_NAME, &name, nullptr), 1);
  Bytes end = U16(KM_SETSTATUS_BLOCK_END), formFile = U32(3);
  ASSERT_EQ(Esc(KM_ESC_SET_STATUS, &end, nullptr), 1);
  ASSERT_EQ(Esc(KM_ESC_DISABLE_FORM_FILE, &formFile, nullptr), 1);
  ASSERT_TRUE(KpEngineResetPDEV(session_, dm_.data()));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->docName)), u"letter");
  EXPECT_EQ(Pdev()->escapeStatus, KM_ESCSTATUS_POSTBLOCK_ENDED);
  EXPECT_EQ(Pdev()->formFileSwitch, 3u);
  Close();
}

// ---- The output paper's orientation
// --------------------------------------------------------

TEST(KmPagemat, OutputPaperOrientation) {
  struct Case {
    const char* name;
    int32_t halving, nup, orientation, booklet, landscapeOutput;
    LONG result;
  };
  const Case cases[] = {
      {"one page, portrait output", 0, 1, 0, 0, 0, 0},
      {"one page, landscape output", 0, 1, 1, 0, 1, 1},
      {"one page, landscape page on portrait output", 0, 1, 1, 0, 0, 0},
      {"2-up portrait pages: a turned sheet", 1, 2, 0, 0, 0, 1},
      {"2-up landscape pages", 1, 2, 1, 0, 1, 0},
      {"4-up landscape pages", 0, 4, 1, 0, 0, 1},
      {"4-up portrait pages", 0, 4, 0, 0, 1, 0},
      {"booklet of portrait pages: turned", 0, 1, 0, 1, 0, 1},
      {"booklet of landscape pages", 0, 1, 1, 1, 1, 0},
      {"booklet, 2-up: inverted once more", 1, 2, 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto pdev = std::make_unique<PDEV>();
    pdev->layoutInfo.gridTurned = c.halving;
    pdev->layoutInfo.nup = static_cast<uint16_t>(c.nup);
    pdev->layoutInfo.orientation = c.orientation;
    pdev->layoutInfo.landscapeOutput = c.landscapeOutput;
    pdev->jobInfo.booklet = c.booklet;
    EXPECT_EQ(pagemat_getOutputPaperOrient(pdev.get()), c.result);
  }
  EXPECT_EQ(pagemat_getOutputPaperOrient(nullptr), 1);
}

}  // namespace
