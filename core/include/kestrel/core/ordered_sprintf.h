// Positional message formatting: a wide format whose escapes may carry an
// argument number, so that a translated message can take its inserted values
// in another order (%2s ... %1s takes the second argument first).
//
// Escapes:
//   %s %d      the next argument (string / 32-bit integer), counted over the
//              string and decimal escapes before it in the format;
//   %Ns %Nd    argument N (one digit 1-9);
//   %S %D %NS %ND  take their argument but print nothing;
//   %%         one percent sign; a percent sign before anything else is an
//              ordinary character.
// A format is cut into at most 20 pieces (literal runs and escapes); once 19
// pieces exist, the rest of the format is literal text. An escape whose
// argument number is not below the number of argument-taking escapes prints
// its own characters.
//
// With a non-zero capacity, a piece is appended only when the output length
// plus the piece stays below the capacity; a piece that does not fit is
// skipped whole and later, shorter pieces may still be appended. Capacity 0
// means the caller's buffer holds any result. The output is always
// NUL-terminated; the result is its length in characters.
//
// Decisions:
//  - Arguments are kept in ten slots wide enough for a pointer (this is a
//    64-bit build). Argument numbers 11 and above (only reachable through more
//    than ten sequential escapes) take no argument and print their escape
//    characters as they stand; nothing is written beyond the ten slots.
//  - When several escapes carry the same number, one argument is taken for
//    each of them and the last one taken is used. At most ten arguments are
//    read from the list in all, so a caller that passes ten is never read
//    past; escapes left without an argument print their escape characters. An escape whose own kind
//    (string or decimal) differs from the kind of the argument its slot kept
//    prints its escape characters: an integer is never read as a pointer.
//  - A null string argument prints nothing.
#pragma once

#include <cstdarg>

#include "kplatform/wintypes.h"

int OrderedSprintf(LPWSTR output, int capacity, LPCWSTR format, ...);
int OrderedVSprintf(LPWSTR output, int capacity, LPCWSTR format, va_list args);
