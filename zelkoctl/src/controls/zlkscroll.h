// ZLKHScroll and ZLKVScroll: record navigators. Moving the thumb moves the current record of a
// table along a key; the thumb shows the current record's place in the file as a percentage
// in hundredths (0 to 10,000).
#pragma once

#include <string>

#include "frame/control.h"

class QScrollBar;

namespace zelko {

struct TableDescriptor;

class ZlkScroll : public Control {
 public:
  static const ClassInfo &HorizontalInfo();
  static const ClassInfo &VerticalInfo();
  explicit ZlkScroll(bool vertical);
  ~ZlkScroll() override;
  const ClassInfo &Class() const override { return vertical_ ? VerticalInfo() : HorizontalInfo(); }

  int GetKind() const override { return kKindScrollBar; }
  std::string GetDbSource() const override { return db_source_; }
  std::string GetDbTable() const override { return db_table_; }
  void OnSourceReady() override;
  void OnRecordMoved(const std::string &table_name, int key) override;
  void Refresh() override { RefreshWith(auto_first_); }

  // The scrolling requests of the window, as the user's actions give them.
  enum class Request { kLineUp, kLineDown, kPageUp, kPageDown, kThumbPosition, kTop, kBottom };
  void Scroll(Request request, int thumb = 0);

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;
  void OnWindowDestroying() override;

 private:
  static ClassInfo MakeInfo(bool vertical);
  TableDescriptor *Table() const;
  int KeyOf(const TableDescriptor &table) const;
  // The range from the file's record count; false when the table cannot be used.
  bool ComputeRange(TableDescriptor **table);
  void RefreshWith(bool auto_first);
  // Reads along the key and shows the record; the status.
  int16_t Read(TableDescriptor &table, int operation);
  int16_t ReadAtPercentage(TableDescriptor &table, int percentage);
  // The current record's percentage; the status.
  int16_t CurrentPercentage(TableDescriptor &table, int *percentage);
  void Show(TableDescriptor &table);
  void MoveThumb(int value);
  // BtrieveError with the status; a message box when the handler leaves it non-zero.
  void ReportStatus(int16_t status);
  HResult PutValue(const Variant &v);
  void NamesChanged();

  bool vertical_;
  std::string db_source_, db_table_, db_index_;
  int large_change_ = 1, small_change_ = 1, max_ = 10000, min_ = 0;
  int32_t value_ = 0;
  bool auto_first_ = true;
  int mouse_pointer_ = 0;
  bool tab_stop_ = true, enabled_ = true;
  bool moving_ = false;  // the control itself sets the thumb
  QScrollBar *bar_ = nullptr;
};

}  // namespace zelko
