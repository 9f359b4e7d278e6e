// ZLKBtn: a push button that runs one Btrieve operation on one table of a data source.
#pragma once

#include <string>

#include "frame/control.h"

namespace zelko {

struct TableDescriptor;

class ZlkBtn : public Control {
 public:
  static const ClassInfo &Info();
  ZlkBtn();
  ~ZlkBtn() override;
  const ClassInfo &Class() const override { return Info(); }
  int GetKind() const override { return kKindButton; }
  std::string GetDbSource() const override { return db_source_; }
  std::string GetDbTable() const override { return db_table_; }

  // The click: the operation, then the Click event (always).
  void OnClick();

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;

 private:
  // IndexID from DbIndex: a named index, else the key whose first segment's field is named
  // so; 0 when nothing matches.
  int IndexFromDbIndex(const TableDescriptor &table) const;
  void RunOperation();
  // Default, Caption and Enabled shown by the button window.
  void ApplyToWindow();

  std::string db_source_, db_table_, db_index_, confirm_msg_, caption_;
  int db_operation_ = 0, db_locks_ = 0, index_id_ = 0, style_ = 0, appearance_ = 1,
      mouse_pointer_ = 0;
  bool abort_ = false, cancel_ = false, default_ = false, clear_control_data_ = true,
       enabled_ = true, tab_stop_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x8000000F);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
};

}  // namespace zelko
