// Letter case of the ASCII letters only, as Windows compares names, keys and sections:
// bytes of the code page's double-byte characters are never changed.
#pragma once

#include <string>
#include <string_view>

namespace zplatform {

inline char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline std::string UpperAscii(std::string text) {
  for (char &c : text)
    c = ToUpperAscii(c);
  return text;
}
inline std::string LowerAscii(std::string text) {
  for (char &c : text)
    c = ToLowerAscii(c);
  return text;
}
inline bool EqualNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace zplatform
