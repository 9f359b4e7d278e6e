#include "zplatform/codepage.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
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

// How many bytes from `from` on are ASCII.
size_t AsciiRun(std::string_view s, size_t from) {
  // Eight bytes at a time while none has its high bit set (most values are short ASCII).
  size_t end = from;
  for (uint64_t word; end + 8 <= s.size(); end += 8) {
    std::memcpy(&word, s.data() + end, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
  }
  while (end < s.size() && static_cast<unsigned char>(s[end]) < 0x80)
    ++end;
  return end - from;
}

constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

}  // namespace

// A table made once. std::call_once sets thread-local state on every call, which showed in
// the profile of a load converting every field; reading the flag first leaves one load.
class MadeOnce {
 public:
  template <typename Make>
  void Ensure(Make make) {
    if (made_.load(std::memory_order_acquire)) return;
    std::call_once(flag_, [&] {
      make();
      made_.store(true, std::memory_order_release);
    });
  }

 private:
  std::once_flag flag_;
  std::atomic<bool> made_{false};
};

struct CodePage::Impl {
  std::mutex mutex;
  iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);
  iconv_t from_utf8 = reinterpret_cast<iconv_t>(-1);
  bool double_byte = false;
  bool identity = false;

  // Tables made from iconv's own answers, once, so that converting a text costs a lookup per
  // character instead of an iconv call per text. What iconv says for every single byte and
  // every lead/trail pair (to UTF-8), and for every character of the Basic Multilingual
  // Plane (from UTF-8); anything the tables do not hold goes to iconv as before.
  struct Utf8Char {
    uint8_t length = 0;  // 0: no character (a replacement); kUseIconv: ask iconv
    char bytes[4] = {};
  };
  static constexpr uint8_t kUseIconv = 0xFF;
  MadeOnce singles_made, pairs_made, from_table_made;
  std::array<Utf8Char, 256> single{};
  std::vector<Utf8Char> pairs;            // (lead index << 8) | trail
  std::array<int16_t, 256> lead_index{};  // -1: not a lead byte
  int16_t lead_count = 0;
  bool ascii_unchanged = false;          // bytes 0 to 127 are the same in UTF-8
  bool ascii_back_unchanged = false;     // and the ASCII of UTF-8 turns back into them
  std::vector<uint16_t> from_bmp;        // code page bytes of each BMP character
  std::vector<uint8_t> from_bmp_length;  // 1 or 2 bytes, or kUseIconv
  // 1 where the character's code, wherever it stands in a text, reads back as the character.
  std::vector<uint8_t> from_bmp_returns;

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

  // iconv's answer for one character: true with its bytes, false when it has none.
  bool ConvertOne(iconv_t cd, const char *in, size_t in_len, std::string *out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *src = const_cast<char *>(in);
    size_t src_left = in_len;
    char buf[16];
    char *dst = buf;
    size_t dst_left = sizeof buf;
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    if (rc == static_cast<size_t>(-1) || src_left != 0) return false;
    iconv(cd, nullptr, nullptr, &dst, &dst_left);
    out->assign(buf, dst - buf);
    return true;
  }

  static Utf8Char Entry(bool ok, const std::string &utf8) {
    Utf8Char e;
    if (!ok) return e;
    if (utf8.empty() || utf8.size() > sizeof e.bytes) {
      e.length = kUseIconv;
      return e;
    }
    e.length = static_cast<uint8_t>(utf8.size());
    std::memcpy(e.bytes, utf8.data(), utf8.size());
    return e;
  }

  // The entry of the code at bytes[i] and how many bytes it takes, as ToUtf8 reads it (the
  // tables made).
  const Utf8Char &EntryAt(std::string_view bytes, size_t i, size_t *used) const {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    *used = 1;
    // A lead byte at the end has no character of its own (its single entry is empty): a
    // replacement.
    if (lead_index[b] < 0 || i + 1 == bytes.size()) return single[b];
    unsigned char trail = static_cast<unsigned char>(bytes[i + 1]);
    const Utf8Char &e = pairs[(static_cast<size_t>(lead_index[b]) << 8) | trail];
    // A well-formed pair without a mapping is one character: one replacement.
    if (e.length != 0 || (trail >= 0x40 && trail != 0x7F && trail <= 0xFC)) *used = 2;
    return e;
  }

  // The single bytes: enough for ASCII texts (paths, numbers), which never need the pairs.
  void MakeSingles(const CodePage &cp) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string utf8;
    int16_t leads = 0;
    for (int b = 0; b < 256; ++b) {
      char c = static_cast<char>(b);
      lead_index[b] = cp.IsLeadByte(static_cast<unsigned char>(b)) ? leads++ : -1;
      if (lead_index[b] < 0) single[b] = Entry(ConvertOne(to_utf8, &c, 1, &utf8), utf8);
    }
    ascii_unchanged = true;
    for (int b = 0; b < 0x80; ++b) {
      ascii_unchanged = ascii_unchanged && single[b].length == 1 &&
                        static_cast<unsigned char>(single[b].bytes[0]) == b;
    }
    lead_count = leads;
  }

  void MakePairs(const CodePage &cp) {
    singles_made.Ensure([this, &cp] { MakeSingles(cp); });
    std::lock_guard<std::mutex> lock(mutex);
    std::string utf8;
    int16_t leads = lead_count;
    pairs.assign(static_cast<size_t>(leads) * 256, Utf8Char{});
    for (int lead = 0; lead < 256; ++lead) {
      if (lead_index[lead] < 0) continue;
      Utf8Char *row = &pairs[static_cast<size_t>(lead_index[lead]) << 8];
      if (ConvertRow(static_cast<char>(lead), row)) continue;
      for (int trail = 0; trail < 256; ++trail) {
        char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        row[trail] = Entry(ConvertOne(to_utf8, pair, 2, &utf8), utf8);
      }
    }
  }

  // iconv's answer for the 256 pairs of one lead byte in one pass (one call per pair made a
  // program's first conversion cost milliseconds): each pair is followed by a line feed,
  // which marks where its character ends. A pair iconv refuses gets no character and the
  // pass goes on after it. False when iconv does not stop where the refused pair starts;
  // the caller then asks pair by pair.
  bool ConvertRow(char lead, Utf8Char *row) {
    std::string in;
    for (int trail = 0; trail < 256; ++trail) {
      in.push_back(lead);
      in.push_back(static_cast<char>(trail));
      in.push_back('\n');
    }
    iconv(to_utf8, nullptr, nullptr, nullptr, nullptr);
    char *src = in.data();
    size_t src_left = in.size();
    std::string pending;  // output of a pair whose line feed has not come yet
    int trail = 0;
    char buf[2048];
    while (src_left > 0) {
      char *dst = buf;
      size_t dst_left = sizeof buf;
      size_t rc = iconv(to_utf8, &src, &src_left, &dst, &dst_left);
      pending.append(buf, dst - buf);
      size_t start = 0;
      for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        if (trail == 256) return false;
        std::string utf8 = pending.substr(start, end - start);
        row[trail++] = Entry(true, utf8);
      }
      pending.erase(0, start);
      if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
      if (trail == 256 || !pending.empty() || src != in.data() + 3 * trail) return false;
      row[trail++] = Utf8Char{};
      src += 3;
      src_left -= 3;
      iconv(to_utf8, nullptr, nullptr, nullptr, nullptr);
    }
    return trail == 256 && pending.empty();
  }

  // The way back, from the tables of the way there: a character one code stands for maps to
  // that code; one that several codes stand for (code page 932 has NEC and IBM selections of
  // some) maps to the code iconv chooses. Characters no code stands for are left to iconv.
  void MakeFromTable(const CodePage &cp) {
    pairs_made.Ensure([this, &cp] { MakePairs(cp); });
    std::lock_guard<std::mutex> lock(mutex);
    from_bmp.assign(0x10000, 0);
    from_bmp_length.assign(0x10000, kUseIconv);
    std::vector<uint32_t> ambiguous;
    auto note = [&](const Utf8Char &e, uint16_t code, uint8_t length) {
      if (e.length == 0 || e.length == kUseIconv || e.length > 3) return;
      uint32_t c = static_cast<unsigned char>(e.bytes[0]);
      if (e.length == 2) {
        c = (c & 0x1F) << 6 | (static_cast<unsigned char>(e.bytes[1]) & 0x3F);
      } else if (e.length == 3) {
        c = (c & 0x0F) << 12 | (static_cast<unsigned char>(e.bytes[1]) & 0x3F) << 6 |
            (static_cast<unsigned char>(e.bytes[2]) & 0x3F);
      }
      if (from_bmp_length[c] == kUseIconv) {
        from_bmp[c] = code;
        from_bmp_length[c] = length;
      } else {
        ambiguous.push_back(c);
      }
    };
    for (int b = 0; b < 256; ++b) {
      if (lead_index[b] < 0) note(single[b], static_cast<uint16_t>(b), 1);
    }
    for (int lead = 0; lead < 256; ++lead) {
      if (lead_index[lead] < 0) continue;
      for (int trail = 0; trail < 256; ++trail) {
        note(pairs[(static_cast<size_t>(lead_index[lead]) << 8) | trail],
             static_cast<uint16_t>(lead << 8 | trail), 2);
      }
    }
    std::string utf8, bytes;
    for (uint32_t c : ambiguous) {
      utf8.clear();
      AppendUtf8(c, &utf8);
      if (!ConvertOne(from_utf8, utf8.data(), utf8.size(), &bytes) || bytes.empty() ||
          bytes.size() > 2) {
        from_bmp_length[c] = kUseIconv;
      } else {
        from_bmp[c] = bytes.size() == 1
                          ? static_cast<uint8_t>(bytes[0])
                          : static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) << 8 |
                                                  static_cast<uint8_t>(bytes[1]));
        from_bmp_length[c] = static_cast<uint8_t>(bytes.size());
      }
    }
    ascii_back_unchanged = true;
    for (uint32_t c = 0; c < 0x80; ++c)
      ascii_back_unchanged = ascii_back_unchanged && from_bmp_length[c] == 1 && from_bmp[c] == c;
    from_bmp_returns.assign(0x10000, 0);
    for (uint32_t c = 0; c < 0x10000; ++c) {
      uint8_t length = from_bmp_length[c];
      if (length != 1 && length != 2) continue;
      char code[2] = {static_cast<char>(from_bmp[c] >> 8), static_cast<char>(from_bmp[c])};
      std::string_view encoded =
          length == 1 ? std::string_view(code + 1, 1) : std::string_view(code, 2);
      // A single byte must not be a lead byte, or the byte after it in a text would join it.
      if ((length == 1) != (lead_index[static_cast<unsigned char>(encoded[0])] < 0)) continue;
      size_t used;
      const Utf8Char &e = EntryAt(encoded, 0, &used);
      utf8.clear();
      AppendUtf8(c, &utf8);
      from_bmp_returns[c] = used == length && e.length == utf8.size() &&
                            std::memcmp(e.bytes, utf8.data(), utf8.size()) == 0;
    }
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
  impl_->singles_made.Ensure([this] { impl_->MakeSingles(*this); });
  // Numbers, dates and codes are ASCII: where ASCII maps to itself, runs of it are copied
  // whole.
  const bool ascii_unchanged = impl_->ascii_unchanged;
  if (ascii_unchanged && AsciiRun(bytes, 0) == bytes.size()) return std::string(bytes);
  impl_->pairs_made.Ensure([this] { impl_->MakePairs(*this); });
  // Written in place: no byte becomes more than four (an entry's room; a replacement is three).
  std::string out(bytes.size() * 4 + 4, '\0');
  char *o = out.data();
  for (size_t i = 0; i < bytes.size();) {
    if (ascii_unchanged) {
      size_t run = AsciiRun(bytes, i);
      std::memcpy(o, bytes.data() + i, run);
      o += run;
      i += run;
      if (i == bytes.size()) break;
    }
    size_t used;
    const Impl::Utf8Char *e = &impl_->EntryAt(bytes, i, &used);
    if (e->length == Impl::kUseIconv) return ToUtf8ByIconv(bytes);
    if (e->length == 0) {
      std::memcpy(o, kUtf8Replacement.data(), kUtf8Replacement.size());
      o += kUtf8Replacement.size();
    } else {
      std::memcpy(o, e->bytes, sizeof e->bytes);
      o += e->length;
    }
    i += used;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

std::string CodePage::ToUtf8ByIconv(std::string_view bytes) const {
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
  std::string out;
  bool returns;
  FromUtf8Into(utf8, &out, &returns);
  return out;
}

void CodePage::FromUtf8Into(std::string_view utf8, std::string *out, bool *returns) const {
  // Only what the tables vouch for stays true; the caller checks anything else on the text.
  *returns = false;
  if (impl_->identity) {
    *out = ToUtf8(utf8);
    return;
  }
  if (!Available()) {
    out->clear();
    for (size_t i = 0; i < utf8.size();) {
      size_t n = Utf8SequenceLength(utf8.substr(i));
      out->push_back(n == 1 && static_cast<unsigned char>(utf8[i]) < 0x80 ? utf8[i] : '?');
      i += n;
    }
    return;
  }
  if (AsciiRun(utf8, 0) == utf8.size() && AsciiUnchanged()) {
    out->assign(utf8);
    *returns = true;
    return;
  }
  impl_->from_table_made.Ensure([this] { impl_->MakeFromTable(*this); });
  // Written in place: a character takes at most two bytes in the code page, and at least one
  // in UTF-8.
  out->resize(utf8.size() * 2);
  char *o = out->data();
  const bool ascii_back_unchanged = impl_->ascii_back_unchanged;
  bool all_return = true;
  for (size_t i = 0; i < utf8.size();) {
    if (ascii_back_unchanged && static_cast<unsigned char>(utf8[i]) < 0x80) {
      // A run of ASCII is copied whole; it reads back as itself where ASCII is unchanged both
      // ways.
      all_return = all_return && impl_->ascii_unchanged;
      size_t run = AsciiRun(utf8, i);
      std::memcpy(o, utf8.data() + i, run);
      o += run;
      i += run;
      continue;
    }
    std::string_view rest = utf8.substr(i);
    size_t n = Utf8SequenceLength(rest);
    uint32_t c = static_cast<unsigned char>(rest[0]);
    bool character = true;
    if (n == 1) {
      character = c < 0x80;
    } else {
      // The code point, refused when it is written longer than it needs.
      c &= n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07;
      for (size_t k = 1; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(rest[k]) & 0x3F);
      static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
      character = c >= kLeast[n];
    }
    if (character && c >= 0x10000) {
      *out = FromUtf8ByIconv(utf8);  // beyond the table
      return;
    }
    // Malformed input is one '?' without asking iconv; a character the tables do not hold
    // sends the whole text to iconv.
    uint8_t length = character ? impl_->from_bmp_length[c] : 0;
    if (length == Impl::kUseIconv) {
      *out = FromUtf8ByIconv(utf8);
      return;
    }
    all_return = all_return && length != 0 && impl_->from_bmp_returns[c];
    if (length == 0) {
      *o++ = '?';
    } else if (length == 1) {
      *o++ = static_cast<char>(impl_->from_bmp[c]);
    } else {
      *o++ = static_cast<char>(impl_->from_bmp[c] >> 8);
      *o++ = static_cast<char>(impl_->from_bmp[c] & 0xFF);
    }
    i += n;
  }
  out->resize(static_cast<size_t>(o - out->data()));
  *returns = all_return;
}

bool CodePage::FromUtf8RoundTrips(std::string_view utf8, std::string *out) const {
  // Every character whose code the tables know to read back as itself comes back; anything
  // else is settled on the whole text.
  bool returns;
  FromUtf8Into(utf8, out, &returns);
  return returns || ToUtf8(*out) == utf8;
}

bool CodePage::FromUtf8Holds(std::string_view utf8, std::string *out) const {
  if (FromUtf8RoundTrips(utf8, out)) return true;
  if (impl_->identity || !Available()) return false;
  // A character written with the code of an equivalent is held too: in 932 the JIS forms
  // (WAVE DASH, MINUS SIGN, the yen sign...) that Linux input methods type, which read back
  // as the forms Windows uses. Only a character without any code is not.
  bool held = true;
  *out = impl_->Convert(impl_->from_utf8, utf8, "?", [&held](std::string_view rest) {
    held = false;
    return Utf8SequenceLength(rest);
  });
  return held;
}

std::string CodePage::FromUtf8ByIconv(std::string_view utf8) const {
  return impl_->Convert(impl_->from_utf8, utf8, "?",
                        [](std::string_view rest) { return Utf8SequenceLength(rest); });
}

bool CodePage::AsciiUnchanged() const {
  impl_->singles_made.Ensure([this] { impl_->MakeSingles(*this); });
  return impl_->ascii_unchanged;
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

bool FromUtf8Exactly(std::string_view utf8, std::string *out) {
  return ActiveCodePage().FromUtf8RoundTrips(utf8, out);
}

bool FromUtf8Holds(std::string_view utf8, std::string *out) {
  return ActiveCodePage().FromUtf8Holds(utf8, out);
}

bool IsLeadByte(unsigned char byte) {
  if (t_loading) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return ActiveCodePage().IsLeadByte(byte);
}

size_t Utf8SequenceLength(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

void AppendUtf8(uint32_t code, std::string *out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace zplatform
