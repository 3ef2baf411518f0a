// The path mapper (internal to the platform library): Windows paths to host
// paths below the root folder, and back. Implemented in path.cpp; the rules
// are written at the top of kplatform/kernel32_file.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kplatform/wintypes.h"

namespace kp {

// A Windows path taken apart and resolved by name: drive or share, then the
// components below it with "." and ".." gone.
struct WindowsPath {
  bool unc = false;
  char16_t drive = 0;     // 'A'..'Z' when !unc
  std::u16string server;  // when unc
  std::u16string share;   // when unc
  std::u16string rest;    // components joined by '\', no leading or trailing '\'
  bool trailingSeparator = false;

  // "C:\rest" or "\\server\share\rest" ("C:\" for the drive root).
  std::u16string full() const;
  bool isRoot() const { return rest.empty(); }
};

// Resolves a Windows path against the current directory, by name only.
// Sets the last error and answers empty when the path is not valid
// (ERROR_PATH_NOT_FOUND for an empty path, ERROR_INVALID_NAME for characters
// Windows does not allow or a bad "\\?\" form, ERROR_BAD_PATHNAME for a UNC
// name without server or share).
std::optional<WindowsPath> ParseWindowsPath(std::u16string_view path);

// Maps a resolved path to a host path below the root, matching each existing
// component without regard to letter case. Sets ERROR_PATH_NOT_FOUND when
// there is no root.
std::optional<std::string> MapResolved(const WindowsPath& path);

// ParseWindowsPath then MapResolved; sets the last error when empty.
std::optional<std::string> MapPath(std::u16string_view windowsPath);

// The Windows path of a host path below the root ("C:\Windows\..."), or empty
// when the host path lies outside the root, is the root itself or a folder
// above a drive or share, or is not UTF-8.
std::optional<std::u16string> UnmapPath(std::string_view hostPath);

// The current directory (C:\Windows\system32 until changed, and again
// whenever the root changes) and its replacement (the caller checks that the
// folder exists).
WindowsPath CurrentDirectory();
void SetCurrentDirectoryPath(const WindowsPath& path);

// UTF-16 <-> UTF-8 for host names. Empty when the input is not valid
// (an unpaired surrogate, a malformed sequence).
std::optional<std::string> PathToUtf8(std::u16string_view text);
std::optional<std::u16string> PathFromUtf8(std::string_view text);

// Length of a NUL-terminated UTF-16 string.
size_t PathLength(const WCHAR* text);

// Copies text into a caller's buffer with the Windows size protocol: the
// length without NUL on success, the size needed with NUL when it does not
// fit (nothing written then).
DWORD CopyOut(const std::u16string& text, WCHAR* buffer, DWORD size);

}  // namespace kp
