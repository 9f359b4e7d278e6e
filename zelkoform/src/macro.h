// Scripts that drive a hosted form, one statement a line:
//   Control.Property = value          print Control.Property
//   call Control.Method arg, ...      (prints the result and the out-arguments)
//   call List1.AddItem "text"         (AddItem, RemoveItem, Clear of list and combo boxes)
//   click Control    type Control "text"    focus Control    key Control Name
//   on Control.Event set Arg = value  (answers the event whenever it fires)
//   trace all | trace some            (print every event, or all but keys, mouse, Change)
// Lines starting with ' or # are comments. Values: "text", numbers, True, False.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "form_host.h"

namespace zelkoform {

class MacroRunner {
 public:
  MacroRunner(FormHost &host, std::ostream &out);
  // Runs every line; a failing statement is reported on `errors` as "SOURCE:LINE: what went
  // wrong" and the run goes on. Returns the number of failed statements.
  int Run(const std::string &script, std::ostream &errors,
          const std::string &source_name = "macro");
  // One statement; false (with a reason) when it failed.
  bool RunLine(const std::string &line, std::string *error);

 private:
  struct Answer {
    std::string control, event, arg;
    zelko::Variant value;
  };
  void OnEvent(const std::string &control, const std::string &event,
               std::vector<zelko::Variant> &args);
  FormHost &host_;
  std::ostream &out_;
  std::vector<Answer> answers_;
  bool trace_all_ = false;
};

// A value as the macro language writes it: "text", numbers, True, False, Null.
std::string DescribeValue(const zelko::Variant &value);

}  // namespace zelkoform
