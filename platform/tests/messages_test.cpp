#include "zplatform/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "zplatform/codepage.h"

namespace zplatform {
namespace {

class MessagesTest : public testing::Test {
 protected:
  void SetUp() override {
    recorder_ = std::make_shared<RecordingPresenter>();
    MessageService::Instance().SetPresenter(recorder_);
  }
  void TearDown() override { MessageService::Instance().SetPresenter(nullptr); }
  std::shared_ptr<RecordingPresenter> recorder_;
};

TEST_F(MessagesTest, FormatsInTheCodePageAndRecordsUtf8) {
  std::string table = FromUtf8("顧客");
  MessageAnswer a = MessageService::Instance().ShowFormatted(
      MessageButtons::kOk, MessageIcon::kError, "VE803 Btrieveファイル %s のオープンに失敗。(%d)",
      table.c_str(), 12);
  EXPECT_EQ(a, MessageAnswer::kOk);
  ASSERT_EQ(recorder_->Texts().size(), 1u);
  EXPECT_EQ(recorder_->Texts()[0], "VE803 Btrieveファイル 顧客 のオープンに失敗。(12)");
  EXPECT_EQ(FormatCodePage("%s:%d", "a", 5), "a:5");
  EXPECT_EQ(FormatCodePage("テ"), "\x83\x65");
}

// The locale picks the language: English when it asks for it, the system's own texts in a
// Japanese, C or POSIX locale.
TEST_F(MessagesTest, EnglishWhenTheLocaleAsksForIt) {
  struct Case {
    const char *lc_all, *lang, *language;
    bool english;
  } cases[] = {{"en_US.UTF-8", "", "", true},      {"C", "", "", false},
               {"", "en_GB.UTF-8", "", true},      {"", "ja_JP.UTF-8", "", false},
               {"", "ja_JP.UTF-8", "en:ja", true}, {"POSIX", "", "en", false},
               {"C.UTF-8", "", "", false},         {"", "", "", false}};
  for (const Case &c : cases) {
    setenv("LC_ALL", c.lc_all, 1);
    setenv("LANG", c.lang, 1);
    setenv("LANGUAGE", c.language, 1);
    unsetenv("LC_MESSAGES");
    recorder_->Clear();
    MessageService::Instance().ShowFormatted(MessageButtons::kOk, MessageIcon::kError,
                                             "VE803 Btrieveファイル %s のオープンに失敗。(%d)",
                                             "CUST", 12);
    EXPECT_EQ(recorder_->Texts().at(0), c.english
                                            ? "VE803 Opening the Btrieve file CUST failed. (12)"
                                            : "VE803 Btrieveファイル CUST のオープンに失敗。(12)")
        << c.lc_all << "|" << c.lang << "|" << c.language;
  }
  setenv("LC_ALL", "C.UTF-8", 1);
  unsetenv("LANGUAGE");
  // A code page without Japanese showed the texts as a row of "?": English instead.
  std::ofstream(std::string(getenv("ZELKO_CONFIG_DIR")) + "/zelko.ini")
      << "[zelko300]\ncode_page=1252\n";
  ResetActiveCodePage();
  recorder_->Clear();
  MessageService::Instance().ShowFormatted(MessageButtons::kOk, MessageIcon::kError,
                                           "VE803 Btrieveファイル %s のオープンに失敗。(%d)",
                                           "CUST", 12);
  EXPECT_EQ(recorder_->Texts().at(0), "VE803 Opening the Btrieve file CUST failed. (12)");
  std::remove((std::string(getenv("ZELKO_CONFIG_DIR")) + "/zelko.ini").c_str());
  ResetActiveCodePage();
}

// Every message format of the sources has its translation, taking the same arguments.
TEST(MessageTranslations, CoverEveryMessageWithTheSameArguments) {
  std::map<std::string, std::string> table;
  for (const auto &[own, english] : MessageTranslations()) {
    EXPECT_EQ(ConversionsOf(own.c_str()), ConversionsOf(english.c_str())) << own;
    if (own.rfind("VE", 0) == 0) {
      EXPECT_EQ(own.substr(0, own.find(' ')), english.substr(0, english.find(' '))) << english;
    }
    EXPECT_TRUE(table.emplace(own, english).second) << own;
  }
  int seen = 0;
  for (const char *header : {"zelkoctl/src/engine/messages.h", "dictedit/core/editor_messages.h"}) {
    std::ifstream in(std::string(ZELKO_SOURCE_DIR) + "/" + header);
    std::stringstream text;
    text << in.rdbuf();
    std::string source = text.str();
    // Each constant: one or more adjacent string literals.
    std::regex constant(R"re(=\s*((?:"(?:[^"\\]|\\.)*"\s*)+);)re");
    std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
    for (std::sregex_iterator m(source.begin(), source.end(), constant), end; m != end; ++m) {
      std::string joined, pieces = (*m)[1];
      for (std::sregex_iterator l(pieces.begin(), pieces.end(), literal); l != end; ++l)
        joined += (*l)[1];
      joined = std::regex_replace(joined, std::regex(R"(\\n)"), "\n");
      joined = std::regex_replace(joined, std::regex(R"(\\")"), "\"");
      if (joined.rfind("VE", 0) != 0) continue;
      ++seen;
      EXPECT_EQ(table.count(joined), 1u) << header << ": " << joined;
    }
  }
  EXPECT_GT(seen, 100);
}

TEST_F(MessagesTest, ScriptedAnswersAndBeeps) {
  recorder_->QueueAnswer(MessageAnswer::kCancel);
  MessageRequest r;
  r.text = "Q";
  r.buttons = MessageButtons::kOkCancel;
  EXPECT_EQ(MessageService::Instance().Show(r), MessageAnswer::kCancel);
  EXPECT_EQ(MessageService::Instance().Show(r), MessageAnswer::kOk);  // script exhausted
  r.buttons = MessageButtons::kYesNo;
  EXPECT_EQ(MessageService::Instance().Show(r), MessageAnswer::kYes);
  Beep();
  Beep();
  EXPECT_EQ(recorder_->BeepCount(), 2);
  EXPECT_EQ(recorder_->Messages()[0].buttons, MessageButtons::kOkCancel);
  recorder_->Clear();
  EXPECT_TRUE(recorder_->Texts().empty());
}

TEST(MessagesDeath, FatalAppExitShowsTheTextAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(FatalAppExit("dictio: owner name too long"),
              testing::ExitedWithCode(kFatalExitStatus), "dictio: owner name too long");
}

}  // namespace
}  // namespace zplatform
