#include "zplatform/messages.h"

#include <gtest/gtest.h>

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
