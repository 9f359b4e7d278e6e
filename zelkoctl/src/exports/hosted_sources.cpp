#include "exports/hosted_sources.h"

#include <memory>
#include <vector>

#include "controls/zlkbtr.h"
#include "frame/class_info.h"
#include "frame/control_site.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/codepage.h"

namespace zelko {
namespace {

// The site of a hosted control: run mode, no window; its form is named and has an identity
// of its own (the form's entry below), so two hosted forms never share their bindings.
class HeadlessSite : public ControlSite {
 public:
  HeadlessSite(std::string form_utf8, std::string name_utf8, const void *form_identity)
      : form_(std::move(form_utf8)), name_(std::move(name_utf8)), identity_(form_identity) {}
  std::string AmbientDisplayName() const override { return name_; }
  bool UserMode() const override { return true; }
  QWidget *ContainerWindow() const override { return nullptr; }
  int ParentName(std::string *name) const override {
    *name = form_;
    return 0;
  }
  int ParentHandle(int32_t *hwnd) const override {
    *hwnd = 0;  // no window
    return 0;
  }
  const void *FormIdentity() const override { return identity_; }

 private:
  std::string form_, name_;
  const void *identity_;
};

struct Hosted {
  std::string form, name;                  // UTF-8, as the registry holds names
  std::shared_ptr<const char> form_token;  // the form's identity, shared by its sources
  std::unique_ptr<HeadlessSite> site;
  std::unique_ptr<ZlkBtr> control;
};

std::vector<std::unique_ptr<Hosted>> &Sources() {
  static std::vector<std::unique_ptr<Hosted>> sources;
  return sources;
}

std::vector<std::unique_ptr<Hosted>>::iterator Find(const std::string &form,
                                                    const std::string &name) {
  auto &all = Sources();
  for (auto it = all.begin(); it != all.end(); ++it) {
    if ((*it)->form == form && EqualNoCase((*it)->name, name)) return it;
  }
  return all.end();
}

// The identity the registry knows a hosted form by, alive while a source is hosted on it.
std::shared_ptr<const char> FormToken(const std::string &form) {
  for (const auto &h : Sources()) {
    if (h->form == form) return h->form_token;
  }
  return std::make_shared<const char>('\0');
}

}  // namespace

int HostDataSource(const std::string &form_cp, const std::string &name_cp,
                   const std::string &dir_cp) {
  std::string form = zplatform::ToUtf8(form_cp), name = zplatform::ToUtf8(name_cp);
  if (form.empty() || name.empty()) return DB_FAILED;
  if (dir_cp.empty()) return DB_DDF_DIR_EMPTY;
  if (Find(form, name) != Sources().end()) return DB_FAILED;
  auto hosted = std::make_unique<Hosted>();
  hosted->form = form;
  hosted->name = name;
  hosted->form_token = FormToken(form);
  hosted->site = std::make_unique<HeadlessSite>(form, name, hosted->form_token.get());
  hosted->control = std::make_unique<ZlkBtr>();
  // Properties first, then the site: the control prepares itself (registers, loads its
  // dictionary) as it would on a loaded form; tables open when they are asked for.
  PropertyBag bag;
  bag.Write("AllOpen", Variant::Bool(false));
  LoadProperties(*hosted->control, bag, nullptr);
  hosted->control->SetDirectoryForHost(zplatform::ToUtf8(dir_cp));
  hosted->control->SetSite(hosted->site.get());
  if (!hosted->control->Prepared() || hosted->control->Catalog() == nullptr) return DB_FAILED;
  Sources().push_back(std::move(hosted));
  return 0;
}

int ReleaseDataSource(const std::string &form_cp, const std::string &name_cp) {
  auto it = Find(zplatform::ToUtf8(form_cp), zplatform::ToUtf8(name_cp));
  if (it == Sources().end()) return DB_SOURCE_NOT_FOUND;
  std::unique_ptr<Hosted> gone = std::move(*it);
  Sources().erase(it);
  gone->control.reset();  // closes its tables, leaves the registry, ends an attachment to it
  return 0;
}

void ReleaseAllDataSources() {
  while (!Sources().empty()) {
    std::unique_ptr<Hosted> gone = std::move(Sources().back());
    Sources().pop_back();
    gone->control.reset();
  }
}

}  // namespace zelko
