#include "frame/class_factory.h"

#include "controls/list_control.h"
#include "controls/zlkbtn.h"
#include "controls/zlkbtr.h"
#include "controls/zlkcheck.h"
#include "controls/zlkedit.h"
#include "controls/zlkgrid.h"
#include "controls/zlkoptbtn.h"
#include "controls/zlkpic.h"
#include "controls/zlkscroll.h"

namespace zelko {
namespace {

template <typename T>
std::unique_ptr<Control> Make() {
  return std::make_unique<T>();
}
std::unique_ptr<Control> MakeHScroll() {
  return std::make_unique<ZlkScroll>(false);
}
std::unique_ptr<Control> MakeVScroll() {
  return std::make_unique<ZlkScroll>(true);
}

struct Alias {
  const char *name;
  const char *class_name;
};
// Other names forms and programs use for the classes.
const Alias kAliases[] = {
    {"ZLKBtr.ZLKBtr.1", "ZLKBtr"}, {"ZLKBtr.ZLKBtr", "ZLKBtr"}, {"ZelkoDB", "ZLKBtr"},
    {"ZelkoEdit", "ZLKEdit"},      {"ZelkoBtn", "ZLKBtn"},      {"ZLKBTRLibCtl.ZLKBtr", "ZLKBtr"},
};

}  // namespace

const std::vector<ControlClass> &ControlClasses() {
  static const std::vector<ControlClass> classes = {
      {"ZLKBTRLibCtl.ZelkoDb", "ZLKBtr", kKindDataSource, &Make<ZlkBtr>},
      {"ZLKBTRLibCtl.ZLKEdit", "ZLKEdit", kKindEdit, &Make<ZlkEdit>},
      {"ZLKBTRLibCtl.ZLKBtn", "ZLKBtn", kKindButton, &Make<ZlkBtn>},
      {"ZLKBTRLibCtl.ZLKListBox", "ZLKListBox", kKindListBox, &Make<ZlkListBox>},
      {"ZLKBTRLibCtl.ZLKComboBox", "ZLKComboBox", kKindComboBox, &Make<ZlkComboBox>},
      {"ZLKBTRLibCtl.ZLKExListBox", "ZLKExListBox", kKindExListBox, &Make<ZlkExListBox>},
      {"ZLKBTRLibCtl.ZLKExComboBox", "ZLKExComboBox", kKindExComboBox, &Make<ZlkExComboBox>},
      {"ZLKBTRLibCtl.ZLKGrid", "ZLKGrid", kKindGrid, &Make<ZlkGrid>},
      {"ZLKBTRLibCtl.ZLKHScroll", "ZLKHScroll", kKindScrollBar, &MakeHScroll},
      {"ZLKBTRLibCtl.ZLKVScroll", "ZLKVScroll", kKindScrollBar, &MakeVScroll},
      {"ZLKBTRLibCtl.ZLKCheck", "ZLKCheck", kKindCheckBox, &Make<ZlkCheck>},
      {"ZLKBTRLibCtl.ZLKOptBtn", "ZLKOptBtn", kKindOptionButton, &Make<ZlkOptBtn>},
      {"ZLKBTRLibCtl.ZLKPic", "ZLKPic", kKindPicture, &Make<ZlkPic>},
  };
  return classes;
}

std::unique_ptr<Control> CreateControl(const std::string &name, HResult *error) {
  std::string class_name = name;
  for (const Alias &a : kAliases) {
    if (EqualNoCase(a.name, name)) class_name = a.class_name;
  }
  for (const ControlClass &c : ControlClasses()) {
    if (!EqualNoCase(c.type_name, class_name) && !EqualNoCase(c.class_name, class_name)) continue;
    if (c.create == nullptr) {
      if (error) *error = kClassNotAvailable;
      return nullptr;
    }
    if (error) *error = kOk;
    return c.create();
  }
  if (error) *error = kClassNotRegistered;
  return nullptr;
}

}  // namespace zelko
