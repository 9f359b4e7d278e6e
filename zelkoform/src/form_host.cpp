#include "form_host.h"

#include <QPushButton>
#include <QShortcut>
#include <QVariant>
#include <QWidget>

#include "frame/class_factory.h"
#include "zplatform/vb_format.h"

namespace zelkoform {

using zelko::Control;
using zelko::Variant;

namespace {

// Extender properties the host itself handles (not the control's own).
bool ExtenderProperty(const std::string &name) {
  static const char *const kNames[] = {"Left",     "Top",         "Width",          "Height",
                                       "TabIndex", "TabStop",     "Visible",        "Enabled",
                                       "Index",    "Tag",         "_Version",       "_ExtentX",
                                       "_ExtentY", "_StockProps", "ToolTipText",    "HelpContextID",
                                       "DragIcon", "DragMode",    "WhatsThisHelpID"};
  for (const char *n : kNames) {
    if (zelko::EqualNoCase(n, name)) return true;
  }
  return false;
}

void Place(QWidget *w, const FrmObject &o) {
  w->setGeometry(FormHost::Pixels(o.Number("Left", 0)), FormHost::Pixels(o.Number("Top", 0)),
                 std::max(1, FormHost::Pixels(o.Number("Width", 480))),
                 std::max(1, FormHost::Pixels(o.Number("Height", 480))));
}

}  // namespace

Variant FrmValue(const std::string &value) {
  if (auto s = UnquoteFrmString(value)) return Variant::String(*s);
  if (auto n = FrmNumber(value)) {
    if (*n >= INT32_MIN && *n <= INT32_MAX) return Variant::I4(static_cast<int32_t>(*n));
    return Variant::R8(static_cast<double>(*n));
  }
  if (zelko::EqualNoCase(value, "True")) return Variant::Bool(true);
  if (zelko::EqualNoCase(value, "False")) return Variant::Bool(false);
  return Variant::String(value);
}

std::string FrmText(const Variant &value) {
  if (value.Type() == zplatform::kVtBstr) return QuoteFrmString(value.AsString().value_or(""));
  if (value.Type() == zplatform::kVtBool) return value.AsInteger().value_or(0) ? "-1" : "0";
  return value.AsString().value_or("");
}

class FormHost::Site : public zelko::ControlSite {
 public:
  Site(FormHost *host, std::string name, QWidget *container)
      : host_(host), name_(std::move(name)), container_(container) {}
  std::string AmbientDisplayName() const override { return name_; }
  bool UserMode() const override { return !host_->design_; }
  QWidget *ContainerWindow() const override { return container_; }
  int ParentName(std::string *name) const override {
    *name = host_->form_name_;
    return 0;
  }
  std::string FormatText(const std::string &text, const std::string &mask) const override {
    return zplatform::VbFormat(text, mask);
  }
  int ParentHandle(int32_t *hwnd) const override {
    *hwnd = static_cast<int32_t>(reinterpret_cast<intptr_t>(host_->form_));
    return 0;
  }

 private:
  FormHost *host_;
  std::string name_;
  QWidget *container_;
};

FormHost::FormHost() = default;

FormHost::~FormHost() {
  Unload();
  delete form_;
}

void FormHost::Unload() {
  // Controls go before the window that holds theirs.
  for (auto &item : items_) {
    if (item->control) item->control->DestroyWindow();
  }
  items_.clear();
  if (form_ != nullptr) form_->hide();
  unloaded_ = true;
}

void FormHost::Reload(const FrmDocument &document) {
  QPoint at = form_ != nullptr ? form_->pos() : QPoint();
  bool shown = form_ != nullptr && form_->isVisible();
  for (auto &item : items_) {
    if (item->control) item->control->DestroyWindow();
  }
  items_.clear();
  delete form_;
  form_ = nullptr;
  Load(document, design_, nullptr);
  unloaded_ = false;
  form_->move(at);
  if (shown) form_->show();
}

FrmObject *FormHost::Object(const std::string &name) {
  std::function<FrmObject *(FrmObject &)> find = [&](FrmObject &o) -> FrmObject * {
    if (zelko::EqualNoCase(o.name, name)) return &o;
    for (FrmObject &child : o.children) {
      if (FrmObject *found = find(child)) return found;
    }
    return nullptr;
  };
  return find(document_.form);
}

bool FormHost::SetGeometry(const std::string &name, long long left, long long top, long long width,
                           long long height) {
  FrmObject *o = Object(name);
  QWidget *w = FindWidget(name);
  if (o == nullptr || w == nullptr || w == form_ || width <= 0 || height <= 0) return false;
  for (const auto &[key, value] : {std::pair<const char *, long long>{"Left", left},
                                   {"Top", top},
                                   {"Width", width},
                                   {"Height", height}}) {
    bool found = false;
    for (FrmProperty &p : o->properties) {
      if (!zelko::EqualNoCase(p.name, key)) continue;
      found = true;
      if (FrmNumber(p.value) != value) {
        p.value = std::to_string(value);
        p.comment.clear();
        p.raw.clear();
      }
    }
    if (!found) o->properties.push_back({key, std::to_string(value), "", ""});
  }
  Place(w, *o);
  return true;
}

std::string FormHost::ItemAt(QWidget *widget) const {
  for (QWidget *w = widget; w != nullptr && w != form_; w = w->parentWidget()) {
    for (const auto &i : items_) {
      if (i->widget == w) return i->name;
    }
  }
  return std::string();
}

bool FormHost::Load(const FrmDocument &document, bool design_mode,
                    std::vector<std::string> *problems) {
  design_ = design_mode;
  document_ = document;
  const FrmObject &f = document_.form;
  form_name_ = f.name;
  form_ = new QWidget();
  form_->setProperty(zelko::kWindowClassProperty, "ThunderRT6FormDC");
  form_->setObjectName(QString::fromStdString(f.name));
  form_->setWindowTitle(QString::fromStdString(f.Text("Caption")));
  form_->resize(std::max(100, Pixels(f.Number("Width", 6000))),
                std::max(100, Pixels(f.Number("Height", 4000))));
  for (const FrmObject &child : f.children)
    Build(child, form_, problems);
  return true;
}

void FormHost::Build(const FrmObject &o, QWidget *container, std::vector<std::string> *problems) {
  auto item = std::make_unique<Item>();
  item->name = o.name;
  item->type = o.type;
  item->source = &o;
  std::string name = o.name;
  item->standard =
      StandardControl::Create(o, container, !design_, [this, name](const std::string &event) {
        std::vector<Variant> no_args;
        if (observer_) observer_(name, event, no_args);
      });
  if (item->standard) {
    item->widget = item->standard->Widget();
    QWidget *inner = item->standard->ChildContainer();
    items_.push_back(std::move(item));
    for (const FrmObject &child : o.children)
      Build(child, inner != nullptr ? inner : container, problems);
    return;
  } else {
    zelko::HResult error = zelko::kOk;
    item->control = zelko::CreateControl(o.type, &error);
    if (!item->control) {
      if (problems) {
        problems->push_back(o.name + ": " + o.type +
                            (error == zelko::kClassNotAvailable
                                 ? " is not available in this build; skipped"
                                 : " is not a known control; skipped"));
      }
      return;
    }
    item->site = std::make_unique<Site>(this, name, container);
    Control *control = item->control.get();
    control->SetEventHandler([this, name](const std::string &event, std::vector<Variant> &args) {
      if (observer_) observer_(name, event, args);
    });
    control->SetSite(item->site.get());
    zelko::PropertyBag bag;
    for (const FrmProperty &p : o.properties) {
      if (!ExtenderProperty(p.name)) bag.Write(p.name, FrmValue(p.value));
    }
    std::vector<std::string> unknown;
    zelko::LoadProperties(*control, bag, &unknown);
    for (const std::string &u : unknown) {
      if (problems)
        problems->push_back(o.name + ": property " + u + " is unknown to " + o.type + "; skipped");
    }
    zelko::PropertyBag loaded;
    zelko::SaveProperties(*control, &loaded);
    for (const auto &value : loaded.Items())
      item->loaded[value.name] = FrmText(value.value);
    item->widget = control->CreateWindow(container);
    if (item->widget != nullptr) Place(item->widget, o);
  }
  if (item->widget != nullptr) item->widget->setObjectName(QString::fromStdString(o.name));
  items_.push_back(std::move(item));
}

Control *FormHost::FindControl(const std::string &name) const {
  for (const auto &i : items_) {
    if (zelko::EqualNoCase(i->name, name) && i->control) return i->control.get();
  }
  return nullptr;
}

StandardControl *FormHost::FindStandard(const std::string &name) const {
  for (const auto &i : items_) {
    if (zelko::EqualNoCase(i->name, name) && i->standard) return i->standard.get();
  }
  return nullptr;
}

void FormHost::EnableCloseKeys() {
  auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), form_);
  QObject::connect(quit, &QShortcut::activated, form_, &QWidget::close);
  QPushButton *cancel = nullptr;
  for (const auto &i : items_) {
    auto *button = qobject_cast<QPushButton *>(i->widget);
    if (button != nullptr && button->property("vbCancel").toBool()) cancel = button;
  }
  auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), form_);
  if (cancel != nullptr) {
    QObject::connect(escape, &QShortcut::activated, cancel, &QPushButton::click);
  } else {
    QObject::connect(escape, &QShortcut::activated, form_, &QWidget::close);
  }
}

QWidget *FormHost::FindWidget(const std::string &name) const {
  if (zelko::EqualNoCase(name, form_name_)) return form_;
  for (const auto &i : items_) {
    if (zelko::EqualNoCase(i->name, name)) return i->widget;
  }
  return nullptr;
}

std::vector<std::string> FormHost::ItemNames() const {
  std::vector<std::string> names;
  for (const auto &i : items_)
    names.push_back(i->name);
  return names;
}

namespace {

// The value a property line stands for, as the writer writes it.
std::string Normalized(const std::string &text) {
  return FrmText(FrmValue(text));
}

// Writes the persisted values that changed since the form was loaded into the control's
// object: a line whose value is the same stays as it was (its spelling and comment too), a
// changed one takes the new value, and a property the file did not have is added unless it
// is the class's default, so a form read and saved unchanged is the same file.
void Update(FrmObject &o, const zelko::ClassInfo &info, const zelko::PropertyBag &bag,
            const std::map<std::string, std::string> &loaded) {
  for (const auto &item : bag.Items()) {
    std::string text = FrmText(item.value);
    auto before = loaded.find(item.name);
    if (before != loaded.end() && before->second == text) continue;
    bool found = false;
    for (FrmProperty &p : o.properties) {
      if (!zelko::EqualNoCase(p.name, item.name)) continue;
      found = true;
      if (Normalized(p.value) != text) {
        p.value = text;
        p.comment.clear();
        p.raw.clear();
      }
    }
    if (found) continue;
    bool in_block = std::any_of(o.blocks.begin(), o.blocks.end(), [&](const FrmBlock &b) {
      return zelko::EqualNoCase(b.header.substr(0, item.name.size()), item.name);
    });
    if (in_block) continue;
    const zelko::PropertyInfo *property = info.Property(item.name);
    std::string fallback;
    if (property != nullptr && property->default_value != nullptr) {
      fallback = property->kind == zelko::PropKind::kString
                     ? QuoteFrmString(property->default_value)
                     : Normalized(property->default_value);
    } else {
      fallback = QuoteFrmString("");
    }
    if (text != fallback) o.properties.push_back({item.name, text, "", ""});
  }
}

}  // namespace

FrmDocument FormHost::Save() const {
  FrmDocument doc = document_;
  std::function<void(FrmObject &)> walk = [&](FrmObject &o) {
    for (const auto &item : items_) {
      if (item->control == nullptr || !zelko::EqualNoCase(item->name, o.name)) continue;
      zelko::PropertyBag bag;
      zelko::SaveProperties(*item->control, &bag);
      Update(o, item->control->Class(), bag, item->loaded);
    }
    for (FrmObject &child : o.children)
      walk(child);
  };
  walk(doc.form);
  return doc;
}

}  // namespace zelkoform
