#include "xl_harness.h"

#include <cstdio>
#include <stdexcept>

namespace kxltest {

std::vector<uint8_t> hex(const std::string& text) {
  std::vector<uint8_t> out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else
      continue;
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<uint8_t>(nibble << 4 | v));
      nibble = -1;
    }
  }
  if (nibble >= 0) throw std::invalid_argument("odd hex digits: " + text);
  return out;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
    s += b;
  }
  return s;
}

static bool take(Sink* s, const void* bytes, uint32_t n, uint32_t* written) {
  ++s->calls;
  s->writes.push_back(n);
  if (s->failAt != 0 && s->calls == s->failAt) {
    if (s->short_ && n > 0) {
      const auto* p = static_cast<const uint8_t*>(bytes);
      s->sent.insert(s->sent.end(), p, p + n - 1);
      *written = n - 1;
      return true;
    }
    *written = 0;
    return false;
  }
  const auto* p = static_cast<const uint8_t*>(bytes);
  s->sent.insert(s->sent.end(), p, p + n);
  *written = n;
  return true;
}

#if defined(KXL_BUILD_KM)
static BOOL recordWrite(HANDLE printer, LPVOID bytes, DWORD n, LPDWORD written) {
  uint32_t w = 0;
  bool ok = take(static_cast<Sink*>(printer), bytes, n, &w);
  *written = w;
  return ok ? TRUE : FALSE;
}

Writer::Writer() : ctx_(new XlContext) { xl_initcontext(ctx_.get(), XlPrinter{&sink_, &recordWrite}); }

std::vector<uint8_t> Writer::bytes() {
  psflush(&ctx_->out);
  return sink_.sent;
}
#else
static int32_t recordPut(void* sink, DWORD n, const void* bytes) {
  uint32_t w = 0;
  bool ok = take(static_cast<Sink*>(sink), bytes, n, &w);
  return ok ? static_cast<int32_t>(w) : -1;
}

Writer::Writer() : ctx_(new XlContext) { xl_initcontext(ctx_.get(), &recordPut, &sink_); }

std::vector<uint8_t> Writer::bytes() { return sink_.sent; }
#endif

void Writer::clear() {
  bytes();
  sink_.sent.clear();
  sink_.writes.clear();
  sink_.calls = 0;
}

}  // namespace kxltest
