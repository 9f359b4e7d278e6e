// Length-prefixed strings as the flat exports return them: the 32-bit prefix before the
// first byte holds the byte length (not a character count); the bytes are followed by two
// zero bytes. The caller frees a returned string with SysFreeString.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#if defined(__GNUC__)
#define ZPLATFORM_EXPORT __attribute__((visibility("default")))
#else
#define ZPLATFORM_EXPORT
#endif

extern "C" {
// A new string of `length` bytes copied from `bytes` (zero-filled when bytes is null);
// null when memory is exhausted.
ZPLATFORM_EXPORT char *SysAllocStringByteLen(const char *bytes, uint32_t length);
// The byte length held in the prefix; 0 for null.
ZPLATFORM_EXPORT uint32_t SysStringByteLen(const char *bstr);
// Frees a string made by SysAllocStringByteLen; null and the static return buffer are ignored.
ZPLATFORM_EXPORT void SysFreeString(char *bstr);
}

namespace zplatform {

// The one static return buffer of the flat exports: a length-prefixed string like the others,
// overwritten by each use. Holds at most kStaticReturnCapacity bytes of text (more is cut).
constexpr size_t kStaticReturnCapacity = 4096;
char *StaticReturnString(std::string_view bytes);

// Owns one length-prefixed string.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view bytes);
  ~Bstr() { SysFreeString(ptr_); }
  Bstr(Bstr &&other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  Bstr &operator=(Bstr &&other) noexcept;
  Bstr(const Bstr &) = delete;
  Bstr &operator=(const Bstr &) = delete;

  const char *get() const { return ptr_; }
  uint32_t ByteLength() const { return SysStringByteLen(ptr_); }
  std::string_view View() const {
    return ptr_ ? std::string_view(ptr_, ByteLength()) : std::string_view();
  }
  // Gives up ownership (the receiver frees it with SysFreeString).
  char *Release();

 private:
  char *ptr_ = nullptr;
};

}  // namespace zplatform
