// The control module's process-wide state, in one object created on first use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_registry.h"
#include "settings.h"
#include "table_catalog.h"

namespace zelko {

class Module {
 public:
  static Module &Get();
  // Drops the state so the next use starts afresh (tests).
  static void Reset();

  const ConversionSettings &Settings() const { return settings_; }
  ConversionSettings &MutableSettings() { return settings_; }

  int16_t lock_bias = 0;  // added to the access operations (DbSetLockBias)
  BindingRegistry registry;
  // Extended access: the mode written into every descriptor, and the stored results.
  std::string ex_mode = "UC";
  struct ExResultSet {
    bool used = false;
    std::string field_list;  // code page
    std::vector<uint8_t> data;
    // The table's name and fields as they were when the result was read: a result outlives
    // reloads and copies of the catalog it came from.
    TableDescriptor fields;
    // Where each record of `data` starts, found in one walk when a record is first read (a
    // record is reached from the start of the buffer: reading every record of a result was
    // quadratic). Kept for the size of `data` it was found for; records appended to a
    // result change that size.
    mutable std::vector<size_t> record_starts;
    mutable size_t starts_found_for = 0;
  };
  static constexpr int kExResultSlots = 48;
  ExResultSet ex_results[kExResultSlots];
  // The text a list control shows for the item being added (DbSetFormattedString).
  std::string formatted_text;
  // The exported interface's attachment; cleared when that data source goes away.
  DataSource *current_data_source = nullptr;
  void OnDataSourceDestroyed(const DataSource *source) {
    if (current_data_source == source) current_data_source = nullptr;
  }

 private:
  Module();
  ConversionSettings settings_;
};

}  // namespace zelko
