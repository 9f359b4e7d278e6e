// A form for the control benchmarks: a data source on a scratch directory holding the ITEMS
// table of a given number of records, and sites for the controls placed on it.
#pragma once

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controls/zlkbtr.h"
#include "engine/module.h"
#include "items_table.h"
#include "scratch_dir.h"

namespace benchform {

class Site : public zelko::ControlSite {
 public:
  Site(std::string name, QWidget *form) : name_(std::move(name)), form_(form) {}
  std::string AmbientDisplayName() const override { return name_; }
  bool UserMode() const override { return true; }
  QWidget *ContainerWindow() const override { return form_; }
  int ParentName(std::string *name) const override {
    *name = "Bench";
    return 0;
  }
  int ParentHandle(int32_t *hwnd) const override {
    *hwnd = 1;
    return 0;
  }

 private:
  std::string name_;
  QWidget *form_;
};

struct Form {
  explicit Form(int records) {
    static int argc = 1;
    static char name[] = "control_bench";
    static char *argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    std::string dir = benchdata::MakeScratchDirectory("zelko-controls");
    if (benchdata::WriteItemsTable(dir, records) != 0) std::abort();
    window = std::make_unique<QWidget>();
    source_site = std::make_unique<Site>("Zelko1", window.get());
    source.SetSite(source_site.get());
    zelko::PropertyBag bag;
    bag.Write("DDFDir", zelko::Variant::String(dir));
    bag.Write("AllOpen", zelko::Variant::Bool(true));
    zelko::LoadProperties(source, bag, nullptr);
  }
  // Loads the properties and makes the window (which fills a control that fills itself).
  template <typename Control>
  void Place(Control &control, const std::string &name,
             std::vector<std::pair<const char *, zelko::Variant>> properties) {
    sites.push_back(std::make_unique<Site>(name, window.get()));
    control.SetSite(sites.back().get());
    zelko::PropertyBag bag;
    for (auto &[key, value] : properties)
      bag.Write(key, value);
    zelko::LoadProperties(control, bag, nullptr);
    control.CreateWindow(window.get());
  }
  std::unique_ptr<QWidget> window;
  std::unique_ptr<Site> source_site;
  std::vector<std::unique_ptr<Site>> sites;
  zelko::ZlkBtr source;
};

// One form per table size, made once.
inline Form &Shared(int records) {
  static std::map<int, std::unique_ptr<Form>> forms;
  auto &form = forms[records];
  if (!form) form = std::make_unique<Form>(records);
  return *form;
}

}  // namespace benchform
