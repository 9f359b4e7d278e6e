#include "zplatform/bstr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {

char *SysAllocStringByteLen(const char *bytes, uint32_t length) {
  auto *base = static_cast<char *>(std::malloc(sizeof(uint32_t) + length + 2));
  if (base == nullptr) return nullptr;
  std::memcpy(base, &length, sizeof length);
  char *data = base + sizeof(uint32_t);
  if (bytes != nullptr) {
    std::memcpy(data, bytes, length);
  } else {
    std::memset(data, 0, length);
  }
  data[length] = '\0';
  data[length + 1] = '\0';
  return data;
}

uint32_t SysStringByteLen(const char *bstr) {
  if (bstr == nullptr) return 0;
  uint32_t length;
  std::memcpy(&length, bstr - sizeof(uint32_t), sizeof length);
  return length;
}
}

namespace {

// Prefix, text and two terminating zeros, as SysAllocStringByteLen lays a string out.
alignas(uint32_t) char g_static_return[sizeof(uint32_t) + zplatform::kStaticReturnCapacity + 2];

char *StaticText() {
  return g_static_return + sizeof(uint32_t);
}

}  // namespace

extern "C" void SysFreeString(char *bstr) {
  if (bstr == nullptr || bstr == StaticText()) return;
  std::free(bstr - sizeof(uint32_t));
}

namespace zplatform {

char *StaticReturnString(std::string_view bytes) {
  uint32_t length = static_cast<uint32_t>(std::min(bytes.size(), kStaticReturnCapacity));
  std::memcpy(g_static_return, &length, sizeof length);
  char *text = StaticText();
  if (length > 0) std::memcpy(text, bytes.data(), length);
  text[length] = '\0';
  text[length + 1] = '\0';
  return text;
}

Bstr::Bstr(std::string_view bytes)
    : ptr_(SysAllocStringByteLen(bytes.data(), static_cast<uint32_t>(bytes.size()))) {}

Bstr &Bstr::operator=(Bstr &&other) noexcept {
  if (this != &other) {
    SysFreeString(ptr_);
    ptr_ = other.ptr_;
    other.ptr_ = nullptr;
  }
  return *this;
}

char *Bstr::Release() {
  char *p = ptr_;
  ptr_ = nullptr;
  return p;
}

}  // namespace zplatform
