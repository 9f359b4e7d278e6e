// Scripts that drive hosted forms, one statement a line (README: "The macro language"):
//   Control.Property = value          print Control.Property      print var    print var(2)
//   call Control.Method arg, ...      (prints the result and the out-arguments; a variable
//                                      given for an out-argument receives it)
//   var = value                       dim var(5) [As String|Byte|Variant]
//   click Control    type Control "text"    focus Control    key Control Name
//   on Control.Event set Arg = value  on Control.Event STATEMENT  (while the event runs)
//   answer [always] OK|Cancel|Yes|No|Retry|Ignore|Abort   (the next message box's answer)
//   show Form    hide Form    unload Form    wait MILLISECONDS
//   expect Control.Property = value   (a failed expectation fails the run)
//   trace all | trace some            (print every event, or all but keys, mouse, Change)
// Form!Control names a control of another loaded form. Lines starting with ' or # are
// comments. Values: "text", numbers (&H41 in hex), True, False, Null, Empty,
// Array(v, ...), Bytes(n, ...), variables and their elements.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "form_host.h"
#include "zplatform/messages.h"

namespace zelkoform {

class Designer;

class MacroRunner {
 public:
  MacroRunner(FormHost &host, std::ostream &out);
  // Several forms in one process; the first is the one unqualified names look in first.
  MacroRunner(std::vector<FormHost *> forms, std::ostream &out);
  ~MacroRunner();
  MacroRunner(const MacroRunner &) = delete;
  MacroRunner &operator=(const MacroRunner &) = delete;

  // Runs every line; a failing statement is reported on `errors` as "SOURCE:LINE: what went
  // wrong" and the run goes on. Returns the number of failed statements.
  int Run(const std::string &script, std::ostream &errors,
          const std::string &source_name = "macro");
  // One statement; false (with a reason) when it failed.
  bool RunLine(const std::string &line, std::string *error);
  // In design mode: select, move, resize, add, delete, page ..., save, undo, redo.
  void SetDesigner(Designer *designer) { designer_ = designer; }

 private:
  class Presenter;
  Designer *designer_ = nullptr;
  struct Handler {
    std::string control, event, statement;
  };
  struct Place;  // a control found by its (qualified) name
  bool Find(const std::string &name, Place *place, std::string *error) const;
  bool ReadTarget(const std::string &target, zelko::Variant *value, std::string *error);
  bool ParseExpression(const std::string &text, size_t *at, zelko::Variant *value,
                       std::string *error, std::string *variable = nullptr);
  // One value from `at` to the end of `text`: text after it is refused, never dropped.
  bool ParseWholeValue(const std::string &text, size_t at, zelko::Variant *value,
                       std::string *error);
  bool ParseArguments(const std::string &text, std::vector<zelko::Variant> *values,
                      std::vector<std::string> *variables, std::string *error);
  bool Call(const std::string &rest, std::string *error);
  bool Assign(const std::string &target, const std::string &value_text, std::string *error);
  bool Expect(const std::string &rest, std::string *error);
  bool UserAction(const std::string &verb, const std::string &rest, std::string *error);
  bool FormStatement(const std::string &verb, const std::string &rest, std::string *error);
  // A design statement; false in *handled when the verb is none.
  bool DesignStatement(const std::string &verb, const std::string &rest, bool *handled,
                       std::string *error);
  void OnEvent(FormHost *form, const std::string &control, const std::string &event,
               std::vector<zelko::Variant> &args);
  void Settle();

  static constexpr int kMaxExpressionNesting = 32;
  int expression_depth_ = 0;  // Array(...) and element calls being read
  std::vector<FormHost *> forms_;
  std::ostream &out_;
  std::vector<Handler> handlers_;
  std::map<std::string, zelko::Variant> variables_;  // by upper-cased name
  bool trace_all_ = false;
  int event_depth_ = 0;
  std::vector<std::string> event_errors_;
  std::shared_ptr<Presenter> presenter_;
  std::shared_ptr<zplatform::MessagePresenter> previous_presenter_;
};

// A value as the macro language writes it: "text", numbers, True, False, Null, Empty.
std::string DescribeValue(const zelko::Variant &value);

// A message box as a script's output shows it: "msgbox [icon] text -> answer".
std::string MessageBoxLine(const zplatform::MessageRequest &request,
                           zplatform::MessageAnswer answer);

// Prints each message box as a script's output shows it and answers its first button: what
// forms say while they load, before any script runs (a dictionary that cannot be read).
class MessageBoxPrinter : public zplatform::MessagePresenter {
 public:
  explicit MessageBoxPrinter(std::ostream &out) : out_(out) {}
  zplatform::MessageAnswer Present(const zplatform::MessageRequest &request) override;

 private:
  std::ostream &out_;
};

}  // namespace zelkoform
