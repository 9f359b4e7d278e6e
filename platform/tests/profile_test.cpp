#include "zplatform/profile.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "zelko_test_env.h"

namespace zplatform {
namespace {

using zelko_testing::ConfigDir;
using zelko_testing::ReadFile;
using zelko_testing::WriteFile;

std::string Get(const char *section, const char *key, const char *def, uint32_t size = 256,
                const char *file = "zelko.ini", uint32_t *rc = nullptr) {
  std::string buf(size + 4, '#');
  uint32_t n = GetPrivateProfileString(section, key, def, buf.data(), size, file);
  if (rc) *rc = n;
  EXPECT_EQ(buf[n], '\0') << "result must be terminated";
  return std::string(buf.data(), n);
}

TEST(Profile, ConfigDirectoryRule) {
  std::string saved = getenv("ZELKO_CONFIG_DIR");
  const char *home_env = getenv("HOME");
  std::string saved_home = home_env != nullptr ? home_env : "";
  EXPECT_EQ(ConfigDirectory(), saved);
  unsetenv("ZELKO_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(ConfigDirectory(), "/xdg/zelko");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ConfigDirectory(), "/home/someone/.config/zelko");
  // Without HOME (a service, env -i): the user's home from the password database, never the
  // directory the program was started in.
  const passwd *user = getpwuid(getuid());
  EXPECT_NE(user, nullptr);
  for (bool empty : {false, true}) {
    if (user == nullptr) break;
    if (empty)
      setenv("HOME", "", 1);
    else
      unsetenv("HOME");
    EXPECT_EQ(ConfigDirectory(), std::string(user->pw_dir) + "/.config/zelko");
  }
  setenv("HOME", saved_home.c_str(), 1);
  setenv("ZELKO_CONFIG_DIR", saved.c_str(), 1);
  EXPECT_EQ(ProfilePath("zelko.ini"), saved + "/zelko.ini");
  EXPECT_EQ(ProfilePath("/etc/other.ini"), "/etc/other.ini");
}

TEST(Profile, ReadingRules) {
  WriteFile(ConfigDir() + "/zelko.ini",
            "; a comment line\r\n"
            "[Zelko300]\r\n"
            "  Fill_Space =  no  \r\n"
            ";float_size=3\r\n"
            "quoted=\"  a b  \"\r\n"
            "single='x'\r\n"
            "half=\"open\r\n"
            "empty=\r\n"
            "number = 42xyz\r\n"
            "negative=-5\r\n"
            "dup=first\r\n"
            "dup=second\r\n"
            "[other]\r\n"
            "fill_space=yes\r\n"
            "[ZELKO300]\r\n"
            "late=ignored\r\n");
  EXPECT_EQ(Get("zelko300", "fill_space", "d"), "no");  // case, trimming
  EXPECT_EQ(Get("ZELKO300", "FILL_SPACE", "d"), "no");
  EXPECT_EQ(Get("other", "fill_space", "d"), "yes");     // the same key in two sections
  EXPECT_EQ(Get("zelko300", "float_size", "10"), "10");  // commented out
  EXPECT_EQ(Get("zelko300", "quoted", ""), "  a b  ");
  EXPECT_EQ(Get("zelko300", "single", ""), "x");
  EXPECT_EQ(Get("zelko300", "half", ""), "\"open");
  EXPECT_EQ(Get("zelko300", "empty", "default"), "");  // present but empty: not the default
  EXPECT_EQ(Get("zelko300", "dup", ""), "first");
  EXPECT_EQ(Get("zelko300", "late", "def"), "def");    // a second section of the name is ignored
  EXPECT_EQ(Get("nosection", "key", "def  "), "def");  // default loses trailing blanks
  EXPECT_EQ(Get("zelko300", "nokey", nullptr), "");
  EXPECT_EQ(Get("zelko300", "fill_space", "d", 256, "absent.ini"), "d");  // missing file

  EXPECT_EQ(GetPrivateProfileInt("zelko300", "number", 7, "zelko.ini"), 42u);
  EXPECT_EQ(GetPrivateProfileInt("zelko300", "negative", 7, "zelko.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileInt("zelko300", "fill_space", 7, "zelko.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileInt("zelko300", "missing", 7, "zelko.ini"), 7u);
  EXPECT_EQ(GetPrivateProfileInt("zelko300", "x", 9, "absent.ini"), 9u);

  // A UTF-8 mark before the first section does not hide it, and a write keeps the mark.
  std::string marked = ConfigDir() + "/marked.ini";
  WriteFile(marked, "\xEF\xBB\xBF[zelko300]\r\nsShortDate=YY/MM/DD\r\n");
  EXPECT_EQ(Get("zelko300", "sshortdate", "", 256, "marked.ini"), "YY/MM/DD");
  ASSERT_TRUE(WritePrivateProfileString("zelko300", "year_2000", "1", "marked.ini"));
  EXPECT_EQ(ReadFile(marked), "\xEF\xBB\xBF[zelko300]\r\nsShortDate=YY/MM/DD\r\nyear_2000=1\r\n");
}

TEST(Profile, TruncationToTheBuffer) {
  WriteFile(ConfigDir() + "/zelko.ini", "[s]\nlong=0123456789\n[t]\na=1\nbb=2\n");
  uint32_t rc = 0;
  EXPECT_EQ(Get("s", "long", "", 5, "zelko.ini", &rc), "0123");
  EXPECT_EQ(rc, 4u);  // size - 1
  EXPECT_EQ(Get("s", "long", "", 11, "zelko.ini", &rc), "0123456789");
  EXPECT_EQ(rc, 10u);
  EXPECT_EQ(Get("s", "nokey", "defaultvalue", 4, "zelko.ini", &rc), "def");
  EXPECT_EQ(rc, 3u);

  // Lists: sections and keys, NUL separated with a final NUL.
  char buf[32];
  std::memset(buf, '#', sizeof buf);
  rc = GetPrivateProfileString(nullptr, nullptr, "", buf, sizeof buf, "zelko.ini");
  EXPECT_EQ(rc, 4u);
  EXPECT_EQ(std::string(buf, 5), std::string("s\0t\0\0", 5));
  rc = GetPrivateProfileString("t", nullptr, "", buf, sizeof buf, "zelko.ini");
  EXPECT_EQ(std::string(buf, rc + 1), std::string("a\0bb\0\0", 6));
  // A list that does not fit ends with two NULs and returns size - 2.
  std::memset(buf, '#', sizeof buf);
  rc = GetPrivateProfileString("t", nullptr, "", buf, 4, "zelko.ini");
  EXPECT_EQ(rc, 2u);
  EXPECT_EQ(std::string(buf, 4), std::string("a\0\0\0", 4));
}

TEST(Profile, WriteKeepsEveryOtherLine) {
  std::string path = ConfigDir() + "/zelko.ini";
  WriteFile(path,
            "; settings for the controls\r\n"
            "[zelko300]\r\n"
            "fill_space = yes ; not a comment but part of the value\r\n"
            "; the date style\r\n"
            "sShortDate=YY/MM/DD\r\n"
            "\r\n"
            "[zelko32]\r\n"
            "owner=abc\r\n");
  ASSERT_TRUE(WritePrivateProfileString("ZELKO300", "SSHORTDATE", "yyyy/mm/dd", "zelko.ini"));
  ASSERT_TRUE(WritePrivateProfileString("zelko300", "float_size", "8", "zelko.ini"));
  ASSERT_TRUE(WritePrivateProfileString("dicteditp", "x", "1", "zelko.ini"));
  EXPECT_EQ(ReadFile(path),
            "; settings for the controls\r\n"
            "[zelko300]\r\n"
            "fill_space = yes ; not a comment but part of the value\r\n"
            "; the date style\r\n"
            "SSHORTDATE=yyyy/mm/dd\r\n"
            "float_size=8\r\n"
            "\r\n"
            "[zelko32]\r\n"
            "owner=abc\r\n"
            "[dicteditp]\r\n"
            "x=1\r\n");
  // Deleting a key, then a section.
  ASSERT_TRUE(WritePrivateProfileString("zelko300", "float_size", nullptr, "zelko.ini"));
  ASSERT_TRUE(WritePrivateProfileString("zelko32", nullptr, nullptr, "zelko.ini"));
  EXPECT_EQ(ReadFile(path),
            "; settings for the controls\r\n"
            "[zelko300]\r\n"
            "fill_space = yes ; not a comment but part of the value\r\n"
            "; the date style\r\n"
            "SSHORTDATE=yyyy/mm/dd\r\n"
            "\r\n"
            "[dicteditp]\r\n"
            "x=1\r\n");
  // No temporary file is left beside it.
  int files = 0;
  for (auto &e : std::filesystem::directory_iterator(ConfigDir())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST(Profile, WriteCreatesTheFileAndItsDirectory) {
  std::string dir = ConfigDir() + "/nested/deeper";
  setenv("ZELKO_CONFIG_DIR", dir.c_str(), 1);
  ASSERT_TRUE(WritePrivateProfileString("zelko", "last", "C:\\DATA", "zelko.ini"));
  EXPECT_EQ(ReadFile(dir + "/zelko.ini"), "[zelko]\nlast=C:\\DATA\n");
  EXPECT_EQ(ProfileString("zelko", "last", "", "zelko.ini"), "C:\\DATA");
  // Deleting from an absent file is no failure.
  EXPECT_TRUE(WritePrivateProfileString("zelko", "none", nullptr, "other.ini"));
}

// Programs saving settings at once each keep their change: none writes back a file it read
// before another's write.
TEST(Profile, WritesOfSeveralProcessesAtOnceAreAllKept) {
  const int kProcesses = 4, kKeys = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = fork();
    if (child == 0) {
      bool all = true;
      for (int k = 0; k < kKeys; ++k) {
        std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
        all = WritePrivateProfileString("race", key.c_str(), "1", "zelko.ini") && all;
      }
      _exit(all ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int missing = 0;
  for (int p = 0; p < kProcesses; ++p) {
    for (int k = 0; k < kKeys; ++k)
      missing +=
          Get("race", ("p" + std::to_string(p) + "k" + std::to_string(k)).c_str(), "") != "1";
  }
  EXPECT_EQ(missing, 0);
  // No lock file or half-written copy is left beside the settings.
  const std::string path = ProfilePath("zelko.ini");
  for (const auto &entry : std::filesystem::directory_iterator(path.substr(0, path.rfind('/')))) {
    EXPECT_EQ(entry.path().extension(), ".ini") << entry.path();
  }
}

TEST(Profile, DoubleByteNamesAreNotCaseFolded) {
  // "ソ" in code page 932 is 0x83 0x5C; "ャ" is 0x83 0x83 and "モ" is 0x83 0x82: trail bytes
  // 0x82/0x83 are no letters, but 0x83 0x61 ("Ÿ"-like position) must not match 0x83 0x41.
  WriteFile(ConfigDir() + "/zelko.ini", "[\x83\x61]\nk=1\n");
  EXPECT_EQ(Get("\x83\x61", "k", "d"), "1");
  EXPECT_EQ(Get("\x83\x41", "k", "d"), "d");
}

TEST(Profile, LongValuesThroughTheConvenienceCall) {
  std::string value(10000, 'v');
  WriteFile(ConfigDir() + "/zelko.ini", "[s]\nk=" + value + "\n");
  EXPECT_EQ(ProfileString("s", "k", "", "zelko.ini"), value);
}

}  // namespace
}  // namespace zplatform
