// Sites and a test control for control tests.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "frame/field_control.h"

namespace controltest {

class TestSite : public zelko::ControlSite {
 public:
  TestSite(std::string name, QWidget *container, bool run_mode = true)
      : name(std::move(name)), container(container), run_mode(run_mode) {}
  std::string AmbientDisplayName() const override { return name; }
  bool UserMode() const override { return run_mode; }
  QWidget *ContainerWindow() const override { return container; }
  int ParentName(std::string *n) const override {
    if (parent_fail) return parent_fail;
    *n = form_name;
    return 0;
  }
  int ParentHandle(int32_t *h) const override {
    if (parent_fail) return parent_fail;
    if (handle_fail) return handle_fail;
    *h = 1234;
    return 0;
  }
  std::string name;
  QWidget *container;
  bool run_mode;
  std::string form_name = "Form1";
  int parent_fail = 0;
  int handle_fail = 0;  // the form's name answers, its window does not
};

// A single-field control that shows texts in a member and answers with it.
class TestFieldControl : public zelko::FieldControl {
 public:
  static const zelko::ClassInfo &Info() {
    static const zelko::ClassInfo info{"Test.Field", "TestField", zelko::kKindEdit, {}, {}, {}};
    return info;
  }
  TestFieldControl(std::string table, std::string field)
      : table_(std::move(table)), field_(std::move(field)) {}
  ~TestFieldControl() override { DestroyWindow(); }
  const zelko::ClassInfo &Class() const override { return Info(); }
  int GetKind() const override { return zelko::kKindEdit; }
  std::string GetDbTable() const override { return table_; }
  std::string GetDbField() const override { return field_; }
  void ShowFieldText(const std::string &t) override { text = t; }
  bool ReadFieldText(std::string *t) override {
    if (!answers) return false;
    *t = text;
    return true;
  }
  void ClearFieldText() override { text.clear(); }
  std::string text;
  bool answers = true;

 protected:
  QWidget *MakeWidget(QWidget *parent) override { return new QWidget(parent); }

 private:
  std::string table_, field_;
};

}  // namespace controltest
