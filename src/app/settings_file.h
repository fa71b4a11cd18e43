#pragma once
// The settings file pz.ini: a Windows private-profile (INI) file of GBK bytes, read and written by
// a small reader/writer of our own that keeps what other programs wrote into the file.
#include <string>
#include <string_view>

#include "app/window.h"
#include "text/text.h"

namespace sucaigang {

// Values come back through a buffer of this many bytes, terminator included.
inline constexpr size_t kProfileBufferBytes = 10240;

// The value of `key` in `section` (names matched without regard to ASCII case), with surrounding
// blanks and one pair of enclosing quotes removed, cut to kProfileBufferBytes - 1 bytes (never
// halfway through a double-byte character). A missing file, section or key reads as "".
Text ReadProfileText(const std::string& path, std::string_view section, std::string_view key);

// Sets `key` in `section`, creating the file, section or key as needed; every other line of the
// file keeps its bytes. The file is left readable and writable by its owner only. False when the
// file could not be read or written.
bool WriteProfileText(const std::string& path, std::string_view section, std::string_view key,
                      const Text& value);

// 编辑框_user and 编辑框_pass get "user" and "pass" of section "conf".
void RestoreCredentials(Window& window, const std::string& path);
// Writes the texts of 编辑框_user ("user") and then 编辑框_pass ("pass"); failures are ignored.
void SaveCredentials(Window& window, const std::string& path);

}  // namespace sucaigang
