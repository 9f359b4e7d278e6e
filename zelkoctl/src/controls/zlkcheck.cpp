#include "controls/zlkcheck.h"

#include <QCheckBox>

#include "frame/class_table.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

// A check box that changes its state only when the control says so: a click is reported
// and the control decides.
class ManualCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {}
};

}  // namespace

const ClassInfo &ZlkCheck::Info() {
  static const ClassInfo info = [] {
    ClassInfo c{"ZLKBTRLibCtl.ZLKCheck", "ZLKCheck", kKindCheckBox, {}, {}, {}};
    c.properties = Properties(true);
    c.events = {{"Click", -600, {}}};
    return c;
  }();
  return info;
}

ZlkCheck::ZlkCheck() = default;
ZlkCheck::~ZlkCheck() {
  DestroyWindow();
}

QWidget *ZlkCheck::MakeWidget(QWidget *parent) {
  auto *box = new ManualCheckBox(parent);
  box->setTristate(true);
  QObject::connect(box, &QCheckBox::clicked, [this] { OnClick(); });
  return box;
}

void ZlkCheck::ShowValue() {
  auto *box = static_cast<QCheckBox *>(Window());
  if (box == nullptr) return;
  box->setCheckState(value_ == 1   ? Qt::Checked
                     : value_ == 2 ? Qt::PartiallyChecked
                                   : Qt::Unchecked);
}

HResult ZlkCheck::PutValue(const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  if (*n < 0 || *n > 2) return kInvalidPropertyValue;
  value_ = *n;
  given_.Forget();
  ShowValue();
  return kOk;
}

void ZlkCheck::OnClick() {
  // Checked becomes unchecked; unchecked and grayed become checked. The state is Value.
  value_ = value_ == 1 ? 0 : 1;
  given_.Forget();
  ShowValue();
  std::vector<Variant> none;
  FireEvent("Click", none);
}

void ZlkCheck::ShowFieldText(const std::string &text) {
  bool known = true;
  if (text == zplatform::FromUtf8(value_true_)) {
    value_ = 1;
  } else if (text == zplatform::FromUtf8(value_false_)) {
    value_ = 0;
  } else if (text == zplatform::FromUtf8(value_indeterminate_)) {
    value_ = 2;
  } else {
    known = false;  // none of the values: the box keeps its state
  }
  if (known) ShowValue();
  given_.Remember(text, StateText());
}

std::string ZlkCheck::StateText() const {
  return zplatform::FromUtf8(value_ == 1   ? value_true_
                             : value_ == 2 ? value_indeterminate_
                                           : value_false_);
}

bool ZlkCheck::ReadFieldText(std::string *text) {
  if (value_ < 0 || value_ > 2) return false;
  *text = given_.Resolve(*this, StateText());
  return true;
}

void ZlkCheck::ClearFieldText() {
  given_.Forget();
  value_ = 0;
  ShowValue();
}

}  // namespace zelko
