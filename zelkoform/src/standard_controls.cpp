#include "standard_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cstdlib>

#include "frame/class_info.h"
#include "frame/control.h"
#include "frame/stock_look.h"

namespace zelkoform {

using zplatform::Variant;

// MaxLength as Visual Basic has it: it holds back what the user types or pastes, while a
// text the program sets stays whole (Qt's own limit cut it, and a program that stored the
// box's text back stored it cut). `limit` 0: none.
class TypedLengthLimit : public QValidator {
 public:
  explicit TypedLengthLimit(QLineEdit *edit);
  State validate(QString &input, int &) const override;
  // A text the program is about to set (QLineEdit checks it before it says it changed).
  void Showing(const QString &text) { shown_ = text.size(); }
  int limit = 0;

 private:
  // The text the edit last showed: while a change is checked, its text() is the changed one.
  qsizetype shown_ = 0;
};

TypedLengthLimit::TypedLengthLimit(QLineEdit *edit)
    : QValidator(edit), shown_(edit->text().size()) {
  connect(edit, &QLineEdit::textChanged, this,
          [this](const QString &text) { shown_ = text.size(); });
}

QValidator::State TypedLengthLimit::validate(QString &input, int &) const {
  return limit > 0 && input.size() > limit && input.size() > shown_ ? Invalid : Acceptable;
}

namespace {

constexpr int kTwipsPerPixel = 15;

bool Same(const std::string &a, const char *b) {
  return zelko::EqualNoCase(a, b);
}

// An OLE colour: 0x00BBGGRR, or a system colour (high bit set) that the style's palette
// already gives (invalid here).
QColor ColorOf(long long value) {
  return zelko::OleColor(static_cast<int32_t>(value), QColor());
}

bool Truthy(const Variant &v, bool *ok) {
  if (auto s = v.AsString(); v.Type() == zplatform::kVtBstr && s) {
    *ok = Same(*s, "True") || Same(*s, "False") ||
          s->find_first_not_of("-0123456789") == std::string::npos;
    return Same(*s, "True") || (!Same(*s, "False") && std::atoi(s->c_str()) != 0);
  }
  auto n = v.AsInteger();
  *ok = n.has_value();
  return n.value_or(0) != 0;
}

// Rectangles, squares, ovals, circles and rounded shapes drawn as the Shape control does.
class ShapeWidget : public QWidget {
 public:
  explicit ShapeWidget(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  int shape = 0, border_width = 1, fill_style = 1, back_style = 0;
  QColor border = Qt::black, fill = Qt::black, back;

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = QRectF(rect()).adjusted(border_width / 2.0, border_width / 2.0, -border_width / 2.0,
                                       -border_width / 2.0);
    if (shape == 1 || shape == 3 || shape == 5) {  // the square kinds keep the smaller side
      double side = std::min(r.width(), r.height());
      r = QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    }
    QPainterPath path;
    if (shape == 2 || shape == 3) {
      path.addEllipse(r);
    } else if (shape == 4 || shape == 5) {
      double radius = std::min(r.width(), r.height()) / 6;
      path.addRoundedRect(r, radius, radius);
    } else {
      path.addRect(r);
    }
    if (back_style == 1 && back.isValid()) p.fillPath(path, back);
    if (fill_style == 0) p.fillPath(path, fill);
    p.setPen(QPen(border.isValid() ? border : QColor(Qt::black), border_width));
    p.drawPath(path);
  }
};

// A line from (x1, y1) to (x2, y2) of its container; the widget covers the line's box.
class LineWidget : public QWidget {
 public:
  explicit LineWidget(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  QPoint from, to;  // in the widget
  int width = 1;
  QColor color = Qt::black;

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    p.setPen(QPen(color.isValid() ? color : QColor(Qt::black), width));
    p.drawLine(from, to);
  }
};

// In the order of Kind. VB 5 forms name the library, VB 2 and 4 forms do not.
const struct {
  const char *vb5;
  const char *vb2;
} kTypes[] = {{"VB.Label", "Label"},
              {"VB.Frame", "Frame"},
              {"VB.TextBox", "TextBox"},
              {"VB.CommandButton", "CommandButton"},
              {"VB.CheckBox", "CheckBox"},
              {"VB.OptionButton", "OptionButton"},
              {"VB.ComboBox", "ComboBox"},
              {"VB.ListBox", "ListBox"},
              {"VB.PictureBox", "PictureBox"},
              {"VB.Image", "Image"},
              {"VB.Shape", "Shape"},
              {"VB.Line", "Line"},
              {"VB.Timer", "Timer"}};

}  // namespace

std::vector<std::string> StandardControl::Types() {
  std::vector<std::string> types;
  for (const auto &t : kTypes)
    types.push_back(t.vb5);
  return types;
}

StandardControl::StandardControl(Kind kind, std::string type, std::string name, bool run_mode)
    : kind_(kind), type_(std::move(type)), name_(std::move(name)), run_mode_(run_mode) {}

StandardControl::~StandardControl() {
  delete timer_;
}

std::unique_ptr<StandardControl> StandardControl::Create(const FrmObject &object,
                                                         QWidget *container, bool run_mode,
                                                         EventSink events) {
  for (size_t i = 0; i < std::size(kTypes); ++i) {
    if (Same(object.type, kTypes[i].vb5) || Same(object.type, kTypes[i].vb2)) {
      std::unique_ptr<StandardControl> control(
          new StandardControl(static_cast<Kind>(i), kTypes[i].vb5, object.name, run_mode));
      control->events_ = std::move(events);
      control->Build(object, container);
      return control;
    }
  }
  return nullptr;
}

void StandardControl::Fire(const char *event) const {
  if (run_mode_ && events_) events_(event);
}

void StandardControl::Build(const FrmObject &o, QWidget *container) {
  const QString caption = QString::fromStdString(o.Text("Caption"));
  const QString text = QString::fromStdString(o.Text("Text"));
  back_color_ = o.Number("BackColor", -1);
  fore_color_ = o.Number("ForeColor", -1);
  tag_ = o.Text("Tag");
  switch (kind_) {
    case Kind::kLabel: {
      auto *label = new QLabel(caption, container);
      label->setWordWrap(o.Number("WordWrap", 0) != 0);
      long long align = o.Number("Alignment", 0);
      label->setAlignment((align == 1   ? Qt::AlignRight
                           : align == 2 ? Qt::AlignHCenter
                                        : Qt::AlignLeft) |
                          Qt::AlignTop);
      if (o.Number("BorderStyle", 0) == 1) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      widget_ = label;
      break;
    }
    case Kind::kFrame: {
      auto *frame = new QGroupBox(caption, container);
      frame->setProperty(zelko::kWindowClassProperty, "ThunderFrame");
      widget_ = container_for_children_ = frame;
      break;
    }
    case Kind::kTextBox: {
      if (o.Number("MultiLine", 0) != 0) {
        auto *edit = new QPlainTextEdit(text, container);
        edit->setReadOnly(o.Number("Locked", 0) != 0);
        QObject::connect(edit, &QPlainTextEdit::textChanged, [this] { Fire("Change"); });
        widget_ = edit;
      } else {
        auto *edit = new QLineEdit(text, container);
        edit->setReadOnly(o.Number("Locked", 0) != 0);
        max_length_ = new TypedLengthLimit(edit);
        max_length_->limit =
            static_cast<int>(std::clamp<long long>(o.Number("MaxLength", 0), 0, 32767));
        edit->setValidator(max_length_);
        if (!o.Text("PasswordChar").empty()) edit->setEchoMode(QLineEdit::Password);
        long long align = o.Number("Alignment", 0);
        edit->setAlignment(align == 1   ? Qt::AlignRight
                           : align == 2 ? Qt::AlignHCenter
                                        : Qt::AlignLeft);
        QObject::connect(edit, &QLineEdit::textChanged, [this] { Fire("Change"); });
        widget_ = edit;
      }
      break;
    }
    case Kind::kCommandButton: {
      auto *button = new QPushButton(caption, container);
      button->setDefault(o.Number("Default", 0) != 0);
      button->setProperty("vbCancel", o.Number("Cancel", 0) != 0);
      QObject::connect(button, &QPushButton::clicked, [this] { Fire("Click"); });
      widget_ = button;
      break;
    }
    case Kind::kCheckBox: {
      auto *box = new QCheckBox(caption, container);
      long long value = o.Number("Value", 0);
      box->setTristate(value == 2);
      box->setCheckState(value == 1   ? Qt::Checked
                         : value == 2 ? Qt::PartiallyChecked
                                      : Qt::Unchecked);
      QObject::connect(box, &QCheckBox::stateChanged, [this] { Fire("Click"); });
      widget_ = box;
      break;
    }
    case Kind::kOptionButton: {
      auto *option = new QRadioButton(caption, container);
      option->setChecked(o.Number("Value", 0) != 0);
      QObject::connect(option, &QRadioButton::toggled, [this](bool on) {
        if (on) Fire("Click");
      });
      widget_ = option;
      break;
    }
    case Kind::kComboBox: {
      auto *combo = new QComboBox(container);
      style_ = static_cast<int>(o.Number("Style", 0));
      combo->setEditable(style_ != 2);
      if (combo->isEditable()) {
        combo->setEditText(text);
        QObject::connect(combo, &QComboBox::editTextChanged, [this] { Fire("Change"); });
      }
      QObject::connect(combo, &QComboBox::activated, [this] { Fire("Click"); });
      widget_ = combo;
      break;
    }
    case Kind::kListBox: {
      auto *list = new QListWidget(container);
      QObject::connect(list, &QListWidget::currentRowChanged, [this] { Fire("Click"); });
      widget_ = list;
      break;
    }
    case Kind::kPictureBox:
    case Kind::kImage: {
      // The picture itself lies in the form's binary file (.frx), which is not read.
      auto *frame = kind_ == Kind::kPictureBox ? new QFrame(container) : new QLabel(container);
      long long border = o.Number("BorderStyle", kind_ == Kind::kPictureBox ? 1 : 0);
      if (border == 1) frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      widget_ = frame;
      if (kind_ == Kind::kPictureBox) container_for_children_ = frame;
      break;
    }
    case Kind::kShape: {
      auto *shape = new ShapeWidget(container);
      shape_ = shape->shape = static_cast<int>(o.Number("Shape", 0));
      border_width_ = shape->border_width = static_cast<int>(o.Number("BorderWidth", 1));
      fill_style_ = shape->fill_style = static_cast<int>(o.Number("FillStyle", 1));
      back_style_ = shape->back_style = static_cast<int>(o.Number("BackStyle", 0));
      border_color_ = o.Number("BorderColor", 0);
      fill_color_ = o.Number("FillColor", 0);
      widget_ = shape;
      break;
    }
    case Kind::kLine: {
      auto *line = new LineWidget(container);
      x1_ = o.Number("X1", 0), y1_ = o.Number("Y1", 0);
      x2_ = o.Number("X2", 0), y2_ = o.Number("Y2", 0);
      border_width_ = line->width = static_cast<int>(o.Number("BorderWidth", 1));
      border_color_ = o.Number("BorderColor", 0);
      widget_ = line;
      break;
    }
    case Kind::kTimer:
      interval_ = static_cast<int>(o.Number("Interval", 0));
      timer_enabled_ = o.Number("Enabled", -1) != 0;
      timer_left_ = o.Number("Left", 0), timer_top_ = o.Number("Top", 0);
      timer_ = new QTimer();
      QObject::connect(timer_, &QTimer::timeout, [this] { Fire("Timer"); });
      if (run_mode_ && timer_enabled_ && interval_ > 0) timer_->start(interval_);
      return;
  }
  if (kind_ == Kind::kLine) {
    PlaceLine();
  } else {
    widget_->setGeometry(static_cast<int>(o.Number("Left", 0) / kTwipsPerPixel),
                         static_cast<int>(o.Number("Top", 0) / kTwipsPerPixel),
                         std::max(1, static_cast<int>(o.Number("Width", 480) / kTwipsPerPixel)),
                         std::max(1, static_cast<int>(o.Number("Height", 480) / kTwipsPerPixel)));
  }
  widget_->setEnabled(o.Number("Enabled", -1) != 0);
  widget_->setToolTip(QString::fromStdString(o.Text("ToolTipText")));
  widget_->setObjectName(QString::fromStdString(name_));
  // Hidden controls show at design time, as in Visual Basic.
  visible_ = o.Number("Visible", -1) != 0;
  if (run_mode_ && !visible_) widget_->hide();
  ApplyColors();
}

void StandardControl::PlaceLine() {
  auto *line = static_cast<LineWidget *>(widget_);
  const int margin = std::max(1, border_width_);
  QPoint a(static_cast<int>(x1_ / kTwipsPerPixel), static_cast<int>(y1_ / kTwipsPerPixel));
  QPoint b(static_cast<int>(x2_ / kTwipsPerPixel), static_cast<int>(y2_ / kTwipsPerPixel));
  QRect box = QRect(a, b).normalized().adjusted(-margin, -margin, margin, margin);
  line->setGeometry(box);
  line->from = a - box.topLeft();
  line->to = b - box.topLeft();
  line->update();
}

void StandardControl::ApplyColors() {
  if (widget_ == nullptr) return;
  if (kind_ == Kind::kShape) {
    auto *shape = static_cast<ShapeWidget *>(widget_);
    shape->border = ColorOf(border_color_);
    shape->fill = ColorOf(fill_color_);
    shape->back = ColorOf(back_color_);
    shape->update();
    return;
  }
  if (kind_ == Kind::kLine) {
    static_cast<LineWidget *>(widget_)->color = ColorOf(border_color_);
    widget_->update();
    return;
  }
  QPalette palette = widget_->palette();
  if (QColor back = ColorOf(back_color_); back.isValid()) {
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::Base, back);
    palette.setColor(QPalette::Button, back);
    widget_->setAutoFillBackground(true);
  }
  if (QColor fore = ColorOf(fore_color_); fore.isValid()) {
    palette.setColor(QPalette::WindowText, fore);
    palette.setColor(QPalette::Text, fore);
    palette.setColor(QPalette::ButtonText, fore);
  }
  widget_->setPalette(palette);
}

std::vector<std::string> StandardControl::PropertyNames() const {
  std::vector<std::string> names = {"Name", "Tag"};
  if (kind_ == Kind::kTimer) {
    names.insert(names.end(), {"Enabled", "Interval", "Left", "Top"});
    return names;
  }
  names.insert(names.end(), {"Left", "Top", "Width", "Height", "Visible", "Enabled", "ToolTipText",
                             "BackColor", "ForeColor"});
  switch (kind_) {
    case Kind::kLabel:
    case Kind::kFrame:
    case Kind::kCommandButton:
      names.push_back("Caption");
      break;
    case Kind::kCheckBox:
    case Kind::kOptionButton:
      names.insert(names.end(), {"Caption", "Value"});
      break;
    case Kind::kTextBox:
      names.insert(names.end(), {"Text", "Locked", "MaxLength"});
      break;
    case Kind::kComboBox:
    case Kind::kListBox:
      names.insert(names.end(), {"Text", "ListIndex", "ListCount"});
      if (kind_ == Kind::kComboBox) names.push_back("Style");
      break;
    case Kind::kShape:
      names.insert(names.end(),
                   {"Shape", "BorderColor", "BorderWidth", "FillColor", "FillStyle", "BackStyle"});
      break;
    case Kind::kLine:
      names = {"Name", "Tag", "Visible", "X1", "Y1", "X2", "Y2", "BorderColor", "BorderWidth"};
      break;
    default:
      break;
  }
  return names;
}

bool StandardControl::Get(const std::string &name, Variant *value) const {
  const auto names = PropertyNames();
  if (std::none_of(names.begin(), names.end(),
                   [&](const std::string &n) { return Same(name, n.c_str()); }))
    return false;
  auto twips = [](int pixels) { return Variant::I4(pixels * kTwipsPerPixel); };
  if (Same(name, "Name")) {
    *value = Variant::String(name_);
  } else if (Same(name, "Tag")) {
    *value = Variant::String(tag_);
  } else if (kind_ == Kind::kTimer) {
    if (Same(name, "Enabled")) *value = Variant::Bool(timer_enabled_);
    if (Same(name, "Interval")) *value = Variant::I4(interval_);
    if (Same(name, "Left")) *value = Variant::I4(static_cast<int32_t>(timer_left_));
    if (Same(name, "Top")) *value = Variant::I4(static_cast<int32_t>(timer_top_));
  } else if (Same(name, "Left")) {
    *value = twips(widget_->x());
  } else if (Same(name, "Top")) {
    *value = twips(widget_->y());
  } else if (Same(name, "Width")) {
    *value = twips(widget_->width());
  } else if (Same(name, "Height")) {
    *value = twips(widget_->height());
  } else if (Same(name, "Visible")) {
    *value = Variant::Bool(visible_);
  } else if (Same(name, "Enabled")) {
    *value = Variant::Bool(widget_->isEnabled());
  } else if (Same(name, "ToolTipText")) {
    *value = Variant::String(widget_->toolTip().toStdString());
  } else if (Same(name, "BackColor")) {
    *value = Variant::I4(static_cast<int32_t>(back_color_));
  } else if (Same(name, "ForeColor")) {
    *value = Variant::I4(static_cast<int32_t>(fore_color_));
  } else if (Same(name, "Caption")) {
    QString caption;
    if (auto *label = qobject_cast<QLabel *>(widget_)) caption = label->text();
    if (auto *frame = qobject_cast<QGroupBox *>(widget_)) caption = frame->title();
    if (auto *button = qobject_cast<QAbstractButton *>(widget_)) caption = button->text();
    *value = Variant::String(caption.toStdString());
  } else if (Same(name, "Value")) {
    if (auto *box = qobject_cast<QCheckBox *>(widget_)) {
      int state = box->checkState() == Qt::Checked ? 1 : box->checkState() == Qt::Unchecked ? 0 : 2;
      *value = Variant::I2(static_cast<int16_t>(state));
    } else {
      *value = Variant::Bool(static_cast<QRadioButton *>(widget_)->isChecked());
    }
  } else if (Same(name, "Text")) {
    QString text;
    if (auto *edit = qobject_cast<QLineEdit *>(widget_)) text = edit->text();
    if (auto *edit = qobject_cast<QPlainTextEdit *>(widget_)) text = edit->toPlainText();
    if (auto *combo = qobject_cast<QComboBox *>(widget_)) text = combo->currentText();
    if (auto *list = qobject_cast<QListWidget *>(widget_))
      text = list->currentItem() != nullptr ? list->currentItem()->text() : QString();
    *value = Variant::String(text.toStdString());
  } else if (Same(name, "Locked")) {
    auto *edit = qobject_cast<QLineEdit *>(widget_);
    *value = Variant::Bool(edit != nullptr ? edit->isReadOnly()
                                           : static_cast<QPlainTextEdit *>(widget_)->isReadOnly());
  } else if (Same(name, "MaxLength")) {
    *value = Variant::I4(max_length_ != nullptr ? max_length_->limit : 0);
  } else if (Same(name, "ListIndex")) {
    auto *combo = qobject_cast<QComboBox *>(widget_);
    int index = combo != nullptr ? combo->currentIndex()
                                 : static_cast<QListWidget *>(widget_)->currentRow();
    *value = Variant::I2(static_cast<int16_t>(index));
  } else if (Same(name, "ListCount")) {
    auto *combo = qobject_cast<QComboBox *>(widget_);
    int count = combo != nullptr ? combo->count() : static_cast<QListWidget *>(widget_)->count();
    *value = Variant::I2(static_cast<int16_t>(count));
  } else if (Same(name, "Style")) {
    *value = Variant::I2(static_cast<int16_t>(style_));
  } else if (Same(name, "Shape")) {
    *value = Variant::I2(static_cast<int16_t>(shape_));
  } else if (Same(name, "BorderColor")) {
    *value = Variant::I4(static_cast<int32_t>(border_color_));
  } else if (Same(name, "BorderWidth")) {
    *value = Variant::I2(static_cast<int16_t>(border_width_));
  } else if (Same(name, "FillColor")) {
    *value = Variant::I4(static_cast<int32_t>(fill_color_));
  } else if (Same(name, "FillStyle")) {
    *value = Variant::I2(static_cast<int16_t>(fill_style_));
  } else if (Same(name, "BackStyle")) {
    *value = Variant::I2(static_cast<int16_t>(back_style_));
  } else if (Same(name, "X1") || Same(name, "Y1") || Same(name, "X2") || Same(name, "Y2")) {
    long long v = Same(name, "X1") ? x1_ : Same(name, "Y1") ? y1_ : Same(name, "X2") ? x2_ : y2_;
    *value = Variant::I4(static_cast<int32_t>(v));
  }
  return true;
}

StandardControl::SetResult StandardControl::Set(const std::string &name, const Variant &value) {
  const auto names = PropertyNames();
  if (std::none_of(names.begin(), names.end(),
                   [&](const std::string &n) { return Same(name, n.c_str()); }))
    return SetResult::kUnknown;
  if (Same(name, "Name") || Same(name, "ListCount") || Same(name, "Style"))
    return SetResult::kReadOnly;
  const std::string text = value.AsString().value_or("");
  const std::optional<int32_t> number = value.AsInteger();
  bool flag_ok = false;
  const bool flag = Truthy(value, &flag_ok);
  auto needs_number = [&] { return number.has_value() ? SetResult::kDone : SetResult::kBadValue; };

  if (Same(name, "Tag")) {
    tag_ = text;
    return SetResult::kDone;
  }
  if (kind_ == Kind::kTimer) {
    if (Same(name, "Enabled")) {
      if (!flag_ok) return SetResult::kBadValue;
      timer_enabled_ = flag;
    } else if (Same(name, "Interval")) {
      if (!number || *number < 0) return SetResult::kBadValue;
      interval_ = *number;
    } else if (Same(name, "Left") || Same(name, "Top")) {
      if (!number) return SetResult::kBadValue;
      (Same(name, "Left") ? timer_left_ : timer_top_) = *number;
    }
    timer_->stop();
    if (run_mode_ && timer_enabled_ && interval_ > 0) timer_->start(interval_);
    return SetResult::kDone;
  }
  if (Same(name, "Left") || Same(name, "Top") || Same(name, "Width") || Same(name, "Height")) {
    if (!number) return SetResult::kBadValue;
    QRect g = widget_->geometry();
    int pixels = *number / kTwipsPerPixel;
    if (Same(name, "Left")) g.moveLeft(pixels);
    if (Same(name, "Top")) g.moveTop(pixels);
    if (Same(name, "Width")) g.setWidth(std::max(1, pixels));
    if (Same(name, "Height")) g.setHeight(std::max(1, pixels));
    widget_->setGeometry(g);
    return SetResult::kDone;
  }
  if (Same(name, "Visible") || Same(name, "Enabled") || Same(name, "Locked")) {
    if (!flag_ok) return SetResult::kBadValue;
    if (Same(name, "Visible")) {
      visible_ = flag;
      if (run_mode_) widget_->setVisible(flag);
    } else if (Same(name, "Enabled")) {
      widget_->setEnabled(flag);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget_)) {
      edit->setReadOnly(flag);
    } else {
      static_cast<QPlainTextEdit *>(widget_)->setReadOnly(flag);
    }
    return SetResult::kDone;
  }
  if (Same(name, "ToolTipText")) {
    widget_->setToolTip(QString::fromStdString(text));
    return SetResult::kDone;
  }
  if (Same(name, "BackColor") || Same(name, "ForeColor") || Same(name, "BorderColor") ||
      Same(name, "FillColor")) {
    if (!number) return SetResult::kBadValue;
    long long color = static_cast<uint32_t>(*number);
    (Same(name, "BackColor")     ? back_color_
     : Same(name, "ForeColor")   ? fore_color_
     : Same(name, "BorderColor") ? border_color_
                                 : fill_color_) = color;
    ApplyColors();
    return SetResult::kDone;
  }
  if (Same(name, "Caption")) {
    QString caption = QString::fromStdString(text);
    if (auto *label = qobject_cast<QLabel *>(widget_)) label->setText(caption);
    if (auto *frame = qobject_cast<QGroupBox *>(widget_)) frame->setTitle(caption);
    if (auto *button = qobject_cast<QAbstractButton *>(widget_)) button->setText(caption);
    return SetResult::kDone;
  }
  if (Same(name, "Value")) {
    if (auto *box = qobject_cast<QCheckBox *>(widget_)) {
      if (!number || *number < 0 || *number > 2) return SetResult::kBadValue;
      if (*number == 2) box->setTristate(true);
      box->setCheckState(*number == 1   ? Qt::Checked
                         : *number == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
    } else {
      if (!flag_ok) return SetResult::kBadValue;
      static_cast<QRadioButton *>(widget_)->setChecked(flag);
    }
    return SetResult::kDone;
  }
  if (Same(name, "Text")) {
    QString t = QString::fromStdString(text);
    if (auto *edit = qobject_cast<QLineEdit *>(widget_)) {
      // The program's text is checked as it is set: it is what the box shows from now on.
      if (max_length_ != nullptr) max_length_->Showing(t);
      edit->setText(t);
    }
    if (auto *edit = qobject_cast<QPlainTextEdit *>(widget_)) edit->setPlainText(t);
    if (auto *combo = qobject_cast<QComboBox *>(widget_)) {
      // A drop-down list takes only one of its items, as Visual Basic's does.
      if (combo->isEditable()) {
        combo->setEditText(t);
      } else {
        int index = combo->findText(t);
        if (index < 0) return SetResult::kBadValue;
        combo->setCurrentIndex(index);
      }
    }
    if (auto *list = qobject_cast<QListWidget *>(widget_)) {
      auto found = list->findItems(t, Qt::MatchExactly);
      if (found.isEmpty()) return SetResult::kBadValue;
      list->setCurrentItem(found.front());
    }
    return SetResult::kDone;
  }
  if (Same(name, "MaxLength")) {
    if (!number || *number < 0) return SetResult::kBadValue;
    if (max_length_ != nullptr)
      max_length_->limit = static_cast<int>(std::min<long long>(*number, 32767));
    return SetResult::kDone;
  }
  if (Same(name, "ListIndex")) {
    auto *combo = qobject_cast<QComboBox *>(widget_);
    int count = combo != nullptr ? combo->count() : static_cast<QListWidget *>(widget_)->count();
    if (!number || *number < -1 || *number >= count) return SetResult::kBadValue;
    if (combo != nullptr) {
      combo->setCurrentIndex(*number);
      Fire("Click");  // a ListIndex set in code fires Click, as the user's choice does
    } else {
      static_cast<QListWidget *>(widget_)->setCurrentRow(*number);
    }
    return SetResult::kDone;
  }
  if (kind_ == Kind::kShape) {
    if (needs_number() != SetResult::kDone) return SetResult::kBadValue;
    auto *shape = static_cast<ShapeWidget *>(widget_);
    if (Same(name, "Shape")) shape_ = shape->shape = *number;
    if (Same(name, "BorderWidth")) border_width_ = shape->border_width = std::max(1, *number);
    if (Same(name, "FillStyle")) fill_style_ = shape->fill_style = *number;
    if (Same(name, "BackStyle")) back_style_ = shape->back_style = *number;
    shape->update();
    return SetResult::kDone;
  }
  if (kind_ == Kind::kLine) {
    if (needs_number() != SetResult::kDone) return SetResult::kBadValue;
    if (Same(name, "X1")) x1_ = *number;
    if (Same(name, "Y1")) y1_ = *number;
    if (Same(name, "X2")) x2_ = *number;
    if (Same(name, "Y2")) y2_ = *number;
    if (Same(name, "BorderWidth"))
      border_width_ = static_cast<LineWidget *>(widget_)->width = std::max(1, *number);
    PlaceLine();
    return SetResult::kDone;
  }
  return SetResult::kUnknown;
}

bool StandardControl::Call(const std::string &method, const std::vector<Variant> &args,
                           std::string *error) {
  auto *combo = qobject_cast<QComboBox *>(widget_);
  auto *list = qobject_cast<QListWidget *>(widget_);
  if (combo == nullptr && list == nullptr) {
    *error = name_ + " (" + type_ + ") has no method " + method;
    return false;
  }
  int count = combo != nullptr ? combo->count() : list->count();
  if (Same(method, "AddItem")) {
    if (args.empty() || args.size() > 2) return *error = "AddItem takes Item [, Index]", false;
    QString item = QString::fromStdString(args[0].AsString().value_or(""));
    int index = args.size() == 2 ? args[1].AsInteger().value_or(-1) : count;
    if (index < 0 || index > count) return *error = "AddItem: index out of range", false;
    if (combo != nullptr) {
      combo->insertItem(index, item);
    } else {
      list->insertItem(index, item);
    }
    return true;
  }
  if (Same(method, "RemoveItem")) {
    int index = args.size() == 1 ? args[0].AsInteger().value_or(-1) : -1;
    if (index < 0 || index >= count) return *error = "RemoveItem: index out of range", false;
    if (combo != nullptr) {
      combo->removeItem(index);
    } else {
      delete list->takeItem(index);
    }
    return true;
  }
  if (Same(method, "Clear")) {
    if (combo != nullptr) {
      combo->clear();
    } else {
      list->clear();
    }
    return true;
  }
  *error = name_ + " (" + type_ + ") has no method " + method;
  return false;
}

}  // namespace zelkoform
