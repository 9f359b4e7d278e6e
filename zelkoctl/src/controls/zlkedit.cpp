#include "controls/zlkedit.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "code_page_text_validator.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_catalog.h"
#include "frame/class_table.h"
#include "frame/ime_service.h"
#include "frame/key_codes.h"
#include "frame/stock_look.h"
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

}  // namespace

const ClassInfo &ZlkEdit::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using E = ZlkEdit;
    ClassInfo c{"ZLKBTRLibCtl.ZLKEdit", "ZLKEdit", kKindEdit, {}, {}, {}};
    const auto restyle = &E::ApplyStyle;
    c.properties = {
        Member("DbSource", 1, K::kString, "", &E::db_source_),
        Member("DbTable", 2, K::kString, "", &E::db_table_),
        Custom<E>(
            "DbField", 3, K::kString, "", kPersisted,
            [](E &e, Variant *v) {
              *v = Variant::String(e.db_field_);
              return kOk;
            },
            [](E &e, const Variant &v) { return e.PutDbField(v); }),
        Member("MaxLength", 4, K::kInt16, "0", &E::max_length_, kPersisted, restyle),
        Custom<E>(
            "PasswordChar", 5, K::kString, "", kPersisted,
            [](E &e, Variant *v) {
              *v = Variant::String(e.password_char_);
              return kOk;
            },
            [](E &e, const Variant &v) {
              HResult hr = Assign(&e.password_char_, v);
              // Only the first character counts.
              e.password_char_ = QString::fromStdString(e.password_char_).left(1).toStdString();
              e.ApplyStyle();
              return hr;
            }),
        Member("Format", 6, K::kString, "", &E::format_),
        Member("MultiLine", 7, K::kBool, "0", &E::multi_line_, kPersisted, restyle),
        Member("Alignment", 8, K::kInt16, "0", &E::alignment_, kPersisted, restyle),
        Member("ReadOnly", 9, K::kBool, "0", &E::read_only_, kPersisted, restyle),
        Member("UpperCase", 10, K::kBool, "0", &E::upper_case_, kPersisted, restyle),
        Member("IMEMode", 11, K::kInt16, "0", &E::ime_mode_, kPersisted, restyle),
        Member("NumericMask", 15, K::kBool, "0", &E::numeric_mask_, kPersisted, restyle),
        Member("FormatOption", 16, K::kInt16, "0", &E::format_option_, kPersisted, restyle),
        Member("Appearance", -520, K::kInt16, "1", &E::appearance_, kPersisted, restyle),
        Member("BorderStyle", -504, K::kInt16, "1", &E::border_style_, kPersisted, restyle),
        Member("BackColor", -501, K::kColor, "-2147483643", &E::back_color_, kPersisted, restyle),
        Member("ForeColor", -513, K::kColor, "-2147483640", &E::fore_color_, kPersisted, restyle),
        Member("Font", -512, K::kFont, nullptr, &E::font_, kPersisted, restyle),
        Constant<E>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("MousePointer", -521, K::kInt16, "0", &E::mouse_pointer_, kPersisted, restyle),
        Member("TabStop", -516, K::kBool, "-1", &E::tab_stop_, kPersisted, restyle),
        Custom<E>(
            "Text", -517, K::kString, "", kPersisted,
            [](E &e, Variant *v) {
              *v = Variant::String(e.edit_ != nullptr ? e.edit_->text().toStdString() : e.text_);
              return kOk;
            },
            [](E &e, const Variant &v) { return e.PutText(v); }),
        Member("Enabled", -514, K::kBool, "-1", &E::enabled_, kPersisted, restyle),
        Custom<E>(
            "SelStart", 12, K::kInt16, nullptr, kTransient,
            [](E &e, Variant *v) {
              if (!e.RunMode() || e.edit_ == nullptr) return kSetNotPermitted;
              *v = Variant::I2(static_cast<int16_t>(e.SelectionStart()));
              return kOk;
            },
            [](E &e, const Variant &v) { return e.PutSelStart(v); }),
        Custom<E>(
            "SelLength", 13, K::kInt16, nullptr, kTransient,
            [](E &e, Variant *v) {
              if (!e.RunMode() || e.edit_ == nullptr) return kGetNotAvailable;
              *v = Variant::I2(static_cast<int16_t>(e.edit_->selectedText().size()));
              return kOk;
            },
            [](E &e, const Variant &v) { return e.PutSelLength(v); }),
        Custom<E>(
            "SelText", 14, K::kString, nullptr, kTransient,
            [](E &e, Variant *v) {
              if (!e.RunMode() || e.edit_ == nullptr) return kGetNotAvailable;
              *v = Variant::String(e.edit_->selectedText().toStdString());
              return kOk;
            },
            [](E &e, const Variant &v) {
              if (!e.RunMode() || e.edit_ == nullptr) return kSetNotPermitted;
              auto text = v.AsString();
              if (!text) return kTypeMismatch;
              e.edit_->insert(QString::fromStdString(*text));  // undoable, as the window does it
              return kOk;
            }),
        Custom<E>(
            "Window", -515, K::kInt32, nullptr, kTransient | kReadOnly,
            [](E &e, Variant *v) {
              *v = Variant::I4(static_cast<int32_t>(reinterpret_cast<intptr_t>(e.edit_)));
              return kOk;
            },
            nullptr),
    };
    c.events = {{"Change", 1, {}}, {"Click", -600, {}}, {"DblClick", -601, {}}};
    for (auto events : {KeyEvents(), MouseEvents()})
      c.events.insert(c.events.end(), events.begin(), events.end());
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

EditRules ZlkEdit::Rules() const {
  EditRules rules;
  rules.format = format_;
  rules.format_option = format_option_;
  rules.max_length = max_length_;
  rules.numeric_mask = numeric_mask_;
  if (Site() != nullptr) {
    const ControlSite *site = Site();
    rules.format_text = [site](const std::string &text, const std::string &mask) {
      return site->FormatText(text, mask);
    };
  }
  return rules;
}

void ZlkEdit::ShowText(const std::string &text) {
  if (edit_ == nullptr) return;
  showing_ = true;
  edit_->setText(QString::fromStdString(text));
  showing_ = false;
}

void ZlkEdit::ShowFieldText(const std::string &cp) {
  text_ = Rules().ShownText(zplatform::ToUtf8(cp));
  ShowText(text_);
  given_.Remember(cp, zplatform::FromUtf8(text_));
}

bool ZlkEdit::ReadFieldText(std::string *text) {
  std::string shown = edit_ != nullptr ? edit_->text().toStdString() : text_;
  // The shown text goes back, formatted and aligned as it is, unless nobody edited it and
  // it would store another value than the one shown ("1975年4月12日" for a date, a text
  // padded with blanks): the field then keeps the text it came with.
  *text = given_.Resolve(*this, zplatform::FromUtf8(shown));
  if (text->size() > kTextResultLength) text->resize(kTextResultLength);
  return true;
}

void ZlkEdit::ClearFieldText() {
  text_.clear();
  given_.Forget();
  ShowText(std::string());
}

QWidget *ZlkEdit::MakeWidget(QWidget *parent) {
  auto *frame = new QWidget(parent);
  auto *layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  edit_ = new QLineEdit(frame);
  // The original platform's limit holds back what the user types or pastes, while a text set
  // by the program (a field shown) stays whole. QLineEdit's own limit would cut such a text,
  // and an update of the record would store it cut. Nor does the box take a character the
  // code page lacks, which the field would store as "?". text_ is the window text before a
  // change.
  edit_->setValidator(new zplatform::CodePageTextValidator([this] { return run_limit_; },
                                                           [this] { return text_; }, edit_));
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
  run_limit_ = RunMode() ? (max_length_ != 0 ? max_length_ : 32000) : 0;
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
  EditRules rules = Rules();
  if (!rules.Passes(ch.unicode(), numeric_mask_ ? FieldType() : -1)) {
    zplatform::Beep();
    return true;
  }
  if (rules.FormatsEveryCharacter()) {
    std::optional<std::string> shown =
        rules.AfterKeystroke(edit_->text().toStdString(), typed.toStdString(), backspace);
    if (shown) {
      ShowText(*shown);
      edit_->setCursorPosition(edit_->text().size());
      text_ = *shown;
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

int ZlkEdit::SelectionStart() const {
  return edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
}

HResult ZlkEdit::PutDbField(const Variant &v) {
  bool was_empty = db_field_.empty();
  HResult hr = table::Assign(&db_field_, v);
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

HResult ZlkEdit::PutText(const Variant &v) {
  auto text = v.AsString();
  if (!text) return kTypeMismatch;
  text_ = RunMode() && edit_ != nullptr ? Rules().PutText(*text) : *text;
  ShowText(text_);
  // A program's value, like the data source's, stays what it was under its display form.
  given_.Remember(zplatform::FromUtf8(*text), zplatform::FromUtf8(text_));
  return kOk;
}

HResult ZlkEdit::PutSelStart(const Variant &v) {
  if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
  auto number = v.AsInteger();
  if (!number) return kTypeMismatch;
  int start = SelectionStart();
  int end =
      edit_->hasSelectedText() ? start + static_cast<int>(edit_->selectedText().size()) : start;
  if (*number != start)
    edit_->setSelection(static_cast<int>(*number),
                        std::max<int>(0, end - static_cast<int>(*number)));
  return kOk;
}

HResult ZlkEdit::PutSelLength(const Variant &v) {
  if (!RunMode() || edit_ == nullptr) return kSetNotPermitted;
  auto number = v.AsInteger();
  if (!number) return kTypeMismatch;
  int start = SelectionStart();
  if (*number >= 0 && start + *number <= edit_->text().size())
    edit_->setSelection(start, static_cast<int>(*number));
  return kOk;
}

}  // namespace zelko
