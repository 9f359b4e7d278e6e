#include "macro.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <deque>
#include <sstream>

#include "designer.h"
#include "frame/property_page.h"
#include "zplatform/ascii.h"
#include "zplatform/c_numbers.h"
#include "zplatform/codepage.h"

namespace zelkoform {

using zelko::Variant;
using zplatform::MessageAnswer;
using zplatform::SafeArray;

namespace {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool Same(const std::string &a, const char *b) {
  return zelko::EqualNoCase(a, b);
}

bool IdentifierChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Splits "Control.Member" (the control part may carry "Form!").
bool Member(const std::string &text, std::string *control, std::string *member) {
  size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size()) return false;
  *control = Trim(text.substr(0, dot));
  *member = Trim(text.substr(dot + 1));
  return !control->empty() && !member->empty();
}

std::string HResultText(zelko::HResult hr) {
  if (int n = zelko::AutomationErrorNumber(hr)) return "automation error " + std::to_string(n);
  std::ostringstream s;
  s << "error 0x" << std::hex << static_cast<uint32_t>(hr);
  return s.str();
}

// What went wrong with Control.Member, in words, with Visual Basic's error number after them.
std::string MemberError(const std::string &control, const std::string &member, zelko::HResult hr,
                        bool method) {
  const std::string what = control + "." + member;
  if (hr == zelko::kUnknownName || hr == zelko::kMemberNotFound)
    return control + " has no " + (method ? "method " : "property ") + member +
           " (automation error 438)";
  if (hr == zelko::kInvalidPropertyValue)
    return "invalid value for " + what + " (" + HResultText(hr) + ")";
  if (hr == zelko::kSetNotPermitted) return what + " is read-only (" + HResultText(hr) + ")";
  if (hr == zelko::kGetNotAvailable) return what + " cannot be read (" + HResultText(hr) + ")";
  if (hr == zelko::kTypeMismatch) return what + ": type mismatch (automation error 13)";
  if (hr == zelko::kBadParamCount)
    return what + ": wrong number of arguments (automation error 450)";
  return what + ": " + HResultText(hr);
}

zelko::HResult StandardResult(StandardControl::SetResult r) {
  switch (r) {
    case StandardControl::SetResult::kDone:
      return zelko::kOk;
    case StandardControl::SetResult::kBadValue:
      return zelko::kInvalidPropertyValue;
    case StandardControl::SetResult::kReadOnly:
      return zelko::kSetNotPermitted;
    default:
      return zelko::kUnknownName;
  }
}

// As the keyboard does: a key goes where the control put its focus, such as the editor a grid
// cell opens at the first key typed into it.
QWidget *KeyReceiver(QWidget *control) {
  QWidget *inner = control->focusWidget();
  return inner != nullptr && control->isAncestorOf(inner) ? inner : control;
}

int KeyCode(const std::string &name, QString *text) {
  static const std::pair<const char *, int> kKeys[] = {
      {"Tab", Qt::Key_Tab},       {"Return", Qt::Key_Return},
      {"Enter", Qt::Key_Return},  {"Escape", Qt::Key_Escape},
      {"Left", Qt::Key_Left},     {"Right", Qt::Key_Right},
      {"Up", Qt::Key_Up},         {"Down", Qt::Key_Down},
      {"Home", Qt::Key_Home},     {"End", Qt::Key_End},
      {"Delete", Qt::Key_Delete}, {"Backspace", Qt::Key_Backspace},
      {"Space", Qt::Key_Space},   {"F1", Qt::Key_F1},
      {"PageUp", Qt::Key_PageUp}, {"PageDown", Qt::Key_PageDown}};
  for (const auto &[n, code] : kKeys) {
    if (zelko::EqualNoCase(n, name)) {
      if (code == Qt::Key_Space) *text = " ";
      if (code == Qt::Key_Return) *text = "\r";
      if (code == Qt::Key_Tab) *text = "\t";
      return code;
    }
  }
  return 0;
}

// Events of every keystroke, mouse move and click are printed only when traced.
bool Chatty(const std::string &event) {
  for (const char *e : {"Change", "KeyDown", "KeyUp", "KeyPress", "MouseDown", "MouseUp",
                        "MouseMove", "Click", "DblClick"}) {
    if (zelko::EqualNoCase(event, e)) return true;
  }
  return false;
}

const struct {
  const char *word;
  MessageAnswer answer;
} kAnswers[] = {{"OK", MessageAnswer::kOk},       {"Cancel", MessageAnswer::kCancel},
                {"Yes", MessageAnswer::kYes},     {"No", MessageAnswer::kNo},
                {"Retry", MessageAnswer::kRetry}, {"Ignore", MessageAnswer::kIgnore},
                {"Abort", MessageAnswer::kAbort}};

const char *AnswerWord(MessageAnswer answer) {
  for (const auto &a : kAnswers) {
    if (a.answer == answer) return a.word;
  }
  return "?";
}

// The answers a box with these buttons can give, the first being its default.
std::vector<MessageAnswer> Offered(zplatform::MessageButtons buttons) {
  using B = zplatform::MessageButtons;
  switch (buttons) {
    case B::kOkCancel:
      return {MessageAnswer::kOk, MessageAnswer::kCancel};
    case B::kYesNo:
      return {MessageAnswer::kYes, MessageAnswer::kNo};
    case B::kYesNoCancel:
      return {MessageAnswer::kYes, MessageAnswer::kNo, MessageAnswer::kCancel};
    case B::kRetryCancel:
      return {MessageAnswer::kRetry, MessageAnswer::kCancel};
    default:
      return {MessageAnswer::kOk};
  }
}

const char *IconWord(zplatform::MessageIcon icon) {
  switch (icon) {
    case zplatform::MessageIcon::kError:
      return "error ";
    case zplatform::MessageIcon::kWarning:
      return "warning ";
    case zplatform::MessageIcon::kQuestion:
      return "question ";
    case zplatform::MessageIcon::kInformation:
      return "information ";
    default:
      return "";
  }
}

// Two values the same for expect: numbers by value, texts by text, arrays element by element.
bool SameValue(const Variant &a, const Variant &b) {
  SafeArray *x = a.ArrayOrNull(), *y = b.ArrayOrNull();
  if (x != nullptr || y != nullptr) return DescribeValue(a) == DescribeValue(b);
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  auto number = [](const Variant &v) -> std::optional<double> {
    if (v.Type() != zplatform::kVtBstr) return v.AsDouble();
    std::string s = v.AsString().value_or("");
    char *end = nullptr;
    double d = zplatform::CStrtod(s.c_str(), &end);
    if (s.empty() || *end != '\0') return std::nullopt;
    return d;
  };
  auto na = number(a), nb = number(b);
  if (na && nb) return *na == *nb;
  return a.AsString().value_or("") == b.AsString().value_or("");
}

// Element `i` (from the lower bound) of a one-dimensional array as a value.
Variant ArrayElement(SafeArray &a, size_t i) {
  if (auto *e = a.StringElements()) return (*e)[i] ? Variant::String(*(*e)[i]) : Variant::Null();
  if (auto *b = a.ByteElements()) return Variant::UI1((*b)[i]);
  if (auto *v = a.VariantElements()) return (*v)[i];
  if (auto *n = a.I2Elements()) return Variant::I2((*n)[i]);
  if (auto *n4 = a.I4Elements()) return Variant::I4((*n4)[i]);
  if (auto *d = a.R8Elements()) return Variant::R8((*d)[i]);
  return Variant();
}

std::string Upper(const std::string &s) {
  return zplatform::UpperAscii(s);
}

// "List(3)" -> "List" and "3"; false when the member has no argument list.
bool IndexedMember(const std::string &member, std::string *name, std::string *args) {
  size_t open = member.find('(');
  if (open == std::string::npos || member.back() != ')') return false;
  *name = Trim(member.substr(0, open));
  *args = member.substr(open + 1, member.size() - open - 2);
  return true;
}

}  // namespace

std::string DescribeValue(const Variant &v) {
  if (v.IsNull()) return "Null";
  if (v.IsEmpty()) return "Empty";
  if (SafeArray *a = v.ArrayOrNull()) {
    std::string text = "(";
    for (size_t i = 0; i < a->ElementCount(); ++i) {
      if (i > 0) text += ", ";
      text += DescribeValue(ArrayElement(*a, i));
    }
    return text + ")";
  }
  if (v.Type() == zplatform::kVtBool) return v.AsInteger().value_or(0) ? "True" : "False";
  if (v.Type() == zplatform::kVtBstr) return "\"" + v.AsString().value_or("") + "\"";
  return v.AsString().value_or("?");
}

std::string MessageBoxLine(const zplatform::MessageRequest &request, MessageAnswer answer) {
  std::string text = zplatform::ToUtf8(request.text);
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
    text.replace(at, 1, "\\n");
  return std::string("msgbox ") + IconWord(request.icon) + text + " -> " + AnswerWord(answer);
}

MessageAnswer MessageBoxPrinter::Present(const zplatform::MessageRequest &request) {
  MessageAnswer answer = Offered(request.buttons).front();
  out_ << MessageBoxLine(request, answer) << "\n";
  return answer;
}

// Message boxes shown while a script runs: printed as "msgbox [icon] text -> answer" and
// answered from the script's queue, else as the presenter before it answers.
class MacroRunner::Presenter : public zplatform::MessagePresenter {
 public:
  Presenter(std::ostream &out, std::shared_ptr<zplatform::MessagePresenter> previous)
      : out_(out), previous_(std::move(previous)) {}
  MessageAnswer Present(const zplatform::MessageRequest &request) override {
    std::vector<MessageAnswer> offered = Offered(request.buttons);
    MessageAnswer answer;
    std::string note;
    bool scripted = !queued_.empty() || always_.has_value();
    if (scripted) {
      answer = always_.value_or(MessageAnswer::kOk);
      if (!queued_.empty()) {
        answer = queued_.front();
        queued_.pop_front();
      }
      if (std::find(offered.begin(), offered.end(), answer) == offered.end()) {
        note = std::string(" (") + AnswerWord(answer) + " is not one of its buttons)";
        answer = offered.front();
      }
    } else {
      answer = previous_ ? previous_->Present(request) : offered.front();
    }
    out_ << MessageBoxLine(request, answer) << note << "\n";
    return answer;
  }
  void Beep() override {
    if (previous_) previous_->Beep();
  }
  std::deque<MessageAnswer> queued_;
  std::optional<MessageAnswer> always_;

 private:
  std::ostream &out_;
  std::shared_ptr<zplatform::MessagePresenter> previous_;
};

struct MacroRunner::Place {
  FormHost *form = nullptr;
  std::string name;  // the control's name without its form
  zelko::Control *control = nullptr;
  StandardControl *standard = nullptr;
  QWidget *widget = nullptr;
};

MacroRunner::MacroRunner(FormHost &host, std::ostream &out)
    : MacroRunner(std::vector<FormHost *>{&host}, out) {}

MacroRunner::MacroRunner(std::vector<FormHost *> forms, std::ostream &out)
    : forms_(std::move(forms)), out_(out) {
  for (FormHost *form : forms_) {
    form->SetEventObserver(
        [this, form](const std::string &control, const std::string &event,
                     std::vector<Variant> &args) { OnEvent(form, control, event, args); });
  }
  auto &service = zplatform::MessageService::Instance();
  previous_presenter_ = service.Presenter();
  presenter_ = std::make_shared<Presenter>(out_, previous_presenter_);
  service.SetPresenter(presenter_);
}

MacroRunner::~MacroRunner() {
  zplatform::MessageService::Instance().SetPresenter(previous_presenter_);
  for (FormHost *form : forms_)
    form->SetEventObserver(nullptr);
}

void MacroRunner::Settle() {
  if (event_depth_ > 0) return;  // inside an event the event loop is not entered again
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
}

bool MacroRunner::Find(const std::string &qualified, Place *place, std::string *error) const {
  std::string name = qualified;
  std::vector<FormHost *> where = forms_;
  if (size_t bang = qualified.find('!'); bang != std::string::npos) {
    std::string form_name = Trim(qualified.substr(0, bang));
    name = Trim(qualified.substr(bang + 1));
    where.clear();
    for (FormHost *f : forms_) {
      if (zelko::EqualNoCase(f->FormName(), form_name) && !f->Unloaded()) where.push_back(f);
    }
    if (where.empty()) return *error = "no form named " + form_name + " is loaded", false;
  }
  for (FormHost *f : where) {
    if (f->Unloaded()) continue;
    Place p;
    p.form = f;
    p.name = name;
    p.control = f->FindControl(name);
    p.standard = p.control == nullptr ? f->FindStandard(name) : nullptr;
    p.widget = f->FindWidget(name);
    if (p.control != nullptr || p.standard != nullptr || p.widget != nullptr) {
      *place = p;
      return true;
    }
  }
  return *error = "the form has no control named " + name + " (automation error 424)", false;
}

// An expression: "text", a number (&H.. in hex), True, False, Null, Empty, Array(...),
// Bytes(...), a variable or one of its elements. A bare word that names no variable is its
// own text (older scripts pass words so); `variable` receives a bare variable's name.
bool MacroRunner::ParseExpression(const std::string &s, size_t *at, Variant *value,
                                  std::string *error, std::string *variable) {
  while (*at < s.size() && s[*at] == ' ')
    ++*at;
  if (*at >= s.size()) {
    *value = Variant();
    return true;
  }
  if (s[*at] == '"') {
    std::string text;
    ++*at;
    while (true) {
      if (*at >= s.size()) return *error = "a string is not closed: " + s, false;
      if (s[*at] == '"') {
        if (*at + 1 < s.size() && s[*at + 1] == '"') {
          text.push_back('"');
          *at += 2;
          continue;
        }
        ++*at;
        break;
      }
      text.push_back(s[(*at)++]);
    }
    *value = Variant::String(text);
    return true;
  }
  size_t start = *at;
  while (*at < s.size() && (IdentifierChar(s[*at]) || s[*at] == '&' || s[*at] == '.' ||
                            s[*at] == '-' || s[*at] == '+'))
    ++*at;
  std::string word = s.substr(start, *at - start);
  while (*at < s.size() && s[*at] == ' ')
    ++*at;
  // A call of Array or Bytes, or an element of a variable.
  if (*at < s.size() && s[*at] == '(' && !word.empty()) {
    // Each level is a call on the stack; a script has no use for more than a few.
    if (expression_depth_ >= kMaxExpressionNesting)
      return *error =
                 "expressions nested more than " + std::to_string(kMaxExpressionNesting) + " deep",
             false;
    ++expression_depth_;
    struct Leave {
      int &depth;
      ~Leave() { --depth; }
    } leave{expression_depth_};
    ++*at;
    std::vector<Variant> items;
    while (true) {
      while (*at < s.size() && s[*at] == ' ')
        ++*at;
      if (*at < s.size() && s[*at] == ')') {
        ++*at;
        break;
      }
      Variant item;
      if (!ParseExpression(s, at, &item, error)) return false;
      items.push_back(item);
      while (*at < s.size() && s[*at] == ' ')
        ++*at;
      if (*at < s.size() && s[*at] == ',') {
        ++*at;
      } else if (*at < s.size() && s[*at] == ')') {
        ++*at;
        break;
      } else {
        return *error = "\")\" is missing after " + word + "(", false;
      }
    }
    if (Same(word, "Array") || Same(word, "Bytes")) {
      bool bytes = Same(word, "Bytes");
      bool strings = !bytes && std::all_of(items.begin(), items.end(), [](const Variant &v) {
        return v.Type() == zplatform::kVtBstr;
      });
      auto array = SafeArray::Vector(bytes     ? zplatform::kVtUI1
                                     : strings ? zplatform::kVtBstr
                                               : zplatform::kVtVariant,
                                     0, static_cast<int32_t>(items.size()) - 1);
      for (size_t i = 0; i < items.size(); ++i) {
        if (bytes) {
          auto n = items[i].AsInteger();
          if (!n || *n < 0 || *n > 255)
            return *error = "Bytes takes numbers 0 to 255, not " + DescribeValue(items[i]), false;
          (*array->ByteElements())[i] = static_cast<uint8_t>(*n);
        } else if (strings) {
          (*array->StringElements())[i] = items[i].AsString();
        } else {
          (*array->VariantElements())[i] = items[i];
        }
      }
      *value = Variant::Array(array);
      return true;
    }
    auto found = variables_.find(Upper(word));
    if (found == variables_.end()) return *error = "no variable named " + word, false;
    SafeArray *a = found->second.ArrayOrNull();
    if (a == nullptr) return *error = word + " is not an array", false;
    auto index = items.size() == 1 ? items[0].AsInteger() : std::nullopt;
    if (!index) return *error = word + "() takes one index", false;
    if (*index < a->LowerBound() || *index > a->UpperBound()) {
      return *error = word + "(" + std::to_string(*index) + ") is out of range " +
                      std::to_string(a->LowerBound()) + " to " + std::to_string(a->UpperBound()),
             false;
    }
    *value = ArrayElement(*a, static_cast<size_t>(*index - a->LowerBound()));
    return true;
  }
  if (word.empty()) return *error = "a value was expected: " + s.substr(start), false;
  if (Same(word, "True")) return *value = Variant::Bool(true), true;
  if (Same(word, "False")) return *value = Variant::Bool(false), true;
  if (Same(word, "Null")) return *value = Variant::Null(), true;
  if (Same(word, "Empty")) return *value = Variant(), true;
  if (word.size() > 2 && word[0] == '&' && (word[1] == 'H' || word[1] == 'h')) {
    std::string digits = word.substr(2);
    if (!digits.empty() && digits.back() == '&') digits.pop_back();
    char *end = nullptr;
    errno = 0;
    long long n = std::strtoll(digits.c_str(), &end, 16);
    // Eight hex digits at most, as a Long holds them (&HFFFFFFFF is -1).
    if (digits.empty() || *end != '\0' || errno == ERANGE || n < 0 || n > 0xFFFFFFFFLL)
      return *error = "not a number: " + word, false;
    *value = n >= INT16_MIN && n <= INT16_MAX ? Variant::I2(static_cast<int16_t>(n))
                                              : Variant::I4(static_cast<int32_t>(n));
    return true;
  }
  char *end = nullptr;
  errno = 0;
  long long n = std::strtoll(word.c_str(), &end, 10);
  // A whole number past a Long is a Double, as in Visual Basic, never a wrapped Long.
  if (*end == '\0' && errno != ERANGE && n >= INT32_MIN && n <= INT32_MAX) {
    *value = n >= INT16_MIN && n <= INT16_MAX ? Variant::I2(static_cast<int16_t>(n))
                                              : Variant::I4(static_cast<int32_t>(n));
    return true;
  }
  double d = zplatform::CStrtod(word.c_str(), &end);
  if (*end == '\0') return *value = Variant::R8(d), true;
  auto found = variables_.find(Upper(word));
  if (variable != nullptr && std::all_of(word.begin(), word.end(), IdentifierChar))
    *variable = word;
  *value = found != variables_.end() ? found->second : Variant::String(word);
  return true;
}

bool MacroRunner::ParseWholeValue(const std::string &s, size_t at, Variant *value,
                                  std::string *error) {
  if (!ParseExpression(s, &at, value, error)) return false;
  while (at < s.size() && s[at] == ' ')
    ++at;
  // "x = 1 + 5" would otherwise set 1: values are literals, variables and calls.
  if (at < s.size()) return *error = "unexpected text after the value: " + s.substr(at), false;
  return true;
}

bool MacroRunner::ParseArguments(const std::string &s, std::vector<Variant> *values,
                                 std::vector<std::string> *variables, std::string *error) {
  size_t at = 0;
  while (at < s.size()) {
    Variant v;
    std::string variable;
    if (!ParseExpression(s, &at, &v, error, &variable)) return false;
    values->push_back(v);
    variables->push_back(variable);
    while (at < s.size() && s[at] == ' ')
      ++at;
    if (at < s.size()) {
      if (s[at] != ',') return *error = "\",\" expected between arguments: " + s, false;
      ++at;
    }
  }
  return true;
}

int MacroRunner::Run(const std::string &script, std::ostream &errors,
                     const std::string &source_name) {
  std::istringstream in(script);
  std::string line;
  int failed = 0, number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string error;
    bool ok = RunLine(line, &error);
    // Statements of event handlers that failed while this line ran count against it.
    for (const std::string &e : event_errors_) {
      errors << source_name << ":" << number << ": " << e << "\n";
      ++failed;
    }
    event_errors_.clear();
    if (!ok) {
      ++failed;
      errors << source_name << ":" << number << ": " << error << "\n";
    }
  }
  out_.flush();
  return failed;
}

bool MacroRunner::ReadTarget(const std::string &target, Variant *value, std::string *error) {
  std::string control_name, member;
  if (target.find('.') == std::string::npos) {
    size_t at = 0;
    std::string word = Trim(target);
    if (word.empty() || !std::all_of(word.begin(), word.end(), [](char c) {
          return IdentifierChar(c) || c == '(' || c == ')' || c == ' ' || c == '-';
        }))
      return *error = "a property or a variable was expected: " + target, false;
    if (word.find('(') == std::string::npos && !variables_.count(Upper(word)))
      return *error = "no variable named " + word, false;
    return ParseExpression(word, &at, value, error);
  }
  if (!Member(target, &control_name, &member))
    return *error = "Control.Property was expected: " + target, false;
  Place p;
  if (!Find(control_name, &p, error)) return false;
  zelko::HResult hr = zelko::kUnknownName;
  std::string indexed, index_text;
  if (p.control != nullptr && IndexedMember(member, &indexed, &index_text)) {
    // An indexed property (List(3), ItemData(2)) is read through its method.
    std::vector<Variant> args;
    std::vector<std::string> names;
    if (!ParseArguments(index_text, &args, &names, error)) return false;
    hr = p.control->Invoke(indexed, args, value);
    if (hr != zelko::kOk) return *error = MemberError(control_name, indexed, hr, false), false;
    return true;
  }
  if (p.control != nullptr) {
    hr = p.control->GetProperty(member, value);
  } else if (p.standard != nullptr && p.standard->Get(member, value)) {
    hr = zelko::kOk;
  }
  if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, false), false;
  return true;
}

bool MacroRunner::Assign(const std::string &target, const std::string &value_text,
                         std::string *error) {
  Variant value;
  if (!ParseWholeValue(value_text, 0, &value, error)) return false;
  std::string control_name, member;
  if (target.find('.') == std::string::npos) {
    std::string name = Trim(target);
    if (name.empty() || !std::all_of(name.begin(), name.end(), IdentifierChar))
      return *error = "not a variable name: " + name, false;
    variables_[Upper(name)] = value;
    return true;
  }
  if (!Member(target, &control_name, &member))
    return *error = "Control.Property was expected: " + target, false;
  Place p;
  if (!Find(control_name, &p, error)) return false;
  std::string indexed, index_text;
  if (p.control != nullptr && IndexedMember(member, &indexed, &index_text)) {
    std::vector<Variant> args;
    std::vector<std::string> names;
    if (!ParseArguments(index_text, &args, &names, error)) return false;
    args.push_back(value);
    Variant ignored;
    zelko::HResult hr = p.control->Invoke(indexed, args, &ignored);
    if (hr != zelko::kOk) return *error = MemberError(control_name, indexed, hr, false), false;
    Settle();
    return true;
  }
  zelko::HResult hr = p.control != nullptr    ? p.control->PutProperty(member, value)
                      : p.standard != nullptr ? StandardResult(p.standard->Set(member, value))
                                              : zelko::kUnknownName;
  if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, false), false;
  Settle();
  return true;
}

bool MacroRunner::Call(const std::string &rest, std::string *error) {
  size_t end = rest.find(' ');
  std::string target = rest.substr(0, end);
  std::string args_text = end == std::string::npos ? std::string() : rest.substr(end + 1);
  std::string control_name, member;
  if (!Member(target, &control_name, &member)) return *error = "call needs Control.Method", false;
  Place p;
  if (!Find(control_name, &p, error)) return false;
  std::vector<Variant> args;
  std::vector<std::string> names;
  if (!ParseArguments(args_text, &args, &names, error)) return false;
  if (p.control == nullptr) {
    if (p.standard == nullptr) return *error = control_name + " has no methods", false;
    if (!p.standard->Call(member, args, error)) return false;
    out_ << control_name << "." << member << "\n";
    Settle();
    return true;
  }
  const zelko::MethodInfo *m = p.control->Class().Method(member);
  if (m == nullptr)
    return *error = MemberError(control_name, member, zelko::kUnknownName, true), false;
  Variant result;
  zelko::HResult hr = p.control->Invoke(member, args, &result);
  if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, true), false;
  std::string out = control_name + "." + m->name;
  if (m->has_result) out += " = " + DescribeValue(result);
  for (size_t i = 0; i < m->params.size() && i < args.size(); ++i) {
    if (!m->params[i].by_ref) continue;
    out += std::string(" ") + m->params[i].name + "=" + DescribeValue(args[i]);
    // A variable given for an out-argument receives it.
    if (i < names.size() && !names[i].empty()) variables_[Upper(names[i])] = args[i];
  }
  out_ << out << "\n";
  Settle();
  return true;
}

bool MacroRunner::Expect(const std::string &rest, std::string *error) {
  size_t eq = rest.find('=');
  if (eq == std::string::npos) return *error = "expect needs Target = value", false;
  std::string target = Trim(rest.substr(0, eq));
  Variant actual, expected;
  if (!ReadTarget(target, &actual, error)) return false;
  if (!ParseWholeValue(rest, eq + 1, &expected, error)) return false;
  if (!SameValue(actual, expected)) {
    return *error = "expected " + target + " = " + DescribeValue(expected) + ", found " +
                    DescribeValue(actual),
           false;
  }
  return true;
}

bool MacroRunner::UserAction(const std::string &verb, const std::string &rest, std::string *error) {
  size_t end = rest.find(' ');
  std::string control_name = rest.substr(0, end);
  std::string arg = end == std::string::npos ? std::string() : Trim(rest.substr(end + 1));
  Place p;
  if (!Find(control_name, &p, error)) return false;
  QWidget *w = p.widget;
  if (w == nullptr) return *error = control_name + " has no window to act on", false;
  QWidget *target = w->focusProxy() != nullptr ? w->focusProxy() : w;
  if ((Same(verb, "click") || Same(verb, "focus")) && !arg.empty())
    return *error = verb + " takes a control alone, not " + arg, false;
  if (Same(verb, "click")) {
    QPointF center(w->width() / 2.0, w->height() / 2.0);
    QPointF global = w->mapToGlobal(center);
    QMouseEvent press(QEvent::MouseButtonPress, center, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, center, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
  } else if (Same(verb, "select")) {
    // Chooses item N of a list or combo box as a click on it would.
    char *end = nullptr;
    long n = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end != '\0') return *error = "select needs Control N", false;
    if (auto *list = qobject_cast<QListWidget *>(target)) {
      if (n < 0 || n >= list->count()) return *error = control_name + " has no item " + arg, false;
      list->setCurrentRow(static_cast<int>(n));
      emit list->itemClicked(list->item(static_cast<int>(n)));
    } else if (auto *combo = qobject_cast<QComboBox *>(target)) {
      if (n < 0 || n >= combo->count()) return *error = control_name + " has no item " + arg, false;
      combo->setCurrentIndex(static_cast<int>(n));
      emit combo->activated(static_cast<int>(n));
    } else {
      return *error = control_name + " is not a list", false;
    }
  } else if (Same(verb, "focus")) {
    target->setFocus(Qt::OtherFocusReason);
    QApplication::setActiveWindow(w->window());
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    if (!target->hasFocus()) QApplication::sendEvent(target, &in);
  } else if (Same(verb, "type")) {
    Variant text;
    if (!ParseWholeValue(arg, 0, &text, error)) return false;
    for (QChar ch : QString::fromStdString(text.AsString().value_or(""))) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
      QWidget *receiver = KeyReceiver(target);
      QApplication::sendEvent(receiver, &press);
      QApplication::sendEvent(receiver, &release);
    }
  } else {
    QString text;
    int code = KeyCode(arg, &text);
    if (code == 0) return *error = "unknown key " + arg, false;
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QWidget *receiver = KeyReceiver(target);
    QApplication::sendEvent(receiver, &press);
    QApplication::sendEvent(receiver, &release);
  }
  Settle();
  return true;
}

bool MacroRunner::FormStatement(const std::string &verb, const std::string &rest,
                                std::string *error) {
  FormHost *form = nullptr;
  for (FormHost *f : forms_) {
    if (zelko::EqualNoCase(f->FormName(), rest) && !f->Unloaded()) form = f;
  }
  if (form == nullptr) return *error = "no form named " + rest + " is loaded", false;
  if (Same(verb, "show")) {
    form->Window()->show();
  } else if (Same(verb, "hide")) {
    form->Window()->hide();
  } else {
    form->Unload();
  }
  Settle();
  return true;
}

bool MacroRunner::RunLine(const std::string &raw, std::string *error) {
  std::string line = Trim(raw);
  if (line.empty() || line[0] == '\'' || line[0] == '#') return true;
  size_t space = line.find(' ');
  std::string verb = line.substr(0, space);
  std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space + 1));
  if (designer_ != nullptr) {
    bool handled = false;
    bool done = DesignStatement(verb, rest, &handled, error);
    if (handled) return done;
  }

  if (Same(verb, "print")) {
    Variant v;
    if (!ReadTarget(rest, &v, error)) return false;
    SafeArray *a = v.ArrayOrNull();
    if (a != nullptr && rest.find('.') == std::string::npos) {
      // An array variable: one element a line with its index.
      for (size_t i = 0; i < a->ElementCount(); ++i) {
        out_ << rest << "(" << a->LowerBound() + static_cast<int32_t>(i)
             << ") = " << DescribeValue(ArrayElement(*a, i)) << "\n";
      }
      return true;
    }
    out_ << rest << " = " << DescribeValue(v) << "\n";
    return true;
  }
  if (Same(verb, "call")) return Call(rest, error);
  if (Same(verb, "expect")) return Expect(rest, error);
  if (Same(verb, "trace")) {
    if (!Same(rest, "all") && !Same(rest, "some")) return *error = "trace all or trace some", false;
    trace_all_ = Same(rest, "all");
    return true;
  }
  if (Same(verb, "dim")) {
    // dim NAME(UPPER) or dim NAME(LOWER To UPPER) [As String|Byte|Variant]
    size_t open = rest.find('('), close = rest.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
      return *error = "dim needs NAME(UPPER) [As String|Byte|Variant]", false;
    std::string name = Trim(rest.substr(0, open));
    std::string bounds = rest.substr(open + 1, close - open - 1);
    std::string type = Trim(rest.substr(close + 1));
    long long lower = 0, upper = 0;
    size_t to = Upper(bounds).find(" TO ");
    // Each bound a whole number of 32 bits: "dim a(x)" or a bound past the range is refused.
    auto bound = [](const std::string &text, long long *value) {
      std::string t = Trim(text);
      char *end = nullptr;
      errno = 0;
      *value = std::strtoll(t.c_str(), &end, 10);
      return !t.empty() && *end == '\0' && errno == 0 && *value >= INT32_MIN && *value <= INT32_MAX;
    };
    bool bounds_ok = to != std::string::npos ? bound(bounds.substr(0, to), &lower) &&
                                                   bound(bounds.substr(to + 4), &upper)
                                             : bound(bounds, &upper);
    if (name.empty() || !std::all_of(name.begin(), name.end(), IdentifierChar) || !bounds_ok ||
        upper < lower - 1 || upper - lower > 65535)
      return *error = "dim needs NAME(UPPER) [As String|Byte|Variant]", false;
    zplatform::VarType element = zplatform::kVtBstr;
    if (!type.empty()) {
      std::string t = Upper(type);
      if (t == "AS BYTE") {
        element = zplatform::kVtUI1;
      } else if (t == "AS VARIANT") {
        element = zplatform::kVtVariant;
      } else if (t != "AS STRING") {
        return *error = "dim takes As String, As Byte or As Variant", false;
      }
    }
    variables_[Upper(name)] = Variant::Array(
        SafeArray::Vector(element, static_cast<int32_t>(lower), static_cast<int32_t>(upper)));
    return true;
  }
  if (Same(verb, "answer")) {
    bool always = false;
    std::string word = rest;
    if (Upper(word).rfind("ALWAYS ", 0) == 0) {
      always = true;
      word = Trim(word.substr(7));
    }
    for (const auto &a : kAnswers) {
      if (!Same(word, a.word)) continue;
      if (always) {
        presenter_->always_ = a.answer;
      } else {
        presenter_->queued_.push_back(a.answer);
      }
      return true;
    }
    return *error = "answer takes OK, Cancel, Yes, No, Retry, Ignore or Abort", false;
  }
  if (Same(verb, "wait")) {
    char *end = nullptr;
    errno = 0;
    long ms = std::strtol(rest.c_str(), &end, 10);
    // A number past the range would be read as the largest and wait for ever.
    if (rest.empty() || *end != '\0' || ms < 0 || ms > INT_MAX || errno == ERANGE)
      return *error = "wait takes milliseconds (0 to 2147483647)", false;
    QElapsedTimer timer;
    timer.start();
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      if (timer.elapsed() < ms) QThread::msleep(1);
    } while (timer.elapsed() < ms);
    return true;
  }
  if (Same(verb, "show") || Same(verb, "hide") || Same(verb, "unload"))
    return FormStatement(verb, rest, error);
  if (Same(verb, "on")) {
    // on Control.Event STATEMENT
    size_t gap = rest.find(' ');
    std::string control_name, member;
    if (gap == std::string::npos || !Member(rest.substr(0, gap), &control_name, &member))
      return *error = "on needs: on Control.Event STATEMENT", false;
    std::string statement = Trim(rest.substr(gap + 1));
    Place p;
    if (!Find(control_name, &p, error)) return false;
    handlers_.push_back({control_name, member, statement});
    return true;
  }
  if (Same(verb, "click") || Same(verb, "focus") || Same(verb, "type") || Same(verb, "key") ||
      Same(verb, "select"))
    return UserAction(verb, rest, error);
  // Target = value
  size_t eq = line.find('=');
  if (eq != std::string::npos) return Assign(Trim(line.substr(0, eq)), line.substr(eq + 1), error);
  *error = "unknown statement \"" + verb + "\"";
  return false;
}

void MacroRunner::OnEvent(FormHost *form, const std::string &control, const std::string &event,
                          std::vector<Variant> &args) {
  zelko::Control *c = form->FindControl(control);
  const zelko::EventInfo *info = c != nullptr ? c->Class().Event(event) : nullptr;
  std::string name =
      forms_.size() > 1 && form != forms_.front() ? form->FormName() + "!" + control : control;
  std::string line = "event " + name + "." + event;
  for (size_t i = 0; i < args.size(); ++i) {
    line += " " + std::string(info && i < info->params.size() ? info->params[i].name : "?") + "=" +
            DescribeValue(args[i]);
  }
  bool answered = false;
  std::vector<std::string> statements;
  for (const Handler &h : handlers_) {
    if (!zelko::EqualNoCase(h.event, event)) continue;
    std::string handler_control = h.control;
    if (size_t bang = handler_control.find('!'); bang != std::string::npos) {
      if (!zelko::EqualNoCase(handler_control.substr(0, bang), form->FormName())) continue;
      handler_control = handler_control.substr(bang + 1);
    } else if (form != forms_.front() && forms_.front()->FindWidget(control) != nullptr) {
      continue;  // an unqualified name means the first form's control
    }
    if (!zelko::EqualNoCase(handler_control, control)) continue;
    // "set Arg = value" answers one of the event's arguments; anything else is a statement.
    std::string lower = h.statement;
    if (Same(lower.substr(0, 4), "set ")) {
      std::string assignment = Trim(lower.substr(4));
      size_t eq = assignment.find('=');
      std::string arg = eq == std::string::npos ? std::string() : Trim(assignment.substr(0, eq));
      bool is_argument = false;
      for (size_t i = 0; info != nullptr && i < info->params.size() && i < args.size(); ++i) {
        if (!zelko::EqualNoCase(info->params[i].name, arg)) continue;
        is_argument = true;
        Variant value;
        std::string error;
        if (!ParseWholeValue(assignment, eq + 1, &value, &error)) {
          event_errors_.push_back("in " + name + "." + event + ": " + error);
          break;
        }
        args[i] = value;
        line += " -> " + arg + "=" + DescribeValue(value);
        answered = true;
      }
      if (is_argument) continue;
      statements.push_back(assignment);
      continue;
    }
    statements.push_back(h.statement);
  }
  if (trace_all_ || !Chatty(event) || answered || !statements.empty()) out_ << line << "\n";
  // The handlers' statements run while the event is running, in the order declared.
  ++event_depth_;
  for (const std::string &statement : statements) {
    std::string error;
    if (!RunLine(statement, &error))
      event_errors_.push_back("in " + name + "." + event + ": " + error);
  }
  --event_depth_;
}

namespace {

// The words of a design statement; a double-quoted word keeps its blanks.
std::vector<std::string> DesignWords(const std::string &text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ')
      ++at;
    if (at >= text.size()) break;
    if (text[at] == '"') {
      size_t end = text.find('"', at + 1);
      words.push_back(
          text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
      at = end == std::string::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(' ', at);
      words.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end == std::string::npos ? text.size() : end;
    }
  }
  return words;
}

bool Twips(const std::string &text, long long *value) {
  char *end = nullptr;
  *value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

// A page's list by its label ("ﾃﾞｰﾀｿｰｽ") or the property it writes ("DbSource").
bool PageListNamed(const zelko::PropertyPage &page, const std::string &name,
                   zelko::PageList *list) {
  for (const zelko::PageListSpec &spec : page.Spec().lists) {
    if (name == spec.label || zelko::EqualNoCase(name, spec.property)) {
      *list = spec.list;
      return true;
    }
  }
  return false;
}

std::string Joined(const std::vector<std::string> &items) {
  std::string text;
  for (const std::string &item : items)
    text += (text.empty() ? "" : ",") + item;
  return text;
}

}  // namespace

bool MacroRunner::DesignStatement(const std::string &verb, const std::string &rest, bool *handled,
                                  std::string *error) {
  std::vector<std::string> w = DesignWords(rest);
  *handled = true;
  long long a = 0, b = 0, c = 0, d = 0;
  if (Same(verb, "select") && w.size() == 1) return designer_->Select(w[0], error);
  if (Same(verb, "move")) {
    if (w.size() != 3 || !Twips(w[1], &a) || !Twips(w[2], &b))
      return *error = "move Control LEFT TOP (twips)", false;
    return designer_->Move(w[0], a, b, error);
  }
  if (Same(verb, "resize")) {
    if (w.size() != 3 || !Twips(w[1], &a) || !Twips(w[2], &b))
      return *error = "resize Control WIDTH HEIGHT (twips)", false;
    return designer_->Resize(w[0], a, b, error);
  }
  if (Same(verb, "add")) {
    if (w.size() != 6 || !Twips(w[2], &a) || !Twips(w[3], &b) || !Twips(w[4], &c) ||
        !Twips(w[5], &d))
      return *error = "add CLASS NAME LEFT TOP WIDTH HEIGHT (twips)", false;
    return designer_->Add(w[0], w[1], a, b, c, d, error);
  }
  if (Same(verb, "delete") && w.size() == 1) return designer_->Delete(w[0], error);
  if (Same(verb, "save") && w.size() <= 1) return designer_->Save(w.empty() ? "" : w[0], error);
  if (Same(verb, "undo") && w.empty()) return designer_->Undo(error);
  if (Same(verb, "redo") && w.empty()) return designer_->Redo(error);
  bool printing = Same(verb, "print") && !w.empty() && Same(w[0], "page");
  if (!Same(verb, "page") && !printing) {
    *handled = false;
    return false;
  }
  if (printing) w.erase(w.begin());
  zelko::PropertyPage *page = designer_->Page();
  // page Control [N]: opens it.
  if (!printing && !w.empty() && !Same(w[0], "choose") && !Same(w[0], "apply") &&
      !Same(w[0], "fields") && !Same(w[0], "edit") && !Same(w[0], "ddfdir")) {
    int index = w.size() > 1 ? std::atoi(w[1].c_str()) - 1 : 0;
    return designer_->OpenPage(w[0], index, error) != nullptr;
  }
  if (page == nullptr) return *error = "no property page is open (page Control)", false;
  if (printing) {
    // print page LIST | print page fields | print page dirty
    if (w.size() == 1 && Same(w[0], "fields")) {
      out_ << "page available = " << Joined(page->Available())
           << "; chosen = " << Joined(page->Chosen()) << "\n";
      return true;
    }
    if (w.size() == 1 && Same(w[0], "dirty")) {
      out_ << "page dirty = " << (page->Dirty() ? "True" : "False") << "\n";
      return true;
    }
    zelko::PageList list;
    if (w.size() != 1 || !PageListNamed(*page, w[0], &list))
      return *error = "print page LIST (a label or property of the page's lists)", false;
    out_ << "page " << w[0] << " = " << Joined(page->Items(list))
         << "; selected = " << page->Selected(list) << "\n";
    return true;
  }
  if (Same(w[0], "apply") && w.size() == 1) return designer_->ApplyPage(error);
  if (Same(w[0], "choose") && w.size() == 3) {
    zelko::PageList list;
    if (!PageListNamed(*page, w[1], &list)) return *error = "the page has no list " + w[1], false;
    if (!page->Choose(list, w[2])) return *error = "the list " + w[1] + " has no " + w[2], false;
    return true;
  }
  if (Same(w[0], "fields") && w.size() >= 2 &&
      (w[1] == ">" || w[1] == "<" || w[1] == ">>" || w[1] == "<<")) {
    std::vector<std::string> names(w.begin() + 2, w.end());
    if (w[1].size() == 2)
      names.clear();
    else if (names.empty())
      return *error = "page fields > NAME ... (or >> for all)", false;
    page->Move(names, w[1][0] == '>');
    return true;
  }
  if (Same(w[0], "edit") && w.size() == 2) {
    page->SetEditText(w[1]);
    return true;
  }
  if (Same(w[0], "ddfdir") && w.size() == 2) {
    page->SetDdfDir(w[1]);
    return true;
  }
  return *error =
             "page Control [N] | page choose LIST \"entry\" | page fields >|>>|<|<< NAME... |"
             " page edit \"text\" | page ddfdir \"dir\" | page apply",
         false;
}

}  // namespace zelkoform
