// The editor's dialogs without a window shown: what their boxes take.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QValidator>

#include "form_dialog.h"

namespace dictedit {
namespace {

QApplication &App() {
  static int argc = 1;
  static char name[] = "dictedit_tests";
  static char *argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// The dictionary keeps a name in 20 bytes of the code page: ten double-byte characters fill
// it, as on the platform the editor comes from, where the save used to cut an eleventh.
TEST(Dialogs, ANameBoxTakesTheBytesTheDictionaryKeeps) {
  App();
  FormDialog dialog(nullptr, "t");
  dialog.AddLine("名前", 20);
  auto *edit = qobject_cast<QLineEdit *>(dialog.Field("名前"));
  ASSERT_NE(edit, nullptr);
  ASSERT_NE(edit->validator(), nullptr);
  const QString ten = QString("あ").repeated(10);
  QString text = ten;
  int at = 0;
  EXPECT_EQ(edit->validator()->validate(text, at), QValidator::Acceptable);
  text = ten + "あ";
  EXPECT_EQ(edit->validator()->validate(text, at), QValidator::Invalid);
  text = QString("a").repeated(20);
  EXPECT_EQ(edit->validator()->validate(text, at), QValidator::Acceptable);
  // A character the code page lacks was saved as "?" ("äpfel" became "?PFEL").
  text = QString("äpfel");
  EXPECT_EQ(edit->validator()->validate(text, at), QValidator::Invalid);
  dialog.AddLine("サイズ");  // no limit, the same characters
  text = QString("1😀");
  EXPECT_EQ(qobject_cast<QLineEdit *>(dialog.Field("サイズ"))->validator()->validate(text, at),
            QValidator::Invalid);
  // A macro's value goes in as typing it would.
  ASSERT_TRUE(dialog.SetValue("名前", "ab" + ten));
  EXPECT_EQ(dialog.Value("名前"), "ab" + QString("あ").repeated(9));
}

}  // namespace
}  // namespace dictedit
