// The path mapper: Windows paths to host paths below the root and back.
#include "utf8.h"
#include "path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "kplatform/kernel32_file.h"
#include "kplatform/root.h"

namespace kp {
namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool isLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

char16_t upperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

// Upper-case folding for comparing names: ASCII, Latin-1, Latin Extended-A
// pairs, Greek, Cyrillic and the full-width Latin letters. Other characters
// compare as they are.
char16_t foldCase(char16_t c) {
  if (c < 0x80) return upperAscii(c);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Pairs: even upper / odd lower in 0x100-0x137 and 0x14A-0x177;
    // odd upper / even lower in 0x139-0x148 and 0x179-0x17E.
    if ((c <= 0x137 || (c >= 0x14A && c <= 0x177)) && (c & 1)) return static_cast<char16_t>(c - 1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !(c & 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool sameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

// Characters Windows does not allow in a file or folder name.
bool validName(std::u16string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*')
      return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::vector<std::u16string> splitComponents(std::u16string_view text) {
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    if (i > start) parts.emplace_back(text.substr(start, i - start));
  }
  return parts;
}

// Windows drops trailing dots and blanks from each component of a path that
// is not a "\\?\" path.
std::u16string trimName(std::u16string name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
  return name;
}

struct CwdState {
  std::mutex lock;
  WindowsPath path;
};

WindowsPath defaultDirectory() {
  WindowsPath p;
  p.drive = u'C';
  p.rest = u"Windows\\system32";
  return p;
}

CwdState& cwdState() {
  static CwdState* s = [] {
    auto* state = new CwdState;  // outlives every static destructor
    state->path = defaultDirectory();
    return state;
  }();
  return *s;
}

void resetDirectoryOnRootChange() {
  CwdState& s = cwdState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.path = defaultDirectory();
}

[[maybe_unused]] const bool registeredRootListener = [] {
  KpOnRootChanged(&resetDirectoryOnRootChange);
  return true;
}();

// The name of an existing entry of `folder` equal to `name` without regard
// to case: the name itself when it exists as given, else the first match in
// byte order; empty when there is none.
std::optional<std::string> matchEntry(const std::string& folder, const std::string& name,
                                      std::u16string_view wideName) {
  struct stat st;
  std::string exact = folder + "/" + name;
  if (::lstat(exact.c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view entryName(entry->d_name);
    if (entryName == "." || entryName == "..") continue;
    std::optional<std::u16string> wide = PathFromUtf8(entryName);
    if (!wide || !sameIgnoringCase(*wide, wideName)) continue;
    if (!best || entryName < *best) best = std::string(entryName);
  }
  ::closedir(dir);
  return best;
}

}  // namespace

std::u16string WindowsPath::full() const {
  std::u16string text;
  if (unc) {
    text = u"\\\\" + server + u"\\" + share;
  } else {
    text.push_back(drive);
    text.push_back(u':');
  }
  text.push_back(u'\\');
  text += rest;
  return text;
}

std::optional<WindowsPath> ParseWindowsPath(std::u16string_view path) {
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  if (path.find(u'\0') != std::u16string_view::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  WindowsPath result;
  std::vector<std::u16string> parts;
  std::u16string_view remaining;
  bool verbatim = false;

  auto startFromDirectory = [&](const WindowsPath& base, bool keepComponents) {
    result.unc = base.unc;
    result.drive = base.drive;
    result.server = base.server;
    result.share = base.share;
    if (keepComponents) parts = splitComponents(base.rest);
  };

  auto takeShare = [&](std::u16string_view text) -> bool {
    // text follows the two leading separators: server, separator, share.
    size_t i = 0;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    std::u16string server(text.substr(0, i));
    while (i < text.size() && isSeparator(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    std::u16string share(text.substr(start, i - start));
    if (!verbatim) {
      server = trimName(server);
      share = trimName(share);
    }
    if (server.empty() || share.empty() || server == u"." || server == u".." || share == u"." || share == u"..") {
      SetLastError(ERROR_BAD_PATHNAME);
      return false;
    }
    if (!validName(server) || !validName(share)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    result.unc = true;
    result.server = std::move(server);
    result.share = std::move(share);
    remaining = text.substr(i);
    return true;
  };

  if (path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) && (path[2] == u'?' || path[2] == u'.') &&
      isSeparator(path[3])) {
    if (path[2] == u'.') {  // device names are not offered
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
    verbatim = true;
    std::u16string_view body = path.substr(4);
    if (body.size() >= 3 && upperAscii(body[0]) == u'U' && upperAscii(body[1]) == u'N' && upperAscii(body[2]) == u'C' &&
        (body.size() == 3 || isSeparator(body[3]))) {
      if (!takeShare(body.size() > 3 ? body.substr(4) : std::u16string_view())) return std::nullopt;
    } else if (body.size() >= 2 && isLetter(body[0]) && body[1] == u':' && (body.size() == 2 || isSeparator(body[2]))) {
      result.drive = upperAscii(body[0]);
      remaining = body.substr(2);
    } else {
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
  } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    if (!takeShare(path.substr(2))) return std::nullopt;
  } else if (path.size() >= 2 && isLetter(path[0]) && path[1] == u':') {
    char16_t drive = upperAscii(path[0]);
    remaining = path.substr(2);
    WindowsPath cwd = CurrentDirectory();
    bool relativeToCwd = (remaining.empty() || !isSeparator(remaining[0])) && !cwd.unc && cwd.drive == drive;
    if (relativeToCwd) {
      startFromDirectory(cwd, true);
    } else {
      result.drive = drive;
    }
  } else {
    WindowsPath cwd = CurrentDirectory();
    startFromDirectory(cwd, !isSeparator(path[0]));
    remaining = path;
  }

  for (std::u16string& part : splitComponents(remaining)) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();  // never above the drive or share
      continue;
    }
    if (!verbatim) part = trimName(std::move(part));
    if (part.empty() || !validName(part)) {
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
    parts.push_back(std::move(part));
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) result.rest.push_back(u'\\');
    result.rest += parts[i];
  }
  result.trailingSeparator = !parts.empty() && isSeparator(path.back());
  return result;
}

std::optional<std::string> MapResolved(const WindowsPath& path) {
  std::string host = KpGetRoot();
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  if (path.unc) {
    host += "/unc";
    names.push_back(path.server);
    names.push_back(path.share);
  } else {
    host += "/";
    host.push_back(static_cast<char>(path.drive - u'A' + 'a'));
  }
  for (std::u16string& part : splitComponents(path.rest)) names.push_back(std::move(part));

  // The names as given, and the shortcut when they name an existing entry
  // (or the parent of one to be made) as they stand: every component then
  // matches itself, as the walk below would find one by one.
  std::vector<std::string> narrowNames;
  for (const std::u16string& name : names) {
    std::optional<std::string> narrow = PathToUtf8(name);
    if (!narrow) {
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
    narrowNames.push_back(std::move(*narrow));
  }
  std::string exact = host;
  for (const std::string& name : narrowNames) exact += "/" + name;
  struct stat st;
  if (::lstat(exact.c_str(), &st) == 0) return exact;
  size_t walkFrom = 0;
  if (!narrowNames.empty()) {
    const std::string parent = exact.substr(0, exact.size() - narrowNames.back().size() - 1);
    if (::lstat(parent.c_str(), &st) == 0) {
      host = parent;
      walkFrom = names.size() - 1;
    }
  }

  bool existing = true;
  for (size_t i = walkFrom; i < names.size(); ++i) {
    const std::u16string& name = names[i];
    std::optional<std::string> narrow = std::move(narrowNames[i]);
    if (existing) {
      std::optional<std::string> match = matchEntry(host, *narrow, name);
      if (match) {
        narrow = std::move(match);
      } else {
        existing = false;  // what follows keeps the case given
      }
    }
    host += "/";
    host += *narrow;
  }
  return host;
}

std::optional<std::string> MapPath(std::u16string_view windowsPath) {
  std::optional<WindowsPath> parsed = ParseWindowsPath(windowsPath);
  if (!parsed) return std::nullopt;
  return MapResolved(*parsed);
}

std::optional<std::u16string> UnmapPath(std::string_view hostPath) {
  std::string root = KpGetRoot();
  if (root.empty() || hostPath.empty() || hostPath[0] != '/') return std::nullopt;
  std::string normal = std::filesystem::path(std::string(hostPath)).lexically_normal().string();
  if (normal.size() <= root.size() + 1 || normal.compare(0, root.size(), root) != 0 || normal[root.size()] != '/')
    return std::nullopt;
  std::vector<std::string> parts;
  size_t i = root.size();
  while (i < normal.size()) {
    while (i < normal.size() && normal[i] == '/') ++i;
    size_t start = i;
    while (i < normal.size() && normal[i] != '/') ++i;
    if (i > start) parts.push_back(normal.substr(start, i - start));
  }
  std::u16string result;
  size_t first;
  if (parts.size() >= 3 && parts[0] == "unc") {
    std::optional<std::u16string> server = PathFromUtf8(parts[1]);
    std::optional<std::u16string> share = PathFromUtf8(parts[2]);
    if (!server || !share) return std::nullopt;
    result = u"\\\\" + *server + u"\\" + *share;
    first = 3;
  } else if (!parts.empty() && parts[0].size() == 1 && parts[0][0] >= 'a' && parts[0][0] <= 'z') {
    result.push_back(static_cast<char16_t>(parts[0][0] - 'a' + u'A'));
    result.push_back(u':');
    first = 1;
  } else {
    return std::nullopt;
  }
  if (first == parts.size()) result.push_back(u'\\');
  for (size_t k = first; k < parts.size(); ++k) {
    std::optional<std::u16string> wide = PathFromUtf8(parts[k]);
    if (!wide) return std::nullopt;
    result.push_back(u'\\');
    result += *wide;
  }
  return result;
}

WindowsPath CurrentDirectory() {
  CwdState& s = cwdState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.path;
}

void SetCurrentDirectoryPath(const WindowsPath& path) {
  CwdState& s = cwdState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.path = path;
  s.path.trailingSeparator = false;
}

std::optional<std::string> PathToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::optional<std::u16string> PathFromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    char32_t c;
    size_t extra;
    char32_t minimum;
    if (b < 0x80) {
      c = b;
      extra = 0;
      minimum = 0;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
      minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
      minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      extra = 3;
      minimum = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= text.size()) return std::nullopt;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char n = static_cast<unsigned char>(text[i + k]);
      if ((n & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (n & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += extra + 1;
  }
  return out;
}

size_t PathLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

DWORD CopyOut(const std::u16string& text, WCHAR* buffer, DWORD size) {
  if (buffer == nullptr || static_cast<size_t>(size) < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memmove(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

}  // namespace kp

KP_API DWORD KpMapPath(LPCWSTR windowsPath, char* buffer, DWORD size) {
  if (windowsPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> host = kp::MapPath(std::u16string_view(windowsPath, kp::PathLength(windowsPath)));
  if (!host) return 0;
  if (buffer == nullptr || static_cast<size_t>(size) < host->size() + 1) return static_cast<DWORD>(host->size() + 1);
  std::memcpy(buffer, host->c_str(), host->size() + 1);
  return static_cast<DWORD>(host->size());
}

KP_API DWORD KpUnmapPath(const char* hostPath, LPWSTR buffer, DWORD size) {
  if (hostPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::u16string> wide = kp::UnmapPath(hostPath);
  if (!wide) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  return kp::CopyOut(*wide, buffer, size);
}
