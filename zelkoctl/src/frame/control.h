// The frame of every control class: generic automation through the class's static table
// (each entry carries its accessor or handler), events as callbacks with by-reference
// arguments, the site, and the Qt window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "binding/bound_control.h"
#include "frame/class_info.h"
#include "frame/control_site.h"
#include "zplatform/variant.h"

class QWidget;

namespace zelko {

using zplatform::Variant;

// Handlers receive the event's arguments; those declared by reference may be changed.
using EventHandler = std::function<void(const std::string &event, std::vector<Variant> &args)>;

class PropertyBag;

class Control : public virtual BoundControl {
 public:
  ~Control() override;
  virtual const ClassInfo &Class() const = 0;

  // Generic automation by dispatch identifier or by name. Method arguments come in order;
  // by-reference arguments are written back into `args` (missing trailing ones are added).
  HResult GetProperty(int32_t dispid, Variant *value);
  HResult PutProperty(int32_t dispid, const Variant &value);
  HResult Invoke(int32_t dispid, std::vector<Variant> &args, Variant *result);
  HResult GetProperty(const std::string &name, Variant *value);
  HResult PutProperty(const std::string &name, const Variant &value);
  HResult Invoke(const std::string &name, std::vector<Variant> &args, Variant *result);

  void SetEventHandler(EventHandler handler) { events_ = std::move(handler); }
  void SetSite(ControlSite *site);
  ControlSite *Site() const { return site_; }
  bool RunMode() const { return site_ != nullptr && site_->UserMode(); }

  // Creates (destroys) the control's window inside `parent`.
  QWidget *CreateWindow(QWidget *parent);
  void DestroyWindow();
  QWidget *Window() const { return window_; }

  // BoundControl basics from the site.
  std::string GetName() const override;
  FormWindow GetFormWindow() const override;

  // Called after the container has loaded the persisted properties.
  virtual void OnPropertiesLoaded() {}

 protected:
  virtual QWidget *MakeWidget(QWidget *parent) = 0;
  virtual void OnSited() {}
  virtual void OnWindowCreated() {}
  virtual void OnWindowDestroying() {}

  void FireEvent(const char *name, std::vector<Variant> &args);
  // Fires BtrieveError(TableName, Status); the status its handler left.
  int16_t BtrieveErrorEvent(const std::string &table_name_utf8, int16_t status);
  // True while the container loads the persisted properties.
  bool Loading() const { return loading_; }

 private:
  friend void LoadProperties(Control &, const PropertyBag &, std::vector<std::string> *);
  bool loading_ = false;
  ControlSite *site_ = nullptr;
  QWidget *window_ = nullptr;
  EventHandler events_;
};

// Saves and loads persisted properties in their persisted order.
class PropertyBag {
 public:
  struct Item {
    std::string name;
    Variant value;
  };
  void Write(const std::string &name, Variant value);
  const Variant *Read(const std::string &name) const;
  const std::vector<Item> &Items() const { return items_; }

 private:
  std::vector<Item> items_;
};

// Writes every persisted property of the control into the bag, in its persisted order.
void SaveProperties(Control &control, PropertyBag *bag);
// Puts every property the bag holds; names the class does not know are reported in
// `unknown`. Ends with OnPropertiesLoaded.
void LoadProperties(Control &control, const PropertyBag &bag, std::vector<std::string> *unknown);

}  // namespace zelko
