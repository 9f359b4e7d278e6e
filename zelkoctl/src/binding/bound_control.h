// What every control of the module is to the binding registry, the data source included.
// Texts are UTF-8 (the automation surface); field texts are code-page bytes.
#pragma once

#include <string>

namespace zelko {

// The identity of a host form: its window (a QWidget*), or null.
using FormWindow = const void *;

// ControlKind: the fixed number every control reports.
enum ControlKind {
  kKindDataSource = 1,
  kKindButton = 2,
  kKindScrollBar = 3,
  kKindListBox = 4,
  kKindComboBox = 5,
  kKindExListBox = 6,
  kKindExComboBox = 7,
  kKindGrid = 8,
  kKindEdit = 9,
  kKindCheckBox = 10,
  kKindOptionButton = 11,
  kKindPicture = 12,
};

class BoundControl {
 public:
  // In slot order.
  virtual ~BoundControl() = default;
  virtual std::string GetName() const = 0;
  virtual FormWindow GetFormWindow() const = 0;
  virtual std::string GetListSource() const { return std::string(); }
  virtual std::string GetDbSource() const { return std::string(); }
  virtual int GetKind() const = 0;
  virtual int GetUpdateOption() const { return 0; }
  virtual std::string GetDbField() const { return std::string(); }
  virtual std::string GetDbTable() const { return std::string(); }
  virtual void OnSourceReady() {}
  virtual void OnRecordMoved(const std::string &table_name, int key) {
    (void)table_name;
    (void)key;
  }
  virtual void Refresh() {}

  // The field exchange of the transfers, as each kind does it (code-page texts).
  virtual void ShowFieldText(const std::string &text) { (void)text; }
  // False when the control does not answer.
  virtual bool ReadFieldText(std::string *text) {
    (void)text;
    return false;
  }
  virtual void ClearFieldText() {}
};

}  // namespace zelko
