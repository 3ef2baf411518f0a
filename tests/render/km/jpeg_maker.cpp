#include "jpeg_maker.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace kestrel::test::km {

std::vector<uint8_t> MakeJpeg(const JpegSpec& picture) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = picture.components;
  cinfo.in_color_space = picture.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, picture.quality, TRUE);
  if (picture.progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_in_rows = picture.restartInterval;
  jpeg_start_compress(&cinfo, TRUE);
  for (const auto& m : picture.markers)
    jpeg_write_marker(&cinfo, m.first, reinterpret_cast<const JOCTET*>(m.second.data()),
                      static_cast<unsigned>(m.second.size()));
  std::vector<uint8_t> row(static_cast<size_t>(picture.width) * picture.components);
  uint32_t seed = 12345;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (size_t i = 0; i < row.size(); ++i) {
      if (picture.noise) {
        seed = seed * 1103515245u + 12345u;
        row[i] = static_cast<uint8_t>(seed >> 16);
      } else {
        row[i] = static_cast<uint8_t>((static_cast<int>(i) * 7 + y * 5) & 0xFF);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

size_t FrameHeaderEnd(const std::vector<uint8_t>& jpeg) {
  size_t at = 2;  // after SOI
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t m = jpeg[at + 1];
    const size_t length = static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3];
    const bool sof = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (sof) return at + 2 + length;
    at += 2 + length;
  }
  return 0;
}

}  // namespace kestrel::test::km
