// The grid on a real table: fills (key order, conditions, per-read maximum, Format, Abort,
// stored results), rows written back and deleted by position, conflicts with another
// process, bad indexes, and a paged fill that must show exactly what a full fill shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QValidator>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <memory>

#include "control_test_util.h"
#include "controls/zlkbtr.h"
#include "controls/zlkgrid.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "engine_test_util.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

using controltest::TestSite;

// ITEMS: ID (key ById), NAME, QTY, CODE (key ByCode, unique).
std::vector<dictio::TableSpec> Tables() {
  return {{4,
           "ITEMS",
           "items",
           {{"ID", kInteger, 4}, {"NAME", kString, 12}, {"QTY", kInteger, 2}, {"CODE", kString, 6}},
           {{"ID", 0, 0, 0x100}, {"CODE", 1, 0, 0x102}},
           {{"ById", 0}, {"ByCode", 1}}}};
}

class Grid : public testing::Test {
 protected:
  void SetUp() override {
    zelko_testing::App();
    dir_ = enginetest::NewDir("grid");
    ASSERT_EQ(enginetest::WriteDictionary(dir_, Tables()), 0);
    form_ = std::make_unique<QWidget>();
    source_site_ = std::make_unique<TestSite>("Zelko1", form_.get());
    source_.SetSite(source_site_.get());
    PropertyBag bag;
    bag.Write("DDFDir", Variant::String(dir_));
    bag.Write("AllOpen", Variant::Bool(true));
    LoadProperties(source_, bag, nullptr);
    ASSERT_NE(source_.Catalog(), nullptr);
  }
  void TearDown() override {
    for (auto &grid : grids_)
      grid->DestroyWindow();
  }
  TableDescriptor &Items() { return source_.Catalog()->tables[0]; }
  // Records ID 1..count: NAME "N<id>", QTY id % 10, CODE "C<id>" (so key ByCode orders them
  // as texts: C1, C10, C100, ...).
  void AddItems(int count) {
    TableDescriptor &t = Items();
    ASSERT_EQ(EngineBeginTransaction(0), 0);
    for (int id = 1; id <= count; ++id) {
      ClearRecordBuffer(t);
      WriteFieldByName(t, "ID", std::to_string(id));
      WriteFieldByName(t, "NAME", "N" + std::to_string(id));
      WriteFieldByName(t, "QTY", std::to_string(id % 10));
      WriteFieldByName(t, "CODE", "C" + std::to_string(id));
      ASSERT_EQ(EngineAccess(t, B_INSERT, 0), 0);
    }
    ASSERT_EQ(EngineEndTransaction(), 0);
  }
  // A grid on ITEMS with the window made (which fills it).
  ZlkGrid &MakeGrid(std::vector<std::pair<const char *, Variant>> properties,
                    std::function<void(ZlkGrid &, const std::string &, std::vector<Variant> &)>
                        handler = nullptr) {
    sites_.push_back(
        std::make_unique<TestSite>("Grid" + std::to_string(sites_.size()), form_.get()));
    grids_.push_back(std::make_unique<ZlkGrid>());
    ZlkGrid &grid = *grids_.back();
    grid.SetSite(sites_.back().get());
    PropertyBag bag;
    bag.Write("DbListSource", Variant::String("Zelko1"));
    bag.Write("DbListTable", Variant::String("ITEMS"));
    bag.Write("Cols", Variant::I4(4));
    for (auto &[name, value] : properties)
      bag.Write(name, value);
    LoadProperties(grid, bag, nullptr);
    grid.SetEventHandler([this, &grid, handler](const std::string &e, std::vector<Variant> &a) {
      events_.push_back(e);
      if (e == "BtrieveError") statuses_.push_back(static_cast<int>(a[1].AsInteger().value_or(0)));
      if (handler) handler(grid, e, a);
    });
    grid.CreateWindow(form_.get());
    return grid;
  }
  std::vector<std::string> Column(ZlkGrid &grid, int col) {
    std::vector<std::string> texts;
    for (int r = 1; r < grid.Rows(); ++r)
      texts.push_back(grid.Cell(r, col));
    return texts;
  }
  std::string FieldOf(int id, const char *field) {
    TableDescriptor &t = Items();
    WriteFieldByName(t, "ID", std::to_string(id));
    if (EngineAccess(t, B_GET_EQUAL, 0) != 0) return "(none)";
    return ReadFieldByName(t, field);
  }

  std::string dir_;
  std::unique_ptr<QWidget> form_;
  std::unique_ptr<TestSite> source_site_;
  ZlkBtr source_;
  std::vector<std::unique_ptr<TestSite>> sites_;
  std::vector<std::unique_ptr<ZlkGrid>> grids_;
  std::vector<std::string> events_;
  std::vector<int> statuses_;
  enginetest::RecordMessages messages_;
};

TEST_F(Grid, FillFollowsKeyConditionMaximumFormatAndAbort) {
  AddItems(30);
  // Along ByCode, QTY 3 only, three records a read: every read repeats until the end.
  ZlkGrid &grid = MakeGrid({{"DbListFields", Variant::String("ID,CODE,QTY")},
                            {"DbListIndex", Variant::String("ByCode")},
                            {"DbConditions", Variant::String("@QTY = 3")},
                            {"DbMaxRecords", Variant::I4(1)}});
  EXPECT_EQ(Column(grid, 2), (std::vector<std::string>{"C13", "C23", "C3"}));
  EXPECT_EQ(grid.Rows(), 4);
  // Backwards from the last record; Format changes one row and aborts at another.
  ZlkGrid &back = MakeGrid({{"DbListFields", Variant::String("ID,NAME")},
                            {"DbExOperation", Variant::I2(0)},
                            {"DbConditions", Variant::String("@QTY < 2")}},
                           [](ZlkGrid &g, const std::string &e, std::vector<Variant> &a) {
                             if (e != "Format") return;
                             std::string line = a[0].AsString().value_or("");
                             if (line == "21\tN21") a[0] = Variant::String("21\tchanged");
                             if (line.rfind("10\t", 0) == 0)
                               g.PutProperty("Abort", Variant::Bool(true));
                           });
  EXPECT_EQ(Column(back, 1), (std::vector<std::string>{"30", "21", "20", "11"}));
  EXPECT_EQ(back.Cell(2, 2), "changed");
  // Stored results: every record read, appended read after read.
  ZlkGrid &kept = MakeGrid({{"DbListFields", Variant::String("ID")},
                            {"DbLeaveResults", Variant::Bool(true)},
                            {"DbMaxRecords", Variant::I4(7)}});
  Variant id;
  ASSERT_EQ(kept.GetProperty("DbResultID", &id), kOk);
  ASSERT_GE(id.AsInteger().value_or(-1), 0);
  EXPECT_EQ(ExGetFieldDataByName(static_cast<int>(*id.AsInteger()), "ID", 29), "30");
  EXPECT_EQ(kept.Rows(), 31);
  // A per-read maximum beyond what a read can count still reads every record once.
  ZlkGrid &many =
      MakeGrid({{"DbListFields", Variant::String("ID")}, {"DbMaxRecords", Variant::I4(65536 + 3)}});
  EXPECT_EQ(many.Rows(), 31);
  EXPECT_EQ(many.Cell(30, 1), "30");
  EXPECT_TRUE(statuses_.empty());
}

TEST_F(Grid, RowsWrittenBackByPositionAndTheirRefusals) {
  AddItems(5);
  ZlkGrid &grid = MakeGrid({{"DbListFields", Variant::String("NAME,QTY,CODE")},
                            {"SetRecordNumbers", Variant::Bool(true)},
                            {"AllowUpdate", Variant::Bool(true)},
                            {"AllowDelete", Variant::Bool(true)}});
  std::vector<Variant> at = {Variant::I4(2)};
  Variant position;
  ASSERT_EQ(grid.Invoke("DbPhysicalPosition", at, &position), kOk);
  // An edit written back: the field changes, the others stay, the position still holds it.
  grid.OnCellEdited(2, 2, "7");
  grid.OnCurrentCellChanged(3, 2, 2);
  EXPECT_FALSE(grid.DirtyRow(2));
  EXPECT_EQ(FieldOf(2, "QTY"), "7");
  EXPECT_EQ(FieldOf(2, "NAME"), "N2");
  TableDescriptor &t = Items();
  ASSERT_EQ(EngineGetDirect(t, static_cast<int32_t>(*position.AsInteger()), -1), 0);
  EXPECT_EQ(ReadFieldByName(t, "QTY"), "7");
  // A code another record has: the update is refused (status 5), the row keeps its text and
  // stays dirty, the file is unchanged.
  grid.OnCellEdited(3, 3, "C1");
  grid.OnCurrentCellChanged(4, 3, 3);
  EXPECT_TRUE(grid.DirtyRow(3));
  EXPECT_EQ(grid.Cell(3, 3), "C1");
  EXPECT_EQ(FieldOf(3, "CODE"), "C3");
  ASSERT_FALSE(statuses_.empty());
  EXPECT_EQ(statuses_.back(), 5);
  EXPECT_EQ(messages_.Texts().back(), "VE821 Updateに失敗しました(5)");
  grid.OnCellEdited(3, 3, "C3x");
  grid.OnCurrentCellChanged(4, 3, 3);
  EXPECT_FALSE(grid.DirtyRow(3));
  EXPECT_EQ(FieldOf(3, "CODE"), "C3x");
  // Another process renames item 4 while the grid shows it; an edit of its QTY must not
  // write the old name back: status 80, nothing lost, the row stays dirty.
  std::string csv = dir_ + "/rename.csv";
  std::ofstream(csv) << "ID,NAME\n4,Renamed\n";
  int exit_status = -1;
  zelko_testing::RunShell(std::string(ZELKO_PATH) + " load " + dir_ + " ITEMS " + csv +
                              " --update-by ById >/dev/null 2>&1",
                          &exit_status);
  ASSERT_EQ(exit_status, 0);
  grid.OnCellEdited(4, 2, "9");
  grid.OnCurrentCellChanged(5, 2, 4);
  EXPECT_TRUE(grid.DirtyRow(4));
  EXPECT_EQ(statuses_.back(), 80);
  EXPECT_EQ(FieldOf(4, "NAME"), "Renamed");
  EXPECT_EQ(FieldOf(4, "QTY"), "4");
  // Refreshed, the row shows the new name and the same edit goes through.
  grid.Refresh();
  EXPECT_EQ(grid.Cell(4, 1), "Renamed");
  grid.OnCellEdited(4, 2, "9");
  grid.OnCurrentCellChanged(5, 2, 4);
  EXPECT_EQ(FieldOf(4, "QTY"), "9");
  EXPECT_EQ(FieldOf(4, "NAME"), "Renamed");
  // A deleted row's record is gone; the rows below move up.
  grid.OnCurrentCellChanged(1, 1, 5);
  ASSERT_TRUE(grid.DeleteRow(1));
  EXPECT_EQ(FieldOf(1, "NAME"), "(none)");
  EXPECT_EQ(grid.Cell(1, 1), "N2");
  EXPECT_EQ(grid.Cell(5, 1), "");
  EXPECT_EQ(grid.Rows(), 6);
  // A list the extended read stops reading at a blank: only the fields it read are written.
  ZlkGrid &partial = MakeGrid(
      {{"DbListFields", Variant::String("NAME ,QTY")}, {"AllowUpdate", Variant::Bool(true)}});
  partial.OnCellEdited(1, 1, "Short");
  partial.OnCurrentCellChanged(2, 1, 1);
  EXPECT_FALSE(partial.DirtyRow(1));
  EXPECT_EQ(FieldOf(2, "NAME"), "Short");
  EXPECT_EQ(FieldOf(2, "QTY"), "7");
  // Renumbered, the rows edited before (kept apart from the fill) too.
  EXPECT_EQ(grid.Cell(3, 1), "Renamed");
  EXPECT_EQ(grid.Cell(3, 0), "   3");
  EXPECT_EQ(grid.Cell(5, 0), "   5");
  // Only the cells edited are written: one a Format handler dressed for showing keeps the
  // value it stands for ("9 of 10" would be stored as another number).
  ZlkGrid &dressed = MakeGrid(
      {{"DbListFields", Variant::String("NAME,QTY")}, {"AllowUpdate", Variant::Bool(true)}},
      [](ZlkGrid &, const std::string &e, std::vector<Variant> &a) {
        if (e == "Format") a[0] = Variant::String(a[0].AsString().value_or("") + " of 10");
      });
  ASSERT_EQ(dressed.Cell(3, 2), "9 of 10");  // item 4
  dressed.OnCellEdited(3, 1, "Third");
  dressed.OnCurrentCellChanged(4, 1, 3);
  EXPECT_FALSE(dressed.DirtyRow(3));
  EXPECT_EQ(FieldOf(4, "NAME"), "Third");
  EXPECT_EQ(FieldOf(4, "QTY"), "9");
}

TEST_F(Grid, BadIndexesFieldListsAndConditions) {
  AddItems(3);
  ZlkGrid &grid = MakeGrid({{"DbListFields", Variant::String("NAME")}});
  Variant result;
  for (const char *property : {"Row", "Col"}) {
    EXPECT_EQ(grid.PutProperty(property, Variant::I4(-1)), kInvalidPropertyValue) << property;
    EXPECT_EQ(grid.PutProperty(property, Variant::I4(99)), kInvalidPropertyValue) << property;
  }
  EXPECT_EQ(grid.PutProperty("Rows", Variant::I4(251)), kInvalidPropertyValue);
  EXPECT_EQ(grid.PutProperty("Cols", Variant::I4(-2)), kInvalidPropertyValue);
  for (const char *method : {"RowHeight", "ColWidth", "FormatString", "CellMaxLength",
                             "DbPhysicalPosition", "TextAlign", "IMEMode"}) {
    for (int index : {-1, 4000}) {
      std::vector<Variant> args = {Variant::I4(index)};
      EXPECT_EQ(grid.Invoke(method, args, &result), kInvalidPropertyValue) << method << index;
    }
  }
  for (auto [row, col] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {100000, 1}}) {
    std::vector<Variant> args = {Variant::I4(row), Variant::I4(col)};
    EXPECT_EQ(grid.Invoke("TextMatrix", args, &result), kInvalidPropertyValue) << row << col;
  }
  std::vector<Variant> none = {};
  EXPECT_NE(grid.Invoke("TextMatrix", none, &result), kOk);
  // A missing field in the list, a condition that does not parse: their messages, the grid
  // empty, no status fired.
  for (auto [property, value] :
       {std::pair{"DbListFields", "NAME,NOPE"}, {"DbConditions", "@QTY ! 3"}}) {
    messages_.Recorder().Clear();
    ZlkGrid &bad =
        MakeGrid({{"DbListFields", Variant::String("NAME")}, {property, Variant::String(value)}});
    EXPECT_FALSE(messages_.Texts().empty()) << property;
    EXPECT_EQ(bad.Cell(1, 1), "") << property;
  }
  EXPECT_TRUE(statuses_.empty());
}

TEST_F(Grid, FixedRowsAndColumnsStayInTheHeadersAndFillStyleFillsTheSelection) {
  AddItems(4);
  ZlkGrid &grid = MakeGrid({{"DbListFields", Variant::String("NAME,QTY")},
                            {"FixedRows", Variant::I4(2)},
                            {"FixedCols", Variant::I4(2)},
                            {"SetColNames", Variant::Bool(true)},
                            {"SetRecordNumbers", Variant::Bool(true)}});
  EXPECT_EQ(grid.Rows(), 6);
  EXPECT_EQ(grid.Cell(2, 2), "N1");
  EXPECT_EQ(grid.Cell(2, 0), "   1");
  ASSERT_TRUE(grid.SetCell(1, 2, "sub"));
  // The view shows only the cells that scroll; the fixed ones are its headers.
  auto *view = static_cast<QTableView *>(grid.Window());
  QAbstractItemModel *model = view->model();
  EXPECT_EQ(model->rowCount(), 4);
  EXPECT_EQ(model->columnCount(), 2);
  EXPECT_EQ(model->data(model->index(0, 0)).toString(), QString("N1"));
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QString("NAME\nsub"));
  EXPECT_EQ(model->headerData(3, Qt::Vertical).toString(), QString("   4\n"));
  EXPECT_GT(view->horizontalHeader()->sizeHint().height(),
            view->verticalHeader()->defaultSectionSize());
  // CellMaxLength holds back typing in code-page bytes; the editor shows a longer cell whole
  // (it was cut as the editor opened, and leaving the cell wrote it back cut) and takes no
  // character the code page lacks.
  std::vector<Variant> limit = {Variant::I4(2), Variant::I2(1)};
  Variant put;
  ASSERT_EQ(grid.Invoke("CellMaxLength", limit, &put), kOk);
  QStyleOptionViewItem option;
  QWidget *editor =
      view->itemDelegate()->createEditor(view->viewport(), option, model->index(0, 0));
  view->itemDelegate()->setEditorData(editor, model->index(0, 0));
  auto *line = qobject_cast<QLineEdit *>(editor);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->text(), QString("N1"));
  auto key = [line](int code, const QString &text) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(line, &press);
  };
  line->end(false);
  key(0, "x");
  EXPECT_EQ(line->text(), QString("N1"));
  key(Qt::Key_Backspace, QString());
  EXPECT_EQ(line->text(), QString("N"));
  key(0, QString::fromUtf8("ü"));
  EXPECT_EQ(line->text(), QString("N"));
  delete editor;
  // With gridFillSel a put of Text fills the selected cells.
  for (auto [name, value] : {std::pair{"FillStyle", 1},
                             {"SelStartRow", 2},
                             {"SelEndRow", 3},
                             {"SelStartCol", 2},
                             {"SelEndCol", 3}})
    ASSERT_EQ(grid.PutProperty(name, Variant::I4(value)), kOk) << name;
  ASSERT_EQ(grid.PutProperty("Text", Variant::String("x")), kOk);
  EXPECT_EQ(grid.Cell(3, 3), "x");
  EXPECT_EQ(grid.Cell(2, 2), "x");
  EXPECT_EQ(grid.Cell(4, 2), "N3");
}

TEST_F(Grid, PagedFillShowsExactlyWhatAFullFillShows) {
  AddItems(10000);
  zplatform::WritePrivateProfileString("zelko300", "grid_max_row", "20000", "zelko.ini");
  auto format = [](ZlkGrid &, const std::string &e, std::vector<Variant> &a) {
    if (e == "Format") a[0] = Variant::String(a[0].AsString().value_or("") + "*");
  };
  std::vector<std::pair<const char *, Variant>> properties = {
      {"DbListFields", Variant::String("ID,CODE")},
      {"DbListIndex", Variant::String("ByCode")},
      {"DbConditions", Variant::String("@QTY <> 4 & @QTY <> 7")},
      {"DbMaxRecords", Variant::I4(300)},
      {"SetRecordNumbers", Variant::Bool(true)}};
  zplatform::WritePrivateProfileString("zelko300", "grid_page_rows", "900", "zelko.ini");
  ZlkGrid &paged = MakeGrid(properties, format);
  EXPECT_TRUE(paged.MoreToRead());  // one page of three reads so far
  EXPECT_EQ(paged.ViewRows(), 900);
  EXPECT_EQ(paged.HeldPages(), 1);
  // The record that ends the first page goes: the next page must go on after it all the same.
  paged.PutProperty("AllowDelete", Variant::Bool(true));
  ASSERT_TRUE(paged.DeleteRow(900));
  ASSERT_TRUE(paged.MoreToRead());
  // The full fill makes the same reads (300 records each) at once.
  zplatform::WritePrivateProfileString("zelko300", "grid_page_rows", "0", "zelko.ini");
  ZlkGrid &full = MakeGrid(properties, format);
  EXPECT_FALSE(full.MoreToRead());
  ASSERT_EQ(full.Rows(), 8000);
  ASSERT_EQ(paged.Rows(), 8001);  // the row the delete emptied stays at the end
  for (int r = 0; r < full.Rows(); ++r) {
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(paged.Cell(r, c), full.Cell(r, c)) << r << "," << c;
    std::vector<Variant> args = {Variant::I4(r)};
    Variant a, b;
    ASSERT_EQ(paged.Invoke("DbPhysicalPosition", args, &a), kOk);
    ASSERT_EQ(full.Invoke("DbPhysicalPosition", args, &b), kOk);
    ASSERT_EQ(a.AsInteger(), b.AsInteger()) << r;
  }
  EXPECT_EQ(paged.Cell(8000, 0), "8000");
  EXPECT_EQ(paged.Cell(8000, 1), "");
  EXPECT_EQ(paged.Cell(1, 2), "C1*");
  EXPECT_EQ(paged.Cell(7999, 0), "7999");
  EXPECT_LE(paged.HeldPages(), 16);
  // The window asks only for the rows it shows.
  auto *view = static_cast<QTableView *>(paged.Window());
  QApplication::processEvents();
  EXPECT_EQ(view->model()->rowCount(), 8000);
  // Row after row from the top again: the dropped pages are read again, the same texts.
  for (int r = 1; r < 8000; r += 97)
    ASSERT_EQ(paged.Cell(r, 2), full.Cell(r, 2)) << r;
  EXPECT_TRUE(statuses_.empty());
}

}  // namespace
}  // namespace zelko
