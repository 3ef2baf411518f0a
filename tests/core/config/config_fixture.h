// Set-up shared by the trace-log, pre-configuration and emulation tests: a
// fresh root whose driver directory holds kestreljd and the driver-library
// stand-in, the access module taken into use, and the driver directory known
// to the common library.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../ddm/devmode_fixture.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "temp_root.h"

namespace kestrel::test::config {

inline constexpr char kPrnuiLog[] = "c/DEBUG_LOG/WINNT/DDI_PRNUI_TRACE_LOG.txt";
inline constexpr char kUmLog[] = "c/DEBUG_LOG/WINNT/DDI_UM_TRACE_LOG.txt";

class ConfigTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelui.dll").c_str());
    Logout_SetLibrary(LOGOUT_LIB_PRNUI);
    Logout_SetLogoutStatus();
  }
  void TearDown() override {
    resource_finishToUse();
    Logout_SetLogoutStatus();  // no driver directory: logging off for the next test
    ModuleTest::TearDown();
  }

  // Writes kestrel.cfg (CR LF lines) and re-reads the switches.
  void LogConfig(const std::string& text) {
    root_.WriteDriverFile("kestrel.cfg", text);
    Logout_SetLogoutStatus();
  }
  std::string Log(const char* which = kPrnuiLog) const { return ReadHostFile(root_.host(which)); }
  bool LogExists(const char* which = kPrnuiLog) const { return std::filesystem::exists(root_.host(which)); }
  void WriteDriverFile(const std::string& name, const std::string& text) { root_.WriteDriverFile(name, text); }
};

}  // namespace kestrel::test::config
