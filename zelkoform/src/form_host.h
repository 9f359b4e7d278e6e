// The form host: builds a Qt window from a form file, with each control at its twip
// position, its site (name on the form, run or design mode, container, Parent) and its
// persisted properties.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/control.h"
#include "frm_document.h"
#include "standard_controls.h"

class QWidget;

namespace zelkoform {

class FormHost {
 public:
  FormHost();
  ~FormHost();

  // Builds the form. Unknown controls and properties are reported in `problems` and
  // skipped, as Visual Basic does; false only when nothing could be built.
  bool Load(const FrmDocument &document, bool design_mode, std::vector<std::string> *problems);

  QWidget *Window() const { return form_; }
  const std::string &FormName() const { return form_name_; }
  bool DesignMode() const { return design_; }

  // Hosted items by their name on the form (without regard to case).
  zelko::Control *FindControl(const std::string &name) const;
  StandardControl *FindStandard(const std::string &name) const;
  QWidget *FindWidget(const std::string &name) const;
  std::vector<std::string> ItemNames() const;

  // Events of every hosted control come here.
  using EventObserver = std::function<void(const std::string &control, const std::string &event,
                                           std::vector<zelko::Variant> &args)>;
  void SetEventObserver(EventObserver observer) { observer_ = std::move(observer); }

  // Unloads the form: its controls go, its window hides; names no longer find them.
  void Unload();
  bool Unloaded() const { return unloaded_; }

  // Ctrl+Q closes the window, and so does Escape unless a command button is the form's
  // Cancel button (Escape clicks that one).
  void EnableCloseKeys();

  // The document as it stands now: the controls' current persisted properties written back.
  FrmDocument Save() const;

  // For the designer. Builds the form again from `document` (same mode), in a new window at
  // the old one's place.
  void Reload(const FrmDocument &document);
  // An item's object in the document (the form itself by its name), or null.
  FrmObject *Object(const std::string &name);
  // Moves and sizes an item: its Left, Top, Width and Height (twips) and its window.
  bool SetGeometry(const std::string &name, long long left, long long top, long long width,
                   long long height);
  // The item whose window is `widget` or holds it; empty for none.
  std::string ItemAt(QWidget *widget) const;

  static int Pixels(long long twips) { return static_cast<int>(twips / 15); }

 private:
  class Site;
  struct Item {
    std::string name, type;
    std::unique_ptr<Site> site;
    std::unique_ptr<zelko::Control> control;
    std::unique_ptr<StandardControl> standard;
    QWidget *widget = nullptr;
    const FrmObject *source = nullptr;
    std::map<std::string, std::string> loaded;  // persisted values as loaded, as written
  };
  void Build(const FrmObject &object, QWidget *container, std::vector<std::string> *problems);

  bool design_ = false;
  bool unloaded_ = false;
  QWidget *form_ = nullptr;
  std::string form_name_;
  FrmDocument document_;
  std::vector<std::unique_ptr<Item>> items_;
  EventObserver observer_;
};

// Converts a property value of a form file into an automation value.
zelko::Variant FrmValue(const std::string &value);
// Writes an automation value as a form file value.
std::string FrmText(const zelko::Variant &value);

}  // namespace zelkoform
