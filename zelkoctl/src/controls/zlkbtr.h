// ZLKBtr, the data-source control: one dictionary per control, its tables' data files, and
// every engine operation as an automation method named by table and field names.
#pragma once

#include <memory>
#include <string>

#include "binding/data_source.h"
#include "engine/table_catalog.h"
#include "frame/control.h"

namespace zelko {

class ZlkBtr : public Control, public DataSource {
 public:
  static const ClassInfo &Info();
  ZlkBtr();
  ~ZlkBtr() override;

  const ClassInfo &Class() const override { return Info(); }

  // DataSource
  TableCatalog *Catalog() override { return catalog_.get(); }
  std::string DdfDirectory() const override;
  std::string Owner() const override;
  int OpenModeValue() const override { return open_mode_; }
  void FireBtrieveError(const std::string &table_name_cp, int16_t *status) override;
  int ParentFormName(std::string *name) override;
  int ParentFormHandle(int32_t *hwnd) override;
  int GetKind() const override { return kKindDataSource; }
  std::string GetName() const override { return Control::GetName(); }
  FormWindow GetFormWindow() const override { return Control::GetFormWindow(); }

  // Typed access for C++ callers (UTF-8 property values).
  const std::string &DDFDir() const { return ddf_dir_; }
  // A host without a form sets the directory before siting the control; unlike the DDFDir
  // property it takes a path of any length.
  void SetDirectoryForHost(const std::string &utf8) { ddf_dir_ = utf8; }
  bool Prepared() const { return prepared_; }
  // Paints the design-time picture or the run-time background.
  void Paint(QWidget *widget);

  void OnPropertiesLoaded() override;

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnSited() override;

 private:
  // The automation methods (zlkbtr_methods.cpp).
  static std::vector<MethodInfo> MethodTable();
  HResult PutDdfDir(const Variant &value);
  // BtrieveError for a failed open or close, then the message unless the handler cleared it.
  void ReportFailure(const TableDescriptor &table, int16_t status, const char *message);
  // The preparation: registration, catalog (or a copy), and at run time the open pass.
  void Prepare();
  bool LoadOrCopyCatalog();
  bool OpenAllPass();
  int16_t DbLoadDDF();

  // The three checks that open the methods: -20 no catalog, -4 unknown table, then -3 (must
  // be open) or -2 (must be closed).
  enum class Need { kAny, kOpen, kClosed };
  int16_t FindTable(const Variant &name, Need need, TableDescriptor **table);

  std::string ddf_dir_, owner_name_, dist_name_;  // UTF-8
  int open_mode_ = 0;
  bool all_open_ = true;
  bool cache_ddf_ = true;
  std::string ex_mode_ = "UC";
  std::unique_ptr<TableCatalog> catalog_;
  bool prepared_ = false;
};

}  // namespace zelko
