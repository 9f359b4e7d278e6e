// The edit control and the operation button driven through real Qt events on a hosted form.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <sstream>

#include "btrieve/btrapi.h"
#include "controls/zlkbtn.h"
#include "controls/zlkedit.h"
#include "dictionary_builder.h"
#include "engine/module.h"
#include "form_host.h"
#include "frame/ime_service.h"
#include "macro.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace zelkoform {
namespace {

using zelko_testing::App;

// A form with a data source on a small dictionary, four edit boxes and two buttons.
class Hosted : public testing::Test {
 protected:
  void SetUp() override {
    App();
    dir_ = zelko_testing::ScratchDir() + "/dict";
    std::filesystem::create_directories(dir_);
    ASSERT_EQ(dictio::BuildDictionary(
                  dir_, {{4,
                          "ITEM",
                          "item",
                          {{"CODE", 1, 4}, {"NAME", 0, 10}, {"DAY", 3, 4}, {"PRICE", 5, 4, 2}},
                          {{"CODE", 0, 0, 0x100}},
                          {}}}),
              0);
    recorder_ = std::make_shared<zplatform::RecordingPresenter>();
    zplatform::MessageService::Instance().SetPresenter(recorder_);
    std::string text = "VERSION 5.00\nBegin VB.Form F \n   Width = 6000\n   Height = 4000\n";
    const char *fields[] = {"CODE", "NAME", "DAY", "PRICE"};
    for (int i = 0; i < 4; ++i) {
      text += "   Begin ZLKBTRLibCtl.ZLKEdit Edit" + std::to_string(i + 1) +
              " \n      DbSource = \"Zelko1\"\n" + "      DbTable = \"ITEM\"\n      DbField = \"" +
              fields[i] + "\"\n      Top = " + std::to_string(100 + 400 * i) +
              "\n      Width = 2000\n      Height = 375\n   End\n";
    }
    text +=
        "   Begin ZLKBTRLibCtl.ZLKBtn Insert \n      Caption = \"新規\"\n      DbSource = "
        "\"Zelko1\"\n"
        "      DbTable = \"ITEM\"\n      DbOperation = 0\n      DbIndex = \"CODE\"\n      Top = "
        "2000\n"
        "      Width = 800\n      Height = 375\n   End\n"
        "   Begin ZLKBTRLibCtl.ZLKBtn Find \n      DbSource = \"Zelko1\"\n      DbTable = "
        "\"ITEM\"\n"
        "      DbOperation = 3\n      DbIndex = \"CODE\"\n      Top = 2000\n      Left = 1000\n"
        "      Width = 800\n      Height = 375\n   End\n"
        "   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 \n      DDFDir = \"" +
        dir_ + "\"\n   End\nEnd\n";
    auto doc = ParseFrm(text, nullptr);
    ASSERT_TRUE(doc);
    ASSERT_TRUE(host_.Load(*doc, false, nullptr));
    host_.Window()->show();
  }
  void TearDown() override { zplatform::MessageService::Instance().SetPresenter(nullptr); }
  zelko::ZlkEdit *Edit(int i) {
    return dynamic_cast<zelko::ZlkEdit *>(host_.FindControl("Edit" + std::to_string(i)));
  }
  zelko::ZlkBtn *Button(const char *name) {
    return dynamic_cast<zelko::ZlkBtn *>(host_.FindControl(name));
  }
  void Type(zelko::ZlkEdit *e, const QString &text) {
    for (QChar ch : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(e->EditWindow(), &press);
    }
  }
  void Click(const char *name) { static_cast<QPushButton *>(host_.FindWidget(name))->click(); }
  int Count() {
    uint8_t pb[128] = {};
    uint32_t len = 0;
    std::string path = dir_ + "/item.btr";
    BTRCALL(B_OPEN, pb, nullptr, &len, path.data(), 0, 0);
    uint8_t stat[1024];
    len = sizeof stat;
    uint8_t key[255];
    BTRCALL(B_STAT, pb, stat, &len, key, 255, 0);
    len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    return stat[6] | stat[7] << 8;
  }
  std::string dir_;
  FormHost host_;
  std::shared_ptr<zplatform::RecordingPresenter> recorder_;
};

TEST_F(Hosted, InsertFindAndTheButtonsRules) {
  Type(Edit(1), "7");
  Type(Edit(2), "PEN");
  Type(Edit(3), "2001/2/3");
  Type(Edit(4), "12.5");
  // SetData veto: no Btrieve call, no message, Click still fires.
  std::vector<std::string> events;
  Button("Insert")->SetEventHandler([&](const std::string &event, std::vector<zelko::Variant> &) {
    events.push_back(event);
    if (event == "SetData") Button("Insert")->PutProperty("Abort", zelko::Variant::Bool(true));
  });
  Click("Insert");
  EXPECT_EQ(events, (std::vector<std::string>{"SetData", "Click"}));
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(Edit(2)->EditWindow()->text(), "PEN");  // nothing cleared
  // ConfirmMsg with Cancel: only Click.
  Button("Insert")->SetEventHandler(nullptr);
  Button("Insert")->PutProperty("ConfirmMsg", zelko::Variant::String("登録しますか?"));
  recorder_->QueueAnswer(zplatform::MessageAnswer::kCancel);
  Click("Insert");
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(recorder_->Texts().back(), "登録しますか?");
  // OK: inserted, the controls emptied.
  Click("Insert");
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Edit(2)->EditWindow()->text(), "");
  // A duplicate: BtrieveError, then VE807 unless the handler clears the status.
  Type(Edit(1), "7");
  Button("Insert")->PutProperty("ConfirmMsg", zelko::Variant::String(""));
  recorder_->Clear();
  Click("Insert");
  ASSERT_FALSE(recorder_->Texts().empty());
  EXPECT_EQ(recorder_->Texts().back(),
            "VE807 ボタンによるBtrieveオペレーションに失敗しました。(5)");
  recorder_->Clear();
  Button("Insert")->SetEventHandler(
      [&](const std::string &event, std::vector<zelko::Variant> &args) {
        if (event == "BtrieveError") args[1] = zelko::Variant::I2(0);
      });
  Click("Insert");
  EXPECT_TRUE(recorder_->Texts().empty());
  // DbGetEqual takes the key from the control showing CODE; the others show the record.
  Edit(1)->ClearFieldText();
  Edit(2)->ClearFieldText();
  Type(Edit(1), "7");
  Click("Find");
  EXPECT_EQ(Edit(2)->EditWindow()->text(), "PEN");
  EXPECT_EQ(Edit(3)->EditWindow()->text(), "2001/02/03");
  EXPECT_EQ(Edit(4)->EditWindow()->text(), "12.50");
  zelko::Variant index;
  Button("Find")->GetProperty("IndexID", &index);
  EXPECT_EQ(index.AsInteger(), 0);
}

TEST_F(Hosted, EditBoxRules) {
  zelko::ZlkEdit *name = Edit(2);
  // Right alignment within MaxLength.
  name->PutProperty("MaxLength", zelko::Variant::I2(5));
  name->PutProperty("FormatOption", zelko::Variant::I2(2));
  name->ShowFieldText("AB");
  EXPECT_EQ(name->EditWindow()->text(), "   AB");
  name->ShowFieldText("ABCDEFG");
  EXPECT_EQ(name->EditWindow()->text(), "CDEFG");
  // A Format mask through the format service.
  zelko::ZlkEdit *price = Edit(4);
  price->PutProperty("Format", zelko::Variant::String("#,##0.00"));
  price->ShowFieldText("1234.5");
  EXPECT_EQ(price->EditWindow()->text(), "1,234.50");
  std::string back;
  price->ReadFieldText(&back);
  EXPECT_EQ(back, "1,234.50");  // the shown text goes back
  // ... unless nobody edited it and it would store another value: a date under a mask and a
  // text padded to the right go back as they came, where they were stored changed.
  zelko::ZlkEdit *day = Edit(3);
  day->PutProperty("Format", zelko::Variant::String("ggge年m月d日"));
  day->ShowFieldText("2001/02/03");
  EXPECT_EQ(day->EditWindow()->text(), "平成13年2月3日");
  day->ReadFieldText(&back);
  EXPECT_EQ(back, "2001/02/03");
  day->PutProperty("Text", zelko::Variant::String("2002/3/4"));
  day->ReadFieldText(&back);
  EXPECT_EQ(back, "2002/3/4");
  Type(day, "5");  // an edit: what the box shows goes back
  day->ReadFieldText(&back);
  EXPECT_EQ(zplatform::ToUtf8(back), "平成14年3月4日5");
  day->PutProperty("Format", zelko::Variant::String(""));
  day->ClearFieldText();
  name->PutProperty("FormatOption", zelko::Variant::I2(2));
  name->ShowFieldText("AB");
  name->ReadFieldText(&back);
  EXPECT_EQ(back, "AB");
  // The numeric filter: "/" passes for a Date field, beeps for a String field.
  day->PutProperty("NumericMask", zelko::Variant::Bool(true));
  name->PutProperty("NumericMask", zelko::Variant::Bool(true));
  name->PutProperty("FormatOption", zelko::Variant::I2(0));
  name->ClearFieldText();
  Type(day, "2001/02/03x");
  EXPECT_EQ(day->EditWindow()->text(), "2001/02/03");
  EXPECT_EQ(recorder_->BeepCount(), 1);
  Type(name, "1/2");
  EXPECT_EQ(name->EditWindow()->text(), "12");
  EXPECT_EQ(recorder_->BeepCount(), 2);
  // Leaving a date box completes the date.
  day->ClearFieldText();
  Type(day, "20010203");
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(day->EditWindow(), &out);
  EXPECT_EQ(day->EditWindow()->text(), "2001/02/03");
  // Selection: a length running past the end changes nothing.
  zelko::ZlkEdit *code = Edit(1);
  code->ClearFieldText();
  Type(code, "12345");
  code->PutProperty("SelStart", zelko::Variant::I2(1));
  code->PutProperty("SelLength", zelko::Variant::I2(2));
  zelko::Variant sel;
  code->GetProperty("SelText", &sel);
  EXPECT_EQ(sel.AsString(), "23");
  code->PutProperty("SelLength", zelko::Variant::I2(9));
  code->GetProperty("SelText", &sel);
  EXPECT_EQ(sel.AsString(), "23");
  // MaxLength holds back typing in code-page bytes; a longer field text is shown whole and
  // goes back whole (it was cut, and an update stored it cut).
  code->PutProperty("MaxLength", zelko::Variant::I2(6));
  code->ClearFieldText();
  Type(code, "AB鈴木太");
  EXPECT_EQ(code->EditWindow()->text(), "AB鈴木");
  code->ShowFieldText(zplatform::FromUtf8("山田太郎"));
  EXPECT_EQ(code->EditWindow()->text(), "山田太郎");
  code->ReadFieldText(&back);
  EXPECT_EQ(zplatform::ToUtf8(back), "山田太郎");
  Type(code, "x");
  EXPECT_EQ(code->EditWindow()->text(), "山田太郎");
  // A character the code page lacks is not taken (the field stored it as "?"); a text shown
  // with bytes that are no characters of it may still be edited.
  code->PutProperty("MaxLength", zelko::Variant::I2(0));
  code->ClearFieldText();
  Type(code, "Mü");
  EXPECT_EQ(code->EditWindow()->text(), "M");
  // The JIS forms Linux input methods type are taken: 932 holds them (WAVE DASH at 81 60).
  Type(code, "〜");
  EXPECT_EQ(code->EditWindow()->text(), "M〜");
  code->ReadFieldText(&back);
  EXPECT_EQ(back, "M\x81\x60");
  code->ClearFieldText();
  code->ShowFieldText(std::string("A\x81", 2));  // a lead byte alone
  Type(code, "B");
  code->ReadFieldText(&back);
  EXPECT_EQ(back.substr(0, 1), "A");
  EXPECT_EQ(back.back(), 'B');
  // Input-method mode 3: closed and disabled on focus, the former mode back on leaving.
  zelko::ImeService::Get().ClearRequests();
  name->PutProperty("IMEMode", zelko::Variant::I2(3));
  QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(name->EditWindow(), &in);
  EXPECT_EQ(zelko::ImeService::Get().Requests(),
            (std::vector<std::string>{"get conversion", "open 0", "disable"}));
  EXPECT_FALSE(name->EditWindow()->testAttribute(Qt::WA_InputMethodEnabled));
  zelko::ImeService::Get().ClearRequests();
  name->PutProperty("IMEMode", zelko::Variant::I2(4));
  QApplication::sendEvent(name->EditWindow(), &in);
  EXPECT_EQ(zelko::ImeService::Get().Requests(),
            (std::vector<std::string>{"get conversion", "enable", "open 1", "conversion 0x14",
                                      "window 8 2"}));
}

TEST_F(Hosted, KeyEventsCarryVirtualKeysAndFireOncePerKey) {
  zelko::ZlkEdit *name = Edit(2);
  name->ClearFieldText();
  name->PutProperty("UpperCase", zelko::Variant::Bool(true));
  std::vector<std::string> seen;
  name->SetEventHandler([&](const std::string &event, std::vector<zelko::Variant> &args) {
    if (event == "Change") return;
    std::string line = event;
    for (const zelko::Variant &a : args)
      line += " " + std::to_string(a.AsInteger().value_or(-1));
    seen.push_back(line);
  });
  auto key = [&](int k, Qt::KeyboardModifiers m, const QString &text) {
    QKeyEvent press(QEvent::KeyPress, k, m, text);
    QApplication::sendEvent(name->EditWindow(), &press);
    QKeyEvent release(QEvent::KeyRelease, k, m, text);
    QApplication::sendEvent(name->EditWindow(), &release);
  };
  key(Qt::Key_X, Qt::NoModifier, "x");
  key(Qt::Key_Y, Qt::NoModifier, "y");
  key(Qt::Key_A, Qt::ShiftModifier, "A");
  key(Qt::Key_Return, Qt::NoModifier, "\r");
  key(Qt::Key_Tab, Qt::ControlModifier | Qt::AltModifier, "\t");
  key(Qt::Key_F5, Qt::NoModifier, "");
  EXPECT_EQ(name->EditWindow()->text(), "XYA");  // each lower-case letter once, upper-cased
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "KeyDown 88 0", "KeyPress 120", "KeyUp 88 0", "KeyDown 89 0", "KeyPress 121",
                      "KeyUp 89 0", "KeyDown 65 1", "KeyPress 65", "KeyUp 65 1", "KeyDown 13 0",
                      "KeyUp 13 0", "KeyDown 9 6", "KeyUp 9 6", "KeyDown 116 0", "KeyUp 116 0"}));
  // A KeyPress handler may change the character or cancel it.
  name->SetEventHandler([&](const std::string &event, std::vector<zelko::Variant> &args) {
    if (event == "KeyPress") args[0] = zelko::Variant::I4(args[0].AsInteger() == 'q' ? 0 : '#');
  });
  key(Qt::Key_Q, Qt::NoModifier, "q");
  key(Qt::Key_W, Qt::NoModifier, "w");
  EXPECT_EQ(name->EditWindow()->text(), "XYA#");
  name->SetEventHandler(nullptr);
}

TEST(EditDesignMode, RunTimePropertiesAndTheDbFieldHelp) {
  App();
  std::string dir = zelko_testing::ScratchDir() + "/d";
  std::filesystem::create_directories(dir);
  ASSERT_EQ(dictio::BuildDictionary(dir, {{4, "ITEM", "item", {{"NAME", 0, 12}}, {}, {}}}), 0);
  std::string text =
      "VERSION 5.00\nBegin VB.Form F \n   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 \n      DDFDir = \"" +
      dir +
      "\"\n   End\n   Begin ZLKBTRLibCtl.ZLKEdit Edit1 \n      DbSource = \"Zelko1\"\n"
      "      DbTable = \"ITEM\"\n   End\nEnd\n";
  FormHost host;
  ASSERT_TRUE(host.Load(*ParseFrm(text, nullptr), true, nullptr));
  auto *edit = dynamic_cast<zelko::ZlkEdit *>(host.FindControl("Edit1"));
  zelko::Variant v;
  EXPECT_EQ(edit->GetProperty("SelStart", &v), zelko::kSetNotPermitted);
  EXPECT_EQ(edit->GetProperty("SelLength", &v), zelko::kGetNotAvailable);
  EXPECT_EQ(edit->GetProperty("SelText", &v), zelko::kGetNotAvailable);
  EXPECT_EQ(edit->PutProperty("SelText", zelko::Variant::String("x")), zelko::kSetNotPermitted);
  EXPECT_EQ(zelko::Module::Get().registry.FieldControlCount(), 0u);  // design mode: not registered
  ASSERT_EQ(edit->PutProperty("DbField", zelko::Variant::String("NAME")), zelko::kOk);
  edit->GetProperty("Text", &v);
  EXPECT_EQ(v.AsString(), "NAME");
  edit->GetProperty("MaxLength", &v);
  EXPECT_EQ(v.AsInteger(), 12);
}

}  // namespace
}  // namespace zelkoform
