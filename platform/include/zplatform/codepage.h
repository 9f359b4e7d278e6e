// Conversion between the ANSI code page and UTF-8.
//
// Every text inside the engine, in data files and in dictionaries is bytes in the ANSI code
// page: 932 unless zelko.ini [zelko300] code_page says otherwise. UTF-8 is used only at the
// edges (Qt, the terminal, the C++ automation surface). A byte or character that does not
// convert becomes a visible replacement (U+FFFD towards UTF-8, "?" towards the code page);
// nothing is dropped silently and nothing crashes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zplatform {

class CodePage {
 public:
  // A code page by its Windows number (932, 1252, 65001 ...).
  explicit CodePage(int number);
  ~CodePage();
  CodePage(const CodePage &) = delete;
  CodePage &operator=(const CodePage &) = delete;

  int Number() const { return number_; }
  // False when the system cannot convert this code page (conversions then keep ASCII and
  // replace every other byte).
  bool Available() const;

  std::string ToUtf8(std::string_view bytes) const;
  std::string FromUtf8(std::string_view utf8) const;
  // FromUtf8 into *out (not the string `utf8` lies in); true when *out turns back into `utf8`
  // exactly (every character has a code of its own), as ToUtf8(*out) == utf8 tells, without
  // making that text.
  bool FromUtf8RoundTrips(std::string_view utf8, std::string *out) const;
  // FromUtf8 into *out; true when every character has a code in the code page: its own, or
  // that of an equivalent it reads back as (in 932 WAVE DASH U+301C is written 81 60, which
  // reads as FULLWIDTH TILDE U+FF5E). For texts; a path must round-trip to name its file.
  bool FromUtf8Holds(std::string_view utf8, std::string *out) const;

  // True when `byte` starts a double-byte character in this code page.
  bool IsLeadByte(unsigned char byte) const;

  // The same conversions through iconv for every text (what the tables are made from; tests
  // compare the two).
  std::string ToUtf8ByIconv(std::string_view bytes) const;
  std::string FromUtf8ByIconv(std::string_view utf8) const;
  // True when the bytes 0 to 127 are the same characters in UTF-8 (an ASCII text needs no
  // conversion).
  bool AsciiUnchanged() const;

 private:
  // FromUtf8 written into *out, whose buffer is reused; *returns: every character is known
  // to read back as itself (false leaves it open).
  void FromUtf8Into(std::string_view utf8, std::string *out, bool *returns) const;

  struct Impl;
  int number_;
  std::unique_ptr<Impl> impl_;
};

// The process's ANSI code page, read once from zelko.ini.
const CodePage &ActiveCodePage();
// Forgets the active code page so the next use reads zelko.ini again (tests).
void ResetActiveCodePage();

// Shorthands for the active code page.
std::string ToUtf8(std::string_view code_page_bytes);
std::string FromUtf8(std::string_view utf8);
// FromUtf8 into *out; false when a character has no code of its own (it became "?"), so a
// name or path the code page cannot hold is refused rather than used with "?" in it.
bool FromUtf8Exactly(std::string_view utf8, std::string *out);
// The same for a text (a value, a name, a message): characters written with the code of an
// equivalent (CodePage::FromUtf8Holds) are taken.
bool FromUtf8Holds(std::string_view utf8, std::string *out);
bool IsLeadByte(unsigned char byte);

// Length of the UTF-8 sequence that starts at s[0] (s not empty), or 1 for a malformed one.
size_t Utf8SequenceLength(std::string_view s);
// Appends the UTF-8 of a Unicode code point (up to U+10FFFF).
void AppendUtf8(uint32_t code, std::string *out);

}  // namespace zplatform
