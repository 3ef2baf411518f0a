// The kernel-mode build's services beyond strings and printer data: the
// engine's pool, the description data opened for the engine's device, the
// driver's own module, the letter flag, the stand-ins of user-mode
// functions and the trace line's bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kplatform/kernel32_codepage.h"
#include "kernel_core_fixture.h"

namespace kestrel::test::km {
namespace {

constexpr ULONG kPlainTag = 0x6D737044;  // "Dpsm"

std::string Printed() {
  std::vector<char> buffer(1 << 16);
  KpEngineGetDebugOutput(buffer.data(), buffer.size());
  return buffer.data();
}

class KernelCommon : public KernelModelTest {};

TEST_F(KernelCommon, PlainBlocksAreZeroedEngineBlocks) {
  size_t before = KpEngineBlockCount(kPlainTag);
  auto* block = static_cast<BYTE*>(NTKernel_MAlloc(64));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(KpEngineBlockCount(kPlainTag), before + 1);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0) << i;
  EngFreeMem(block);
  EXPECT_EQ(KpEngineBlockCount(kPlainTag), before);
  KpEngineFailAllocation(1);
  EXPECT_EQ(NTKernel_MAlloc(64), nullptr);
  EXPECT_EQ(NTKernel_MAlloc(0), nullptr);
}

TEST_F(KernelCommon, DescriptionDataOfTheEnginesDevice) {
  Open(kModelB);
  WORD status = 0;
  LPWSTR model = cdddGetModelName(ddd_, &status);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(std::u16string(model), u"Scriva K260");
  kcore_Free(model);

  LPWSTR name = cdddGetFileName(printer_);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name), std::u16string(kDriverDirW) + u"K260.DDD");
  kcore_Free(name);

  // A context without a data file, and no device at all.
  KP_ENGINE_PRINTER_INFO bare{u"Bare", nullptr, nullptr};
  HANDLE other = KpEngineCreatePrinter(&bare);
  HDEV otherDev = KpEngineCreateDevice(other);
  EXPECT_EQ(cdddGetFileName(other), nullptr);
  EXPECT_EQ(cddd_Open(otherDev), nullptr);
  EXPECT_EQ(cddd_Open(nullptr), nullptr);
  EXPECT_EQ(cdddGetFileName(nullptr), nullptr);
  KpEngineDeleteDevice(otherDev);
  KpEngineDeletePrinter(other);
}

TEST_F(KernelCommon, TheDriversOwnModuleIsLoadedOnceByItsPath) {
  resource_finishToUse();
  // The driver file must be there to be loaded; any file stands in for it.
  ASSERT_TRUE(KpInstallModule(ModelFile("K350.DDD").c_str(), u"kestrelkm.dll"));
  size_t modules = KpEngineObjectCount(KP_ENGINE_MODULES);
  EXPECT_EQ(driver_get_hInstance(), nullptr);  // not started
  resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
  HINSTANCE first = driver_get_hInstance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(driver_get_hInstance(), first);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), modules + 1);
  resource_finishToUse();
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), modules);
  resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());  // for TearDown
}

TEST_F(KernelCommon, LetterFlagIsStoredNotLookedUp) {
  zanlib_ResetLocaleCache();
  static const int kAny = 1;
  EXPECT_EQ(driver_get_letter_flag(TRUE), 2);  // nothing stored yet
  EXPECT_EQ(driver_get_letter_flag(&kAny), 2);
  EXPECT_TRUE(driver_put_letter_flag(1));
  EXPECT_EQ(driver_get_letter_flag(TRUE), 1);
  EXPECT_EQ(driver_get_letter_flag(&kAny), 1);  // the core's callers see the same flag
  EXPECT_EQ(driver_get_letter_flag(FALSE), 2);  // switch off
  EXPECT_EQ(driver_get_letter_flag(0), 2);
  EXPECT_EQ(driver_get_letter_flag(nullptr), 2);
  for (WORD bad : {0, 3, 0xFFFF}) EXPECT_FALSE(driver_put_letter_flag(bad)) << bad;
  EXPECT_EQ(driver_get_letter_flag(TRUE), 1);  // refused values change nothing
  EXPECT_TRUE(driver_put_letter_flag(2));
  EXPECT_EQ(driver_get_letter_flag(TRUE), 2);
  zanlib_ResetLocaleCache();
}

TEST_F(KernelCommon, StandInsOfUserModeFunctions) {
  Open(kModelA);
  WORD os = 0;
  EXPECT_EQ(osVer_GetOS(&os), 1);
  EXPECT_EQ(os, 513);
  EXPECT_EQ(osVer_GetOS(nullptr), -1);
  EXPECT_EQ(zanLib_GetFormDirDefault(), nullptr);
  zanlib_ResetLocaleCache();
  EXPECT_EQ(zanlib_GetPaperSizeGroupDefault(FALSE), 254);
  EXPECT_EQ(zanlib_Get8K16KDefault(), 254);

  // The stamp name list (298), the stamp face name (305) and the header face
  // name (358) have no default in kernel mode: empty strings.
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL, 0xCC), pd(NRV_PRINTERDATA_SIZE, 0xCC);
  ASSERT_TRUE(cdm_SetDefaultDevmode(ddd_, dm.data(), pd.data(), u"DummyName"));
  for (WORD id : {298, 305, 358}) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    ASSERT_EQ(ddm_GetValue(id, dm.data(), pd.data(), &type, &size, &v), 0) << id;
    EXPECT_EQ(type, DDM_TYPE_STRING) << id;
    EXPECT_EQ(*reinterpret_cast<const WCHAR*>(v), 0) << id;
  }
}

TEST_F(KernelCommon, TraceLinesUpTo513CharactersGoToTheDebugger) {
  Open(kModelA);  // the driver directory holds kestrel.cfg
  WriteHostFile(root_.host(std::string(kDriverDir) + "kestrel.cfg"), "[LOG]\r\nLOG=0x00000001\r\n");
  Logout_SetLogoutStatus();
  KpEngineClearDebugOutput();
  const std::u16string longest(513, u'x');
  EXPECT_EQ(1, Logout_OutputString(u"%s", longest.c_str()));
  EXPECT_EQ(0, Logout_OutputString(u"%s", (longest + u"y").c_str()));
  EXPECT_EQ(1, Logout_OutputString(u"%s", u"%s %d %n"));  // a directive in the text stays text
  EXPECT_EQ(Printed(), std::string(513, 'x') + "\n%s %d %n\n");

  // 513 double-byte characters take 1026 bytes, with the LF 1027.
  ASSERT_TRUE(KpSetACP(932));
  KpEngineClearDebugOutput();
  const std::u16string wide(513, u'\u3042');
  EXPECT_EQ(1, Logout_OutputString(u"%s", wide.c_str()));
  std::string twoBytes;
  for (int i = 0; i < 513; ++i) twoBytes += "\x82\xa0";
  EXPECT_EQ(Printed(), twoBytes + "\n");
  KpSetACP(1252);
  std::remove(root_.host(std::string(kDriverDir) + "kestrel.cfg").c_str());
  Logout_SetLogoutStatus();
}

}  // namespace
}  // namespace kestrel::test::km
