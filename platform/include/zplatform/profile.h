// Private-profile (.ini) access with the rules of the Windows calls of the same names.
//
// Texts are bytes in the ANSI code page, as in the files. A file name without a directory
// lives in the configuration directory (ConfigDirectory()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zplatform {

// $ZELKO_CONFIG_DIR, else $XDG_CONFIG_HOME/zelko, else ~/.config/zelko.
std::string ConfigDirectory();

// The path a profile name stands for: a name with a "/" (or "\") is used as given,
// a bare name lives in ConfigDirectory().
std::string ProfilePath(const std::string &file_name);

// Copies the value of `key` in `section` into `buffer` (always NUL-terminated when size > 0)
// and returns the number of bytes copied without the NUL.
// - Sections and keys are compared without regard to case; the first occurrence wins.
// - The value is trimmed; one pair of matching quotes ('...' or "...") around it is removed.
// - Absent file, section or key: `default_value` (trailing blanks removed; null means "").
// - A value that does not fit is cut to size - 1 bytes and size - 1 is returned.
// - section == nullptr: every section name, each NUL-terminated, and a final NUL;
//   key == nullptr: every key of the section in the same form. When such a list does not
//   fit, it is cut, ends with two NULs, and size - 2 is returned.
uint32_t GetPrivateProfileString(const char *section, const char *key, const char *default_value,
                                 char *buffer, uint32_t size, const char *file_name);

// The value as a decimal integer: leading blanks and an optional sign, then digits up to the
// first other character. `default_value` when the key is absent; 0 when the value does not
// begin with a number or is negative (as the Windows call answers).
uint32_t GetPrivateProfileInt(const char *section, const char *key, int default_value,
                              const char *file_name);

// Sets `key` of `section` to `value`, creating the file, the section or the key as needed.
// value == nullptr deletes the key; key == nullptr deletes the section. Every other line
// (comments, blank lines, other sections) stays as it was. The file is replaced atomically
// (written beside and renamed), so a reader never sees half a file. Returns false on failure.
bool WritePrivateProfileString(const char *section, const char *key, const char *value,
                               const char *file_name);

// Convenience for C++ callers: the value as a std::string, or `default_value`.
std::string ProfileString(const std::string &section, const std::string &key,
                          const std::string &default_value, const std::string &file_name);

}  // namespace zplatform
