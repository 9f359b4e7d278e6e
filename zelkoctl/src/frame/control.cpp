#include "frame/control.h"

#include <QWidget>

#include "engine/module.h"

namespace zelko {

Control::~Control() = default;

void Control::SetSite(ControlSite *site) {
  site_ = site;
  if (site_ != nullptr) OnSited();
}

std::string Control::GetName() const {
  return site_ != nullptr ? site_->AmbientDisplayName() : std::string();
}

FormWindow Control::GetFormWindow() const {
  if (site_ != nullptr && site_->FormIdentity() != nullptr) return site_->FormIdentity();
  return HostFormWindow(site_);
}

HResult Control::GetProperty(int32_t dispid, Variant *value) {
  const PropertyInfo *p = Class().Property(dispid);
  if (p == nullptr) return kMemberNotFound;
  if (p->run_time_only && !RunMode()) return kGetNotAvailable;
  return p->get ? p->get(*this, value) : kGetNotAvailable;
}

HResult Control::PutProperty(int32_t dispid, const Variant &value) {
  const PropertyInfo *p = Class().Property(dispid);
  if (p == nullptr) return kMemberNotFound;
  if (p->read_only || !p->put || (p->run_time_only && !RunMode())) return kSetNotPermitted;
  return p->put(*this, value);
}

HResult Control::Invoke(int32_t dispid, std::vector<Variant> &args, Variant *result) {
  const MethodInfo *m = Class().Method(dispid);
  if (m == nullptr) return kMemberNotFound;
  if (args.size() > m->params.size()) return kBadParamCount;
  // Missing trailing arguments are out-arguments or optional ones the caller did not pass.
  for (size_t i = args.size(); i < m->params.size(); ++i) {
    if (!m->params[i].by_ref && !m->params[i].optional) return kBadParamCount;
    args.emplace_back();
  }
  if (!m->invoke) return kMemberNotFound;
  Variant ignored;
  return m->invoke(*this, args, result != nullptr ? result : &ignored);
}

HResult Control::GetProperty(const std::string &name, Variant *value) {
  const PropertyInfo *p = Class().Property(name);
  return p == nullptr ? kUnknownName : GetProperty(p->dispid, value);
}

HResult Control::PutProperty(const std::string &name, const Variant &value) {
  const PropertyInfo *p = Class().Property(name);
  return p == nullptr ? kUnknownName : PutProperty(p->dispid, value);
}

HResult Control::Invoke(const std::string &name, std::vector<Variant> &args, Variant *result) {
  const MethodInfo *m = Class().Method(name);
  return m == nullptr ? kUnknownName : Invoke(m->dispid, args, result);
}

QWidget *Control::CreateWindow(QWidget *parent) {
  if (window_ == nullptr) {
    window_ = MakeWidget(parent);
    OnWindowCreated();
  }
  return window_;
}

void Control::DestroyWindow() {
  if (window_ == nullptr) return;
  OnWindowDestroying();
  Module::Get().registry.Unregister(this);
  delete window_;
  window_ = nullptr;
}

void Control::FireEvent(const char *name, std::vector<Variant> &args) {
  if (events_) events_(name, args);
}

int16_t Control::BtrieveErrorEvent(const std::string &table_name_utf8, int16_t status) {
  std::vector<Variant> args = {Variant::String(table_name_utf8), Variant::I2(status)};
  FireEvent("BtrieveError", args);
  return static_cast<int16_t>(args[1].AsInteger().value_or(status));
}

void PropertyBag::Write(const std::string &name, Variant value) {
  for (Item &i : items_) {
    if (EqualNoCase(i.name, name)) {
      i.value = std::move(value);
      return;
    }
  }
  items_.push_back({name, std::move(value)});
}

const Variant *PropertyBag::Read(const std::string &name) const {
  for (const Item &i : items_) {
    if (EqualNoCase(i.name, name)) return &i.value;
  }
  return nullptr;
}

void SaveProperties(Control &control, PropertyBag *bag) {
  for (const PropertyInfo &p : control.Class().properties) {
    if (!p.persisted) continue;
    Variant v;
    if (control.GetProperty(p.dispid, &v) == kOk) bag->Write(p.name, std::move(v));
  }
}

void LoadProperties(Control &control, const PropertyBag &bag, std::vector<std::string> *unknown) {
  control.loading_ = true;
  for (const PropertyBag::Item &item : bag.Items()) {
    const PropertyInfo *p = control.Class().Property(item.name);
    if (p == nullptr || !p->persisted) {
      if (unknown != nullptr) unknown->push_back(item.name);
      continue;
    }
    control.PutProperty(p->dispid, item.value);
  }
  control.loading_ = false;
  control.OnPropertiesLoaded();
}

}  // namespace zelko
