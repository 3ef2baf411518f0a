// Builds ICC version-2 RGB profiles in memory for the colour engine's tests,
// fuzz seeds and benchmark: header, tag table, and 'curv', 'XYZ ', 'mft1',
// 'mft2' and raw tags. Big-endian, as profiles are.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kestrel::test {

class IccBuilder {
 public:
  IccBuilder(const char* deviceClass = "mntr", const char* pcs = "XYZ ", const char* colorSpace = "RGB ") {
    header_.assign(128, 0);
    std::memcpy(&header_[12], deviceClass, 4);
    std::memcpy(&header_[16], colorSpace, 4);
    std::memcpy(&header_[20], pcs, 4);
    std::memcpy(&header_[36], "acsp", 4);
    header_[8] = 2;  // version 2.1
    header_[9] = 0x10;
  }

  // Raw access to the header (a test may break it).
  std::vector<uint8_t>& header() { return header_; }

  IccBuilder& Raw(const char* sig, std::vector<uint8_t> data) {
    tags_.push_back({std::string(sig, 4), std::move(data)});
    return *this;
  }
  IccBuilder& Curve(const char* sig, const std::vector<uint16_t>& entries) {
    std::vector<uint8_t> d = TypeHead("curv");
    Put32(d, static_cast<uint32_t>(entries.size()));
    for (uint16_t e : entries) Put16(d, e);
    return Raw(sig, std::move(d));
  }
  IccBuilder& Gamma(const char* sig, uint16_t u8f8) { return Curve(sig, {u8f8}); }
  IccBuilder& Xyz(const char* sig, double x, double y, double z) {
    std::vector<uint8_t> d = TypeHead("XYZ ");
    for (double v : {x, y, z}) Put32(d, static_cast<uint32_t>(static_cast<int32_t>(v * 65536.0 + (v < 0 ? -0.5 : 0.5))));
    return Raw(sig, std::move(d));
  }
  // A matrix-and-curves RGB profile: colourants, white and one curve for all three.
  IccBuilder& Matrix(const double red[3], const double green[3], const double blue[3], const double white[3],
                     const std::vector<uint16_t>& curve) {
    Xyz("rXYZ", red[0], red[1], red[2]);
    Xyz("gXYZ", green[0], green[1], green[2]);
    Xyz("bXYZ", blue[0], blue[1], blue[2]);
    Xyz("wtpt", white[0], white[1], white[2]);
    Curve("rTRC", curve);
    Curve("gTRC", curve);
    Curve("bTRC", curve);
    return *this;
  }

  // An A2B0 lookup table with identity input and output tables: clut holds
  // grid^3 x 3 entries (first input channel slowest); 16-bit for mft2, the
  // low byte of each for mft1.
  static std::vector<uint8_t> Lut(bool mft2, uint8_t grid, const std::vector<uint16_t>& clut, uint8_t in = 3,
                                  uint8_t out = 3, uint16_t tableEntries = 2) {
    std::vector<uint8_t> d = TypeHead(mft2 ? "mft2" : "mft1");
    d.push_back(in);
    d.push_back(out);
    d.push_back(grid);
    d.push_back(0);
    for (int i = 0; i < 9; ++i) Put32(d, i % 4 == 0 ? 0x10000 : 0);  // identity matrix
    if (mft2) {
      Put16(d, tableEntries);
      Put16(d, tableEntries);
      for (int c = 0; c < in; ++c) {
        for (uint16_t i = 0; i < tableEntries; ++i) Put16(d, static_cast<uint16_t>(i * 65535u / (tableEntries - 1)));
      }
      for (uint16_t v : clut) Put16(d, v);
      for (int c = 0; c < out; ++c) {
        for (uint16_t i = 0; i < tableEntries; ++i) Put16(d, static_cast<uint16_t>(i * 65535u / (tableEntries - 1)));
      }
    } else {
      for (int c = 0; c < in; ++c) {
        for (int i = 0; i < 256; ++i) d.push_back(static_cast<uint8_t>(i));
      }
      for (uint16_t v : clut) d.push_back(static_cast<uint8_t>(v));
      for (int c = 0; c < out; ++c) {
        for (int i = 0; i < 256; ++i) d.push_back(static_cast<uint8_t>(i));
      }
    }
    return d;
  }

  std::string Build() const {
    std::vector<uint8_t> out = header_;
    Put32(out, static_cast<uint32_t>(tags_.size()));
    uint32_t offset = static_cast<uint32_t>(128 + 4 + 12 * tags_.size());
    std::vector<uint8_t> body;
    for (const auto& t : tags_) {
      out.insert(out.end(), t.sig.begin(), t.sig.end());
      Put32(out, offset + static_cast<uint32_t>(body.size()));
      Put32(out, static_cast<uint32_t>(t.data.size()));
      body.insert(body.end(), t.data.begin(), t.data.end());
      while (body.size() % 4 != 0) body.push_back(0);
    }
    out.insert(out.end(), body.begin(), body.end());
    const uint32_t size = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    return std::string(out.begin(), out.end());
  }

  static void Put32(std::vector<uint8_t>& d, uint32_t v) {
    for (int i = 0; i < 4; ++i) d.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
  }
  static void Put16(std::vector<uint8_t>& d, uint16_t v) {
    d.push_back(static_cast<uint8_t>(v >> 8));
    d.push_back(static_cast<uint8_t>(v));
  }
  static std::vector<uint8_t> TypeHead(const char* type) {
    std::vector<uint8_t> d(8, 0);
    std::memcpy(d.data(), type, 4);
    return d;
  }

 private:
  struct TagData {
    std::string sig;
    std::vector<uint8_t> data;
  };
  std::vector<uint8_t> header_;
  std::vector<TagData> tags_;
};

}  // namespace kestrel::test
