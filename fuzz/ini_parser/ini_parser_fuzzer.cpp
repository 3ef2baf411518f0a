// Parses any bytes as a profile (INI) file, runs every query and the three
// edits with names taken from the file, and checks that writing a document
// and reading it back gives the same lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ini_parser.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void checkRoundTrip(const kp::ini::Document& doc) {
  kp::ini::Document again = kp::ini::Document::Parse(doc.Serialize());
  // A UTF-8 text that starts like a byte-order mark is written with one.
  check(again.encoding() == doc.encoding() ||
        (doc.encoding() == kp::ini::Encoding::Utf8 && again.encoding() == kp::ini::Encoding::Utf8Bom));
  check(again.lines().size() == doc.lines().size());
  for (size_t i = 0; i < doc.lines().size(); ++i) {
    check(again.lines()[i].text == doc.lines()[i].text);
    check(again.lines()[i].kind == doc.lines()[i].kind);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kp::ini::Document doc = kp::ini::Document::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  checkRoundTrip(doc);

  std::vector<std::u16string> sections = doc.SectionNames();
  for (const std::u16string& section : sections) {
    auto keys = doc.KeyNames(section);
    check(keys.has_value());
    check(doc.SectionLines(section).has_value());
    for (const std::u16string& key : *keys) check(doc.Value(section, key).has_value());
  }

  // Edits with names from the file (they hold no line break by construction).
  if (!sections.empty()) {
    const std::u16string& first = sections.front();
    auto keys = doc.KeyNames(first);
    if (keys && !keys->empty() && keys->front().find(u'=') == std::u16string::npos &&
        (keys->front().empty() || (keys->front()[0] != u';' && keys->front()[0] != u'['))) {
      doc.SetValue(first, keys->front(), u"fuzz value");
      auto value = doc.Value(first, keys->front());
      check(value.has_value() && *value == u"fuzz value");
      doc.DeleteKey(first, keys->front());
      check(!doc.Value(first, keys->front()).has_value());
    }
    doc.SetValue(first, u"added", u"1");
    check(doc.Value(first, u"added") == std::u16string(u"1"));
    doc.DeleteSection(sections.back());
    check(!doc.KeyNames(sections.back()).has_value());
  }
  doc.SetValue(u"new section", u"k", u"v");
  check(doc.Value(u"NEW SECTION", u"K") == std::u16string(u"v"));
  checkRoundTrip(doc);
  return 0;
}
