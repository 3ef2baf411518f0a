// Positional message formatting (see kestrel/core/ordered_sprintf.h).
#include "kestrel/core/ordered_sprintf.h"

#include <cstdio>

namespace {

constexpr int kMaxPieces = 20;
constexpr int kEscapeLimit = 19;  // escapes are recognised while fewer pieces exist
constexpr int kSlots = 10;

enum PieceKind { kLiteral = 0, kString = 1, kDecimal = 2 };

struct Piece {
  int kind;
  int index;   // argument index (escapes)
  int start;   // first format character
  int length;  // characters of the format it covers
  bool print;  // lower-case escapes and literals print
};

struct Slot {
  int kind;  // kString / kDecimal; kLiteral = empty
  LPCWSTR text;
  INT number;
};

// Kind of an escape letter; kLiteral when it is none.
int l_getFormatStringType(WCHAR c, bool* print) {
  switch (c) {
    case u's': *print = true; return kString;
    case u'S': *print = false; return kString;
    case u'd': *print = true; return kDecimal;
    case u'D': *print = false; return kDecimal;
    default: return kLiteral;
  }
}

// Tries an escape at format[at] (a percent sign). Answers the characters it
// covers (0: no escape) and fills the piece.
int l_getFormatEscape(LPCWSTR format, int at, int escapes, Piece* piece) {
  if (format[at] != u'%') return 0;
  WCHAR next = format[at + 1];
  if (next == u'%') {
    // A literal piece holding the second percent sign.
    *piece = Piece{kLiteral, 0, at + 1, 1, true};
    return 2;
  }
  bool print = false;
  int kind = l_getFormatStringType(next, &print);
  if (kind != kLiteral) {
    *piece = Piece{kind, escapes, at, 2, print};
    return 2;
  }
  if (next >= u'1' && next <= u'9') {
    kind = l_getFormatStringType(format[at + 2], &print);
    if (kind != kLiteral) {
      *piece = Piece{kind, next - u'1', at, 3, print};
      return 3;
    }
  }
  return 0;
}

void l_addNormalString(Piece* pieces, int* count, int at) {
  if (*count > 0) {
    Piece& last = pieces[*count - 1];
    if (last.kind == kLiteral && last.start + last.length == at) {
      ++last.length;
      return;
    }
  }
  pieces[(*count)++] = Piece{kLiteral, 0, at, 1, true};
}

void l_parseFormatString(LPCWSTR format, Piece* pieces, int* count, int* escapes) {
  *count = 0;
  *escapes = 0;
  for (int at = 0; format[at] != 0;) {
    if (*count < kEscapeLimit) {
      Piece piece{};
      int used = l_getFormatEscape(format, at, *escapes, &piece);
      if (used > 0) {
        pieces[(*count)++] = piece;
        if (piece.kind != kLiteral) ++*escapes;
        at += used;
        continue;
      }
    }
    l_addNormalString(pieces, count, at);
    ++at;
  }
}

// Appends n characters when they fit (capacity 0: always).
void Append(LPWSTR output, int capacity, int* length, const WCHAR* text, int n) {
  if (capacity != 0 && *length + n >= capacity) return;
  for (int k = 0; k < n; ++k) output[*length + k] = text[k];
  *length += n;
}

int l_makeOutputString(LPWSTR output, int capacity, LPCWSTR format, const Piece* pieces, int count, int escapes,
                       const Slot* slots) {
  int length = 0;
  for (int p = 0; p < count; ++p) {
    const Piece& piece = pieces[p];
    bool resolved = piece.kind != kLiteral && piece.index < escapes && piece.index < kSlots &&
                    slots[piece.index].kind == piece.kind;
    if (piece.kind == kLiteral || !resolved) {
      Append(output, capacity, &length, format + piece.start, piece.length);
      continue;
    }
    if (!piece.print) continue;
    const Slot& slot = slots[piece.index];
    if (piece.kind == kString) {
      int n = 0;
      if (slot.text)
        while (slot.text[n]) ++n;
      Append(output, capacity, &length, slot.text, n);
    } else {
      char digits[16];
      int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(slot.number));
      WCHAR wide[16];
      for (int k = 0; k < n; ++k) wide[k] = static_cast<WCHAR>(digits[k]);
      Append(output, capacity, &length, wide, n);
    }
  }
  output[length] = 0;
  return length;
}

}  // namespace

int OrderedVSprintf(LPWSTR output, int capacity, LPCWSTR format, va_list args) {
  if (!output || capacity < 0) return 0;
  if (!format) {
    output[0] = 0;
    return 0;
  }
  Piece pieces[kMaxPieces];
  int count = 0, escapes = 0;
  l_parseFormatString(format, pieces, &count, &escapes);

  Slot slots[kSlots] = {};
  int collect = escapes < kSlots ? escapes : kSlots;
  int taken = 0;  // at most kSlots arguments are read from the list in all
  for (int a = 0; a < collect; ++a) {
    for (int p = 0; p < count && taken < kSlots; ++p) {
      if (pieces[p].kind == kLiteral || pieces[p].index != a) continue;
      ++taken;
      if (pieces[p].kind == kString) {
        slots[a] = Slot{kString, va_arg(args, LPCWSTR), 0};
      } else {
        slots[a] = Slot{kDecimal, nullptr, va_arg(args, INT)};
      }
    }
  }
  return l_makeOutputString(output, capacity, format, pieces, count, escapes, slots);
}

int OrderedSprintf(LPWSTR output, int capacity, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = OrderedVSprintf(output, capacity, format, args);
  va_end(args);
  return n;
}
