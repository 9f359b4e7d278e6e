#include "generators.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>

#include "btrieve/btrapi.h"
#include "editor_messages.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"

namespace dictedit {

namespace {

// Appends a line formatted from a UTF-8 pattern (converted to the code page) with code-page
// arguments, and CR LF.
void Line(std::string *out, const char *format_utf8, ...) __attribute__((format(printf, 2, 3)));
void Line(std::string *out, const char *format_utf8, ...) {
  std::string format = zplatform::FromUtf8(format_utf8);
  va_list args;
  va_start(args, format_utf8);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format.c_str(), args);
  va_end(args);
  out->append(text);
  out->append("\r\n");
}

const char *CoveredName(const DdfTable &table, const DdfIndexSegment &s) {
  const DdfField *f = table.FieldById(s.field_id);
  return f ? f->name.c_str() : "";
}

struct Button {
  int left;
  const char *caption;
  int operation;
};
const Button kButtons[] = {
    {720, "新規", 0}, {1720, "修正", 1}, {2720, "削除", 2}, {3720, "先頭", 4}, {4720, "次", 6}};

// Written whole beside the file and then moved over it: a full disk must not leave a
// module or form cut short where the user's former one was. (In a directory the user may not
// write, the file is written over in place.)
bool WriteFile(const std::string &path, const std::string &bytes) {
  return zplatform::ReplaceFileContent(zplatform::NativePathOrSelf(path), bytes).ok;
}

int FieldPositionOf(const DdfTable &table, const std::string &name) {
  for (int i = 0; i < table.field_count(); ++i) {
    if (table.fields[i]->name == name) return i;
  }
  return -1;
}

}  // namespace

std::string ConstantsModuleText(const DdfDictionary &dict, int id_format) {
  std::string out;
  if (id_format == 1) {
    Line(&out, "Attribute VB_Name = \"ZelkoSymbol\"");
    Line(&out, "Option Explicit");
    for (const auto &t : dict.tables) {
      const char *n = t->name.c_str();
      Line(&out, "'ﾃｰﾌﾞﾙ ｼﾝﾎﾞﾙ for %s", n);
      Line(&out, "Global Const TID_%s = \"%s\"", n, n);
      Line(&out, "'ﾌｨｰﾙﾄﾞ ｼﾝﾎﾞﾙ");
      for (const auto &f : t->fields)
        Line(&out, "Global Const FID_%s = \"%s\"", f->name.c_str(), f->name.c_str());
      Line(&out, "'ｲﾝﾃﾞｯｸｽ ｼﾝﾎﾞﾙ");
      for (const auto &s : t->segments) {
        Line(&out, "Global Const KID_%s = \"%s\"", CoveredName(*t, *s), CoveredName(*t, *s));
      }
      if (!t->named_indexes.empty()) {
        Line(&out, "'ｲﾝﾃﾞｯｸｽ名ｼﾝﾎﾞﾙ");
        for (const auto &x : t->named_indexes) {
          Line(&out, "Global Const KID_%s = \"%s\"", x->name.c_str(), x->name.c_str());
        }
      }
    }
    return out;
  }
  for (const auto &t : dict.tables) {
    Line(&out, "'ﾃｰﾌﾞﾙID for %s", t->name.c_str());
    Line(&out, "Global Const TID_%s = %d", t->name.c_str(), t->file_id - 4);
    Line(&out, "'ﾌｨｰﾙﾄﾞID");
    for (int i = 0; i < t->field_count(); ++i)
      Line(&out, "Global Const FID_%s = %d", t->fields[i]->name.c_str(), i);
    Line(&out, "'ｲﾝﾃﾞｯｸｽ ID");
    for (int i = 0; i < t->segment_count(); ++i) {
      Line(&out, "Global Const KID_%s = %d", CoveredName(*t, *t->segments[i]), i);
    }
  }
  return out;
}

int WriteConstantsModule(DdfDictionary &dict, const std::string &path) {
  struct stat st {};
  if (::stat(zplatform::NativePathOrSelf(path).c_str(), &st) == 0 &&
      !ShowMessage(dict.Ui(), true, msg::kVE1042, path.c_str()))
    return -1;
  if (!WriteFile(path, ConstantsModuleText(dict, dict.options.id_format))) {
    ShowText(dict.Ui(), false, msg::kVE1043);
    return -1;
  }
  ShowNotice(dict.Ui(), "%s",
             zplatform::FromUtf8(zplatform::LocalizedFormat(msg::kVE1044)).c_str());
  return 0;
}

int EditMaxLength(const DdfField &f) {
  switch (f.data_type) {
    case B_TYPE_STRING:
      return f.size;
    case B_TYPE_DECIMAL:
      return 2 * f.size - 1 + (f.decimals != 0 ? 1 : 0);
    case B_TYPE_MONEY:
      return 10;
    case B_TYPE_NUMERIC:
      return 2 * f.size + (f.decimals != 0 ? 1 : 0);
    case B_TYPE_LSTRING:
    case B_TYPE_ZSTRING:
      return f.size - 1;
    default:
      return 0;
  }
}

std::string FormText(const DdfDictionary &dict, const DdfTable &table,
                     const std::vector<std::string> &chosen, const std::string &form_name,
                     int version) {
  std::string out;
  int count = static_cast<int>(chosen.size());
  int height = 370 * count + 1400;
  const char *form = form_name.c_str();
  const char *tname = table.name.c_str();
  bool modern = version == 4 || version == 5;
  if (version == 5) {
    Line(&out, "VERSION 5.00");
    Line(&out, "Object = \"{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0\"; \"ZELKOCTL.OCX\"");
  } else if (version == 4) {
    Line(&out, "VERSION 4.00");
  } else {
    Line(&out, "VERSION 2.00");
  }
  Line(&out, modern ? "Begin VB.Form %s" : "Begin Form %s", form);
  Line(&out, "   Caption         =   \"ZelkoForm1\"");
  Line(&out, "   Height          =   %d", height);
  Line(&out, "   Left            =   1485");
  Line(&out, "   LinkTopic       =   \"ZelkoForm1\"");
  Line(&out, "   ScaleHeight     =   2475");
  Line(&out, "   ScaleWidth      =   5070");
  Line(&out, "   Top             =   1290");
  Line(&out, "   Width           =   6000");
  int top = 100;
  for (int i = 1; i <= count; ++i) {
    int position = FieldPositionOf(table, chosen[i - 1]);
    if (position < 0) continue;
    const DdfField &f = *table.fields[position];
    Line(&out, modern ? "   Begin VB.Label Label%d " : "   Begin Label Label%d ", i);
    Line(&out, "      Caption         =   \"%s\"", f.name.c_str());
    Line(&out, "      Height          =   375");
    Line(&out, "      Left            =   %d", 500);
    Line(&out, "      TabIndex        =   0");
    Line(&out, "      Top             =   %d", top);
    Line(&out, "      Width           =   2010");
    Line(&out, "   End");
    if (modern) {
      Line(&out, "   Begin ZLKBTRLibCtl.ZLKEdit ZelkoEdit%d ", i);
      Line(&out, "      BorderStyle     =   1  '実線");
      Line(&out, "      Height          =   390");
      Line(&out, "      Left            =   %d", 2600);
      Line(&out, "      TabIndex        =   %d", i);
      Line(&out, "      Top             =   %d", top);
      Line(&out, "      Width           =   2640");
      Line(&out, "      _Version        =   65536");
      Line(&out, "      _ExtentX        =   2646");
      Line(&out, "      _ExtentY        =   688");
      Line(&out, "      _StockProps     =   253");
      Line(&out, "      Text            =   \"\"");
      Line(&out, "      BackColor       = 16777215");
      Line(&out, "      BorderStyle     =   1");
      Line(&out, "      Appearance      =   1");
      Line(&out, "      DbSource        =   \"Zelko1\"");
      Line(&out, "      DbTable         =   \"%s\"", tname);
      Line(&out, "      DbField         =   \"%s\"", f.name.c_str());
      Line(&out, "      MaxLength       =   %d", EditMaxLength(f));
      Line(&out, "      Format          =   \"\"");
      Line(&out, "      PasswordChar    =   \"\"");
      Line(&out, "      MultiLine       =   0   'False");
      Line(&out, "      Alignment       =   0");
      Line(&out, "      ReadOnly        =   0   'False");
      Line(&out, "      UpperCase       =   0   'False");
      Line(&out, "      IMEMode         =   0");
      Line(&out, "   End");
    } else {
      Line(&out, "   Begin ZelkoEdit ZelkoEdit%d ", i);
      Line(&out, "      BorderStyle     =   1  '実線");
      Line(&out, "      DbField         =   %d", position);
      Line(&out, "      DbTable         =   %d", table.file_id - 4);
      Line(&out, "      Format          =   \"\"");
      Line(&out, "      Height          =   375");
      Line(&out, "      Left            =   %d", 2600);
      Line(&out, "      MaxLength       =   %d", EditMaxLength(f));
      Line(&out, "      PasswordChar    =   \"\"");
      Line(&out, "      TabIndex        =   %d", i);
      Line(&out, "      Text            =   \"ZelkoEdit%d\"", i);
      Line(&out, "      Top             =   %d", top);
      Line(&out, "      Width           =   2640");
      Line(&out, "   End");
    }
    top += 400;
  }
  top += 100;
  std::string index =
      table.segments.empty() ? std::string() : CoveredName(table, *table.segments[0]);
  for (int b = 1; b <= 5; ++b) {
    const Button &button = kButtons[b - 1];
    std::string caption = zplatform::FromUtf8(button.caption);
    if (modern) {
      Line(&out, "  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn%d ", b);
      Line(&out, "      Height          =   375");
      Line(&out, "      Left            =   %d", button.left);
      Line(&out, "      TabIndex        =   %d", count + b);
      Line(&out, "      Top             =   %d", top);
      Line(&out, "      Width           =   820");
      Line(&out, "      _Version        =   65536");
      Line(&out, "      _ExtentX        =   1500");
      Line(&out, "      _ExtentY        =   741");
      Line(&out, "      _StockProps     =   134");
      Line(&out, "      Caption         =   \"%s\"", caption.c_str());
      Line(&out, "      DbSource        =   \"Zelko1\"");
      Line(&out, "      DbTable         =   \"%s\"", tname);
      Line(&out, "      DbOperation     =   %d", button.operation);
      Line(&out, "      DbLocks         =   0");
      Line(&out, "      ClearControlData=   -1  'True");
      Line(&out, "      ConfirmMsg      =   \"\"");
      Line(&out, "      DbIndex         =   \"%s\"", index.c_str());
      Line(&out, "   End");
    } else {
      Line(&out, "  Begin ZelkoBtn ZelkoBtn%d ", b);
      Line(&out, "      Caption         =   \"%s\"", caption.c_str());
      Line(&out, "      ConfirmMsg      =   \"\"");
      Line(&out, "      DbIndex         =   0");
      Line(&out, "      DbLocks         =   0  ' 0 - ﾛｯｸなし");
      Line(&out, "      DbOperation     =   %d", button.operation);
      Line(&out, "      DbTable         =   %d", table.file_id - 4);
      Line(&out, "      Default         =   0   'False");
      Line(&out, "      Height          =   375");
      Line(&out, "      Left            =   %d", button.left);
      Line(&out, "      TabIndex        =   %d", count + b);
      Line(&out, "      Top             =   %d", top);
      Line(&out, "      Width           =   890");
      Line(&out, "   End");
    }
  }
  if (modern) {
    Line(&out, "   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 ");
    Line(&out, "      Height          =   480");
    Line(&out, "      Left            =   10");
    Line(&out, "      Top             =   10");
    Line(&out, "      Width           =   480");
    Line(&out, "      _StockProps     =   0");
    Line(&out, "      DDFDir          =   \"%s\"", dict.ddf_directory.c_str());
    Line(&out, "      OwnerName       =   \"\"");
    Line(&out, "      OpenMode        =   0");
    Line(&out, "      AllOpen         =   0");
    Line(&out, "   End");
    Line(&out, "End");
    Line(&out, "Attribute VB_Name = \"%s\"", form);
    Line(&out, "Attribute VB_Creatable = False");
    Line(&out, "Attribute VB_Exposed = False");
  } else {
    Line(&out, "   Begin ZelkoDB Zelko1 ");
    Line(&out, "      Height          =   480");
    Line(&out, "      Left            =   10");
    Line(&out, "      Top             =   10");
    Line(&out, "      Width           =   480");
    Line(&out, "   End");
    Line(&out, "End");
  }
  return out;
}

int CreateForm(DdfDictionary &dict, const DdfTable &table, const std::vector<std::string> &chosen,
               const std::string &path, const std::string &form_name) {
  if (table.fields.empty()) {
    ShowText(dict.Ui(), false, msg::kVE1049);
    return -1;
  }
  int version = dict.options.form_version;
  if ((version == 4 || version == 5) && chosen.size() > 129) {
    ShowText(dict.Ui(), false, msg::kVE1078);
    return -1;
  }
  if (!WriteFile(path, FormText(dict, table, chosen, form_name, version))) {
    ShowMessage(dict.Ui(), false, msg::kVE1046, path.c_str());
    return -1;
  }
  return 0;
}

}  // namespace dictedit
