// What the renderer's (kestrelkm's) tests share: a root whose driver
// directory holds kestrelkm, the resource module and the two models (the
// pairs installed by InstallModelFiles, model_root.h); a spooler printer with
// an engine printer context for a model; and the CreateDC devmode (5464
// bytes) built from the model's defaults by the kernel build of the devmode
// core, as the document-event handler hands it to DrvEnablePDEV.
#pragma once

#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <string>
#include <vector>

#include "kestrel/core/devmode.h"
#include "temp_root.h"

namespace kestrel::test::km {

// Pool tags of the renderer's blocks: plain blocks and heap blocks.
inline constexpr ULONG kTagPlain = 'D' | ('p' << 8) | ('s' << 16) | ('m' << 24);
inline constexpr ULONG kTagHeap = 'D' | ('p' << 8) | ('s' << 16) | ('h' << 24);

struct Model {
  const char* file;          // "K350": the base name of its file pair
  const char16_t* printer;   // the spooler printer's name
};
inline constexpr Model kModelA{test::kModelA, u"Scriva K350 PCL6"};
inline constexpr Model kModelB{test::kModelB, u"Scriva K260 PCL6"};

// The 5464-byte CreateDC devmode: the 5440-byte devmode, the marker 24 at
// offset 5440, the application-margin block at 5442, the emulation and
// pre-configuration values at 5456 and 5460.
struct CreateDcDevmode {
  std::vector<BYTE> bytes = std::vector<BYTE>(NRV_DEVMODE_SIZE_CREATEDC);
  BYTE* data() { return bytes.data(); }
  // A member of the devmode part by DDM id, in its own type (the test's own
  // kernel-built value access). False when the write is refused.
  bool Set(WORD id, LONG value);
  LONG Get(WORD id);
  void SetWord(size_t offset, WORD value);
  WORD Word(size_t offset) const;
};

class KmTest : public kestrel::test::RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs the model's file pair, adds its spooler printer and answers an
  // engine printer context for it (deleted at TearDown).
  HANDLE Printer(const Model& model);
  // The model's default devmode in its CreateDC form. Fails the test when
  // the defaults can't be built.
  CreateDcDevmode Devmode(const Model& model);
  // Writes kestrel.cfg into the driver directory.
  void WriteConfig(const std::string& text);

  // Loads kestrelkm through the engine runner.
  KP_ENGINE_DRIVER* LoadDriver();
  std::string DebugOutput();

  std::vector<HANDLE> printers_;
  std::vector<KP_ENGINE_DRIVER*> drivers_;
};

// The entry table as DrvEnableDriver hands it to the engine, for calling
// single rows the runner does not drive (drawing, fonts, escapes). The
// library stays loaded while the object lives.
class EntryTable {
 public:
  EntryTable();
  ~EntryTable();
  bool ok() const { return module_ != nullptr && data_.pdrvfn != nullptr; }
  template <typename Fn>
  Fn Get(ULONG index) const {
    for (ULONG i = 0; i < data_.c; ++i)
      if (data_.pdrvfn[i].iFunc == index) return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(data_.pdrvfn[i].pfn));
    return nullptr;
  }

 private:
  HMODULE module_ = nullptr;
  DRVENABLEDATA data_{};
};

// One operator of a renderer stream: an in-band command with its payload, or
// a PCL XL operator of the renderer's own.
struct StreamItem {
  bool inband = false;
  BYTE code = 0;  // command code, or the operator byte
  std::vector<BYTE> payload;
};
// The stream as the product's in-band reader (xl_ic_read) splits it; *ok is
// false when it breaks before its end (the items before stay).
std::vector<StreamItem> DecodeStream(const std::vector<BYTE>& bytes, bool* ok);

// Little-endian bytes of a 32-bit and a 16-bit value, for escape inputs.
std::vector<BYTE> U32(DWORD v);
std::vector<BYTE> U16(WORD v);

// a x b / c rounded to the nearest whole number, halves up (a, b, c > 0).
inline LONG RoundDiv(LONG a, LONG b, LONG c) {
  return static_cast<LONG>((2LL * a * b + c) / (2LL * c));
}

}  // namespace kestrel::test::km
