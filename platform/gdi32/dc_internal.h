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

// A GDI object of the process (dc_objects.cpp). The table and every DC
// that selected it share it: DeleteObject takes it from the table, and a DC
// that still has it selected draws on with it until it selects another.
enum class ObjectKind { kFont = 1, kPen, kBrush, kBitmap, kRegion };
struct GdiObject {
  ObjectKind kind = ObjectKind::kFont;
  bool stock = false;  // GetStockObject's: DeleteObject leaves it
  LOGFONTW font{};
  // Pens: the whole style word (PS_* style, end cap, join, type), the width
  // in device pixels, the colour and a user style's entries.
  DWORD penStyle = PS_SOLID;
  DWORD penWidth = 1;
  COLORREF penColor = 0;
  std::vector<DWORD> userStyle;
  // Brushes: BS_SOLID, BS_NULL, BS_HATCHED (hatch HS_*) or BS_PATTERN (the
  // bitmap object, shared).
  UINT brushStyle = BS_SOLID;
  COLORREF brushColor = 0;
  ULONG hatch = 0;
  std::shared_ptr<const GdiObject> pattern;
  // Bitmaps: 1 or 32 bits a pixel, rows top-down, each padded to 4 bytes.
  LONG width = 0, height = 0;
  UINT bitsPerPixel = 0;
  std::vector<BYTE> bits;
  // Regions: one rectangle, right and bottom exclusive (empty: nothing).
  RECTL rect{};
};
using ObjectRef = std::shared_ptr<const GdiObject>;

struct Selected {
  HGDIOBJ handle = nullptr;
  ObjectRef object;
};

// The drawing state a DC keeps itself (SaveDC pushes a copy).
struct DrawState {
  COLORREF textColor = 0;
  COLORREF bkColor = 0x00FFFFFFu;
  int bkMode = OPAQUE;
  int fillMode = ALTERNATE;
  Selected font;
  Selected pen;    // null object: the stock black pen
  Selected brush;  // null object: the stock white brush
  POINT position{0, 0};
  // The clip: none (the whole page), or disjoint rectangles in device
  // pixels, right and bottom exclusive (none of them: nothing is visible).
  bool clipped = false;
  std::vector<RECTL> clip;
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
  int spoolerJobs = -1;  // KpDcUseSpoolerJobs: -1 as the printer has a port, 0 off, 1 on
  DrawState draw;
  std::vector<DrawState> saved;

  std::mutex logLock;
  std::deque<LogItem> log;  // a deque: entries handed out keep their bytes' address
  size_t AddLog(DWORD kind, LONG code, ULONG cbIn, ULONG cbOut, const void* in, const char* name,
                const LONG* args);
  void SetLogResult(size_t index, LONG result);
};

std::shared_ptr<Dc> FindDc(HDC hdc);
// FindDc for a call that fails on an unknown DC: null with ERROR_INVALID_HANDLE.
std::shared_ptr<Dc> FindDcOrFail(HDC hdc);

// A drawing call in the DC's log: its name, first arguments and answer.
void LogCall(Dc& dc, const char* name, LONG a = 0, LONG b = 0, LONG c = 0, LONG d = 0, LONG result = 0);

// The object behind a handle (null for none), and one kind's.
ObjectRef FindObject(HGDIOBJ handle);
ObjectRef FindObject(HGDIOBJ handle, ObjectKind kind);

// Engine objects made for one drawing call, deleted newest first when it
// returns (a pattern brush before its bitmap and translation).
struct EngineObjects {
  std::vector<PVOID> made;
  template <typename T>
  T* Keep(T* object) {
    if (object) made.push_back(object);
    return object;
  }
  ~EngineObjects();
};

// The engine clip object of the DC's clip, intersected with `also` when
// given: DC_TRIVIAL without either, DC_RECT for one rectangle, DC_COMPLEX
// for more. Null with *empty true when nothing is visible; null with
// *empty false when the object could not be made (ERROR_NOT_ENOUGH_MEMORY).
CLIPOBJ* DcClip(const Dc& dc, const RECTL* also, EngineObjects& objects, bool* empty);

// The text calls (dc_text.cpp) with the DC's selected logical font (null:
// none selected, the default face).
BOOL DcTextOut(Dc& dc, const LOGFONTW* font, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
               const INT* dx);
BOOL DcTextExtent(Dc& dc, const LOGFONTW* font, LPCWSTR text, int count, SIZE* size);

}  // namespace kp::gdi
