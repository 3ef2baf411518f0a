// The source reader of dddc: splits the text into lines of tokens, follows
// includes and groups the lines into sections (one section per record; the
// items of an option are sub-sections of it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::dddc {

struct Loc {
  std::string file;
  int line = 0;
};

struct Diags {
  std::vector<std::string> errors;
  void Error(const Loc& loc, const std::string& message);
  bool Failed() const { return !errors.empty(); }
};

enum class TokKind { Word, Number, String, Ref };

struct Tok {
  TokKind kind = TokKind::Word;
  std::string text;     // Word: the word; String: the UTF-8 content
  int64_t number = 0;   // Number
  std::string refKind;  // Ref: "@kind:symbol"
  std::string refSym;
};

struct SrcLine {
  Loc loc;
  std::vector<Tok> toks;  // toks[0] is the keyword (a Word)
  const std::string& key() const { return toks[0].text; }
};

struct Section {
  std::string kind;  // "option", "paper", ...; "item" for an option's items
  std::string sym;
  Loc loc;
  std::vector<SrcLine> fields;
  std::vector<Section> items;
};

struct Source {
  std::vector<SrcLine> globals;  // header, version, format, model, referenced, info
  std::vector<Section> sections;
};

// Reads `text` (file name `name`, includes relative to `baseDir`) into `out`.
void ReadSource(const std::string& text, const std::string& name, const std::string& baseDir, Source* out,
                Diags* diags);

// True for the keywords that open a record section.
bool IsSectionKind(const std::string& word);

}  // namespace kestrel::dddc
