#include "source.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace kestrel::dddc {

void Diags::Error(const Loc& loc, const std::string& message) {
  errors.push_back(loc.file + ":" + std::to_string(loc.line) + ": " + message);
}

namespace {

const char* const kSectionKinds[] = {"option",     "paper",      "tray",        "outbin",   "size",  "constraint",
                                     "constraint2", "imcondition", "font",       "image",    "ejcl",  "nrv",
                                     "icon",       "papertype",  "group",       "favorite", "adcquery", "trayindex"};

const char* const kGlobalKeys[] = {"header", "version", "format", "model", "referenced", "info"};

bool IsGlobalKey(const std::string& w) {
  for (const char* k : kGlobalKeys) {
    if (w == k) return true;
  }
  return false;
}

bool ParseNumber(const std::string& w, int64_t* out) {
  if (w.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (w[0] == '-') {
    neg = true;
    i = 1;
  }
  if (i >= w.size()) return false;
  int base = 10;
  if (w.size() > i + 2 && w[i] == '0' && (w[i + 1] == 'x' || w[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  std::string digits = w.substr(i);
  for (char c : digits) {
    bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                         : std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (!ok) return false;
  }
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(digits.c_str(), &end, base);
  if (errno != 0 || v > 0xFFFFFFFFull) return false;
  *out = neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return true;
}

// Splits one line into tokens; false (with a message) on a lexical error.
bool Tokenize(const std::string& line, const Loc& loc, std::vector<Tok>* toks, Diags* diags) {
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    if (c == '"') {
      std::string s;
      ++i;
      bool closed = false;
      while (i < n) {
        char d = line[i];
        if (d == '"') {
          closed = true;
          ++i;
          break;
        }
        if (d == '\\') {
          if (i + 1 >= n) break;
          char e = line[i + 1];
          if (e == '\\' || e == '"') {
            s += e;
            i += 2;
          } else if (e == 'n') {
            s += '\n';
            i += 2;
          } else if (e == 'r') {
            s += '\r';
            i += 2;
          } else if (e == 'x' && i + 3 < n + 0 && std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
                     std::isxdigit(static_cast<unsigned char>(line[i + 3]))) {
            s += static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 4;
          } else {
            diags->Error(loc, "unknown escape in string");
            return false;
          }
          continue;
        }
        s += d;
        ++i;
      }
      if (!closed) {
        diags->Error(loc, "string not closed");
        return false;
      }
      Tok t;
      t.kind = TokKind::String;
      t.text = s;
      toks->push_back(t);
      continue;
    }
    size_t start = i;
    while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '"' && line[i] != '#') ++i;
    std::string w = line.substr(start, i - start);
    Tok t;
    int64_t num = 0;
    if (w[0] == '@') {
      size_t colon = w.find(':');
      if (colon == std::string::npos || colon == 1 || colon + 1 >= w.size()) {
        diags->Error(loc, "reference '" + w + "' is not of the form @kind:symbol");
        return false;
      }
      t.kind = TokKind::Ref;
      t.text = w;
      t.refKind = w.substr(1, colon - 1);
      t.refSym = w.substr(colon + 1);
    } else if (ParseNumber(w, &num)) {
      t.kind = TokKind::Number;
      t.text = w;
      t.number = num;
    } else {
      t.kind = TokKind::Word;
      t.text = w;
    }
    toks->push_back(t);
  }
  return true;
}

std::string DirOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

struct Reader {
  Source* out;
  Diags* diags;
  std::vector<std::string> stack;  // include chain (cycle check)
  Section* current = nullptr;      // section being filled
  Section* currentItem = nullptr;  // option item being filled

  void ReadText(const std::string& text, const std::string& name, const std::string& baseDir) {
    stack.push_back(name);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      Loc loc{name, number};
      std::vector<Tok> toks;
      if (!Tokenize(line, loc, &toks, diags) || toks.empty()) continue;
      if (toks[0].kind != TokKind::Word) {
        diags->Error(loc, "a line must begin with a keyword");
        continue;
      }
      const std::string& key = toks[0].text;
      if (key == "include") {
        if (toks.size() != 2 || toks[1].kind != TokKind::String) {
          diags->Error(loc, "include takes one quoted file name");
          continue;
        }
        std::string path = toks[1].text;
        if (path.empty() || path[0] != '/') path = (baseDir.empty() ? std::string(".") : baseDir) + "/" + path;
        bool cycle = false;
        for (const std::string& s : stack) cycle = cycle || s == path;
        if (cycle) {
          diags->Error(loc, "include of '" + toks[1].text + "' includes itself");
          continue;
        }
        std::error_code ec;
        std::ifstream f;
        if (std::filesystem::is_regular_file(path, ec)) f.open(path, std::ios::binary);
        if (!f.is_open()) {
          diags->Error(loc, "cannot read include file '" + toks[1].text + "'");
          continue;
        }
        std::stringstream ss;
        ss << f.rdbuf();
        // An included file starts at the top level: it never continues the
        // section that was open before the include line.
        current = nullptr;
        currentItem = nullptr;
        ReadText(ss.str(), path, DirOf(path));
        current = nullptr;
        currentItem = nullptr;
        continue;
      }
      if (IsGlobalKey(key)) {
        current = nullptr;
        currentItem = nullptr;
        out->globals.push_back(SrcLine{loc, toks});
        continue;
      }
      // A section line is the kind alone or with a plain-word symbol; the
      // same word with other values is a field (e.g. a paper's "size fixed
      // 2100 2970").
      bool sectionLine = toks.size() == 1 || (toks.size() == 2 && toks[1].kind == TokKind::Word);
      if (IsSectionKind(key) && (sectionLine || current == nullptr)) {
        Section s;
        s.kind = key;
        s.loc = loc;
        if (toks.size() > 2) {
          diags->Error(loc, "a section line holds its kind and an optional symbol only");
        }
        if (toks.size() >= 2) {
          if (toks[1].kind != TokKind::Word) {
            diags->Error(loc, "a section symbol is a plain word");
          } else {
            s.sym = toks[1].text;
          }
        }
        out->sections.push_back(std::move(s));
        current = &out->sections.back();
        currentItem = nullptr;
        continue;
      }
      if (key == "item") {
        if (current == nullptr || current->kind != "option") {
          diags->Error(loc, "'item' outside an option");
          continue;
        }
        Section s;
        s.kind = "item";
        s.loc = loc;
        if (toks.size() != 2 || toks[1].kind != TokKind::Word) {
          diags->Error(loc, "'item' takes one symbol");
        } else {
          s.sym = toks[1].text;
        }
        current->items.push_back(std::move(s));
        currentItem = &current->items.back();
        continue;
      }
      if (current == nullptr) {
        diags->Error(loc, "field '" + key + "' outside a section");
        continue;
      }
      (currentItem != nullptr ? currentItem : current)->fields.push_back(SrcLine{loc, toks});
    }
    stack.pop_back();
  }
};

}  // namespace

bool IsSectionKind(const std::string& word) {
  for (const char* k : kSectionKinds) {
    if (word == k) return true;
  }
  return false;
}

void ReadSource(const std::string& text, const std::string& name, const std::string& baseDir, Source* out,
                Diags* diags) {
  Reader r{out, diags, {}, nullptr, nullptr};
  r.ReadText(text, name, baseDir);
}

}  // namespace kestrel::dddc
