#include "editor_commands.h"

#include <algorithm>

#include "dbmagic_import.h"
#include "editor_messages.h"
#include "generators.h"
#include "text_transfer.h"
#include "zplatform/codepage.h"

namespace dictedit {

namespace {

const char kTextFilter[] = "txtﾌｧｲﾙ(*.txt)|*.txt|すべてのﾌｧｲﾙ(*.*)|*.*||";

DdfTable *CurrentOrRefuse(DdfDictionary &dict) {
  DdfTable *t = dict.CurrentTable();
  if (t == nullptr) ShowText(dict.Ui(), false, msg::kVE1009);
  return t;
}

bool AskFile(DdfDictionary &dict, bool save, const char *title_utf8, const char *filter_utf8,
             const char *proposed, std::string *path) {
  *path = proposed;
  return dict.Ui().ChooseFile(save, zplatform::FromUtf8(title_utf8),
                              zplatform::FromUtf8(filter_utf8), path);
}

}  // namespace

int ExportTableCommand(DdfDictionary &dict) {
  DdfTable *t = CurrentOrRefuse(dict);
  std::string path;
  if (t == nullptr || !AskFile(dict, true, "搬出ﾌｧｲﾙの指定", kTextFilter, "export.txt", &path))
    return -1;
  return ExportTableText(dict, *t, path) ? 0 : -1;
}

int ImportTableCommand(DdfDictionary &dict) {
  std::string path;
  if (CurrentOrRefuse(dict) == nullptr ||
      !AskFile(dict, false, "搬入ﾌｧｲﾙの指定", kTextFilter, "import.txt", &path)) {
    return -1;
  }
  return ImportTableText(dict, path) != nullptr ? 0 : -1;
}

int FieldIdListCommand(DdfDictionary &dict) {
  std::string path;
  if (CurrentOrRefuse(dict) == nullptr ||
      !AskFile(dict, true, "", "Basicﾌｧｲﾙ(*.bas)|*.bas|すべてのﾌｧｲﾙ(*.*)|*.*||", "fieldid.bas",
               &path)) {
    return -1;
  }
  return WriteConstantsModule(dict, path);
}

int CreateFormCommand(DdfDictionary &dict) {
  DdfTable *t = CurrentOrRefuse(dict);
  if (t == nullptr) return -1;
  if (t->fields.empty()) {
    ShowText(dict.Ui(), false, msg::kVE1049);
    return -1;
  }
  std::vector<std::string> names;
  for (const auto &f : t->fields)
    names.push_back(f->name);
  std::sort(names.begin(), names.end());
  std::vector<int> picked;
  if (!dict.Ui().ChooseSeveral(zplatform::FromUtf8("ﾌｫｰﾑ生成 / ﾌｨｰﾙﾄﾞ選択"), names, &picked) ||
      picked.empty()) {
    return -1;
  }
  std::vector<std::string> chosen;
  for (int i : picked)
    chosen.push_back(names[i]);
  std::string path;
  if (!AskFile(dict, true, "", "Formﾌｧｲﾙ(*.frm)|*.frm|すべてのﾌｧｲﾙ(*.*)|*.*||", "Form1.frm", &path))
    return -1;
  std::string form_name = "ZelkoForm1";
  if (!dict.Ui().AskText(zplatform::FromUtf8("生成するﾌｫｰﾑ名の設定"), &form_name)) return -1;
  return CreateForm(dict, *t, chosen, path, form_name);
}

int DbMagicImportCommand(DdfDictionary &dict) {
  std::string path;
  if (CurrentOrRefuse(dict) == nullptr ||
      !AskFile(dict, false, "dbMagic情報ﾌｧｲﾙの指定", kTextFilter, "magic.txt", &path)) {
    return -1;
  }
  return ImportDbMagic(dict, path);
}

}  // namespace dictedit
