// A strict PCL XL checker for tests, written from the public language tables
// (pclxl-tables.json). It shares no code with the product's writer or stream
// parser.
//
// Three modes:
//   Job            the bytes that go to a printer: UEL/PJL framing, exactly one
//                  stream-header line, then a binary little-endian stream that
//                  ends at a UEL; only public tags and attribute ids, no 0xFF.
//   UnframedJob    the same without the UEL/PJL frame (a job whose frame is
//                  written by later work): the stream-header line first, the
//                  binary part to the end of the bytes or to a UEL.
//   RendererStream the renderer's own output: no framing; the private in-band
//                  command (ubyte code 128-158, attribute 255, operator 0xFF,
//                  embedded data of that command's size) and the private
//                  attribute 254 on SetColorSpace are allowed.
// Both modes check, for the binary part: every byte a legal tag; value ->
// attribute -> operator order; attribute ids public and allowed for their
// operator with an allowed data type; required attributes present; embedded
// data only after operators that read it, with lengths that fit (and equal
// what the operator consumes where the attributes say so); session, page,
// block (image, raster pattern, stream, font header, char, scan) nesting and
// an open data source for reading operators; balanced PushGS/PopGS within a
// page; everything closed at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pclxl_check {

enum class Mode { Job, RendererStream, UnframedJob };

enum class Fault {
  Framing,            // UEL / PJL / stream-header problems (job mode)
  IllegalTag,         // a byte that is no legal tag here
  Truncated,          // the bytes end inside a token
  IllegalSequence,    // value without attribute, attribute without value, ...
  PrivateAttribute,   // 253/254/255 (or any id at or above the limit) where not allowed
  IllegalAttribute,   // an id not listed for the operator, or not public
  MissingAttribute,   // a required attribute is missing
  IllegalDataType,    // the attribute's value type is not allowed
  Context,            // operator outside its session/page/block context
  Nesting,            // begin/end blocks unbalanced, or left open at the end
  UnbalancedGS,       // PopGS without PushGS, or a page ending with pushed states
  MissingData,        // a reading operator without its embedded data
  UnexpectedData,     // embedded data where no operator reads it
  DataLength,         // embedded data shorter than announced, or not what the operator consumes
  InBand,             // a malformed in-band command (renderer-stream mode)
};

const char* faultName(Fault f);

struct Finding {
  Fault fault;
  size_t offset;
  std::string message;
};

struct Report {
  std::vector<Finding> findings;
  bool ok() const { return findings.empty(); }
  bool has(Fault f) const;
  std::string text() const;  // one line per finding, for test messages
};

// Checks a byte string. The tables are loaded once (the path comes from the
// build); a missing tables file is reported as a finding of every check.
Report check(const uint8_t* data, size_t size, Mode mode);
inline Report check(const std::vector<uint8_t>& bytes, Mode mode) { return check(bytes.data(), bytes.size(), mode); }

}  // namespace pclxl_check
