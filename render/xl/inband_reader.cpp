// Recognising one in-band command in a PCL XL byte stream.
#include "kestrel/render/xl_inband.h"

#include "kplatform/byte_order.h"

namespace {

// Bytes of one element of a value tag, 0 for a tag that is no value.
size_t element_size(BYTE tag) {
  switch (tag & 0x07) {
    case 0: return 1;  // ubyte
    case 1: return 2;  // uint16
    case 2: return 4;  // uint32
    case 3: return 2;  // sint16
    case 4: return 4;  // sint32
    case 5: return 4;  // real32
    default: return 0;
  }
}

// Elements of a value tag: scalars 1, xy 2, box 4; arrays -1; no value 0.
int value_arity(BYTE tag) {
  if (tag >= 0xC0 && tag <= 0xC5) return 1;
  if (tag >= 0xC8 && tag <= 0xCD) return -1;
  if (tag >= 0xD0 && tag <= 0xD5) return 2;
  if (tag >= 0xE0 && tag <= 0xE5) return 4;
  return 0;
}

bool is_operator(BYTE b) { return (b >= 0x40 && b <= 0xBF) || b == XL_OP_INBAND; }

// Whether the command's handler takes this payload (or needs none).
bool payload_accepted(BYTE code, bool has, DWORD n) {
  switch (code) {
    case XL_IC_OPEN:
    case XL_IC_SETJCLHEADERS: return has;
    case XL_IC_SETDEVMODE: return has && n >= XL_IC_DEVMODE_SIZE;
    case XL_IC_SETDOCNAME: return has && n <= XL_IC_DOCNAME_MAX_BYTES;
    case XL_IC_CLOSEPRINTER: return true;  // shares the handler of 143, which does nothing
    default: {
      const int32_t size = xl_ic_payload_size(code);
      if (size <= 0) return true;  // no payload needed
      return has && n == static_cast<DWORD>(size);
    }
  }
}

}  // namespace

XlIcRead xl_ic_read(const BYTE* bytes, size_t n, BOOL endOfInput) {
  XlIcRead r{};
  r.status = XL_IC_MALFORMED;
  if (bytes == nullptr) return r;
  size_t i = 0;
  bool lastWasUbyte = false;     // the value token just read is a single ubyte
  BYTE lastUbyte = 0;
  bool found = false;            // attribute 255 seen
  bool foundAfterUbyte = false;  // ... right after a single ubyte
  BYTE code = 0;
  while (true) {
    if (i >= n) {
      r.status = XL_IC_INCOMPLETE;
      return r;
    }
    const BYTE tag = bytes[i];
    if (is_operator(tag)) break;
    const int arity = value_arity(tag);
    if (arity != 0) {
      const size_t es = element_size(tag);
      if (es == 0) return r;
      size_t count;
      size_t head;
      if (arity > 0) {
        count = static_cast<size_t>(arity);
        head = 1;
      } else {
        if (i + 1 >= n) {
          r.status = XL_IC_INCOMPLETE;
          return r;
        }
        const BYTE lt = bytes[i + 1];
        if (lt == 0xC0) {
          if (i + 2 >= n) {
            r.status = XL_IC_INCOMPLETE;
            return r;
          }
          count = bytes[i + 2];
          head = 3;
        } else if (lt == 0xC1) {
          if (i + 3 >= n) {
            r.status = XL_IC_INCOMPLETE;
            return r;
          }
          count = static_cast<size_t>(bytes[i + 2]) | static_cast<size_t>(bytes[i + 3]) << 8;
          head = 4;
        } else {
          return r;
        }
      }
      const size_t total = head + count * es;
      if (total > n - i) {
        r.status = XL_IC_INCOMPLETE;
        return r;
      }
      lastWasUbyte = tag == 0xC0;
      lastUbyte = lastWasUbyte ? bytes[i + 1] : 0;
      i += total;
      continue;
    }
    if (tag == 0xF8 || tag == 0xF9) {
      const size_t width = tag == 0xF8 ? 1 : 2;
      if (width >= n - i) {
        r.status = XL_IC_INCOMPLETE;
        return r;
      }
      const WORD id = tag == 0xF8 ? bytes[i + 1] : static_cast<WORD>(bytes[i + 1] | bytes[i + 2] << 8);
      if (id == XL_ATTR_INBAND && !found) {
        found = true;
        foundAfterUbyte = lastWasUbyte;
        code = lastUbyte;
      }
      lastWasUbyte = false;
      i += 1 + width;
      continue;
    }
    return r;  // not a token that may come before an operator
  }
  const BYTE op = bytes[i++];
  if (op != XL_OP_INBAND) {
    r.status = XL_IC_NOT_INBAND;
    r.length = i;
    return r;
  }
  // Embedded data right after the in-band operator belongs to it.
  if (i == n && !endOfInput) {
    r.status = XL_IC_INCOMPLETE;
    return r;
  }
  if (i < n && (bytes[i] == XL_TAG_DATA_LENGTH_BYTE || bytes[i] == XL_TAG_DATA_LENGTH)) {
    const size_t width = bytes[i] == XL_TAG_DATA_LENGTH_BYTE ? 1 : 4;
    if (width >= n - i) {
      r.status = XL_IC_INCOMPLETE;
      return r;
    }
    const DWORD len = width == 1 ? bytes[i + 1] : kp_LoadU32(bytes + i + 1);
    const size_t start = i + 1 + width;
    if (len > n - start) {
      r.status = XL_IC_INCOMPLETE;
      return r;
    }
    r.hasPayload = TRUE;
    r.payload = bytes + start;
    r.payloadLength = len;
    i = start + len;
  }
  r.length = i;
  if (!found || !foundAfterUbyte || code < XL_IC_FIRST || code > XL_IC_LAST ||
      !payload_accepted(code, r.hasPayload != 0, r.payloadLength)) {
    r.status = XL_IC_IGNORED;
    return r;
  }
  r.status = XL_IC_COMMAND;
  r.code = code;
  return r;
}
