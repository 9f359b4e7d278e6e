#include "binding/binding_registry.h"

#include <algorithm>
#include <new>
#include <vector>

#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "engine/table_catalog.h"
#include "frame/class_info.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace zelko {
namespace {

constexpr size_t kNameBuffer = 127;  // names are copied into 128-byte buffers

std::string CodePageName(const std::string &utf8) {
  std::string cp = zplatform::FromUtf8(utf8);
  if (cp.size() > kNameBuffer) cp.resize(kNameBuffer);
  return cp;
}

// Replaces the entry that has the same name and form, or appends one.
template <typename Entry, typename Match>
int Place(std::vector<Entry> &list, Entry entry, Match same) {
  try {
    for (Entry &e : list) {
      if (same(e)) {
        e = std::move(entry);
        return 0;
      }
    }
    list.push_back(std::move(entry));
    return 0;
  } catch (const std::bad_alloc &) {
    return -1;
  }
}

}  // namespace

int BindingRegistry::RegisterDataSource(DataSource *source) {
  SourceEntry entry{source->GetName(), source->GetFormWindow(), source};
  int rc = Place(sources_, entry, [&](const SourceEntry &e) {
    return e.name == entry.name && e.form == entry.form;
  });
  if (rc != 0) ShowMessage(msg::kVE001, module_name::kZlkutil, __LINE__);
  return rc;
}

int BindingRegistry::RegisterFieldControl(BoundControl *control) {
  FieldEntry entry{CodePageName(control->GetDbField()), CodePageName(control->GetDbTable()),
                   control};
  std::string name = control->GetName();
  FormWindow form = control->GetFormWindow();
  int rc = Place(fields_, entry, [&](const FieldEntry &e) {
    return e.control->GetName() == name && e.control->GetFormWindow() == form;
  });
  if (rc != 0) ShowMessage(msg::kVE001, module_name::kZlkutil, __LINE__);
  return rc;
}

std::vector<BoundControl *> BindingRegistry::FieldControls() const {
  std::vector<BoundControl *> controls;
  for (const FieldEntry &e : fields_)
    controls.push_back(e.control);
  return controls;
}

int BindingRegistry::RegisterListControl(BoundControl *control) {
  ListEntry entry{control->GetFormWindow(),
                  control->GetListSource(),
                  control->GetName(),
                  CodePageName(control->GetDbField()),
                  CodePageName(control->GetDbTable()),
                  control};
  return Place(lists_, entry,
               [&](const ListEntry &e) { return e.name == entry.name && e.form == entry.form; });
}

int BindingRegistry::RegisterNavigator(BoundControl *control) {
  NavigatorEntry entry{control->GetDbSource(), control->GetName(), control,
                       control->GetFormWindow()};
  return Place(navigators_, entry, [&](const NavigatorEntry &e) {
    return e.name == entry.name && e.form == entry.form;
  });
}

void BindingRegistry::Unregister(const BoundControl *control) {
  auto drop = [&](auto &list) {
    list.erase(
        std::remove_if(list.begin(), list.end(),
                       [&](const auto &e) {
                         if constexpr (std::is_same_v<std::decay_t<decltype(e)>, SourceEntry>) {
                           return e.object == control;
                         } else {
                           return e.control == control;
                         }
                       }),
        list.end());
  };
  drop(sources_);
  drop(fields_);
  drop(lists_);
  drop(navigators_);
}

void BindingRegistry::RefreshNavigator(BoundControl *control) {
  for (NavigatorEntry &e : navigators_) {
    if (e.control == control) {
      e.db_source = control->GetDbSource();
      e.name = control->GetName();
    }
  }
}

std::vector<DataSource *> BindingRegistry::DataSources() const {
  std::vector<DataSource *> out;
  for (const SourceEntry &e : sources_)
    out.push_back(e.object);
  return out;
}

DataSource *BindingRegistry::FindDataSource(FormWindow form, const std::string &name) const {
  for (const SourceEntry &e : sources_) {
    if (e.name == name && e.form == form) return e.object;
  }
  return nullptr;
}

TableDescriptor *BindingRegistry::FindBoundTable(FormWindow form, const std::string &source_name,
                                                 const std::string &table_name) const {
  DataSource *source = FindDataSource(form, source_name);
  if (source == nullptr || source->Catalog() == nullptr) return nullptr;
  int t = FindTableByName(*source->Catalog(), zplatform::FromUtf8(table_name));
  return t < 0 ? nullptr : &source->Catalog()->tables[t];
}

int BindingRegistry::FindFieldType(FormWindow form, const std::string &source_name,
                                   const std::string &table_name,
                                   const std::string &field_name) const {
  TableDescriptor *table = FindBoundTable(form, source_name, table_name);
  if (table == nullptr) return -1;
  int f = FindFieldByName(*table, zplatform::FromUtf8(field_name));
  return f < 0 ? -1 : table->fields[f].data_type;
}

bool BindingRegistry::StoresAlike(FormWindow form, const std::string &source_name,
                                  const std::string &table_name, const std::string &field_name,
                                  const std::string &a, const std::string &b) const {
  TableDescriptor *table = FindBoundTable(form, source_name, table_name);
  int f = table != nullptr ? FindFieldByName(*table, zplatform::FromUtf8(field_name)) : -1;
  if (f < 0) return true;
  const ConversionSettings &settings = Module::Get().Settings();
  const size_t room = std::max<size_t>(table->fields[f].size, 8) + a.size() + b.size() + 16;
  std::vector<uint8_t> from_a(room, 0), from_b(room, 0);
  TextToField(settings, table->fields[f], a, from_a.data(), room);
  TextToField(settings, table->fields[f], b, from_b.data(), room);
  return from_a == from_b;
}

int BindingRegistry::OpenListTable(TableDescriptor &table, FormWindow form,
                                   const std::string &source_name) const {
  DataSource *source = FindDataSource(form, source_name);
  if (source == nullptr || source->Catalog() == nullptr) return -1;
  std::string dir = source->DdfDirectory();
  std::string path = ResolveDataFilePath(table, zplatform::ShortPathName(dir).value_or(dir));
  // Made when missing, never replaced (see ZlkBtr::OpenAllPass).
  if (int16_t status = EngineCreateMissing(*source->Catalog(), table, path); status != 0)
    return status;  // EngineCreate has shown VE007
  int16_t status =
      EngineOpen(*source->Catalog(), table, dir, source->Owner(), source->OpenModeValue());
  if (status != 0) {
    ShowMessage(msg::kVE803, path.c_str(), status);
    return status;
  }
  return 0;
}

int BindingRegistry::FindForAttachment(const std::string &source_name, const std::string *form_name,
                                       FormWindow form, DataSource **found) const {
  for (const SourceEntry &e : sources_) {
    if (!EqualNoCase(e.name, source_name)) continue;
    bool match;
    if (form_name != nullptr) {
      std::string name;
      match = e.object->ParentFormName(&name) == 0 && name == *form_name;
    } else {
      match = e.form == form;
    }
    if (!match) continue;
    *found = e.object;
    return e.object->Catalog() == nullptr ? DB_NO_DICTIONARY : 0;
  }
  return DB_SOURCE_NOT_FOUND;
}

void BindingRegistry::ShowFieldText(FormWindow form, const std::string &table,
                                    const std::string &field, const std::string &text) const {
  for (const FieldEntry &e : fields_) {
    if (e.control->GetFormWindow() == form && e.field == field && e.table == table)
      e.control->ShowFieldText(text);
  }
  for (const ListEntry &e : lists_) {
    if (e.form == form && e.field == field && e.table == table) e.control->ShowFieldText(text);
  }
}

int BindingRegistry::ReadControlText(FormWindow form, const std::string &table,
                                     const std::string &field, std::string *text) const {
  int answered = 0;
  auto ask = [&](BoundControl *control) {
    std::string t;
    if (control->ReadFieldText(&t)) {
      if (t.size() > kTextResultLength) t.resize(kTextResultLength);
      *text = std::move(t);
      ++answered;
    }
  };
  for (const FieldEntry &e : fields_) {
    if (e.control->GetFormWindow() == form && e.field == field && e.table == table) ask(e.control);
  }
  for (const ListEntry &e : lists_) {
    if (e.form == form && e.field == field && e.table == table) ask(e.control);
  }
  return answered;
}

void BindingRegistry::ClearField(FormWindow form, const std::string &table,
                                 const std::string &field) const {
  for (const FieldEntry &e : fields_) {
    if (e.control->GetFormWindow() == form && e.field == field && e.table == table)
      e.control->ClearFieldText();
  }
  for (const ListEntry &e : lists_) {
    if (e.form == form && e.field == field && e.table == table) e.control->ClearFieldText();
  }
}

int BindingRegistry::TransferToControls(DataSource &source, const TableDescriptor &table) const {
  FormWindow form = source.GetFormWindow();
  const ConversionSettings &settings = Module::Get().Settings();
  size_t offset = 0;
  for (const FieldDescriptor &f : table.fields) {
    std::vector<uint8_t> bytes(std::max(f.size, 8) + 1, 0);
    for (size_t i = 0;
         i < static_cast<size_t>(std::max(f.size, 4)) && offset + i < table.record_buffer.size();
         ++i) {
      bytes[i] = table.record_buffer[offset + i];
    }
    std::string text = FieldToText(settings, f, bytes.data());
    if (text.size() > kTextResultLength) text.resize(kTextResultLength);
    ShowFieldText(form, table.name, f.name, text);
    offset += FieldStorageSize(f.data_type, f.size, text);
  }
  return 0;
}

int BindingRegistry::TransferFromControls(DataSource &source, TableDescriptor &table) const {
  FormWindow form = source.GetFormWindow();
  const ConversionSettings &settings = Module::Get().Settings();
  size_t offset = 0;
  for (const FieldDescriptor &f : table.fields) {
    std::string text;
    if (ReadControlText(form, table.name, f.name, &text) > 0 &&
        offset < table.record_buffer.size()) {
      TextToField(settings, f, text, table.record_buffer.data() + offset,
                  table.record_buffer.size() - offset);
    }
    std::vector<uint8_t> bytes(std::max(f.size, 8) + 1, 0);
    for (size_t i = 0;
         i < static_cast<size_t>(std::max(f.size, 4)) && offset + i < table.record_buffer.size();
         ++i) {
      bytes[i] = table.record_buffer[offset + i];
    }
    offset += FieldStorageSize(f.data_type, f.size, FieldToText(settings, f, bytes.data()));
  }
  return 0;
}

int BindingRegistry::ClearControls(DataSource &source, const TableDescriptor &table) const {
  FormWindow form = source.GetFormWindow();
  for (const FieldDescriptor &f : table.fields)
    ClearField(form, table.name, f.name);
  return 0;
}

void BindingRegistry::NotifySourceReady(DataSource &source) const {
  FormWindow form = source.GetFormWindow();
  std::string name = source.GetName();
  for (const ListEntry &e : lists_) {
    if (e.form == form && e.list_source == name && e.control->GetUpdateOption() > 0)
      e.control->Refresh();
  }
  for (const NavigatorEntry &e : navigators_) {
    if (e.form == form && e.db_source == name) e.control->OnSourceReady();
  }
}

void BindingRegistry::NotifyRecordMoved(const std::string &db_source, const std::string &table_name,
                                        int key, const BoundControl *except) const {
  for (const NavigatorEntry &e : navigators_) {
    if (e.db_source == db_source && e.control != except) e.control->OnRecordMoved(table_name, key);
  }
}

}  // namespace zelko
