// What the registry and the exported interface need of a data-source control.
#pragma once

#include <cstdint>
#include <string>

#include "binding/bound_control.h"

namespace zelko {

struct TableCatalog;

class DataSource : public virtual BoundControl {
 public:
  int GetKind() const override { return 1; }
  // The loaded catalog, or null.
  virtual TableCatalog *Catalog() = 0;
  // Connection settings (code page).
  virtual std::string DdfDirectory() const = 0;
  virtual std::string Owner() const = 0;
  virtual int OpenModeValue() const = 0;
  // Fires BtrieveError(table, status) with the status by reference.
  virtual void FireBtrieveError(const std::string &table_name_cp, int16_t *status) = 0;
  // The name and window handle of the form that holds the control, through its extender's
  // Parent: 0, or -1 after VE808 to VE811 (no message without a control site).
  virtual int ParentFormName(std::string *name_utf8) = 0;
  virtual int ParentFormHandle(int32_t *hwnd) = 0;
};

}  // namespace zelko
