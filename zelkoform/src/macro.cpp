#include "macro.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <sstream>

namespace zelkoform {

using zelko::Variant;

namespace {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Splits "Control.Member".
bool Member(const std::string &text, std::string *control, std::string *member) {
  size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size()) return false;
  *control = Trim(text.substr(0, dot));
  *member = Trim(text.substr(dot + 1));
  return true;
}

// One value token from `s` at `at`: "text" ("" for a quote), or up to a comma.
Variant ParseValue(const std::string &s, size_t *at) {
  while (*at < s.size() && s[*at] == ' ')
    ++*at;
  if (*at < s.size() && s[*at] == '"') {
    std::string text;
    ++*at;
    while (*at < s.size()) {
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
    return Variant::String(text);
  }
  size_t end = s.find(',', *at);
  std::string token = Trim(s.substr(*at, end == std::string::npos ? std::string::npos : end - *at));
  *at = end == std::string::npos ? s.size() : end;
  if (token.empty()) return Variant();
  if (zelko::EqualNoCase(token, "True")) return Variant::Bool(true);
  if (zelko::EqualNoCase(token, "False")) return Variant::Bool(false);
  if (zelko::EqualNoCase(token, "Null")) return Variant::Null();
  char *end_ptr = nullptr;
  long long n = std::strtoll(token.c_str(), &end_ptr, 10);
  if (*end_ptr == '\0') {
    if (n >= INT16_MIN && n <= INT16_MAX) return Variant::I2(static_cast<int16_t>(n));
    return Variant::I4(static_cast<int32_t>(n));
  }
  double d = std::strtod(token.c_str(), &end_ptr);
  if (*end_ptr == '\0') return Variant::R8(d);
  return Variant::String(token);
}

std::vector<Variant> ParseArguments(const std::string &s) {
  std::vector<Variant> args;
  size_t at = 0;
  while (at < s.size()) {
    args.push_back(ParseValue(s, &at));
    while (at < s.size() && s[at] == ' ')
      ++at;
    if (at < s.size() && s[at] == ',') ++at;
  }
  return args;
}

void Settle() {
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
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

std::string NoControl(const std::string &name) {
  return "the form has no control named " + name + " (automation error 424)";
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

}  // namespace

std::string DescribeValue(const Variant &v) {
  if (v.IsNull()) return "Null";
  if (v.IsEmpty()) return "Empty";
  if (v.ArrayOrNull() != nullptr) return "(array)";
  if (v.Type() == zplatform::kVtBool) return v.AsInteger().value_or(0) ? "True" : "False";
  if (v.Type() == zplatform::kVtBstr) return "\"" + v.AsString().value_or("") + "\"";
  return v.AsString().value_or("?");
}

MacroRunner::MacroRunner(FormHost &host, std::ostream &out) : host_(host), out_(out) {
  host_.SetEventObserver([this](const std::string &control, const std::string &event,
                                std::vector<Variant> &args) { OnEvent(control, event, args); });
}

namespace {
// Events of every keystroke and mouse move are printed only when traced.
bool Chatty(const std::string &event) {
  for (const char *e : {"Change", "KeyDown", "KeyUp", "KeyPress", "MouseDown", "MouseUp",
                        "MouseMove", "Click", "DblClick"}) {
    if (zelko::EqualNoCase(event, e)) return true;
  }
  return false;
}
}  // namespace

void MacroRunner::OnEvent(const std::string &control, const std::string &event,
                          std::vector<Variant> &args) {
  zelko::Control *c = host_.FindControl(control);
  const zelko::EventInfo *info = c != nullptr ? c->Class().Event(event) : nullptr;
  std::string line = "event " + control + "." + event;
  for (size_t i = 0; i < args.size(); ++i) {
    line += " " + std::string(info && i < info->params.size() ? info->params[i].name : "?") + "=" +
            DescribeValue(args[i]);
  }
  for (const Answer &a : answers_) {
    if (!zelko::EqualNoCase(a.control, control) || !zelko::EqualNoCase(a.event, event) ||
        info == nullptr)
      continue;
    for (size_t i = 0; i < info->params.size() && i < args.size(); ++i) {
      if (zelko::EqualNoCase(info->params[i].name, a.arg)) {
        args[i] = a.value;
        line += " -> " + a.arg + "=" + DescribeValue(a.value);
      }
    }
  }
  if (trace_all_ || !Chatty(event) || line.find(" -> ") != std::string::npos) out_ << line << "\n";
}

int MacroRunner::Run(const std::string &script, std::ostream &errors,
                     const std::string &source_name) {
  std::istringstream in(script);
  std::string line;
  int failed = 0, number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string error;
    if (!RunLine(line, &error)) {
      ++failed;
      errors << source_name << ":" << number << ": " << error << "\n";
    }
  }
  return failed;
}

bool MacroRunner::RunLine(const std::string &raw, std::string *error) {
  std::string line = Trim(raw);
  if (line.empty() || line[0] == '\'' || line[0] == '#') return true;
  size_t space = line.find(' ');
  std::string verb = line.substr(0, space);
  std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space + 1));
  std::string control_name, member;

  if (zelko::EqualNoCase(verb, "print")) {
    if (!Member(rest, &control_name, &member))
      return *error = "print needs Control.Property", false;
    zelko::Control *c = host_.FindControl(control_name);
    StandardControl *standard = c == nullptr ? host_.FindStandard(control_name) : nullptr;
    if (c == nullptr && standard == nullptr) return *error = NoControl(control_name), false;
    Variant v;
    zelko::HResult hr = c != nullptr                ? c->GetProperty(member, &v)
                        : standard->Get(member, &v) ? zelko::kOk
                                                    : zelko::kUnknownName;
    if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, false), false;
    out_ << control_name << "." << member << " = " << DescribeValue(v) << "\n";
    return true;
  }
  if (zelko::EqualNoCase(verb, "call")) {
    size_t end = rest.find(' ');
    std::string target = rest.substr(0, end);
    std::string args_text = end == std::string::npos ? std::string() : rest.substr(end + 1);
    if (!Member(target, &control_name, &member)) return *error = "call needs Control.Method", false;
    zelko::Control *c = host_.FindControl(control_name);
    std::vector<Variant> args = ParseArguments(args_text);
    if (c == nullptr) {
      StandardControl *standard = host_.FindStandard(control_name);
      if (standard == nullptr) return *error = NoControl(control_name), false;
      if (!standard->Call(member, args, error)) return false;
      out_ << control_name << "." << member << "\n";
      Settle();
      return true;
    }
    const zelko::MethodInfo *m = c->Class().Method(member);
    if (m == nullptr)
      return *error = MemberError(control_name, member, zelko::kUnknownName, true), false;
    Variant result;
    zelko::HResult hr = c->Invoke(member, args, &result);
    if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, true), false;
    std::string out = control_name + "." + m->name;
    if (m->has_result) out += " = " + DescribeValue(result);
    for (size_t i = 0; i < m->params.size() && i < args.size(); ++i) {
      if (m->params[i].by_ref)
        out += std::string(" ") + m->params[i].name + "=" + DescribeValue(args[i]);
    }
    out_ << out << "\n";
    Settle();
    return true;
  }
  if (zelko::EqualNoCase(verb, "trace")) {
    trace_all_ = zelko::EqualNoCase(rest, "all");
    return true;
  }
  if (zelko::EqualNoCase(verb, "on")) {
    // on Control.Event set Arg = value
    size_t set = rest.find(" set ");
    if (set == std::string::npos)
      return *error = "on needs: on Control.Event set Arg = value", false;
    if (!Member(rest.substr(0, set), &control_name, &member))
      return *error = "on needs Control.Event", false;
    std::string assignment = rest.substr(set + 5);
    size_t eq = assignment.find('=');
    if (eq == std::string::npos) return *error = "on needs Arg = value", false;
    size_t at = eq + 1;
    answers_.push_back(
        {control_name, member, Trim(assignment.substr(0, eq)), ParseValue(assignment, &at)});
    return true;
  }
  if (zelko::EqualNoCase(verb, "click") || zelko::EqualNoCase(verb, "focus") ||
      zelko::EqualNoCase(verb, "type") || zelko::EqualNoCase(verb, "key")) {
    size_t end = rest.find(' ');
    control_name = rest.substr(0, end);
    std::string arg = end == std::string::npos ? std::string() : Trim(rest.substr(end + 1));
    QWidget *w = host_.FindWidget(control_name);
    if (w == nullptr) return *error = NoControl(control_name), false;
    QWidget *target = w->focusProxy() != nullptr ? w->focusProxy() : w;
    if (zelko::EqualNoCase(verb, "click")) {
      QPointF center(w->width() / 2.0, w->height() / 2.0);
      QPointF global = w->mapToGlobal(center);
      QMouseEvent press(QEvent::MouseButtonPress, center, global, Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
      QMouseEvent release(QEvent::MouseButtonRelease, center, global, Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
      QApplication::sendEvent(w, &press);
      QApplication::sendEvent(w, &release);
    } else if (zelko::EqualNoCase(verb, "focus")) {
      target->setFocus(Qt::OtherFocusReason);
      QApplication::setActiveWindow(w->window());
      QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
      if (!target->hasFocus()) QApplication::sendEvent(target, &in);
    } else if (zelko::EqualNoCase(verb, "type")) {
      size_t at = 0;
      Variant text = ParseValue(arg, &at);
      for (QChar ch : QString::fromStdString(text.AsString().value_or(""))) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
      }
    } else {
      QString text;
      int code = KeyCode(arg, &text);
      if (code == 0) return *error = "unknown key " + arg, false;
      QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
      QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
      QApplication::sendEvent(target, &press);
      QApplication::sendEvent(target, &release);
    }
    Settle();
    return true;
  }
  // Control.Property = value
  size_t eq = line.find('=');
  if (eq != std::string::npos && Member(line.substr(0, eq), &control_name, &member)) {
    zelko::Control *c = host_.FindControl(control_name);
    StandardControl *standard = c == nullptr ? host_.FindStandard(control_name) : nullptr;
    if (c == nullptr && standard == nullptr) return *error = NoControl(control_name), false;
    size_t at = eq + 1;
    Variant value = ParseValue(line, &at);
    zelko::HResult hr =
        c != nullptr ? c->PutProperty(member, value) : StandardResult(standard->Set(member, value));
    if (hr != zelko::kOk) return *error = MemberError(control_name, member, hr, false), false;
    Settle();
    return true;
  }
  *error = "not understood: " + line;
  return false;
}

}  // namespace zelkoform
