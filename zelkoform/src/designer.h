// The form designer: selects, moves and sizes a form's controls with the mouse and the arrow
// keys (positions in twips, kept exact), adds and deletes controls, edits their persisted
// properties and their property pages, undoes and redoes every edit, and saves the form back
// through a temporary file. The same operations serve the macro statements of design mode.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <memory>
#include <string>
#include <vector>

#include "form_host.h"
#include "frame/property_page.h"

class QListWidget;
class QTableWidget;
class QWidget;

namespace zelkoform {

class Designer : public QObject {
 public:
  // `path` is the form's file; `read_whole` false when reading it reported problems (then
  // save refuses to overwrite it).
  Designer(FormHost &host, std::string path, bool read_whole);
  ~Designer() override;

  bool Select(const std::string &name, std::string *error);
  const std::string &Selected() const { return selected_; }
  bool Move(const std::string &name, long long left, long long top, std::string *error);
  bool Resize(const std::string &name, long long width, long long height, std::string *error);
  // A control of a class (a form type name such as ZLKBTRLibCtl.ZLKEdit or VB.Label, or a
  // class name such as ZLKEdit) at a place, in twips.
  bool Add(const std::string &type, const std::string &name, long long left, long long top,
           long long width, long long height, std::string *error);
  bool Delete(const std::string &name, std::string *error);
  bool SetProperty(const std::string &name, const std::string &property,
                   const zelko::Variant &value, std::string *error);
  bool Undo(std::string *error);
  bool Redo(std::string *error);
  // To `path` (the form's own file when empty).
  bool Save(const std::string &path, std::string *error);

  // The property page of a control (its first page, or its `index`-th); null with a reason.
  zelko::PropertyPage *OpenPage(const std::string &name, int index, std::string *error);
  zelko::PropertyPage *Page() { return page_.get(); }
  // Apply, recorded as one edit.
  bool ApplyPage(std::string *error);

  // The designer's own window: the palette, the property sheet and the page button.
  QWidget *Panel();

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void Remember();  // the document before an edit, for Undo
  // The steps kept, the oldest dropped first: each is a copy of the form (a form of 200
  // controls takes some 600 KB).
  static constexpr size_t kUndoSteps = 1000;
  // Undo or Redo: back to the last document of `from`, the present one kept in `to`.
  bool Step(std::vector<FrmDocument> &from, std::vector<FrmDocument> &to, const char *nothing,
            std::string *error);
  void Attach();  // event filters on the form's windows (again after a rebuild)
  void ShowSelection();
  void FillSheet();
  void ShowPageDialog();
  zelko::Control *ControlNamed(const std::string &name) const;

  FormHost &host_;
  std::string path_;
  bool read_whole_;
  std::string on_disk_;  // the form's file as read or last saved here
  std::string selected_;
  std::vector<FrmDocument> undo_, redo_;
  // The control the last step nudged with an arrow key: the presses an arrow key held down
  // repeats join that step, so one undo puts the control back where the hold began.
  std::string nudged_;
  bool joining_ = false;  // while a repeated press's move or resize runs
  std::unique_ptr<zelko::PropertyPage> page_;
  std::string page_control_;
  QWidget *panel_ = nullptr;
  QListWidget *palette_ = nullptr;
  QTableWidget *sheet_ = nullptr;
  QPointer<QWidget> frame_;  // the selection's outline (it goes with the form's window)
  // A drag in progress: moving, or sizing from the lower right corner.
  bool dragging_ = false, sizing_ = false, moved_ = false;
  QPoint drag_start_;
  QRect start_rect_;
  bool filling_sheet_ = false;
};

}  // namespace zelkoform
