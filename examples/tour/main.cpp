// A short tour of the platform layer: where zelko.ini lives, what it says, and a message
// shown through the message service in the code page.
#include <cstdio>
#include <string>
#include <vector>

#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/profile.h"

int main() {
  using namespace zplatform;
  std::printf("configuration directory: %s\n", ConfigDirectory().c_str());
  std::printf("zelko.ini: %s\n", ProfilePath("zelko.ini").c_str());
  std::printf("ANSI code page: %d\n", ActiveCodePage().Number());

  std::vector<char> sections(8192);
  uint32_t n = GetPrivateProfileString(nullptr, nullptr, "", sections.data(),
                                       static_cast<uint32_t>(sections.size()), "zelko.ini");
  if (n == 0) std::printf("zelko.ini has no sections yet\n");
  for (uint32_t i = 0; i < n;) {
    std::string section(sections.data() + i);
    std::printf("[%s]\n", ToUtf8(section).c_str());
    std::vector<char> keys(8192);
    uint32_t k = GetPrivateProfileString(section.c_str(), nullptr, "", keys.data(),
                                         static_cast<uint32_t>(keys.size()), "zelko.ini");
    for (uint32_t j = 0; j < k;) {
      std::string key(keys.data() + j);
      std::string value = ProfileString(section, key, "", "zelko.ini");
      std::printf("  %s=%s\n", ToUtf8(key).c_str(), ToUtf8(value).c_str());
      j += static_cast<uint32_t>(key.size()) + 1;
    }
    i += static_cast<uint32_t>(section.size()) + 1;
  }
  MessageService::Instance().ShowFormatted(MessageButtons::kOk, MessageIcon::kInformation,
                                           "ZELKO %s: 設定は %s にあります。", "3.00",
                                           FromUtf8(ProfilePath("zelko.ini")).c_str());
  return 0;
}
