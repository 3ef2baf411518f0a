// Profile (INI) documents: parsing, queries and edits that keep the file's
// order and every line they do not touch (internal to the platform library;
// the profile functions in profile.cpp build on it). Pure code: no files, no
// locks, no platform state, so the fuzz target builds it on its own.
//
// Reading a file:
// - Encoding: a file that starts with the bytes FF FE is UTF-16LE (an odd
//   last byte is ignored); every other file is UTF-8, with or without the
//   bytes EF BB BF in front. A byte that is not part of a valid UTF-8
//   sequence becomes the code unit DC80+byte and is written back as that same
//   byte, so an 8-bit file in another code page survives a rewrite unchanged.
// - Lines end at CR LF, LF or CR.
// - After blanks (space, tab, VT, FF) are trimmed from both ends, a line is
//   blank; a comment when it starts with ';'; a section header when it starts
//   with '[' and holds a ']' (the name lies between the '[' and the last ']',
//   trimmed; text after it is ignored); an entry when it holds '=' (the key
//   is the trimmed text before the first '=', the value the trimmed text
//   after it); otherwise a bare line, a key without a value.
// - Lines before the first section header belong to no section and cannot be
//   read by name.
// - Section and key names compare without regard to case (FoldName) and
//   after trimming blanks from the name asked for. When a section name
//   appears more than once, lookups and key lists use the first such
//   section and the list of section names gives it once, at its first place;
//   when a key appears more than once in a section, the first one counts.
//
// Writing (Serialize): the same encoding and byte-order mark as read (UTF-8
// without a mark for a new file); every line ends with CR LF. A UTF-8 text
// without a mark whose first bytes would read back as one (after the first
// line was deleted, say) is written with the UTF-8 mark in front.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kp::ini {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };
enum class LineKind { Blank, Comment, Section, Entry, Bare };

struct Line {
  std::u16string text;   // as in the file, without the line break
  LineKind kind = LineKind::Blank;
  std::u16string name;   // section name or key, trimmed
  std::u16string value;  // an entry's value, trimmed
};

class Document {
 public:
  static Document Parse(std::string_view bytes);
  std::string Serialize() const;

  // Every section name once, in file order.
  std::vector<std::u16string> SectionNames() const;
  // Keys of the first section of that name (each once, in file order); empty
  // when the section is missing.
  std::optional<std::vector<std::u16string>> KeyNames(std::u16string_view section) const;
  // The section's entries as "key=value" (bare lines as their key), in file
  // order, comments and blank lines left out.
  std::optional<std::vector<std::u16string>> SectionLines(std::u16string_view section) const;
  // The value of the first such key of the first such section (a bare line
  // gives an empty value); empty when either is missing.
  std::optional<std::u16string> Value(std::u16string_view section, std::u16string_view key) const;

  // Edits; each answers whether the document changed.
  // Replaces the value of the key in the first section of that name, adds
  // the key after the section's last non-blank line, or adds the section (a
  // header and the entry) at the end of the document.
  bool SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view value);
  // Removes every line of that key in every section of that name, so that no
  // later duplicate shows through.
  bool DeleteKey(std::u16string_view section, std::u16string_view key);
  // Removes every section of that name with all its lines.
  bool DeleteSection(std::u16string_view section);

  Encoding encoding() const { return encoding_; }
  const std::vector<Line>& lines() const { return lines_; }

 private:
  // Index of the first header of that name, or lines_.size().
  size_t findSection(std::u16string_view name) const;
  // One past the last line of the section whose header is at `header`.
  size_t sectionEnd(size_t header) const;

  Encoding encoding_ = Encoding::Utf8;
  std::vector<Line> lines_;
};

// Blanks trimmed from both ends.
std::u16string_view Trim(std::u16string_view text);
// A value in matching single or double quotes without them.
std::u16string_view StripQuotes(std::u16string_view value);
// UTF-8 with the byte escapes described above, both ways.
std::u16string DecodeUtf8(std::string_view bytes);
std::string EncodeUtf8(std::u16string_view text);

}  // namespace kp::ini
