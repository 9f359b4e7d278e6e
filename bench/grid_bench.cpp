// The grid on the benchmarks' ITEMS table of 1,000,000 records, which it reads a page at a
// time: the first screen (the fill and the painting of what shows), and a jump to a row near
// the middle after a scroll from end to end, with the memory that scroll took. Each checks the
// texts it shows against the records (data row r shows ID r).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPixmap>
#include <QScrollBar>
#include <QTableView>
#include <chrono>
#include <fstream>
#include <string>

#include "control_form.h"
#include "controls/zlkgrid.h"
#include "zplatform/profile.h"

namespace {

using benchform::Form;
using zelko::Variant;

constexpr int kRecords = 1000000;

// A private zelko.ini that lets a grid hold every record.
Form &MillionForm() {
  static Form *form = [] {
    std::string config = benchdata::MakeScratchDirectory("zelko-grid-config");
    setenv("ZELKO_CONFIG_DIR", config.c_str(), 1);
    zplatform::WritePrivateProfileString("zelko300", "grid_max_row",
                                         std::to_string(kRecords + 1).c_str(), "zelko.ini");
    return &benchform::Shared(kRecords);
  }();
  return *form;
}

void PlaceGrid(Form &form, zelko::ZlkGrid &grid) {
  form.Place(grid, "Grid1",
             {{"DbListSource", Variant::String("Zelko1")},
              {"DbListTable", Variant::String("ITEMS")},
              {"DbListFields", Variant::String("ID,NAME,QTY,PRICE,CODE")},
              {"DbListIndex", Variant::String("ID")},
              {"DbMaxRecords", Variant::I4(kRecords)},
              {"Cols", Variant::I4(6)},
              {"SetColNames", Variant::Bool(true)},
              {"SetRecordNumbers", Variant::Bool(true)}});
  grid.Window()->resize(800, 600);
}

// Resident memory of the process, in MiB.
double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

bool Shows(zelko::ZlkGrid &grid, int row) {
  return grid.Cell(row, 1) == std::to_string(row);
}

void BM_GridFirstScreenOfMillion(benchmark::State &state) {
  Form &form = MillionForm();
  for (auto _ : state) {
    zelko::ZlkGrid grid;
    PlaceGrid(form, grid);
    QPixmap screen = grid.Window()->grab();
    benchmark::DoNotOptimize(screen);
    if (!Shows(grid, 1) || !grid.MoreToRead())
      state.SkipWithError("the first screen is not the first page of the table");
    state.PauseTiming();
    grid.DestroyWindow();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_GridFirstScreenOfMillion)->Unit(benchmark::kMillisecond);

void BM_GridJumpNearTheMiddleOfMillion(benchmark::State &state) {
  Form &form = MillionForm();
  static zelko::ZlkGrid *grid = nullptr;
  static double scroll_mib = 0, scroll_seconds = 0;
  if (grid == nullptr) {
    // Scrolled from end to end as the user would drag the bar down: each time the bar reaches
    // the bottom the view reads the next page.
    double before = ResidentMiB(), most = before;
    auto start = std::chrono::steady_clock::now();
    grid = new zelko::ZlkGrid();
    PlaceGrid(form, *grid);
    auto *view = static_cast<QTableView *>(grid->Window());
    QScrollBar *bar = view->verticalScrollBar();
    while (grid->MoreToRead()) {
      int rows = view->model()->rowCount();
      bar->setValue(bar->maximum());
      QApplication::processEvents();
      if (view->model()->rowCount() == rows) view->model()->fetchMore(QModelIndex());
      QPixmap screen = view->grab();
      benchmark::DoNotOptimize(screen);
      most = std::max(most, ResidentMiB());
    }
    scroll_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    scroll_mib = most - before;
    if (grid->Rows() != kRecords + 1 || !Shows(*grid, kRecords))
      state.SkipWithError("the scroll did not reach the last record");
  }
  auto *view = static_cast<QTableView *>(grid->Window());
  int step = 0;
  for (auto _ : state) {
    // A different page each time, within 50,000 rows of the middle.
    int row = kRecords / 2 - 50000 + (step++ * 7919) % 100000;
    view->scrollTo(view->model()->index(row - 1, 0), QAbstractItemView::PositionAtTop);
    QPixmap screen = view->grab();
    benchmark::DoNotOptimize(screen);
    if (!Shows(*grid, row)) state.SkipWithError("the jump shows another record");
  }
  state.counters["scroll_MiB"] = scroll_mib;
  state.counters["scroll_s"] = scroll_seconds;
  state.counters["held_pages"] = grid->HeldPages();
}
BENCHMARK(BM_GridJumpNearTheMiddleOfMillion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
