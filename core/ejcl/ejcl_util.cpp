// The EJCL writer's utilities: the code-set word, value reads, string
// writers, the condition test and the cut rule (kestrel/core/ejcl.h).
#include <atomic>
#include <cstring>

#include "ejcl_internal.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_core.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_codepage.h"

namespace {
std::atomic<WORD> g_codeSet{EJCL_CODESET_UNSET};
}  // namespace

void ejclUtil_SetStringCodeSet(WORD codeSet) { g_codeSet.store(codeSet); }

WORD ejclUtil_GetStringCodeSet(void) {
  WORD v = g_codeSet.load();
  if (v > 65534) {
    g_codeSet.store(EJCL_CODESET_ANSI);
    return EJCL_CODESET_ANSI;
  }
  return v;
}

namespace ejcl {

namespace {
constexpr size_t kSlack = 4096;  // more than any one record writes and takes back
}  // namespace

// ---- Output --------------------------------------------------------------------

LONG Out::Put(const char* s, DWORD n, Filter filter, bool quoted) {
  // A step may be taken back, so the capacity is checked once at the end;
  // a text that runs far past it stops here.
  if (text.size() + n > static_cast<size_t>(cap) + kSlack) return EJCL_ERR_ROOM;
  size_t at = text.size();
  text.append(s, n);
  if (filter != Filter::kNone) {
    for (size_t i = at; i < text.size(); ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      bool lineEnd = c == '\r' || c == '\n';
      if ((c < 0x20 || c == 0x7F) && !(filter == Filter::kFile && lineEnd)) text[i] = ' ';
      if (quoted && c == '"') text[i] = '\'';
    }
  }
  return static_cast<LONG>(n);
}

LONG Out::Finish(LONG r) {
  if (r >= 0 && text.size() + 1 > cap) r = EJCL_ERR_ROOM;
  if (r < 0) {
    if (buf && cap) buf[0] = 0;
    return r;
  }
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = 0;
  return static_cast<LONG>(text.size());
}

LONG Writer::Raw(const char* s) { return out.Put(s, static_cast<DWORD>(std::strlen(s)), Filter::kNone, false); }
LONG Writer::Value(const char* s, DWORD n) { return out.Put(s, n, Filter::kValue, quoted); }

// ---- Strings ----------------------------------------------------------------------

UINT CodePage() { return ejclUtil_GetStringCodeSet() == EJCL_CODESET_UTF8 ? CP_UTF8 : CP_ACP; }

LONG ejclUtil_WriteStringToBuffer(Writer& w, const char16_t* text, size_t chars, Filter filter) {
  if (!text || chars == 0) return 0;
  UINT cp = CodePage();
  int n = WideCharToMultiByte(cp, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return EJCL_ERR_MEMORY;
  std::string bytes(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(cp, 0, text, static_cast<int>(chars), bytes.data(), n, nullptr, nullptr) != n)
    return EJCL_ERR_MEMORY;
  return w.out.Put(bytes.data(), static_cast<DWORD>(n), filter, w.quoted);
}

LONG ejclUtil_WriteStringToBuffer(Writer& w, const std::u16string& text, Filter filter) {
  return ejclUtil_WriteStringToBuffer(w, text.data(), text.size(), filter);
}

LONG ejclUtil_WriteStringToBufferMB(Writer& w, const char* text, DWORD bound, Filter filter) {
  if (!text) return EJCL_ERR_COPY;
  const void* nul = std::memchr(text, 0, bound);
  if (!nul) return EJCL_ERR_LENGTH;
  DWORD n = static_cast<DWORD>(static_cast<const char*>(nul) - text);
  if (n == 0) return 0;
  if (ejclUtil_GetStringCodeSet() != EJCL_CODESET_UTF8) return w.out.Put(text, n, filter, w.quoted);
  int chars = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0);
  if (chars <= 0) return EJCL_ERR_MEMORY;
  std::u16string wide(static_cast<size_t>(chars), u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), wide.data(), chars) != chars) return EJCL_ERR_MEMORY;
  return ejclUtil_WriteStringToBuffer(w, wide, filter);
}

// ---- Values -----------------------------------------------------------------------

LONG ReadRaw(WORD id, const EJCL_CONTEXT* c, Raw* r) {
  WORD status = ddm_GetValue(id, c->devmode, c->printerData, &r->type, &r->size, &r->value);
  if (status == 0) return 1;
  return status == DMA_ERR_MEMBER ? EJCL_ERR_ACCESS : EJCL_ERR_NOVALUE;
}

LONGLONG RawNumber(const Raw& r) {
  switch (r.type) {
    case 2: return static_cast<SHORT>(r.value & 0xFFFF);
    case 3: return static_cast<WORD>(r.value & 0xFFFF);
    case 4:
    case 10: return static_cast<LONG>(r.value & 0xFFFFFFFFu);
    case 8: return static_cast<BYTE>(r.value & 0xFF);
    default: return static_cast<DWORD>(r.value & 0xFFFFFFFFu);
  }
}

LONG Number(WORD id, const EJCL_CONTEXT* c, LONGLONG* out) {
  Raw r;
  LONG s = ReadRaw(id, c, &r);
  if (s < 0) return s;
  if (r.type == DDM_TYPE_STRING || r.type == DDM_TYPE_FONT) return EJCL_ERR_ACCESS;
  *out = RawNumber(r);
  return 1;
}

LONG String(WORD id, const EJCL_CONTEXT* c, std::u16string* out) {
  Raw r;
  LONG s = ReadRaw(id, c, &r);
  if (s < 0) return s;
  if (r.type != DDM_TYPE_STRING) return EJCL_ERR_ACCESS;
  out->clear();
  const BYTE* p = reinterpret_cast<const BYTE*>(r.value);
  for (DWORD i = 0; p && i + 1 < r.size; i += 2) {
    char16_t ch = kp_LoadU16(p + i);
    if (ch == 0) break;
    out->push_back(ch);
  }
  return 1;
}

LONG local_CheckValue(WORD id, const EJCL_CONTEXT* c, LONGLONG expected) {
  LONGLONG v = 0;
  LONG s = Number(id, c, &v);
  if (s < 0) return s;
  return v == expected ? 0 : 1;
}

// ---- Conditions ----------------------------------------------------------------------

namespace {

bool IsSigned(WORD type) { return type == 2 || type == 4 || type == 10; }

LONGLONG Element(const DDD_VALUE& v, WORD i, WORD type) {
  const BYTE* p = static_cast<const BYTE*>(v.data) + static_cast<size_t>(i) * v.size;
  ULONGLONG u = 0;
  for (WORD k = 0; k < v.size && k < 8; ++k) u |= static_cast<ULONGLONG>(p[k]) << (8 * k);
  if (IsSigned(type) && v.size < 8 && (u >> (8 * v.size - 1)) & 1) u |= ~0ull << (8 * v.size);
  return static_cast<LONGLONG>(u);
}

bool SizeFits(WORD type, WORD size) {
  switch (type) {
    case 1: return size >= 1 && size <= 4;
    case 2:
    case 3: return size == 2;
    case 4:
    case 5:
    case 10: return size == 4;
    case 8: return size == 1;
    default: return false;
  }
}

enum class Op { kEqual, kNotEqual, kGreater, kGreaterEqual, kLess, kLessEqual, kBad };

Op OperatorOf(BYTE op) {
  switch (op) {
    case 1:
    case 7:
    case 8:
    case 10:
    case 11:
    case 12: return Op::kEqual;
    case 2: return Op::kNotEqual;
    case 3: return Op::kGreater;
    case 4: return Op::kGreaterEqual;
    case 5: return Op::kLess;
    case 6: return Op::kLessEqual;
    default: return Op::kBad;
  }
}

// The listed value on the left.
bool Holds(Op op, LONGLONG listed, LONGLONG value) {
  switch (op) {
    case Op::kEqual: return listed == value;
    case Op::kNotEqual: return listed != value;
    case Op::kGreater: return listed > value;
    case Op::kGreaterEqual: return listed >= value;
    case Op::kLess: return listed < value;
    case Op::kLessEqual: return listed <= value;
    default: return false;
  }
}

// One entry's comparison: 1 true, 0 false, or a negative code.
LONG CompareEntry(const DDD_ITEM& e, const EJCL_CONTEXT* c) {
  if (!e.value.data) return 0;
  Raw r;
  LONG s = ReadRaw(e.ddmId, c, &r);
  if (s < 0) return s;
  WORD type = e.value.type;
  if (type != r.type && !(type == DDD_TYPE_BYTE && r.type == DDD_TYPE_USHORT)) return EJCL_ERR_CONDTYPE;
  Op op = OperatorOf(e.op);
  const WORD count = e.value.count;
  if (type == DDD_TYPE_STRING) {
    if (op == Op::kBad) return EJCL_ERR_OPERATOR;
    if (e.op != 1 && e.op != 2) return EJCL_ERR_OPFORTYPE;
    std::u16string have;
    if ((s = String(e.ddmId, c, &have)) < 0) return s;
    const BYTE* p = static_cast<const BYTE*>(e.value.data);
    std::u16string listed;
    for (DWORD i = 0; i + 1 < e.value.size; i += 2) {
      char16_t ch = kp_LoadU16(p + i);
      if (ch == 0) break;
      listed.push_back(ch);
    }
    bool equal = listed == have;
    return (e.op == 1) == equal ? 1 : 0;
  }
  if (type != 1 && type != 2 && type != 3 && type != 4 && type != 5 && type != 8 && type != 10) return EJCL_ERR_TYPE;
  if (!SizeFits(type, e.value.size)) return EJCL_ERR_SIZE;
  if (op == Op::kBad) return EJCL_ERR_OPERATOR;
  if (type == DDD_TYPE_BOOL && e.op != 1 && e.op != 2) return EJCL_ERR_OPFORTYPE;
  LONGLONG value = RawNumber(r);
  if (count == 0) return op == Op::kNotEqual ? 1 : 0;
  if (op == Op::kNotEqual) {
    for (WORD i = 0; i < count; ++i)
      if (Element(e.value, i, type) == value) return 0;
    return 1;
  }
  for (WORD i = 0; i < count; ++i)
    if (Holds(op, Element(e.value, i, type), value)) return 1;
  return 0;
}

}  // namespace

}  // namespace ejcl

LONG ejclUtil_CheckConditionsOf(const DDD_EJCL* record, const EJCL_CONTEXT* c) {
  if (!record || !c) return EJCL_ERR_ACCESS;
  const WORD n = record->conditions.count;
  const DDD_ITEM* e = record->conditions.items;
  if (n == 0) return 1;
  auto conn = [&](WORD i) { return e[i].connective; };
  WORD i = 0;
  while (i < n) {
    LONG term = ejcl::CompareEntry(e[i], c);
    if (term < 0) return term;
    BYTE k = conn(i);
    if (k == 5 || k == 6) term = !term;
    switch (k) {
      case 4:
      case 6: return term;
      case 3:
        if (term) return 1;
        ++i;
        break;
      case 1: {
        if (term) {
          ++i;
          break;
        }
        WORD j = static_cast<WORD>(i + 1);
        for (; j < n; ++j) {
          if (conn(j) == 3 || conn(j) == 4 || conn(j) == 5) break;
          if (conn(j) == 6) return 1;
        }
        if (j >= n) return 0;
        i = static_cast<WORD>(j + 1);
        break;
      }
      case 2: {
        if (!term) {
          ++i;
          break;
        }
        WORD j = static_cast<WORD>(i + 1);
        bool moved = false;
        for (; j < n && !moved; ++j) {
          BYTE kj = conn(j);
          if (kj == 1 || kj == 6) {
            i = static_cast<WORD>(j + 1);
            moved = true;
          } else if (kj == 3 || kj == 4) {
            return 1;
          } else if (kj == 5) {
            WORD m = static_cast<WORD>(j + 1);
            while (m < n && conn(m) != 3 && conn(m) != 4 && conn(m) != 6) ++m;
            if (m >= n) return 1;
            i = static_cast<WORD>(m + 1);
            moved = true;
          }
        }
        if (!moved) return 1;
        break;
      }
      case 5: {
        if (term) {
          ++i;
          break;
        }
        WORD j = static_cast<WORD>(i + 1);
        while (j < n && conn(j) != 3 && conn(j) != 4 && conn(j) != 6) ++j;
        if (j >= n) return 0;
        i = static_cast<WORD>(j + 1);
        break;
      }
      default: return EJCL_ERR_CONNECTIVE;
    }
  }
  return 0;
}

LONG ejclUtil_GetValue(WORD ddmId, const EJCL_CONTEXT* c, WORD wantedType, void* out) {
  if (!c || !out) return EJCL_ERR_ACCESS;
  ejcl::Raw r;
  LONG s = ejcl::ReadRaw(ddmId, c, &r);
  if (s < 0) return s;
  switch (wantedType) {
    case 1:
    case 4:
    case 5:
    case 10: {
      DWORD v = static_cast<DWORD>(ejcl::RawNumber(r));
      std::memcpy(out, &v, 4);
      return 1;
    }
    case 6: {
      const void* p = r.type == DDM_TYPE_STRING ? reinterpret_cast<const void*>(r.value) : nullptr;
      if (!p) return EJCL_ERR_ACCESS;
      std::memcpy(out, &p, sizeof p);
      return 1;
    }
    case 2:
    case 3: {
      WORD v = static_cast<WORD>(ejcl::RawNumber(r));
      std::memcpy(out, &v, 2);
      return 1;
    }
    case 8: {
      BYTE v = static_cast<BYTE>(ejcl::RawNumber(r));
      std::memcpy(out, &v, 1);
      return 1;
    }
    default: return EJCL_ERR_ACCESS;
  }
}

LONG ejclUtil_CheckNULLStr(WORD ddmId, const EJCL_CONTEXT* c) {
  if (!c) return EJCL_ERR_ACCESS;
  ejcl::Raw r;
  LONG s = ejcl::ReadRaw(ddmId, c, &r);
  if (s < 0) return s;
  if (r.type != DDM_TYPE_STRING) return 103;
  std::u16string text;
  ejcl::String(ddmId, c, &text);
  return text.empty() ? 101 : 102;
}

BOOL ejclUtil_IsHardCodeCommand(const DDD_EJCL* record) {
  LPCWSTR cmd = record ? ddd_GetEJCLCommand(record) : nullptr;
  return cmd && cmd[0] == u'%';
}

// ---- Cut rule ----------------------------------------------------------------------------

namespace {
constexpr char16_t kJobAttr[] = u"@PJL SET JOBATTR=";

std::u16string Text(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

void Store(WCHAR (&slot)[EJCL_CUT_KEY_CHARS], const std::u16string& key) {
  size_t n = key.size() < EJCL_CUT_KEY_CHARS - 1 ? key.size() : EJCL_CUT_KEY_CHARS - 1;
  std::memcpy(slot, key.data(), n * sizeof(WCHAR));
  slot[n] = 0;
}
}  // namespace

BOOL ejclUtil_IsCutCommand(EJCL_CUTBUFFER* cut, const DDD_EJCL* record, BOOL pjlForm) {
  if (!cut || !record) return FALSE;
  std::u16string command = Text(ddd_GetEJCLCommand(record));
  std::u16string argument = Text(ddd_GetEJCLArgument(record));
  bool jobAttrKey = false;
  std::u16string key;
  if (!pjlForm) {
    key = command;
  } else if (record->hintId != 0) {
    key = argument;
  } else if (command == kJobAttr) {
    jobAttrKey = true;
    key = argument;
    if (!key.empty() && key[0] == u'"') key.erase(0, 1);
    size_t eq = key.find(u'=');
    if (eq != std::u16string::npos) key.resize(eq + 1);
  } else {
    key = command;
  }
  if (key.size() > EJCL_CUT_KEY_CHARS - 1) key.resize(EJCL_CUT_KEY_CHARS - 1);
  if (cut->found) {
    if (jobAttrKey ? (!key.empty() && std::u16string(cut->jobAttr).find(key) != std::u16string::npos)
                   : key == std::u16string(cut->command))
      return TRUE;
  }
  if (cut->flags & EJCL_CUT_ONLY_FLAGGED) {
    WORD flag = 0;
    if (ddd_GetAdditionalFlag(record, &flag) == DDD_OK && (flag & 1)) return FALSE;
    Store(jobAttrKey ? cut->jobAttr : cut->command, key);
    cut->found = TRUE;
    return TRUE;
  }
  return FALSE;
}
