// JPEG files made in memory with libjpeg for the private gate's tests and
// fuzz corpus (the renderer itself never links libjpeg: it only walks the
// markers of what an application hands it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test::km {

struct JpegSpec {
  int width = 32;
  int height = 24;
  int components = 3;          // 1 grey, 3 RGB
  bool progressive = false;
  int restartInterval = 0;     // MCU rows between restart markers, 0: none
  int quality = 75;
  bool noise = false;          // pseudo-random pixels (large files), else a gradient
  std::vector<std::pair<int, std::string>> markers;  // written after the header: APPn (0xE0 + n) or COM (0xFE)
};

std::vector<uint8_t> MakeJpeg(const JpegSpec& picture);

// The offset just past the frame header (SOFn segment) of a JPEG, 0 when it
// has none: found by a plain scan of the segments, shared with nothing.
size_t FrameHeaderEnd(const std::vector<uint8_t>& jpeg);

}  // namespace kestrel::test::km
