// Set-up of the job-frame tests: model A's queue in use (value access,
// resource module, description handle), model B's files and printer beside
// it, a copy of model A with every capability bit the header writer reads,
// a fixed clock (local time = UTC), user "alice", Windows NT 5.1 and code
// page 1252, and the Vellumhall stand-in installed as kvellum.dll.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/ejcl.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_printer.h"
#include "model_a_queue.h"
#include "temp_root.h"

namespace kestrel::test::ejcl {

inline constexpr char16_t kModelBPrinter[] = u"Scriva K260";

// Every capability bit of PrinterInfo item 26 the header writer reads.
inline constexpr DWORD kAllCaps = EJCL_CAP_DBCS_DOCNAME | EJCL_CAP_NUP | EJCL_CAP_HOST_ADDRESS | EJCL_CAP_INPUT_BIN |
                                  EJCL_CAP_COLLATE_A | EJCL_CAP_COLLATE_B | EJCL_CAP_PJL | EJCL_CAP_HOST_NAME |
                                  EJCL_CAP_OWNER_NAME | EJCL_CAP_BOOKLET_SHEETS | EJCL_CAP_FAX_FORM2;

// One model's description data and records.
struct Model {
  HCDDD ddd = nullptr;
  bool owned = false;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
};

inline SYSTEMTIME Utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME t{};
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  return t;
}

class EjclTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelAQueue(kModelAPrinter), "");
    ASSERT_EQ(InstallModelFiles(kModelB), "");
    ASSERT_TRUE(KpSpoolerAddPrinter(kModelBPrinter, u"Scriva K260 PCL6", u"K260.DDD", u"K260.cfg", u"kestrelui.dll"));
    ASSERT_EQ(queue_.Open(kModelAPrinter), "");
    InstallVellum("libkvellumtest.so");
    LONG bias = 0;
    KpSetTimeZoneBias(&bias);
    SetClock(Utc(2025, 12, 31, 23, 59, 30));
    KpSetUserName(u"alice");
    KpSetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT);
    KpSetACP(1252);
    a_.ddd = queue_.ddd;
    ASSERT_TRUE(Defaults(a_, queue_.printer));
  }
  void TearDown() override {
    for (Model* m : {&b_, &all_})
      if (m->ddd && m->owned) cddd_Close(m->ddd);
    for (HANDLE p : printers_) ClosePrinter(p);
    queue_.Close();
    KpSetTimeZoneBias(nullptr);
    KpSetClock(nullptr);
    KpResetMachineFacts();
    KpSetACP(1252);
    ejclUtil_SetStringCodeSet(EJCL_CODESET_UNSET);
  }

  static void SetClock(SYSTEMTIME t) { ASSERT_TRUE(KpSetClock(&t)); }
  static void InstallVellum(const char* library) { ASSERT_TRUE(KpInstallModule(library, u"kvellum.dll")); }

  bool Defaults(Model& m, HANDLE printer) {
    if (!pd_GetPrinterData(printer, m.pd.data(), m.ddd)) return false;
    return cdm_SetDefaultDevmode(m.ddd, m.dm.data(), m.pd.data(), nullptr) != FALSE;
  }

  // Model B with its own printer's records.
  Model& B() {
    if (!b_.ddd) {
      HANDLE p = nullptr;
      std::u16string n = kModelBPrinter;
      EXPECT_TRUE(OpenPrinterW(n.data(), &p, nullptr));
      printers_.push_back(p);
      b_.ddd = cddd_Open(p);
      b_.owned = true;
      EXPECT_NE(b_.ddd, nullptr);
      EXPECT_TRUE(Defaults(b_, p));
    }
    return b_;
  }

  // Model A's data with PrinterInfo item 26 set to `caps` (as "K350X.DDD").
  Model& Patched(DWORD caps = kAllCaps) {
    if (!all_.ddd) {
      std::string bytes = ReadHostFile(ModelFile("K350.DDD"));
      DDDFILE main{}, referenced{};
      std::u16string original = DriverFile(u"K350.DDD");
      EXPECT_EQ(DDD_OK, ddd_OpenFile(original.c_str(), 0, &main, &referenced));
      EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 26));
      size_t at = main.cursor;
      ddd_CloseFile(&main, &referenced);
      for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((caps >> (8 * i)) & 0xFF);
      WriteHostFile(root_.host(std::string(kDriverDir) + "K350X.DDD"), bytes);
      all_.ddd = cddd_OpenFile(DriverFile(u"K350X.DDD").c_str());
      all_.owned = true;
      EXPECT_NE(all_.ddd, nullptr);
      all_.pd = a_.pd;
      EXPECT_TRUE(cdm_SetDefaultDevmode(all_.ddd, all_.dm.data(), all_.pd.data(), nullptr));
    }
    return all_;
  }

  static void Set(Model& m, WORD id, LONG value) {
    ASSERT_TRUE(ddm_SetNumber(id, m.dm.data(), m.pd.data(), value)) << "DDM " << id;
  }
  static void SetText(Model& m, WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, m.dm.data(), m.pd.data(), DDM_TYPE_STRING,
                           static_cast<DWORD>((text.size() + 1) * 2), text.c_str()),
              0)
        << "DDM " << id;
  }

  EJCL_CONTEXT Context(Model& m, LPCWSTR documentName = u"Report") {
    EJCL_CONTEXT c{};
    c.devmode = m.dm.data();
    c.printerData = m.pd.data();
    c.documentName = documentName;
    c.hardCoded = 1;
    return c;
  }

  // The header of a model with its context, in a buffer of `capacity`
  // (0: the size the writer asks for); *code gets the writer's answer.
  std::string Head(Model& m, EJCL_CONTEXT& c, LONG* code = nullptr, DWORD capacity = 0) {
    if (capacity == 0) {
      LONG size = ejcl_bufferSizeHead(m.ddd->main, m.ddd->referenced);
      EXPECT_GT(size, 0);
      capacity = static_cast<DWORD>(size);
    }
    std::vector<char> buf(capacity, '#');
    LONG r = ejcl_getEJCLCommandsHead(m.ddd->main, m.ddd->referenced, &c, buf.data(), capacity);
    if (code) *code = r;
    if (r < 0) {
      for (DWORD i = 0; i < capacity && buf[i] != '#'; ++i)
        if (buf[i] != 0) ADD_FAILURE() << "a failed header leaves bytes in the buffer";
      return {};
    }
    EXPECT_EQ(buf[static_cast<size_t>(r)], 0) << "a NUL follows the text";
    return std::string(buf.data(), static_cast<size_t>(r));
  }
  std::string Head(Model& m, LONG* code = nullptr) {
    EJCL_CONTEXT c = Context(m);
    return Head(m, c, code);
  }

  ModelAQueue queue_;
  Model a_;
  Model b_;
  Model all_;
  std::vector<HANDLE> printers_;
};

// The lines of a header after its universal exit.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = text.rfind("\x1B%-12345X", 0) == 0 ? 9 : 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace kestrel::test::ejcl
