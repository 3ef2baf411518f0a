// What the EJCL writer's sources share: the output with its capacity, the
// writer state of one header and the utilities (core/ejcl only).
#pragma once

#include <string>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ejcl.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace ejcl {

// How the bytes of a value are written: as they are (the description
// data's texts, the writer's own), as a value from the job (control bytes
// become blanks, a double quote inside a quoted value an apostrophe), or as
// the fax-address file (its CR LF kept).
enum class Filter { kNone, kValue, kFile };

// The text of one writer call. It is built apart and copied into the
// caller's buffer (with a NUL behind it) only when the whole text is made
// and fits the capacity, so a failed or too large text leaves nothing in
// the buffer, and a step that is taken back never counts against it.
struct Out {
  char* buf;
  DWORD cap;
  std::string text;
  LONG Put(const char* s, DWORD n, Filter filter, bool quoted);
  DWORD Len() const { return static_cast<DWORD>(text.size()); }
  void Truncate(DWORD at) { text.resize(at); }
  // The bytes written, or EJCL_ERR_ROOM when the text and its NUL do not
  // fit the capacity; r < 0 is answered as it is.
  LONG Finish(LONG r);
};

// The state of one header.
struct Writer {
  DDDFILE* main;
  DDDFILE* referenced;
  EJCL_CONTEXT* ctx;
  Out out;
  DWORD caps = 0;            // PrinterInfo item 26
  ZANLIB_CAPABILITY block{};  // the description data's capability block
  WORD deviceType = 0;
  HMODULE vellum = nullptr;
  bool vellumTried = false;
  bool quoted = false;       // a JOBATTR value's double quote is open
  EJCL_CUTBUFFER cut{};

  bool Pjl() const { return (caps & EJCL_CAP_PJL) != 0; }
  LONG Raw(const char* s);
  LONG Value(const char* s, DWORD n);
};

// A DDM value as the access layer reports it.
struct Raw {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
};
LONG ReadRaw(WORD id, const EJCL_CONTEXT* c, Raw* r);
LONGLONG RawNumber(const Raw& r);
LONG Number(WORD id, const EJCL_CONTEXT* c, LONGLONG* out);
LONG String(WORD id, const EJCL_CONTEXT* c, std::u16string* out);
// 0 equal, 1 different, or a negative code.
LONG local_CheckValue(WORD id, const EJCL_CONTEXT* c, LONGLONG expected);

UINT CodePage();
LONG ejclUtil_WriteStringToBuffer(Writer& w, const char16_t* text, size_t chars, Filter filter);
LONG ejclUtil_WriteStringToBuffer(Writer& w, const std::u16string& text, Filter filter);
// A multibyte text in the ANSI code page within `bound` bytes (-320 when no
// NUL lies within them), re-encoded to UTF-8 in code set 1.
LONG ejclUtil_WriteStringToBufferMB(Writer& w, const char* text, DWORD bound, Filter filter);


}  // namespace ejcl
