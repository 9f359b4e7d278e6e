#include "zplatform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

#include "zplatform/profile.h"

namespace zplatform {
namespace {

std::string IconvName(int number) {
  switch (number) {
    case 65001:
      return "UTF-8";
    case 932:
      return "CP932";
    case 20932:
      return "EUC-JP";
    case 28591:
      return "ISO-8859-1";
    default:
      return "CP" + std::to_string(number);
  }
}

bool IsDoubleByteCodePage(int number) {
  return number == 932 || number == 936 || number == 949 || number == 950;
}

// Length of the UTF-8 sequence that starts at s[0], or 1 for a malformed one.
size_t Utf8SequenceLength(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

}  // namespace

struct CodePage::Impl {
  std::mutex mutex;
  iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);
  iconv_t from_utf8 = reinterpret_cast<iconv_t>(-1);
  bool double_byte = false;
  bool identity = false;

  // Runs iconv over `in`; at an unconvertible place emits `replacement` and skips the
  // number of input bytes `skip` says.
  template <typename Skip>
  std::string Convert(iconv_t cd, std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    out.reserve(in.size() * 2 + 8);
    std::lock_guard<std::mutex> lock(mutex);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *src = const_cast<char *>(in.data());
    size_t src_left = in.size();
    char buf[1024];
    while (src_left > 0) {
      char *dst = buf;
      size_t dst_left = sizeof buf;
      size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
      out.append(buf, dst - buf);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (incomplete sequence at the end): replace and move on.
      size_t n = skip(std::string_view(src, src_left));
      out.append(replacement);
      src += n;
      src_left -= n;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char *dst = buf;
    size_t dst_left = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dst_left);
    out.append(buf, dst - buf);
    return out;
  }
};

CodePage::CodePage(int number) : number_(number), impl_(std::make_unique<Impl>()) {
  impl_->double_byte = IsDoubleByteCodePage(number);
  impl_->identity = number == 65001;
  if (!impl_->identity) {
    std::string name = IconvName(number);
    impl_->to_utf8 = iconv_open("UTF-8", name.c_str());
    impl_->from_utf8 = iconv_open(name.c_str(), "UTF-8");
  }
}

CodePage::~CodePage() {
  if (impl_->to_utf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(impl_->to_utf8);
  if (impl_->from_utf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(impl_->from_utf8);
}

bool CodePage::Available() const {
  return impl_->identity || (impl_->to_utf8 != reinterpret_cast<iconv_t>(-1) &&
                             impl_->from_utf8 != reinterpret_cast<iconv_t>(-1));
}

bool CodePage::IsLeadByte(unsigned char byte) const {
  if (!impl_->double_byte) return false;
  if (number_ == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return byte >= 0x81 && byte <= 0xFE;
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  if (impl_->identity) {
    // UTF-8 "code page": keep well-formed sequences, replace malformed bytes.
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
      size_t n = Utf8SequenceLength(bytes.substr(i));
      if (n == 1 && static_cast<unsigned char>(bytes[i]) >= 0x80) {
        out.append(kUtf8Replacement);
      } else {
        out.append(bytes.substr(i, n));
      }
      i += n;
    }
    return out;
  }
  if (!Available()) {
    std::string out;
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out.push_back(c);
      } else {
        out.append(kUtf8Replacement);
      }
    }
    return out;
  }
  return impl_->Convert(impl_->to_utf8, bytes, kUtf8Replacement, [this](std::string_view rest) {
    unsigned char lead = static_cast<unsigned char>(rest[0]);
    if (IsLeadByte(lead) && rest.size() >= 2) {
      unsigned char trail = static_cast<unsigned char>(rest[1]);
      // A well-formed pair without a mapping is one character: one replacement.
      if (trail >= 0x40 && trail != 0x7F && trail <= 0xFC) return size_t{2};
    }
    return size_t{1};
  });
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  if (impl_->identity) return ToUtf8(utf8);
  if (!Available()) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
      size_t n = Utf8SequenceLength(utf8.substr(i));
      out.push_back(n == 1 && static_cast<unsigned char>(utf8[i]) < 0x80 ? utf8[i] : '?');
      i += n;
    }
    return out;
  }
  return impl_->Convert(impl_->from_utf8, utf8, "?",
                        [](std::string_view rest) { return Utf8SequenceLength(rest); });
}

namespace {

std::mutex g_active_mutex;
// Every code page loaded stays alive for the process, so a reference handed out before a
// reset never dangles.
std::vector<std::unique_ptr<CodePage>> g_loaded;
std::atomic<const CodePage *> g_active_ptr{nullptr};
// The lead-byte rule of code page 932 is used while zelko.ini is being read for the code
// page itself (the profile reader needs it to compare names).
thread_local bool t_loading = false;

}  // namespace

const CodePage &ActiveCodePage() {
  if (const CodePage *cp = g_active_ptr.load(std::memory_order_acquire)) return *cp;
  std::lock_guard<std::mutex> lock(g_active_mutex);
  if (const CodePage *cp = g_active_ptr.load(std::memory_order_acquire)) return *cp;
  t_loading = true;
  uint32_t number = GetPrivateProfileInt("zelko300", "code_page", 932, "zelko.ini");
  t_loading = false;
  auto cp = std::make_unique<CodePage>(number == 0 ? 932 : static_cast<int>(number));
  if (!cp->Available()) cp = std::make_unique<CodePage>(932);
  g_loaded.push_back(std::move(cp));
  g_active_ptr.store(g_loaded.back().get(), std::memory_order_release);
  return *g_loaded.back();
}

void ResetActiveCodePage() {
  std::lock_guard<std::mutex> lock(g_active_mutex);
  g_active_ptr.store(nullptr, std::memory_order_release);
}

std::string ToUtf8(std::string_view code_page_bytes) {
  return ActiveCodePage().ToUtf8(code_page_bytes);
}

std::string FromUtf8(std::string_view utf8) {
  return ActiveCodePage().FromUtf8(utf8);
}

bool IsLeadByte(unsigned char byte) {
  if (t_loading) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return ActiveCodePage().IsLeadByte(byte);
}

}  // namespace zplatform
