// The PCL XL stream parser: tokens read through GetData, kept as list nodes
// (from the job's 16-slot pool or GlobalAlloc), grouped into operators and
// handed to ParseOperator, which runs the in-band commands and lets the
// colour conversion and the graphics-state filter decide what is written.
#include <cstring>

#include "kestrel/spool/umpd.h"
#include "kplatform/byte_order.h"
#include "kestrel/spool/colorconv.h"
#include "seams.h"

namespace {

constexpr XLParseRow Row(int32_t kind, int32_t size, int32_t count) { return XLParseRow{kind, size, count}; }

struct ParseTableBuilder {
  XLParseRow rows[256];
  constexpr ParseTableBuilder() : rows{} {
    for (int b = 0; b < 256; ++b) rows[b] = Row(XL_KIND_INVALID, 0, 0);
    for (int b = 0x41; b <= 0xB9; ++b) rows[b] = Row(XL_KIND_OPERATOR, 0, 0);
    // Scalars, xy pairs and boxes: element sizes ubyte 1, uint16 2, uint32 4,
    // sint16 2, sint32 4, real32 4; tags 6 and 7 of each group are one byte.
    const int32_t sizes[6] = {1, 2, 4, 2, 4, 4};
    const int bases[3] = {0xC0, 0xD0, 0xE0};
    const int32_t counts[3] = {1, 2, 4};
    for (int g = 0; g < 3; ++g) {
      for (int i = 0; i < 6; ++i) rows[bases[g] + i] = Row(XL_KIND_DATA, sizes[i], counts[g]);
      for (int i = 6; i < 16; ++i) {
        if (g == 0 && i >= 8) break;  // 0xC8-0xCF below
        rows[bases[g] + i] = Row(XL_KIND_DATA, 0, 0);
      }
    }
    for (int i = 0; i < 6; ++i) rows[0xC8 + i] = Row(XL_KIND_ARRAY, sizes[i], -1);
    rows[0xCE] = Row(XL_KIND_DATA, 0, 0);
    rows[0xCF] = Row(XL_KIND_DATA, 0, 0);
    rows[0xF8] = Row(XL_KIND_ATTRIBUTE, 1, 1);
    rows[0xF9] = Row(XL_KIND_ATTRIBUTE, 2, 1);
    rows[0xFA] = Row(XL_KIND_EMBEDDED, 4, 1);
    rows[0xFB] = Row(XL_KIND_EMBEDDED, 1, 1);
    rows[0xFF] = Row(XL_KIND_OPERATOR, 0, 0);
  }
};
constexpr ParseTableBuilder kTable;

// The first embedded-data capacity; it doubles as the bytes arrive.
constexpr DWORD kEmbeddedFirstChunk = 65536;

XLData* Reject(UmpdJobContext* ctx, XLData* node, const char16_t* why) {
  if (node != nullptr) XLDataFree(ctx, node);
  umpd_Reject(ctx, why);
  return nullptr;
}

// Reads exactly n bytes; FALSE on a short read.
bool ReadExact(UmpdJobContext* ctx, BYTE* to, DWORD n) { return n == 0 || GetData(ctx, to, n) == n; }

XLData* NewToken(UmpdJobContext* ctx, BYTE first, DWORD rawLength) {
  XLData* node = XLDataAlloc(ctx, rawLength);
  if (node == nullptr) return nullptr;
  node->tag = first;
  node->raw()[0] = first;
  node->rawLength = rawLength;
  return node;
}

}  // namespace

const XLParseRow XLParseTable[256] = {
#define R(i) kTable.rows[i]
#define R16(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7), R(i + 8), R(i + 9), \
    R(i + 10), R(i + 11), R(i + 12), R(i + 13), R(i + 14), R(i + 15)
    R16(0x00), R16(0x10), R16(0x20), R16(0x30), R16(0x40), R16(0x50), R16(0x60), R16(0x70),
    R16(0x80), R16(0x90), R16(0xA0), R16(0xB0), R16(0xC0), R16(0xD0), R16(0xE0), R16(0xF0),
#undef R16
#undef R
};

// ---- nodes and lists --------------------------------------------------------------

XLData* XLDataAlloc(UmpdJobContext* ctx, DWORD rawLength) {
  XLData* node = nullptr;
  if (ctx != nullptr && rawLength <= XL_POOL_MAX_RAW && ctx->poolCount < XL_POOL_SLOTS) {
    for (DWORD i = 0; i < XL_POOL_SLOTS; ++i) {
      if (ctx->poolUsed[i] == 0) {
        ctx->poolUsed[i] = 1;
        ++ctx->poolCount;
        node = reinterpret_cast<XLData*>(ctx->pool[i]);
        std::memset(node, 0, XL_POOL_SLOT_BYTES);
        node->slot = static_cast<int32_t>(i);
        break;
      }
    }
  }
  if (node == nullptr) {
    if (static_cast<uint64_t>(rawLength) + sizeof(XLData) > 0x7FFFFFFFu) return nullptr;
    node = static_cast<XLData*>(GlobalAlloc(GPTR, sizeof(XLData) + rawLength));
    if (node == nullptr) return nullptr;
    node->slot = -1;
  }
  node->next = node;
  node->prev = node;
  node->rawLength = rawLength;
  return node;
}

XLData* XLDataFree(UmpdJobContext* ctx, XLData* node) {
  if (node == nullptr) return nullptr;
  XLData* next = XLListRemove(node);
  if (node->slot >= 0) {
    if (ctx != nullptr && node->slot < static_cast<int32_t>(XL_POOL_SLOTS) && ctx->poolUsed[node->slot] != 0) {
      ctx->poolUsed[node->slot] = 0;
      --ctx->poolCount;
    }
  } else {
    GlobalFree(node);
  }
  return next;
}

XLData* XLDataCopy(UmpdJobContext* ctx, const XLData* node) {
  if (node == nullptr) return nullptr;
  XLData* copy = XLDataAlloc(ctx, node->rawLength);
  if (copy == nullptr) return nullptr;
  copy->tag = node->tag;
  copy->valueLength = node->valueLength;
  std::memcpy(copy->raw(), node->raw(), node->rawLength);
  copy->value = copy->raw() + (node->value - node->raw());
  return copy;
}

BOOL XLDataIsEqual(const XLData* a, const XLData* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->rawLength == b->rawLength && a->tag == b->tag && a->valueLength == b->valueLength &&
         std::memcmp(a->raw(), b->raw(), a->rawLength) == 0;
}

void XLListInit(XLData* node) {
  if (node == nullptr) return;
  node->next = node;
  node->prev = node;
}

XLData* XLListAddTail(XLData* list, XLData* node) {
  if (node == nullptr) return list;
  if (list == nullptr) return node;
  // node may itself be a list: splice it whole before the head.
  XLData* tail = list->prev;
  XLData* nodeTail = node->prev;
  tail->next = node;
  node->prev = tail;
  nodeTail->next = list;
  list->prev = nodeTail;
  return list;
}

XLData* XLListAddTailList(XLData* list, XLData* other) { return XLListAddTail(list, other); }

BOOL XLListIsAlone(const XLData* node) { return node != nullptr && node->next == node; }

XLData* XLListRemove(XLData* node) {
  if (node == nullptr || node->next == node) {
    if (node != nullptr) XLListInit(node);
    return nullptr;
  }
  XLData* next = node->next;
  node->prev->next = node->next;
  node->next->prev = node->prev;
  XLListInit(node);
  return next;
}

XLData* XLDataListAddTail(XLData* list, XLData* node) { return XLListAddTail(list, node); }
XLData* XLDataListAddTailList(XLData* list, XLData* other) { return XLListAddTail(list, other); }

void XLDataListFree(UmpdJobContext* ctx, XLData* list) {
  while (list != nullptr) list = XLDataFree(ctx, list);
}

XLData* XLDataListCopy(UmpdJobContext* ctx, const XLData* list) {
  if (list == nullptr) return nullptr;
  XLData* copy = nullptr;
  const XLData* n = list;
  do {
    XLData* c = XLDataCopy(ctx, n);
    if (c == nullptr) {
      XLDataListFree(ctx, copy);
      return nullptr;
    }
    copy = XLListAddTail(copy, c);
    n = n->next;
  } while (n != list);
  return copy;
}

BOOL XLDataListIsEqual(const XLData* a, const XLData* b) {
  if (a == nullptr || b == nullptr) return a == b;
  const XLData* x = a;
  const XLData* y = b;
  do {
    if (!XLDataIsEqual(x, y)) return FALSE;
    x = x->next;
    y = y->next;
  } while (x != a && y != b);
  return x == a && y == b;
}

DWORD XLDataListRawLength(const XLData* list) {
  if (list == nullptr) return 0;
  uint64_t n = 0;
  const XLData* x = list;
  do {
    n += x->rawLength;
    x = x->next;
  } while (x != list);
  return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(n);
}

// ---- look-ups ---------------------------------------------------------------------------

BOOL IsOperator(const XLData* node) { return node != nullptr && XLParseTable[node->tag].kind == XL_KIND_OPERATOR; }
BOOL IsDataType(const XLData* node) {
  if (node == nullptr) return FALSE;
  const int32_t kind = XLParseTable[node->tag].kind;
  return kind == XL_KIND_DATA || kind == XL_KIND_ARRAY;
}
BOOL IsAttribute(const XLData* node) { return node != nullptr && XLParseTable[node->tag].kind == XL_KIND_ATTRIBUTE; }
BOOL IsEmbedData(const XLData* node) { return node != nullptr && XLParseTable[node->tag].kind == XL_KIND_EMBEDDED; }

XLData* SearchTag(XLData* list, BYTE tag) {
  if (list == nullptr) return nullptr;
  XLData* n = list;
  do {
    if (n->tag == tag) return n;
    n = n->next;
  } while (n != list);
  return nullptr;
}

XLData* SearchAttribute(XLData* list, BYTE id) {
  if (list == nullptr) return nullptr;
  XLData* n = list;
  do {
    if (n->tag == XL_TAG_ATTR_UBYTE && n->valueLength == 1 && n->value[0] == id) return n;
    n = n->next;
  } while (n != list);
  return nullptr;
}

XLData* SearchAttributeData(XLData* list, BYTE id) {
  XLData* attr = SearchAttribute(list, id);
  if (attr == nullptr || attr == list) return nullptr;  // nothing before it
  return IsDataType(attr->prev) ? attr->prev : nullptr;
}

void RemoveAttributeWithData(UmpdJobContext* ctx, XLData** list, BYTE id) {
  for (;;) {
    XLData* attr = SearchAttribute(*list, id);
    if (attr == nullptr) return;
    XLData* value = attr != *list && IsDataType(attr->prev) ? attr->prev : nullptr;
    if (value != nullptr) {
      if (value == *list) *list = value->next;
      XLDataFree(ctx, value);
    }
    if (attr == *list) *list = XLListIsAlone(attr) ? nullptr : attr->next;
    XLDataFree(ctx, attr);
  }
}

XLData* SearchEmbedData(XLData* list) {
  if (list == nullptr) return nullptr;
  XLData* n = list;
  do {
    if (IsEmbedData(n)) return n;
    n = n->next;
  } while (n != list);
  return nullptr;
}

XLData* SearchOperator(XLData* list) {
  if (list == nullptr) return nullptr;
  XLData* n = list;
  do {
    if (IsOperator(n)) return n;
    n = n->next;
  } while (n != list);
  return nullptr;
}

// ---- tokens -----------------------------------------------------------------------------

int64_t GetDataArrayLen(UmpdJobContext* ctx, BYTE* countToken, DWORD* countLength) {
  // Only a ubyte or uint16 count is a count: a signed, 32-bit or real
  // value would give negative or absurd sizes.
  if (!ReadExact(ctx, countToken, 1)) return -1;
  DWORD width;
  if (countToken[0] == XL_TAG_UBYTE) {
    width = 1;
  } else if (countToken[0] == XL_TAG_UINT16) {
    width = 2;
  } else {
    return -1;
  }
  if (!ReadExact(ctx, countToken + 1, width)) return -1;
  *countLength = 1 + width;
  return width == 1 ? countToken[1] : static_cast<int64_t>(countToken[1] | countToken[2] << 8);
}

XLData* ParseTag(UmpdJobContext* ctx) {
  BYTE first = 0;
  if (GetData(ctx, &first, 1) != 1) return nullptr;  // end of input (or the parser's end)
  const XLParseRow row = XLParseTable[first];
  switch (row.kind) {
    case XL_KIND_OPERATOR: {
      XLData* node = NewToken(ctx, first, 1);
      if (node == nullptr) return Reject(ctx, nullptr, u"no memory for a token");
      node->value = node->raw() + 1;
      return node;
    }
    case XL_KIND_DATA:
    case XL_KIND_ATTRIBUTE: {
      const DWORD n = static_cast<DWORD>(row.size) * static_cast<DWORD>(row.count);
      XLData* node = NewToken(ctx, first, 1 + n);
      if (node == nullptr) return Reject(ctx, nullptr, u"no memory for a token");
      if (!ReadExact(ctx, node->raw() + 1, n)) return Reject(ctx, node, u"the input ends inside a token");
      node->value = node->raw() + 1;
      node->valueLength = n;
      return node;
    }
    case XL_KIND_ARRAY: {
      BYTE count[3] = {};
      DWORD countLength = 0;
      const int64_t elements = GetDataArrayLen(ctx, count, &countLength);
      if (elements < 0) return Reject(ctx, nullptr, u"an array count that is not ubyte or uint16");
      const uint64_t bytes = static_cast<uint64_t>(elements) * static_cast<uint64_t>(row.size);
      XLData* node = NewToken(ctx, first, static_cast<DWORD>(1 + countLength + bytes));
      if (node == nullptr) return Reject(ctx, nullptr, u"no memory for a token");
      std::memcpy(node->raw() + 1, count, countLength);
      node->value = node->raw() + 1 + countLength;
      node->valueLength = static_cast<uint32_t>(bytes);
      if (!ReadExact(ctx, node->value, static_cast<DWORD>(bytes))) {
        return Reject(ctx, node, u"the input ends inside an array");
      }
      return node;
    }
    case XL_KIND_EMBEDDED: {
      const DWORD width = static_cast<DWORD>(row.size);
      BYTE head[5] = {first};
      if (!ReadExact(ctx, head + 1, width)) return Reject(ctx, nullptr, u"the input ends inside a data length");
      const DWORD length = width == 1 ? head[1] : kp_LoadU32(head + 1);
      if (length > XL_EMBEDDED_MAX) return Reject(ctx, nullptr, u"embedded data beyond the cap");
      const DWORD headLength = 1 + width;
      // The bytes are gathered as they arrive: the capacity grows with them.
      DWORD capacity = length < kEmbeddedFirstChunk ? length : kEmbeddedFirstChunk;
      XLData* node = NewToken(ctx, first, headLength + capacity);
      if (node == nullptr) return Reject(ctx, nullptr, u"no memory for embedded data");
      std::memcpy(node->raw(), head, headLength);
      DWORD have = 0;
      while (have < length) {
        if (have == capacity) {
          const uint64_t doubled = static_cast<uint64_t>(capacity) * 2;
          const DWORD grown = doubled > length ? length : static_cast<DWORD>(doubled);
          XLData* bigger = XLDataAlloc(ctx, headLength + grown);
          if (bigger == nullptr) return Reject(ctx, node, u"no memory for embedded data");
          std::memcpy(bigger->raw(), node->raw(), headLength + have);
          bigger->tag = first;
          XLDataFree(ctx, node);
          node = bigger;
          capacity = grown;
        }
        const DWORD want = capacity - have;
        const DWORD got = GetData(ctx, node->raw() + headLength + have, want);
        have += got;
        if (got < want) return Reject(ctx, node, u"the input ends inside embedded data");
      }
      node->rawLength = headLength + length;
      node->value = node->raw() + headLength;
      node->valueLength = length;
      return node;
    }
    default:
      return Reject(ctx, nullptr, u"a byte that starts no token");
  }
}

// ---- operators --------------------------------------------------------------------------

void FreeOperator(UmpdJobContext* ctx, XLOperator* op) {
  XLDataListFree(ctx, op->list);
  op->list = nullptr;
}

int OutputOperator(UmpdJobContext* ctx, XLOperator* op) {
  int result = 0;
  XLData* n = op->list;
  while (n != nullptr) {
    if (result == 0 && PutData(ctx, n->rawLength, n->raw()) != static_cast<int32_t>(n->rawLength)) result = -1;
    n = XLDataFree(ctx, n);
  }
  op->list = nullptr;
  if (result == 0) ++ctx->operatorsOut;
  return result;
}

int ParseOperator(UmpdJobContext* ctx, XLOperator* op) {
  ++ctx->operatorsIn;
  if (ctx->throughMode == UMPD_THROUGH_OP_DROP) {
    FreeOperator(ctx, op);
    return 0;
  }
  if (ctx->throughMode == UMPD_THROUGH_OP_COPY) return OutputOperator(ctx, op);

  if (op->op == XL_OP_BEGINSESSION) {
    umpd_TakeSnapshot(ctx);
    // No stream without its job header: a header that cannot be made or
    // written has failed the job.
    if (OutputEJCL(ctx, 1) == 0) {
      FreeOperator(ctx, op);
      return -1;
    }
    OutputHeader(ctx);
  }
  if (op->op == XL_OP_INBAND) ParseZANNTKMUMComm(ctx, op);
  const BYTE op0 = op->op;
  switch (XLColorConv(ctx, op)) {
    case XLCC_PASS: break;
    case XLCC_HELD: FreeOperator(ctx, op); return 0;
    default:
      FreeOperator(ctx, op);
      umpd_Reject(ctx, u"colour conversion failed");
      return -1;
  }
  int result = 0;
  if (IsNewXLCGSAttr(ctx, op)) {
    result = OutputOperator(ctx, op);
  } else {
    FreeOperator(ctx, op);
  }
  if (op0 == XL_OP_ENDSESSION && result == 0 && OutputEJCL(ctx, 0) == 0) result = -1;
  return result;
}

void ParseGroupedStream(UmpdJobContext* ctx) {
  XLOperator cur{};
  bool afterOperator = false;  // the last token appended is the operator
  for (;;) {
    XLData* node = ParseTag(ctx);
    if (node == nullptr) break;
    if (afterOperator) {
      afterOperator = false;
      if (IsEmbedData(node)) {
        // An operator's embedded data travels with it.
        cur.list = XLListAddTail(cur.list, node);
        ParseOperator(ctx, &cur);
        cur = XLOperator{};
        if (ctx->ok.load() == 0) break;
        continue;
      }
      ParseOperator(ctx, &cur);
      cur = XLOperator{};
      if (ctx->ok.load() == 0) {
        XLDataFree(ctx, node);
        break;
      }
    }
    if (IsEmbedData(node)) {
      // Embedded data that does not follow its operator belongs to none.
      XLDataFree(ctx, node);
      umpd_Reject(ctx, u"embedded data without an operator before it");
      break;
    }
    cur.list = XLListAddTail(cur.list, node);
    if (IsOperator(node)) {
      cur.op = node->tag;
      afterOperator = true;
    }
  }
  if (afterOperator && ctx->ok.load() != 0 && (ctx->status.load() & UMPD_STATUS_ABORTED) == 0) {
    // The last operator: nothing more can follow it. (After an abort it is
    // not run: a close command would send what the buffer holds.)
    ParseOperator(ctx, &cur);
  } else {
    // Tokens without their operator (a stream cut short): dropped, never run
    // as the operator seen last.
    FreeOperator(ctx, &cur);
  }
}
