// Visual Basic form files (.frm, VERSION 5.00, 4.00 and 2.00): the text read into a tree of
// objects with their property lines, and written back. Texts are UTF-8 here; the file is
// code page 932 with CR LF line ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelkoform {

struct FrmProperty {
  std::string name;
  std::string value;    // the text after "=", trimmed, without its comment
  std::string comment;  // the text after "'", if any
  std::string raw;      // the line as read, written back as it was; cleared by a change
};

struct FrmBlock {      // BeginProperty Font ... EndProperty
  std::string header;  // the rest of the BeginProperty line
  std::vector<FrmProperty> properties;
  std::vector<std::string> raw;  // every line from BeginProperty to EndProperty, as read
};

struct FrmObject {
  std::string type;  // "VB.Form", "ZLKBTRLibCtl.ZLKEdit", "Label" ...
  std::string name;
  std::vector<FrmProperty> properties;
  std::vector<FrmBlock> blocks;
  std::vector<FrmObject> children;
  // As read: the Begin and End lines, and the order of properties ('P'), blocks ('B') and
  // children ('C'), so a form written back unchanged is the same text.
  std::string raw_begin, raw_end;
  std::string order;

  const FrmProperty *Find(const std::string &name) const;
  // A property as a number (True -1, False 0, &H...& colours), or `fallback`.
  long long Number(const std::string &name, long long fallback) const;
  // A property as text (a quoted string unquoted); empty when absent.
  std::string Text(const std::string &name) const;
};

struct FrmDocument {
  std::string version;                    // "5.00", "4.00", "2.00"
  std::vector<std::string> object_lines;  // "Object = ..." lines, as written
  FrmObject form;
  std::vector<std::string> attribute_lines;  // "Attribute VB_Name = ..."
  std::vector<std::string> code_lines;       // the code after the form
};

// Reads form text (UTF-8). Problems (unknown lines, unbalanced blocks) go to `problems`; the
// result is empty only when no form is found.
std::optional<FrmDocument> ParseFrm(const std::string &text, std::vector<std::string> *problems);
// Reads a form file (code page 932 bytes).
std::optional<FrmDocument> ReadFrmFile(const std::string &path, std::vector<std::string> *problems);

std::string WriteFrm(const FrmDocument &document);
// The bytes of a form file (code page 932) for the document.
std::string FrmFileBytes(const FrmDocument &document);
bool WriteFrmFile(const std::string &path, const FrmDocument &document);
// The first character of `utf8` (a form's text) that a form file cannot keep, as code page
// 932 lacks it and it would be written as "?"; empty when there is none. U+FFFD, which
// stands for bytes read that were no characters, is not counted: it goes back as read.
std::string CharacterAFormCannotKeep(const std::string &utf8);

// Property values: a quoted string ("" inside for a quote), a number, &H...& colours.
std::optional<std::string> UnquoteFrmString(const std::string &value);
std::string QuoteFrmString(const std::string &text);
std::optional<long long> FrmNumber(const std::string &value);

}  // namespace zelkoform
