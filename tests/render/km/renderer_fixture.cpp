#include "renderer_fixture.h"

#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool.h>

#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/xl_inband.h"
#include "kplatform/byte_order.h"

namespace kestrel::test::km {

bool CreateDcDevmode::Set(WORD id, LONG value) {
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  return ddm_SetNumber(id, bytes.data(), pd.data(), value);
}

LONG CreateDcDevmode::Get(WORD id) {
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  LONG v = 0;
  return ddm_GetNumber(id, bytes.data(), pd.data(), &v) ? v : -99999;
}

void CreateDcDevmode::SetWord(size_t offset, WORD value) { std::memcpy(&bytes[offset], &value, 2); }
WORD CreateDcDevmode::Word(size_t offset) const {
  WORD v;
  std::memcpy(&v, &bytes[offset], 2);
  return v;
}

void KmTest::SetUp() {
  ASSERT_TRUE(KpInstallModule("libkestrelkm.so", nullptr));
  ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
  // The test's own (kernel-built) core reads the models from the driver
  // directory when it builds defaults.
  resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
  KpEngineClearDebugOutput();
}

void KmTest::TearDown() {
  for (KP_ENGINE_DRIVER* d : drivers_) KpEngineUnloadDriver(d);
  for (HANDLE p : printers_) KpEngineDeletePrinter(p);
  resource_finishToUse();
}

HANDLE KmTest::Printer(const Model& model) {
  const std::string base = model.file;
  const std::string failed = InstallModelFiles(model.file);
  if (!failed.empty()) {
    ADD_FAILURE() << "cannot install " << failed;
    return nullptr;
  }
  std::u16string data = Widen(base + ".DDD");
  std::u16string config = Widen(base + ".cfg");
  if (!KpSpoolerAddPrinter(model.printer, model.printer, data.c_str(), config.c_str(), u"kestrelkm.dll")) {
    ADD_FAILURE() << "cannot add the spooler printer";
    return nullptr;
  }
  std::u16string driverPath = std::u16string(kDriverDirW) + u"kestrelkm.dll";
  std::u16string dataPath = std::u16string(kDriverDirW) + data;
  KP_ENGINE_PRINTER_INFO info{model.printer, driverPath.c_str(), dataPath.c_str()};
  HANDLE p = KpEngineCreatePrinter(&info);
  if (!p) ADD_FAILURE() << "cannot make the printer context";
  else printers_.push_back(p);
  return p;
}

CreateDcDevmode KmTest::Devmode(const Model& model) {
  CreateDcDevmode dm;
  std::u16string file = std::u16string(kDriverDirW) + Widen(std::string(model.file) + ".DDD");
  HCDDD h = cddd_OpenFile(file.c_str());
  if (!h) {
    ADD_FAILURE() << "cannot open " << model.file;
    return dm;
  }
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  if (!cdm_SetDefaultDevmode(h, dm.data(), pd.data(), model.printer)) ADD_FAILURE() << "no defaults";
  cddd_Close(h);
  dm.SetWord(70, static_cast<WORD>(NRV_DEVMODE_EXTRA_CREATEDC));  // dmDriverExtra
  dm.SetWord(NRV_DEVMODE_SIZE_FULL, 24);                          // the marker
  return dm;
}

void KmTest::WriteConfig(const std::string& text) {
  WriteHostFile(root_.host(std::string(kDriverDir) + "kestrel.cfg"), text);
}

KP_ENGINE_DRIVER* KmTest::LoadDriver() {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kestrelkm");
  if (d) drivers_.push_back(d);
  return d;
}

std::string KmTest::DebugOutput() {
  std::string text(KpEngineGetDebugOutput(nullptr, 0) + 1, '\0');
  size_t n = KpEngineGetDebugOutput(text.data(), text.size());
  text.resize(n);
  return text;
}

EntryTable::EntryTable() {
  module_ = LoadLibraryW(u"kestrelkm.dll");
  if (!module_) return;
  auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
      reinterpret_cast<void (*)()>(GetProcAddress(module_, "DrvEnableDriver")));
  if (!enable || !enable(KP_ENGINE_VERSION, sizeof data_, &data_)) data_ = DRVENABLEDATA{};
}

EntryTable::~EntryTable() {
  if (module_) FreeLibrary(module_);
}

std::vector<StreamItem> DecodeStream(const std::vector<BYTE>& bytes, bool* ok) {
  std::vector<StreamItem> items;
  *ok = true;
  size_t at = 0;
  while (at < bytes.size()) {
    XlIcRead r = xl_ic_read(bytes.data() + at, bytes.size() - at, TRUE);
    if (r.length == 0 || (r.status != XL_IC_COMMAND && r.status != XL_IC_NOT_INBAND)) {
      *ok = false;
      break;
    }
    StreamItem item;
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

std::vector<BYTE> U32(DWORD v) {
  std::vector<BYTE> b(4);
  kp_StoreU32(b.data(), v);
  return b;
}

std::vector<BYTE> U16(WORD v) {
  std::vector<BYTE> b(2);
  kp_StoreU16(b.data(), v);
  return b;
}

}  // namespace kestrel::test::km
