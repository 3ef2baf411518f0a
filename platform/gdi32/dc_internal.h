// The device-context record behind an HDC (dc.cpp, dc_draw.cpp).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "kplatform/gdi32_dc.h"

namespace kp::gdi {

struct LogItem {
  KP_DC_LOG_ENTRY entry{};
  std::vector<BYTE> bytes;
};

// The drawing state a DC keeps itself (SaveDC pushes a copy).
struct DrawState {
  COLORREF textColor = 0;
  int bkMode = OPAQUE;
  HGDIOBJ font = nullptr;
  HGDIOBJ pen = nullptr;
};

struct Dc {
  HDC handle = nullptr;
  HANDLE printer = nullptr;
  HMODULE configModule = nullptr;
  PFN_DrvDocumentEvent documentEvent = nullptr;
  HANDLE enginePrinter = nullptr;
  KP_ENGINE_DRIVER* driver = nullptr;
  KP_ENGINE_SESSION* session = nullptr;
  bool inDocument = false;
  bool inPage = false;
  DWORD jobId = 0;
  DrawState draw;
  std::vector<DrawState> saved;

  std::mutex logLock;
  std::deque<LogItem> log;  // a deque: entries handed out keep their bytes' address
  size_t AddLog(DWORD kind, LONG code, ULONG cbIn, ULONG cbOut, const void* in, const char* name,
                const LONG* args);
  void SetLogResult(size_t index, LONG result);
};

std::shared_ptr<Dc> FindDc(HDC hdc);

// The text calls (dc_text.cpp) with the DC's selected logical font (null:
// none selected, the default face).
BOOL DcTextOut(Dc& dc, const LOGFONTW* font, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
               const INT* dx);
BOOL DcTextExtent(Dc& dc, const LOGFONTW* font, LPCWSTR text, int count, SIZE* size);

}  // namespace kp::gdi
