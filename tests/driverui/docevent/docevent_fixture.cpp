#include "docevent_fixture.h"

#include <cstring>

#include "kplatform/engine_runner.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_window.h"
#include "kplatform/winspool.h"
#include "model_root.h"

namespace kestrel::test::docevent {

void DocEventTest::SetUp() {
  ASSERT_EQ(InstallModelFiles(kModelA), "");
  ASSERT_TRUE(KpInstallModule("libkestrelui.so", nullptr));
  ASSERT_TRUE(KpInstallModule("libkestrelkm.so", nullptr));
  ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
  ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
  ASSERT_TRUE(KpInstallModule("libkfaxfe.so", u"KFAXFE.DLL"));
  // Windows' meaning of the driver files: the configuration file is the
  // user-interface library, the driver the renderer.
  ASSERT_TRUE(KpSpoolerAddPrinter(kPrinter, kModelADriver, u"K350.DDD", u"kestrelui.dll", u"kestrelkm.dll"));
  ASSERT_EQ(queue_.Open(kPrinter), "");
  event_ = reinterpret_cast<PFN_DrvDocumentEvent>(
      reinterpret_cast<void (*)()>(GetProcAddress(queue_.library, "DrvDocumentEvent")));
  ASSERT_NE(event_, nullptr);
}

void DocEventTest::TearDown() {
  KpDcSetEscapeHook(nullptr, nullptr);
  KpSetActiveWindow(nullptr);
  queue_.Close();
}

HDC DocEventTest::CreateDc(const DEVMODEW* devmode) {
  return CreateDCW(nullptr, kPrinter, nullptr, devmode);
}

std::vector<Escape> DocEventTest::Escapes(HDC hdc, DWORD from) {
  std::vector<Escape> out;
  for (DWORD i = from; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (!KpDcLogEntry(hdc, i, &e) || e.kind != KP_DCLOG_ESCAPE) continue;
    Escape x{e.code, e.cbIn, e.cbOut, e.result, {}};
    if (e.in) x.in.assign(e.in, e.in + e.cbIn);
    out.push_back(std::move(x));
  }
  return out;
}

std::vector<LONG> DocEventTest::Codes(const std::vector<Escape>& escapes) {
  std::vector<LONG> codes;
  for (const Escape& e : escapes) codes.push_back(e.code);
  return codes;
}

std::vector<std::pair<LONG, LONG>> DocEventTest::Events(HDC hdc) {
  std::vector<std::pair<LONG, LONG>> out;
  for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_EVENT && e.code != DOCUMENTEVENT_ESCAPE)
      out.emplace_back(e.code, e.result);
  }
  return out;
}

std::vector<std::string> DocEventTest::Drawing(HDC hdc) {
  std::vector<std::string> out;
  for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_DRAWING) out.emplace_back(e.name);
  }
  return out;
}

std::vector<BYTE> DocEventTest::Output(HDC hdc) {
  HANDLE printer = KpDcEnginePrinter(hdc);
  std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  return bytes;
}

EscapeScript::EscapeScript(std::vector<Answer> answers) : answers_(std::move(answers)) {
  KpDcSetEscapeHook(&EscapeScript::Hook, this);
}

EscapeScript::~EscapeScript() { KpDcSetEscapeHook(nullptr, nullptr); }

BOOL EscapeScript::Hook(void* context, HDC, ULONG code, ULONG, const void*, ULONG cbOut, void* pvOut, LONG* result) {
  auto* self = static_cast<EscapeScript*>(context);
  for (const Answer& a : self->answers_) {
    if (static_cast<ULONG>(a.code) != code) continue;
    if (pvOut && cbOut) {
      std::memset(pvOut, 0, cbOut);
      if (!a.out.empty()) std::memcpy(pvOut, a.out.data(), std::min<size_t>(a.out.size(), cbOut));
    }
    *result = a.result;
    return TRUE;
  }
  return FALSE;
}

}  // namespace kestrel::test::docevent
