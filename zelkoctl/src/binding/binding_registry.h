// The process-wide registry that connects the controls of a form to its data sources, and
// the transfers of field values between a table's record buffer and the controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/bound_control.h"
#include "binding/data_source.h"

namespace zelko {

struct TableDescriptor;

class BindingRegistry {
 public:
  // Registration, with the replace rule (same name and form window: the entry takes the new
  // object). 0, or -1 when the entry could not be made.
  int RegisterDataSource(DataSource *source);
  int RegisterFieldControl(BoundControl *control);
  int RegisterListControl(BoundControl *control);
  int RegisterNavigator(BoundControl *control);
  // Removes the control from whichever list holds it (found by identity).
  void Unregister(const BoundControl *control);
  // A scroll bar's DbSource or DbTable changed: its entry's names follow.
  void RefreshNavigator(BoundControl *control);

  // The data source named `name` (exact, UTF-8) on the form.
  DataSource *FindDataSource(FormWindow form, const std::string &name) const;
  // Table lookup for a bound control; null when anything is missing.
  TableDescriptor *FindBoundTable(FormWindow form, const std::string &source_name,
                                  const std::string &table_name) const;
  // The field's data type, or -1.
  int FindFieldType(FormWindow form, const std::string &source_name, const std::string &table_name,
                    const std::string &field_name) const;
  // Whether two field texts (code page) store the same bytes in the bound field; true when
  // the field is not found (nothing is stored through the control then).
  bool StoresAlike(FormWindow form, const std::string &source_name, const std::string &table_name,
                   const std::string &field_name, const std::string &a, const std::string &b) const;
  // Opens a table for a list or a button with its data source's settings, creating a
  // missing file first. 0, or the status after VE007 or VE803.
  int OpenListTable(TableDescriptor &table, FormWindow form, const std::string &source_name) const;

  // For the exported interface: by name without regard to case, and by form name or form
  // window. 0, -11 (no such data source) or -20 (no catalog loaded).
  int FindForAttachment(const std::string &source_name, const std::string *form_name,
                        FormWindow form, DataSource **found) const;

  // Transfers between a table's record buffer and the controls bound to its fields on the
  // data source's form. Each returns 0.
  int TransferToControls(DataSource &source, const TableDescriptor &table) const;
  int TransferFromControls(DataSource &source, TableDescriptor &table) const;
  int ClearControls(DataSource &source, const TableDescriptor &table) const;

  // Notifications: the data source loaded its dictionary; a button moved a record.
  void NotifySourceReady(DataSource &source) const;
  void NotifyRecordMoved(const std::string &db_source, const std::string &table_name, int key,
                         const BoundControl *except) const;

  // The field controls of every form, in list order.
  std::vector<BoundControl *> FieldControls() const;
  // Every registered data source, in registration order.
  std::vector<DataSource *> DataSources() const;
  size_t DataSourceCount() const { return sources_.size(); }
  size_t FieldControlCount() const { return fields_.size(); }
  size_t ListControlCount() const { return lists_.size(); }

 private:
  struct SourceEntry {
    std::string name;
    FormWindow form;
    DataSource *object;
  };
  struct FieldEntry {
    std::string field;  // code page, at most 127 bytes
    std::string table;
    BoundControl *control;
  };
  struct ListEntry {
    FormWindow form;
    std::string list_source, name, field, table;  // code page for field and table
    BoundControl *control;
  };
  struct NavigatorEntry {
    std::string db_source, name;
    BoundControl *control;
    FormWindow form;
  };
  void ShowFieldText(FormWindow form, const std::string &table, const std::string &field,
                     const std::string &text) const;
  int ReadControlText(FormWindow form, const std::string &table, const std::string &field,
                      std::string *text) const;
  void ClearField(FormWindow form, const std::string &table, const std::string &field) const;

  std::vector<SourceEntry> sources_;
  std::vector<FieldEntry> fields_;
  std::vector<ListEntry> lists_;
  std::vector<NavigatorEntry> navigators_;
};

}  // namespace zelko
