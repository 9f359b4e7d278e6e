// The list controls and the scroll bar on the benchmarks' ITEMS table of 100,000 records: an
// extended fill of the 300 items of three fields a condition selects (QTY below 3), a simple fill
// of 1,000 items (a list table of 1,000 records), and a scroll bar's move to a percentage. Each
// checks what it produced.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "controls/list_control.h"
#include "controls/zlkbtr.h"
#include "controls/zlkscroll.h"
#include "engine/module.h"
#include "items_table.h"
#include "scratch_dir.h"

namespace {

using zelko::PropertyBag;
using zelko::Variant;

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

// One form with a data source on a directory holding ITEMS of `records` records.
struct Form {
  explicit Form(int records) {
    static int argc = 1;
    static char name[] = "list_controls_bench";
    static char *argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    std::string dir = benchdata::MakeScratchDirectory("zelko-lists");
    if (benchdata::WriteItemsTable(dir, records) != 0) std::abort();
    window = std::make_unique<QWidget>();
    source_site = std::make_unique<Site>("Zelko1", window.get());
    source.SetSite(source_site.get());
    PropertyBag bag;
    bag.Write("DDFDir", Variant::String(dir));
    bag.Write("AllOpen", Variant::Bool(true));
    zelko::LoadProperties(source, bag, nullptr);
  }
  template <typename Control>
  void Place(Control &control, const std::string &name,
             std::vector<std::pair<const char *, Variant>> properties) {
    sites.push_back(std::make_unique<Site>(name, window.get()));
    control.SetSite(sites.back().get());
    PropertyBag bag;
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

Form &Shared(int records) {
  static std::map<int, std::unique_ptr<Form>> forms;
  auto &form = forms[records];
  if (!form) form = std::make_unique<Form>(records);
  return *form;
}

void BM_ExtendedFill300Of100000(benchmark::State &state) {
  Form &form = Shared(100000);
  zelko::ZlkExListBox list;
  form.Place(list, "ExList1",
             {{"DbListSource", Variant::String("Zelko1")},
              {"DbListTable", Variant::String("ITEMS")},
              {"DbListField", Variant::String("ID,NAME,QTY")},
              {"DbConditions", Variant::String("@QTY < 3")},
              {"DbSkipRecords", Variant::I2(0)},  // no rejection limit: the whole file
              {"DbListIndex", Variant::String("ID")},
              {"DbUpdateOption", Variant::I2(0)}});
  for (auto _ : state) {
    list.Refresh();
    if (list.ListCount() != 300) state.SkipWithError("the fill did not give 300 items");
  }
  state.SetItemsProcessed(state.iterations() * 300);
  list.DestroyWindow();
}
BENCHMARK(BM_ExtendedFill300Of100000)->Unit(benchmark::kMillisecond);

void BM_SimpleFill1000(benchmark::State &state) {
  Form &form = Shared(1000);
  zelko::ZlkListBox list;
  form.Place(list, "List1",
             {{"DbListSource", Variant::String("Zelko1")},
              {"DbListTable", Variant::String("ITEMS")},
              {"DbListField", Variant::String("NAME")},
              {"DbListIndex", Variant::String("ID")},
              {"DbUpdateOption", Variant::I2(0)}});
  for (auto _ : state) {
    list.Refresh();
    if (list.ListCount() != 1000) state.SkipWithError("the fill did not give 1,000 items");
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  list.DestroyWindow();
}
BENCHMARK(BM_SimpleFill1000)->Unit(benchmark::kMillisecond);

void BM_ScrollToPercentage(benchmark::State &state) {
  Form &form = Shared(100000);
  zelko::ZlkScroll scroll(true);
  form.Place(scroll, "VScroll1",
             {{"DbSource", Variant::String("Zelko1")},
              {"DbTable", Variant::String("ITEMS")},
              {"DbIndex", Variant::String("ID")}});
  scroll.OnSourceReady();
  int step = 0;
  for (auto _ : state) {
    int target = (step++ * 3719) % 10001;
    scroll.Scroll(zelko::ZlkScroll::Request::kThumbPosition, target);
    Variant value;
    scroll.GetProperty("Value", &value);
    if (value.AsInteger().value_or(-1) < 0) state.SkipWithError("the thumb did not move");
  }
  scroll.DestroyWindow();
}
BENCHMARK(BM_ScrollToPercentage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
