// The path mapper (internal to the platform library): Windows paths to host
// paths below the root folder, and back. Implemented in path.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kp {

// Maps a Windows path (drive letter, UNC name, "\\?\" prefix, backslashes or
// slashes; relative paths against the current directory) to a host path below
// the root. Every existing component is matched without regard to letter case;
// a component that does not exist keeps the case given. ".." never leaves the
// drive or share. Empty when there is no root or the path is not valid.
std::optional<std::string> MapPath(std::u16string_view windowsPath);

// The Windows path of a host path below the root ("C:\Windows\..."), or empty
// when the host path lies outside the root.
std::optional<std::u16string> UnmapPath(std::string_view hostPath);

}  // namespace kp
