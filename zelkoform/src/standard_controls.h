// The standard controls of Visual Basic forms (VB.Label, VB.TextBox, VB.CommandButton ...)
// on Qt widgets, with their common properties, the events a user's action fires and the
// list methods, so that forms made with them show and macros reach them.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frm_document.h"
#include "zplatform/variant.h"

class QWidget;
class QTimer;

namespace zelkoform {

class TypedLengthLimit;  // a TextBox's MaxLength

class StandardControl {
 public:
  // Events ("Click", "Change", "Timer") as the user's actions fire them in run mode.
  using EventSink = std::function<void(const std::string &event)>;

  // The control for `object` when its type is a standard one ("VB.TextBox", or "TextBox" of
  // VB 2 and 4 forms); null otherwise. Its widget (none for a Timer) lies in `container`.
  static std::unique_ptr<StandardControl> Create(const FrmObject &object, QWidget *container,
                                                 bool run_mode, EventSink events);
  // The standard types, by their VB 5 names.
  static std::vector<std::string> Types();
  ~StandardControl();

  QWidget *Widget() const { return widget_; }
  // Where the control's own children go (Frame, PictureBox), or null.
  QWidget *ChildContainer() const { return container_for_children_; }
  const std::string &Type() const { return type_; }

  // A property by name (any letter case); false when the control has none by that name.
  bool Get(const std::string &name, zplatform::Variant *value) const;
  enum class SetResult { kDone, kUnknown, kBadValue, kReadOnly };
  SetResult Set(const std::string &name, const zplatform::Variant &value);
  // AddItem, RemoveItem and Clear of the list controls; false with a reason otherwise.
  bool Call(const std::string &method, const std::vector<zplatform::Variant> &args,
            std::string *error);
  // The names Get answers, for messages and listings.
  std::vector<std::string> PropertyNames() const;

 private:
  enum class Kind {
    kLabel,
    kFrame,
    kTextBox,
    kCommandButton,
    kCheckBox,
    kOptionButton,
    kComboBox,
    kListBox,
    kPictureBox,
    kImage,
    kShape,
    kLine,
    kTimer
  };
  StandardControl(Kind kind, std::string type, std::string name, bool run_mode);
  void Build(const FrmObject &object, QWidget *container);
  void ApplyColors();
  void Fire(const char *event) const;
  void PlaceLine();

  Kind kind_;
  std::string type_, name_;
  bool run_mode_;
  EventSink events_;
  QWidget *widget_ = nullptr;
  QWidget *container_for_children_ = nullptr;
  QTimer *timer_ = nullptr;
  // Values the widgets do not keep.
  std::string tag_;
  bool visible_ = true;
  long long back_color_ = -1, fore_color_ = -1, border_color_ = 0, fill_color_ = 0;
  int shape_ = 0, border_width_ = 1, fill_style_ = 1, back_style_ = 0, style_ = 0;
  QPointer<TypedLengthLimit> max_length_;  // a TextBox's
  long long x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  long long timer_left_ = 0, timer_top_ = 0;
  int interval_ = 0;
  bool timer_enabled_ = true;
};

}  // namespace zelkoform
