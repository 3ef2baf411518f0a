#include "utf8.h"
#include "ini_parser.h"

#include <initializer_list>

#include "name_fold.h"

namespace kp::ini {
namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; }

Line classify(std::u16string text) {
  Line line;
  std::u16string_view t = Trim(text);
  if (t.empty()) {
    line.kind = LineKind::Blank;
  } else if (t.front() == u';') {
    line.kind = LineKind::Comment;
  } else if (t.front() == u'[' && t.rfind(u']') != std::u16string_view::npos) {
    line.kind = LineKind::Section;
    size_t close = t.rfind(u']');
    line.name = std::u16string(Trim(t.substr(1, close - 1)));
  } else if (size_t eq = t.find(u'='); eq != std::u16string_view::npos) {
    line.kind = LineKind::Entry;
    line.name = std::u16string(Trim(t.substr(0, eq)));
    line.value = std::u16string(Trim(t.substr(eq + 1)));
  } else {
    line.kind = LineKind::Bare;
    line.name = std::u16string(t);
  }
  line.text = std::move(text);
  return line;
}

// Concatenation without operator+ (which GCC 12 at -O3 warns about).
std::u16string joined(std::initializer_list<std::u16string_view> parts) {
  size_t size = 0;
  for (std::u16string_view part : parts) size += part.size();
  std::u16string out;
  out.reserve(size);
  for (std::u16string_view part : parts) out.append(part);
  return out;
}

bool isKeyLine(const Line& line) { return line.kind == LineKind::Entry || line.kind == LineKind::Bare; }

}  // namespace

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string_view StripQuotes(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < bytes.size()) {
    unsigned char c = at(i);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t code = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
      if (c == 0xE0) low = 0xA0;   // no overlong forms
      if (c == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    }
    bool valid = length != 0 && i + length <= bytes.size();
    for (size_t k = 1; valid && k < length; ++k) {
      unsigned char b = at(i + k);
      unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
      if (b < lo || b > hi) valid = false;
      code = (code << 6) | (b & 0x3F);
    }
    if (!valid) {
      out.push_back(static_cast<char16_t>(0xDC00 + c));  // kept as the byte it was
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      out.push_back(static_cast<char>(c - 0xDC00));  // a byte kept from the file
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
    }
    AppendUtf8(out, c);
  }
  return out;
}

Document Document::Parse(std::string_view bytes) {
  Document doc;
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    doc.encoding_ = Encoding::Utf16Le;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc.encoding_ = Encoding::Utf8Bom;
    text = DecodeUtf8(bytes.substr(3));
  } else {
    text = DecodeUtf8(bytes);
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) {
      doc.lines_.push_back(classify(text.substr(start)));
      break;
    }
    doc.lines_.push_back(classify(text.substr(start, end - start)));
    start = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
  }
  return doc;
}

std::string Document::Serialize() const {
  std::u16string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += u"\r\n";
  }
  std::string out;
  switch (encoding_) {
    case Encoding::Utf16Le:
      out.reserve(2 + text.size() * 2);
      out += "\xFF\xFE";
      for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
      }
      break;
    case Encoding::Utf8Bom:
      out = EncodeUtf8(text);
      out.insert(0, "\xEF\xBB\xBF");
      break;
    case Encoding::Utf8:
      out = EncodeUtf8(text);
      // Text that would read back as a byte-order mark gets a real one in
      // front, so that it reads back as the text it is.
      if (out.compare(0, 2, "\xFF\xFE") == 0 || out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.insert(0, "\xEF\xBB\xBF");
      break;
  }
  return out;
}

size_t Document::findSection(std::u16string_view name) const {
  name = Trim(name);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == LineKind::Section && NamesEqual(lines_[i].name, name)) return i;
  return lines_.size();
}

size_t Document::sectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != LineKind::Section) ++i;
  return i;
}

std::vector<std::u16string> Document::SectionNames() const {
  std::vector<std::u16string> names;
  for (const Line& line : lines_) {
    if (line.kind != LineKind::Section) continue;
    bool seen = false;
    for (const std::u16string& name : names) seen = seen || NamesEqual(name, line.name);
    if (!seen) names.push_back(line.name);
  }
  return names;
}

std::optional<std::vector<std::u16string>> Document::KeyNames(std::u16string_view section) const {
  size_t header = findSection(section);
  if (header == lines_.size()) return std::nullopt;
  std::vector<std::u16string> keys;
  for (size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
    if (!isKeyLine(lines_[i])) continue;
    bool seen = false;
    for (const std::u16string& key : keys) seen = seen || NamesEqual(key, lines_[i].name);
    if (!seen) keys.push_back(lines_[i].name);
  }
  return keys;
}

std::optional<std::vector<std::u16string>> Document::SectionLines(std::u16string_view section) const {
  size_t header = findSection(section);
  if (header == lines_.size()) return std::nullopt;
  std::vector<std::u16string> entries;
  for (size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::Entry)
      entries.push_back(joined({line.name, u"=", line.value}));
    else if (line.kind == LineKind::Bare)
      entries.push_back(line.name);
  }
  return entries;
}

std::optional<std::u16string> Document::Value(std::u16string_view section, std::u16string_view key) const {
  size_t header = findSection(section);
  if (header == lines_.size()) return std::nullopt;
  key = Trim(key);
  for (size_t i = header + 1, end = sectionEnd(header); i < end; ++i)
    if (isKeyLine(lines_[i]) && NamesEqual(lines_[i].name, key)) return lines_[i].value;
  return std::nullopt;
}

bool Document::SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
  section = Trim(section);
  key = Trim(key);
  size_t header = findSection(section);
  if (header == lines_.size()) {
    lines_.push_back(classify(joined({u"[", section, u"]"})));
    lines_.push_back(classify(joined({key, u"=", value})));
    return true;
  }
  size_t end = sectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    Line& line = lines_[i];
    if (!isKeyLine(line) || !NamesEqual(line.name, key)) continue;
    std::u16string text = joined({line.name, u"=", value});
    if (text == line.text) return false;
    line = classify(std::move(text));
    return true;
  }
  size_t after = header + 1;
  for (size_t i = header + 1; i < end; ++i)
    if (lines_[i].kind != LineKind::Blank) after = i + 1;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after),
                classify(joined({key, u"=", value})));
  return true;
}

bool Document::DeleteKey(std::u16string_view section, std::u16string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool changed = false;
  bool inSection = false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (Line& line : lines_) {
    if (line.kind == LineKind::Section) inSection = NamesEqual(line.name, section);
    if (inSection && isKeyLine(line) && NamesEqual(line.name, key)) {
      changed = true;
      continue;
    }
    kept.push_back(std::move(line));
  }
  lines_ = std::move(kept);
  return changed;
}

bool Document::DeleteSection(std::u16string_view section) {
  section = Trim(section);
  bool changed = false;
  bool inSection = false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (Line& line : lines_) {
    if (line.kind == LineKind::Section) inSection = NamesEqual(line.name, section);
    if (inSection) {
      changed = true;
      continue;
    }
    kept.push_back(std::move(line));
  }
  lines_ = std::move(kept);
  return changed;
}

}  // namespace kp::ini
