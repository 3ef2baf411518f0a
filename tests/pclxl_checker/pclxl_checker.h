// A strict PCL XL checker for tests, written from the public language tables
// (pclxl-tables.json). It shares no code with the product's writer, stream
// parser or in-band reader.
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
//                  attribute 254 on SetColorSpace are allowed. The page
//                  framing is the renderer's: the spooler side writes
//                  BeginPage where it executes in-band 138, so 138 opens a
//                  page (inside a session, never inside another page), and
//                  in-band 139 or an EndPage operator closes it. A BeginPage
//                  the renderer writes itself is reported (the job would get
//                  two), as is 139 without an open page. 140 changes nothing.
//                  A page captured into the spooler side's page store (between
//                  in-band 133 and 134) is replayed later inside the job's
//                  session, so where it stands it needs no session.
// Both modes check, for the binary part: every byte a legal tag; value ->
// attribute -> operator order; attribute ids public and allowed for their
// operator with an allowed data type; required attributes present; embedded
// data only after operators that read it, with lengths that fit (and equal
// what the operator consumes where the attributes say so); session, page,
// block (image, raster pattern, stream, font header, char, scan) nesting and
// an open data source for reading operators; balanced PushGS/PopGS within a
// page; everything closed at the end.
//
// The decoded listing (`list`, or `check` with a Listing) turns the binary
// part into one item per operator or in-band command, for tests that compare
// a stream's sequence and for people reading it.
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
  Context,            // operator outside its session/page/block context; in the renderer's
                      // stream also in-band 138 outside a session, and a BeginPage of its own
  Nesting,            // begin/end blocks unbalanced, or left open at the end; in the
                      // renderer's stream also 138 inside a page, 139 without one
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

// ---- The decoded listing ----------------------------------------------------------

struct ListedAttribute {
  int id = 0;
  std::string name;   // from the tables ("UnitsPerMeasure"); "Attr253" etc. for ids they lack
  std::string type;   // the value's data type ("uint16_xy")
  std::string value;  // "600", "(600,600)", "(0,0,10,10)", "[4 2 1]", or "\"text\"" for a
                      // printable ubyte array
  std::vector<double> numbers;  // the same value's elements as numbers (one, two, four or the array's)
  std::string text() const;  // Name=type(value), or Name=type"text" / Name=type[...]
};

struct ListedItem {
  size_t offset = 0;      // of the operator byte
  int code = -1;          // in-band command code 128-158; -1 for a PCL XL operator and
                          // for an in-band command whose code is malformed
  bool inband = false;    // operator byte 0xFF in the renderer's stream
  std::string name;       // operator name ("BeginSession") or in-band name ("startpage")
  std::vector<ListedAttribute> attributes;  // an operator's (an in-band command's code is in `code`)
  bool hasData = false;   // embedded data followed (a payload for in-band commands)
  std::vector<uint8_t> data;
  // "IC 138" for an in-band command, else the operator name.
  std::string key() const;
  // One line: "BeginSession UnitsPerMeasure=uint16_xy(600,600) Measure=ubyte(0) ...",
  // "IC 138 startpage [12] 00 00 ...", "IC 130 open [8] \"doc\"" (names of 130
  // and 152 as text), "IC 150 setdevmode [8192]" (payloads over 24 bytes by length).
  std::string text() const;
};

struct Listing {
  std::vector<ListedItem> items;
  // Empty when every byte was decoded; otherwise why the decoding stopped
  // (the items before that point are kept).
  std::string stopped;
  std::vector<std::string> keys() const;  // each item's key(), in order
  std::string text() const;               // each item's text() on its own line
  // The in-band commands of one code, in order.
  std::vector<const ListedItem*> commands(int code) const;
};

// Checks a byte string. The tables are loaded once (the path comes from the
// build); a missing tables file is reported as a finding of every check.
// With a listing, the binary part is also decoded into it in the same pass.
Report check(const uint8_t* data, size_t size, Mode mode, Listing* listing = nullptr);
inline Report check(const std::vector<uint8_t>& bytes, Mode mode, Listing* listing = nullptr) {
  return check(bytes.data(), bytes.size(), mode, listing);
}

// The decoded listing of a renderer stream (RendererStream mode); the
// findings of the same pass are dropped, `check` gives both.
Listing list(const uint8_t* data, size_t size);
inline Listing list(const std::vector<uint8_t>& bytes) { return list(bytes.data(), bytes.size()); }

}  // namespace pclxl_check
