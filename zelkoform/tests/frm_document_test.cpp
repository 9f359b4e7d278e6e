#include "frm_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "frm_input.h"

namespace zelkoform {
namespace {

const char *kVb5 =
    "VERSION 5.00\r\n"
    "Object = \"{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0\"; \"ZELKOCTL.OCX\"\r\n"
    "Begin VB.Form Form1 \r\n"
    "   BackColor       =   &H8000000F&\r\n"
    "   Caption         =   \"Say \"\"hi\"\" 'there'\"\r\n"
    "   ClientHeight    =   3195\r\n"
    "   BeginProperty Font \r\n"
    "      Name            =   \"ＭＳ Ｐゴシック\"\r\n"
    "      Size            =   9\r\n"
    "      Charset         =   128\r\n"
    "   EndProperty\r\n"
    "   Begin VB.Frame Frame1 \r\n"
    "      Caption         =   \"枠\"\r\n"
    "      Height          =   1500\r\n"
    "      Begin ZLKBTRLibCtl.ZLKEdit ZelkoEdit1 \r\n"
    "         BorderStyle     =   1  '実線\r\n"
    "         _ExtentX        =   2646\r\n"
    "         DbField         =   \"NAME\"\r\n"
    "      End\r\n"
    "   End\r\n"
    "   Begin MSComctlLib.Slider Slider1 \r\n"
    "      Max             =   10\r\n"
    "   End\r\n"
    "End\r\n"
    "Attribute VB_Name = \"Form1\"\r\n"
    "Attribute VB_Creatable = False\r\n"
    "Option Explicit\r\n"
    "\r\n"
    "Private Sub Form_Load()\r\n"
    "Attribute Form_Load.VB_Description = \"Fills the form\"\r\n"
    "End Sub\r\n";

TEST(FrmDocument, VisualBasic5Text) {
  std::vector<std::string> problems;
  auto doc = ParseFrm(kVb5, &problems);
  ASSERT_TRUE(doc);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(doc->version, "5.00");
  ASSERT_EQ(doc->object_lines.size(), 1u);
  EXPECT_EQ(doc->form.type, "VB.Form");
  EXPECT_EQ(doc->form.name, "Form1");
  EXPECT_EQ(FrmNumber(doc->form.Find("BackColor")->value), 0x8000000FLL);
  EXPECT_EQ(UnquoteFrmString(doc->form.Find("caption")->value), "Say \"hi\" 'there'");
  ASSERT_EQ(doc->form.blocks.size(), 1u);
  EXPECT_EQ(doc->form.blocks[0].header, "Font");
  EXPECT_EQ(doc->form.blocks[0].properties[0].value, "\"ＭＳ Ｐゴシック\"");
  ASSERT_EQ(doc->form.children.size(), 2u);
  const FrmObject &frame = doc->form.children[0];
  ASSERT_EQ(frame.children.size(), 1u);
  const FrmProperty *border = frame.children[0].Find("BorderStyle");
  EXPECT_EQ(border->value, "1");
  EXPECT_EQ(border->comment, "実線");
  EXPECT_EQ(FrmNumber(frame.children[0].Find("_ExtentX")->value), 2646);
  EXPECT_EQ(doc->attribute_lines.size(), 2u);
  // The code stays as written: its blank line, and a procedure's attribute in its place.
  EXPECT_EQ(doc->code_lines.size(), 5u);
  // Written back and read again: the same tree.
  auto again = ParseFrm(WriteFrm(*doc), &problems);
  ASSERT_TRUE(again);
  EXPECT_EQ(WriteFrm(*again), WriteFrm(*doc));
  const std::string written = WriteFrm(*doc);
  EXPECT_EQ(written.substr(written.find("Attribute VB_Name")),
            std::string(kVb5).substr(std::string(kVb5).find("Attribute VB_Name")));
  EXPECT_EQ(again->form.children[0].children[0].Find("DbField")->value, "\"NAME\"");
}

TEST(FrmDocument, VisualBasic4And2Texts) {
  const char *vb4 =
      "VERSION 4.00\r\nBegin VB.Form F \r\n   Height = 100\r\n   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 "
      "\r\n"
      "      DDFDir          =   \"c:\\dict\"\r\n   End\r\nEnd\r\nAttribute VB_Name = \"F\"\r\n";
  auto doc4 = ParseFrm(vb4, nullptr);
  ASSERT_TRUE(doc4);
  EXPECT_EQ(doc4->version, "4.00");
  EXPECT_EQ(UnquoteFrmString(doc4->form.children[0].Find("DDFDir")->value), "c:\\dict");
  const char *vb2 =
      "VERSION 2.00\nBegin Form F\n   Begin Label Label1\n      Caption = \"x\"\n   End\n"
      "   Begin ZelkoEdit ZelkoEdit1\n      DbField = 3\n      DbTable = 0\n   End\nEnd\n";
  std::vector<std::string> problems;
  auto doc2 = ParseFrm(vb2, &problems);
  ASSERT_TRUE(doc2);
  EXPECT_EQ(doc2->version, "2.00");
  EXPECT_EQ(doc2->form.type, "Form");
  EXPECT_EQ(doc2->form.children[1].type, "ZelkoEdit");
  EXPECT_EQ(FrmNumber(doc2->form.children[1].Find("DbField")->value), 3);
  // Damaged texts are reported, never fatal.
  problems.clear();
  auto broken =
      ParseFrm("VERSION 5.00\nBegin VB.Form F\n   what is this\n   Begin VB.Label L\n", &problems);
  ASSERT_TRUE(broken);
  EXPECT_GE(problems.size(), 2u);
  EXPECT_FALSE(ParseFrm("no form at all", nullptr));
}

TEST(FrmDocument, ObjectsNestedBeyondAnyFormAreLeftOutNotFollowedDown) {
  // Far deeper than a stack can follow: the objects past the limit are left out with a
  // problem, and what follows them is still read.
  const int deep = 200000;
  std::string text = "VERSION 5.00\nBegin VB.Form F\n";
  for (int i = 0; i < deep; ++i)
    text += "Begin VB.Frame X\nCaption = \"" + std::to_string(i) + "\"\n";
  for (int i = 0; i < deep; ++i)
    text += "End\n";
  text += "Begin VB.Label After\nEnd\nEnd\nAttribute VB_Name = \"F\"\n";
  std::vector<std::string> problems;
  auto doc = ParseFrm(text, &problems);
  ASSERT_TRUE(doc);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("nested more than 64 deep"), std::string::npos);
  int levels = 0;
  const FrmObject *o = &doc->form;
  while (!o->children.empty() && o->children[0].name == "X") {
    o = &o->children[0];
    ++levels;
  }
  EXPECT_EQ(levels, 63);
  EXPECT_EQ(o->Text("Caption"), "62");
  ASSERT_EQ(doc->form.children.size(), 2u);
  EXPECT_EQ(doc->form.children[1].name, "After");
  EXPECT_EQ(doc->attribute_lines.size(), 1u);
}

// The fuzz target's deterministic corpus: forms made of form lines in any order and nesting.
TEST(FrmDocument, FuzzInputsReadSafelyAndWholeFormsWriteBackAsRead) {
  RunFrmFuzzInput(reinterpret_cast<const uint8_t *>(kVb5), std::strlen(kVb5));
  const std::string lines[] = {"VERSION 5.00\r\n",
                               "Begin VB.Form F\r\n",
                               "Begin VB.Frame X\n",
                               "End\r\n",
                               "BeginProperty Font\n",
                               "EndProperty\n",
                               "Caption = \"a \"\"'b\" ' c\n",
                               "Width = &H7FFFFFFFFFFFFFFFFF&\n",
                               "Attribute VB_Name = \"F\"\n",
                               "Private Sub X()\n",
                               "   \t\r\n"};
  std::mt19937 rng(1208);
  for (int i = 0; i < 300; ++i) {
    std::string input = lines[0] + lines[1];
    for (size_t n = rng() % 30; n > 0; --n)
      input += lines[rng() % std::size(lines)];
    RunFrmFuzzInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
  }
}

}  // namespace
}  // namespace zelkoform
