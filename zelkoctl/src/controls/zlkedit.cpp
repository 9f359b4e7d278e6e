#include "controls/zlkedit.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/field_conversion.h"
#include "engine/module.h"
#include "frame/ime_service.h"
#include "frame/key_codes.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/vb_format.h"

namespace zelko {
namespace {

class EditFilter : public QObject {
 public:
  EditFilter(ZlkEdit *control, QObject *parent) : QObject(parent), control_(control) {}
  bool eventFilter(QObject *watched, QEvent *event) override {
    return control_->HandleEvent(watched, event);
  }

 private:
  ZlkEdit *control_;
};

QColor OleColor(int32_t c, QColor system) {
  uint32_t v = static_cast<uint32_t>(c);
  if (v & 0x80000000u) return system;
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QFont FontOf(const std::string &spec) {
  QStringList parts = QString::fromStdString(spec).split(',');
  QFont f(parts.value(0));
  if (parts.size() > 1) f.setPointSizeF(parts[1].toDouble());
  if (parts.size() > 2) f.setWeight(parts[2].toInt() >= 700 ? QFont::Bold : QFont::Normal);
  return f;
}

}  // namespace

const ClassInfo &ZlkEdit::Info() {
  static const ClassInfo info = [] {
    ClassInfo c{"ZLKBTRLibCtl.ZLKEdit", "ZLKEdit", kKindEdit, {}, {}, {}};
    using K = PropKind;
    c.properties = {
        {"DbSource", 1, K::kString, "", true, false, false},
        {"DbTable", 2, K::kString, "", true, false, false},
        {"DbField", 3, K::kString, "", true, false, false},
        {"MaxLength", 4, K::kInt16, "0", true, false, false},
        {"PasswordChar", 5, K::kString, "", true, false, false},
        {"Format", 6, K::kString, "", true, false, false},
        {"MultiLine", 7, K::kBool, "0", true, false, false},
        {"Alignment", 8, K::kInt16, "0", true, false, false},
        {"ReadOnly", 9, K::kBool, "0", true, false, false},
        {"UpperCase", 10, K::kBool, "0", true, false, false},
        {"IMEMode", 11, K::kInt16, "0", true, false, false},
        {"NumericMask", 15, K::kBool, "0", true, false, false},
        {"FormatOption", 16, K::kInt16, "0", true, false, false},
        {"Appearance", -520, K::kInt16, "1", true, false, false},
        {"BorderStyle", -504, K::kInt16, "1", true, false, false},
        {"BackColor", -501, K::kColor, "-2147483643", true, false, false},
        {"ForeColor", -513, K::kColor, "-2147483640", true, false, false},
        {"Font", -512, K::kFont, nullptr, true, false, false},
        {"MouseIcon", -522, K::kString, nullptr, true, false, false},
        {"MousePointer", -521, K::kInt16, "0", true, false, false},
        {"TabStop", -516, K::kBool, "-1", true, false, false},
        {"Text", -517, K::kString, "", true, false, false},
        {"Enabled", -514, K::kBool, "-1", true, false, false},
        {"SelStart", 12, K::kInt16, nullptr, false, false, false},
        {"SelLength", 13, K::kInt16, nullptr, false, false, false},
        {"SelText", 14, K::kString, nullptr, false, false, false},
        {"Window", -515, K::kInt32, nullptr, false, false, true},
    };
    c.events = {
        {"Change", 1, {}},
        {"Click", -600, {}},
        {"DblClick", -601, {}},
        {"KeyDown", -602, {{"KeyCode", true}, {"Shift", false}}},
        {"KeyPress", -603, {{"KeyAscii", true}}},
        {"KeyUp", -604, {{"KeyCode", true}, {"Shift", false}}},
        {"MouseDown", -605, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}},
        {"MouseMove", -606, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}},
        {"MouseUp", -607, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}}};
    return c;
  }();
  return info;
}

ZlkEdit::ZlkEdit() = default;
ZlkEdit::~ZlkEdit() {
  DestroyWindow();
}

int ZlkEdit::FieldType() {
  if (field_type_ == -1) {
    field_type_ =
        Module::Get().registry.FindFieldType(GetFormWindow(), db_source_, db_table_, db_field_);
  }
  return field_type_;
}

std::string ZlkEdit::FormatMask(const std::string &text) const {
  if (Site() == nullptr) return zplatform::VbFormat(text, format_);
  return Site()->FormatText(text, format_);
}

std::string ZlkEdit::RightAlign(const std::string &text) const {
  if (max_length_ == 0) return text;
  std::string cp = zplatform::FromUtf8(text);
  size_t max = static_cast<size_t>(max_length_);
  if (cp.size() < max) cp.insert(0, max - cp.size(), ' ');
  if (cp.size() > max) cp = cp.substr(cp.size() - max);
  return zplatform::ToUtf8(cp);
}

void ZlkEdit::ShowText(const std::string &text) {
  if (edit_ == nullptr) return;
  showing_ = true;
  edit_->setText(QString::fromStdString(text));
  showing_ = false;
}

void ZlkEdit::ShowFieldText(const std::string &cp) {
  std::string text = zplatform::ToUtf8(cp);
  text_ = text;
  bool align = format_option_ == 2 || format_option_ == 3;
  if (!text.empty() && !format_.empty()) {
    std::string shown = FormatMask(text);
    if (align) shown = RightAlign(shown);
    text_ = shown;
  } else if (!text.empty() && align) {
    text_ = RightAlign(text);
  }
  ShowText(text_);
}

bool ZlkEdit::ReadFieldText(std::string *text) {
  std::string shown = edit_ != nullptr ? edit_->text().toStdString() : text_;
  *text = zplatform::FromUtf8(shown);
  if (text->size() > kTextResultLength) text->resize(kTextResultLength);
  return true;
}

void ZlkEdit::ClearFieldText() {
  text_.clear();
  ShowText(std::string());
}

QWidget *ZlkEdit::MakeWidget(QWidget *parent) {
  auto *frame = new QWidget(parent);
  auto *layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  edit_ = new QLineEdit(frame);
  layout->addWidget(edit_);
  frame->setFocusProxy(edit_);
  edit_->installEventFilter(new EditFilter(this, edit_));
  QObject::connect(edit_, &QLineEdit::textChanged, [this](const QString &t) {
    if (!showing_) text_ = t.toStdString();
    std::vector<Variant> none;
    FireEvent("Change", none);
  });
  return frame;
}

void ZlkEdit::ApplyStyle() {
  if (edit_ == nullptr) return;
  edit_->setAlignment(alignment_ == 1   ? Qt::AlignRight
                      : alignment_ == 2 ? Qt::AlignHCenter
                                        : Qt::AlignLeft);
  edit_->setReadOnly(read_only_);
  edit_->setFrame(border_style_ == 1);
  edit_->setEnabled(enabled_);
  edit_->setFont(FontOf(font_));
  QPalette pal = edit_->palette();
  pal.setColor(QPalette::Base, OleColor(back_color_, QApplication::palette().base().color()));
  pal.setColor(QPalette::Text, OleColor(fore_color_, QApplication::palette().text().color()));
  edit_->setPalette(pal);
  edit_->setEchoMode(password_char_.empty() || !RunMode() ? QLineEdit::Normal
                                                          : QLineEdit::Password);
  edit_->setMaxLength(RunMode() ? (max_length_ != 0 ? max_length_ : 32000) : 32767);
}

void ZlkEdit::OnWindowCreated() {
  ShowText(text_);
  ApplyStyle();
  if (RunMode()) {
    FieldType();
    FieldControl::OnWindowCreated();  // registration
  }
}

bool ZlkEdit::Filter(const QString &typed) {
  QChar ch = typed.isEmpty() ? QChar() : typed[0];
  bool backspace = ch == QChar('\b');
  if (numeric_mask_ && !backspace) {
    bool ok = ch.isDigit() || ch == '.' || ch == '-' || ch == '+' || ch == ',' ||
              (ch == '/' && FieldType() == kDate) || (ch == ':' && FieldType() == kTime);
    if (!ok) {
      zplatform::Beep();
      return true;
    }
  }
  if (format_option_ == 1 || format_option_ == 3) {
    std::string cp = zplatform::FromUtf8(edit_->text().toStdString());
    if (backspace) {
      if (!cp.empty()) cp.pop_back();
    } else {
      cp += zplatform::FromUtf8(typed.toStdString());
    }
    std::string shown = RightAlign(FormatMask(zplatform::ToUtf8(cp)));
    if (!shown.empty()) {
      ShowText(shown);
      edit_->setCursorPosition(edit_->text().size());
      text_ = shown;
      return true;
    }
  }
  return false;
}

bool ZlkEdit::HandleEvent(QObject *, QEvent *event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto *key = static_cast<QKeyEvent *>(event);
      std::vector<Variant> down = {Variant::I2(VirtualKeyCode(*key)), Variant::I2(ShiftMask(*key))};
      FireEvent("KeyDown", down);
      QString typed = key->text();
      if (key->key() == Qt::Key_Backspace) typed = QString(QChar('\b'));
      if (typed.isEmpty() || (typed[0].unicode() < 0x20 && typed[0] != QChar('\b'))) return false;
      std::vector<Variant> press = {Variant::I4(typed[0].unicode())};
      FireEvent("KeyPress", press);
      int64_t answer = press[0].AsInteger().value_or(0);
      if (answer == 0) return true;  // the handler cancelled it
      // The handler may have changed the character; the box may upper-case it.
      QString chosen = answer == typed[0].unicode() ? typed : QString(QChar(char16_t(answer)));
      if (upper_case_) chosen = chosen.toUpper();
      if (chosen == typed) return Filter(typed);
      // Typed here: a new key event would come through this filter and fire its events again.
      if (!Filter(chosen)) edit_->insert(chosen);
      return true;
    }
    case QEvent::KeyRelease: {
      auto *key = static_cast<QKeyEvent *>(event);
      std::vector<Variant> up = {Variant::I2(VirtualKeyCode(*key)), Variant::I2(ShiftMask(*key))};
      FireEvent("KeyUp", up);
      return false;
    }
    case QEvent::FocusIn:
      if (Site() != nullptr) Site()->OnControlFocus(true);
      FieldType();
      if (format_option_ == 2 || format_option_ == 3)
        edit_->setCursorPosition(edit_->text().size());
      if (ime_mode_ != 0) {
        former_ime_mode_ = ImeService::Get().CurrentMode(edit_);
        ImeService::Get().SetMode(edit_, ime_mode_);
      }
      return false;
    case QEvent::FocusOut: {
      if (Site() != nullptr) Site()->OnControlFocus(false);
      if (format_.empty() && RunMode()) {
        int type = FieldType();
        const ConversionSettings &s = Module::Get().Settings();
        std::string cp = zplatform::FromUtf8(edit_->text().toStdString());
        if (type == kDate)
          edit_->setText(QString::fromStdString(zplatform::ToUtf8(NormalizeDateText(s, cp))));
        if (type == kTime)
          edit_->setText(QString::fromStdString(zplatform::ToUtf8(NormalizeTimeText(cp))));
      }
      if (ime_mode_ != 0) ImeService::Get().SetMode(edit_, former_ime_mode_);
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto *mouse = static_cast<QMouseEvent *>(event);
      std::vector<Variant> args = {Variant::I2(static_cast<int16_t>(mouse->buttons())),
                                   Variant::I2(0), Variant::R8(mouse->position().x() * 15),
                                   Variant::R8(mouse->position().y() * 15)};
      const char *name = event->type() == QEvent::MouseButtonPress     ? "MouseDown"
                         : event->type() == QEvent::MouseButtonRelease ? "MouseUp"
                         : event->type() == QEvent::MouseMove          ? "MouseMove"
                                                                       : "DblClick";
      if (event->type() == QEvent::MouseButtonDblClick) args.clear();
      FireEvent(name, args);
      if (event->type() == QEvent::MouseButtonRelease) {
        std::vector<Variant> none;
        FireEvent("Click", none);
      }
      return false;
    }
    default:
      return false;
  }
}

HResult ZlkEdit::DoGet(const PropertyInfo &p, Variant *v) {
  switch (p.dispid) {
    case 1:
      *v = Variant::String(db_source_);
      return kOk;
    case 2:
      *v = Variant::String(db_table_);
      return kOk;
    case 3:
      *v = Variant::String(db_field_);
      return kOk;
    case 4:
      *v = Variant::I2(static_cast<int16_t>(max_length_));
      return kOk;
    case 5:
      *v = Variant::String(password_char_);
      return kOk;
    case 6:
      *v = Variant::String(format_);
      return kOk;
    case 7:
      *v = Variant::Bool(multi_line_);
      return kOk;
    case 8:
      *v = Variant::I2(static_cast<int16_t>(alignment_));
      return kOk;
    case 9:
      *v = Variant::Bool(read_only_);
      return kOk;
    case 10:
      *v = Variant::Bool(upper_case_);
      return kOk;
    case 11:
      *v = Variant::I2(static_cast<int16_t>(ime_mode_));
      return kOk;
    case 15:
      *v = Variant::Bool(numeric_mask_);
      return kOk;
    case 16:
      *v = Variant::I2(static_cast<int16_t>(format_option_));
      return kOk;
    case 12:
      if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
      *v = Variant::I2(static_cast<int16_t>(edit_->hasSelectedText() ? edit_->selectionStart()
                                                                     : edit_->cursorPosition()));
      return kOk;
    case 13:
      if (!RunMode() || edit_ == nullptr) return kGetNotAvailable;
      *v = Variant::I2(static_cast<int16_t>(edit_->selectedText().size()));
      return kOk;
    case 14:
      if (!RunMode() || edit_ == nullptr) return kGetNotAvailable;
      *v = Variant::String(edit_->selectedText().toStdString());
      return kOk;
    case -520:
      *v = Variant::I2(static_cast<int16_t>(appearance_));
      return kOk;
    case -504:
      *v = Variant::I2(static_cast<int16_t>(border_style_));
      return kOk;
    case -501:
      *v = Variant::I4(back_color_);
      return kOk;
    case -513:
      *v = Variant::I4(fore_color_);
      return kOk;
    case -512:
      *v = Variant::String(font_);
      return kOk;
    case -522:
      *v = Variant::String("");
      return kOk;
    case -521:
      *v = Variant::I2(static_cast<int16_t>(mouse_pointer_));
      return kOk;
    case -516:
      *v = Variant::Bool(tab_stop_);
      return kOk;
    case -517:
      *v = Variant::String(edit_ != nullptr ? edit_->text().toStdString() : text_);
      return kOk;
    case -514:
      *v = Variant::Bool(enabled_);
      return kOk;
    case -515:
      *v = Variant::I4(static_cast<int32_t>(reinterpret_cast<intptr_t>(edit_)));
      return kOk;
    default:
      return kMemberNotFound;
  }
}

HResult ZlkEdit::DoPut(const PropertyInfo &p, const Variant &v) {
  auto text = v.AsString();
  auto number = v.AsInteger();
  auto need_text = [&](std::string &target) {
    if (!text) return kTypeMismatch;
    target = *text;
    return kOk;
  };
  auto need_int = [&](int &target) {
    if (!number) return kTypeMismatch;
    target = *number;
    ApplyStyle();
    return kOk;
  };
  auto need_bool = [&](bool &target) {
    if (!number) return kTypeMismatch;
    target = *number != 0;
    ApplyStyle();
    return kOk;
  };
  switch (p.dispid) {
    case 1:
      return need_text(db_source_);
    case 2:
      return need_text(db_table_);
    case 3: {
      bool was_empty = db_field_.empty();
      HResult hr = need_text(db_field_);
      field_type_ = -1;
      if (hr == kOk && was_empty && !RunMode() && !Loading() && Site() != nullptr) {
        // The designer shows which field the box holds, and how long it may be.
        text_ = db_field_;
        ShowText(text_);
        if (max_length_ == 0) {
          TableDescriptor *t =
              Module::Get().registry.FindBoundTable(GetFormWindow(), db_source_, db_table_);
          int f = t != nullptr ? FindFieldByName(*t, zplatform::FromUtf8(db_field_)) : -1;
          if (f >= 0) {
            int type = t->fields[f].data_type;
            if (type == kString || type == kLString || type == kZString)
              max_length_ = t->fields[f].size;
          }
        }
      }
      return hr;
    }
    case 4:
      return need_int(max_length_);
    case 5: {
      HResult hr = need_text(password_char_);
      if (password_char_.size() > 1)
        password_char_ = QString::fromStdString(password_char_).left(1).toStdString();
      ApplyStyle();
      return hr;
    }
    case 6:
      return need_text(format_);
    case 7:
      return need_bool(multi_line_);
    case 8:
      return need_int(alignment_);
    case 9:
      return need_bool(read_only_);
    case 10:
      return need_bool(upper_case_);
    case 11:
      return need_int(ime_mode_);
    case 15:
      return need_bool(numeric_mask_);
    case 16:
      return need_int(format_option_);
    case 12: {
      if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
      if (!number) return kTypeMismatch;
      int start = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
      int end =
          edit_->hasSelectedText() ? start + static_cast<int>(edit_->selectedText().size()) : start;
      if (*number != start) edit_->setSelection(*number, std::max(0, end - *number));
      return kOk;
    }
    case 13: {
      if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
      if (!number) return kTypeMismatch;
      int start = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
      if (*number >= 0 && start + *number <= edit_->text().size())
        edit_->setSelection(start, *number);
      return kOk;
    }
    case 14:
      if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
      if (!text) return kTypeMismatch;
      edit_->insert(QString::fromStdString(*text));  // undoable, as the edit window does it
      return kOk;
    case -520:
      return need_int(appearance_);
    case -504:
      return need_int(border_style_);
    case -501:
      return need_int(back_color_);
    case -513:
      return need_int(fore_color_);
    case -512: {
      HResult hr = need_text(font_);
      ApplyStyle();
      return hr;
    }
    case -522:
      return kOk;
    case -521:
      return need_int(mouse_pointer_);
    case -516:
      return need_bool(tab_stop_);
    case -517: {
      if (!text) return kTypeMismatch;
      text_ = *text;
      if (RunMode() && edit_ != nullptr) {
        bool align = format_option_ == 2 || format_option_ == 3;
        if (align) {
          text_ = RightAlign(format_.empty() ? text_ : FormatMask(text_));
        } else if (!format_.empty()) {
          text_ = FormatMask(text_);
        }
      }
      ShowText(text_);
      return kOk;
    }
    case -514:
      return need_bool(enabled_);
    default:
      return kMemberNotFound;
  }
}

HResult ZlkEdit::DoInvoke(const MethodInfo &, std::vector<Variant> &, Variant *) {
  return kMemberNotFound;
}

}  // namespace zelko
