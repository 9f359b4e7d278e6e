#include "dictionary_rules.h"

#include <set>

#include "engine/field_conversion.h"
#include "engine/field_text_check.h"
#include "session.h"

namespace zelkocli {

std::vector<std::string> CheckTableRules(const zelko::TableDescriptor &table) {
  std::vector<std::string> out;
  std::set<std::string> names;
  int walk = 0;
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const zelko::FieldDescriptor &f = table.fields[i];
    std::string label = "field " + Utf8(f.name) + ": ";
    if (!names.insert(f.name).second) out.push_back(label + "the name is used by an earlier field");
    if (f.data_type < 0 || f.data_type > 15) {
      out.push_back(label + "data type " + std::to_string(f.data_type) + " is not supported");
    }
    bool variable = f.data_type == zelko::kNote || f.data_type == zelko::kLVar;
    if (variable && i + 1 != table.fields.size()) {
      out.push_back(label + zelko::DataTypeShortName(f.data_type) +
                    " must be the last field of the table");
    }
    if (f.size <= 0) out.push_back(label + "size " + std::to_string(f.size) + " is not positive");
    // The engine places fields end to end; an offset elsewhere would read other bytes.
    if (f.offset != walk) {
      out.push_back(label + "offset " + std::to_string(f.offset) +
                    ", the fields before it end at " + std::to_string(walk));
    }
    walk += f.size;
  }
  for (size_t s = 0; s < table.segments.size(); ++s) {
    const zelko::SegmentDescriptor &seg = table.segments[s];
    std::string label = "key segment " + std::to_string(s) + ": ";
    const zelko::FieldDescriptor *field = nullptr;
    for (const zelko::FieldDescriptor &f : table.fields) {
      if (f.field_id == seg.field_id) field = &f;
    }
    if (field == nullptr) {
      out.push_back(label + "field ID " + std::to_string(seg.field_id) +
                    " is not a field of the table");
      continue;
    }
    if (field->data_type == zelko::kNote || field->data_type == zelko::kLVar) {
      out.push_back(label + "field " + Utf8(field->name) + " is " +
                    zelko::DataTypeShortName(field->data_type) + ", which cannot be a key");
    }
    bool last = s + 1 == table.segments.size();
    if (last && (seg.key_flags & zelko::kSegmentFlagFollows)) {
      out.push_back(label + "says another segment follows, but it is the last");
    }
    if (s > 0 && (table.segments[s - 1].key_flags & zelko::kSegmentFlagFollows) &&
        (table.segments[s - 1].key_flags & 1) != (seg.key_flags & 1)) {
      out.push_back(label + "the duplicates flag differs from the key's other segments");
    }
  }
  int keys = 0;
  for (const zelko::SegmentDescriptor &seg : table.segments) {
    if ((seg.key_flags & zelko::kSegmentFlagFollows) == 0) ++keys;
  }
  for (const zelko::FieldDescriptor &named : table.named_indexes) {
    if (named.offset < 0 || named.offset >= keys) {
      out.push_back("named index " + Utf8(named.name) + ": key " + std::to_string(named.offset) +
                    " does not exist");
    }
  }
  return out;
}

std::vector<std::string> CheckCatalogRules(const zelko::TableCatalog &catalog) {
  std::vector<std::string> out;
  std::set<std::string> names;
  std::set<int> ids;
  for (const zelko::TableDescriptor &t : catalog.tables) {
    if (!names.insert(t.name).second)
      out.push_back("table " + Utf8(t.name) + ": the name is used twice");
    if (!ids.insert(t.table_id).second) {
      out.push_back("table " + Utf8(t.name) + ": file ID " + std::to_string(t.table_id) +
                    " is used twice");
    }
    if (t.location.empty()) out.push_back("table " + Utf8(t.name) + ": no data file location");
  }
  return out;
}

}  // namespace zelkocli
