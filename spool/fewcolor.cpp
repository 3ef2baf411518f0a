// The few-colour summary: the distinct colours a page uses, up to a limit,
// kept in the page control (words 3-21) while a page passes and in each
// stored page's info record.
#include "kestrel/spool/pagestore.h"

namespace {

bool IsGrey(uint32_t color) {
  const uint32_t r = (color >> 16) & 0xFF;
  const uint32_t g = (color >> 8) & 0xFF;
  const uint32_t b = color & 0xFF;
  return r == g && g == b;
}

constexpr BYTE kColorArgument = 2;  // the colour-mode argument of a colour page
constexpr BYTE kCountShift = 4;     // the count goes into the high nibble

}  // namespace

int fewColor_init(FEWCOLORINFO* summary, uint32_t enabled, uint16_t limit, uint32_t mode) {
  if (summary == nullptr || limit > FEWCOLOR_LIMIT_MAX) return -1;
  summary->enabled = enabled;
  summary->count = 0;
  summary->limit = limit;
  summary->mode = mode;
  for (uint32_t& c : summary->colors) c = FEWCOLOR_WHITE;
  return 0;
}

int fewColor_countColorsOnPixel(FEWCOLORINFO* summary, uint32_t color) {
  if (summary == nullptr) return -1;
  if (summary->enabled == 0) return 0;
  color &= 0x00FFFFFF;
  switch (summary->mode) {
    case FEWCOLOR_MODE_NO_WHITE:
      if (color == FEWCOLOR_WHITE) return 0;
      break;
    case FEWCOLOR_MODE_GREY_BLACK:
      if (color == FEWCOLOR_WHITE) return 0;
      if (IsGrey(color)) color = 0;
      break;
    case FEWCOLOR_MODE_ALL: break;
    default: return -1;
  }
  if (summary->count > summary->limit) return 0;
  // The listed colours are the first min(count, 16) entries.
  const uint32_t listed = summary->count < FEWCOLOR_COLORS ? summary->count : FEWCOLOR_COLORS;
  for (uint32_t i = 0; i < listed; ++i) {
    if (summary->colors[i] == color) return 0;
  }
  ++summary->count;
  if (summary->count > summary->limit) {
    summary->enabled = 0;
  } else if (listed < FEWCOLOR_COLORS) {
    summary->colors[listed] = color;
  }
  return 0;
}

int fewColor_margeInfo(FEWCOLORINFO* into, const FEWCOLORINFO* from) {
  if (into == nullptr || from == nullptr) return -1;
  // A summary that went past its limit lists only some of its colours: the
  // merge has too many colours as well, never the few listed.
  if (from->enabled == 0 && from->count > from->limit) {
    into->enabled = 0;
    return 0;
  }
  const uint32_t listed = from->count < FEWCOLOR_COLORS ? from->count : FEWCOLOR_COLORS;
  for (uint32_t i = 0; i < listed && into->enabled != 0; ++i) {
    if (fewColor_countColorsOnPixel(into, from->colors[i]) != 0) return -1;
  }
  return 0;
}

int fewColor_addColorCountBits(const FEWCOLORINFO* summary, BYTE argument, BYTE* out) {
  if (summary == nullptr || out == nullptr) return -1;
  if (argument == kColorArgument && summary->enabled != 0) {
    *out = static_cast<BYTE>((summary->count << kCountShift) + kColorArgument);
  } else {
    *out = argument;
  }
  return 0;
}
