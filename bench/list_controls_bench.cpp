// The list controls and the scroll bar on the benchmarks' ITEMS table of 100,000 records: an
// extended fill of the 300 items of three fields a condition selects (QTY below 3), a simple fill
// of 1,000 items (a list table of 1,000 records), and a scroll bar's move to a percentage. Each
// checks what it produced.
#include <benchmark/benchmark.h>

#include "control_form.h"
#include "controls/list_control.h"
#include "controls/zlkbtr.h"
#include "controls/zlkscroll.h"

namespace {

using benchform::Form;
using benchform::Shared;
using zelko::Variant;

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
